// The engine's ordered set: a red-black tree of byte keys, each node holding its own copy
// of the key and one data pointer. DISTINCT set functions, IN-subquery value caches and
// FULL OUTER JOIN keep what they have seen here. Keys compare by memcmp over the shorter
// length and then by length, the shorter first, unless the creator supplies a comparison.
// Equal keys are allowed (each insert adds a node); callers that want a set look up first.
// Every walk is iterative, so trees of millions of keys cannot exhaust the stack.
#pragma once

#include <cstddef>

struct MemPool;

// Orders two keys: negative when a sorts first, 0 when equal, positive otherwise.
using TreeCompare = int (*)(const void* a, size_t a_length, const void* b, size_t b_length);
// Receives a node's data pointer when the tree is destroyed.
using TreeDataRelease = void (*)(void* data);
// Receives each node's key and data in key order; returning non-zero stops the walk.
using TreeVisitor = int (*)(const void* key, size_t length, void* data, void* context);

enum TreeColour : unsigned char { TREE_RED = 0, TREE_BLACK = 1 };

// One member of the set; the key bytes follow the record in the same block.
struct TreeNode {
  TreeNode* left;     // keys ordered before this one
  TreeNode* right;    // keys ordered after it, and equal keys inserted later
  TreeNode* parent;   // null at the root
  void* data;         // the caller's pointer, returned by TREElookup
  size_t length;      // key length in bytes
  TreeColour colour;  // red-black colour; the root is always black
};

// The node's copy of its key: `node->length` bytes stored right after the record.
inline const unsigned char* tree_node_key(const TreeNode* node) {
  return reinterpret_cast<const unsigned char*>(node + 1);
}

// The tree's handle.
struct TREE {
  TreeNode* root;       // null when empty
  TreeCompare compare;  // the key order; the default byte order when made without one
  MemPool* pool;        // supplies the handle and every node
  size_t count;         // number of nodes
};

// Results of the tree operations.
enum TreeStatus : int {
  TREE_OK = 0,
  TREE_BAD_ARGUMENT = 1,  // a required pointer was null
  TREE_NO_MEMORY = 2,
  TREE_NOT_FOUND = 3,
};

// The default key order: memcmp over the shorter length, then the shorter key first.
int tree_compare_bytes(const void* a, size_t a_length, const void* b, size_t b_length);

// Makes an empty tree in `pool` ordered by `compare` (null: tree_compare_bytes).
// 0 made; 1 when `out` or `pool` is null; 2 on memory failure.
int TREEcreate(TREE** out, TreeCompare compare, MemPool* pool);

// Adds a node for the key (copied) and `data`, rebalancing; duplicates go after their
// equals. 0 done; 1 when `tree` is null or the key is null with a non-zero length;
// 2 on memory failure (the tree is left unchanged).
int TREEinsert(TREE* tree, const void* key, size_t length, void* data);

// Finds a node whose key equals the given one and stores its data in `*data` (when not
// null). 0 found; 3 when absent, the tree is empty or `tree` is null.
int TREElookup(const TREE* tree, const void* key, size_t length, void** data);

// Calls `visit` on every node in key order (duplicates in insertion order). Returns 0
// after the whole walk, or the first non-zero value `visit` returned.
int TREEwalk(const TREE* tree, TreeVisitor visit, void* context);

// Number of keys held (0 for a null tree).
size_t TREEcount(const TREE* tree);

// Frees every node after its children, handing each node's data to `release` when not
// null, and then the handle itself. A null tree is ignored.
void TREEdestroy(TREE* tree, TreeDataRelease release);
