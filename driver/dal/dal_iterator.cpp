// Iterators of the data-access layer: lazy statement allocation, catalog calls
// routed by link name, scans on one backend, fetching and column reads. Each
// iterator keeps its own per-entry state; the connection's entries are only read,
// so iterators of one connection run on several threads at once.
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <new>

#include "driver/dal/dal.h"

namespace {

constexpr int kCatalogBuffer = 128;

// Allocates the statements of every entry still waiting for one (or only `only` when >= 0).
// False when a backend could not make one.
bool allocate_statements(DalIterator* it, int only = -1) {
  for (int i = 0; i < it->dal->count; ++i) {
    if (only >= 0 && i != only) continue;
    DalEntry* entry = &it->dal->entries[i];
    if (!it->unallocated[i] || !entry->present) continue;
    SqiStmt stmt = entry->ops->alloc_stmt(it->errors, entry->handle, entry, nullptr);
    if (!stmt) return false;
    it->stmts[i] = stmt;
    it->unallocated[i] = false;
    it->status[i] = 0;
    if (it->timeout > 0 && entry->ops->set_timeout) entry->ops->set_timeout(stmt, it->timeout);
    if (entry->ops->set_wait) entry->ops->set_wait(stmt, &it->wait);
  }
  return true;
}

// Splits a "LINK$catalog" argument; returns the index of the entry of that link, or -1.
int route_by_link(DalIterator* it, SqiText catalog, char* rest, int rest_size) {
  char text[kCatalogBuffer + 1] = "";
  if (!sqi_text_copy(catalog, text, sizeof text) || !text[0]) return -1;
  char* dollar = std::strchr(text, '$');
  if (!dollar) return -1;
  *dollar = '\0';
  for (int i = 0; i < it->dal->count; ++i) {
    const DalEntry* entry = &it->dal->entries[i];
    if (entry->present && strcasecmp(entry->link, text) == 0) {
      std::snprintf(rest, rest_size, "%s", dollar + 1);
      return i;
    }
  }
  return -1;
}

// Runs `call(entry, stmt)` for one catalog request: on the linked entry alone when the
// catalog names a link, else on every entry.
template <typename Call>
int catalog_call(DalIterator* it, int kind, SqiText catalog, Call call) {
  it->catalog_kind = kind;
  it->position = 0;
  it->single_backend = false;
  if (!allocate_statements(it)) return SQI_ERROR;
  char rest[kCatalogBuffer + 1];
  int linked = route_by_link(it, catalog, rest, sizeof rest);
  if (linked >= 0) {
    for (int i = 0; i < it->dal->count; ++i) it->status[i] = 3;
    SqiText remaining = rest[0] ? SqiText{rest, SQL_NTS} : SqiText{nullptr, 0};
    DalEntry* entry = &it->dal->entries[linked];
    int rc = call(entry, it->stmts[linked], remaining);
    it->status[linked] = rc;
    return rc;
  }
  bool info = false;
  for (int i = 0; i < it->dal->count; ++i) {
    DalEntry* entry = &it->dal->entries[i];
    if (!entry->present) continue;
    int rc = call(entry, it->stmts[i], catalog);
    if (rc == SQI_ERROR || rc < 0) {
      it->status[i] = 3;
    } else {
      it->status[i] = 0;
      info |= rc == SQI_INFO;
    }
  }
  return info ? SQI_INFO : SQI_OK;
}

// The answer of an entry that lacks the operation (its status becomes 3 from the error).
int missing_operation(DalEntry*) {
  return SQI_ERROR;
}

}  // namespace

DalIterator* DALOpenIterator(ErrorHeader* errors, Dal* dal) {
  auto* it = new (std::nothrow) DalIterator{};
  if (!it) {
    SetReturnCode(errors, -1);
    PostError(errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, DAL_MULTIPLEXOR_ORIGIN, "HY001",
              "Memory allocation error");
    return nullptr;
  }
  it->dal = dal;
  it->errors = errors;
  for (int i = 0; i < dal->count; ++i) it->unallocated[i] = dal->entries[i].present;
  return it;
}

void DALSetTimeout(DalIterator* it, int seconds) {
  it->timeout = seconds;
}

void DALSetWait(DalIterator* it, const SqiWait& wait) {
  it->wait = wait;
  for (int i = 0; i < it->dal->count; ++i) {
    DalEntry* entry = &it->dal->entries[i];
    if (!it->unallocated[i] && it->stmts[i] && entry->ops->set_wait)
      entry->ops->set_wait(it->stmts[i], &it->wait);
  }
}

void DALResetIterator(DalIterator* it) {
  it->position = 0;
  it->single_backend = false;
  it->type_info = false;
  it->end_of_data = false;
  for (int i = 0; i < it->dal->count; ++i) {
    DalEntry* entry = &it->dal->entries[i];
    if (!it->unallocated[i] && it->stmts[i] && entry->ops->close_stmt)
      entry->ops->close_stmt(it->stmts[i]);
  }
}

void DALCloseIterator(DalIterator* it) {
  if (!it) return;
  for (int i = 0; i < it->dal->count; ++i) {
    DalEntry* entry = &it->dal->entries[i];
    if (!it->unallocated[i] && it->stmts[i] && entry->ops->free_stmt)
      entry->ops->free_stmt(it->stmts[i]);
  }
  delete it;
}

int DALDescribeTable(ErrorHeader* /*errors*/, Dal* dal, const char* link, const char* table,
                     DalTable* out) {
  bool by_link = link && link[0];
  for (int i = dal->count - 1; i >= 0; --i) {
    DalEntry* entry = &dal->entries[i];
    if (!entry->present || !entry->ops->describe_table) continue;
    if (by_link && strcasecmp(entry->link, link) != 0) continue;
    int rc = entry->ops->describe_table(entry->handle, table, out);
    if (rc == SQI_NOT_FOUND) continue;
    if (rc == SQI_OK || rc == SQI_INFO) {
      out->backend_index = i;
      out->passthrough = entry->ops->exec_sql && !entry->passthrough_disabled;
      std::snprintf(out->link, sizeof out->link, "%s", entry->link);
    }
    return rc;
  }
  return SQI_NOT_FOUND;
}

int DALDescribeColumns(ErrorHeader* /*errors*/, Dal* dal, const DalTable* table, int count,
                       DalColumn* out) {
  if (table->backend_index < 0 || table->backend_index >= dal->count) return SQI_ERROR;
  DalEntry* entry = &dal->entries[table->backend_index];
  if (!entry->present || !entry->ops->describe_columns) return SQI_ERROR;
  int rc = entry->ops->describe_columns(entry->handle, table, count, out);
  if (rc == SQI_OK || rc == SQI_INFO)
    for (int c = 0; c < count; ++c) {
      out[c].backend_index = table->backend_index;
      out[c].cleared = 0;
    }
  return rc;
}

int DALGetInfo(DalIterator* it, const DalTable* table, int code, void* out) {
  DalEntry* entry = &it->dal->entries[table->backend_index];
  if (!entry->ops->get_info) return SQI_NO_DATA;
  return entry->ops->get_info(entry->handle, code, out);
}

int DALGetPKInfo(Dal* dal, const DalTable* table, DalKeyColumn* out, int capacity, int* count) {
  DalEntry* entry = &dal->entries[table->backend_index];
  *count = 0;
  if (!entry->ops->get_pk_info) return SQI_ERROR;
  return entry->ops->get_pk_info(entry->handle, table, out, capacity, count);
}

int DALTables(DalIterator* it, SqiText catalog, SqiText schema, SqiText table, SqiText types) {
  return catalog_call(it, DAL_CATALOG_TABLES, catalog, [&](DalEntry* e, SqiStmt s, SqiText c) {
    return e->ops->tables ? e->ops->tables(s, c, schema, table, types) : missing_operation(e);
  });
}

int DALColumns(DalIterator* it, SqiText catalog, SqiText schema, SqiText table, SqiText column) {
  return catalog_call(it, DAL_CATALOG_COLUMNS, catalog, [&](DalEntry* e, SqiStmt s, SqiText c) {
    return e->ops->columns ? e->ops->columns(s, c, schema, table, column) : missing_operation(e);
  });
}

int DALColumnPrivileges(DalIterator* it, SqiText catalog, SqiText schema, SqiText table,
                        SqiText column) {
  return catalog_call(it, DAL_CATALOG_PRIVILEGES, catalog, [&](DalEntry* e, SqiStmt s, SqiText c) {
    return e->ops->column_privileges ? e->ops->column_privileges(s, c, schema, table, column)
                                     : missing_operation(e);
  });
}

int DALPrimaryKeys(DalIterator* it, SqiText catalog, SqiText schema, SqiText table) {
  return catalog_call(it, DAL_CATALOG_PRIMARY_KEYS, catalog,
                      [&](DalEntry* e, SqiStmt s, SqiText c) {
                        return e->ops->primary_keys ? e->ops->primary_keys(s, c, schema, table)
                                                    : missing_operation(e);
                      });
}

int DALSpecialColumns(DalIterator* it, int identifier_type, SqiText catalog, SqiText schema,
                      SqiText table, int scope, int nullable) {
  return catalog_call(
      it, DAL_CATALOG_SPECIAL_COLUMNS, catalog, [&](DalEntry* e, SqiStmt s, SqiText c) {
        return e->ops->special_columns
                   ? e->ops->special_columns(s, identifier_type, c, schema, table, scope, nullable)
                   : missing_operation(e);
      });
}

int DALStatistics(DalIterator* it, SqiText catalog, SqiText schema, SqiText table, int unique,
                  int reserved) {
  return catalog_call(it, DAL_CATALOG_STATISTICS, catalog, [&](DalEntry* e, SqiStmt s, SqiText c) {
    return e->ops->statistics ? e->ops->statistics(s, c, schema, table, unique, reserved)
                              : missing_operation(e);
  });
}

int DALTablePrivileges(DalIterator* it, SqiText catalog, SqiText schema, SqiText table) {
  return catalog_call(it, DAL_CATALOG_PRIVILEGES, catalog, [&](DalEntry* e, SqiStmt s, SqiText c) {
    return e->ops->table_privileges ? e->ops->table_privileges(s, c, schema, table)
                                    : missing_operation(e);
  });
}

int DALForeignKeys(DalIterator* it, SqiText pk_catalog, SqiText pk_schema, SqiText pk_table,
                   SqiText fk_catalog, SqiText fk_schema, SqiText fk_table) {
  it->catalog_kind = DAL_CATALOG_FOREIGN_KEYS;
  it->position = 0;
  it->single_backend = false;
  if (!allocate_statements(it)) return SQI_ERROR;
  char pk_rest[kCatalogBuffer + 1], fk_rest[kCatalogBuffer + 1];
  int pk_link = route_by_link(it, pk_catalog, pk_rest, sizeof pk_rest);
  int fk_link = route_by_link(it, fk_catalog, fk_rest, sizeof fk_rest);
  if (pk_link >= 0 && fk_link >= 0 && pk_link != fk_link) {
    SetReturnCode(it->errors, -1);
    PostError(it->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, DAL_GATEWAY_ORIGIN, "IM001",
              "SQLForeignKeys not currently supported across LINKS");
    return SQI_ERROR;
  }
  auto call = [&](int i, SqiText pkc, SqiText fkc) {
    DalEntry* e = &it->dal->entries[i];
    return e->ops->foreign_keys ? e->ops->foreign_keys(it->stmts[i], pkc, pk_schema, pk_table, fkc,
                                                       fk_schema, fk_table)
                                : missing_operation(e);
  };
  int linked = pk_link >= 0 ? pk_link : fk_link;
  if (linked >= 0) {
    for (int i = 0; i < it->dal->count; ++i) it->status[i] = 3;
    SqiText pkc = pk_link >= 0 ? SqiText{pk_rest[0] ? pk_rest : nullptr, SQL_NTS} : pk_catalog;
    SqiText fkc = fk_link >= 0 ? SqiText{fk_rest[0] ? fk_rest : nullptr, SQL_NTS} : fk_catalog;
    int rc = call(linked, pkc, fkc);
    it->status[linked] = rc;
    return rc;
  }
  bool info = false;
  for (int i = 0; i < it->dal->count; ++i) {
    if (!it->dal->entries[i].present) continue;
    int rc = call(i, pk_catalog, fk_catalog);
    it->status[i] = rc == SQI_ERROR ? 3 : 0;
    info |= rc == SQI_INFO;
  }
  return info ? SQI_INFO : SQI_OK;
}

int DALProcedures(DalIterator* it, SqiText catalog, SqiText schema, SqiText procedure) {
  return catalog_call(it, DAL_CATALOG_NONE, catalog, [&](DalEntry* e, SqiStmt s, SqiText c) {
    return e->ops->procedures ? e->ops->procedures(s, c, schema, procedure) : missing_operation(e);
  });
}

int DALProcedureColumns(DalIterator* it, SqiText catalog, SqiText schema, SqiText procedure,
                        SqiText column) {
  return catalog_call(it, DAL_CATALOG_NONE, catalog, [&](DalEntry* e, SqiStmt s, SqiText c) {
    return e->ops->procedure_columns ? e->ops->procedure_columns(s, c, schema, procedure, column)
                                     : missing_operation(e);
  });
}

int DALGetTypeInfo(DalIterator* it, int sql_type) {
  it->type_info = true;
  it->single_backend = true;
  it->position = 0;
  if (!allocate_statements(it, 0)) return SQI_ERROR;
  DalEntry* entry = &it->dal->entries[0];
  if (!entry->ops->get_type_info) return SQI_ERROR;
  return entry->ops->get_type_info(it->stmts[0], sql_type);
}

int DALStartScan(DalIterator* it, const DalTable* table, const int* column_usage,
                 const int* key_map, int restriction_count, Restriction* const* restrictions) {
  it->single_backend = true;
  it->end_of_data = false;
  it->position = table->backend_index;
  if (!allocate_statements(it, it->position)) return SQI_ERROR;
  DalEntry* entry = &it->dal->entries[it->position];
  if (!entry->ops->start_scan) return SQI_ERROR;
  return entry->ops->start_scan(it->stmts[it->position], table, column_usage, key_map,
                                restriction_count, restrictions);
}

int DALPrepareScans(DalIterator* it, const DalTable* table, int set_count, const int* counts,
                    Restriction* const* const* sets) {
  it->single_backend = true;
  it->end_of_data = false;
  it->position = table->backend_index;
  if (!allocate_statements(it, it->position)) return SQI_ERROR;
  DalEntry* entry = &it->dal->entries[it->position];
  if (!entry->ops->prepare_scans) return SQI_NO_DATA;
  return entry->ops->prepare_scans(it->stmts[it->position], table, set_count, counts, sets);
}

int DALFetch(DalIterator* it) {
  if (it->single_backend) {
    DalEntry* entry = &it->dal->entries[it->position];
    if (!entry->ops->fetch) return SQI_ERROR;
    int rc = entry->ops->fetch(it->stmts[it->position]);
    if (rc == SQI_NO_DATA) it->end_of_data = true;
    return rc;
  }
  if (it->position > 0 && it->type_info) return SQI_NO_DATA;
  for (; it->position < it->dal->count; ++it->position) {
    DalEntry* entry = &it->dal->entries[it->position];
    if (!entry->present || it->status[it->position] != 0 || it->unallocated[it->position]) continue;
    if (!entry->ops->fetch) continue;
    int rc = entry->ops->fetch(it->stmts[it->position]);
    if (rc == SQI_ERROR) return SQI_ERROR;
    if (rc == SQI_OK || rc == SQI_INFO) return rc;
  }
  return SQI_NO_DATA;
}

namespace {

// Whether column `column` of a catalog kind holds a catalog name that gets the link prefix.
bool is_catalog_column(int kind, int column) {
  if (kind >= DAL_CATALOG_TABLES && kind <= DAL_CATALOG_PRIVILEGES) return column == 1;
  if (kind == DAL_CATALOG_FOREIGN_KEYS) return column == 1 || column == 5;
  return false;
}

int linked_catalog_value(DalIterator* it, DalEntry* entry, int column, int c_type, void* buffer,
                         SQLLEN length, SQLLEN* indicator) {
  char value[kCatalogBuffer + 1] = "";
  SQLLEN value_length = 0;
  int rc = entry->ops->get_data(it->stmts[it->position], column, SQL_C_CHAR, value, sizeof value,
                                &value_length);
  if (rc == SQI_ERROR) return rc;
  bool empty = value_length == SQL_NULL_DATA || value_length <= 0;
  char text[2 * kCatalogBuffer + 2];
  int n = std::snprintf(text, sizeof text, "%s$%s", entry->link, empty ? "" : value);
  if (indicator) *indicator = n;
  if (c_type != SQL_C_CHAR && c_type != SQL_C_DEFAULT) return SQI_ERROR;
  if (buffer && length > 0) {
    SQLLEN copy = n < length - 1 ? n : length - 1;
    std::memcpy(buffer, text, static_cast<size_t>(copy));
    static_cast<char*>(buffer)[copy] = '\0';
    return copy < n ? SQI_INFO : SQI_OK;
  }
  return SQI_OK;
}

}  // namespace

int DALGetData(DalIterator* it, int column, int c_type, void* buffer, SQLLEN length,
               SQLLEN* indicator) {
  if (it->position < 0 || it->position >= it->dal->count) return SQI_ERROR;
  DalEntry* entry = &it->dal->entries[it->position];
  if (!entry->ops->get_data) return SQI_ERROR;
  int kind = it->catalog_kind;
  if (it->position > 1 && entry->link[0] && !it->single_backend) {
    if (is_catalog_column(kind, column))
      return linked_catalog_value(it, entry, column, c_type, buffer, length, indicator);
    if (column == 2 && kind >= DAL_CATALOG_TABLES && kind <= DAL_CATALOG_PRIVILEGES) {
      int rc =
          entry->ops->get_data(it->stmts[it->position], column, c_type, buffer, length, indicator);
      if (rc != SQI_ERROR && indicator && *indicator == SQL_NULL_DATA) {
        *indicator = 0;
        if (buffer && length > 0 && (c_type == SQL_C_CHAR || c_type == SQL_C_DEFAULT))
          static_cast<char*>(buffer)[0] = '\0';
      }
      return rc;
    }
  }
  if (it->single_backend && it->end_of_data) {
    if (indicator) *indicator = SQL_NULL_DATA;
    return SQI_OK;
  }
  return entry->ops->get_data(it->stmts[it->position], column, c_type, buffer, length, indicator);
}

int DALExecSQL(DalIterator* it, const char* sql, void* statement, int index, void* reserved) {
  if (index < 0 || index >= it->dal->count) return SQI_ERROR;
  DalEntry* entry = &it->dal->entries[index];
  if (!entry->ops->exec_sql) return SQI_ERROR;
  it->single_backend = true;
  it->position = index;
  if (!allocate_statements(it, index)) return SQI_ERROR;
  return entry->ops->exec_sql(it->stmts[index], sql, statement, index, reserved);
}
