// The query one side of a joined table runs as: SELECT <every column of the side's tables>
// FROM <side> [WHERE condition], built as a plan record so that the side runs in its own
// sub-statement with the ordinary planner (restrictions, join order, nested joins).
#include "driver/sql/exec_sub_internal.h"

namespace {

bool append(ListNode** list, void* data, MemPool* pool) {
  ListNode* head = ListAppend(data, *list, pool);
  if (head == nullptr) return false;
  *list = head;
  return true;
}

bool add_leaves(TableEntry* entry, ListNode** scan_tables, MemPool* pool) {
  if (entry->type == TABLE_JOINED)
    return add_leaves(entry->join->left, scan_tables, pool) &&
           add_leaves(entry->join->right, scan_tables, pool);
  return append(scan_tables, entry, pool);
}

}  // namespace

QueryPlan* sub_side_plan(MemPool* pool, QueryPlan* owner, TableEntry* side, Node* where,
                         int** item_slots) {
  auto* select_node =
      static_cast<QuerySpecNode*>(newNode(sizeof(QuerySpecNode), NODE_QUERY_SPEC, pool));
  auto* plan = static_cast<QueryPlan*>(newNode(sizeof(QueryPlan), PLAN_QUERY, pool));
  if (select_node == nullptr || plan == nullptr) return nullptr;
  select_node->quantifier = QUANT_ALL;
  select_node->top = -1;
  select_node->where = where;
  plan->query = select_node;
  plan->select = select_node;
  plan->outer = owner;
  plan->top = -1;
  plan->where = where;
  plan->backend_index = -1;
  if (!append(&plan->from, side, pool) || !add_leaves(side, &plan->scan_tables, pool))
    return nullptr;

  // One select item per used column of each leaf, remembering its slot in the side.
  int used = 0;
  sub_for_each_leaf(side, 0, [&](const TableEntry* leaf, int) {
    for (int c = 0; c < leaf->column_count; ++c) used += leaf->column_used[c] ? 1 : 0;
  });
  size_t count = static_cast<size_t>(used > 0 ? used : 1);
  plan->items = static_cast<SelectColumn*>(quill_mem_alloc(pool, sizeof(SelectColumn) * count));
  *item_slots = static_cast<int*>(quill_mem_alloc(pool, sizeof(int) * count));
  if (plan->items == nullptr || *item_slots == nullptr) return nullptr;
  bool ok = true;
  int item = 0;
  sub_for_each_leaf(side, 0, [&](const TableEntry* leaf, int first) {
    for (int c = 0; ok && c < leaf->column_count; ++c) {
      if (!leaf->column_used[c]) continue;
      auto* column =
          static_cast<ColumnRefNode*>(newNode(sizeof(ColumnRefNode), NODE_COLUMN_REF, pool));
      auto* name = static_cast<NameNode*>(newNode(sizeof(NameNode), NODE_NAME, pool));
      if (column == nullptr || name == nullptr || !append(&plan->column_refs, column, pool)) {
        ok = false;
        return;
      }
      name->text = leaf->columns[c].name;
      name->quoted = 1;
      column->column = name;
      column->resolved_table = const_cast<TableEntry*>(leaf);
      column->resolved_column = c;
      SelectColumn& select = plan->items[item];
      select = SelectColumn{};
      select.expression = column;
      select.name = leaf->columns[c].name;
      select.sql_type = leaf->columns[c].sql_type;
      default_type_description(select.sql_type, &select.description);
      if (leaf->columns[c].length > 0) select.description.column_size = leaf->columns[c].length;
      select.description.precision = leaf->columns[c].precision;
      select.description.scale = leaf->columns[c].scale;
      (*item_slots)[item++] = first + c;
    }
  });
  if (!ok) return nullptr;
  plan->item_count = item;
  return plan;
}
