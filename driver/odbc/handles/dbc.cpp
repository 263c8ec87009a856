// Allocation and release of connections, and the settings a connection reads
// through itself.
#include <cstring>
#include <mutex>

#include "driver/odbc/connect/backend_list.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

namespace {

// Lets driver-wide settings be answered first by the connection's own attributes.
int connection_ini_reader(void* context, const char* key, char* buffer, int size) {
  auto* dbc = static_cast<const QuillDbc*>(context);
  const char* value = get_attribute_value(&dbc->attributes, key);
  if (!value) return -1;
  int length = static_cast<int>(std::strlen(value));
  if (buffer && size > 0) {
    int n = length < size - 1 ? length : size - 1;
    std::memcpy(buffer, value, n);
    buffer[n] = '\0';
  }
  return length;
}

void unlink_connection(QuillEnv* env, QuillDbc* dbc) {
  for (QuillDbc** link = &env->connections; *link; link = &(*link)->next) {
    if (*link == dbc) {
      *link = dbc->next;
      return;
    }
  }
}

}  // namespace

int connection_default(const QuillDbc* dbc, const char* key, char* buffer, int size) {
  const char* dsn = get_attribute_value(&dbc->attributes, "DSN");
  return get_default_for(dbc->env->config, connection_ini_reader, const_cast<QuillDbc*>(dbc), dsn,
                         key, buffer, size);
}

SQLRETURN alloc_dbc(QuillEnv* env, SQLHANDLE* out) {
  if (!out) return post_call_error(env->errors, "HY009", MSG_NULL_POINTER);
  *out = SQL_NULL_HANDLE;
  if (env_check_alloc_dbc(env) != SQL_SUCCESS) return SQL_ERROR;
  auto* dbc = static_cast<QuillDbc*>(newNode(sizeof(QuillDbc), TAG_DBC, env->pool));
  if (dbc) dbc->env = env;  // the data-access context takes the environment's ODBC version
  MemPool* pool = dbc ? quill_mem_alloc_shared_handle(env->pool) : nullptr;
  QuillStmt* tmpl =
      pool ? static_cast<QuillStmt*>(newNode(sizeof(QuillStmt), TAG_STMT, pool)) : nullptr;
  ErrorHeader* errors = tmpl ? CreateErrorHeader(pool, dbc) : nullptr;
  HandleGate* gate = errors ? gate_create() : nullptr;
  Dal* dal = gate ? dal_create(dbc, errors) : nullptr;
  if (!dal) {
    gate_release(gate);
    quill_mem_release_handle(pool);
    quill_mem_free(env->pool, dbc);
    return post_call_error(env->errors, "HY001", MSG_MEMORY);
  }
  dbc->pool = pool;
  dbc->gate = gate;
  dbc->errors = errors;
  dbc->dal = dal;
  tmpl->pool = pool;
  tmpl->dbc = dbc;
  stmt_attributes_init(&tmpl->attrs);
  dbc->template_stmt = tmpl;
  dbc->autocommit = SQL_AUTOCOMMIT_ON;
  conn_attributes_init(&dbc->attrs);
  init_con_str(&dbc->attributes, pool);
  dbc->state = DBC_ALLOCATED;
  std::lock_guard<std::mutex> guard(env->gate->members);
  env_apply_alloc_dbc(env);
  dbc->next = env->connections;
  env->connections = dbc;
  *out = dbc;
  return SQL_SUCCESS;
}

SQLRETURN free_dbc(QuillDbc* dbc) {
  QuillEnv* env = dbc->env;
  SetupErrorHeader(dbc->errors, 0);
  // Another thread inside a call on the connection or on one of its statements or
  // descriptors keeps it.
  if (gate_in_use_elsewhere(dbc->gate) || dbc->gate->busy_children.load() > 0)
    return post_call_error(dbc->errors, "HY010", MSG_SEQUENCE);
  while (dbc->statements) free_stmt(dbc->statements);
  dal_destroy(dbc->dal);
  dbc->dal = nullptr;
  FreeErrorHeader(dbc->errors);
  dbc->tag = 0;
  gate_release(dbc->gate);
  {
    std::lock_guard<std::mutex> guard(env->gate->members);
    unlink_connection(env, dbc);
    env_apply_free_dbc(env);
  }
  quill_mem_release_handle(dbc->pool);
  quill_mem_free(env->pool, dbc);
  return SQL_SUCCESS;
}
