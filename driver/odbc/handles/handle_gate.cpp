// Call gates of the handles: entering and leaving a handle's gate around an
// exported call, SQLCancel's entry, and the end of a gate whose handle is freed.
#include "driver/odbc/handles/handle_gate.h"

#include <new>

#include "driver/odbc/handles/handles.h"

namespace {

// The gate a call on `handle` holds and the connection gate that counts it; both null when
// the handle fails its tag check. An implicit descriptor shares its statement's gate, an
// explicit one its connection's.
struct GateTarget {
  HandleGate* gate = nullptr;    // the handle's own gate (or its statement's)
  HandleGate* parent = nullptr;  // the connection's gate, for statements and descriptors
  QuillStmt* stmt = nullptr;     // the statement whose cancel flag the call owns, or null
};

// The gates a call on `handle`, an ODBC handle of type `type`, holds and counts on.
GateTarget target_of(SQLSMALLINT type, SQLHANDLE handle) {
  GateTarget target;
  switch (type) {
    case SQL_HANDLE_ENV:
      if (valid_env(handle)) target.gate = static_cast<QuillEnv*>(handle)->gate;
      break;
    case SQL_HANDLE_DBC:
      if (valid_dbc(handle)) target.gate = static_cast<QuillDbc*>(handle)->gate;
      break;
    case SQL_HANDLE_STMT:
      if (valid_stmt(handle)) target.stmt = static_cast<QuillStmt*>(handle);
      break;
    case SQL_HANDLE_DESC:
      if (valid_desc(handle)) {
        auto* desc = static_cast<QuillDesc*>(handle);
        if (desc->stmt)
          target.stmt = desc->stmt;
        else if (desc->dbc)
          target.gate = desc->dbc->gate;
      }
      break;
    default:
      break;
  }
  if (target.stmt) {
    target.gate = target.stmt->gate;
    target.parent = target.stmt->dbc ? target.stmt->dbc->gate : nullptr;
  }
  if (!target.gate) target = GateTarget{};
  return target;
}

// Takes `calls` (noting whether it had to wait) and marks the call busy; the statement's
// cancel flag starts clear unless its worker thread runs a call that may still be cancelled.
void take(HandleGate* gate, QuillStmt* stmt) {
  bool waited = !gate->calls.try_lock();
  if (waited) gate->calls.lock();
  gate->waited = waited;
  gate->owner.store(std::this_thread::get_id());
  std::lock_guard<std::mutex> guard(gate->state);
  gate->busy = true;
  if (stmt && stmt->async_function == 0)
    std::atomic_ref<int>(stmt->cancel_requested).store(0, std::memory_order_relaxed);
}

// Marks the call over and lets the next one in; a gate retired by this call goes with it.
void give_back(HandleGate* gate) {
  {
    std::lock_guard<std::mutex> guard(gate->state);
    gate->busy = false;
  }
  gate->waited = false;
  gate->owner.store(std::thread::id());
  bool retired = gate->retired;
  gate->users.fetch_sub(1);
  gate->calls.unlock();
  if (retired) delete gate;
}

// True when the calling thread holds the gate.
bool held_here(const HandleGate* gate) {
  return gate->owner.load() == std::this_thread::get_id();
}

}  // namespace

HandleGate* gate_create() {
  return new (std::nothrow) HandleGate;
}

void gate_release(HandleGate* gate) {
  if (!gate) return;
  if (held_here(gate))
    gate->retired = true;
  else
    delete gate;
}

bool gate_in_use_elsewhere(const HandleGate* gate) {
  return gate->waited || gate->users.load() > 1;
}

HandleCall::HandleCall(SQLSMALLINT type, SQLHANDLE handle) {
  GateTarget target = target_of(type, handle);
  if (!target.gate || held_here(target.gate)) return;
  gate_ = target.gate;
  parent_ = target.parent;
  if (parent_) parent_->busy_children.fetch_add(1);
  gate_->users.fetch_add(1);
  take(gate_, target.stmt);
}

HandleCall::~HandleCall() {
  if (gate_) give_back(gate_);
  // Last: the connection may be freed as soon as it counts no call of its children.
  if (parent_) parent_->busy_children.fetch_sub(1);
}

SQLSMALLINT parent_type_of(SQLSMALLINT type) {
  switch (type) {
    case SQL_HANDLE_DBC:
      return SQL_HANDLE_ENV;
    case SQL_HANDLE_STMT:
    case SQL_HANDLE_DESC:
      return SQL_HANDLE_DBC;
    default:
      return 0;
  }
}

CancelCall::CancelCall(SQLHANDLE handle) {
  GateTarget target = target_of(SQL_HANDLE_STMT, handle);
  if (!target.gate) return;
  gate_ = target.gate;
  parent_ = target.parent;
  if (parent_) parent_->busy_children.fetch_add(1);
  gate_->users.fetch_add(1);
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(gate_->state);
      if (gate_->busy) {
        std::atomic_ref<int>(target.stmt->cancel_requested).store(1);
        raised_ = true;
        return;
      }
    }
    if (gate_->calls.try_lock()) break;
    // A call is between taking the gate and marking itself busy, or the reverse.
    std::this_thread::yield();
  }
  gate_->waited = false;
  gate_->owner.store(std::this_thread::get_id());
  std::lock_guard<std::mutex> guard(gate_->state);
  gate_->busy = true;
}

CancelCall::~CancelCall() {
  if (gate_) {
    if (raised_)
      gate_->users.fetch_sub(1);
    else
      give_back(gate_);
  }
  if (parent_) parent_->busy_children.fetch_sub(1);
}
