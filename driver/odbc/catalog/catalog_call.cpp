// The common course of every catalog function after its arguments are copied:
// state check, result pool and IRD, forced cursor attributes, then the
// data-access call, the sort and the cursor, applying the statement state.
#include "driver/odbc/catalog/catalog_call.h"

#include <atomic>
#include <new>
#include <utility>
#include <vector>

#include "driver/odbc/catalog/catalog_layout.h"
#include "driver/odbc/catalog/catalog_result.h"
#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_exec.h"

namespace {

// Ends a failed catalog call: no result, no columns, state S1.
SQLRETURN fail(QuillStmt* stmt) {
  stmt_release_text(stmt);
  reset_desc(stmt->ird);
  stmt->state = S1_ALLOCATED;
  return SQL_ERROR;
}

// The data-access call, the sort and the cursor (on the worker when asynchronous).
SQLRETURN catalog_work(QuillStmt* stmt) {
  auto* result = stmt->catalog;
  int rc = result ? catalog_result_run(stmt, result) : -1;
  if (rc < 0) return fail(stmt);
  stmt->row_count = -1;
  stmt->state = S5_CURSOR_OPEN;
  return rc == 1 ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

}  // namespace

bool catalog_force_cursor_attributes(StmtAttributes* attrs) {
  bool changed = false;
  if (attrs->concurrency != SQL_CONCUR_READ_ONLY) {
    attrs->concurrency = SQL_CONCUR_READ_ONLY;
    changed = true;
  }
  if (attrs->cursor_sensitivity != SQL_INSENSITIVE) {
    attrs->cursor_sensitivity = SQL_INSENSITIVE;
    changed = true;
  }
  if (attrs->cursor_type == SQL_CURSOR_KEYSET_DRIVEN || attrs->cursor_type == SQL_CURSOR_DYNAMIC) {
    attrs->cursor_type = SQL_CURSOR_STATIC;
    changed = true;
  }
  return changed;
}

SQLRETURN catalog_call(QuillStmt* stmt, const CatalogRequest& request) {
  bool handled = false;
  SQLRETURN rc = stmt_async_poll(stmt, request.function, &handled);
  if (handled) return rc;
  SetupErrorHeader(stmt->errors, 0);
  for (int i = 0; i < request.name_count; ++i) {
    if (request.names[i].bad_length) return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
    if (request.names[i].no_memory) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  }
  if (stmt_check(stmt, request.function, 0) != SQL_SUCCESS) return SQL_ERROR;
  const CatalogLayout* layout = catalog_layout(request.function, catalog_pk_table_given(request));
  if (!layout)
    return post_call_error(stmt->errors, "HY000", MSG_GENERAL_ERROR, "unknown catalog function");
  if (!stmt->dbc->dal) return post_call_error(stmt->errors, "08003", MSG_NO_CONNECTION);
  MemPool* pool = quill_mem_alloc_handle(stmt->pool);
  if (!pool) return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  // The open cursor and the previous text, plans and result go; the new result lives in the
  // fresh pool.
  stmt_release_text(stmt);
  stmt->tree_pool = pool;
  if (!catalog_fill_ird(stmt, *layout)) return fail(stmt);
  // Pattern arguments leave the data-access call and filter its rows instead.
  CatalogRequest exact = request;
  std::vector<CatalogPattern> patterns;
  try {
    catalog_take_patterns(&exact, stmt->attrs.metadata_id == SQL_TRUE, &patterns);
  } catch (const std::bad_alloc&) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return fail(stmt);
  }
  CatalogResult* result = catalog_result_create(stmt, *layout, exact);
  if (!result) return fail(stmt);
  result->patterns = std::move(patterns);
  if (catalog_force_cursor_attributes(&stmt->attrs)) {
    post_call_warning(stmt->errors, "01S02", MSG_VALUE_CHANGED);
    result->info = true;
  }
  rc = stmt_async_start(stmt, request.function, catalog_work, &handled);
  if (handled) return rc;
  return catalog_work(stmt);
}

namespace {

SQLRETURN service_tables(QuillStmt* stmt, const char* type) {
  CatalogRequest request;
  request.function = SQL_API_SQLTABLES;
  request.name_count = 4;
  if (type) {
    request.names[3].given = true;
    try {
      request.names[3].text = type;
    } catch (const std::bad_alloc&) {
      request.names[3].no_memory = true;
    }
  }
  // The engine's own use never runs on the worker thread.
  SQLULEN async = stmt->attrs.async_enable;
  stmt->attrs.async_enable = SQL_ASYNC_ENABLE_OFF;
  SQLRETURN rc = catalog_call(stmt, request);
  stmt->attrs.async_enable = async;
  return rc;
}

}  // namespace

SQLRETURN catalog_service_views(QuillStmt* stmt) {
  return service_tables(stmt, "VIEW");
}

SQLRETURN catalog_service_tables(QuillStmt* stmt, bool empty_tables) {
  return service_tables(stmt, empty_tables ? "EMPTY TABLES" : nullptr);
}
