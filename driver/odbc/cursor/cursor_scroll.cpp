// Scrollable fetching (static and keyset kinds): every row read from the source is
// stored as a record, and each orientation picks the first row of the new rowset;
// rows not yet read are pulled from the source on the way.
#include <climits>

#include "driver/odbc/cursor/cursor_internal.h"
#include "driver/odbc/handles/frame.h"

namespace {

constexpr int ROW_PRESENT = 0;
constexpr int ROW_ABSENT = 100;
constexpr int ROW_FAILED = -1;

// Where a fetch leaves the cursor when it delivers no row.
constexpr SQLLEN BEFORE_START = 0;

// Makes row `number` (1-based) exist, pulling and storing rows from the source up to it.
// ROW_PRESENT (with *pulled_rc the source's code when this call pulled that very row, else 0),
// ROW_ABSENT past the end of the result (or of max rows), ROW_FAILED after posting.
int ensure_row(CursorLayer* layer, SQLLEN number, int* pulled_rc) {
  *pulled_rc = 0;
  while (layer->rows_written < number) {
    if (layer->store_failed) {
      post_call_error(layer->errors, "HY000", MSG_GENERAL_ERROR,
                      "Result set incomplete after an earlier error");
      return ROW_FAILED;
    }
    if (layer->source_done) return ROW_ABSENT;
    if (layer->max_rows > 0 && static_cast<SQLULEN>(layer->rows_written) >= layer->max_rows) {
      layer->source_done = true;
      return ROW_ABSENT;
    }
    int row_rc = layer->source.fetch(layer->source.context);
    if (row_rc == EXEC_NO_DATA) {
      layer->source_done = true;
      return ROW_ABSENT;
    }
    if (row_rc != EXEC_OK && row_rc != EXEC_WARNING) return ROW_FAILED;  // the source posted it
    if (row_store(layer, layer->rows_written) < 0) {
      // The row is gone from the source: later rows would be numbered wrongly.
      layer->store_failed = true;
      return ROW_FAILED;
    }
    ++layer->rows_written;
    *pulled_rc = row_rc;
  }
  return ROW_PRESENT;
}

// Reads the whole result (up to max rows). ROW_PRESENT or ROW_FAILED.
int read_to_end(CursorLayer* layer) {
  int ignored = 0;
  int rc = ensure_row(layer, LONG_MAX, &ignored);
  return rc == ROW_ABSENT ? ROW_PRESENT : rc;
}

SQLRETURN leave_before_start(CursorLayer* layer, SQLULEN rowset_size) {
  layer->rowset_start = BEFORE_START;
  layer->rowset_rows = 0;
  layer->current_index = -1;
  layer->previous_rowset = rowset_size;
  return SQL_NO_DATA;
}

SQLRETURN leave_after_end(CursorLayer* layer, SQLULEN rowset_size) {
  layer->rowset_start = layer->rows_written + 1;
  layer->rowset_rows = 0;
  layer->current_index = -1;
  layer->previous_rowset = rowset_size;
  return SQL_NO_DATA;
}

// a + b without overflow: results beyond the range stick at its ends (both are outside any
// result anyway).
SQLLEN add_clamped(SQLLEN a, SQLLEN b) {
  SQLLEN sum = 0;
  if (!__builtin_add_overflow(a, b, &sum)) return sum;
  return b > 0 ? LONG_MAX : LONG_MIN;
}

SQLLEN as_offset(SQLULEN size) {
  return size > static_cast<SQLULEN>(LONG_MAX) ? LONG_MAX : static_cast<SQLLEN>(size);
}

// Delivers the rowset of `rowset_size` rows starting at row `start` (>= 1), then makes its
// first row current again.
SQLRETURN deliver_rowset(CursorLayer* layer, const FetchRequest& request, SQLLEN start,
                         SQLULEN rowset_size) {
  layer->previous_rowset = rowset_size;
  int pulled_rc = 0;
  int first = ensure_row(layer, start, &pulled_rc);
  if (first == ROW_ABSENT) return leave_after_end(layer, rowset_size);
  layer->rowset_start = start;
  layer->rowset_rows = 0;
  layer->current_index = -1;
  SQLRETURN outcome = SQL_SUCCESS;
  SQLULEN count = 0;
  for (SQLULEN row = 0; row < rowset_size; ++row) {
    int present =
        row == 0 ? first : ensure_row(layer, start + static_cast<SQLLEN>(row), &pulled_rc);
    if (present == ROW_ABSENT) break;
    count = row + 1;
    layer->rowset_rows = count;
    if (present == ROW_FAILED || row_load(layer, start + static_cast<SQLLEN>(row) - 1) < 0) {
      set_row_status(request, row, SQL_ROW_ERROR);
      layer->current_index = -1;
      outcome = SQL_ERROR;
      break;
    }
    layer->current_index = static_cast<SQLLEN>(row);
    if (!deliver_fetched_row(request, row, pulled_rc, &outcome)) break;
  }
  if (request.rows_fetched) *request.rows_fetched = count;
  // The first row of the rowset is the current one after a fetch.
  if (outcome != SQL_ERROR && layer->current_index > 0) {
    if (row_load(layer, start - 1) < 0) {
      layer->current_index = -1;
      return SQL_ERROR;
    }
    layer->current_index = 0;
  }
  return outcome;
}

}  // namespace

SQLRETURN scroll_fetch(CursorLayer* layer, const FetchRequest& request) {
  clear_fetch_outputs(request);
  SQLULEN rowset_size = request.rowset_size > 0 ? request.rowset_size : 1;
  SQLLEN start = 0;
  switch (request.orientation) {
    case SQL_FETCH_NEXT:
      start = layer->rowset_start < 1
                  ? 1
                  : add_clamped(layer->rowset_start, as_offset(layer->previous_rowset));
      break;
    case SQL_FETCH_FIRST:
      start = 1;
      break;
    case SQL_FETCH_LAST: {
      if (read_to_end(layer) < 0) return SQL_ERROR;
      if (layer->rows_written == 0) return leave_after_end(layer, rowset_size);
      SQLLEN from_end = add_clamped(layer->rows_written + 1, -as_offset(rowset_size));
      start = from_end < 1 ? 1 : from_end;
      break;
    }
    case SQL_FETCH_PRIOR:
      if (layer->rowset_start <= 1) return leave_before_start(layer, rowset_size);
      start = add_clamped(layer->rowset_start, -as_offset(rowset_size));
      if (start < 1) start = 1;
      break;
    case SQL_FETCH_ABSOLUTE:
      start = request.offset;
      break;
    case SQL_FETCH_RELATIVE:
      start = add_clamped(layer->rowset_start, request.offset);
      break;
    case SQL_FETCH_BOOKMARK:
      if (!request.bookmarks_on)
        return post_call_error(layer->errors, "HY106", "Fetch type out of range");
      if (request.bookmark <= 0 || request.bookmark > layer->rows_written)
        return post_odbc3_error(layer->errors, "HY111", "Invalid bookmark value");
      start = add_clamped(request.bookmark, request.offset);
      break;
    default:
      return post_call_error(layer->errors, "HY106", "Fetch type out of range");
  }
  if (start < 1) return leave_before_start(layer, rowset_size);
  return deliver_rowset(layer, request, start, rowset_size);
}
