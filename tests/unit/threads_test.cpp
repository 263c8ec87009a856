// Worker threads with their two semaphores, semaphore time-outs, numbered locks
// and thread ids.
#include "support/threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

namespace {

// The async-statement protocol: the caller posts a command and waits for "done".
struct Worker {
  QuillSemaphore* work_posted = nullptr;
  QuillSemaphore* work_done = nullptr;
  std::atomic<int> command{0};
  std::atomic<int> handled{0};
  std::atomic<unsigned long> tid{0};
};

void worker_routine(void* argument) {
  auto* worker = static_cast<Worker*>(argument);
  worker->tid = thread_current_id();
  for (;;) {
    if (thread_wait_on_semaphore(worker->work_posted, -1) != 0) return;
    int command = worker->command.load();
    worker->handled.fetch_add(1);
    thread_clear_semaphore(worker->work_done);
    if (command == 16) return;  // stop
  }
}

TEST(ThreadsInit, NestsAndToleratesExtraTerm) {
  int base = thread_init_count();
  EXPECT_EQ(odbc_thread_init(1), 0);
  EXPECT_EQ(odbc_thread_init(1), 0);
  EXPECT_EQ(thread_init_count(), base + 2);
  EXPECT_EQ(thread_term(1), 0);
  EXPECT_EQ(thread_term(1), 0);
  EXPECT_EQ(thread_init_count(), base);
  if (base == 0) {
    EXPECT_EQ(thread_term(1), 0);
    EXPECT_EQ(thread_init_count(), 0);
  }
}

TEST(ThreadsWorker, HandshakeThroughBothSemaphores) {
  Worker worker;
  QuillThread* thread = nullptr;
  ASSERT_EQ(
      odbc_thread_create(&thread, worker_routine, &worker, &worker.work_posted, &worker.work_done),
      0);
  ASSERT_NE(thread, nullptr);
  ASSERT_NE(worker.work_posted, nullptr);
  ASSERT_NE(worker.work_done, nullptr);
  // Both semaphores start at zero: nothing to take yet.
  EXPECT_NE(thread_wait_on_semaphore(worker.work_done, 0), 0);

  for (int round = 1; round <= 3; ++round) {
    worker.command = 1;
    thread_clear_semaphore(worker.work_posted);
    // The caller polls with short waits, as an asynchronous statement does.
    while (thread_wait_on_semaphore(worker.work_done, 100) != 0) {
    }
    EXPECT_EQ(worker.handled.load(), round);
  }
  worker.command = 16;
  thread_clear_semaphore(worker.work_posted);
  EXPECT_EQ(thread_wait_on_semaphore(worker.work_done, -1), 0);
  thread_cleanup(thread);
  EXPECT_NE(worker.tid.load(), thread_current_id());
  thread_close_semaphore(worker.work_posted);
  thread_close_semaphore(worker.work_done);
}

TEST(ThreadsSemaphore, CountsPostsAndTimesOut) {
  Worker worker;
  QuillThread* thread = nullptr;
  ASSERT_EQ(
      odbc_thread_create(&thread, worker_routine, &worker, &worker.work_posted, &worker.work_done),
      0);
  // Posts made before anyone waits are kept: two posts give two successful waits.
  thread_clear_semaphore(worker.work_done);
  thread_clear_semaphore(worker.work_done);
  EXPECT_EQ(thread_wait_on_semaphore(worker.work_done, 0), 0);
  EXPECT_EQ(thread_wait_on_semaphore(worker.work_done, 10), 0);
  EXPECT_NE(thread_wait_on_semaphore(worker.work_done, 10), 0);
  EXPECT_NE(thread_wait_on_semaphore(worker.work_done, 0), 0);

  worker.command = 16;
  thread_clear_semaphore(worker.work_posted);
  thread_cleanup(thread);  // joins: the routine has returned afterwards
  EXPECT_EQ(worker.handled.load(), 1);
  thread_close_semaphore(worker.work_posted);
  thread_close_semaphore(worker.work_done);
}

TEST(ThreadsSemaphore, BadArgumentsAreRefused) {
  EXPECT_EQ(thread_wait_on_semaphore(nullptr, 0), -1);
  thread_clear_semaphore(nullptr);
  thread_close_semaphore(nullptr);
  thread_cleanup(nullptr);
  QuillThread* thread = reinterpret_cast<QuillThread*>(1);
  QuillSemaphore* a = reinterpret_cast<QuillSemaphore*>(1);
  QuillSemaphore* b = reinterpret_cast<QuillSemaphore*>(1);
  EXPECT_EQ(odbc_thread_create(&thread, nullptr, nullptr, &a, &b), -1);
  EXPECT_EQ(thread, nullptr);
  EXPECT_EQ(a, nullptr);
  EXPECT_EQ(b, nullptr);
}

TEST(ThreadsSemaphore, ManyProducersNoLostWakeups) {
  Worker worker;
  QuillThread* thread = nullptr;
  ASSERT_EQ(
      odbc_thread_create(&thread, worker_routine, &worker, &worker.work_posted, &worker.work_done),
      0);
  QuillSemaphore* shared = worker.work_done;
  constexpr int kProducers = 4, kPosts = 2000;
  std::vector<std::thread> producers;
  for (int i = 0; i < kProducers; ++i)
    producers.emplace_back([shared] {
      for (int j = 0; j < kPosts; ++j) thread_clear_semaphore(shared);
    });
  for (int taken = 0; taken < kProducers * kPosts; ++taken)
    ASSERT_EQ(thread_wait_on_semaphore(shared, -1), 0);
  for (auto& producer : producers) producer.join();
  EXPECT_NE(thread_wait_on_semaphore(shared, 0), 0);

  worker.command = 16;
  thread_clear_semaphore(worker.work_posted);
  thread_cleanup(thread);
  thread_close_semaphore(worker.work_posted);
  thread_close_semaphore(worker.work_done);
}

TEST(ThreadsMutex, NumberedLocksExcludeEachOther) {
  // Unprotected read-modify-write: only the lock keeps the count exact.
  long counter = 0;
  constexpr int kThreads = 4, kRounds = 5000;
  std::vector<std::thread> threads;
  for (int i = 0; i < kThreads; ++i)
    threads.emplace_back([&counter] {
      for (int j = 0; j < kRounds; ++j) {
        mutex_entry(QUILL_MUTEX_CONNECTION_STATE, __FILE__, __LINE__);
        long seen = counter;
        std::this_thread::yield();
        counter = seen + 1;
        mutex_exit(QUILL_MUTEX_CONNECTION_STATE);
      }
    });
  for (auto& t : threads) t.join();
  EXPECT_EQ(counter, static_cast<long>(kThreads) * kRounds);
}

}  // namespace
