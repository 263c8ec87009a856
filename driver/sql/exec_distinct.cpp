// SELECT DISTINCT: every row of a member's reader goes, as the dm values of its result
// columns, into a unique sort keyed by all result columns in select-list order; the
// distinct reader hands out the surviving records with the result columns restored.
#include "driver/sql/exec_sorting.h"

namespace {

DistinctState* distinct_of(const ExecStatement* statement) {
  return statement->sorting ? statement->sorting->distinct : nullptr;
}

// Marks the computed result columns for evaluation on the next row of the reader.
void next_row(ExecStatement* statement) {
  for (int i = 0; i < statement->column_count; ++i)
    if (!statement->columns[i].plain) statement->columns[i].pending = true;
}

}  // namespace

namespace {

// One attempt at filling the distinct sort with fields at least `floors` long.
int fill_distinct(ExecStatement* statement, ExecRowSource reader,
                  const std::vector<int32_t>& floors, FieldGrowth* growth) {
  SortingState* sorting = exec_sorting(statement);
  if (!sorting) return -1;
  exec_distinct_close(statement);
  auto* distinct =
      static_cast<DistinctState*>(quill_mem_alloc(statement->pool, sizeof(DistinctState)));
  if (!distinct) return exec_post_memory(statement);
  sorting->distinct = distinct;
  int count = statement->column_count;
  distinct->field_count = count;
  distinct->fields = static_cast<RecordField*>(
      quill_mem_alloc(statement->pool, sizeof(RecordField) * static_cast<size_t>(count + 1)));
  auto* keys = static_cast<SortKey*>(
      quill_mem_alloc(statement->pool, sizeof(SortKey) * static_cast<size_t>(count + 1)));
  if (!distinct->fields || !keys) {
    quill_mem_free(statement->pool, keys);
    return exec_post_memory(statement);
  }
  int64_t offset = 0;
  for (int i = 0; i < count; ++i) {
    const ResultColumn& column = statement->columns[i];
    int sql_type = column.item->sql_type;
    int32_t size = exec_content_field_size(sql_type, column.item->description.column_size);
    if (size >= 0 && static_cast<size_t>(i) < floors.size() &&
        floors[static_cast<size_t>(i)] > size)
      size = floors[static_cast<size_t>(i)];
    if (size < 0 || offset + size > INT32_MAX / 2) {
      quill_mem_free(statement->pool, keys);
      return exec_post_general(statement, 0, "error in sort routine");
    }
    distinct->fields[i] = RecordField{static_cast<int32_t>(offset), size, sql_type};
    keys[i] = SortKey{exec_record_kind(sql_type), static_cast<int32_t>(offset), size, 0};
    offset += size;
  }
  distinct->record_length = static_cast<int32_t>(offset);
  distinct->record = static_cast<unsigned char*>(
      quill_mem_alloc(statement->pool, static_cast<size_t>(offset > 0 ? offset : 1)));
  if (!distinct->record) {
    quill_mem_free(statement->pool, keys);
    return exec_post_memory(statement);
  }
  int rc = sort_open(distinct->record_length, true, count, keys, &distinct->sort, statement->pool,
                     exec_sort_context(statement));
  quill_mem_free(statement->pool, keys);
  if (rc != SORT_OK) {
    distinct->sort = nullptr;
    return exec_post_general(statement, 0, "error in sort routine");
  }
  for (;;) {
    int fetched = reader(statement);
    if (fetched == EXEC_ERROR) return EXEC_ERROR;
    if (fetched == EXEC_NO_DATA) break;
    rc = exec_store_columns(statement, distinct->fields, count, distinct->record, growth);
    if (rc < 0) return rc;
    next_row(statement);
    rc = sort_insert(distinct->sort, distinct->record);
    if (rc != SORT_OK) return exec_post_sort_error(statement, distinct->sort, rc);
  }
  rc = sort_finish(distinct->sort);
  if (rc != SORT_OK) return exec_post_sort_error(statement, distinct->sort, rc);
  return 0;
}

}  // namespace

int exec_distinct_open(ExecStatement* statement, ExecRowSource reader, ExecRestart restart) {
  std::vector<int32_t> floors;
  for (int attempt = 0;; ++attempt) {
    FieldGrowth growth{-1, 0, 0};
    int rc = fill_distinct(statement, reader, floors, &growth);
    if (rc != EXEC_FIELD_TOO_SHORT) return rc;
    if (!exec_grow_field(statement, &floors, growth, attempt) || restart(statement) < 0) return -1;
  }
}

int exec_fetch_distinct(ExecStatement* statement) {
  DistinctState* distinct = distinct_of(statement);
  if (!distinct || !distinct->sort) return EXEC_NO_DATA;
  int rc = sort_read(distinct->sort, distinct->record);
  if (rc == SORT_END) return EXEC_NO_DATA;
  if (rc != SORT_OK) return exec_post_sort_error(statement, distinct->sort, rc);
  statement->sorting->stored_columns = true;
  return exec_restore_columns(statement, distinct->fields, distinct->field_count, distinct->record);
}

void exec_distinct_close(ExecStatement* statement) {
  DistinctState* distinct = distinct_of(statement);
  if (!distinct) return;
  sort_close(distinct->sort);
  quill_mem_free(statement->pool, distinct->record);
  quill_mem_free(statement->pool, distinct->fields);
  quill_mem_free(statement->pool, distinct);
  statement->sorting->distinct = nullptr;
}
