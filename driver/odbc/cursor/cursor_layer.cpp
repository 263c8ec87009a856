// Opening, closing and dispatching of the cursor layer, its accessors and the
// process-wide size of the record cache.
#include "driver/odbc/cursor/cursor_layer.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "driver/odbc/cursor/cursor_internal.h"
#include "driver/odbc/handles/frame.h"

namespace {

constexpr int DEFAULT_CACHE_SLOTS = 30;

// 0 until a connection names a positive work_dir_size; then that value for good.
std::atomic<int> g_cache_slots{0};

bool is_scrollable(const CursorLayer* layer) {
  return layer->kind != CURSOR_FORWARD_ONLY;
}

// The work directory: the setting, else $TMPDIR, else /tmp, without a trailing slash.
char* choose_work_dir(MemPool* pool, const char* setting) {
  const char* dir = (setting && *setting) ? setting : std::getenv("TMPDIR");
  if (!dir || !*dir) dir = "/tmp";
  size_t length = std::strlen(dir);
  if (length > 1 && dir[length - 1] == '/') --length;
  return quill_mem_strdup(pool, dir, static_cast<ptrdiff_t>(length));
}

// Builds the parts every kind needs and, for scrollable kinds, the records and the cache.
bool build_layer(CursorLayer* layer, const CursorOptions& options) {
  layer->work_dir = choose_work_dir(layer->pool, options.work_dir);
  if (!layer->work_dir) return false;
  layer->previous_rowset = 1;
  layer->current_index = -1;
  if (!is_scrollable(layer)) return true;
  size_t record_length = 0;
  if (!row_layout_build(layer, &record_length)) return false;
  if (!record_cache_init(&layer->cache, layer->pool, options.cache_slots, record_length,
                         layer->work_dir))
    return false;
  return row_slots_build(layer);
}

// Drops the values given to an earlier forward-only row.
void release_overrides(CursorLayer* layer) {
  if (!layer->overrides) return;
  for (int i = 0; i < layer->source.column_count; ++i) {
    release_value(layer->pool, layer->overrides[i]);
    layer->overrides[i] = nullptr;
  }
}

}  // namespace

void clear_fetch_outputs(const FetchRequest& request) {
  if (request.row_status)
    for (SQLULEN i = 0; i < request.rowset_size; ++i) request.row_status[i] = SQL_ROW_NOROW;
  if (request.rows_fetched) *request.rows_fetched = 0;
}

void set_row_status(const FetchRequest& request, SQLULEN row, SQLUSMALLINT status) {
  if (request.row_status) request.row_status[row] = status;
}

bool deliver_fetched_row(const FetchRequest& request, SQLULEN row, int row_rc, SQLRETURN* outcome) {
  set_row_status(request, row,
                 row_rc == EXEC_WARNING ? SQL_ROW_SUCCESS_WITH_INFO : SQL_ROW_SUCCESS);
  if (row_rc == EXEC_WARNING) *outcome = SQL_SUCCESS_WITH_INFO;
  SQLRETURN delivered =
      request.deliver ? request.deliver(request.deliver_context, row, row_rc) : SQL_SUCCESS;
  if (delivered == SQL_ERROR) {
    set_row_status(request, row, SQL_ROW_ERROR);
    *outcome = SQL_ERROR;
    return false;
  }
  if (delivered == SQL_SUCCESS_WITH_INFO) {
    set_row_status(request, row, SQL_ROW_SUCCESS_WITH_INFO);
    *outcome = SQL_SUCCESS_WITH_INFO;
  }
  return true;
}

SQLRETURN post_odbc3_error(ErrorHeader* errors, const char* sqlstate, const char* message) {
  SetReturnCode(errors, -1);
  PostError(errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ODBC 3.0", sqlstate, "%s", message);
  return SQL_ERROR;
}

CursorLayer* cursor_open(ErrorHeader* errors, MemPool* pool, const CursorOptions& options,
                         const CursorSource& source) {
  if (source.column_count < 0 || !source.fetch || (source.column_count > 0 && !source.column)) {
    post_call_error(errors, "HY000", MSG_GENERAL_ERROR, "Invalid row source");
    return nullptr;
  }
  if (options.kind != CURSOR_FORWARD_ONLY && options.kind != CURSOR_STATIC &&
      options.kind != CURSOR_KEYSET) {
    post_call_error(errors, "HY000", MSG_GENERAL_ERROR, "Invalid cursor kind");
    return nullptr;
  }
  MemPool* own = quill_mem_alloc_handle(pool);
  auto* layer =
      own ? static_cast<CursorLayer*>(quill_mem_alloc(own, sizeof(CursorLayer))) : nullptr;
  if (!layer) {
    if (own) quill_mem_release_handle(own);
    post_call_error(errors, "HY001", MSG_MEMORY);
    return nullptr;
  }
  layer->pool = own;
  layer->cache.file.fd = -1;  // before anything can fail, so closing is always safe
  layer->errors = errors;
  layer->source = source;
  // Keyset cursors keep whole rows like static ones: the rows under a cursor never change
  // and no re-read by key exists.
  layer->kind = options.kind;
  layer->max_rows = options.max_rows;
  if (!build_layer(layer, options)) {
    cursor_close(layer);
    post_call_error(errors, "HY001", MSG_MEMORY);
    return nullptr;
  }
  return layer;
}

SQLRETURN cursor_fetch(CursorLayer* layer, const FetchRequest& request) {
  if (!layer) return SQL_INVALID_HANDLE;
  return is_scrollable(layer) ? scroll_fetch(layer, request) : forward_fetch(layer, request);
}

SQLRETURN cursor_position(CursorLayer* layer, SQLULEN row) {
  if (!layer) return SQL_INVALID_HANDLE;
  if (!is_scrollable(layer)) {
    if (layer->row_current && row == layer->last_delivered) return SQL_SUCCESS;
    return post_odbc3_error(layer->errors, "HY109", "Invalid cursor position");
  }
  if (layer->rowset_start < 1 || row >= layer->rowset_rows)
    return post_odbc3_error(layer->errors, "HY109", "Invalid cursor position");
  SQLLEN number = layer->rowset_start + static_cast<SQLLEN>(row);
  if (row_load(layer, number - 1) < 0) {
    layer->current_index = -1;
    return SQL_ERROR;
  }
  layer->current_index = static_cast<SQLLEN>(row);
  return SQL_SUCCESS;
}

const QuillValue* cursor_column(CursorLayer* layer, int column) {
  if (!layer || column < 0 || column >= layer->source.column_count) {
    if (layer) post_call_error(layer->errors, "07009", MSG_BAD_DESC_INDEX);
    return nullptr;
  }
  if (!is_scrollable(layer)) {
    if (!layer->row_current) return nullptr;
    if (layer->overrides && layer->overrides_row == layer->rows_read && layer->overrides[column])
      return layer->overrides[column];
    return layer->source.column(layer->source.context, column);
  }
  return layer->current_index >= 0 ? layer->slots[column] : nullptr;
}

SQLRETURN cursor_replace_row(CursorLayer* layer, const QuillValue* const* values) {
  if (!layer) return SQL_INVALID_HANDLE;
  if (is_scrollable(layer)) {
    if (layer->current_index < 0 || layer->rowset_start < 1)
      return post_odbc3_error(layer->errors, "HY109", "Invalid cursor position");
    int64_t record = layer->rowset_start + layer->current_index - 1;
    return row_rewrite(layer, record, values) < 0 ? SQL_ERROR : SQL_SUCCESS;
  }
  if (!layer->row_current)
    return post_odbc3_error(layer->errors, "HY109", "Invalid cursor position");
  int count = layer->source.column_count;
  if (!layer->overrides) {
    layer->overrides = static_cast<QuillValue**>(
        quill_mem_alloc(layer->pool, sizeof(QuillValue*) * static_cast<size_t>(count)));
    if (!layer->overrides) return post_call_error(layer->errors, "HY001", MSG_MEMORY);
  }
  if (layer->overrides_row != layer->rows_read) release_overrides(layer);
  layer->overrides_row = layer->rows_read;
  for (int i = 0; i < count; ++i) {
    if (!values[i]) continue;
    QuillValue* copy = duplicate_value(layer->pool, values[i]);
    if (!copy) return post_call_error(layer->errors, "HY001", MSG_MEMORY);
    release_value(layer->pool, layer->overrides[i]);
    layer->overrides[i] = copy;
  }
  return SQL_SUCCESS;
}

SQLLEN cursor_row_number(const CursorLayer* layer) {
  if (!layer) return 0;
  if (!is_scrollable(layer)) return layer->row_current ? static_cast<SQLLEN>(layer->rows_read) : 0;
  return layer->current_index >= 0 ? layer->rowset_start + layer->current_index : 0;
}

SQLULEN cursor_rowset_rows(const CursorLayer* layer) {
  return layer ? layer->rowset_rows : 0;
}

int cursor_kind(const CursorLayer* layer) {
  return layer ? layer->kind : CURSOR_FORWARD_ONLY;
}

bool cursor_has_file(const CursorLayer* layer) {
  return layer && layer->cache.file.fd >= 0;
}

const char* cursor_file_name(const CursorLayer* layer) {
  return layer ? layer->cache.file.name : "";
}

void cursor_close(CursorLayer* layer) {
  if (!layer) return;
  release_overrides(layer);
  row_release(layer);
  record_cache_close(&layer->cache);
  quill_mem_release_handle(layer->pool);
}

void cursor_note_cache_size(long work_dir_size) {
  if (work_dir_size <= 0) return;
  int size = work_dir_size > INT_MAX ? INT_MAX : static_cast<int>(work_dir_size);
  int unset = 0;
  g_cache_slots.compare_exchange_strong(unset, size);
}

int cursor_cache_size() {
  int size = g_cache_slots.load();
  return size > 0 ? size : DEFAULT_CACHE_SLOTS;
}
