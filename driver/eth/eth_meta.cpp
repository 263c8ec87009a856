// Table and column descriptions for the SQL engine and the refusals of data
// definition and row modification. The catalog result sets (SQLTables,
// SQLColumns...) are in eth_meta_results.cpp.
#include "driver/eth/eth_meta.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_context.h"
#include "driver/eth/eth_tables.h"

// Copies text into a fixed name field, cut to fit.
static void copy_field(char* out, size_t size, const char* text) {
  size_t length = strnlen(text, size - 1);
  std::memcpy(out, text, length);
  out[length] = '\0';
}

int eth_describe_table(SqiEnv handle, const char* name, DalTable* out) {
  auto* env = static_cast<EthEnv*>(handle);
  const EthTable* table = eth_find_table(env, name);
  if (table == nullptr || out == nullptr) return SQI_NOT_FOUND;
  copy_field(out->catalog, sizeof out->catalog, ETH_CATALOG_NAME);
  copy_field(out->schema, sizeof out->schema, ETH_SCHEMA_NAME);
  copy_field(out->name, sizeof out->name, table->name.c_str());
  out->column_count = table->column_count;
  out->pk_count = eth_key_column_count(*table);
  out->backend_table = table;
  return SQI_OK;
}

// Type-dependent fields of a column descriptor; false for a type the backend cannot describe.
static bool describe_type(const EthEnv* env, const EthColumn& column, DalColumn* out) {
  const bool odbc3 = env->odbc_version == 3;
  const char* prefix = "";
  const char* suffix = "";
  out->sql_type = column.sql_type;
  out->precision = 0;
  out->scale = 0;
  switch (column.sql_type) {
    case SQL_VARCHAR:
      out->length = column.length;
      prefix = suffix = "'";
      copy_field(out->create_params, sizeof out->create_params, "length");
      break;
    case SQL_LONGVARCHAR:
      out->length = INT_MAX;
      prefix = suffix = "'";
      break;
    case SQL_DOUBLE:
      // Lengths of the fixed types are their ODBC column sizes (digits, characters of a time).
      out->length = 15;
      out->precision = 15;
      break;
    case SQL_BIT:
      out->length = 1;
      out->precision = 1;
      break;
    case SQL_INTEGER:
      out->length = 4;
      out->precision = 10;
      break;
    case SQL_SMALLINT:
      out->length = 2;
      out->precision = 5;
      break;
    case SQL_TINYINT:
      out->length = 1;
      out->precision = 3;
      break;
    case SQL_BIGINT:
      out->length = 19;
      out->precision = 19;
      break;
    case SQL_NUMERIC:
      out->length = column.length;
      out->precision = column.length;
      break;
    case SQL_DATE:
    case SQL_TYPE_DATE:
      out->sql_type = odbc3 ? SQL_TYPE_DATE : SQL_DATE;
      out->length = sizeof(SQL_DATE_STRUCT);
      prefix = "{d '";
      suffix = "'}";
      break;
    case SQL_TIME:
    case SQL_TYPE_TIME:
      out->sql_type = odbc3 ? SQL_TYPE_TIME : SQL_TIME;
      out->length = sizeof(SQL_TIME_STRUCT);
      prefix = "{t '";
      suffix = "'}";
      break;
    case SQL_TIMESTAMP:
    case SQL_TYPE_TIMESTAMP:
      out->sql_type = odbc3 ? SQL_TYPE_TIMESTAMP : SQL_TIMESTAMP;
      out->length = 19;
      prefix = "{ts '";
      suffix = "'}";
      break;
    default:
      return false;
  }
  copy_field(out->type_name, sizeof out->type_name, eth_type_name(column.sql_type));
  copy_field(out->literal_prefix, sizeof out->literal_prefix, prefix);
  copy_field(out->literal_suffix, sizeof out->literal_suffix, suffix);
  return true;
}

int eth_describe_columns(SqiEnv handle, const DalTable* described, int count, DalColumn* out) {
  auto* env = static_cast<EthEnv*>(handle);
  if (env == nullptr || described == nullptr) return SQI_NOT_FOUND;
  const EthTable* table = eth_find_table(env, described->name);
  if (table == nullptr) return SQI_NOT_FOUND;
  if (count != table->column_count || (count > 0 && out == nullptr)) {
    eth_post_error(env, env->target, "HY000", "dci_size != tptr -> coumn_count");
    return SQI_ERROR;
  }
  const int records = static_cast<int>(table->columns.size());
  if (records < count) {
    eth_post_error(env, env->target, "HY000", "Unexpected end to column_info");
    return SQI_ERROR;
  }
  if (records > count) {
    eth_post_error(env, env->target, "HY000", "Unexpected extracolumn_info");
    return SQI_ERROR;
  }
  for (int i = 0; i < count; ++i) {
    const EthColumn& column = table->columns[i];
    DalColumn* descriptor = &out[i];
    std::memset(descriptor, 0, sizeof *descriptor);
    copy_field(descriptor->catalog, sizeof descriptor->catalog, ETH_CATALOG_NAME);
    copy_field(descriptor->schema, sizeof descriptor->schema, ETH_SCHEMA_NAME);
    copy_field(descriptor->table, sizeof descriptor->table, table->name.c_str());
    copy_field(descriptor->name, sizeof descriptor->name, column.name.c_str());
    descriptor->number = i + 1;
    descriptor->nullable = eth_is_key_column(column) ? SQL_NO_NULLS : SQL_NULLABLE;
    // LONG text can only be matched with LIKE.
    descriptor->searchable = column.sql_type == SQL_LONGVARCHAR ? SQL_PRED_CHAR : SQL_SEARCHABLE;
    descriptor->backend_flags = column.flags;
    descriptor->required = (column.flags & ETH_COLUMN_REQUIRED) != 0;
    descriptor->backend_column = &column;
    if (!describe_type(env, column, descriptor)) {
      eth_post_error(env, env->target, "HY000", "Unexpected type in GetColumnInfo");
      return SQI_ERROR;
    }
  }
  return SQI_OK;
}

int eth_get_pk_info(SqiEnv handle, const DalTable* described, DalKeyColumn* out, int capacity,
                    int* count) {
  auto* env = static_cast<EthEnv*>(handle);
  if (count != nullptr) *count = 0;
  if (described == nullptr) return SQI_NOT_FOUND;
  const EthTable* table = eth_find_table(env, described->name);
  if (table == nullptr) return SQI_NOT_FOUND;
  int found = 0;
  for (size_t i = 0; i < table->columns.size(); ++i) {
    if (!eth_is_key_column(table->columns[i])) continue;
    if (out != nullptr && found < capacity) {
      copy_field(out[found].name, sizeof out[found].name, table->columns[i].name.c_str());
      out[found].number = static_cast<int>(i) + 1;
    }
    ++found;
  }
  if (count != nullptr) *count = found;
  return SQI_OK;
}

// Posts HY000 with the statement's environment and refuses.
static int refuse(SqiStmt handle, const char* message) {
  auto* stmt = static_cast<EthStmt*>(handle);
  if (stmt != nullptr) eth_post_error(stmt->env, stmt->target, "HY000", message);
  return SQI_ERROR;
}

int eth_create_table(SqiStmt stmt, void*) {
  return refuse(stmt, "Driver does not support DDL (CREATE TABLE)");
}
int eth_create_index(SqiStmt stmt, void*) {
  return refuse(stmt, "Driver does not support DDL (CREATE INDEX)");
}
int eth_drop_table(SqiStmt stmt, void*) {
  return refuse(stmt, "Driver does not support DDL (DROP TABLE)");
}
int eth_drop_index(SqiStmt stmt, void*) {
  return refuse(stmt, "Driver does not support DDL (DROP INDEX)");
}
int eth_grant(SqiStmt stmt, const DalTable*, void*) {
  return refuse(stmt, "Driver does not support DDL (GRANT)");
}
int eth_revoke(SqiStmt stmt, const DalTable*, void*) {
  return refuse(stmt, "Driver does not support DDL (REVOKE)");
}
int eth_drop_column(SqiStmt stmt, const DalTable*, void*) {
  return refuse(stmt, "Driver does not support DDL (DROP COLUMN)");
}
int eth_add_column(SqiStmt stmt, const DalTable*, void*) {
  return refuse(stmt, "Driver does not support DDL (ADD COLUMN)");
}

// Common answer of the row operations: only an updatable table accepts them.
static int refuse_row_operation(SqiStmt handle, const DalTable* described) {
  auto* stmt = static_cast<EthStmt*>(handle);
  if (stmt == nullptr || described == nullptr) return SQI_NOT_FOUND;
  const EthTable* table = eth_find_table(stmt->env, described->name);
  if (table == nullptr) return SQI_NOT_FOUND;
  if (table->flags & ETH_TABLE_UPDATABLE) return SQI_OK;
  char message[SQI_NAME_MAX + 64];
  std::snprintf(message, sizeof message, "Views (%s) are not updateable", table->name.c_str());
  eth_post_error(stmt->env, stmt->target, "HY000", message);
  return SQI_ERROR;
}

int eth_fetch_by_key(SqiStmt stmt, const DalTable* table, void*) {
  return refuse_row_operation(stmt, table);
}
int eth_insert_row(SqiStmt stmt, const DalTable* table, void*) {
  return refuse_row_operation(stmt, table);
}
int eth_delete_row(SqiStmt stmt, const DalTable* table, void*) {
  return refuse_row_operation(stmt, table);
}
int eth_update_row(SqiStmt stmt, const DalTable* table, void*, int mode) {
  if (mode != 1) return SQI_NOT_FOUND;
  return refuse_row_operation(stmt, table);
}

int eth_column_privileges(SqiStmt, SqiText, SqiText, SqiText, SqiText) {
  return SQI_OK;
}
int eth_foreign_keys(SqiStmt, SqiText, SqiText, SqiText, SqiText, SqiText, SqiText) {
  return SQI_OK;
}
int eth_table_privileges(SqiStmt, SqiText, SqiText, SqiText) {
  return SQI_OK;
}
