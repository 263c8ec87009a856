// Fetching from the open cursor: rowsets through the cursor layer, the
// transfer of each row into the bound columns (row-wise or column-wise, with
// the bind offset), SQLGetData on the current row and SQLSetPos.
#include <cstring>

#include "driver/odbc/convert/convert_result.h"
#include "driver/odbc/cursor/cursor_layer.h"
#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"
#include "driver/odbc/positioned/stmt_setpos_rows.h"

namespace {

CursorLayer* layer_of(QuillStmt* stmt) {
  return stmt->cursor;
}

// Byte address of element `row` of a bound buffer.
template <typename T>
T* bound_element(T* base, const QuillDesc* ard, SQLULEN row, SQLLEN element) {
  if (!base) return nullptr;
  char* bytes = reinterpret_cast<char*>(base);
  bytes += ard->bind_type > 0 ? static_cast<SQLLEN>(row * ard->bind_type)
                              : static_cast<SQLLEN>(row) * element;
  if (ard->bind_offset_ptr) bytes += *ard->bind_offset_ptr;
  return reinterpret_cast<T*>(bytes);
}

// SQLGetData's per-row memory of which columns it began: new row, fresh start.
void forget_getdata(QuillStmt* stmt) {
  if (stmt->getdata_started)
    std::memset(stmt->getdata_started, 0, static_cast<size_t>(stmt->result_columns) + 1);
}

// Converts every bound column of the current row into its element `row`.
SQLRETURN transfer_bound_columns(QuillStmt* stmt, SQLULEN row) {
  QuillDesc* ard = stmt->ard;
  int last = ard->count < stmt->result_columns ? ard->count : stmt->result_columns;
  bool bookmarks = stmt->attrs.use_bookmarks != SQL_UB_OFF;
  SQLRETURN outcome = SQL_SUCCESS;
  QuillValue* scratch = nullptr;
  for (int column = bookmarks ? 0 : 1; column <= last; ++column) {
    DescRecord* record = desc_record(ard, column, false);
    if (!record || (!record->data_ptr && !record->indicator_ptr && !record->octet_length_ptr))
      continue;
    QuillValue* value;
    if (column == 0) {
      if (!scratch) scratch = NewValue(stmt->tree_pool, 0);
      value = stmt_column_value(stmt, 0, scratch);
    } else {
      value = stmt_column_value(stmt, column, nullptr);
    }
    if (!value) return SQL_ERROR;
    SQLLEN element = result_element_size(record->concise_type, record->octet_length);
    ResultTarget target{};
    target.c_type = record->concise_type;
    target.buffer = bound_element(static_cast<char*>(record->data_ptr), ard, row, element);
    target.buffer_length = record->octet_length;
    target.indicator = bound_element(record->indicator_ptr, ard, row, sizeof(SQLLEN));
    target.octet_length = bound_element(record->octet_length_ptr, ard, row, sizeof(SQLLEN));
    target.precision = record->precision;
    target.scale = record->scale;
    target.max_length = stmt->attrs.max_length;
    DescRecord* described = desc_record(stmt->ird, column, false);
    target.column_type = described ? described->concise_type : SQL_VARCHAR;
    if (target.c_type == SQL_C_ULONG && record->octet_length == 8 && target.buffer)
      std::memset(target.buffer, 0, 8);
    SQLRETURN rc = convert_result_value(stmt->errors, value, target, true);
    if (rc == SQL_SUCCESS_WITH_INFO) {
      outcome = SQL_SUCCESS_WITH_INFO;
    } else if (rc != SQL_SUCCESS && rc != SQL_NO_DATA) {
      return rc;
    }
  }
  return outcome;
}

SQLRETURN deliver_row(void* context, SQLULEN row, int /*row_rc*/) {
  auto* stmt = static_cast<QuillStmt*>(context);
  forget_getdata(stmt);
  return transfer_bound_columns(stmt, row);
}

// The bookmark named by the statement for SQL_FETCH_BOOKMARK.
SQLLEN fetch_bookmark(QuillStmt* stmt) {
  if (const auto* pointer = static_cast<const SQLINTEGER*>(stmt->attrs.fetch_bookmark_ptr))
    return *pointer;
  DescRecord* record = desc_record(stmt->ard, 0, false);
  if (record && record->data_ptr) {
    if (record->octet_length == 8)
      return static_cast<SQLLEN>(*static_cast<const SQLBIGINT*>(record->data_ptr));
    return *static_cast<const SQLINTEGER*>(record->data_ptr);
  }
  return 0;
}

}  // namespace

QuillValue* stmt_column_value(QuillStmt* stmt, int column, QuillValue* scratch) {
  CursorLayer* layer = layer_of(stmt);
  if (!layer) {
    post_call_error(stmt->errors, "24000", MSG_INVALID_CURSOR_STATE);
    return nullptr;
  }
  if (column == 0) {
    if (!scratch) {
      post_call_error(stmt->errors, "HY001", MSG_MEMORY);
      return nullptr;
    }
    set_value_to_int(scratch, static_cast<int32_t>(cursor_row_number(layer)));
    return scratch;
  }
  // The layer owns the value; conversion advances its read offset for pieces.
  return const_cast<QuillValue*>(cursor_column(layer, column - 1));
}

SQLRETURN stmt_fetch(QuillStmt* stmt, int function, SQLSMALLINT orientation, SQLLEN offset,
                     SQLULEN rowset_size, SQLUSMALLINT* row_status, SQLULEN* rows_fetched) {
  if (stmt_check(stmt, function, 0) != SQL_SUCCESS) return SQL_ERROR;
  CursorLayer* layer = layer_of(stmt);
  if (!layer) return post_call_error(stmt->errors, "24000", MSG_INVALID_CURSOR_STATE);
  if (!stmt->getdata_started) {
    stmt->getdata_started = static_cast<unsigned char*>(
        quill_mem_alloc(stmt->tree_pool, static_cast<size_t>(stmt->result_columns) + 1));
    if (!stmt->getdata_started) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  }
  FetchRequest request{};
  request.orientation = orientation;
  request.offset = offset;
  request.bookmarks_on = stmt->attrs.use_bookmarks != SQL_UB_OFF;
  if (orientation == SQL_FETCH_BOOKMARK) {
    if (function == SQL_API_SQLEXTENDEDFETCH) {
      request.bookmark = offset;
      request.offset = 0;
    } else {
      request.bookmark = fetch_bookmark(stmt);
    }
  }
  request.rowset_size = rowset_size < 1 ? 1 : rowset_size;
  request.row_status = row_status;
  request.rows_fetched = rows_fetched;
  request.deliver = deliver_row;
  request.deliver_context = stmt;
  SQLRETURN rc = cursor_fetch(layer, request);
  // A scrollable fetch leaves the first row of the rowset current.
  forget_getdata(stmt);
  stmt->state = function == SQL_API_SQLEXTENDEDFETCH ? S7_EXTENDED_FETCHED : S6_FETCHED;
  return rc;
}

SQLRETURN stmt_get_data(QuillStmt* stmt, SQLUSMALLINT column, SQLSMALLINT c_type, SQLPOINTER buffer,
                        SQLLEN length, SQLLEN* indicator) {
  if (stmt_check(stmt, SQL_API_SQLGETDATA, 0) != SQL_SUCCESS) return SQL_ERROR;
  if (length < 0) return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  bool bookmarks = stmt->attrs.use_bookmarks != SQL_UB_OFF;
  if ((column == 0 && !bookmarks) || column > stmt->result_columns)
    return post_call_error(stmt->errors, "07009", MSG_BAD_DESC_INDEX);
  CursorLayer* layer = layer_of(stmt);
  if (!layer || cursor_rowset_rows(layer) == 0)
    return post_call_error(stmt->errors, "24000", MSG_INVALID_CURSOR_STATE);
  if (c_type == SQL_ARD_TYPE) {
    DescRecord* record = desc_record(stmt->ard, column, false);
    c_type = record ? record->concise_type : SQL_C_DEFAULT;
  }
  QuillValue* scratch = nullptr;
  if (column == 0) {
    scratch = NewValue(stmt->tree_pool, 0);
    if (!scratch) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  }
  QuillValue* value = stmt_column_value(stmt, column, scratch);
  if (!value) return SQL_ERROR;
  ResultTarget target{};
  target.c_type = c_type;
  target.buffer = buffer;
  target.buffer_length = length;
  target.indicator = indicator;
  target.octet_length = indicator;
  DescRecord* app = desc_record(stmt->ard, column, false);
  target.precision = app ? app->precision : 0;
  target.scale = app ? app->scale : 0;
  target.max_length = stmt->attrs.max_length;
  DescRecord* described = desc_record(stmt->ird, column, false);
  target.column_type = described ? described->concise_type : SQL_VARCHAR;
  bool restart = stmt->getdata_started && !stmt->getdata_started[column];
  if (stmt->getdata_started) stmt->getdata_started[column] = 1;
  SQLRETURN rc = convert_result_value(stmt->errors, value, target, restart);
  if (scratch) release_value(scratch->pool, scratch);
  return rc;
}

SQLRETURN stmt_set_pos(QuillStmt* stmt, SQLSETPOSIROW row, SQLUSMALLINT operation,
                       SQLUSMALLINT lock) {
  if (stmt_check(stmt, SQL_API_SQLSETPOS, operation) != SQL_SUCCESS) return SQL_ERROR;
  CursorLayer* layer = layer_of(stmt);
  if (!layer || cursor_kind(layer) == CURSOR_FORWARD_ONLY)
    return post_call_error(stmt->errors, "HY109", "Invalid cursor position");
  SQLULEN rows = cursor_rowset_rows(layer);
  SQLULEN rowset = stmt->ard->array_size < 1 ? 1 : stmt->ard->array_size;
  if (row > rowset || row > rows)
    return post_call_error(stmt->errors, "HY109", "Invalid cursor position");
  if (lock > SQL_LOCK_UNLOCK) return post_call_error(stmt->errors, "HY092", MSG_OPTION_RANGE);
  if (lock != SQL_LOCK_NO_CHANGE && cursor_kind(layer) == CURSOR_STATIC)
    return post_call_error(stmt->errors, "HYC00", MSG_NOT_IMPLEMENTED);
  switch (operation) {
    case SQL_POSITION: {
      if (row == 0) return post_call_error(stmt->errors, "HY092", MSG_OPTION_RANGE);
      SQLRETURN rc = cursor_position(layer, row - 1);
      forget_getdata(stmt);
      return rc;
    }
    case SQL_REFRESH: {
      SQLULEN first = row == 0 ? 0 : row - 1;
      SQLULEN end = row == 0 ? rows : row;
      SQLRETURN outcome = SQL_SUCCESS;
      for (SQLULEN r = first; r < end; ++r) {
        SQLRETURN rc = cursor_position(layer, r);
        if (rc == SQL_SUCCESS) rc = transfer_bound_columns(stmt, r);
        if (rc == SQL_ERROR) return rc;
        if (rc == SQL_SUCCESS_WITH_INFO) outcome = rc;
      }
      forget_getdata(stmt);
      return cursor_position(layer, first) == SQL_ERROR ? SQL_ERROR : outcome;
    }
    case SQL_UPDATE:
    case SQL_DELETE:
    case SQL_ADD:
      if (stmt->attrs.concurrency == SQL_CONCUR_READ_ONLY)
        return post_call_error(stmt->errors, "HY092", MSG_OPTION_RANGE);
      return stmt_set_pos_rows(stmt, row, operation);
    default:
      return post_call_error(stmt->errors, "HY092", MSG_OPTION_RANGE);
  }
}
