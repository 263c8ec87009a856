// Allocation and release of environments.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

namespace {
constexpr const char* kConfigurationKey = "Software\\Quillmoor Ethereum ODBC Driver\\Configuration";
}

SQLRETURN alloc_env(SQLHANDLE* out) {
  if (!out) return SQL_ERROR;  // no handle to post on
  odbc_thread_init(1);
  quill_mem_trace_init();
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  auto* env = pool ? static_cast<QuillEnv*>(newNode(sizeof(QuillEnv), TAG_ENV, pool)) : nullptr;
  ErrorHeader* errors = env ? CreateErrorHeader(pool, env) : nullptr;
  if (!errors) {
    quill_mem_release_handle(pool);
    quill_mem_trace_term();
    thread_term(1);
    *out = SQL_NULL_HANDLE;
    return SQL_ERROR;
  }
  env->pool = pool;
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
  env_check_free_env(env);
  // The Driver Manager frees connections first; anything left is released here so that
  // no worker thread or registered name outlives the environment.
  while (env->connections) free_dbc(env->connections);
  FreeErrorHeader(env->errors);
  if (env->config) close_registry(env->config);
  env->tag = 0;
  quill_mem_release_handle(env->pool);
  thread_term(1);
  quill_mem_trace_term();
  return SQL_SUCCESS;
}
