// Asynchronous execution: the statement's worker thread runs one posted piece
// of work at a time while the application polls the call that started it;
// each poll waits up to 100 ms for the work to finish. While work runs, only
// the worker touches the statement's state and diagnostics: the application's
// other calls are refused by the state check before they read either.
#include <atomic>

#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"
#include "support/threads.h"

namespace {

// Command that tells a statement's worker thread to end.
constexpr int kWorkerStop = 16;
// Command that runs the posted routine.
constexpr int kWorkerRun = 1;
// How long a poll waits for the worker.
constexpr int kPollMilliseconds = 100;

void worker_loop(void* argument) {
  auto* stmt = static_cast<QuillStmt*>(argument);
  for (;;) {
    thread_wait_on_semaphore(stmt->work_posted, -1);
    if (stmt->async_command == kWorkerStop) return;
    stmt->async_result = stmt->async_work(stmt);
    thread_clear_semaphore(stmt->work_done);
  }
}

}  // namespace

SQLRETURN stmt_async_poll(QuillStmt* stmt, int function, bool* handled) {
  *handled = stmt->async_function != 0;
  if (!*handled) return SQL_SUCCESS;
  if (stmt->async_function != function) {
    SetupErrorHeader(stmt->errors, 0);
    return post_call_error(stmt->errors, "HY010", MSG_SEQUENCE);
  }
  if (thread_wait_on_semaphore(stmt->work_done, kPollMilliseconds) != 0) return SQL_STILL_EXECUTING;
  // The work applied its own state transition; its diagnostics are on the statement.
  stmt->async_function = 0;
  return stmt->async_result;
}

SQLRETURN stmt_async_start(QuillStmt* stmt, int function, SQLRETURN (*work)(QuillStmt*),
                           bool* handled) {
  *handled = stmt->attrs.async_enable == SQL_ASYNC_ENABLE_ON;
  if (!*handled) return SQL_SUCCESS;
  if (!stmt->worker && odbc_thread_create(&stmt->worker, worker_loop, stmt, &stmt->work_posted,
                                          &stmt->work_done) != 0)
    return post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR,
                           "could not start a worker thread");
  stmt->async_saved_state = stmt->state;
  stmt->async_function = function;
  stmt->async_result = SQL_ERROR;
  stmt->async_command = kWorkerRun;
  stmt->async_work = work;
  std::atomic_ref<int>(stmt->cancel_requested).store(0);
  thread_clear_semaphore(stmt->work_posted);
  return SQL_STILL_EXECUTING;
}

void stmt_async_stop(QuillStmt* stmt) {
  if (!stmt->worker) return;
  // A running piece of work ends first (it sees the cancellation at its next row).
  if (stmt->async_function != 0) {
    std::atomic_ref<int>(stmt->cancel_requested).store(1);
    thread_wait_on_semaphore(stmt->work_done, -1);
    stmt->async_function = 0;
  }
  stmt->async_command = kWorkerStop;
  thread_clear_semaphore(stmt->work_posted);
  thread_cleanup(stmt->worker);
  thread_close_semaphore(stmt->work_posted);
  thread_close_semaphore(stmt->work_done);
  stmt->worker = nullptr;
  stmt->work_posted = stmt->work_done = nullptr;
}
