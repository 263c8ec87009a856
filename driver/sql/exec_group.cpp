// GROUP BY with HAVING: every qualifying row of a member is written to the grouping sort
// (its grouping keys, then the value of every column reference of the query), and the
// grouped reader walks the sorted records group by group, restoring each record's column
// values so that the set functions accumulate and the select list evaluates as on the row
// it came from. Also the single-group reader of set functions without GROUP BY.
#include <cstring>

#include "driver/sql/exec_sorting.h"
#include "support/dm.h"

namespace {

GroupState* group_of(const ExecStatement* statement) {
  return statement->sorting ? statement->sorting->group : nullptr;
}

// Column references read the restored record while the grouped reader runs.
const QuillValue* grouped_column_value(EvalContext* context, const ColumnRefNode* column) {
  auto* statement = static_cast<ExecStatement*>(context->statement);
  GroupState* group = statement ? group_of(statement) : nullptr;
  if (!group) return nullptr;
  if (group->restored)
    for (int i = 0; i < group->column_count; ++i) {
      const ColumnRefNode* stored = group->columns[i];
      if (stored->resolved_table == column->resolved_table &&
          stored->resolved_column == column->resolved_column)
        return group->values[i];
    }
  return group->original(context, column);
}

// The distinct resolved column references of the member, in list order.
int collect_columns(ExecStatement* statement, GroupState* group) {
  int total = ListCount(statement->member->column_refs);
  group->columns = static_cast<const ColumnRefNode**>(
      quill_mem_alloc(statement->pool, sizeof(ColumnRefNode*) * static_cast<size_t>(total + 1)));
  if (!group->columns) return exec_post_memory(statement);
  for (ListNode* at = statement->member->column_refs; at; at = at->next) {
    auto* column = static_cast<const ColumnRefNode*>(at->data);
    const TableEntry* entry = column->resolved_table;
    if (!entry || column->resolved_column < 0 || column->resolved_column >= entry->column_count)
      continue;
    bool known = false;
    for (int i = 0; i < group->column_count && !known; ++i)
      known = group->columns[i]->resolved_table == entry &&
              group->columns[i]->resolved_column == column->resolved_column;
    if (!known) group->columns[group->column_count++] = column;
  }
  return 0;
}

// The grouping key that is a plain reference to the same column as `column`, or -1.
int plain_key_of(const QueryPlan* member, int key_count, const ColumnRefNode* column) {
  for (int k = 0; k < key_count; ++k) {
    const Node* expression = member->group_by[k];
    if (!expression || expression->kind != NODE_COLUMN_REF) continue;
    auto* key = node_cast<ColumnRefNode>(expression);
    if (key->resolved_table == column->resolved_table &&
        key->resolved_column == column->resolved_column)
      return k;
  }
  return -1;
}

// Lays out the record: grouping keys, then the column references (one that a plain grouping
// key already holds reads that key's field). 0 or -1.
int lay_out(ExecStatement* statement, GroupState* group, const std::vector<int32_t>& floors) {
  QueryPlan* member = statement->member;
  group->key_count = member->group_count;
  group->field_count = group->key_count + group->column_count;
  group->fields = static_cast<RecordField*>(quill_mem_alloc(
      statement->pool, sizeof(RecordField) * static_cast<size_t>(group->field_count + 1)));
  group->shares_key = static_cast<bool*>(quill_mem_alloc(
      statement->pool, sizeof(bool) * static_cast<size_t>(group->column_count + 1)));
  if (!group->fields || !group->shares_key) return exec_post_memory(statement);
  int64_t offset = 0;
  for (int i = 0; i < group->field_count; ++i) {
    int sql_type = 0;
    int64_t length = 0;
    if (i >= group->key_count) {
      int key = plain_key_of(member, group->key_count, group->columns[i - group->key_count]);
      group->shares_key[i - group->key_count] = key >= 0;
      if (key >= 0) {
        group->fields[i] = group->fields[key];
        continue;
      }
    }
    if (i < group->key_count) {
      exec_expression_type(statement, member, member->group_by[i], &sql_type, &length);
    } else {
      const ColumnRefNode* column = group->columns[i - group->key_count];
      const ColumnInfo& info = column->resolved_table->columns[column->resolved_column];
      sql_type = info.sql_type;
      length = info.length;
    }
    int32_t size = exec_content_field_size(sql_type, length);
    if (size >= 0 && static_cast<size_t>(i) < floors.size() &&
        floors[static_cast<size_t>(i)] > size)
      size = floors[static_cast<size_t>(i)];
    if (size < 0)
      return exec_post_general(statement, 0, "Unable to GROUP a rowset with LONG types");
    group->fields[i] = RecordField{static_cast<int32_t>(offset), size, sql_type};
    offset += size;
    if (offset > INT32_MAX / 2)
      return exec_post_general(statement, 0, "error in starting sort routine");
  }
  group->record_length = static_cast<int32_t>(offset);
  return 0;
}

// Writes the current row into the sort: 0, -1, or EXEC_FIELD_TOO_SHORT with *growth set.
int insert_row(ExecStatement* statement, GroupState* group, FieldGrowth* growth) {
  QueryPlan* member = statement->member;
  unsigned char* record = group->record;
  for (int i = 0; i < group->key_count; ++i) {
    // A key that is a plain column is read in place rather than evaluated into a copy.
    const Node* expression = member->group_by[i];
    const QuillValue* column =
        expression && expression->kind == NODE_COLUMN_REF
            ? group->original(&statement->eval, node_cast<ColumnRefNode>(expression))
            : nullptr;
    QuillValue* key = column ? nullptr : eval_expression_guarded(expression, &statement->eval, 0);
    if (!column && !key) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
    int32_t needed = 0;
    int rc = exec_put_field(statement, record + group->fields[i].offset, group->fields[i].size,
                            column ? column : key, &needed);
    if (key) release_value(statement->eval.pool, key);
    if (rc == EXEC_FIELD_TOO_SHORT) *growth = FieldGrowth{i, group->fields[i].size, needed};
    if (rc < 0) return rc;
  }
  for (int i = 0; i < group->column_count; ++i) {
    if (group->shares_key[i]) continue;  // written as its grouping key
    const RecordField& field = group->fields[group->key_count + i];
    const QuillValue* value = group->original(&statement->eval, group->columns[i]);
    if (!value) return exec_post_general(statement, EXEC_NATIVE_SORT, "Internal Error");
    int32_t needed = 0;
    int rc = exec_put_field(statement, record + field.offset, field.size, value, &needed);
    if (rc == EXEC_FIELD_TOO_SHORT) *growth = FieldGrowth{group->key_count + i, field.size, needed};
    if (rc < 0) return rc;
  }
  int rc = sort_insert(group->sort, record);
  return rc == SORT_OK ? 0 : exec_post_sort_error(statement, group->sort, rc);
}

// Loads the column values of `record` for the select list and the set functions. 0 or -1.
int restore_row(ExecStatement* statement, GroupState* group, const unsigned char* record) {
  for (int i = 0; i < group->column_count; ++i)
    if (dm_to_value(record + group->fields[group->key_count + i].offset, group->values[i]) < 0)
      return exec_post_memory(statement);
  return 0;
}

// Whether two records have equal grouping keys.
bool same_group(const GroupState* group, const unsigned char* a, const unsigned char* b) {
  for (int i = 0; i < group->key_count; ++i)
    if (compare_dm(a + group->fields[i].offset, b + group->fields[i].offset, 0) != 0) return false;
  return true;
}

}  // namespace

namespace {

// One attempt at filling the grouping sort with fields at least `floors` long.
int fill_group(ExecStatement* statement, const std::vector<int32_t>& floors, FieldGrowth* growth) {
  SortingState* sorting = exec_sorting(statement);
  if (!sorting) return -1;
  exec_group_close(statement);
  auto* group = static_cast<GroupState*>(quill_mem_alloc(statement->pool, sizeof(GroupState)));
  if (!group) return exec_post_memory(statement);
  sorting->group = group;
  group->original = statement->eval.hooks.column_value;
  statement->eval.hooks.column_value = grouped_column_value;
  if (collect_columns(statement, group) < 0 || lay_out(statement, group, floors) < 0) return -1;

  SortKey* keys = static_cast<SortKey*>(
      quill_mem_alloc(statement->pool, sizeof(SortKey) * static_cast<size_t>(group->key_count)));
  group->record = static_cast<unsigned char*>(
      quill_mem_alloc(statement->pool, static_cast<size_t>(group->record_length)));
  group->group_record = static_cast<unsigned char*>(
      quill_mem_alloc(statement->pool, static_cast<size_t>(group->record_length)));
  group->values = static_cast<QuillValue**>(quill_mem_alloc(
      statement->pool, sizeof(QuillValue*) * static_cast<size_t>(group->column_count + 1)));
  if (!keys || !group->record || !group->group_record || !group->values)
    return exec_post_memory(statement);
  for (int i = 0; i < group->column_count; ++i) {
    group->values[i] = NewValue(statement->pool, 0);
    if (!group->values[i]) return exec_post_memory(statement);
  }
  for (int i = 0; i < group->key_count; ++i)
    keys[i] = SortKey{exec_record_kind(group->fields[i].sql_type), group->fields[i].offset,
                      group->fields[i].size, 0};
  int rc = sort_open(group->record_length, false, group->key_count, keys, &group->sort,
                     statement->pool, exec_sort_context(statement));
  quill_mem_free(statement->pool, keys);
  if (rc != SORT_OK) {
    group->sort = nullptr;
    return exec_post_general(statement, 0, "error in starting sort routine");
  }

  for (;;) {
    int fetched = exec_fetch_direct(statement);
    if (fetched == EXEC_ERROR) return EXEC_ERROR;
    if (fetched == EXEC_NO_DATA) break;
    if (fetched == EXEC_WARNING) group->warning = true;
    rc = insert_row(statement, group, growth);
    if (rc < 0) return rc;
  }
  rc = sort_finish(group->sort);
  if (rc != SORT_OK) return exec_post_sort_error(statement, group->sort, rc);
  group->restored = true;
  return 0;
}

}  // namespace

int exec_group_open(ExecStatement* statement, ExecRestart restart) {
  std::vector<int32_t> floors;
  for (int attempt = 0;; ++attempt) {
    FieldGrowth growth{-1, 0, 0};
    int rc = fill_group(statement, floors, &growth);
    if (rc != EXEC_FIELD_TOO_SHORT) return rc;
    if (!exec_grow_field(statement, &floors, growth, attempt) || restart(statement) < 0) return -1;
  }
}

int exec_fetch_grouped(ExecStatement* statement) {
  GroupState* group = group_of(statement);
  if (!group || !group->sort) return EXEC_NO_DATA;
  QueryPlan* member = statement->member;
  for (;;) {
    if (group->done) return EXEC_NO_DATA;
    int rc = sort_read(group->sort, group->group_record);
    if (rc == SORT_END) {
      group->done = true;
      return EXEC_NO_DATA;
    }
    if (rc != SORT_OK) return exec_post_sort_error(statement, group->sort, rc);
    if (exec_aggregate_reset(statement) < 0) return -1;
    if (restore_row(statement, group, group->group_record) < 0) return -1;
    if (exec_aggregate_row(statement) < 0) return -1;
    for (;;) {
      rc = sort_read(group->sort, group->record);
      if (rc == SORT_END) {
        group->done = true;
        break;
      }
      if (rc != SORT_OK) return exec_post_sort_error(statement, group->sort, rc);
      if (!same_group(group, group->group_record, group->record)) {
        // The first record of the next group: read again when that group starts.
        sort_push_back(group->sort, group->record);
        break;
      }
      if (restore_row(statement, group, group->record) < 0) return -1;
      if (exec_aggregate_row(statement) < 0) return -1;
    }
    if (exec_aggregate_finish(statement) < 0) return -1;
    if (member->having) {
      int holds = eval_predicate(member->having, &statement->eval, 0);
      if (holds < 0) {
        SetReturnCode(statement->errors, -1);
        return -1;
      }
      if (holds == 0) continue;
    }
    bool warning = group->warning;
    group->warning = false;
    return warning ? EXEC_WARNING : EXEC_OK;
  }
}

int exec_fetch_single_group(ExecStatement* statement) {
  int rc = exec_fetch_aggregate(statement);
  if ((rc != EXEC_OK && rc != EXEC_WARNING) || !statement->member->having) return rc;
  int holds = eval_predicate(statement->member->having, &statement->eval, 0);
  if (holds < 0) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  return holds ? rc : EXEC_NO_DATA;
}

void exec_group_close(ExecStatement* statement) {
  GroupState* group = group_of(statement);
  if (!group) return;
  if (group->original) statement->eval.hooks.column_value = group->original;
  sort_close(group->sort);
  for (int i = 0; group->values && i < group->column_count; ++i)
    release_value(statement->pool, group->values[i]);
  quill_mem_free(statement->pool, group->values);
  quill_mem_free(statement->pool, group->record);
  quill_mem_free(statement->pool, group->group_record);
  quill_mem_free(statement->pool, group->fields);
  quill_mem_free(statement->pool, group->columns);
  quill_mem_free(statement->pool, group);
  statement->sorting->group = nullptr;
}
