// Private layout of the cursor layer shared by its units: the layer record, the
// result-set file, the direct-mapped record cache and the row-record codec.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "driver/odbc/cursor/cursor_layer.h"
#include "support/longbuf.h"

// The result-set file: created on first need, unlinked at once.
struct RsFile {
  int fd;                 // open descriptor, -1 while the file does not exist
  char name[4096];        // path it was created at ("" before)
  const char* directory;  // work directory the file goes to (owned by the layer)
};

// Direct-mapped cache of fixed-length records over the result-set file.
struct RecordCache {
  int slot_count;          // N: record r lives in slot r % N
  size_t record_length;    // bytes of one record
  unsigned char* records;  // slot_count * record_length bytes
  int64_t* held;           // per slot: record number held, -1 when empty
  bool* clean;             // per slot: the held record is already in the file
  RsFile file;             // backing store of evicted records
};

// How each column is kept in a row record.
struct ColumnLayout {
  size_t offset;   // byte offset of the column's entry in the record
  size_t payload;  // bytes after the 12-byte header that the entry may use inline
  int sql_type;    // the column's SQL type
  int32_t length;  // the column's declared length
};

struct CursorLayer {
  MemPool* pool;        // the layer's own pool (child of the caller's)
  ErrorHeader* errors;  // where failures are posted
  CursorSource source;  // the row source (copied; its arrays belong to the caller)
  int kind;             // CursorKind
  SQLULEN max_rows;     // 0: no limit
  char* work_dir;       // chosen work directory (never empty)
  // Forward-only state.
  SQLULEN rows_read;       // rows taken from the source so far
  bool row_current;        // a delivered row is the source's current row
  SQLULEN last_delivered;  // rowset index of that row
  bool source_done;        // the source returned EXEC_NO_DATA (or max rows was reached)
  // Scrollable state.
  SQLLEN rows_written;      // rows stored so far (records 0 .. rows_written - 1)
  SQLLEN rowset_start;      // first row of the current rowset; 0 before the start;
                            // rows_written + 1 after the end
  SQLULEN previous_rowset;  // rowset size of the last fetch (what NEXT advances by)
  SQLULEN rowset_rows;      // rows in the current rowset
  SQLLEN current_index;     // rowset index of the current row, -1 when none
  bool store_failed;        // a pulled row could not be stored: the result is incomplete
  ColumnLayout* columns;    // per column layout
  QuillValue** slots;       // per column: value rebuilt from the current record
  RecordCache cache;        // records of every row read
  LongBuffer* side_store;   // long and oversize values, referenced from records; lazy
  unsigned char* scratch;   // work buffer for values that go to or come from the side store
  size_t scratch_capacity;  // bytes at `scratch`
  // Forward-only: values given to the current row after a change made through it.
  QuillValue** overrides;  // per column, or null (none given)
  SQLULEN overrides_row;   // rows_read when they were given (they lapse with the next row)
};

// --- Result-set file (rs_file.cpp) ---------------------------------------------------------
// Creates the file exclusively in file->directory and unlinks it at once. 0, or -1 after
// posting "Error in rs_open_file (%d) %s".
int rs_file_open(RsFile* file, ErrorHeader* errors);
// Writes / reads `size` bytes at `offset`; 0, or -1 after posting the seek, read or write error.
int rs_file_write(RsFile* file, ErrorHeader* errors, uint64_t offset, const void* data,
                  size_t size);
int rs_file_read(RsFile* file, ErrorHeader* errors, uint64_t offset, void* data, size_t size);
// Closes the file (already unlinked, so it vanishes); a closed file is ignored.
void rs_file_close(RsFile* file);

// --- Record cache (record_cache.cpp) -------------------------------------------------------
// Allocates `slot_count` empty slots of `record_length` bytes from `pool`; false on memory
// failure. The file is not created here.
bool record_cache_init(RecordCache* cache, MemPool* pool, int slot_count, size_t record_length,
                       const char* directory);
// Slot that record `record` is to be written into, after writing back the dirty record it
// held; the slot then holds `record`, not clean. Null after posting a file error.
unsigned char* record_cache_claim(RecordCache* cache, ErrorHeader* errors, int64_t record);
// The bytes of stored record `record`, read from the file when not in its slot. Null after
// posting a file error.
const unsigned char* record_cache_fetch(RecordCache* cache, ErrorHeader* errors, int64_t record);
// Closes the file; the slot memory goes with the layer's pool.
void record_cache_close(RecordCache* cache);

// --- Row records (row_record.cpp) ----------------------------------------------------------
// Computes the column layout and the record length; false on memory failure (posted).
bool row_layout_build(CursorLayer* layer, size_t* record_length);
// Makes one value slot per column; false on memory failure (posted).
bool row_slots_build(CursorLayer* layer);
// Stores the source's current row as record `record`. 0, or -1 after posting.
int row_store(CursorLayer* layer, int64_t record);
// Rebuilds every column of stored record `record` into the value slots. 0, or -1 posted.
int row_load(CursorLayer* layer, int64_t record);
// Stores record `record` again with `values` in place of its columns (per column, null:
// keep) and rebuilds it into the value slots. 0, or -1 posted.
int row_rewrite(CursorLayer* layer, int64_t record, const QuillValue* const* values);
// Frees the slots' long buffers and the side store.
void row_release(CursorLayer* layer);

// --- Fetching ------------------------------------------------------------------------------
// Forward-only fetch (cursor_forward.cpp).
SQLRETURN forward_fetch(CursorLayer* layer, const FetchRequest& request);
// Static and keyset fetch by orientation (cursor_scroll.cpp).
SQLRETURN scroll_fetch(CursorLayer* layer, const FetchRequest& request);
// Marks every entry of the request's status array SQL_ROW_NOROW and zeroes its count.
void clear_fetch_outputs(const FetchRequest& request);
// Sets the status of `row` of the rowset when the request has a status array.
void set_row_status(const FetchRequest& request, SQLULEN row, SQLUSMALLINT status);
// Records row `row` (source result `row_rc`, 0 or 1) as fetched and hands it to the request's
// deliver callback, folding warnings into `*outcome`. false when delivery failed (the row's
// status is then SQL_ROW_ERROR and `*outcome` SQL_ERROR).
bool deliver_fetched_row(const FetchRequest& request, SQLULEN row, int row_rc, SQLRETURN* outcome);
// Posts an error whose class origin is "ODBC 3.0" (HY109, HY111); returns SQL_ERROR.
SQLRETURN post_odbc3_error(ErrorHeader* errors, const char* sqlstate, const char* message);
