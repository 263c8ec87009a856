// Tree building for the common SQL forms the grammar accepts beside the ODBC core: keywords
// standing as names, the words of LIMIT / OFFSET / FETCH, a bare NULL where the older
// statement forms took a keyword, and a VALUES list as the balanced UNION ALL of one-row
// queries.
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver/sql/tree_build.h"

NameNode* build_keyword_name(ParseState* state, const char* spelling) {
  auto* name = static_cast<NameNode*>(build_node(state, sizeof(NameNode), NODE_NAME));
  if (!name) return nullptr;
  name->text = spelling;  // the static upper-case spelling, as an unquoted name reads
  return name;
}

bool build_expect_word(ParseState* state, const NameNode* name, const char* word,
                       const char* other) {
  if (!name->quoted &&
      (std::strcmp(name->text, word) == 0 || (other && std::strcmp(name->text, other) == 0)))
    return true;
  scan_report(state, "syntax error");
  return false;
}

bool is_null_literal(const Node* node) {
  return node && node->kind == NODE_LITERAL && node_cast<LiteralNode>(node)->value_kind == LIT_NULL;
}

Node* build_values_row(ParseState* state, ListNode* values, bool first_row) {
  auto* query =
      static_cast<QuerySpecNode*>(build_node(state, sizeof(QuerySpecNode), NODE_QUERY_SPEC));
  if (!query) return nullptr;
  query->top = -1;
  int column = 0;
  for (ListNode* at = values; at; at = at->next) {
    auto* item =
        static_cast<SelectItemNode*>(build_node(state, sizeof(SelectItemNode), NODE_SELECT_ITEM));
    if (!item) return nullptr;
    item->expression = static_cast<Node*>(at->data);
    ++column;
    if (first_row) {
      // The names a VALUES list's columns have when the alias does not name them.
      char text[24];
      std::snprintf(text, sizeof text, "COLUMN%d", column);
      NameNode* alias = build_keyword_name(state, build_concat(state, text, nullptr));
      if (!alias || !alias->text) return nullptr;
      item->alias = alias;
    }
    query->select_list = build_append(state, query->select_list, item);
    if (!query->select_list) return nullptr;
  }
  return query;
}

bool build_values_row_fits(ParseState* state, ListNode* rows, Node* row) {
  auto* first = node_cast<QuerySpecNode>(static_cast<Node*>(rows->data));
  if (ListCount(first->select_list) == ListCount(node_cast<QuerySpecNode>(row)->select_list))
    return true;
  scan_report(state, "Every row of a VALUES list must have the same number of values");
  return false;
}

namespace {

// UNION ALL of rows[0..count), split in halves.
Node* balanced_union(ParseState* state, Node** rows, size_t count) {
  if (count == 1) return rows[0];
  size_t half = count / 2;
  Node* left = balanced_union(state, rows, half);
  Node* right = left ? balanced_union(state, rows + half, count - half) : nullptr;
  if (!right) return nullptr;
  auto* node = static_cast<UnionNode*>(build_node(state, sizeof(UnionNode), NODE_UNION));
  if (!node) return nullptr;
  node->left = left;
  node->right = right;
  node->all = 1;
  return node;
}

}  // namespace

Node* build_values_table(ParseState* state, ListNode* rows) {
  std::vector<Node*> nodes;
  for (ListNode* at = rows; at; at = at->next) nodes.push_back(static_cast<Node*>(at->data));
  return balanced_union(state, nodes.data(), nodes.size());
}
