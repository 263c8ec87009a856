// The direct-mapped record cache: record r lives in slot r % N. A dirty record is
// written to the result-set file only when another record needs its slot, so the
// file is created at the first eviction and small results never touch the disk.
#include <cstring>

#include "driver/odbc/cursor/cursor_internal.h"

namespace {

unsigned char* slot_bytes(RecordCache* cache, int slot) {
  return cache->records + static_cast<size_t>(slot) * cache->record_length;
}

// Makes slot `slot` free for another record: its dirty record goes to the file first.
bool write_back(RecordCache* cache, ErrorHeader* errors, int slot) {
  int64_t held = cache->held[slot];
  if (held < 0 || cache->clean[slot]) return true;
  if (cache->file.fd < 0 && rs_file_open(&cache->file, errors) < 0) return false;
  uint64_t offset = static_cast<uint64_t>(held) * cache->record_length;
  if (rs_file_write(&cache->file, errors, offset, slot_bytes(cache, slot), cache->record_length) <
      0)
    return false;
  cache->clean[slot] = true;
  return true;
}

}  // namespace

bool record_cache_init(RecordCache* cache, MemPool* pool, int slot_count, size_t record_length,
                       const char* directory) {
  cache->slot_count = slot_count < 1 ? 1 : slot_count;
  cache->record_length = record_length;
  cache->file.fd = -1;
  cache->file.name[0] = '\0';
  cache->file.directory = directory;
  size_t slots = static_cast<size_t>(cache->slot_count);
  if (record_length != 0 && slots > SIZE_MAX / record_length) return false;
  cache->records = static_cast<unsigned char*>(quill_mem_alloc(pool, slots * record_length));
  cache->held = static_cast<int64_t*>(quill_mem_alloc(pool, slots * sizeof(int64_t)));
  cache->clean = static_cast<bool*>(quill_mem_alloc(pool, slots * sizeof(bool)));
  if (!cache->records || !cache->held || !cache->clean) return false;
  for (size_t i = 0; i < slots; ++i) cache->held[i] = -1;
  return true;
}

unsigned char* record_cache_claim(RecordCache* cache, ErrorHeader* errors, int64_t record) {
  int slot = static_cast<int>(record % cache->slot_count);
  if (cache->held[slot] != record && !write_back(cache, errors, slot)) return nullptr;
  cache->held[slot] = record;
  cache->clean[slot] = false;
  return slot_bytes(cache, slot);
}

const unsigned char* record_cache_fetch(RecordCache* cache, ErrorHeader* errors, int64_t record) {
  int slot = static_cast<int>(record % cache->slot_count);
  if (cache->held[slot] == record) return slot_bytes(cache, slot);
  if (!write_back(cache, errors, slot)) return nullptr;
  uint64_t offset = static_cast<uint64_t>(record) * cache->record_length;
  if (rs_file_read(&cache->file, errors, offset, slot_bytes(cache, slot), cache->record_length) <
      0) {
    cache->held[slot] = -1;  // the slot's bytes are no longer any record's
    return nullptr;
  }
  cache->held[slot] = record;
  cache->clean[slot] = true;
  return slot_bytes(cache, slot);
}

void record_cache_close(RecordCache* cache) {
  rs_file_close(&cache->file);
}
