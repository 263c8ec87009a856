// Sort records of the sorting stages: the statement's sorting state, the sort's working
// context (work directory, work_mem_size, time-out), dm fields sized from declared types and
// written without ever cutting a value, result columns stored into and restored from
// records, and the posting of sort failures.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "driver/sql/exec_sorting.h"
#include "support/dm.h"

namespace {

// Character and binary fields of an undescribed size get this many payload bytes.
constexpr int64_t kUnsizedFieldLength = 254;
// Largest fixed payload of any value kind (the interval structure); numeric fields get at
// least 8 bytes so that a promoted integer (BIGINT, double) still fits.
constexpr int32_t kWidestFixedPayload = 28;
constexpr int32_t kNarrowestNumberPayload = 8;
constexpr const char* kTooLong = "Value longer than its declared column length in a sort record";

const ExecStatement* top_of(const ExecStatement* statement) {
  while (statement->parent) statement = statement->parent;
  return statement;
}

// True once the statement was asked to stop (SQLCancel from another thread).
bool cancel_raised(const ExecStatement* top) {
  return top->cancel_flag && __atomic_load_n(top->cancel_flag, __ATOMIC_RELAXED) != 0;
}

// The sort's time-out test: the top statement's deadline has passed or it was cancelled.
bool deadline_passed(void* argument) {
  const ExecStatement* top = top_of(static_cast<const ExecStatement*>(argument));
  if (cancel_raised(top)) return true;
  return top->has_deadline && std::chrono::steady_clock::now() >= top->deadline;
}

// The work directory text a sort context points at until the sort opens (it copies it).
struct SortingDirectory {
  char path[260];
};

}  // namespace

SortingState* exec_sorting(ExecStatement* statement) {
  if (statement->sorting) return statement->sorting;
  statement->sorting =
      static_cast<SortingState*>(quill_mem_alloc(statement->pool, sizeof(SortingState)));
  if (!statement->sorting) exec_post_memory(statement);
  return statement->sorting;
}

SortContext exec_sort_context(ExecStatement* statement) {
  static thread_local SortingDirectory directory;
  SortContext context{};
  context.work_dir = nullptr;  // no call layer to ask: $TMPDIR
  context.work_mem_size = -1;
  context.timed_out = deadline_passed;
  context.timeout_argument = statement;
  const ExecStatement* top = top_of(statement);
  if (!top->context.sort_settings || !top->dal || !top->dal->connection) {
    long memory = top->sort_memory;
    context.work_mem_size = memory > 0 ? memory : -1;
    return context;
  }
  directory.path[0] = '\0';
  context.work_mem_size =
      top->context.sort_settings(top->dal->connection, directory.path, sizeof directory.path);
  context.work_dir = directory.path;
  return context;
}

int32_t exec_field_size(int sql_type, int64_t length) {
  switch (sql_type) {
    case SQL_LONGVARCHAR:
    case SQL_LONGVARBINARY:
      return -1;
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY: {
      int64_t bytes = length > 0 ? length : kUnsizedFieldLength;
      if (bytes > INT32_MAX / 2) return -1;
      return static_cast<int32_t>(bytes + DM_HEADER_SIZE + 1);
    }
    default:
      break;
  }
  int32_t payload = get_dm_length(sql_type, 0);
  if (payload < 0) payload = kWidestFixedPayload;
  if (payload < kNarrowestNumberPayload) payload = kNarrowestNumberPayload;
  return payload + static_cast<int32_t>(DM_HEADER_SIZE);
}

int32_t exec_content_field_size(int sql_type, int64_t length) {
  return exec_is_long_type(sql_type) ? EXEC_LONG_FIELD_START : exec_field_size(sql_type, length);
}

int exec_record_kind(int sql_type) {
  if (sql_type == SQL_LONGVARCHAR) return VALUE_CHARACTER;
  if (sql_type == SQL_LONGVARBINARY) return VALUE_BINARY;
  return sql_to_value_type(sql_type);
}

namespace {

// A LONG value goes into a record as the text or bytes it holds, read in full here (the row
// is still current), so that grouping, DISTINCT and ORDER BY compare contents.
int put_long_field(ExecStatement* statement, unsigned char* field, int32_t size,
                   const QuillValue* value, int32_t* needed_out) {
  bool text = value->kind == VALUE_LONG_CHARACTER;
  QuillValue view{};
  if (is_value_null(value)) {
    set_value_null(&view, text ? VALUE_CHARACTER : VALUE_BINARY);
    return exec_put_field(statement, field, size, &view, needed_out);
  }
  std::string content;
  EvalContext* context = &statement->eval;
  if (!context->read_long || !context->read_long(context, value, &content)) {
    if (GetErrorCount(statement->errors) > 0) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
    return exec_post_general(statement, EXEC_NATIVE_SORT, "Data Read Error 1");
  }
  if (content.size() > INT32_MAX / 4)
    return exec_post_general(statement, EXEC_NATIVE_SORT, kTooLong);
  view.kind = text ? VALUE_CHARACTER : VALUE_BINARY;
  view.bytes.data = content.data();
  view.bytes.capacity = static_cast<int32_t>(content.size() + 1);
  view.bytes.length = static_cast<int32_t>(content.size());
  view.length = view.bytes.length;
  return exec_put_field(statement, field, size, &view, needed_out);
}

}  // namespace

int exec_put_field(ExecStatement* statement, unsigned char* field, int32_t size,
                   const QuillValue* value, int32_t* needed_out) {
  if (!value) return exec_post_general(statement, EXEC_NATIVE_SORT, "Internal Error");
  if (value->kind == VALUE_LONG_CHARACTER || value->kind == VALUE_LONG_BINARY)
    return put_long_field(statement, field, size, value, needed_out);
  QuillValue view = *value;
  bool null = is_value_null(value);
  int32_t needed = static_cast<int32_t>(DM_HEADER_SIZE);
  if (value->kind == VALUE_CHARACTER || value->kind == VALUE_BINARY) {
    size_t held = 0;
    if (!null && value->bytes.data)
      held = value->kind == VALUE_CHARACTER
                 ? strnlen(value->bytes.data, static_cast<size_t>(value->bytes.capacity))
                 : static_cast<size_t>(value->bytes.length);
    if (held > INT32_MAX / 2) return exec_post_general(statement, EXEC_NATIVE_SORT, kTooLong);
    view.length = static_cast<int32_t>(held);
    if (!null) needed += view.length + (value->kind == VALUE_CHARACTER ? 1 : 0);
  } else if (value->kind == VALUE_LONG_CHARACTER || value->kind == VALUE_LONG_BINARY) {
    return exec_post_general(statement, EXEC_NATIVE_SORT, "Data Read Error 1");
  } else {
    int32_t payload = dm_fixed_payload(value->kind);
    if (payload < 0 && !null)
      return exec_post_general(statement, EXEC_NATIVE_SORT, "Internal Error");
    if (!null) needed += payload;
  }
  // A value longer than its field (a backend string beyond its declared length) is never
  // cut: a cut value would sort and compare as a different one.
  if (needed > size) {
    if (!needed_out) return exec_post_general(statement, EXEC_NATIVE_SORT, kTooLong);
    *needed_out = needed;
    return EXEC_FIELD_TOO_SHORT;
  }
  if (null && dm_fixed_payload(view.kind) < 0 && view.kind != VALUE_CHARACTER &&
      view.kind != VALUE_BINARY)
    view.kind = VALUE_INTEGER;  // a NULL of no particular kind
  int32_t written = value_to_dm(field, &view);
  if (written < 0) return exec_post_general(statement, EXEC_NATIVE_SORT, "Internal Error");
  if (written < size) std::memset(field + written, 0, static_cast<size_t>(size - written));
  return 0;
}

int exec_post_sort_error(ExecStatement* statement, SortWork* sort, int code) {
  if (code == SORT_TIMEOUT) {
    // The sort stops for a cancel as for its time-out; the flag tells which it was.
    bool canceled = cancel_raised(top_of(statement));
    SetReturnCode(statement->errors, -1);
    PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075",
              canceled ? "HY008" : "HYT00", canceled ? "Operation canceled" : "Timeout expired");
    return -1;
  }
  char text[160] = "";
  if (sort) sort_error_text(sort, text, sizeof text);
  if (!text[0])
    std::snprintf(
        text, sizeof text, "%s",
        code == SORT_NO_MEMORY ? "Out of memory in sort routine" : "error in sort routine");
  return exec_post_general(statement, 0, text);
}

void exec_expression_type(ExecStatement* statement, const QueryPlan* plan, const Node* expression,
                          int* sql_type, int64_t* length) {
  (void)statement;
  *sql_type = SQL_TYPE_UNKNOWN;
  *length = 0;
  if (!expression) return;
  DescribeContext describe{};
  describe.column_description = [](void*, const ColumnRefNode* column, TypeDescription* out) {
    const TableEntry* entry = column->resolved_table;
    if (!entry || column->resolved_column < 0 || column->resolved_column >= entry->column_count)
      return false;
    const ColumnInfo& info = entry->columns[column->resolved_column];
    default_type_description(info.sql_type, out);
    out->sql_type = info.sql_type;
    if (info.length > 0) out->column_size = info.length;
    out->precision = info.precision;
    out->scale = info.scale;
    return true;
  };
  describe.parameter_type = [](void* state, const Node* parameter) {
    ParameterEntry* entry = find_parameter(static_cast<const QueryPlan*>(state), parameter);
    return entry ? static_cast<int>(entry->sql_type) : 0;
  };
  describe.state = const_cast<QueryPlan*>(plan);
  describe.odbc_version = 3;
  TypeDescription out{};
  if (!describe_expression(expression, describe, &out)) return;
  *sql_type = out.sql_type;
  *length = out.column_size;
}

bool exec_grow_field(ExecStatement* statement, std::vector<int32_t>* floors,
                     const FieldGrowth& growth, int attempt) {
  if (attempt + 1 >= EXEC_SORT_ATTEMPTS || growth.field < 0 || growth.size > INT32_MAX / 4) {
    exec_post_general(statement, EXEC_NATIVE_SORT, kTooLong);
    return false;
  }
  if (floors->size() <= static_cast<size_t>(growth.field))
    floors->resize(static_cast<size_t>(growth.field) + 1, 0);
  int32_t doubled = growth.size * 2;
  (*floors)[static_cast<size_t>(growth.field)] = growth.needed > doubled ? growth.needed : doubled;
  return true;
}

int exec_store_columns(ExecStatement* statement, const RecordField* fields, int count,
                       unsigned char* record, FieldGrowth* growth) {
  // Rows may reach the sort from sources that check for no cancel of their own (derived
  // tables, joins of cached rows): each record stored looks at the flag.
  if (cancel_raised(top_of(statement))) {
    SetReturnCode(statement->errors, -1);
    PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY008",
              "Operation canceled");
    return -1;
  }
  // The columns are read while the sort is fed, before the statement has its own row source;
  // exec_column_value only serves a statement that has one.
  ExecRowSource installed = statement->row_source;
  if (!installed) statement->row_source = exec_fetch_sorted;
  int rc = 0;
  for (int i = 0; i < count && rc == 0; ++i) {
    if (fields[i].size == 0) continue;  // a LONG column: its table's keys are stored instead
    const QuillValue* value = exec_column_value(statement, i);
    int32_t needed = 0;
    rc = value
             ? exec_put_field(statement, record + fields[i].offset, fields[i].size, value, &needed)
             : -1;
    if (rc == EXEC_FIELD_TOO_SHORT) *growth = FieldGrowth{i, fields[i].size, needed};
  }
  statement->row_source = installed;
  return rc;
}

int exec_restore_columns(ExecStatement* statement, const RecordField* fields, int count,
                         const unsigned char* record) {
  for (int i = 0; i < count && i < statement->column_count; ++i) {
    if (fields[i].size == 0) continue;  // a LONG column is read again by key
    ResultColumn* column = &statement->columns[i];
    if (column->value && column->plain) column->value = nullptr;
    column->plain = false;
    if (!column->value) {
      column->value = NewValue(statement->pool, 0);
      if (!column->value) return exec_post_memory(statement);
    }
    if (dm_to_value(record + fields[i].offset, column->value) < 0)
      return exec_post_memory(statement);
    column->pending = false;
  }
  return 0;
}

void exec_member_sorts_close(ExecStatement* statement) {
  if (!statement->sorting) return;
  exec_group_close(statement);
  exec_distinct_close(statement);
}

void exec_sorting_close(ExecStatement* statement) {
  SortingState* sorting = statement->sorting;
  if (!sorting) return;
  exec_member_sorts_close(statement);
  if (sorting->result) {
    exec_long_columns_close(sorting->result);
    sort_close(sorting->result->sort);
    if (UnionTags* tags = sorting->result->tags) {
      quill_mem_free(statement->pool, tags->members);
      quill_mem_free(statement->pool, tags->groups);
      quill_mem_free(statement->pool, tags);
    }
    quill_mem_free(statement->pool, sorting->result->record);
    quill_mem_free(statement->pool, sorting->result->fields);
    quill_mem_free(statement->pool, sorting->result);
    sorting->result = nullptr;
  }
  sorting->stored_columns = false;
}
