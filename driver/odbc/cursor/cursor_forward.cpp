// Forward-only fetching: rows go straight from the row source to the caller and
// nothing is stored; the source's own values serve the current row.
#include "driver/odbc/cursor/cursor_internal.h"
#include "driver/odbc/handles/frame.h"

SQLRETURN forward_fetch(CursorLayer* layer, const FetchRequest& request) {
  clear_fetch_outputs(request);
  if (request.orientation != SQL_FETCH_NEXT)
    return post_call_error(layer->errors, "HY106", "Fetch type out of range");
  SQLULEN rowset_size = request.rowset_size > 0 ? request.rowset_size : 1;
  SQLRETURN outcome = SQL_SUCCESS;
  SQLULEN count = 0;
  layer->row_current = false;
  while (count < rowset_size) {
    if (layer->source_done) break;
    if (layer->max_rows > 0 && layer->rows_read >= layer->max_rows) {
      layer->source_done = true;
      break;
    }
    int row_rc = layer->source.fetch(layer->source.context);
    if (row_rc == EXEC_NO_DATA) {
      layer->source_done = true;
      break;
    }
    SQLULEN row = count++;
    if (row_rc != EXEC_OK && row_rc != EXEC_WARNING) {  // the source posted the error
      set_row_status(request, row, SQL_ROW_ERROR);
      outcome = SQL_ERROR;
      break;
    }
    ++layer->rows_read;
    layer->row_current = true;
    layer->last_delivered = row;
    if (!deliver_fetched_row(request, row, row_rc, &outcome)) break;
  }
  layer->rowset_rows = count;
  if (request.rows_fetched) *request.rows_fetched = count;
  if (count == 0 && outcome != SQL_ERROR) return SQL_NO_DATA;
  return outcome;
}
