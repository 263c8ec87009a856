// Internals shared by the sort units: the SortWork record, the record file that keeps whole
// records, the mapped run buffers, work-file creation, slot comparison, runs, the merge and
// error texts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/sql/sort.h"

// Longest error text a sort keeps (without the terminating NUL).
constexpr size_t SORT_ERROR_TEXT_SIZE = 128;
// Entries of a new run table and the step by which a full one grows.
constexpr int64_t SORT_RUN_TABLE_FIRST = 128;
constexpr int64_t SORT_RUN_TABLE_GROWTH = 64;
// Bytes of the constant write buffers of the record file and of the merge file.
constexpr size_t SORT_IO_BUFFER_SIZE = 64 * 1024;

// The record file: fixed-length records numbered from 0, appended through a small buffer.
struct SortRecordFile {
  int fd;                   // descriptor of the (already unlinked) file; -1 when closed
  int32_t record_length;    // bytes of one record
  int64_t count;            // records written so far (the next record number)
  unsigned char* pending;   // records not yet written to the file
  size_t pending_bytes;     // bytes held in `pending`
  size_t pending_capacity;  // capacity of `pending` (a whole number of records)
};

// A buffered sequential writer of slots (the merge file).
struct SortWriter {
  int fd;                 // destination file
  int64_t offset;         // file offset of the first buffered byte
  unsigned char* buffer;  // SORT_IO_BUFFER_SIZE rounded down to whole slots
  size_t used;            // bytes held in `buffer`
  size_t capacity;        // capacity of `buffer`
};

// One sort from open to close (see sort.h for its life cycle).
struct SortWork {
  MemPool* pool;                 // owns this record and every buffer below but the two mapped ones
  SortContext context;           // work directory (copied), budget attribute and time-out test
  int32_t slot_size;             // sum of the key lengths + 8
  int32_t key_bytes;             // sum of the key lengths (the slot without its record number)
  int32_t record_length;         // bytes of one record
  bool unique;                   // drop records whose keys equal an earlier one
  int key_count;                 // entries of `keys`
  SortKey* keys;                 // the keys, in order
  int32_t* key_slot_offset;      // where each key starts inside a slot
  size_t slots_per_run;          // capacity of the run buffer in slots
  size_t free_slots;             // slots still free in the run buffer
  unsigned char* run_buffer;     // slots_per_run * slot_size, mapped (sort_buffers.cpp)
  unsigned char* scratch;        // twice the run buffer, mapped, for the merge sort
  size_t fill;                   // slots held in the run buffer
  int64_t* run_offsets;          // file offset of each run in the run file
  int64_t* run_remaining;        // slots of each run not yet merged
  int64_t run_capacity;          // entries of the two run tables
  int64_t run_count;             // runs written
  int64_t total_records;         // records inserted
  int64_t record_count;          // records (slots) to return after finish
  int64_t records_read;          // slots consumed by sort_read
  int run_fd;                    // run file (.tmp), -1 until the first run
  int64_t run_file_size;         // bytes written to the run file
  int merge_fd;                  // merge file (.mrg), -1 until the merge
  int64_t merge_read_offset;     // file offset of the next chunk to read from the merge file
  unsigned char* merge_chunk;    // slots read ahead from the merge file
  size_t merge_chunk_capacity;   // bytes `merge_chunk` holds (whole slots)
  size_t merge_chunk_used;       // bytes of `merge_chunk` filled
  size_t merge_chunk_next;       // offset in `merge_chunk` of the next slot to return
  SortRecordFile records;        // the whole records, by number
  unsigned char* last_key;       // last returned / written slot of a unique sort
  bool have_last_key;            // `last_key` holds a slot
  unsigned char* record_buffer;  // one record
  unsigned char* slot_buffer;    // one slot
  unsigned char* pushed_record;  // the record of sort_push_back
  bool pushed;                   // `pushed_record` is returned next
  bool finished;                 // sort_finish has run
  bool in_memory;                // the output comes from the run buffer
  int failed;                    // the error code of a failure that ended the sort (0: none)
  char error_text[SORT_ERROR_TEXT_SIZE + 1];  // text of the last failure
};

// --- Errors (sort_error.cpp) --------------------------------------------------------------
// Stores "Out of memory in sort routine" and returns SORT_NO_MEMORY.
int sort_fail_memory(SortWork* sort);
// Stores "OSFile error (<step>) <os_error>" and returns SORT_FILE_ERROR.
int sort_fail_os(SortWork* sort, const char* step, int os_error);
// Stores "RSFile error '<strerror>' <os_error> [<location>]" and returns SORT_FILE_ERROR.
int sort_fail_record_file(SortWork* sort, int os_error, int location);
// Marks the time-out and returns SORT_TIMEOUT.
int sort_fail_timeout(SortWork* sort);
// True (after storing the time-out) when the context's time-out has passed.
bool sort_timed_out(SortWork* sort);

// --- Work files (sort_files.cpp) ------------------------------------------------------------
// Creates a new, exclusive, already unlinked work file named with `suffix` in the work
// directory of `context`: its descriptor, or -1 with errno set.
int sort_create_work_file(const SortContext& context, const char* suffix);
// Writes all `size` bytes at `offset`: 0, or the errno of the failure (EIO for a short write).
int sort_write_at(int fd, const void* data, size_t size, int64_t offset);
// Reads exactly `size` bytes at `offset`: 0, or the errno of the failure (EIO when short).
int sort_read_at(int fd, void* data, size_t size, int64_t offset);

// --- Run buffers (sort_buffers.cpp) --------------------------------------------------------
// Maps `size` zeroed bytes whose pages are committed only when touched; null on failure.
unsigned char* sort_map_buffer(size_t size);
// Unmaps a buffer of sort_map_buffer; null is ignored.
void sort_unmap_buffer(unsigned char* buffer, size_t size);
// Unmaps the run buffer and the scratch buffer of `sort` (both become null).
void sort_release_run_buffers(SortWork* sort);

// --- Record file (sort_records.cpp) ---------------------------------------------------------
// Makes the record file of `record_length`-byte records: 0, or the errno of the failure.
int sort_records_open(SortRecordFile* file, MemPool* pool, const SortContext& context,
                      int32_t record_length);
// Appends one record (number file->count): 0 or the errno of a failed write.
int sort_records_append(SortRecordFile* file, const void* record);
// Writes the buffered records out: 0 or the errno of a failed write.
int sort_records_flush(SortRecordFile* file);
// Reads record `number` into `record`: 0, or the errno (EIO for a short read, ERANGE for a
// number that was never written).
int sort_records_read(const SortRecordFile* file, int64_t number, void* record);
// Closes the record file (the system deletes it).
void sort_records_close(SortRecordFile* file);

// --- Slots (sort_run.cpp) -----------------------------------------------------------------
// Orders two slots by their keys (descending keys negated): negative, 0 or positive.
int sort_compare_slots(const SortWork* sort, const unsigned char* a, const unsigned char* b);
// Sorts the filled part of the run buffer stably (after the time-out check): SORT_OK or
// SORT_TIMEOUT.
int sort_run_buffer(SortWork* sort);
// The record number stored at the end of `slot`.
int64_t sort_slot_record_number(const SortWork* sort, const unsigned char* slot);

// --- Runs (sort_spill.cpp) ------------------------------------------------------------------
// Sorts the run buffer and appends it to the run file as a new run: SORT_OK or an error.
int sort_write_run(SortWork* sort);

// --- Merge (sort_merge.cpp) ---------------------------------------------------------------
// Merges every run into the merge file in one pass: SORT_OK or an error.
int sort_merge_runs(SortWork* sort);
