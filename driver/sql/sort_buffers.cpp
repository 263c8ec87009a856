// The large buffers of a sort (the run buffer, its scratch and the record area) are mapped
// straight from the system rather than taken from the pool: their pages only become resident
// as slots and records are written, so a sort of a few rows costs a few pages and not the
// whole budget. Past its first few megabytes a large buffer asks for huge pages, so that a
// sort of millions of rows does not fault in every 4 KB page one by one.
#include <sys/mman.h>

#include <cstdint>

#include "driver/sql/sort_internal.h"

namespace {

// The part of a buffer that always keeps small pages (a small sort commits no more), and the
// huge page size the rest is aligned to.
constexpr size_t SMALL_PAGE_PART = 4 * 1024 * 1024;
constexpr size_t HUGE_PAGE_SIZE = 2 * 1024 * 1024;

}  // namespace

unsigned char* sort_map_buffer(size_t size) {
  if (size == 0) return nullptr;
  void* block = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (block == MAP_FAILED) return nullptr;
  auto* bytes = static_cast<unsigned char*>(block);
  uintptr_t start = reinterpret_cast<uintptr_t>(bytes) + SMALL_PAGE_PART;
  start = (start + HUGE_PAGE_SIZE - 1) / HUGE_PAGE_SIZE * HUGE_PAGE_SIZE;
  uintptr_t end = reinterpret_cast<uintptr_t>(bytes) + size;
  // Only advice: without transparent huge pages the buffer simply keeps small pages.
  if (end > start + HUGE_PAGE_SIZE)
    madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  return bytes;
}

void sort_unmap_buffer(unsigned char* buffer, size_t size) {
  if (buffer) munmap(buffer, size);
}

void sort_release_run_buffers(SortWork* sort) {
  size_t run_bytes = sort->slots_per_run * static_cast<size_t>(sort->slot_size);
  sort_unmap_buffer(sort->run_buffer, run_bytes);
  sort_unmap_buffer(sort->scratch, 2 * run_bytes);
  sort_unmap_buffer(sort->record_area,
                    sort->records_per_run * static_cast<size_t>(sort->record_length));
  sort->run_buffer = nullptr;
  sort->scratch = nullptr;
  sort->record_area = nullptr;
}
