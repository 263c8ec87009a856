// Memory pools: every handle, statement tree and plan owns a pool; releasing a
// pool frees everything taken from it and from its child pools in one step.
// A shared pool takes a lock of its own around its block list and child list;
// releasing a pool needs that nobody else uses it or its children any more.
#pragma once

#include <cstddef>
#include <cstdint>

struct MemPool;

// Makes a pool, as a child of `parent` when not null (released with it). Null on failure.
// Such a pool serves one thread at a time (its owner's calls are serialised).
MemPool* quill_mem_alloc_handle(MemPool* parent);
// Makes a pool that several threads may allocate from, free into and hang child pools on at
// once (an environment's or a connection's); otherwise as quill_mem_alloc_handle.
MemPool* quill_mem_alloc_shared_handle(MemPool* parent);
// Takes `size` zeroed bytes from `pool`, aligned for any type. Null on failure.
void* quill_mem_alloc(MemPool* pool, size_t size);
// Grows or shrinks a block of `pool` (null `ptr` allocates); new bytes are zeroed. Null on failure.
void* quill_mem_realloc(MemPool* pool, void* ptr, size_t size);
// Returns one block to its pool early; null is ignored.
void quill_mem_free(MemPool* pool, void* ptr);
// Frees the pool, every block taken from it and every child pool.
void quill_mem_release_handle(MemPool* pool);
// Copies a NUL-terminated string (or `len` bytes when len >= 0) into the pool. Null on failure.
char* quill_mem_strdup(MemPool* pool, const char* text, ptrdiff_t len = -1);
// A zeroed record of `size` bytes whose first 32-bit field is `tag`. Null on failure.
void* newNode(size_t size, int32_t tag, MemPool* pool);
// Bracket an environment: the first init starts counting live pools, the last term stops.
void quill_mem_trace_init();
void quill_mem_trace_term();
// Number of pools currently alive in the process (for leak checks in tests).
long quill_mem_live_pools();
