// The sort entries: open (buffers, a usable work directory), insert (key slots into the run
// buffer, whole records into the record area beside it), finish (in memory, or run spill and
// merge), read in order with one record of push-back, error text and close. A sort that fits
// its budget never touches a file: its records are read straight from the record area.
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "driver/sql/sort_internal.h"
#include "support/dm.h"
#include "support/threads.h"

namespace {

// Location number of the "RSFile error" text of a work directory that cannot take files.
constexpr int WORK_DIRECTORY_LOCATION = 1;

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

// Takes the buffers of a new sort: SORT_OK or SORT_NO_MEMORY.
int allocate_buffers(SortWork* sort) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_bytes = static_cast<size_t>(sort->record_length);
  if (sort->slots_per_run > SIZE_MAX / 3 / slot_size) return sort_fail_memory(sort);
  // The records of a run share the budget's size again: a run ends when either is full.
  size_t budget = sort_memory_budget(sort->context.work_mem_size);
  sort->records_per_run = budget / record_bytes > 0 ? budget / record_bytes : 1;
  if (sort->records_per_run > sort->slots_per_run) sort->records_per_run = sort->slots_per_run;
  size_t run_bytes = sort->slots_per_run * slot_size;
  size_t table_bytes = static_cast<size_t>(SORT_RUN_TABLE_FIRST) * sizeof(int64_t);
  MemPool* pool = sort->pool;
  sort->run_buffer = sort_map_buffer(run_bytes);
  sort->scratch = sort_map_buffer(2 * run_bytes);
  sort->record_area = sort_map_buffer(sort->records_per_run * record_bytes);
  sort->run_offsets = static_cast<int64_t*>(quill_mem_alloc(pool, table_bytes));
  sort->run_remaining = static_cast<int64_t*>(quill_mem_alloc(pool, table_bytes));
  sort->last_key =
      sort->unique ? static_cast<unsigned char*>(quill_mem_alloc(pool, slot_size)) : nullptr;
  sort->pushed_record = static_cast<unsigned char*>(quill_mem_alloc(pool, record_bytes));
  if (!sort->run_buffer || !sort->scratch || !sort->record_area || !sort->run_offsets ||
      !sort->run_remaining || (sort->unique && !sort->last_key) || !sort->pushed_record)
    return sort_fail_memory(sort);
  sort->run_capacity = SORT_RUN_TABLE_FIRST;
  sort->free_slots = sort_run_rows(sort);
  return SORT_OK;
}

// Keeps the code of a failure so that later calls report it again.
int remember(SortWork* sort, int status) {
  if (status != SORT_OK && status != SORT_END) sort->failed = status;
  return status;
}

// Slots ahead of the one being read whose records are fetched into the cache early: records
// lie in arrival order, so in sorted order every read lands somewhere else in the area.
constexpr int64_t PREFETCH_DISTANCE = 8;
// Bytes of a record fetched early (its first cache lines).
constexpr size_t PREFETCH_BYTES = 256;

// Entries ahead of a chunk's head whose slot and record are fetched into the cache early.
constexpr size_t PREFETCH_CHUNK_AHEAD = 4;

// Next record of a sort whose slots stayed in the run buffer: straight from the record area.
int read_from_memory(SortWork* sort, void* record) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_length = static_cast<size_t>(sort->record_length);
  while (sort->records_read < sort->record_count) {
    const unsigned char* slot =
        sort->run_buffer + static_cast<size_t>(sort->records_read) * slot_size;
    if (sort->records_read + PREFETCH_DISTANCE < sort->record_count) {
      size_t ahead = static_cast<size_t>(
          sort_slot_record_number(sort, slot + static_cast<size_t>(PREFETCH_DISTANCE) * slot_size));
      const unsigned char* start = sort->record_area + ahead * record_length;
      for (size_t at = 0; at < record_length && at < PREFETCH_BYTES; at += 64)
        __builtin_prefetch(start + at);
    }
    ++sort->records_read;
    if (sort->unique) {
      if (sort->last_slot && sort_compare_slots(sort, slot, sort->last_slot) == 0) continue;
      sort->last_slot = slot;
    }
    size_t number = static_cast<size_t>(sort_slot_record_number(sort, slot));
    std::memcpy(record, sort->record_area + number * record_length, record_length);
    return SORT_OK;
  }
  return SORT_END;
}

// Next record of a large in-memory sort: the chunks are merged as they are read.
int read_from_chunks(SortWork* sort, void* record) {
  SortTournament* chunks = &sort->chunks;
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_length = static_cast<size_t>(sort->record_length);
  for (;;) {
    int64_t chunk = chunks->losers[0];
    SortSource* source = &chunks->sources[chunk];
    if (source->exhausted) return SORT_END;
    const unsigned char* slot = source->slots + source->next * slot_size;
    const unsigned char* data = source->records + source->next * record_length;
    if (++source->next == source->held) source->exhausted = true;
    // The chunks are read in step, each from its own place: fetch this chunk's coming
    // entries early, since the cache cannot follow that many sequences by itself.
    if (source->next + PREFETCH_CHUNK_AHEAD < source->held) {
      __builtin_prefetch(source->slots + (source->next + PREFETCH_CHUNK_AHEAD) * slot_size);
      __builtin_prefetch(source->records + (source->next + PREFETCH_CHUNK_AHEAD) * record_length);
    }
    bool repeated =
        sort->unique && sort->last_slot && sort_compare_slots(sort, slot, sort->last_slot) == 0;
    if (!repeated) {
      if (sort->unique) sort->last_slot = slot;
      std::memcpy(record, data, record_length);
    }
    sort_tournament_replay(chunks, chunk);
    ++sort->records_read;
    if (!repeated) return SORT_OK;
  }
}

// Next record of a merged sort: the merge file holds the records in order, read ahead in
// chunks of whole records.
int read_from_merge(SortWork* sort, void* record) {
  if (sort->records_read >= sort->record_count) return SORT_END;
  size_t record_length = static_cast<size_t>(sort->record_length);
  if (sort->merge_chunk_next >= sort->merge_chunk_used) {
    int64_t left = (sort->record_count - sort->records_read) * static_cast<int64_t>(record_length);
    size_t bytes = static_cast<uint64_t>(left) < sort->merge_chunk_capacity
                       ? static_cast<size_t>(left)
                       : sort->merge_chunk_capacity;
    int error = sort_read_at(sort->merge_fd, sort->merge_chunk, bytes, sort->merge_read_offset);
    if (error != 0) return sort_fail_os(sort, "RSFILEREAD", error);
    sort->merge_read_offset += static_cast<int64_t>(bytes);
    sort->merge_chunk_used = bytes;
    sort->merge_chunk_next = 0;
  }
  std::memcpy(record, sort->merge_chunk + sort->merge_chunk_next, record_length);
  sort->merge_chunk_next += record_length;
  ++sort->records_read;
  return SORT_OK;
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
  sort_records_init(&sort->records, record_length);
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
  if (sort_plan_normalized_keys(sort) != SORT_OK) {
    quill_mem_release_handle(pool);
    return SORT_NO_MEMORY;
  }
  sort->slots_per_run =
      sort_slots_per_run(context.work_mem_size, static_cast<size_t>(sort->slot_size));
  sort->chunk_slots = sort_chunk_slots(sort->slot_size, record_length);
  int status = allocate_buffers(sort);
  // The work files are made only when runs spill, but a sort that could not make them fails
  // at once rather than part-way through a large input.
  if (status == SORT_OK) {
    int error = sort_check_work_directory(sort->context);
    if (error != 0) status = sort_fail_record_file(sort, error, WORK_DIRECTORY_LOCATION);
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
  if (sort->normalized && !sort_normalize_keys(sort, bytes, slot)) {
    // A value without a byte form: the run buffer (and maybe the run) changes.
    int status = sort_use_dm_keys(sort);
    if (status != SORT_OK) return remember(sort, status);
    slot = sort->run_buffer + sort->fill * static_cast<size_t>(sort->slot_size);
  }
  if (!sort->normalized) sort_copy_dm_keys(sort, bytes, slot);
  // Within a run the record's number is its place in the record area (the run's own order
  // of arrival); writing the run renumbers it to its place in the record file.
  int64_t number = static_cast<int64_t>(sort->fill);
  std::memcpy(slot + sort->key_bytes, &number, sizeof number);
  std::memcpy(sort->record_area + sort->fill * static_cast<size_t>(sort->record_length), bytes,
              static_cast<size_t>(sort->record_length));
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
    status = sort_run_buffer_in_chunks(sort);
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
  int status = !sort->in_memory         ? read_from_merge(sort, record)
               : sort->chunks.count > 0 ? read_from_chunks(sort, record)
                                        : read_from_memory(sort, record);
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
  // Releasing large deleted work files can take long: a cancelled or finished statement
  // does not wait for it.
  thread_close_later(sort->run_fd);
  thread_close_later(sort->merge_fd);
  sort_records_close(&sort->records);
  sort_release_run_buffers(sort);
  quill_mem_release_handle(sort->pool);
}
