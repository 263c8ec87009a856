// The ordered set: red-black balance under random and sorted inserts, the key order,
// duplicates, lookups and release.
#include "driver/sql/tree.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "support/memory.h"

namespace {

struct PoolGuard {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ~PoolGuard() { quill_mem_release_handle(pool); }
};

// Black height of the subtree at `node` (nulls count as one black leaf), or -1 when a
// red node has a red child, the heights of two siblings differ or a parent link is wrong.
int checked_black_height(const TreeNode* node) {
  if (!node) return 1;
  for (const TreeNode* child : {node->left, node->right}) {
    if (!child) continue;
    if (child->parent != node) return -1;
    if (node->colour == TREE_RED && child->colour == TREE_RED) return -1;
  }
  int left = checked_black_height(node->left);
  int right = checked_black_height(node->right);
  if (left < 0 || right < 0 || left != right) return -1;
  return left + (node->colour == TREE_BLACK ? 1 : 0);
}

// Full check: black root, the red-black rules everywhere, keys in order, count right.
::testing::AssertionResult tree_is_valid(const TREE* tree) {
  if (tree->root && (tree->root->colour != TREE_BLACK || tree->root->parent))
    return ::testing::AssertionFailure() << "root not black or has a parent";
  if (checked_black_height(tree->root) < 0)
    return ::testing::AssertionFailure() << "red-black rule broken";
  std::vector<std::string> keys;
  TREEwalk(
      tree,
      [](const void* key, size_t length, void*, void* context) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(static_cast<const char*>(key),
                                                                      length);
        return 0;
      },
      &keys);
  if (keys.size() != tree->count) return ::testing::AssertionFailure() << "count mismatch";
  for (size_t i = 1; i < keys.size(); ++i)
    if (tree_compare_bytes(keys[i - 1].data(), keys[i - 1].size(), keys[i].data(), keys[i].size()) >
        0)
      return ::testing::AssertionFailure() << "keys out of order at " << i;
  return ::testing::AssertionSuccess();
}

// Leftmost-path black height: cheap, and equal for both children of a balanced node.
int leftmost_black_height(const TreeNode* node) {
  int height = 1;
  for (; node; node = node->left) height += node->colour == TREE_BLACK ? 1 : 0;
  return height;
}

// Check of the region an insert touches: every node on the path to `key` and its children.
::testing::AssertionResult path_is_valid(const TREE* tree, const std::string& key) {
  if (!tree->root || tree->root->colour != TREE_BLACK)
    return ::testing::AssertionFailure() << "root not black";
  for (const TreeNode* at = tree->root; at;) {
    for (const TreeNode* child : {at->left, at->right}) {
      if (child && child->parent != at) return ::testing::AssertionFailure() << "bad parent";
      if (child && at->colour == TREE_RED && child->colour == TREE_RED)
        return ::testing::AssertionFailure() << "red-red on the insert path";
    }
    if (leftmost_black_height(at->left) != leftmost_black_height(at->right))
      return ::testing::AssertionFailure() << "black heights differ on the insert path";
    int order = tree->compare(key.data(), key.size(), tree_node_key(at), at->length);
    if (order == 0) break;
    at = order < 0 ? at->left : at->right;
  }
  return ::testing::AssertionSuccess();
}

int height_of(const TreeNode* node) {
  if (!node) return 0;
  int left = height_of(node->left), right = height_of(node->right);
  return 1 + (left > right ? left : right);
}

std::vector<std::string> walk_keys(const TREE* tree) {
  std::vector<std::string> keys;
  TREEwalk(
      tree,
      [](const void* key, size_t length, void*, void* context) {
        static_cast<std::vector<std::string>*>(context)->emplace_back(static_cast<const char*>(key),
                                                                      length);
        return 0;
      },
      &keys);
  return keys;
}

TEST(TreeBalance, RandomKeysKeepRedBlackRules) {
  PoolGuard guard;
  TREE* tree = nullptr;
  ASSERT_EQ(TREEcreate(&tree, nullptr, guard.pool), TREE_OK);
  std::mt19937 random(20240229u);
  // Short keys over a small alphabet, so prefixes and duplicates are frequent.
  std::uniform_int_distribution<int> length_of(0, 8), byte_of(0, 7);
  const size_t total = 100000;
  std::vector<std::string> inserted;
  inserted.reserve(total);
  for (size_t i = 0; i < total; ++i) {
    std::string key(static_cast<size_t>(length_of(random)), '\0');
    for (char& c : key) c = static_cast<char>(0x7e + byte_of(random));  // crosses 0x80
    ASSERT_EQ(TREEinsert(tree, key.data(), key.size(), reinterpret_cast<void*>(i + 1)), TREE_OK);
    inserted.push_back(key);
    // The whole tree early on and periodically; the touched path after every insert.
    if (i < 2000 || i % 10000 == 0) {
      ASSERT_TRUE(tree_is_valid(tree)) << "after insert " << i;
    }
    ASSERT_TRUE(path_is_valid(tree, key)) << "after insert " << i;
  }
  ASSERT_TRUE(tree_is_valid(tree));
  EXPECT_EQ(TREEcount(tree), total);
  for (const std::string& key : inserted) {
    void* data = nullptr;
    ASSERT_EQ(TREElookup(tree, key.data(), key.size(), &data), TREE_OK);
    EXPECT_NE(data, nullptr);
  }
  TREEdestroy(tree, nullptr);
}

TEST(TreeBalance, SortedKeysStayShallow) {
  PoolGuard guard;
  TREE* tree = nullptr;
  ASSERT_EQ(TREEcreate(&tree, nullptr, guard.pool), TREE_OK);
  const uint32_t total = 200000;
  for (uint32_t i = 0; i < total; ++i) {
    unsigned char key[4] = {static_cast<unsigned char>(i >> 24),
                            static_cast<unsigned char>(i >> 16), static_cast<unsigned char>(i >> 8),
                            static_cast<unsigned char>(i)};
    ASSERT_EQ(TREEinsert(tree, key, sizeof key, nullptr), TREE_OK);
  }
  ASSERT_TRUE(tree_is_valid(tree));
  EXPECT_LE(height_of(tree->root), 2 * 18);  // 2 * log2(total + 1)
  TREEdestroy(tree, nullptr);
}

TEST(TreeOrder, BytesThenShorterFirst) {
  struct Case {
    std::string a, b;
    int sign;
  } cases[] = {
      {"ab", "abc", -1},
      {"abc", "ab", 1},
      {"", "a", -1},
      {"", "", 0},
      {"abc", "abc", 0},
      {"b", "abc", 1},
      {"\x7f", "\x80", -1},  // bytes compare unsigned
      {std::string("a\0b", 3), std::string("a\0c", 3), -1},
      {std::string("a\0", 2), "a", 1},
  };
  for (const Case& c : cases) {
    int order = tree_compare_bytes(c.a.data(), c.a.size(), c.b.data(), c.b.size());
    EXPECT_EQ((order > 0) - (order < 0), c.sign) << '"' << c.a << "\" vs \"" << c.b << '"';
  }

  PoolGuard guard;
  TREE* tree = nullptr;
  ASSERT_EQ(TREEcreate(&tree, nullptr, guard.pool), TREE_OK);
  for (const char* key : {"abc", "ab", "b", "", "abd", "a"})
    ASSERT_EQ(TREEinsert(tree, key, std::strlen(key), nullptr), TREE_OK);
  EXPECT_EQ(walk_keys(tree), (std::vector<std::string>{"", "a", "ab", "abc", "abd", "b"}));
  TREEdestroy(tree, nullptr);
}

TEST(TreeOrder, CallerComparison) {
  PoolGuard guard;
  TREE* tree = nullptr;
  auto reversed = [](const void* a, size_t al, const void* b, size_t bl) {
    return tree_compare_bytes(b, bl, a, al);
  };
  ASSERT_EQ(TREEcreate(&tree, reversed, guard.pool), TREE_OK);
  for (const char* key : {"m", "a", "z", "k"})
    ASSERT_EQ(TREEinsert(tree, key, 1, nullptr), TREE_OK);
  EXPECT_EQ(walk_keys(tree), (std::vector<std::string>{"z", "m", "k", "a"}));
  EXPECT_EQ(TREElookup(tree, "k", 1, nullptr), TREE_OK);
  TREEdestroy(tree, nullptr);
}

TEST(TreeContents, DuplicatesAndLookups) {
  PoolGuard guard;
  TREE* tree = nullptr;
  ASSERT_EQ(TREEcreate(&tree, nullptr, guard.pool), TREE_OK);
  void* data = reinterpret_cast<void*>(1);
  EXPECT_EQ(TREElookup(tree, "a", 1, &data), TREE_NOT_FOUND);  // empty tree
  EXPECT_EQ(data, reinterpret_cast<void*>(1));                 // untouched when absent
  EXPECT_EQ(TREElookup(tree, "", 0, nullptr), TREE_NOT_FOUND);

  int first = 1, second = 2, third = 3, other = 4;
  ASSERT_EQ(TREEinsert(tree, "key", 3, &first), TREE_OK);
  ASSERT_EQ(TREEinsert(tree, "kez", 3, &other), TREE_OK);
  ASSERT_EQ(TREEinsert(tree, "key", 3, &second), TREE_OK);
  ASSERT_EQ(TREEinsert(tree, "key", 3, &third), TREE_OK);
  ASSERT_EQ(TREEinsert(tree, "", 0, nullptr), TREE_OK);
  EXPECT_EQ(TREEcount(tree), 5u);
  EXPECT_TRUE(tree_is_valid(tree));

  // Duplicates are walked in insertion order.
  std::vector<int> seen;
  TREEwalk(
      tree,
      [](const void* key, size_t length, void* value, void* context) {
        if (length == 3 && std::memcmp(key, "key", 3) == 0)
          static_cast<std::vector<int>*>(context)->push_back(*static_cast<int*>(value));
        return 0;
      },
      &seen);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, 3}));

  struct Probe {
    const char* key;
    size_t length;
    int status;
  } probes[] = {
      {"key", 3, TREE_OK},         {"kez", 3, TREE_OK},        {"", 0, TREE_OK},
      {"ke", 2, TREE_NOT_FOUND},    // a prefix of a present key
      {"keyy", 4, TREE_NOT_FOUND},  // a present key is its prefix
      {"kex", 3, TREE_NOT_FOUND},  {"zzz", 3, TREE_NOT_FOUND}, {"\0", 1, TREE_NOT_FOUND},
  };
  for (const Probe& probe : probes) {
    void* found = nullptr;
    EXPECT_EQ(TREElookup(tree, probe.key, probe.length, &found), probe.status) << probe.key;
  }
  void* found = nullptr;
  ASSERT_EQ(TREElookup(tree, "kez", 3, &found), TREE_OK);
  EXPECT_EQ(found, &other);

  // A walk stops at the first non-zero answer and returns it.
  EXPECT_EQ(TREEwalk(
                tree, [](const void*, size_t, void*, void*) { return 7; }, nullptr),
            7);
  TREEdestroy(tree, nullptr);
}

TEST(TreeContents, BadArgumentsAndRelease) {
  PoolGuard guard;
  TREE* tree = reinterpret_cast<TREE*>(1);
  EXPECT_EQ(TREEcreate(nullptr, nullptr, guard.pool), TREE_BAD_ARGUMENT);
  EXPECT_EQ(TREEcreate(&tree, nullptr, nullptr), TREE_BAD_ARGUMENT);
  EXPECT_EQ(tree, nullptr);
  EXPECT_EQ(TREEinsert(nullptr, "a", 1, nullptr), TREE_BAD_ARGUMENT);
  EXPECT_EQ(TREElookup(nullptr, "a", 1, nullptr), TREE_NOT_FOUND);
  EXPECT_EQ(TREEcount(nullptr), 0u);
  TREEdestroy(nullptr, nullptr);

  ASSERT_EQ(TREEcreate(&tree, nullptr, guard.pool), TREE_OK);
  EXPECT_EQ(TREEinsert(tree, nullptr, 2, nullptr), TREE_BAD_ARGUMENT);
  EXPECT_EQ(TREEcount(tree), 0u);
  TREEdestroy(tree, nullptr);  // empty tree

  // Every node's data reaches the release callback exactly once.
  static int released[64];
  std::memset(released, 0, sizeof released);
  ASSERT_EQ(TREEcreate(&tree, nullptr, guard.pool), TREE_OK);
  for (int i = 0; i < 64; ++i) {
    unsigned char key = static_cast<unsigned char>((i * 37) % 64);
    ASSERT_EQ(TREEinsert(tree, &key, 1, &released[i]), TREE_OK);
  }
  TREEdestroy(tree, [](void* data) { ++*static_cast<int*>(data); });
  for (int count : released) EXPECT_EQ(count, 1);
}

}  // namespace
