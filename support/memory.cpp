// Memory pools built on malloc: each block carries a header that links it into
// its pool, so a block can be freed alone and a pool released as a whole.
#include "support/memory.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

namespace {

// Header placed before every block; 32 bytes keeps the payload 16-byte aligned.
struct alignas(16) BlockHeader {
  BlockHeader* prev;  // previous block of the same pool, null at the head
  BlockHeader* next;  // next block of the same pool
  MemPool* owner;     // pool the block belongs to, checked on free
  size_t size;        // payload bytes
};

std::atomic<long> g_live_pools{0};
std::atomic<int> g_trace_depth{0};

}  // namespace

struct MemPool {
  MemPool* parent;        // pool that releases this one, or null
  MemPool* first_child;   // child pools, released with this one
  MemPool* next_sibling;  // next child of the same parent
  MemPool* prev_sibling;  // previous child of the same parent
  BlockHeader* blocks;    // blocks taken from this pool
  std::mutex* lock;       // guards `blocks` and `first_child` of a shared pool; null otherwise
};

namespace {

// Holds a shared pool's lock for its lifetime; does nothing for a private pool.
class PoolGuard {
 public:
  explicit PoolGuard(MemPool* pool) : lock_(pool ? pool->lock : nullptr) {
    if (lock_) lock_->lock();
  }
  ~PoolGuard() {
    if (lock_) lock_->unlock();
  }
  PoolGuard(const PoolGuard&) = delete;
  PoolGuard& operator=(const PoolGuard&) = delete;

 private:
  std::mutex* lock_;  // the lock held, or null
};

void unlink_from_parent(MemPool* pool) {
  if (!pool->parent) return;
  PoolGuard guard(pool->parent);
  if (pool->prev_sibling)
    pool->prev_sibling->next_sibling = pool->next_sibling;
  else
    pool->parent->first_child = pool->next_sibling;
  if (pool->next_sibling) pool->next_sibling->prev_sibling = pool->prev_sibling;
  pool->parent = nullptr;
}

void release_tree(MemPool* pool) {
  while (pool->first_child) {
    MemPool* child = pool->first_child;
    pool->first_child = child->next_sibling;
    release_tree(child);
  }
  BlockHeader* b = pool->blocks;
  while (b) {
    BlockHeader* next = b->next;
    std::free(b);
    b = next;
  }
  delete pool->lock;
  std::free(pool);
  g_live_pools.fetch_sub(1, std::memory_order_relaxed);
}

BlockHeader* header_of(void* ptr) {
  return static_cast<BlockHeader*>(ptr) - 1;
}

// A fresh pool hung on `parent`; `shared` gives it a lock of its own.
MemPool* make_pool(MemPool* parent, bool shared) {
  auto* pool = static_cast<MemPool*>(std::calloc(1, sizeof(MemPool)));
  if (!pool) return nullptr;
  if (shared) {
    pool->lock = new (std::nothrow) std::mutex;
    if (!pool->lock) {
      std::free(pool);
      return nullptr;
    }
  }
  g_live_pools.fetch_add(1, std::memory_order_relaxed);
  if (parent) {
    PoolGuard guard(parent);
    pool->parent = parent;
    pool->next_sibling = parent->first_child;
    if (parent->first_child) parent->first_child->prev_sibling = pool;
    parent->first_child = pool;
  }
  return pool;
}

}  // namespace

MemPool* quill_mem_alloc_handle(MemPool* parent) {
  return make_pool(parent, false);
}

MemPool* quill_mem_alloc_shared_handle(MemPool* parent) {
  return make_pool(parent, true);
}

void* quill_mem_alloc(MemPool* pool, size_t size) {
  if (!pool || size > (SIZE_MAX / 2)) return nullptr;
  auto* b = static_cast<BlockHeader*>(std::calloc(1, sizeof(BlockHeader) + size));
  if (!b) return nullptr;
  b->owner = pool;
  b->size = size;
  PoolGuard guard(pool);
  b->next = pool->blocks;
  if (pool->blocks) pool->blocks->prev = b;
  pool->blocks = b;
  return b + 1;
}

void* quill_mem_realloc(MemPool* pool, void* ptr, size_t size) {
  if (!ptr) return quill_mem_alloc(pool, size);
  BlockHeader* old = header_of(ptr);
  if (old->owner != pool) return nullptr;
  void* fresh = quill_mem_alloc(pool, size);
  if (!fresh) return nullptr;
  std::memcpy(fresh, ptr, old->size < size ? old->size : size);
  quill_mem_free(pool, ptr);
  return fresh;
}

void quill_mem_free(MemPool* pool, void* ptr) {
  if (!ptr || !pool) return;
  BlockHeader* b = header_of(ptr);
  if (b->owner != pool) return;  // not ours: leave it to its own pool's release
  {
    PoolGuard guard(pool);
    if (b->prev)
      b->prev->next = b->next;
    else
      pool->blocks = b->next;
    if (b->next) b->next->prev = b->prev;
  }
  std::free(b);
}

void quill_mem_release_handle(MemPool* pool) {
  if (!pool) return;
  unlink_from_parent(pool);
  release_tree(pool);
}

char* quill_mem_strdup(MemPool* pool, const char* text, ptrdiff_t len) {
  if (!text) return nullptr;
  size_t n = len >= 0 ? static_cast<size_t>(len) : std::strlen(text);
  auto* out = static_cast<char*>(quill_mem_alloc(pool, n + 1));
  if (!out) return nullptr;
  std::memcpy(out, text, n);
  out[n] = '\0';
  return out;
}

void* newNode(size_t size, int32_t tag, MemPool* pool) {
  if (size < sizeof(int32_t)) size = sizeof(int32_t);
  void* node = quill_mem_alloc(pool, size);
  if (node) std::memcpy(node, &tag, sizeof tag);
  return node;
}

void quill_mem_trace_init() {
  g_trace_depth.fetch_add(1);
}
void quill_mem_trace_term() {
  g_trace_depth.fetch_sub(1);
}
long quill_mem_live_pools() {
  return g_live_pools.load();
}
