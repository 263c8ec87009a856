// Ordering of key slots and the in-memory sort of a run: a stable, recursive top-down merge
// sort through the scratch buffer, skipped when every slot of the run compares equal.
#include <cstring>

#include "driver/sql/sort_internal.h"
#include "support/dm.h"

namespace {

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
        std::memcpy(scratch, slots, slot_size);
        std::memcpy(slots, slots + slot_size, slot_size);
        std::memcpy(slots + slot_size, scratch, slot_size);
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
        std::memcpy(out, left, slot_size);
        left += slot_size;
      } else {
        std::memcpy(out, right, slot_size);
        right += slot_size;
      }
      out += slot_size;
    }
    std::memcpy(out, left, static_cast<size_t>(left_end - left));
  }
};

}  // namespace

int sort_compare_slots(const SortWork* sort, const unsigned char* a, const unsigned char* b) {
  for (int i = 0; i < sort->key_count; ++i) {
    int32_t offset = sort->key_slot_offset[i];
    int order = compare_dm(a + offset, b + offset, 0);
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
