// INSERT: the VALUES list evaluated and converted to each target column's type (DEFAULT
// supplies no value), DEFAULT VALUES, and INSERT ... query, whose rows come from a
// sub-statement and are inserted one by one.
#include <vector>

#include "driver/sql/exec_modify_internal.h"

namespace {

// Releases the values held by a column value array.
void release_values(ExecStatement* statement, std::vector<DalColumnValue>& values) {
  for (DalColumnValue& entry : values) {
    if (entry.value) release_value(statement->pool, entry.value);
    entry.value = nullptr;
  }
}

// Stores the value of one VALUES item at its column. 0 or -1 (posted).
int store_item(ExecStatement* statement, const AssignmentEntry* item, DalColumnValue* entry) {
  if (item->value_kind == VALUE_DEFAULT) return 0;
  QuillValue* value = nullptr;
  if (item->value_kind != VALUE_NULL) {
    value = eval_expression_guarded(item->value, &statement->eval, 0);
    if (!value) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
  }
  QuillValue* converted = exec_value_for_column(statement, value, item->target);
  if (value) release_value(statement->pool, value);
  if (!converted) return -1;
  entry->value = converted;
  return 0;
}

int insert_values(ExecStatement* statement, InsertPlan* plan, DalIterator* iterator,
                  long long* count) {
  TableEntry* target = plan->target;
  std::vector<DalColumnValue> values(static_cast<size_t>(target->column_count));
  modify_init_values(target, values.data());
  int rc = 0;
  for (ListNode* at = plan->values; at && rc == 0; at = at->next) {
    auto* item = static_cast<AssignmentEntry*>(at->data);
    if (item->column < 0 || item->column >= target->column_count) continue;
    rc = store_item(statement, item, &values[static_cast<size_t>(item->column)]);
  }
  if (rc == 0) rc = modify_insert_row(statement, iterator, target, values.data(), count);
  release_values(statement, values);
  return rc;
}

int insert_query(ExecStatement* statement, InsertPlan* plan, DalIterator* iterator,
                 long long* count) {
  TableEntry* target = plan->target;
  ExecStatement* source = exec_sub_statement(statement, plan->query);
  if (!source) return -1;
  int rc = exec_open_query(source);
  bool warning = rc == EXEC_WARNING;
  bool any = false;
  std::vector<DalColumnValue> values(static_cast<size_t>(target->column_count));
  while (rc >= 0) {
    rc = exec_fetch(source);
    if (rc == EXEC_NO_DATA || rc < 0) break;
    warning = warning || rc == EXEC_WARNING;
    any = true;
    modify_init_values(target, values.data());
    for (int i = 0; i < plan->query->item_count && rc >= 0; ++i) {
      int column = plan->query_columns[i];
      if (column < 0 || column >= target->column_count) continue;
      const QuillValue* value = exec_column_value(source, i);
      if (!value) {
        rc = -1;
        break;
      }
      QuillValue* converted = exec_value_for_column(statement, value, &target->columns[column]);
      if (!converted) rc = -1;
      values[static_cast<size_t>(column)].value = converted;
    }
    long long inserted = 0;
    if (rc >= 0) rc = modify_insert_row(statement, iterator, target, values.data(), &inserted);
    *count += inserted;
    warning = warning || rc == EXEC_WARNING;
    release_values(statement, values);
  }
  exec_free(source);
  if (rc < 0) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  if (!any) return EXEC_NO_DATA;
  return warning ? EXEC_WARNING : EXEC_OK;
}

}  // namespace

int modify_insert(ExecStatement* statement, InsertPlan* plan, long long* count) {
  *count = 0;
  if (!plan->target) return exec_post_general(statement, 0, "No table to insert into");
  DalIterator* iterator = modify_open_iterator(statement);
  if (!iterator) return -1;
  int rc = plan->query ? insert_query(statement, plan, iterator, count)
                       : insert_values(statement, plan, iterator, count);
  DALCloseIterator(iterator);
  return rc;
}
