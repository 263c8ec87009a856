// The merge of a spilled sort: all runs at once in one pass. Each run reads its slots and,
// beside them, its records (stored in the same order) ahead in blocks; a tree of losers over
// the runs' head slots picks the next one with one comparison per level (the earlier run wins
// ties, so equal keys keep their arrival order), and its record is written to the merge file
// through a small buffer. A
// unique sort writes a record only when its keys differ from the last written.
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/sql/sort_internal.h"
#include "support/threads.h"

namespace {

// The runs being merged: their blocks read ahead and the tree of losers over them.
struct Merge {
  SortTournament tournament;  // one source per run
  size_t ahead;               // entries each block holds
};

// Reads the next block of run `run` (slots and records): SORT_OK or a file error named
// `seek_step` when the run's offset is refused (EINVAL, EOVERFLOW), else `read_step`.
int load_block(Merge* merge, int64_t run, const char* seek_step, const char* read_step) {
  SortWork* sort = merge->tournament.sort;
  SortSource* source = &merge->tournament.sources[run];
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_length = static_cast<size_t>(sort->record_length);
  size_t count = merge->ahead;
  if (static_cast<uint64_t>(sort->run_remaining[run]) < count)
    count = static_cast<size_t>(sort->run_remaining[run]);
  int64_t offset = sort->run_offsets[run];
  int error = sort_read_at(sort->run_fd, source->slots, count * slot_size, offset);
  // The run's records lie at the same position in the record file as its slots in the run
  // file: record n beside slot n.
  if (error == 0)
    error = sort_read_at(
        sort->records.fd, source->records, count * record_length,
        offset / static_cast<int64_t>(slot_size) * static_cast<int64_t>(record_length));
  if (error == EINVAL || error == EOVERFLOW) return sort_fail_os(sort, seek_step, error);
  if (error != 0) return sort_fail_os(sort, read_step, error);
  sort->run_offsets[run] += static_cast<int64_t>(count * slot_size);
  sort->run_remaining[run] -= static_cast<int64_t>(count);
  source->held = count;
  source->next = 0;
  source->exhausted = count == 0;
  return SORT_OK;
}

// Appends one record to the merge file; `step` names the write in an error text.
int write_record(SortWork* sort, SortWriter* writer, const unsigned char* record,
                 const char* step) {
  size_t record_length = static_cast<size_t>(sort->record_length);
  if (writer->used + record_length > writer->capacity) {
    int error = sort_write_at(writer->fd, writer->buffer, writer->used, writer->offset);
    if (error != 0) return sort_fail_os(sort, step, error);
    writer->offset += static_cast<int64_t>(writer->used);
    writer->used = 0;
  }
  std::memcpy(writer->buffer + writer->used, record, record_length);
  writer->used += record_length;
  return SORT_OK;
}

// The merge loop proper, over blocks already loaded and a tree already built.
int merge_loop(Merge* merge, SortWriter* writer) {
  SortWork* sort = merge->tournament.sort;
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_length = static_cast<size_t>(sort->record_length);
  int64_t written = 0;
  for (;;) {
    if (sort_timed_out(sort)) return SORT_TIMEOUT;
    int64_t run = merge->tournament.losers[0];
    SortSource* source = &merge->tournament.sources[run];
    if (source->exhausted) break;
    const unsigned char* head = source->slots + source->next * slot_size;
    const unsigned char* record = source->records + source->next * record_length;
    int status = SORT_OK;
    if (!sort->unique) {
      status = write_record(sort, writer, record, "MERGEWRITE3");
      ++written;
    } else if (!sort->have_last_key) {
      status = write_record(sort, writer, record, "MERGEWRITE2");
      ++written;
    } else if (sort_compare_slots(sort, head, sort->last_key) != 0) {
      status = write_record(sort, writer, record, "MERGEWRITE1");
      ++written;
    }
    if (status != SORT_OK) return status;
    if (sort->unique) {
      std::memcpy(sort->last_key, head, slot_size);
      sort->have_last_key = true;
    }
    if (++source->next == source->held) {
      if (sort->run_remaining[run] > 0) {
        status = load_block(merge, run, "MERGESEEK1", "MERGEREAD1");
        if (status != SORT_OK) return status;
      } else {
        source->exhausted = true;
      }
    }
    sort_tournament_replay(&merge->tournament, run);
  }
  if (writer->used > 0) {
    int error = sort_write_at(writer->fd, writer->buffer, writer->used, writer->offset);
    if (error != 0) return sort_fail_os(sort, sort->unique ? "MERGEWRITE1" : "MERGEWRITE3", error);
  }
  sort->record_count = written;
  sort->have_last_key = false;
  return SORT_OK;
}

// Entries each run reads ahead: twice the budget shared by the runs (the run buffers and the
// record area are given back before the merge), at least a few each.
size_t entries_ahead(const SortWork* sort, size_t runs) {
  size_t entry = static_cast<size_t>(sort->slot_size) + static_cast<size_t>(sort->record_length);
  size_t budget = sort_memory_budget(sort->context.work_mem_size);
  size_t share = (budget > SIZE_MAX / 2 ? budget : 2 * budget) / runs / entry;
  return share > SORT_MERGE_MIN_AHEAD ? share : SORT_MERGE_MIN_AHEAD;
}

}  // namespace

int sort_merge_runs(SortWork* sort) {
  size_t runs = static_cast<size_t>(sort->run_count);
  size_t slot_size = static_cast<size_t>(sort->slot_size);
  size_t record_length = static_cast<size_t>(sort->record_length);
  Merge merge{{sort, nullptr, static_cast<int64_t>(runs), nullptr}, entries_ahead(sort, runs)};
  SortTournament* tournament = &merge.tournament;
  size_t block_bytes = merge.ahead * (slot_size + record_length);
  int status = SORT_OK;
  if (block_bytes / (slot_size + record_length) != merge.ahead || runs > SIZE_MAX / block_bytes)
    status = sort_fail_memory(sort);
  // One mapping holds every run's blocks, so that its pages go back whole at the end.
  unsigned char* blocks = status == SORT_OK ? sort_map_buffer(runs * block_bytes) : nullptr;
  tournament->sources =
      static_cast<SortSource*>(quill_mem_alloc(sort->pool, runs * sizeof(SortSource)));
  tournament->losers = static_cast<int64_t*>(quill_mem_alloc(sort->pool, runs * sizeof(int64_t)));
  size_t capacity = SORT_IO_BUFFER_SIZE / record_length * record_length;
  if (capacity == 0) capacity = record_length;
  auto* buffer = static_cast<unsigned char*>(quill_mem_alloc(sort->pool, capacity));
  if (status == SORT_OK && (!blocks || !tournament->sources || !tournament->losers || !buffer))
    status = sort_fail_memory(sort);
  if (status == SORT_OK) {
    sort->merge_fd = sort_create_work_file(sort->context, ".mrg");
    if (sort->merge_fd < 0) status = sort_fail_os(sort, "MERGEWRITE3", errno);
  }
  for (size_t run = 0; status == SORT_OK && run < runs; ++run) {
    unsigned char* block = blocks + run * block_bytes;
    tournament->sources[run] = SortSource{block, block + merge.ahead * slot_size, 0, 0, true};
    // Runs are never empty, so every run has a first block.
    status = load_block(&merge, static_cast<int64_t>(run), "FILESEEK", "MERGEREAD");
  }
  if (status == SORT_OK) {
    sort_tournament_start(tournament);
    SortWriter writer{sort->merge_fd, 0, buffer, 0, capacity};
    status = merge_loop(&merge, &writer);
  }
  sort_unmap_buffer(blocks, runs * block_bytes);
  quill_mem_free(sort->pool, tournament->sources);
  quill_mem_free(sort->pool, tournament->losers);
  // The write buffer becomes the read-ahead buffer of the merge file.
  sort->merge_chunk = buffer;
  sort->merge_chunk_capacity = capacity;
  // The runs and their records are no longer needed once merged.
  if (status == SORT_OK) {
    thread_close_later(sort->run_fd);
    sort->run_fd = -1;
    sort_records_close(&sort->records);
  }
  sort->merge_read_offset = 0;
  return status;
}
