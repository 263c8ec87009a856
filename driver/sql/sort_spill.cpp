// Spilling a full run buffer: the run is sorted, then appended to the run file (made on the
// first run) in one write and recorded in the run table, which grows by 64 entries.
#include <unistd.h>

#include <cerrno>

#include "driver/sql/sort_internal.h"

namespace {

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
  size_t bytes = sort->fill * static_cast<size_t>(sort->slot_size);
  int error = sort_write_at(sort->run_fd, sort->run_buffer, bytes, sort->run_file_size);
  if (error != 0) return sort_fail_os(sort, "FILEWRITE", error);
  sort->run_offsets[sort->run_count] = sort->run_file_size;
  sort->run_remaining[sort->run_count] = static_cast<int64_t>(sort->fill);
  ++sort->run_count;
  sort->run_file_size += static_cast<int64_t>(bytes);
  sort->fill = 0;
  sort->free_slots = sort->slots_per_run;
  return SORT_OK;
}
