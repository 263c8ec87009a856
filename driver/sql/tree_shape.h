// The shape of a parse tree once the grammar has built it. Long runs of AND or OR are
// rebalanced into trees of logarithmic depth (the operands keep their order, so evaluation,
// restrictions and printing see them as written), and the nesting left is weighed without
// recursion against a limit chosen so that every later walk (validation, typing, planning,
// evaluation, SQL text, release) fits a thread stack of 256 KB. The walk keeps its own stack
// on the heap, so no input, however deep, can exhaust the thread's stack here.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/sql/nodes.h"

// Nesting weight one expression level carries (an operator, function, CAST, CASE, ...).
constexpr int32_t NESTING_EXPRESSION_WEIGHT = 1;
// Nesting weight of a query level (a query specification, with or without grouping, as a
// subquery or a derived table; and a join), whose validation and execution take about twice
// the stack of an expression level (Debug build with AddressSanitizer: up to 600 bytes an
// expression level, 1,200 a query level).
constexpr int32_t NESTING_QUERY_WEIGHT = 2;
// Greatest nesting a statement may have (see tree_shape_statement): 250 levels of 640 bytes keep
// the engine within 160 KB, which leaves a 256 KB thread stack room for its caller, the
// Driver Manager and the backend under the deepest level.
constexpr int32_t NESTING_WEIGHT_LIMIT = 250;
// Most nodes the walks of one statement may meet, shared nodes counted once per path: a
// text within the parser's length limit makes far fewer unless sharing multiplies them.
constexpr int64_t TREE_EXPANDED_LIMIT = 4 << 20;
// Runs of AND or OR deeper than this are rebalanced; shallower ones stay as written.
constexpr int32_t LOGIC_RUN_DEPTH_KEPT = 16;

// What the walk of a statement found.
struct TreeMeasure {
  int64_t nesting;   // greatest sum of node weights on a path from the statement to a leaf
  int64_t expanded;  // nodes met, a node counted once for every path that reaches it (a
                     // node the grammar shares, the operand of BETWEEN, once per parent)
};

// Walks the tree under `statement` once, without recursion: rebalances in place every run
// of AND (or of OR) operators deeper than LOGIC_RUN_DEPTH_KEPT and than its balanced depth,
// reusing the run's operator nodes with its first node still on top (so every parent, even
// of a shared run, still holds the run), and measures the result: query specifications
// (grouped or not) and joined tables weigh NESTING_QUERY_WEIGHT, all other nodes
// NESTING_EXPRESSION_WEIGHT. The walk stops once `expanded` passes TREE_EXPANDED_LIMIT.
// False only when memory for the walk ran out (the tree is then still a valid tree).
bool tree_shape_statement(Node* statement, TreeMeasure* out);

// Joins `operands` (at least one) with operators made by `make()` (an OperatorNode* of the
// caller's class, or null on failure) pairwise, level by level: the result is as deep as the
// logarithm of the count, with the operands in their order. Null when `make()` failed.
template <typename Make>
Node* tree_join_balanced(std::vector<Node*> level, Make&& make) {
  while (level.size() > 1) {
    std::vector<Node*> next;
    next.reserve((level.size() + 1) / 2);
    for (size_t i = 0; i < level.size(); i += 2) {
      if (i + 1 == level.size()) {
        next.push_back(level[i]);
        continue;
      }
      OperatorNode* op = make();
      if (!op) return nullptr;
      op->left = level[i];
      op->right = level[i + 1];
      next.push_back(op);
    }
    level.swap(next);
  }
  return level.empty() ? nullptr : level.front();
}
