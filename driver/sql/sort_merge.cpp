// The merge of a spilled sort: one head slot per run, all runs at once, the smallest head
// found by a linear scan (the earlier run wins ties) and written to the merge file through a
// small buffer; a unique sort writes a slot only when its keys differ from the last written.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/sql/sort_internal.h"

namespace {

// Appends one slot to the merge file; `step` names the write in an error text.
int write_slot(SortWork* sort, SortWriter* writer, const unsigned char* slot, const char* step) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  if (writer->used + slot_size > writer->capacity) {
    int error = sort_write_at(writer->fd, writer->buffer, writer->used, writer->offset);
    if (error != 0) return sort_fail_os(sort, step, error);
    writer->offset += static_cast<int64_t>(writer->used);
    writer->used = 0;
  }
  std::memcpy(writer->buffer + writer->used, slot, slot_size);
  writer->used += slot_size;
  return SORT_OK;
}

// Loads the next slot of run `run` into its head: SORT_OK or a file error named `seek_step`
// when the run's offset is refused (EINVAL, EOVERFLOW), else `read_step`.
int load_head(SortWork* sort, unsigned char* heads, int64_t run, const char* seek_step,
              const char* read_step) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  int error = sort_read_at(sort->run_fd, heads + static_cast<size_t>(run) * slot_size, slot_size,
                           sort->run_offsets[run]);
  if (error == EINVAL || error == EOVERFLOW) return sort_fail_os(sort, seek_step, error);
  if (error != 0) return sort_fail_os(sort, read_step, error);
  sort->run_offsets[run] += static_cast<int64_t>(slot_size);
  --sort->run_remaining[run];
  return SORT_OK;
}

// The run whose head orders first (the earliest run among equals); -1 when all are done.
int64_t smallest_head(const SortWork* sort, const unsigned char* heads, const bool* live) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  int64_t best = -1;
  for (int64_t run = 0; run < sort->run_count; ++run) {
    if (!live[run]) continue;
    if (best < 0 || sort_compare_slots(sort, heads + static_cast<size_t>(run) * slot_size,
                                       heads + static_cast<size_t>(best) * slot_size) < 0)
      best = run;
  }
  return best;
}

// The merge loop proper, over heads already loaded.
int merge_loop(SortWork* sort, SortWriter* writer, unsigned char* heads, bool* live) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  int64_t written = 0;
  for (;;) {
    if (sort_timed_out(sort)) return SORT_TIMEOUT;
    int64_t run = smallest_head(sort, heads, live);
    if (run < 0) break;
    unsigned char* head = heads + static_cast<size_t>(run) * slot_size;
    int status = SORT_OK;
    if (!sort->unique) {
      status = write_slot(sort, writer, head, "MERGEWRITE3");
      ++written;
    } else if (!sort->have_last_key) {
      status = write_slot(sort, writer, head, "MERGEWRITE2");
      ++written;
    } else if (sort_compare_slots(sort, head, sort->last_key) != 0) {
      status = write_slot(sort, writer, head, "MERGEWRITE1");
      ++written;
    }
    if (status != SORT_OK) return status;
    if (sort->unique) {
      std::memcpy(sort->last_key, head, slot_size);
      sort->have_last_key = true;
    }
    if (sort->run_remaining[run] > 0) {
      status = load_head(sort, heads, run, "MERGESEEK1", "MERGEREAD1");
      if (status != SORT_OK) return status;
    } else {
      live[run] = false;
    }
  }
  if (writer->used > 0) {
    int error = sort_write_at(writer->fd, writer->buffer, writer->used, writer->offset);
    if (error != 0) return sort_fail_os(sort, sort->unique ? "MERGEWRITE1" : "MERGEWRITE3", error);
  }
  sort->record_count = written;
  sort->have_last_key = false;
  return SORT_OK;
}

}  // namespace

int sort_merge_runs(SortWork* sort) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t runs = static_cast<size_t>(sort->run_count);
  auto* heads = static_cast<unsigned char*>(quill_mem_alloc(sort->pool, runs * slot_size));
  auto* live = static_cast<bool*>(quill_mem_alloc(sort->pool, runs));
  size_t capacity = SORT_IO_BUFFER_SIZE / slot_size * slot_size;
  if (capacity == 0) capacity = slot_size;
  auto* buffer = static_cast<unsigned char*>(quill_mem_alloc(sort->pool, capacity));
  int status = SORT_OK;
  if (!heads || !live || !buffer) status = sort_fail_memory(sort);
  if (status == SORT_OK) {
    sort->merge_fd = sort_create_work_file(sort->context, ".mrg");
    if (sort->merge_fd < 0) status = sort_fail_os(sort, "MERGEWRITE3", errno);
  }
  for (size_t run = 0; status == SORT_OK && run < runs; ++run) {
    // Runs are never empty, so every run has a first slot.
    status = load_head(sort, heads, static_cast<int64_t>(run), "FILESEEK", "MERGEREAD");
    live[run] = true;
  }
  if (status == SORT_OK) {
    SortWriter writer{sort->merge_fd, 0, buffer, 0, capacity};
    status = merge_loop(sort, &writer, heads, live);
  }
  quill_mem_free(sort->pool, heads);
  quill_mem_free(sort->pool, live);
  // The write buffer becomes the read-ahead buffer of the merge file.
  sort->merge_chunk = buffer;
  sort->merge_chunk_capacity = capacity;
  // The runs are no longer needed once merged.
  if (status == SORT_OK && sort->run_fd >= 0) {
    close(sort->run_fd);
    sort->run_fd = -1;
  }
  sort->merge_read_offset = 0;
  return status;
}
