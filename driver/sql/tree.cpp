// The engine's ordered set: red-black insertion with parent links (no recursion), lookup,
// in-order walk and post-order release, all iterative.
#include "driver/sql/tree.h"

#include <cstdint>
#include <cstring>

#include "support/memory.h"

namespace {

bool is_red(const TreeNode* node) {
  return node && node->colour == TREE_RED;
}

// Moves `node`'s right child into its place; `node` becomes that child's left child.
void rotate_left(TREE* tree, TreeNode* node) {
  TreeNode* pivot = node->right;
  node->right = pivot->left;
  if (pivot->left) pivot->left->parent = node;
  pivot->parent = node->parent;
  if (!node->parent)
    tree->root = pivot;
  else if (node == node->parent->left)
    node->parent->left = pivot;
  else
    node->parent->right = pivot;
  pivot->left = node;
  node->parent = pivot;
}

// Mirror of rotate_left.
void rotate_right(TREE* tree, TreeNode* node) {
  TreeNode* pivot = node->left;
  node->left = pivot->right;
  if (pivot->right) pivot->right->parent = node;
  pivot->parent = node->parent;
  if (!node->parent)
    tree->root = pivot;
  else if (node == node->parent->right)
    node->parent->right = pivot;
  else
    node->parent->left = pivot;
  pivot->right = node;
  node->parent = pivot;
}

// Restores the red-black rules after `node` was linked in red.
void rebalance_after_insert(TREE* tree, TreeNode* node) {
  while (is_red(node->parent)) {
    TreeNode* parent = node->parent;
    TreeNode* grandparent = parent->parent;  // exists: a red parent is never the root
    if (parent == grandparent->left) {
      TreeNode* uncle = grandparent->right;
      if (is_red(uncle)) {
        parent->colour = TREE_BLACK;
        uncle->colour = TREE_BLACK;
        grandparent->colour = TREE_RED;
        node = grandparent;
        continue;
      }
      if (node == parent->right) {
        rotate_left(tree, parent);
        node = parent;
        parent = node->parent;
      }
      parent->colour = TREE_BLACK;
      grandparent->colour = TREE_RED;
      rotate_right(tree, grandparent);
    } else {
      TreeNode* uncle = grandparent->left;
      if (is_red(uncle)) {
        parent->colour = TREE_BLACK;
        uncle->colour = TREE_BLACK;
        grandparent->colour = TREE_RED;
        node = grandparent;
        continue;
      }
      if (node == parent->left) {
        rotate_right(tree, parent);
        node = parent;
        parent = node->parent;
      }
      parent->colour = TREE_BLACK;
      grandparent->colour = TREE_RED;
      rotate_left(tree, grandparent);
    }
  }
  tree->root->colour = TREE_BLACK;
}

TreeNode* leftmost(TreeNode* node) {
  while (node && node->left) node = node->left;
  return node;
}

// The next node in key order, or null after the last.
TreeNode* successor(TreeNode* node) {
  if (node->right) return leftmost(node->right);
  TreeNode* parent = node->parent;
  while (parent && node == parent->right) {
    node = parent;
    parent = parent->parent;
  }
  return parent;
}

}  // namespace

int tree_compare_bytes(const void* a, size_t a_length, const void* b, size_t b_length) {
  size_t common = a_length < b_length ? a_length : b_length;
  if (common > 0) {
    int order = std::memcmp(a, b, common);
    if (order != 0) return order;
  }
  if (a_length == b_length) return 0;
  return a_length < b_length ? -1 : 1;
}

int TREEcreate(TREE** out, TreeCompare compare, MemPool* pool) {
  if (!out) return TREE_BAD_ARGUMENT;
  *out = nullptr;
  if (!pool) return TREE_BAD_ARGUMENT;
  auto* tree = static_cast<TREE*>(quill_mem_alloc(pool, sizeof(TREE)));
  if (!tree) return TREE_NO_MEMORY;
  tree->root = nullptr;
  tree->compare = compare ? compare : tree_compare_bytes;
  tree->pool = pool;
  tree->count = 0;
  *out = tree;
  return TREE_OK;
}

int TREEinsert(TREE* tree, const void* key, size_t length, void* data) {
  if (!tree || (!key && length > 0)) return TREE_BAD_ARGUMENT;
  if (length > SIZE_MAX / 2 - sizeof(TreeNode)) return TREE_NO_MEMORY;
  auto* node = static_cast<TreeNode*>(quill_mem_alloc(tree->pool, sizeof(TreeNode) + length));
  if (!node) return TREE_NO_MEMORY;
  if (length > 0) std::memcpy(node + 1, key, length);
  node->length = length;
  node->data = data;
  node->left = nullptr;
  node->right = nullptr;
  node->colour = TREE_RED;

  // Keys that sort below a node go left; equal ones go right, after their equals.
  TreeNode* parent = nullptr;
  bool as_left = false;
  for (TreeNode* at = tree->root; at;) {
    parent = at;
    as_left = tree->compare(tree_node_key(node), length, tree_node_key(at), at->length) < 0;
    at = as_left ? at->left : at->right;
  }
  node->parent = parent;
  if (!parent)
    tree->root = node;
  else if (as_left)
    parent->left = node;
  else
    parent->right = node;
  tree->count++;
  rebalance_after_insert(tree, node);
  return TREE_OK;
}

int TREElookup(const TREE* tree, const void* key, size_t length, void** data) {
  if (!tree || (!key && length > 0)) return TREE_NOT_FOUND;
  for (const TreeNode* at = tree->root; at;) {
    int order = tree->compare(key, length, tree_node_key(at), at->length);
    if (order == 0) {
      if (data) *data = at->data;
      return TREE_OK;
    }
    at = order < 0 ? at->left : at->right;
  }
  return TREE_NOT_FOUND;
}

int TREEwalk(const TREE* tree, TreeVisitor visit, void* context) {
  if (!tree || !visit) return 0;
  for (TreeNode* at = leftmost(tree->root); at; at = successor(at)) {
    int stop = visit(tree_node_key(at), at->length, at->data, context);
    if (stop != 0) return stop;
  }
  return 0;
}

size_t TREEcount(const TREE* tree) {
  return tree ? tree->count : 0;
}

void TREEdestroy(TREE* tree, TreeDataRelease release) {
  if (!tree) return;
  // Post-order without a stack: descend to a leaf, free it, unhook it from its parent
  // and continue from the parent.
  TreeNode* at = tree->root;
  while (at) {
    if (at->left) {
      at = at->left;
      continue;
    }
    if (at->right) {
      at = at->right;
      continue;
    }
    TreeNode* parent = at->parent;
    if (parent) {
      if (parent->left == at)
        parent->left = nullptr;
      else
        parent->right = nullptr;
    }
    if (release) release(at->data);
    quill_mem_free(tree->pool, at);
    at = parent;
  }
  quill_mem_free(tree->pool, tree);
}
