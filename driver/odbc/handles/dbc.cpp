// Allocation and release of connections.
#include <cstring>

#include "driver/dal/dal.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

namespace {

void* allocate_from_connection(QuillDbc* dbc, size_t size) {
  return quill_mem_alloc(dbc->pool, size);
}

const ServiceTable kServices = {allocate_from_connection};

// Lets driver-wide settings be answered first by the connection's own attributes.
int connection_ini_reader(void* context, const char* key, char* buffer, int size) {
  auto* dbc = static_cast<QuillDbc*>(context);
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

SQLRETURN alloc_dbc(QuillEnv* env, SQLHANDLE* out) {
  if (!out) return post_call_error(env->errors, "HY009", MSG_NULL_POINTER);
  *out = SQL_NULL_HANDLE;
  if (env_check_alloc_dbc(env) != SQL_SUCCESS) return SQL_ERROR;
  auto* dbc = static_cast<QuillDbc*>(newNode(sizeof(QuillDbc), TAG_DBC, env->pool));
  MemPool* pool = dbc ? quill_mem_alloc_handle(env->pool) : nullptr;
  QuillStmt* tmpl =
      pool ? static_cast<QuillStmt*>(newNode(sizeof(QuillStmt), TAG_STMT, pool)) : nullptr;
  ErrorHeader* errors = tmpl ? CreateErrorHeader(pool, dbc) : nullptr;
  Dal* dal = errors ? dal_create(dbc, errors) : nullptr;
  if (!dal) {
    quill_mem_release_handle(pool);
    quill_mem_free(env->pool, dbc);
    return post_call_error(env->errors, "HY001", MSG_MEMORY);
  }
  dbc->pool = pool;
  dbc->env = env;
  dbc->errors = errors;
  dbc->dal = dal;
  tmpl->pool = pool;
  tmpl->dbc = dbc;
  stmt_attributes_init(&tmpl->attrs);
  dbc->template_stmt = tmpl;
  dbc->autocommit = SQL_AUTOCOMMIT_ON;
  conn_attributes_init(&dbc->attrs);
  init_con_str(&dbc->attributes, pool);
  dbc->services = &kServices;
  if (env->config) {
    set_ini_function(env->config, connection_ini_reader, dbc);
    env->ini_owner = dbc;
  }
  env_apply_alloc_dbc(env);
  dbc->state = DBC_ALLOCATED;
  dbc->next = env->connections;
  env->connections = dbc;
  *out = dbc;
  return SQL_SUCCESS;
}

SQLRETURN free_dbc(QuillDbc* dbc) {
  QuillEnv* env = dbc->env;
  SetupErrorHeader(dbc->errors, 0);
  while (dbc->statements) free_stmt(dbc->statements);
  if (env->ini_owner == dbc) {
    set_ini_function(env->config, nullptr, nullptr);
    env->ini_owner = nullptr;
  }
  dal_destroy(dbc->dal);
  dbc->dal = nullptr;
  FreeErrorHeader(dbc->errors);
  unlink_connection(env, dbc);
  dbc->tag = 0;
  quill_mem_release_handle(dbc->pool);
  quill_mem_free(env->pool, dbc);
  env_apply_free_dbc(env);
  return SQL_SUCCESS;
}
