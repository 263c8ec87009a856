// The record file of a sort: whole fixed-length records numbered from 0, appended through a
// small constant buffer while the input arrives and read back by number in output order.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/sql/sort_internal.h"

int sort_records_open(SortRecordFile* file, MemPool* pool, const SortContext& context,
                      int32_t record_length) {
  *file = SortRecordFile{-1, record_length, 0, nullptr, 0, 0};
  size_t length = static_cast<size_t>(record_length);
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

int sort_records_read(const SortRecordFile* file, int64_t number, void* record) {
  int64_t buffered = static_cast<int64_t>(file->pending_bytes / file->record_length);
  if (number < 0 || number >= file->count) return ERANGE;
  if (number >= file->count - buffered) {
    size_t at = static_cast<size_t>(number - (file->count - buffered)) * file->record_length;
    std::memcpy(record, file->pending + at, static_cast<size_t>(file->record_length));
    return 0;
  }
  return sort_read_at(file->fd, record, static_cast<size_t>(file->record_length),
                      number * static_cast<int64_t>(file->record_length));
}

void sort_records_close(SortRecordFile* file) {
  if (file->fd >= 0) close(file->fd);
  file->fd = -1;
}
