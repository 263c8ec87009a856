// The external sort of the engine (`SortWork`): fixed-length records made of
// dm values are kept whole beside their key slots (the key bytes plus the
// record number), and only the slots are sorted, in memory runs that spill to
// a run file (their records, in the same order, to a record file) when the
// memory budget is used up and are merged in one pass into a merge file. A
// sort that fits its budget makes no file. Serves GROUP BY, SELECT DISTINCT,
// ORDER BY, UNION and the catalog functions.
#pragma once

#include <cstddef>
#include <cstdint>

#include "support/memory.h"

// One key of a sort: where its dm value lies in the record and how it orders.
struct SortKey {
  int32_t kind;    // value kind of the key (sql_to_value_type of its SQL type)
  int32_t offset;  // byte offset of the key's dm value inside the record
  int32_t length;  // bytes of the key: its dm length + 12
  int32_t flags;   // SORT_KEY_DESCENDING
};
static_assert(sizeof(SortKey) == 16, "a sort key is 16 bytes");

// SortKey::flags bit: the key orders from greatest to smallest.
constexpr int32_t SORT_KEY_DESCENDING = 1;

// Results of the sort entries.
enum SortResult : int {
  SORT_OK = 0,
  SORT_NO_SORT = 1,     // bad arguments (record length or key count below 1, missing argument)
  SORT_NO_MEMORY = 2,   // "Out of memory in sort routine"
  SORT_END = 4,         // no more records
  SORT_FILE_ERROR = 5,  // a work or record file failed (the error text tells which step)
  SORT_TIMEOUT = 6,     // the statement's time-out passed while sorting or merging
};

// Where a sort runs: its work directory, its memory budget and its time-out test.
struct SortContext {
  const char* work_dir;  // directory of the work files; null or "": $TMPDIR, else /tmp
  long work_mem_size;    // the connection's work_mem_size in megabytes (-1 when absent)
  // True once the statement's time-out has passed (null: never).
  bool (*timed_out)(void* argument);
  void* timeout_argument;  // passed to timed_out
};

struct SortWork;

// Opens a sort of records of `record_length` bytes ordered by `keys` (copied); `unique`
// drops records whose keys all equal an earlier one. SORT_OK with *out set, or SORT_NO_SORT,
// SORT_NO_MEMORY, SORT_FILE_ERROR (the work directory cannot take files; *out null).
int sort_open(int32_t record_length, bool unique, int key_count, const SortKey* keys,
              SortWork** out, MemPool* parent, const SortContext& context);
// Adds one record (record_length bytes). SORT_OK or an error code (text set).
int sort_insert(SortWork* sort, const void* record);
// Ends the input: sorts the last run, merges when runs were written. SORT_OK or an error.
int sort_finish(SortWork* sort);
// Copies the next record in order into `record`: SORT_OK, SORT_END, or an error code.
int sort_read(SortWork* sort, void* record);
// Makes the next sort_read return `record` again (one record of push-back).
void sort_push_back(SortWork* sort, const void* record);
// Copies the error text of the last failure (at most 128 characters) into `buffer` of
// `size` bytes.
void sort_error_text(const SortWork* sort, char* buffer, size_t size);
// Frees the sort and closes its files (which the system then deletes); null is ignored.
void sort_close(SortWork* sort);

// The memory budget in bytes a sort opened with `work_mem_size` gets (the process remembers
// the first value of at least 1; otherwise 30 MB and the attribute is read again next time).
size_t sort_memory_budget(long work_mem_size);
// Slots a run holds for `slot_size`-byte slots under the budget of `work_mem_size`.
size_t sort_slots_per_run(long work_mem_size, size_t slot_size);
// The path of the next work file: "<dir>/sort<pid %05x><counter %05x><suffix>", the
// process-wide counter rising by one (atomically) for every name made.
void sort_work_file_name(const char* dir, const char* suffix, char* buffer, size_t size);
