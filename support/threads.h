// Threads, semaphores, the process-wide numbered locks and the background file
// closer of the support runtime.
//
// A statement in asynchronous mode owns one worker thread and two semaphores
// (work posted, work done); the calling thread polls the second one with a short
// time-out. Three numbered locks serialise process-wide state: 0 the SQL parser,
// 2 the literal parser, 4 the connection state checks (numbers 0..15 exist).
//
// On Linux a thread is a std::thread. The semaphores are counting semaphores
// built on std::mutex and std::condition_variable rather than
// std::counting_semaphore: libstdc++'s semaphore (GCC 12) can lose a wake-up
// under contention (GCC PR 104928 / PR 98033), which would hang a worker.
#pragma once

struct QuillThread;
struct QuillSemaphore;

// Starts the thread support; reference counted, so an environment can call
// odbc_thread_init(1) and a nested user can call it again. `mode` is kept for
// the interface (the callers pass 1) and has no other effect. Returns 0.
int odbc_thread_init(int mode);
// Undoes one odbc_thread_init; extra calls are harmless. Returns 0.
int thread_term(int mode);
// Number of odbc_thread_init calls not yet matched by thread_term (for tests).
int thread_init_count();

// Creates two semaphores at count 0 (`*work_posted`, `*work_done`) and starts a
// thread running routine(argument). Returns 0 on success; on failure returns -1
// and sets the three outputs to null (nothing is left allocated).
int odbc_thread_create(QuillThread** thread, void (*routine)(void* argument), void* argument,
                       QuillSemaphore** work_posted, QuillSemaphore** work_done);
// Takes one count of `semaphore`, waiting at most `milliseconds` (-1, or any
// negative value, waits for ever; 0 only tries). Returns 0 when a count was
// taken, 1 on time-out, -1 when `semaphore` is null.
int thread_wait_on_semaphore(QuillSemaphore* semaphore, int milliseconds);
// Posts one count: releases one waiter, or lets the next wait return at once.
void thread_clear_semaphore(QuillSemaphore* semaphore);
// Waits for the thread's routine to return, then frees the thread record. A
// thread that cleans itself up is detached instead of joined. Null is ignored.
void thread_cleanup(QuillThread* thread);
// Frees a semaphore; nobody may be waiting on it. Null is ignored.
void thread_close_semaphore(QuillSemaphore* semaphore);

// Process-wide numbered locks 0..15 (0 SQL parser, 2 literal parser, 4
// connection states). They are plain, NOT re-entrant mutexes: a thread that
// enters a lock it already holds deadlocks, and only the holder may exit it.
// `unit` and `line` name the caller and are kept while the lock is held, to
// help a debugger find the holder. Numbers outside 0..15 are ignored.
constexpr int QUILL_MUTEX_COUNT = 16;
constexpr int QUILL_MUTEX_SQL_PARSER = 0;
constexpr int QUILL_MUTEX_LITERAL_PARSER = 2;
constexpr int QUILL_MUTEX_CONNECTION_STATE = 4;
void mutex_entry(int number, const char* unit = nullptr, int line = 0);
void mutex_exit(int number);

// The calling thread's kernel thread id (gettid), as used in log records.
unsigned long thread_current_id();

// Closes `fd`: at once when it holds less than 64 MB, else on the process's background
// closer thread, so that the caller is not held while the kernel releases a large deleted
// work file (a tenth of a second for some hundreds of megabytes on some file systems). The
// closer empties its queue before the library is unloaded or the process ends; when it
// cannot start, `fd` is closed at once. Negative values are ignored.
void thread_close_later(int fd);
