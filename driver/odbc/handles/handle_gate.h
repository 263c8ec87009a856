// Call gates of the handles. Every exported function holds the gate of the handle
// it works on for the length of the call, so that calls on one handle run one at a
// time while different handles run in parallel. A statement's call (and a call on
// one of its implicit descriptors) also counts on its connection, so that the
// connection is not disconnected or freed under it. SQLCancel reaches a statement whose gate
// another thread holds, and the free paths refuse a handle that another thread is using.
//
// Order: a statement's gate may be held while its connection's gate is taken
// (INFO_SCHEMA scans call SQLGetInfo); a connection's gate is never held while
// waiting for a statement's (disconnecting and freeing count the statements'
// calls instead), and the `members` locks are taken last.
#pragma once

#include <sql.h>

#include <atomic>
#include <mutex>
#include <thread>

struct QuillStmt;

struct HandleGate {
  std::mutex calls;                    // held by the thread inside a call on the handle
  std::mutex state;                    // guards `busy`, so SQLCancel sees a call whole
  bool busy = false;                   // a call holds `calls` (changed under `state`)
  bool waited = false;                 // that call found `calls` taken when it arrived
  bool retired = false;                // that call freed the handle: the gate goes with it
  std::atomic<std::thread::id> owner;  // the thread holding `calls`
  std::atomic<int> users{0};           // threads inside, waiting to enter, or cancelling
  std::atomic<int> busy_children{0};   // calls on a connection's statements
  std::mutex members;                  // guards the handle's list and count of children
};

// A fresh gate; null on memory failure.
HandleGate* gate_create();
// Ends a gate whose handle is being freed: at once when no call holds it, else (the calling
// thread holds it to free its own handle) when that call leaves. Null is ignored.
void gate_release(HandleGate* gate);
// True when a thread other than the caller, who holds the gate, uses the handle or was using
// it when the caller arrived: freeing it now would pull it from under that thread.
bool gate_in_use_elsewhere(const HandleGate* gate);

// Holds the gate of one handle for the length of an exported call. A handle that fails its
// tag check is left alone (the function answers SQL_INVALID_HANDLE as before), and so is a
// gate the calling thread already holds (a call made from inside another on the handle).
class HandleCall {
 public:
  // Enters the gate of `handle`, an ODBC handle of type `type` (SQL_HANDLE_ENV .. DESC).
  HandleCall(SQLSMALLINT type, SQLHANDLE handle);
  ~HandleCall();
  HandleCall(const HandleCall&) = delete;
  HandleCall& operator=(const HandleCall&) = delete;

 private:
  HandleGate* gate_ = nullptr;    // the gate held, or null
  HandleGate* parent_ = nullptr;  // the connection gate counting this call, or null
};

// The type of the handle SQLAllocHandle takes as input for a new handle of `type`: the
// environment for a connection, the connection for a statement or descriptor; 0 otherwise.
SQLSMALLINT parent_type_of(SQLSMALLINT type);

// SQLCancel's entry: raises the statement's cancel flag when another thread is inside a call
// on it (answering true, without touching the statement otherwise); else enters the gate as
// HandleCall does (answering false) so that the caller runs the ordinary cancel.
class CancelCall {
 public:
  explicit CancelCall(SQLHANDLE handle);
  ~CancelCall();
  CancelCall(const CancelCall&) = delete;
  CancelCall& operator=(const CancelCall&) = delete;
  // True when the flag of a call running on another thread was raised.
  bool raised() const { return raised_; }

 private:
  HandleGate* gate_ = nullptr;    // the gate counted on (and held unless raised_), or null
  HandleGate* parent_ = nullptr;  // the connection gate counting this call, or null
  bool raised_ = false;           // another thread's call was asked to stop
};
