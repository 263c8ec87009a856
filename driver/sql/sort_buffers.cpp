// The two large buffers of a sort (the run buffer and its scratch) are mapped straight from
// the system rather than taken from the pool: their pages only become resident as slots are
// written, so a sort of a few rows costs a few pages and not the whole budget.
#include <sys/mman.h>

#include "driver/sql/sort_internal.h"

unsigned char* sort_map_buffer(size_t size) {
  if (size == 0) return nullptr;
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  return block == MAP_FAILED ? nullptr : static_cast<unsigned char*>(block);
}

void sort_unmap_buffer(unsigned char* buffer, size_t size) {
  if (buffer) munmap(buffer, size);
}

void sort_release_run_buffers(SortWork* sort) {
  size_t run_bytes = sort->slots_per_run * static_cast<size_t>(sort->slot_size);
  sort_unmap_buffer(sort->run_buffer, run_bytes);
  sort_unmap_buffer(sort->scratch, 2 * run_bytes);
  sort->run_buffer = nullptr;
  sort->scratch = nullptr;
}
