// Spilling a full run: the run is sorted, its records are appended to the record file in the
// sorted order (each slot renumbered to its record there), then its slots go to the run file
// (made on the first run, before the record file) in one write and the run is recorded in the
// run table, which grows by 64 entries.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/sql/sort_internal.h"

namespace {

// Location numbers of "RSFile error" texts written here.
constexpr int RECORD_CREATE_LOCATION = 4;
constexpr int RECORD_WRITE_LOCATION = 5;

// Appends the run's records in slot order and points each slot at its record's number in the
// record file: SORT_OK or an error.
int write_run_records(SortWork* sort) {
  SortRecordFile* file = &sort->records;
  if (file->fd < 0) {
    int error = sort_records_create(file, sort->pool, sort->context);
    if (error == ENOMEM) return sort_fail_memory(sort);
    if (error != 0) return sort_fail_record_file(sort, error, RECORD_CREATE_LOCATION);
  }
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_length = static_cast<size_t>(sort->record_length);
  unsigned char* slot = sort->run_buffer;
  for (size_t i = 0; i < sort->fill; ++i, slot += slot_size) {
    int64_t number = sort_slot_record_number(sort, slot);
    int64_t stored = file->count;
    int error =
        sort_records_append(file, sort->record_area + static_cast<size_t>(number) * record_length);
    if (error != 0) return sort_fail_record_file(sort, error, RECORD_WRITE_LOCATION);
    std::memcpy(slot + sort->key_bytes, &stored, sizeof stored);
  }
  int error = sort_records_flush(file);
  return error == 0 ? SORT_OK : sort_fail_record_file(sort, error, RECORD_WRITE_LOCATION);
}

// Makes room for one more run table entry: SORT_OK or SORT_NO_MEMORY.
int grow_run_table(SortWork* sort) {
  if (sort->run_count < sort->run_capacity) return SORT_OK;
  int64_t capacity = sort->run_capacity + SORT_RUN_TABLE_GROWTH;
  size_t bytes = static_cast<size_t>(capacity) * sizeof(int64_t);
  auto* offsets = static_cast<int64_t*>(quill_mem_realloc(sort->pool, sort->run_offsets, bytes));
  if (!offsets) return sort_fail_memory(sort);
  sort->run_offsets = offsets;
  auto* remaining =
      static_cast<int64_t*>(quill_mem_realloc(sort->pool, sort->run_remaining, bytes));
  if (!remaining) return sort_fail_memory(sort);
  sort->run_remaining = remaining;
  sort->run_capacity = capacity;
  return SORT_OK;
}

}  // namespace

int sort_write_run(SortWork* sort) {
  int status = sort_run_buffer(sort);
  if (status != SORT_OK) return status;
  status = grow_run_table(sort);
  if (status != SORT_OK) return status;
  if (sort->run_fd < 0) {
    sort->run_fd = sort_create_work_file(sort->context, ".tmp");
    if (sort->run_fd < 0) return sort_fail_os(sort, "FILEWRITE", errno);
  }
  status = write_run_records(sort);
  if (status != SORT_OK) return status;
  size_t bytes = sort->fill * static_cast<size_t>(sort->slot_size);
  int error = sort_write_at(sort->run_fd, sort->run_buffer, bytes, sort->run_file_size);
  if (error != 0) return sort_fail_os(sort, "FILEWRITE", error);
  sort->run_offsets[sort->run_count] = sort->run_file_size;
  sort->run_remaining[sort->run_count] = static_cast<int64_t>(sort->fill);
  ++sort->run_count;
  sort->run_file_size += static_cast<int64_t>(bytes);
  sort->fill = 0;
  sort->free_slots = sort_run_rows(sort);
  return SORT_OK;
}

size_t sort_run_rows(const SortWork* sort) {
  return sort->slots_per_run < sort->records_per_run ? sort->slots_per_run : sort->records_per_run;
}
