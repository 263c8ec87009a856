// The sort entries: open (buffers and record file), insert (key slots into the run buffer,
// whole records into the record file), finish (in memory or run spill and merge), read in
// order with one record of push-back, error text and close.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/sql/sort_internal.h"
#include "support/dm.h"

namespace {

// Location numbers of "RSFile error" texts, one per place that reads or writes records.
constexpr int RECORD_APPEND_LOCATION = 1;
constexpr int RECORD_FLUSH_LOCATION = 2;
constexpr int RECORD_FETCH_LOCATION = 3;

// True when the keys lie inside the record and each can hold at least a dm header.
bool keys_fit(int32_t record_length, int key_count, const SortKey* keys) {
  int64_t total = 0;
  for (int i = 0; i < key_count; ++i) {
    const SortKey& key = keys[i];
    if (key.offset < 0 || key.length < static_cast<int32_t>(DM_HEADER_SIZE)) return false;
    if (static_cast<int64_t>(key.offset) + key.length > record_length) return false;
    total += key.length;
  }
  return total + 8 <= INT32_MAX;
}

// Takes the buffers of a new sort from its pool: SORT_OK or SORT_NO_MEMORY.
int allocate_buffers(SortWork* sort) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  if (sort->slots_per_run > SIZE_MAX / 3 / slot_size) return sort_fail_memory(sort);
  size_t run_bytes = sort->slots_per_run * slot_size;
  size_t table_bytes = static_cast<size_t>(SORT_RUN_TABLE_FIRST) * sizeof(int64_t);
  MemPool* pool = sort->pool;
  sort->run_buffer = sort_map_buffer(run_bytes);
  sort->scratch = sort_map_buffer(2 * run_bytes);
  sort->run_offsets = static_cast<int64_t*>(quill_mem_alloc(pool, table_bytes));
  sort->run_remaining = static_cast<int64_t*>(quill_mem_alloc(pool, table_bytes));
  sort->last_key =
      sort->unique ? static_cast<unsigned char*>(quill_mem_alloc(pool, slot_size)) : nullptr;
  size_t record_bytes = static_cast<size_t>(sort->record_length);
  sort->record_buffer = static_cast<unsigned char*>(quill_mem_alloc(pool, record_bytes));
  sort->pushed_record = static_cast<unsigned char*>(quill_mem_alloc(pool, record_bytes));
  sort->slot_buffer = static_cast<unsigned char*>(quill_mem_alloc(pool, slot_size));
  if (!sort->run_buffer || !sort->scratch || !sort->run_offsets || !sort->run_remaining ||
      (sort->unique && !sort->last_key) || !sort->record_buffer || !sort->pushed_record ||
      !sort->slot_buffer)
    return sort_fail_memory(sort);
  sort->run_capacity = SORT_RUN_TABLE_FIRST;
  sort->free_slots = sort->slots_per_run;
  return SORT_OK;
}

// Copies record `number` into `record`: SORT_OK or a file error.
int fetch_record(SortWork* sort, int64_t number, void* record) {
  int error = sort_records_read(&sort->records, number, record);
  if (error == 0) return SORT_OK;
  if (error == EIO) return sort_fail_os(sort, "RSREAD", error);
  return sort_fail_record_file(sort, error, RECORD_FETCH_LOCATION);
}

// Keeps the code of a failure so that later calls report it again.
int remember(SortWork* sort, int status) {
  if (status != SORT_OK && status != SORT_END) sort->failed = status;
  return status;
}

// Next record of a sort whose slots stayed in the run buffer.
int read_from_memory(SortWork* sort, void* record) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  while (sort->records_read < sort->record_count) {
    const unsigned char* slot =
        sort->run_buffer + static_cast<size_t>(sort->records_read) * slot_size;
    ++sort->records_read;
    if (sort->unique) {
      if (sort->have_last_key && sort_compare_slots(sort, slot, sort->last_key) == 0) continue;
      std::memcpy(sort->last_key, slot, slot_size);
      sort->have_last_key = true;
    }
    return fetch_record(sort, sort_slot_record_number(sort, slot), record);
  }
  return SORT_END;
}

// Next record of a merged sort: its slot from the merge file (read ahead in chunks of whole
// slots), then the record.
int read_from_merge(SortWork* sort, void* record) {
  if (sort->records_read >= sort->record_count) return SORT_END;
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  if (sort->merge_chunk_next >= sort->merge_chunk_used) {
    int64_t left = (sort->record_count - sort->records_read) * static_cast<int64_t>(slot_size);
    size_t bytes = static_cast<uint64_t>(left) < sort->merge_chunk_capacity
                       ? static_cast<size_t>(left)
                       : sort->merge_chunk_capacity;
    int error = sort_read_at(sort->merge_fd, sort->merge_chunk, bytes, sort->merge_read_offset);
    if (error != 0) return sort_fail_os(sort, "RSFILEREAD", error);
    sort->merge_read_offset += static_cast<int64_t>(bytes);
    sort->merge_chunk_used = bytes;
    sort->merge_chunk_next = 0;
  }
  const unsigned char* slot = sort->merge_chunk + sort->merge_chunk_next;
  sort->merge_chunk_next += slot_size;
  ++sort->records_read;
  return fetch_record(sort, sort_slot_record_number(sort, slot), record);
}

}  // namespace

int sort_open(int32_t record_length, bool unique, int key_count, const SortKey* keys,
              SortWork** out, MemPool* parent, const SortContext& context) {
  if (out) *out = nullptr;
  if (!out || !keys || record_length < 1 || key_count < 1) return SORT_NO_SORT;
  if (!keys_fit(record_length, key_count, keys)) return SORT_NO_SORT;
  MemPool* pool = quill_mem_alloc_handle(parent);
  if (!pool) return SORT_NO_MEMORY;
  auto* sort = static_cast<SortWork*>(quill_mem_alloc(pool, sizeof(SortWork)));
  if (!sort) {
    quill_mem_release_handle(pool);
    return SORT_NO_MEMORY;
  }
  sort->pool = pool;
  sort->context = context;
  sort->record_length = record_length;
  sort->unique = unique;
  sort->key_count = key_count;
  sort->run_fd = -1;
  sort->merge_fd = -1;
  sort->records.fd = -1;
  sort->keys = static_cast<SortKey*>(quill_mem_alloc(pool, sizeof(SortKey) * key_count));
  sort->key_slot_offset = static_cast<int32_t*>(quill_mem_alloc(pool, sizeof(int32_t) * key_count));
  if (context.work_dir) sort->context.work_dir = quill_mem_strdup(pool, context.work_dir);
  if (!sort->keys || !sort->key_slot_offset || (context.work_dir && !sort->context.work_dir)) {
    quill_mem_release_handle(pool);
    return SORT_NO_MEMORY;
  }
  std::memcpy(sort->keys, keys, sizeof(SortKey) * key_count);
  for (int i = 0; i < key_count; ++i) {
    sort->key_slot_offset[i] = sort->key_bytes;
    sort->key_bytes += keys[i].length;
  }
  sort->slot_size = sort->key_bytes + static_cast<int32_t>(sizeof(int64_t));
  sort->slots_per_run =
      sort_slots_per_run(context.work_mem_size, static_cast<size_t>(sort->slot_size));
  int status = allocate_buffers(sort);
  if (status == SORT_OK) {
    int error = sort_records_open(&sort->records, pool, sort->context, record_length);
    if (error != 0) status = error == ENOMEM ? SORT_NO_MEMORY : SORT_FILE_ERROR;
  }
  if (status != SORT_OK) {
    sort_close(sort);
    return status;
  }
  *out = sort;
  return SORT_OK;
}

int sort_insert(SortWork* sort, const void* record) {
  if (!sort || !record) return SORT_NO_SORT;
  if (sort->failed) return sort->failed;
  if (sort->finished) return SORT_NO_SORT;
  if (sort->free_slots == 0) {
    int status = sort_write_run(sort);
    if (status != SORT_OK) return remember(sort, status);
  }
  const auto* bytes = static_cast<const unsigned char*>(record);
  unsigned char* slot = sort->run_buffer + sort->fill * static_cast<size_t>(sort->slot_size);
  for (int i = 0; i < sort->key_count; ++i)
    std::memcpy(slot + sort->key_slot_offset[i], bytes + sort->keys[i].offset,
                static_cast<size_t>(sort->keys[i].length));
  int64_t number = sort->records.count;
  std::memcpy(slot + sort->key_bytes, &number, sizeof number);
  int error = sort_records_append(&sort->records, record);
  if (error != 0) return remember(sort, sort_fail_record_file(sort, error, RECORD_APPEND_LOCATION));
  ++sort->fill;
  --sort->free_slots;
  ++sort->total_records;
  return SORT_OK;
}

int sort_finish(SortWork* sort) {
  if (!sort) return SORT_NO_SORT;
  if (sort->failed) return sort->failed;
  if (sort->finished) return SORT_NO_SORT;
  int status = SORT_OK;
  if (sort->run_count == 0) {
    status = sort_run_buffer(sort);
    sort->in_memory = true;
    sort->record_count = static_cast<int64_t>(sort->fill);
  } else {
    if (sort->fill > 0) status = sort_write_run(sort);
    // The run buffers are not needed by the merge: give their memory back first.
    if (status == SORT_OK) {
      sort_release_run_buffers(sort);
      sort->free_slots = 0;
      status = sort_merge_runs(sort);
    }
  }
  if (status == SORT_OK) {
    int error = sort_records_flush(&sort->records);
    if (error != 0) status = sort_fail_record_file(sort, error, RECORD_FLUSH_LOCATION);
  }
  if (status != SORT_OK) return remember(sort, status);
  sort->finished = true;
  sort->records_read = 0;
  return SORT_OK;
}

int sort_read(SortWork* sort, void* record) {
  if (!sort || !record) return SORT_NO_SORT;
  if (sort->pushed) {
    std::memcpy(record, sort->pushed_record, static_cast<size_t>(sort->record_length));
    sort->pushed = false;
    return SORT_OK;
  }
  if (sort->failed) return sort->failed;
  if (!sort->finished) return SORT_NO_SORT;
  int status = sort->in_memory ? read_from_memory(sort, record) : read_from_merge(sort, record);
  return remember(sort, status);
}

void sort_push_back(SortWork* sort, const void* record) {
  if (!sort || !record) return;
  std::memcpy(sort->pushed_record, record, static_cast<size_t>(sort->record_length));
  sort->pushed = true;
}

void sort_error_text(const SortWork* sort, char* buffer, size_t size) {
  if (!buffer || size == 0) return;
  std::snprintf(buffer, size, "%s", sort ? sort->error_text : "");
}

void sort_close(SortWork* sort) {
  if (!sort) return;
  if (sort->run_fd >= 0) close(sort->run_fd);
  if (sort->merge_fd >= 0) close(sort->merge_fd);
  sort_records_close(&sort->records);
  sort_release_run_buffers(sort);
  quill_mem_release_handle(sort->pool);
}
