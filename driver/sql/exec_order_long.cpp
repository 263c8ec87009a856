// LONG result columns of an ORDER BY or UNION sort: LONG values never enter a sort record, so
// the record carries the key of the column's table instead (its key columns, row key or
// bookmark, in key-map order) and each sorted row reads the value again by that key. The
// members of a UNION may read a LONG result column from different tables: each table gets
// key fields of its own and the record names the table of its row. This unit lays out the
// key fields and writes them for every row fed into the sort.
#include <cstring>
#include <vector>

#include "driver/sql/exec_sorting.h"
#include "support/dm.h"

namespace {

// Descriptions of the row key (DAL column -1, an INTEGER) and the bookmark (DAL column -2,
// 32 characters) for sizing their fields and slots.
ColumnInfo row_key_info() {
  ColumnInfo info{};
  info.number = KEY_ROW_ID;
  info.sql_type = SQL_INTEGER;
  return info;
}

ColumnInfo bookmark_info() {
  ColumnInfo info{};
  info.number = KEY_BOOKMARK;
  info.sql_type = SQL_CHAR;
  info.length = 32;
  return info;
}

// The description of key part `number` of `entry` (a column number, row key or bookmark).
ColumnInfo key_part_info(const TableEntry* entry, int number) {
  if (number == KEY_ROW_ID) return row_key_info();
  if (number == KEY_BOOKMARK) return bookmark_info();
  return entry->columns[number - 1];
}

// Writes a NULL dm of the field's kind over the whole field.
void write_null(unsigned char* at, const RecordField& field) {
  int32_t header[3] = {sql_to_value_type(field.sql_type), SQL_NULL_DATA, 0};
  std::memset(at, 0, static_cast<size_t>(field.size));
  std::memcpy(at, header, sizeof header);
}

// Writes the INTEGER dm naming the row's table (`source`) into a table-naming field.
void write_source(unsigned char* at, const RecordField& field, int32_t source) {
  int32_t header[3] = {VALUE_INTEGER, 0, 0};
  std::memset(at, 0, static_cast<size_t>(field.size));
  std::memcpy(at, header, sizeof header);
  std::memcpy(at + DM_HEADER_SIZE, &source, sizeof source);
}

// The base table and column a LONG select-list item reads, with a usable key map; null
// when the item is not such a column.
const ColumnRefNode* keyed_long_column(const SelectColumn& item) {
  if (!exec_is_long_type(item.sql_type) || !item.expression ||
      item.expression->kind != NODE_COLUMN_REF)
    return nullptr;
  auto* column = node_cast<ColumnRefNode>(item.expression);
  const TableEntry* entry = column->resolved_table;
  if (!entry || entry->type != TABLE_BASE || entry->key_count <= 0 || !entry->key_map)
    return nullptr;
  if (column->resolved_column < 0 || column->resolved_column >= entry->column_count) return nullptr;
  for (int k = 0; k < entry->key_count; ++k) {
    int number = entry->key_map[k];
    if (number == KEY_ROW_ID || number == KEY_BOOKMARK) continue;
    if (number < 1 || number > entry->column_count) return nullptr;
  }
  return column;
}

// Whether two entries name the same table of the same backend with the same key map (the
// members of a UNION each have their own entry of a table they share).
bool same_table(const TableEntry* a, const TableEntry* b) {
  if (a == b) return true;
  if (a->table.backend_index != b->table.backend_index || a->key_count != b->key_count ||
      std::strcmp(a->table.catalog, b->table.catalog) != 0 ||
      std::strcmp(a->table.schema, b->table.schema) != 0 ||
      std::strcmp(a->table.name, b->table.name) != 0)
    return false;
  for (int k = 0; k < a->key_count; ++k)
    if (a->key_map[k] != b->key_map[k]) return false;
  return true;
}

// Allocates the per-key-part arrays of `column` and its member lists (room for `members`).
// False when memory ran out.
bool allocate_key_parts(MemPool* pool, LongColumn* column, size_t members) {
  const TableEntry* entry = column->entry;
  size_t parts = static_cast<size_t>(entry->key_count);
  column->keys = static_cast<RecordField*>(quill_mem_alloc(pool, sizeof(RecordField) * parts));
  column->stored = static_cast<QuillValue**>(quill_mem_alloc(pool, sizeof(QuillValue*) * parts));
  for (size_t k = 0; column->stored && k < parts; ++k) column->stored[k] = nullptr;  // see close
  column->restrictions =
      static_cast<Restriction*>(quill_mem_alloc(pool, sizeof(Restriction) * parts));
  column->pointers =
      static_cast<Restriction**>(quill_mem_alloc(pool, sizeof(Restriction*) * parts));
  column->usage = static_cast<int*>(
      quill_mem_alloc(pool, sizeof(int) * static_cast<size_t>(entry->column_count + 1)));
  column->members = static_cast<QueryPlan**>(quill_mem_alloc(pool, sizeof(QueryPlan*) * members));
  column->member_entries =
      static_cast<TableEntry**>(quill_mem_alloc(pool, sizeof(TableEntry*) * members));
  if (!column->keys || !column->stored || !column->restrictions || !column->pointers ||
      !column->usage || !column->members || !column->member_entries)
    return false;
  for (int c = 0; c <= entry->column_count; ++c) column->usage[c] = 0;
  column->usage[column->reference->resolved_column] = 1;
  return true;
}

// Adds `member` (reading the column through `entry`) to the readers of `column` and marks the
// key columns of `entry` read: the scan that feeds the sort must read them too.
void add_member(LongColumn* column, QueryPlan* member, TableEntry* entry, bool* marked) {
  column->members[column->member_count] = member;
  column->member_entries[column->member_count++] = entry;
  for (int k = 0; k < entry->key_count; ++k) {
    int number = entry->key_map[k];
    if (number < 1) continue;
    if (!entry->column_used[number - 1]) *marked = true;
    entry->column_used[number - 1] = 1;
  }
}

// Lays out key part `k` of `column` at *offset: its field, its slot and its `=` restriction
// (which reads the slot). 0, or -1 (posted, or without posting for an unsized key).
int lay_out_key_part(ExecStatement* statement, LongColumn* column, int k, int64_t* offset) {
  TableEntry* entry = column->entry;
  int number = entry->key_map[k];
  ColumnInfo info = key_part_info(entry, number);
  int32_t size = exec_field_size(info.sql_type, info.length);
  if (size < 0) return -1;
  column->keys[k] = RecordField{static_cast<int32_t>(*offset), size, info.sql_type};
  *offset += size;
  column->stored[k] = exec_make_slot(statement->pool, &info);
  if (!column->stored[k]) return exec_post_memory(statement);
  Restriction& restriction = column->restrictions[k];
  restriction = Restriction{};
  restriction.column = number >= 1 ? &entry->columns[number - 1] : nullptr;
  restriction.column_number = number;
  restriction.op = RESTRICT_EQUAL;
  restriction.value = column->stored[k];
  column->pointers[k] = &restriction;
  return 0;
}

// The source of result column `item` for `member`: an existing one of the same table column
// among `result->long_columns[first..]`, or a new one. Null after posting a memory error, or
// without posting when the member's item is not a keyed LONG column.
LongColumn* source_of(ExecStatement* statement, ResultSortState* result, int first, int item,
                      QueryPlan* member, size_t member_total, bool* marked) {
  if (item >= member->item_count) return nullptr;
  const ColumnRefNode* reference = keyed_long_column(member->items[item]);
  if (!reference) return nullptr;
  TableEntry* entry = reference->resolved_table;
  LongColumn* column = nullptr;
  for (int c = first; c < result->long_count && !column; ++c) {
    LongColumn* known = &result->long_columns[c];
    if (known->reference->resolved_column == reference->resolved_column &&
        same_table(known->entry, entry))
      column = known;
  }
  if (!column) {
    column = &result->long_columns[result->long_count++];
    column->pool = statement->pool;
    column->result_column = item;
    column->reference = reference;
    column->entry = entry;
    column->source = result->long_count - first;
    if (!allocate_key_parts(statement->pool, column, member_total)) {
      exec_post_memory(statement);
      return nullptr;
    }
  }
  add_member(column, member, entry, marked);
  return column;
}

}  // namespace

int exec_long_columns_lay_out(ExecStatement* statement, ResultSortState* result, int64_t* offset,
                              bool* marked) {
  QueryPlan* query = statement->query;
  std::vector<QueryPlan*> members;
  exec_for_each_member(query, [&](QueryPlan* member) { members.push_back(member); });
  int count = 0;
  for (int i = 0; i < query->item_count; ++i)
    if (exec_is_long_type(query->items[i].sql_type)) ++count;
  if (count == 0) return 0;
  size_t capacity = static_cast<size_t>(count) * members.size();
  result->long_columns =
      static_cast<LongColumn*>(quill_mem_alloc(statement->pool, sizeof(LongColumn) * capacity));
  if (!result->long_columns) return exec_post_memory(statement);
  for (size_t c = 0; c < capacity; ++c) result->long_columns[c] = LongColumn{};
  result->long_columns[0].pool = statement->pool;
  for (int i = 0; i < query->item_count; ++i) {
    if (!exec_is_long_type(query->items[i].sql_type)) continue;
    int first = result->long_count;
    for (QueryPlan* member : members)
      if (!source_of(statement, result, first, i, member, members.size(), marked))
        return -1;  // posted, or the caller reports the missing key information
    // Rows of a column read from several tables name theirs in a field of its own.
    RecordField source_field{0, 0, SQL_INTEGER};
    if (result->long_count - first > 1) {
      int32_t size = static_cast<int32_t>(DM_HEADER_SIZE + sizeof(int32_t));
      source_field = RecordField{static_cast<int32_t>(*offset), size, SQL_INTEGER};
      *offset += size;
    }
    for (int c = first; c < result->long_count; ++c) {
      LongColumn* column = &result->long_columns[c];
      column->source_field = source_field;
      for (int k = 0; k < column->entry->key_count; ++k)
        if (lay_out_key_part(statement, column, k, offset) < 0) return -1;
    }
  }
  return 0;
}

int exec_long_columns_key_count(const ResultSortState* result) {
  int count = 0;
  for (int c = 0; c < result->long_count; ++c) {
    const LongColumn& column = result->long_columns[c];
    if (column.source == 1 && column.source_field.size > 0) ++count;
    count += column.entry->key_count;
  }
  return count;
}

int exec_long_columns_keys(const ResultSortState* result, SortKey* keys) {
  int count = 0;
  auto key_of = [](const RecordField& field) {
    return SortKey{sql_to_value_type(field.sql_type), field.offset, field.size, 0};
  };
  for (int c = 0; c < result->long_count; ++c) {
    const LongColumn& column = result->long_columns[c];
    if (column.source == 1 && column.source_field.size > 0)
      keys[count++] = key_of(column.source_field);
    for (int k = 0; k < column.entry->key_count; ++k) keys[count++] = key_of(column.keys[k]);
  }
  return count;
}

int exec_long_columns_store(ExecStatement* statement, ResultSortState* result,
                            unsigned char* record) {
  for (int c = 0; c < result->long_count; ++c) {
    LongColumn* column = &result->long_columns[c];
    TableEntry* entry = nullptr;
    for (int m = 0; m < column->member_count && !entry; ++m)
      if (column->members[m] == statement->member) entry = column->member_entries[m];
    if (!entry) {
      // The row comes from another table: this table's key fields are NULL.
      for (int k = 0; k < column->entry->key_count; ++k)
        write_null(record + column->keys[k].offset, column->keys[k]);
      continue;
    }
    if (column->source_field.size > 0)
      write_source(record + column->source_field.offset, column->source_field, column->source);
    TableCursor* cursor = exec_find_cursor(statement, entry);
    if (!cursor || !cursor->slots)
      return exec_post_general(statement, EXEC_NATIVE_SORT, "Internal Error");
    for (int k = 0; k < entry->key_count; ++k) {
      int number = entry->key_map[k];
      const QuillValue* value = number == KEY_ROW_ID     ? cursor->row_key
                                : number == KEY_BOOKMARK ? cursor->bookmark
                                                         : cursor->slots[number - 1];
      if (exec_put_field(statement, record + column->keys[k].offset, column->keys[k].size, value,
                         nullptr) < 0)
        return -1;
    }
  }
  return 0;
}
