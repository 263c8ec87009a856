// Long buffers: the storage of one LONGVARCHAR or LONGVARBINARY value. Small
// values stay in memory; past LONG_BUFFER_MEMORY_LIMIT bytes the content moves to
// a private work file that is unlinked as soon as it is created, so it vanishes
// when closed (or when the process dies).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstddef>
#include <cstdint>

#include "support/memory.h"

// Bytes kept in memory before the content spills to the work file.
constexpr size_t LONG_BUFFER_MEMORY_LIMIT = 64 * 1024;

// extract_from_long_buffer results besides 0 (the piece ends the value) and -1 (error).
constexpr int LONG_BUFFER_MORE = 1;       // the piece filled `out`; more bytes follow
constexpr int LONG_BUFFER_NO_DATA = 100;  // nothing was left to read

struct LongBuffer;
// Fills a deferred buffer with its value (emptying it first); 0, or -1 on a read failure.
using LongFill = int (*)(LongBuffer* buffer);

struct LongBuffer {
  MemPool* pool;           // pool the record and its memory copy come from
  int table;               // table index the buffer serves (for the caller's bookkeeping)
  int column;              // column index the buffer serves
  int sql_type;            // SQL_LONGVARCHAR or SQL_LONGVARBINARY
  char* directory;         // work directory for the spill file (never empty)
  unsigned char* memory;   // in-memory content while not spilled
  size_t memory_capacity;  // bytes allocated at `memory`
  int fd;                  // spill file descriptor, -1 while in memory
  uint64_t length;         // bytes held
  uint64_t read_position;  // next byte extract_from_long_buffer returns
  bool is_null;            // the value is NULL (no bytes)
  void* source;            // opaque reader attached for deferred reads (owned elsewhere)
  int source_item;         // what the reader reads (a column number)
  LongFill fill;           // pending deferred read, run on first use; null when none
  uint64_t counted_from;   // a count a reader remembered covers the bytes from here ...
  uint64_t counted_to;     // ... up to here (exclusive) ...
  uint64_t counted_units;  // ... and came to this many units
  bool counted;            // the remembered count holds (a change of content forgets it)
};

// Makes an empty, non-NULL buffer. `work_directory` null or "" means $TMPDIR, else /tmp.
// Null when the directory is not a writable directory or memory runs out.
LongBuffer* allocate_long_buffer(MemPool* pool, int table, int column, const char* work_directory,
                                 int sql_type);
// Closes the work file and frees the buffer; null is ignored.
void free_long_buffer(LongBuffer* buffer);
// Appends `size` bytes and clears the NULL state. 0, or -1 on a file or memory failure.
int append_to_long_buffer(LongBuffer* buffer, const void* data, size_t size);
// Drops the content (length 0, not NULL) so that a new value can be appended.
void reset_long_buffer(LongBuffer* buffer);
// Marks the value NULL and drops the content.
void set_long_buffer_null(LongBuffer* buffer);
// Restarts reading at the first byte. Returns 0, -1 for a null buffer.
int rewind_long_buffer(LongBuffer* buffer);
// Copies the next piece of at most `size` bytes to `out` (no NUL is added) and stores the
// bytes copied in *length (SQL_NULL_DATA for a NULL value). Returns 0 when the value ends
// with this piece (also for NULL), LONG_BUFFER_MORE when bytes remain, LONG_BUFFER_NO_DATA
// when nothing was left, -1 on error. `flags` is reserved: pass 0.
int extract_from_long_buffer(LongBuffer* buffer, void* out, size_t size, SQLLEN* length, int flags);
// Moves the read position forward to `position` (at most the length) without copying the
// bytes passed over; an empty value counts as handed out once moved past 0. A position before
// the current one leaves it. 0, or -1 for a null buffer or a failed deferred read.
int advance_long_buffer(LongBuffer* buffer, uint64_t position);
// Remembers that the bytes [from, to) came to `units` units of a count the reader keeps (the
// call layer keeps the UTF-16 length of the unread rest there), so a reader that asks again
// for the same range need not count it again.
void remember_long_buffer_count(LongBuffer* buffer, uint64_t from, uint64_t to, uint64_t units);
// The count remembered for exactly [from, to) into *units; false when there is none.
bool recall_long_buffer_count(const LongBuffer* buffer, uint64_t from, uint64_t to,
                              uint64_t* units);
// Reads up to `size` bytes at `offset` without moving the read position; bytes read or -1.
int64_t read_long_buffer_at(const LongBuffer* buffer, uint64_t offset, void* out, size_t size);
// Bytes held, or -1 when the value is NULL.
int64_t long_buffer_length(const LongBuffer* buffer);
// Attaches a deferred read: the content is dropped now and `fill` runs on the first use of
// the buffer (reading, length, NULL test), with `source` and `item` for it to read from.
void defer_long_buffer(LongBuffer* buffer, LongFill fill, void* source, int item);
// Runs a pending deferred read now. 0, or -1 when it failed (the buffer then reads as empty).
int settle_long_buffer(LongBuffer* buffer);
// True when the value is NULL (a deferred read is run first).
bool long_buffer_is_null(const LongBuffer* buffer);
// True once the content lives in the work file.
bool long_buffer_is_spilled(const LongBuffer* buffer);
