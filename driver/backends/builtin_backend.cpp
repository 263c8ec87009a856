// The two built-in backends at the head of every connection's list: the view
// store (which has no persistent backing, so it knows no view) and the
// INFO_SCHEMA tables. Both answer catalog calls with no rows and refuse what
// would change data. The view store answers SQLGetTypeInfo for the whole
// connection.
#include <cstdio>
#include <new>

#include "driver/backends/builtin_backends.h"
#include "driver/backends/info_schema.h"
#include "driver/backends/type_info.h"

namespace {

// Connection handle of a built-in backend.
struct BuiltinEnv {
  void* target;         // where diagnostics go
  SqiService service;   // the call layer's service callback
  const char* origin;   // class origin of its own diagnostics
  const char* refusal;  // text of its refusals
};

// Statement of a built-in backend: holds rows only for a type-info request.
struct BuiltinStmt {
  void* target;     // where diagnostics go
  BuiltinEnv* env;  // owning environment
  RowSet* rows;     // the type-info rows, or null
};

int refuse(BuiltinEnv* env, void* target, const char* text) {
  char message[256];
  std::snprintf(message, sizeof message, "General error: %s", text);
  SqiPostError post{target, "ISO 9075", 0, "HY000", message};
  env->service(SQI_SERVICE_POST_ERROR, &post);
  return SQI_ERROR;
}

int refuse_stmt(SqiStmt stmt) {
  auto* s = static_cast<BuiltinStmt*>(stmt);
  return refuse(s->env, s->target, s->env->refusal);
}

template <const char* Origin, const char* Refusal>
int alloc_env(void* target, SqiEnv* out, SqiService service, const char*) {
  auto* env = new (std::nothrow) BuiltinEnv{target, service, Origin, Refusal};
  *out = env;
  return env ? SQI_OK : SQI_ERROR;
}

int free_env(SqiEnv env) {
  delete static_cast<BuiltinEnv*>(env);
  return SQI_OK;
}

int ok_env(SqiEnv) {
  return SQI_OK;
}
int connect(SqiEnv, ConnAttrSet*, void*, char* out, int) {
  if (out) out[0] = '\0';
  return SQI_OK;
}
int no_table(SqiEnv, const char*, DalTable*) {
  return SQI_NOT_FOUND;
}
int no_columns(SqiEnv, const DalTable*, int, DalColumn*) {
  return SQI_ERROR;
}
SqiStmt alloc_stmt(void* target, SqiEnv env, void*, void*) {
  return new (std::nothrow) BuiltinStmt{target, static_cast<BuiltinEnv*>(env), nullptr};
}
int free_stmt(SqiStmt stmt) {
  auto* s = static_cast<BuiltinStmt*>(stmt);
  if (s) rowset_free(s->rows);
  delete s;
  return SQI_OK;
}
int close_stmt(SqiStmt stmt) {
  auto* s = static_cast<BuiltinStmt*>(stmt);
  rowset_free(s->rows);
  s->rows = nullptr;
  return SQI_OK;
}
int fetch(SqiStmt stmt) {
  auto* s = static_cast<BuiltinStmt*>(stmt);
  return s->rows ? rowset_fetch(s->rows) : SQI_NO_DATA;
}
int empty4(SqiStmt, SqiText, SqiText, SqiText, SqiText) {
  return SQI_OK;
}
int empty3(SqiStmt, SqiText, SqiText, SqiText) {
  return SQI_OK;
}
int empty_special(SqiStmt, int, SqiText, SqiText, SqiText, int, int) {
  return SQI_OK;
}
int empty_statistics(SqiStmt, SqiText, SqiText, SqiText, int, int) {
  return SQI_OK;
}
int empty_foreign(SqiStmt, SqiText, SqiText, SqiText, SqiText, SqiText, SqiText) {
  return SQI_OK;
}
int get_data(SqiStmt stmt, int column, int c_type, void* buffer, SQLLEN length, SQLLEN* indicator) {
  auto* s = static_cast<BuiltinStmt*>(stmt);
  if (!s->rows) {
    if (indicator) *indicator = SQL_NULL_DATA;
    return SQI_NO_DATA;
  }
  int rc = rowset_get_data(s->rows, column, c_type, buffer, length, indicator);
  if (rc == SQI_ERROR) {
    SqiPostError post{s->target, s->env->origin, 0, "07006",
                      "Restricted data type attribute violation"};
    s->env->service(SQI_SERVICE_POST_ERROR, &post);
  }
  return rc;
}
int no_scan(SqiStmt stmt, const DalTable*, const int*, const int*, int, Restriction* const*) {
  return refuse_stmt(stmt);
}
// INFO_SCHEMA: its tables, their columns, and a scan's rows from the catalog functions.
int info_table(SqiEnv, const char* name, DalTable* out) {
  return info_schema_describe_table(name, out);
}
int info_columns(SqiEnv, const DalTable* table, int count, DalColumn* out) {
  return info_schema_describe_columns(table, count, out);
}
int info_scan(SqiStmt stmt, const DalTable* table, const int*, const int*, int count,
              Restriction* const* restrictions) {
  auto* s = static_cast<BuiltinStmt*>(stmt);
  rowset_free(s->rows);
  s->rows = info_schema_rows(s->target, s->env->service, table, count, restrictions);
  return s->rows ? SQI_OK : SQI_ERROR;
}
int empty_type_info(SqiStmt, int) {
  return SQI_OK;
}
// The rows of every type the engine handles, or of the one asked for.
int type_info(SqiStmt stmt, int sql_type) {
  auto* s = static_cast<BuiltinStmt*>(stmt);
  rowset_free(s->rows);
  s->rows = type_info_rowset(sql_type);
  if (s->rows) return SQI_OK;
  SqiPostError post{s->target, s->env->origin, 0, "HY001", "Memory allocation error"};
  s->env->service(SQI_SERVICE_POST_ERROR, &post);
  return SQI_ERROR;
}
int refuse_request(SqiStmt stmt, void*) {
  return refuse_stmt(stmt);
}
int ok_request(SqiStmt, void*) {
  return SQI_OK;
}
int no_keys(SqiEnv env, const DalTable*, DalKeyColumn*, int, int* count) {
  *count = 0;
  auto* e = static_cast<BuiltinEnv*>(env);
  return refuse(e, e->target, e->refusal);
}
int refuse_row(SqiStmt stmt, const DalTable*, void*) {
  return refuse_stmt(stmt);
}
int refuse_update(SqiStmt stmt, const DalTable*, void*, int) {
  return refuse_stmt(stmt);
}
int ok_transaction(void*, SqiEnv) {
  return SQI_OK;
}
int ok_end_transaction(void*, SqiEnv, int) {
  return SQI_OK;
}
int refuse_table_request(SqiStmt stmt, const DalTable*, void*) {
  return refuse_stmt(stmt);
}
int refuse_view_permission(SqiStmt stmt, const DalTable*, void*) {
  auto* s = static_cast<BuiltinStmt*>(stmt);
  return refuse(s->env, s->target, "Permissions not currently supported on VIEWS");
}

constexpr char kViewOrigin[] = "ISO 9075";
constexpr char kViewRefusal[] = "Operation not supported on VIEWS";
constexpr char kInfoRefusal[] = "Operation not supported on INFO_SCHEMA";

constexpr SqiOperations make_operations(bool views) {
  SqiOperations ops{};
  ops.alloc_env =
      views ? alloc_env<kViewOrigin, kViewRefusal> : alloc_env<kViewOrigin, kInfoRefusal>;
  ops.free_env = free_env;
  ops.connect = connect;
  ops.disconnect = ok_env;
  ops.describe_table = views ? no_table : info_table;
  ops.describe_columns = views ? no_columns : info_columns;
  ops.alloc_stmt = alloc_stmt;
  ops.free_stmt = free_stmt;
  ops.close_stmt = close_stmt;
  ops.fetch = fetch;
  ops.tables = empty4;
  ops.columns = empty4;
  ops.column_privileges = empty4;
  ops.primary_keys = empty3;
  ops.special_columns = empty_special;
  ops.statistics = empty_statistics;
  ops.foreign_keys = empty_foreign;
  ops.table_privileges = empty3;
  ops.get_data = get_data;
  ops.start_scan = views ? no_scan : info_scan;
  ops.get_type_info = views ? type_info : empty_type_info;
  ops.create_table = refuse_request;
  ops.create_index = ok_request;
  ops.drop_table = refuse_request;
  ops.drop_index = refuse_request;
  ops.get_pk_info = no_keys;
  ops.fetch_by_key = refuse_row;
  ops.insert_row = refuse_row;
  ops.delete_row = refuse_row;
  ops.update_row = refuse_update;
  ops.begin_transaction = ok_transaction;
  ops.end_transaction = ok_end_transaction;
  ops.grant = views ? refuse_view_permission : refuse_table_request;
  ops.revoke = views ? refuse_view_permission : refuse_table_request;
  ops.drop_column = refuse_table_request;
  ops.add_column = refuse_table_request;
  return ops;
}

constexpr SqiOperations kViewStore = make_operations(true);
constexpr SqiOperations kInfoSchema = make_operations(false);

}  // namespace

const SqiOperations* view_store_operations() {
  return &kViewStore;
}
const SqiOperations* info_schema_operations() {
  return &kInfoSchema;
}
