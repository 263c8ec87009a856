// Internals shared by the sort units: the SortWork record, the in-memory record area and the
// record file that keeps whole records once runs spill, the mapped run buffers, work-file
// creation, slot comparison, runs, the tree of losers that merges sorted sequences, the merge
// and error texts.
#pragma once

#include <cstddef>
#include <cstdint>

#include "driver/sql/sort.h"

// Longest error text a sort keeps (without the terminating NUL).
constexpr size_t SORT_ERROR_TEXT_SIZE = 128;
// Entries of a new run table and the step by which a full one grows.
constexpr int64_t SORT_RUN_TABLE_FIRST = 128;
constexpr int64_t SORT_RUN_TABLE_GROWTH = 64;
// Bytes of the constant write buffers of the record file and of the merge file, and of the
// read-ahead buffer of the merge file.
constexpr size_t SORT_IO_BUFFER_SIZE = 64 * 1024;
// Entries (slot and record) each run reads ahead at least while the runs are merged.
constexpr size_t SORT_MERGE_MIN_AHEAD = 4;

// The record file of a spilling sort: the records of every run in the run's sorted order, so
// that record number n belongs to the n-th slot of the run file; appended through a small
// buffer. Made with the first run: a sort that stays in memory never has one.
struct SortRecordFile {
  int fd;                   // descriptor of the (already unlinked) file; -1 until made
  int32_t record_length;    // bytes of one record
  int64_t count;            // records written so far (the next record number)
  unsigned char* pending;   // records not yet written to the file
  size_t pending_bytes;     // bytes held in `pending`
  size_t pending_capacity;  // capacity of `pending` (a whole number of records)
};

// A buffered sequential writer of records (the merge file).
struct SortWriter {
  int fd;                 // destination file
  int64_t offset;         // file offset of the first buffered byte
  unsigned char* buffer;  // SORT_IO_BUFFER_SIZE rounded down to whole records
  size_t used;            // bytes held in `buffer`
  size_t capacity;        // capacity of `buffer`
};

// A sorted sequence of slots being merged, with the records that belong to them in the same
// order: a run's block read ahead, or a sorted chunk of an in-memory sort.
struct SortSource {
  unsigned char* slots;    // `held` slots in order
  unsigned char* records;  // their records, in the same order
  size_t held;             // entries at `slots` and `records`
  size_t next;             // index of the head entry
  bool exhausted;          // the sequence has no slot left
};

// A tree of losers over `count` sources (sort_tournament.cpp).
struct SortTournament {
  SortWork* sort;       // the sort whose slots are compared
  SortSource* sources;  // the sequences
  int64_t count;        // entries at `sources`
  int64_t* losers;      // `count` entries: [0] the winning source, then the loser per node
};

// One sort from open to close (see sort.h for its life cycle).
struct SortWork {
  MemPool* pool;                   // owns this record and every buffer below but the mapped ones
  SortContext context;             // work directory (copied), budget attribute and time-out test
  int32_t slot_size;               // key_bytes + 8 (the record number)
  int32_t key_bytes;               // the slot without its record number: the normalized keys,
                                   // or the dm keys (dm_key_bytes)
  int32_t dm_key_bytes;            // sum of the key lengths (the keys as dm values)
  int32_t record_length;           // bytes of one record
  bool unique;                     // drop records whose keys equal an earlier one
  int key_count;                   // entries of `keys`
  SortKey* keys;                   // the keys, in order
  int32_t* key_slot_offset;        // where each key starts inside a slot (dm keys)
  bool normalized;                 // slots hold normalized keys (one byte comparison)
  int32_t normalized_bytes;        // bytes of a slot's normalized keys (0: dm keys)
  int32_t* key_normal_offset;      // where each normalized key starts inside a slot
  int32_t* key_normal_width;       // bytes of each normalized key
  size_t slots_per_run;            // capacity of the run buffer in slots
  size_t free_slots;               // rows the current run still takes (slots and record area)
  unsigned char* run_buffer;       // slots_per_run * slot_size, mapped (sort_buffers.cpp)
  size_t records_per_run;          // capacity of the record area in records
  unsigned char* record_area;      // records_per_run * record_length, mapped: the records of
                                   // the current run by their number within the run
  unsigned char* scratch;          // twice the run buffer, mapped, for the merge sort
  size_t fill;                     // slots held in the run buffer
  int64_t* run_offsets;            // file offset of each run in the run file
  int64_t* run_remaining;          // slots of each run not yet merged
  int64_t run_capacity;            // entries of the two run tables
  int64_t run_count;               // runs written
  int64_t total_records;           // records inserted
  int64_t record_count;            // records (slots) to return after finish (merged: written)
  int64_t records_read;            // slots consumed by sort_read
  int run_fd;                      // run file (.tmp), -1 until the first run
  int64_t run_file_size;           // bytes written to the run file
  int merge_fd;                    // merge file (.mrg), -1 until the merge
  int64_t merge_read_offset;       // file offset of the next chunk to read from the merge file
  unsigned char* merge_chunk;      // records read ahead from the merge file
  size_t merge_chunk_capacity;     // bytes `merge_chunk` holds (whole records)
  size_t merge_chunk_used;         // bytes of `merge_chunk` filled
  size_t merge_chunk_next;         // offset in `merge_chunk` of the next record to return
  SortRecordFile records;          // the whole records of the written runs, by number
  unsigned char* last_key;         // last written slot of a unique merge
  bool have_last_key;              // `last_key` holds a slot
  const unsigned char* last_slot;  // last returned slot of a unique in-memory sort, or null
  unsigned char* pushed_record;    // the record of sort_push_back
  bool pushed;                     // `pushed_record` is returned next
  bool finished;                   // sort_finish has run
  bool in_memory;                  // the output comes from the run buffer
  size_t chunk_slots;              // slots in one chunk of an in-memory sort
  unsigned char* chunk_records;    // one chunk's records while they are put in order
  SortTournament chunks;           // the sorted chunks of a large in-memory sort (count 0: the run
                                   // buffer is sorted whole)
  int failed;                      // the error code of a failure that ended the sort (0: none)
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
// Whether the work directory of `context` can take new files: 0, or the errno of the test.
int sort_check_work_directory(const SortContext& context);
// Writes all `size` bytes at `offset`: 0, or the errno of the failure (EIO for a short write).
int sort_write_at(int fd, const void* data, size_t size, int64_t offset);
// Reads exactly `size` bytes at `offset`: 0, or the errno of the failure (EIO when short).
int sort_read_at(int fd, void* data, size_t size, int64_t offset);

// --- Run buffers (sort_buffers.cpp) --------------------------------------------------------
// Maps `size` zeroed bytes whose pages are committed only when touched; null on failure.
unsigned char* sort_map_buffer(size_t size);
// Unmaps a buffer of sort_map_buffer; null is ignored.
void sort_unmap_buffer(unsigned char* buffer, size_t size);
// Unmaps the run buffer, the scratch buffer and the record area of `sort` (all become null).
void sort_release_run_buffers(SortWork* sort);

// --- Record file (sort_records.cpp) ---------------------------------------------------------
// Sets up an empty record file of `record_length`-byte records that is not made yet.
void sort_records_init(SortRecordFile* file, int32_t record_length);
// Makes the record file and its write buffer: 0, or the errno of the failure.
int sort_records_create(SortRecordFile* file, MemPool* pool, const SortContext& context);
// Appends one record (number file->count): 0 or the errno of a failed write.
int sort_records_append(SortRecordFile* file, const void* record);
// Writes the buffered records out: 0 or the errno of a failed write.
int sort_records_flush(SortRecordFile* file);
// Closes the record file (the system deletes it).
void sort_records_close(SortRecordFile* file);

// --- Normalized keys (sort_normalize.cpp) ------------------------------------------------
// Chooses the slot form of a new sort (dm keys laid out): normalized keys when every key's
// kind has a byte form that orders as compare_dm does, the slot then only as long as they
// are (key arrays allocated, key_bytes and slot_size set): SORT_OK or SORT_NO_MEMORY.
int sort_plan_normalized_keys(SortWork* sort);
// Writes the normalized keys of `record` into `slot` (the record number is left alone):
// false when a value has no exact byte form (another kind than its key's, or a text with a
// NUL); the slot is then only partly written.
bool sort_normalize_keys(const SortWork* sort, const unsigned char* record, unsigned char* slot);
// Copies the dm keys of `record` into `slot` (the record number is left alone).
void sort_copy_dm_keys(const SortWork* sort, const unsigned char* record, unsigned char* slot);
// Turns the sort over to the wider dm-key slots: a current run that the wider slots cannot
// hold is written first, then every slot of the current run and of the run file is rebuilt
// from its record (their order stays valid) and the run buffers are mapped again for the
// new size: SORT_OK or an error.
int sort_use_dm_keys(SortWork* sort);

// --- Slots (sort_run.cpp) -----------------------------------------------------------------
// Orders two slots by their keys (descending keys negated): negative, 0 or positive; one
// byte comparison when the slots hold normalized keys.
int sort_compare_slots(const SortWork* sort, const unsigned char* a, const unsigned char* b);
// Sorts the filled part of the run buffer stably (after the time-out check): SORT_OK or
// SORT_TIMEOUT.
int sort_run_buffer(SortWork* sort);
// The record number stored at the end of `slot`.
int64_t sort_slot_record_number(const SortWork* sort, const unsigned char* slot);

// Slots in one chunk of an in-memory sort: its slots and its records each fit the
// processor's cache (at least 2).
size_t sort_chunk_slots(int32_t slot_size, int32_t record_length);
// Sorts chunk `chunk_index` of the run buffer and puts its records (in the record area) in
// the same order, renumbering its slots: SORT_OK or SORT_NO_MEMORY.
int sort_chunk(SortWork* sort, size_t chunk_index);
// Sorts a large run buffer in chunks and sets up `sort->chunks` to merge them while reading;
// a small one is sorted whole. Checks the time-out first: SORT_OK, SORT_TIMEOUT or
// SORT_NO_MEMORY.
int sort_run_buffer_in_chunks(SortWork* sort);

// --- Tree of losers (sort_tournament.cpp) ------------------------------------------------
// Builds the tree over every source of `tournament` (heads loaded, losers allocated).
void sort_tournament_start(SortTournament* tournament);
// Replays the matches of `source` after its head moved on or it was exhausted.
void sort_tournament_replay(SortTournament* tournament, int64_t source);

// --- Runs (sort_spill.cpp) ------------------------------------------------------------------
// Sorts the run buffer and appends it to the run file as a new run, its records in the same
// order to the record file: SORT_OK or an error.
int sort_write_run(SortWork* sort);
// Rows a fresh run takes: the fewer of the free slots and the record area's capacity.
size_t sort_run_rows(const SortWork* sort);

// --- Merge (sort_merge.cpp) ---------------------------------------------------------------
// Merges every run into the merge file (whole records, in order) in one pass: SORT_OK or an
// error.
int sort_merge_runs(SortWork* sort);
