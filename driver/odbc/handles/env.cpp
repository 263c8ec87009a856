// Allocation and release of environments.
#include <mutex>

#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

namespace {
constexpr const char* kConfigurationKey = "Software\\Quillmoor Ethereum ODBC Driver\\Configuration";
}

SQLRETURN alloc_env(SQLHANDLE* out) {
  if (!out) return SQL_ERROR;  // no handle to post on
  odbc_thread_init(1);
  quill_mem_trace_init();
  MemPool* pool = quill_mem_alloc_shared_handle(nullptr);
  auto* env = pool ? static_cast<QuillEnv*>(newNode(sizeof(QuillEnv), TAG_ENV, pool)) : nullptr;
  ErrorHeader* errors = env ? CreateErrorHeader(pool, env) : nullptr;
  HandleGate* gate = errors ? gate_create() : nullptr;
  if (!gate) {
    quill_mem_release_handle(pool);
    quill_mem_trace_term();
    thread_term(1);
    *out = SQL_NULL_HANDLE;
    return SQL_ERROR;
  }
  env->pool = pool;
  env->gate = gate;
  env->errors = errors;
  env->config = open_registry();
  if (env->config) set_config(env->config, kConfigurationKey);
  env->odbc_version = -1;
  env->output_nts = SQL_TRUE;
  env->state = ENV_ALLOCATED;
  *out = env;
  return SQL_SUCCESS;
}

SQLRETURN free_env(QuillEnv* env) {
  // Connections still allocated keep the environment, as does a call of another thread.
  {
    std::lock_guard<std::mutex> guard(env->gate->members);
    if (env_check_free_env(env) != SQL_SUCCESS) return SQL_ERROR;
  }
  if (gate_in_use_elsewhere(env->gate)) return post_call_error(env->errors, "HY010", MSG_SEQUENCE);
  FreeErrorHeader(env->errors);
  if (env->config) close_registry(env->config);
  env->tag = 0;
  gate_release(env->gate);
  quill_mem_release_handle(env->pool);
  thread_term(1);
  quill_mem_trace_term();
  return SQL_SUCCESS;
}
