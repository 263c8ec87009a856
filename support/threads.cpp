// Threads on std::thread, counting semaphores on a mutex and condition
// variable, and sixteen process-wide std::mutex locks.
#include "support/threads.h"

#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>
#include <thread>

struct QuillThread {
  std::thread thread;
};

struct QuillSemaphore {
  std::mutex mutex;
  std::condition_variable posted;
  long count = 0;
};

namespace {

std::mutex g_init_mutex;
int g_init_count = 0;

struct NumberedLock {
  std::mutex mutex;
  // Who holds the lock (for debuggers); written and read only by the holder.
  const char* unit = nullptr;
  int line = 0;
};

NumberedLock g_locks[QUILL_MUTEX_COUNT];

}  // namespace

int odbc_thread_init(int /*mode*/) {
  std::lock_guard<std::mutex> guard(g_init_mutex);
  ++g_init_count;
  return 0;
}

int thread_term(int /*mode*/) {
  std::lock_guard<std::mutex> guard(g_init_mutex);
  if (g_init_count > 0) --g_init_count;
  return 0;
}

int thread_init_count() {
  std::lock_guard<std::mutex> guard(g_init_mutex);
  return g_init_count;
}

int odbc_thread_create(QuillThread** thread, void (*routine)(void* argument), void* argument,
                       QuillSemaphore** work_posted, QuillSemaphore** work_done) {
  if (thread) *thread = nullptr;
  if (work_posted) *work_posted = nullptr;
  if (work_done) *work_done = nullptr;
  if (!thread || !routine || !work_posted || !work_done) return -1;

  auto* posted = new (std::nothrow) QuillSemaphore;
  auto* done = new (std::nothrow) QuillSemaphore;
  auto* record = new (std::nothrow) QuillThread;
  if (!posted || !done || !record) {
    delete posted;
    delete done;
    delete record;
    return -1;
  }
  // The semaphores are published before the thread starts, so the routine may
  // read them through its argument at once.
  *work_posted = posted;
  *work_done = done;
  try {
    record->thread = std::thread(routine, argument);
  } catch (...) {
    *work_posted = nullptr;
    *work_done = nullptr;
    delete posted;
    delete done;
    delete record;
    return -1;
  }
  *thread = record;
  return 0;
}

int thread_wait_on_semaphore(QuillSemaphore* semaphore, int milliseconds) {
  if (!semaphore) return -1;
  std::unique_lock<std::mutex> lock(semaphore->mutex);
  if (milliseconds < 0) {
    semaphore->posted.wait(lock, [semaphore] { return semaphore->count > 0; });
  } else if (!semaphore->posted.wait_for(lock, std::chrono::milliseconds(milliseconds),
                                         [semaphore] { return semaphore->count > 0; })) {
    return 1;
  }
  --semaphore->count;
  return 0;
}

void thread_clear_semaphore(QuillSemaphore* semaphore) {
  if (!semaphore) return;
  {
    std::lock_guard<std::mutex> guard(semaphore->mutex);
    ++semaphore->count;
  }
  semaphore->posted.notify_one();
}

void thread_cleanup(QuillThread* thread) {
  if (!thread) return;
  if (thread->thread.joinable()) {
    if (thread->thread.get_id() == std::this_thread::get_id())
      thread->thread.detach();
    else
      thread->thread.join();
  }
  delete thread;
}

void thread_close_semaphore(QuillSemaphore* semaphore) {
  delete semaphore;
}

void mutex_entry(int number, const char* unit, int line) {
  if (number < 0 || number >= QUILL_MUTEX_COUNT) return;
  NumberedLock& lock = g_locks[number];
  lock.mutex.lock();
  lock.unit = unit;
  lock.line = line;
}

void mutex_exit(int number) {
  if (number < 0 || number >= QUILL_MUTEX_COUNT) return;
  NumberedLock& lock = g_locks[number];
  lock.unit = nullptr;
  lock.line = 0;
  lock.mutex.unlock();
}

unsigned long thread_current_id() {
  return static_cast<unsigned long>(::syscall(SYS_gettid));
}
