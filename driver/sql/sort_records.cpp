// The record file of a spilling sort: whole fixed-length records numbered from 0, appended run
// by run in each run's sorted order through a small constant buffer, so that the merge reads
// every run's records back sequentially beside its slots. Made only when the first run spills.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/sql/sort_internal.h"
#include "support/threads.h"

void sort_records_init(SortRecordFile* file, int32_t record_length) {
  *file = SortRecordFile{-1, record_length, 0, nullptr, 0, 0};
}

int sort_records_create(SortRecordFile* file, MemPool* pool, const SortContext& context) {
  size_t length = static_cast<size_t>(file->record_length);
  size_t capacity = SORT_IO_BUFFER_SIZE / length * length;
  if (capacity == 0) capacity = length;
  file->pending = static_cast<unsigned char*>(quill_mem_alloc(pool, capacity));
  if (!file->pending) return ENOMEM;
  file->pending_capacity = capacity;
  file->fd = sort_create_work_file(context, ".rec");
  return file->fd < 0 ? errno : 0;
}

int sort_records_flush(SortRecordFile* file) {
  if (file->pending_bytes == 0) return 0;
  int64_t first = file->count - static_cast<int64_t>(file->pending_bytes / file->record_length);
  int error = sort_write_at(file->fd, file->pending, file->pending_bytes,
                            first * static_cast<int64_t>(file->record_length));
  if (error == 0) file->pending_bytes = 0;
  return error;
}

int sort_records_append(SortRecordFile* file, const void* record) {
  if (file->pending_bytes + static_cast<size_t>(file->record_length) > file->pending_capacity) {
    int error = sort_records_flush(file);
    if (error != 0) return error;
  }
  std::memcpy(file->pending + file->pending_bytes, record,
              static_cast<size_t>(file->record_length));
  file->pending_bytes += static_cast<size_t>(file->record_length);
  ++file->count;
  return 0;
}

void sort_records_close(SortRecordFile* file) {
  thread_close_later(file->fd);  // large deleted files are released off the caller's time
  file->fd = -1;
}
