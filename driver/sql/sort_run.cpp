// Ordering of key slots (normalized keys as bytes, dm keys kind by kind) and the in-memory
// sort of a run: a stable, recursive top-down merge sort through the scratch buffer, skipped
// when every slot of the run compares equal. A large sort that stays in memory is sorted in chunks
// that fit the processor's cache, each chunk's records are put in its order, and the chunks are
// merged while the records are read.
#include <cstdint>
#include <cstring>

#include "driver/sql/sort_internal.h"
#include "support/dm.h"

namespace {

// Copies one slot of `size` bytes (at least 9: a key byte and the record number). Slots are
// short, and a call to memcpy costs more than the copy: up to 32 bytes move as two words or
// two 16-byte blocks that may overlap in the middle.
inline void copy_slot(unsigned char* to, const unsigned char* from, size_t size) {
  if (size <= 16) {
    uint64_t head, tail;
    std::memcpy(&head, from, 8);
    std::memcpy(&tail, from + size - 8, 8);
    std::memcpy(to, &head, 8);
    std::memcpy(to + size - 8, &tail, 8);
  } else if (size <= 32) {
    unsigned char head[16], tail[16];
    std::memcpy(head, from, 16);
    std::memcpy(tail, from + size - 16, 16);
    std::memcpy(to, head, 16);
    std::memcpy(to + size - 16, tail, 16);
  } else {
    std::memcpy(to, from, size);
  }
}

// The recursion of the merge sort over `count` slots starting at `slots`.
struct RunSorter {
  const SortWork* sort;
  size_t slot_size;
  unsigned char* scratch;

  unsigned char* at(unsigned char* base, size_t index) const { return base + index * slot_size; }

  void sort_range(unsigned char* slots, size_t count) {
    if (count < 2) return;
    if (count == 2) {
      if (sort_compare_slots(sort, slots, slots + slot_size) > 0) {
        copy_slot(scratch, slots, slot_size);
        copy_slot(slots, slots + slot_size, slot_size);
        copy_slot(slots + slot_size, scratch, slot_size);
      }
      return;
    }
    size_t left_count = count / 2;
    unsigned char* right = at(slots, left_count);
    sort_range(slots, left_count);
    sort_range(right, count - left_count);
    // Already in order: the last of the left half does not exceed the first of the right.
    if (sort_compare_slots(sort, at(slots, left_count - 1), right) <= 0) return;
    merge(slots, left_count, count - left_count);
  }

  // Merges the sorted halves in place: the left half moves to the scratch buffer and is
  // merged back with the right half (the left wins ties). Only half a run of scratch is
  // touched, and the rest of the right half is already where it belongs.
  void merge(unsigned char* slots, size_t left_count, size_t right_count) {
    size_t left_bytes = left_count * slot_size;
    std::memcpy(scratch, slots, left_bytes);
    const unsigned char* left = scratch;
    const unsigned char* left_end = scratch + left_bytes;
    const unsigned char* right = slots + left_bytes;
    const unsigned char* right_end = right + right_count * slot_size;
    unsigned char* out = slots;
    while (left < left_end && right < right_end) {
      if (sort_compare_slots(sort, left, right) <= 0) {
        copy_slot(out, left, slot_size);
        left += slot_size;
      } else {
        copy_slot(out, right, slot_size);
        right += slot_size;
      }
      out += slot_size;
    }
    std::memcpy(out, left, static_cast<size_t>(left_end - left));
  }
};

}  // namespace

namespace {

// Eight bytes at `at` as a big-endian number, so that numbers order as the bytes do.
uint64_t load_big_endian(const unsigned char* at) {
  uint64_t word;
  std::memcpy(&word, at, sizeof word);
  return __builtin_bswap64(word);
}

// Orders `nx` bytes at `p` against `ny` at `q` (then the shorter first), eight at a time.
// Every key of a slot is followed by at least the slot's 8-byte record number, so a whole
// word may be read from any byte of a key even where fewer remain.
int compare_key_bytes(const unsigned char* p, size_t nx, const unsigned char* q, size_t ny) {
  size_t common = nx < ny ? nx : ny;
  size_t at = 0;
  for (; at + 8 <= common; at += 8) {
    uint64_t u = load_big_endian(p + at), v = load_big_endian(q + at);
    if (u != v) return u < v ? -1 : 1;
  }
  if (at < common) {
    unsigned shift = static_cast<unsigned>(64 - 8 * (common - at));
    uint64_t u = load_big_endian(p + at) >> shift, v = load_big_endian(q + at) >> shift;
    if (u != v) return u < v ? -1 : 1;
  }
  return nx < ny ? -1 : (nx > ny ? 1 : 0);
}

// Orders two keys of slots: the text and binary kinds word by word, the other common kinds
// as dm_compare_same_kind does, the rest through compare_dm (the same order throughout).
int compare_slot_keys(const unsigned char* a, const unsigned char* b) {
  int32_t x[3], y[3];  // kind, indicator, length
  std::memcpy(x, a, sizeof x);
  std::memcpy(y, b, sizeof y);
  if (x[0] == y[0] && (x[0] == VALUE_CHARACTER || x[0] == VALUE_BINARY) && x[1] != SQL_NULL_DATA &&
      y[1] != SQL_NULL_DATA && x[2] >= 0 && y[2] >= 0) {
    const unsigned char* p = a + DM_HEADER_SIZE;
    const unsigned char* q = b + DM_HEADER_SIZE;
    size_t nx = static_cast<size_t>(x[2]), ny = static_cast<size_t>(y[2]);
    if (x[0] == VALUE_CHARACTER) {
      while (nx > 0 && p[nx - 1] == ' ') --nx;
      while (ny > 0 && q[ny - 1] == ' ') --ny;
    }
    return compare_key_bytes(p, nx, q, ny);
  }
  int order = 0;
  if (dm_compare_same_kind(a, b, &order)) return order;
  return compare_dm(a, b, 0);
}

}  // namespace

int sort_compare_slots(const SortWork* sort, const unsigned char* a, const unsigned char* b) {
  if (sort->normalized) {
    size_t bytes = static_cast<size_t>(sort->normalized_bytes);
    return compare_key_bytes(a, bytes, b, bytes);
  }
  for (int i = 0; i < sort->key_count; ++i) {
    int32_t offset = sort->key_slot_offset[i];
    int order = compare_slot_keys(a + offset, b + offset);
    if (order != 0) {
      if (sort->keys[i].flags & SORT_KEY_DESCENDING) return order < 0 ? 1 : -1;
      return order;
    }
  }
  return 0;
}

int64_t sort_slot_record_number(const SortWork* sort, const unsigned char* slot) {
  int64_t number = 0;
  std::memcpy(&number, slot + sort->key_bytes, sizeof number);
  return number;
}

namespace {

// Bytes of slots in one chunk of a large in-memory sort (about a second-level cache).
constexpr size_t CHUNK_BYTES = 512 * 1024;

// Whether all `count` slots at `slots` compare equal.
bool uniform(const SortWork* sort, const unsigned char* slots, size_t count) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  for (size_t i = 1; i < count; ++i)
    if (sort_compare_slots(sort, slots + (i - 1) * slot_size, slots + i * slot_size) != 0)
      return false;
  return true;
}

}  // namespace

size_t sort_chunk_slots(int32_t slot_size, int32_t record_length) {
  size_t by_slots = CHUNK_BYTES / static_cast<size_t>(slot_size);
  size_t by_records = CHUNK_BYTES / static_cast<size_t>(record_length);
  size_t chunk = by_slots < by_records ? by_slots : by_records;
  return chunk > 2 ? chunk : 2;
}

int sort_chunk(SortWork* sort, size_t chunk_index) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_length = static_cast<size_t>(sort->record_length);
  size_t chunk = sort->chunk_slots;
  if (!sort->chunk_records) {
    sort->chunk_records =
        static_cast<unsigned char*>(quill_mem_alloc(sort->pool, chunk * record_length));
    if (!sort->chunk_records) return sort_fail_memory(sort);
  }
  size_t first = chunk_index * chunk;
  size_t held = sort->fill - first < chunk ? sort->fill - first : chunk;
  unsigned char* slots = sort->run_buffer + first * slot_size;
  if (!uniform(sort, slots, held)) {
    RunSorter sorter{sort, slot_size, sort->scratch};
    sorter.sort_range(slots, held);
  }
  // The chunk's records (numbered first .. first + held - 1) follow its slots' new order, so
  // that reading takes them in sequence.
  unsigned char* gathered = sort->chunk_records;
  for (size_t i = 0; i < held; ++i) {
    unsigned char* slot = slots + i * slot_size;
    size_t number = static_cast<size_t>(sort_slot_record_number(sort, slot));
    std::memcpy(gathered + i * record_length, sort->record_area + number * record_length,
                record_length);
    int64_t renumbered = static_cast<int64_t>(first + i);
    std::memcpy(slot + sort->key_bytes, &renumbered, sizeof renumbered);
  }
  std::memcpy(sort->record_area + first * record_length, gathered, held * record_length);
  return SORT_OK;
}

int sort_run_buffer_in_chunks(SortWork* sort) {
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_length = static_cast<size_t>(sort->record_length);
  size_t chunk = sort->chunk_slots;
  if (sort->fill <= chunk) return sort_run_buffer(sort);
  if (sort_timed_out(sort)) return SORT_TIMEOUT;
  size_t count = (sort->fill + chunk - 1) / chunk;
  MemPool* pool = sort->pool;
  auto* sources = static_cast<SortSource*>(quill_mem_alloc(pool, count * sizeof(SortSource)));
  auto* losers = static_cast<int64_t*>(quill_mem_alloc(pool, count * sizeof(int64_t)));
  if (!sources || !losers) {
    quill_mem_free(pool, sources);
    quill_mem_free(pool, losers);
    return sort_fail_memory(sort);
  }
  for (size_t c = 0; c < count; ++c) {
    int status = sort_chunk(sort, c);
    if (status != SORT_OK) {
      quill_mem_free(pool, sources);
      quill_mem_free(pool, losers);
      return status;
    }
    size_t first = c * chunk;
    size_t held = sort->fill - first < chunk ? sort->fill - first : chunk;
    sources[c] = SortSource{sort->run_buffer + first * slot_size,
                            sort->record_area + first * record_length, held, 0, held == 0};
  }
  sort->chunks = SortTournament{sort, sources, static_cast<int64_t>(count), losers};
  sort_tournament_start(&sort->chunks);
  return SORT_OK;
}

int sort_run_buffer(SortWork* sort) {
  if (sort_timed_out(sort)) return SORT_TIMEOUT;
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  bool uniform = true;
  for (size_t i = 1; i < sort->fill && uniform; ++i) {
    const unsigned char* slot = sort->run_buffer + i * slot_size;
    uniform = sort_compare_slots(sort, slot - slot_size, slot) == 0;
  }
  if (uniform) return SORT_OK;
  RunSorter sorter{sort, slot_size, sort->scratch};
  sorter.sort_range(sort->run_buffer, sort->fill);
  return SORT_OK;
}
