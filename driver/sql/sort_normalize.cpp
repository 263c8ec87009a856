// Normalized sort keys: each key of a slot is written as bytes that order, compared as
// unsigned bytes, exactly as compare_dm orders the dm values, so that two slots compare with
// one byte comparison of their keys. A first byte tells NULL (lowest) from a value; integers
// are big-endian with the sign bit flipped; doubles likewise with negative ones inverted,
// minus zero as zero and every NaN as the highest pattern; text without its trailing blanks,
// padded with zero bytes (a text holds no NUL, so the shorter orders first as compare_dm
// has it); binary padded likewise and followed by its length; a descending key inverted. The
// slot holds only the normalized keys (often far shorter than the dm values), and a sort
// meeting a value with no exact byte form (a value of another kind than its key's) turns back
// to dm keys, rebuilding its slots from their records at the wider size.
#include <cstring>

#include "driver/sql/sort_internal.h"
#include "support/dm.h"

namespace {

// Bytes of the normalized form of a key, or 0 when its kind has none.
int32_t normalized_width(const SortKey& key) {
  int32_t payload = key.length - static_cast<int32_t>(DM_HEADER_SIZE);
  switch (key.kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      return payload >= 4 ? 1 + 4 : 0;  // a key too short for its number keeps its dm
    case VALUE_BIGINT:
    case VALUE_DOUBLE:
      return payload >= 8 ? 1 + 8 : 0;
    case VALUE_CHARACTER:
      return payload >= 1 ? payload : 0;  // the flag, then the text without its NUL
    case VALUE_BINARY:
      return payload >= 0 ? 1 + payload + 4 : 0;
    default:
      return 0;
  }
}

void store_big_endian(unsigned char* at, uint64_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) {
    at[i] = static_cast<unsigned char>(value);
    value >>= 8;
  }
}

// Writes the normalized form of the dm at `dm` for `key` into `width` bytes at `out`: false
// when the value has no exact byte form.
bool normalize_value(const SortKey& key, const unsigned char* dm, int32_t width,
                     unsigned char* out) {
  int32_t header[3];  // kind, indicator, length
  std::memcpy(header, dm, sizeof header);
  std::memset(out, 0, static_cast<size_t>(width));
  if (header[1] != SQL_NULL_DATA) {
    if (header[0] != key.kind) return false;
    const unsigned char* payload = dm + DM_HEADER_SIZE;
    out[0] = 1;
    switch (key.kind) {
      case VALUE_INTEGER:
      case VALUE_BIT: {
        int32_t number;
        std::memcpy(&number, payload, sizeof number);
        store_big_endian(out + 1, static_cast<uint32_t>(number) ^ 0x80000000u, 4);
        break;
      }
      case VALUE_BIGINT: {
        int64_t number;
        std::memcpy(&number, payload, sizeof number);
        store_big_endian(out + 1, static_cast<uint64_t>(number) ^ (uint64_t{1} << 63), 8);
        break;
      }
      case VALUE_DOUBLE: {
        double number;
        std::memcpy(&number, payload, sizeof number);
        uint64_t bits = ~uint64_t{0};  // NaN: above every number
        if (number == number) {
          if (number == 0) number = 0;  // minus zero equals zero
          std::memcpy(&bits, &number, sizeof bits);
          bits = (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
        }
        store_big_endian(out + 1, bits, 8);
        break;
      }
      case VALUE_CHARACTER: {
        if (header[2] < 0 || header[2] > width - 1) return false;
        size_t length = static_cast<size_t>(header[2]);
        while (length > 0 && payload[length - 1] == ' ') --length;
        if (std::memchr(payload, 0, length)) return false;
        std::memcpy(out + 1, payload, length);
        break;
      }
      case VALUE_BINARY: {
        if (header[2] < 0 || header[2] > width - 5) return false;
        std::memcpy(out + 1, payload, static_cast<size_t>(header[2]));
        store_big_endian(out + width - 4, static_cast<uint32_t>(header[2]), 4);
        break;
      }
      default:
        return false;
    }
  }
  if (key.flags & SORT_KEY_DESCENDING)
    for (int32_t i = 0; i < width; ++i) out[i] = static_cast<unsigned char>(~out[i]);
  return true;
}

// Rebuilds the dm keys of the slots in the run file from the record file, a block at a time
// (slot n of the run file belongs to record n): SORT_OK or an error.
int rebuild_run_file(SortWork* sort) {
  int64_t total = sort->records.count;
  if (total == 0) return SORT_OK;
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_length = static_cast<size_t>(sort->record_length);
  size_t block = SORT_IO_BUFFER_SIZE / record_length > 0 ? SORT_IO_BUFFER_SIZE / record_length : 1;
  auto* records = static_cast<unsigned char*>(quill_mem_alloc(sort->pool, block * record_length));
  auto* slots = static_cast<unsigned char*>(quill_mem_alloc(sort->pool, block * slot_size));
  int status = records && slots ? SORT_OK : sort_fail_memory(sort);
  for (int64_t first = 0; status == SORT_OK && first < total;) {
    size_t count =
        static_cast<uint64_t>(total - first) < block ? static_cast<size_t>(total - first) : block;
    int error = sort_read_at(sort->records.fd, records, count * record_length,
                             first * static_cast<int64_t>(record_length));
    if (error != 0) {
      status = sort_fail_os(sort, "RSFILEREAD", error);
      break;
    }
    for (size_t i = 0; i < count; ++i) {
      unsigned char* slot = slots + i * slot_size;
      std::memset(slot, 0, slot_size);
      sort_copy_dm_keys(sort, records + i * record_length, slot);
      int64_t number = first + static_cast<int64_t>(i);
      std::memcpy(slot + sort->key_bytes, &number, sizeof number);
    }
    error = sort_write_at(sort->run_fd, slots, count * slot_size,
                          first * static_cast<int64_t>(slot_size));
    if (error != 0) status = sort_fail_os(sort, "FILEWRITE", error);
    first += static_cast<int64_t>(count);
  }
  quill_mem_free(sort->pool, records);
  quill_mem_free(sort->pool, slots);
  return status;
}

}  // namespace

int sort_plan_normalized_keys(SortWork* sort) {
  size_t bytes = sizeof(int32_t) * static_cast<size_t>(sort->key_count);
  sort->key_normal_offset = static_cast<int32_t*>(quill_mem_alloc(sort->pool, bytes));
  sort->key_normal_width = static_cast<int32_t*>(quill_mem_alloc(sort->pool, bytes));
  if (!sort->key_normal_offset || !sort->key_normal_width) return SORT_NO_MEMORY;
  int64_t total = 0;
  bool every_key = true;
  for (int i = 0; i < sort->key_count; ++i) {
    int32_t width = normalized_width(sort->keys[i]);
    if (width == 0) every_key = false;
    sort->key_normal_offset[i] = static_cast<int32_t>(total);
    sort->key_normal_width[i] = width;
    total += width;
  }
  sort->dm_key_bytes = sort->key_bytes;
  sort->normalized = every_key && total <= sort->dm_key_bytes;
  sort->normalized_bytes = sort->normalized ? static_cast<int32_t>(total) : 0;
  if (sort->normalized) sort->key_bytes = sort->normalized_bytes;
  sort->slot_size = sort->key_bytes + static_cast<int32_t>(sizeof(int64_t));
  return SORT_OK;
}

bool sort_normalize_keys(const SortWork* sort, const unsigned char* record, unsigned char* slot) {
  for (int i = 0; i < sort->key_count; ++i)
    if (!normalize_value(sort->keys[i], record + sort->keys[i].offset, sort->key_normal_width[i],
                         slot + sort->key_normal_offset[i]))
      return false;
  return true;
}

void sort_copy_dm_keys(const SortWork* sort, const unsigned char* record, unsigned char* slot) {
  for (int i = 0; i < sort->key_count; ++i)
    std::memcpy(slot + sort->key_slot_offset[i], record + sort->keys[i].offset,
                static_cast<size_t>(sort->keys[i].length));
}

int sort_use_dm_keys(SortWork* sort) {
  if (!sort->normalized) return SORT_OK;
  size_t old_size = static_cast<size_t>(sort->slot_size);
  size_t new_size = static_cast<size_t>(sort->dm_key_bytes) + sizeof(int64_t);
  size_t per_run = sort_slots_per_run(sort->context.work_mem_size, new_size);
  // The row being inserted must find room among the wider slots.
  if (sort->fill >= per_run) {
    int status = sort_write_run(sort);
    if (status != SORT_OK) return status;
  }
  if (per_run > SIZE_MAX / 3 / new_size) return sort_fail_memory(sort);
  unsigned char* run_buffer = sort_map_buffer(per_run * new_size);
  unsigned char* scratch = sort_map_buffer(2 * per_run * new_size);
  unsigned char* last_key =
      sort->unique ? static_cast<unsigned char*>(quill_mem_alloc(sort->pool, new_size)) : nullptr;
  if (!run_buffer || !scratch || (sort->unique && !last_key)) {
    sort_unmap_buffer(run_buffer, per_run * new_size);
    sort_unmap_buffer(scratch, 2 * per_run * new_size);
    quill_mem_free(sort->pool, last_key);
    return sort_fail_memory(sort);
  }
  size_t record_length = static_cast<size_t>(sort->record_length);
  for (size_t i = 0; i < sort->fill; ++i) {
    int64_t number = sort_slot_record_number(sort, sort->run_buffer + i * old_size);
    unsigned char* slot = run_buffer + i * new_size;
    sort_copy_dm_keys(sort, sort->record_area + static_cast<size_t>(number) * record_length, slot);
    std::memcpy(slot + sort->dm_key_bytes, &number, sizeof number);
  }
  sort_unmap_buffer(sort->run_buffer, sort->slots_per_run * old_size);
  sort_unmap_buffer(sort->scratch, 2 * sort->slots_per_run * old_size);
  if (sort->unique) {
    quill_mem_free(sort->pool, sort->last_key);
    sort->last_key = last_key;
  }
  sort->run_buffer = run_buffer;
  sort->scratch = scratch;
  sort->slots_per_run = per_run;
  sort->normalized = false;
  sort->normalized_bytes = 0;
  sort->key_bytes = sort->dm_key_bytes;
  sort->slot_size = static_cast<int32_t>(new_size);
  sort->chunk_slots = sort_chunk_slots(sort->slot_size, sort->record_length);
  sort->free_slots = sort_run_rows(sort) - sort->fill;
  // The runs already written keep their places by slot count.
  for (int64_t run = 0; run < sort->run_count; ++run)
    sort->run_offsets[run] =
        sort->run_offsets[run] / static_cast<int64_t>(old_size) * static_cast<int64_t>(new_size);
  sort->run_file_size =
      sort->run_file_size / static_cast<int64_t>(old_size) * static_cast<int64_t>(new_size);
  return sort->run_count > 0 ? rebuild_run_file(sort) : SORT_OK;
}
