// Result columns of the current row: plain columns read their table slot, computed columns
// are evaluated on first read, and short character or binary results are presented in a
// buffer of their declared length + 1 bytes (never more than 64,000).
#include "driver/sql/exec_internal.h"

namespace {

// Copies a character or binary result shorter than its declared length into a buffer of
// the declared length + 1 bytes (at most EXEC_RESULT_CAP).
QuillValue* present_result(ExecStatement* statement, ResultColumn* column, QuillValue* value) {
  if (value->kind != VALUE_CHARACTER && value->kind != VALUE_BINARY) return value;
  if (is_value_null(value) || value->bytes.length >= column->declared_length) return value;
  int64_t wanted = static_cast<int64_t>(column->declared_length) + 1;
  size_t capacity = static_cast<size_t>(wanted > EXEC_RESULT_CAP ? EXEC_RESULT_CAP : wanted);
  size_t needed =
      static_cast<size_t>(value->bytes.length) + (value->kind == VALUE_CHARACTER ? 2 : 1);
  if (needed > capacity) return value;
  QuillValue* copy = NewValue(statement->pool, 0);
  if (!copy) return nullptr;
  void* bytes = quill_mem_realloc(statement->pool, copy->bytes.data, capacity);
  if (!bytes) {
    release_value(statement->pool, copy);
    return nullptr;
  }
  copy->bytes.data = static_cast<char*>(bytes);
  copy->bytes.capacity = static_cast<int32_t>(capacity);
  int rc =
      value->kind == VALUE_CHARACTER
          ? set_value_to_text(copy, value->bytes.data, static_cast<size_t>(value->bytes.length))
          : set_value_to_binary(copy, value->bytes.data, static_cast<size_t>(value->bytes.length));
  if (rc < 0) {
    release_value(statement->pool, copy);
    return nullptr;
  }
  copy->length = column->declared_length;
  release_value(statement->pool, value);
  return copy;
}

}  // namespace

const QuillValue* exec_column_value(ExecStatement* statement, int column_number) {
  if (column_number < 0 || column_number >= statement->column_count || !statement->row_source) {
    exec_post_general(statement, 0, "Invalid column number");
    return nullptr;
  }
  ResultColumn* column = &statement->columns[column_number];
  if (column->plain) {
    auto* reference = node_cast<ColumnRefNode>(column->item->expression);
    const QuillValue* value = statement->eval.hooks.column_value(&statement->eval, reference);
    if (!value && GetErrorCount(statement->errors) == 0)
      exec_post_general(statement, 0, "Data Read Error");
    // A deferred LONG value is read while its row is current; a failure is reported here
    // rather than showing up later as an empty value.
    if (value && settle_value(value) < 0) {
      if (GetErrorCount(statement->errors) == 0) exec_post_general(statement, 0, "Data Read Error");
      SetReturnCode(statement->errors, -1);
      return nullptr;
    }
    return value;
  }
  if (!column->pending) return column->value;
  if (column->value) release_value(statement->pool, column->value);
  column->value = nullptr;
  QuillValue* value = eval_expression_guarded(column->item->expression, &statement->eval, 0);
  if (!value) {
    SetReturnCode(statement->errors, -1);
    return nullptr;
  }
  QuillValue* presented = present_result(statement, column, value);
  if (!presented) {
    release_value(statement->pool, value);
    exec_post_memory(statement);
    return nullptr;
  }
  column->value = presented;
  column->pending = false;
  return presented;
}
