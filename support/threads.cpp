// Threads on std::thread, counting semaphores on a mutex and condition
// variable, sixteen process-wide std::mutex locks, and a background thread that
// closes work files.
#include "support/threads.h"

#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <deque>
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

// Closes descriptors handed to it on a thread of its own, started on first use. Its
// destructor (at process exit, or when the library holding it is unloaded) closes what is
// still queued and joins the thread, so no code of the library runs after that.
class FileCloser {
 public:
  ~FileCloser() {
    {
      std::lock_guard<std::mutex> guard(mutex_);
      stopping_ = true;
    }
    queued_.notify_one();
    if (thread_.joinable()) thread_.join();
  }

  // Queues `fd`; closes it at once when the thread or the queue cannot grow.
  void close_later(int fd) {
    try {
      std::lock_guard<std::mutex> guard(mutex_);
      if (!stopping_) {
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
        fds_.push_back(fd);
        queued_.notify_one();
        return;
      }
    } catch (...) {  // no thread or no memory
    }
    ::close(fd);
  }

 private:
  // The closer thread: closes queued descriptors until told to stop with an empty queue.
  void run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
      queued_.wait(lock, [this] { return stopping_ || !fds_.empty(); });
      if (fds_.empty()) return;
      int fd = fds_.front();
      fds_.pop_front();
      lock.unlock();
      ::close(fd);
      lock.lock();
    }
  }

  std::mutex mutex_;                // guards the fields below
  std::condition_variable queued_;  // signalled when a descriptor is queued or at the end
  std::deque<int> fds_;             // descriptors waiting to be closed
  bool stopping_ = false;           // the destructor runs: close what is left, then end
  std::thread thread_;              // the closer, once started
};

FileCloser g_file_closer;

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

void thread_close_later(int fd) {
  if (fd < 0) return;
  constexpr long long kLargeFileBytes = 64ll << 20;
  struct stat info;
  if (fstat(fd, &info) == 0 && static_cast<long long>(info.st_blocks) * 512 >= kLargeFileBytes)
    g_file_closer.close_later(fd);
  else
    ::close(fd);
}
