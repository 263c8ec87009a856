// The cursor layer of an open result set: a forward-only pass over the
// engine's row source, or a scrollable cursor (static or keyset) that keeps
// every row read as a fixed-length record in a direct-mapped memory cache
// backed by a result-set file in the work directory, created only when the
// first record must leave the cache.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "driver/sql/exec_codes.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/value.h"

// Kinds of cursor layer.
enum CursorKind : int { CURSOR_FORWARD_ONLY = 0, CURSOR_STATIC = 1, CURSOR_KEYSET = 2 };

// The row source behind a cursor: the engine's open query.
struct CursorSource {
  void* context;                // passed back to the entries
  int (*fetch)(void* context);  // next row: an ExecResult (EXEC_NO_DATA at the end)
  const QuillValue* (*column)(void* context, int column);  // value of the current row (0-based);
                                                           // null after posting an error
  int column_count;                                        // result columns
  const int* column_types;                                 // per column: its SQL type code
  const int32_t* column_lengths;  // per column: its declared length (column size)
};

// How the layer is opened.
struct CursorOptions {
  int kind;              // CursorKind
  SQLULEN max_rows;      // SQL_ATTR_MAX_ROWS (0: no limit), counting every row read
  const char* work_dir;  // directory of the result-set file; null or "": $TMPDIR, else /tmp
  int cache_slots;       // records kept in memory (the work_dir_size rule gives it; >= 1)
};

// One fetch request. The layer sets every entry of `row_status` to SQL_ROW_NOROW first,
// then the status of each row it delivers; `rows_fetched` receives the count.
struct FetchRequest {
  int orientation;           // SQL_FETCH_NEXT ... SQL_FETCH_BOOKMARK
  SQLLEN offset;             // ABSOLUTE / RELATIVE offset; BOOKMARK: added to the bookmark
  SQLLEN bookmark;           // SQL_FETCH_BOOKMARK: the bookmark (row number)
  bool bookmarks_on;         // SQL_ATTR_USE_BOOKMARKS is on
  SQLULEN rowset_size;       // rows per rowset (>= 1)
  SQLUSMALLINT* row_status;  // per row status out, or null
  SQLULEN* rows_fetched;     // rows delivered out, or null
  // Called once per delivered row while that row is current (cursor_column serves it):
  // `row` is its 0-based index in the rowset, `row_rc` EXEC_OK or EXEC_WARNING from the source.
  // Returns the SQLRETURN of delivering it (SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, or SQL_ERROR which
  // ends the fetch with that row's status SQL_ROW_ERROR).
  SQLRETURN (*deliver)(void* context, SQLULEN row, int row_rc);
  void* deliver_context;
};

struct CursorLayer;

// Opens the layer over `source` (which must outlive it). Null after posting HY001 or the
// HY000 "General error: %s" of a failure; the layer allocates from its own child of `pool`.
CursorLayer* cursor_open(ErrorHeader* errors, MemPool* pool, const CursorOptions& options,
                         const CursorSource& source);
// Fetches a rowset. Returns SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_NO_DATA or SQL_ERROR
// (posted: HY106 "Fetch type out of range", HY111 "Invalid bookmark value", rs-file errors).
SQLRETURN cursor_fetch(CursorLayer* layer, const FetchRequest& request);
// Makes row `row` (0-based) of the current rowset current again (SQL_POSITION/SQL_REFRESH):
// SQL_SUCCESS, or SQL_ERROR posted. A forward-only layer only has its last delivered row.
SQLRETURN cursor_position(CursorLayer* layer, SQLULEN row);
// Value of column `column` (0-based) of the current row; null after posting an error or
// when no row is current.
const QuillValue* cursor_column(CursorLayer* layer, int column);
// Gives the current row new values (per column, null: keep) after a change made through
// the cursor, so that what it serves from then on is the row as it now is. SQL_SUCCESS, or
// SQL_ERROR posted (HY109 when no row is current).
SQLRETURN cursor_replace_row(CursorLayer* layer, const QuillValue* const* values);
// 1-based number of the current row in the result (its bookmark); 0 before the first.
SQLLEN cursor_row_number(const CursorLayer* layer);
// Rows in the current rowset.
SQLULEN cursor_rowset_rows(const CursorLayer* layer);
// The layer's kind.
int cursor_kind(const CursorLayer* layer);
// True once the result-set file exists (tests and diagnostics).
bool cursor_has_file(const CursorLayer* layer);
// Path the result-set file was created at ("" when none); the file itself is already unlinked.
const char* cursor_file_name(const CursorLayer* layer);
// Closes the file, frees the cache and the layer; null is ignored.
void cursor_close(CursorLayer* layer);

// Records the process-wide cache size from a connection's `work_dir_size` (the first positive
// value seen stays for the life of the process); the current size (30 until set).
void cursor_note_cache_size(long work_dir_size);
int cursor_cache_size();
