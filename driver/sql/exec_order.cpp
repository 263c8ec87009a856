// ORDER BY and UNION without ALL over a whole query: every row of the UNION chain is
// written as the dm values of its result columns followed by the ORDER BY expressions that
// are not select-list positions; the sort orders by the ORDER BY keys (DESC per key) and, for
// a UNION, by every result column with duplicates dropped. A chain that deduplicates only
// part of its members (`A UNION B UNION ALL C` reads as `(A UNION B) UNION ALL C`) tags each
// row so that only rows of the same deduplicated part can drop each other. LONG result
// columns travel as their table and key (exec_order_long*.cpp) and take part in the
// duplicate check that way. The sorted reader restores the result columns of each record.
#include <cstring>

#include "driver/sql/exec_sorting.h"
#include "support/dm.h"

namespace {

// The select-list position (1-based) an ORDER BY expression names, 0 when none: a column
// reference to the same column as a plain select-list item.
int position_of(const QueryPlan* query, const Node* expression) {
  if (!expression || expression->kind != NODE_COLUMN_REF) return 0;
  auto* column = node_cast<ColumnRefNode>(expression);
  for (int i = 0; i < query->item_count; ++i) {
    const Node* item = query->items[i].expression;
    if (!item || item->kind != NODE_COLUMN_REF) continue;
    auto* listed = node_cast<ColumnRefNode>(item);
    if (listed->resolved_table == column->resolved_table &&
        listed->resolved_column == column->resolved_column)
      return i + 1;
  }
  return 0;
}

// Whether every table of every member has key information.
bool keys_everywhere(QueryPlan* query) {
  bool keyed = true;
  exec_for_each_member(query, [&](QueryPlan* member) {
    for (ListNode* at = member->scan_tables; at; at = at->next)
      if (static_cast<TableEntry*>(at->data)->key_count <= 0) keyed = false;
  });
  return keyed;
}

// True when an ORDER BY item names a LONG result column.
bool orders_by_long(const QueryPlan* query) {
  int index = 0;
  for (ListNode* at = query->order_by; at; at = at->next, ++index) {
    auto* item = static_cast<const OrderItemNode*>(at->data);
    int position = query->order_positions ? query->order_positions[index] : 0;
    if (position <= 0) position = position_of(query, item->expression);
    if (position > 0 && position <= query->item_count &&
        exec_is_long_type(query->items[position - 1].sql_type))
      return true;
  }
  return false;
}

bool is_union(const QueryPlan* query) {
  return query && !query->select && (query->union_left || query->union_right);
}

// Numbers the deduplicated parts below `query`: a UNION without ALL that no other covers
// starts a part, and every member below it belongs to that part (`group`, 0 for none).
void number_parts(QueryPlan* query, int64_t group, UnionTags* tags,
                  std::vector<std::pair<QueryPlan*, int64_t>>* out) {
  if (!query) return;
  if (!is_union(query)) {
    out->emplace_back(query, group);
    return;
  }
  if (group == 0 && !query->union_all) group = ++tags->group_count;
  number_parts(query->union_left, group, tags, out);
  number_parts(query->union_right, group, tags, out);
}

// The row tags of a chain whose top joins with ALL while some part below deduplicates
// (null with nothing posted when the chain needs none). 0, or -1 after posting.
int make_tags(ExecStatement* statement, ResultSortState* result, bool unique, int64_t* offset) {
  QueryPlan* query = statement->query;
  result->tags = nullptr;
  if (!unique || !is_union(query) || !query->union_all) return 0;
  auto* tags = static_cast<UnionTags*>(quill_mem_alloc(statement->pool, sizeof(UnionTags)));
  if (!tags) return exec_post_memory(statement);
  result->tags = tags;
  std::vector<std::pair<QueryPlan*, int64_t>> parts;
  number_parts(query, 0, tags, &parts);
  tags->member_count = static_cast<int>(parts.size());
  tags->members = static_cast<QueryPlan**>(
      quill_mem_alloc(statement->pool, sizeof(QueryPlan*) * (parts.size() + 1)));
  tags->groups =
      static_cast<int64_t*>(quill_mem_alloc(statement->pool, sizeof(int64_t) * (parts.size() + 1)));
  if (!tags->members || !tags->groups) return exec_post_memory(statement);
  for (size_t i = 0; i < parts.size(); ++i) {
    tags->members[i] = parts[i].first;
    tags->groups[i] = parts[i].second;
  }
  tags->next_own_tag = tags->group_count + 1;
  int32_t size = static_cast<int32_t>(DM_HEADER_SIZE + sizeof(int64_t));
  tags->field = RecordField{static_cast<int32_t>(*offset), size, SQL_BIGINT};
  *offset += size;
  return 0;
}

// Writes the tag of the current row (its member's part, or a number of its own).
void store_tag(ExecStatement* statement, UnionTags* tags, unsigned char* record) {
  int64_t tag = 0;
  for (int i = 0; i < tags->member_count; ++i)
    if (tags->members[i] == statement->member) tag = tags->groups[i];
  if (tag == 0) tag = tags->next_own_tag++;
  int32_t header[3] = {VALUE_BIGINT, 0, 0};
  std::memcpy(record + tags->field.offset, header, sizeof header);
  std::memcpy(record + tags->field.offset + DM_HEADER_SIZE, &tag, sizeof tag);
}

void free_tags(ExecStatement* statement, ResultSortState* result) {
  if (!result->tags) return;
  quill_mem_free(statement->pool, result->tags->members);
  quill_mem_free(statement->pool, result->tags->groups);
  quill_mem_free(statement->pool, result->tags);
  result->tags = nullptr;
}

// One ORDER BY expression evaluated per row (its field follows the result columns).
struct ExpressionKey {
  const Node* expression;
  RecordField field;
};

// Sizes the result-column fields from the widest member. A LONG column is carried by its
// content when `long_by_content`, else read again by key after sorting. 0 or -1 (posted).
int lay_out_columns(ExecStatement* statement, ResultSortState* result, bool ordered,
                    bool long_by_content, const std::vector<int32_t>& floors, int64_t* offset) {
  QueryPlan* query = statement->query;
  int count = query->item_count;
  result->field_count = count;
  result->fields = static_cast<RecordField*>(
      quill_mem_alloc(statement->pool, sizeof(RecordField) * static_cast<size_t>(count + 1)));
  if (!result->fields) return exec_post_memory(statement);
  for (int i = 0; i < count; ++i) {
    int32_t size = 0;
    bool long_column = false;
    exec_for_each_member(query, [&](QueryPlan* member) {
      if (i >= member->item_count) return;
      const SelectColumn& item = member->items[i];
      if (exec_is_long_type(item.sql_type)) long_column = true;
      int32_t wanted = exec_field_size(item.sql_type, item.description.column_size);
      if (wanted > size) size = wanted;
    });
    if (long_column && long_by_content) {
      size = EXEC_LONG_FIELD_START;
    } else if (long_column) {
      // Only passed through: read again by key rather than carried.
      if (!keys_everywhere(query))
        return exec_post_general(
            statement, 0,
            ordered ? "Unable to ORDER a rowset with LONG types and no primary key information"
                    : "Unable to UNION a rowset with LONG types and no primary key information");
      result->fields[i] = RecordField{static_cast<int32_t>(*offset), 0, query->items[i].sql_type};
      continue;
    }
    if (static_cast<size_t>(i) < floors.size() && floors[static_cast<size_t>(i)] > size)
      size = floors[static_cast<size_t>(i)];
    if (size <= 0 || *offset + size > INT32_MAX / 2)
      return exec_post_general(
          statement, 0, ordered ? "error starting sort routine" : "error in starting sort routine");
    result->fields[i] = RecordField{static_cast<int32_t>(*offset), size, query->items[i].sql_type};
    *offset += size;
  }
  bool marked = false;
  if (!long_by_content && exec_long_columns_lay_out(statement, result, offset, &marked) < 0) {
    if (GetErrorCount(statement->errors) > 0) return -1;
    return exec_post_general(
        statement, 0,
        ordered ? "Unable to ORDER a rowset with LONG types and no primary key information"
                : "Unable to UNION a rowset with LONG types and no primary key information");
  }
  return marked ? EXEC_SORT_REREAD : 0;
}

// Writes one row of the chain into the sort: 0, -1, or EXEC_FIELD_TOO_SHORT with *growth set
// (expression fields are numbered after the result columns).
int insert_row(ExecStatement* statement, ResultSortState* result, const ExpressionKey* expressions,
               int expression_count, FieldGrowth* growth) {
  unsigned char* record = result->record;
  int stored = exec_store_columns(statement, result->fields, result->field_count, record, growth);
  if (stored < 0) return stored;
  if (exec_long_columns_store(statement, result, record) < 0) return -1;
  for (int i = 0; i < expression_count; ++i) {
    QuillValue* value = eval_expression_guarded(expressions[i].expression, &statement->eval, 0);
    if (!value) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
    int32_t needed = 0;
    int rc = exec_put_field(statement, record + expressions[i].field.offset,
                            expressions[i].field.size, value, &needed);
    release_value(statement->eval.pool, value);
    if (rc == EXEC_FIELD_TOO_SHORT)
      *growth = FieldGrowth{result->field_count + i, expressions[i].field.size, needed};
    if (rc < 0) return rc;
  }
  if (result->tags) store_tag(statement, result->tags, record);
  for (int i = 0; i < statement->column_count; ++i)
    if (!statement->columns[i].plain) statement->columns[i].pending = true;
  int rc = sort_insert(result->sort, record);
  return rc == SORT_OK ? 0 : exec_post_sort_error(statement, result->sort, rc);
}

// Builds the keys, opens the sort and feeds it. 0 or -1.
int fill_sort(ExecStatement* statement, ResultSortState* result, ExecRowSource reader, bool unique,
              const std::vector<int32_t>& floors, FieldGrowth* growth) {
  QueryPlan* query = statement->query;
  bool ordered = query->order_by != nullptr;
  const char* open_failure =
      ordered ? "error starting sort routine" : "error in starting sort routine";
  int64_t offset = 0;
  // LONG values are carried by content when they are sorted on, or when their tables have no
  // key to read them again by (a UNION over keyed tables keeps rows of different table rows
  // apart by their keys).
  bool long_by_content = !keys_everywhere(query) || orders_by_long(query);
  int laid = lay_out_columns(statement, result, ordered, long_by_content, floors, &offset);
  if (laid < 0) return laid;
  int order_count = ListCount(query->order_by);
  int key_capacity =
      order_count + (unique ? result->field_count + 1 + exec_long_columns_key_count(result) : 0);
  auto* keys = static_cast<SortKey*>(
      quill_mem_alloc(statement->pool, sizeof(SortKey) * static_cast<size_t>(key_capacity + 1)));
  auto* expressions = static_cast<ExpressionKey*>(quill_mem_alloc(
      statement->pool, sizeof(ExpressionKey) * static_cast<size_t>(order_count + 1)));
  if (!keys || !expressions) return exec_post_memory(statement);
  int key_count = 0, expression_count = 0;
  int index = 0;
  for (ListNode* at = query->order_by; at; at = at->next, ++index) {
    auto* item = static_cast<const OrderItemNode*>(at->data);
    int32_t flags = item->descending ? SORT_KEY_DESCENDING : 0;
    int position = query->order_positions ? query->order_positions[index] : 0;
    if (position <= 0) position = position_of(query, item->expression);
    if (position > 0 && position <= result->field_count) {
      const RecordField& field = result->fields[position - 1];
      if (field.size == 0) return exec_post_general(statement, 0, open_failure);  // LONG
      keys[key_count++] =
          SortKey{exec_record_kind(field.sql_type), field.offset, field.size, flags};
      continue;
    }
    if (query->distinct)  // the rows no longer carry what the expression reads
      return exec_post_general(
          statement, 0,
          "ORDER BY items must appear in the select list if SELECT DISTINCT is specified");
    int sql_type = 0;
    int64_t length = 0;
    exec_expression_type(statement, query, item->expression, &sql_type, &length);
    int32_t size = exec_content_field_size(sql_type, length);
    size_t floor_index = static_cast<size_t>(result->field_count + expression_count);
    if (size >= 0 && floor_index < floors.size() && floors[floor_index] > size)
      size = floors[floor_index];
    if (size < 0 || offset + size > INT32_MAX / 2)
      return exec_post_general(statement, 0, open_failure);
    ExpressionKey* key = &expressions[expression_count++];
    key->expression = item->expression;
    key->field = RecordField{static_cast<int32_t>(offset), size, sql_type};
    offset += size;
    keys[key_count++] = SortKey{exec_record_kind(sql_type), key->field.offset, size, flags};
  }
  if (unique) {
    for (int i = 0; i < result->field_count; ++i)
      if (result->fields[i].size > 0)
        keys[key_count++] = SortKey{exec_record_kind(result->fields[i].sql_type),
                                    result->fields[i].offset, result->fields[i].size, 0};
    // A LONG column compares as its table and key: rows read from different table rows stay
    // apart even when every other column is equal.
    key_count += exec_long_columns_keys(result, keys + key_count);
  }
  if (make_tags(statement, result, unique, &offset) < 0) return -1;
  if (result->tags)
    keys[key_count++] =
        SortKey{VALUE_BIGINT, result->tags->field.offset, result->tags->field.size, 0};
  result->record_length = static_cast<int32_t>(offset);
  result->record = static_cast<unsigned char*>(
      quill_mem_alloc(statement->pool, static_cast<size_t>(offset > 0 ? offset : 1)));
  if (!result->record) return exec_post_memory(statement);
  int rc = sort_open(result->record_length, unique, key_count, keys, &result->sort, statement->pool,
                     exec_sort_context(statement));
  quill_mem_free(statement->pool, keys);
  if (rc != SORT_OK) {
    result->sort = nullptr;
    return exec_post_general(statement, 0, open_failure);
  }
  bool warning = false;
  for (;;) {
    int fetched = reader(statement);
    if (fetched == EXEC_ERROR) return EXEC_ERROR;
    if (fetched == EXEC_NO_DATA) break;
    warning |= fetched == EXEC_WARNING;
    rc = insert_row(statement, result, expressions, expression_count, growth);
    if (rc < 0) return rc;
  }
  quill_mem_free(statement->pool, expressions);
  rc = sort_finish(result->sort);
  if (rc != SORT_OK) return exec_post_sort_error(statement, result->sort, rc);
  return warning ? EXEC_WARNING : EXEC_OK;
}

// Frees the ORDER BY / UNION sort of the statement.
void close_result(ExecStatement* statement) {
  ResultSortState* result = statement->sorting->result;
  if (!result) return;
  exec_long_columns_close(result);
  sort_close(result->sort);
  free_tags(statement, result);
  quill_mem_free(statement->pool, result->record);
  quill_mem_free(statement->pool, result->fields);
  quill_mem_free(statement->pool, result);
  statement->sorting->result = nullptr;
}

}  // namespace

int exec_result_sort_open(ExecStatement* statement, ExecRowSource reader, bool unique,
                          ExecRestart restart) {
  SortingState* sorting = exec_sorting(statement);
  if (!sorting) return -1;
  std::vector<int32_t> floors;
  int rc = 0;
  for (int attempt = 0;; ++attempt) {
    close_result(statement);
    auto* result =
        static_cast<ResultSortState*>(quill_mem_alloc(statement->pool, sizeof(ResultSortState)));
    if (!result) return exec_post_memory(statement);
    sorting->result = result;
    FieldGrowth growth{-1, 0, 0};
    rc = fill_sort(statement, result, reader, unique, floors, &growth);
    if (rc == EXEC_SORT_REREAD) {
      // The key columns of the LONG columns are read from now on.
      if (restart(statement) < 0) return -1;
      --attempt;
      continue;
    }
    if (rc != EXEC_FIELD_TOO_SHORT) break;
    if (!exec_grow_field(statement, &floors, growth, attempt) || restart(statement) < 0) return -1;
  }
  if (rc < 0) return -1;
  ResultSortState* result = sorting->result;
  // The rows are all in the sort: the last member's scans and sorts are done with.
  exec_member_sorts_close(statement);
  exec_free_plan(statement);
  statement->column_count = result->field_count;
  return rc;
}

int exec_fetch_sorted(ExecStatement* statement) {
  ResultSortState* result = statement->sorting ? statement->sorting->result : nullptr;
  if (!result || !result->sort) return EXEC_NO_DATA;
  int rc = sort_read(result->sort, result->record);
  if (rc == SORT_END) return EXEC_NO_DATA;
  if (rc != SORT_OK) return exec_post_sort_error(statement, result->sort, rc);
  statement->sorting->stored_columns = true;
  if (exec_restore_columns(statement, result->fields, result->field_count, result->record) < 0)
    return -1;
  return exec_long_columns_restore(statement, result, result->record);
}
