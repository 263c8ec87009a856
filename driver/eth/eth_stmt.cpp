// Statements of the Ethereum backend: allocation and release, and the rows of
// catalog results, which are held in a RowSet, or of a data scan (eth_query.h).
#include <new>

#include "driver/dal/sqi/rowset.h"
#include "driver/eth/eth_prefetch.h"
#include "driver/eth/eth_query.h"
#include "driver/eth/eth_sqi.h"

SqiStmt eth_alloc_stmt(void* target, SqiEnv env, void* /*entry*/, void* /*argument*/) {
  if (!env) return nullptr;
  auto* stmt = new (std::nothrow) EthStmt;
  if (!stmt) {
    eth_post_error(static_cast<EthEnv*>(env), target, "HY001", "Memory allocation error");
    return nullptr;
  }
  stmt->target = target;
  stmt->env = static_cast<EthEnv*>(env);
  return stmt;
}

int eth_close_stmt(SqiStmt handle) {
  auto* stmt = static_cast<EthStmt*>(handle);
  if (!stmt) return SQI_OK;
  rowset_free(stmt->rows);
  stmt->rows = nullptr;
  eth_query_free(stmt->query);
  stmt->query = nullptr;
  return SQI_OK;
}

int eth_free_stmt(SqiStmt handle) {
  eth_close_stmt(handle);
  if (handle) eth_prefetch_forget(static_cast<EthStmt*>(handle));
  delete static_cast<EthStmt*>(handle);
  return SQI_OK;
}

int eth_set_wait(SqiStmt handle, const SqiWait* wait) {
  auto* stmt = static_cast<EthStmt*>(handle);
  if (stmt) stmt->wait = wait ? *wait : SqiWait{};
  return SQI_OK;
}

int eth_fetch(SqiStmt handle) {
  auto* stmt = static_cast<EthStmt*>(handle);
  if (!stmt) return SQI_NO_DATA;
  // A scan drops any catalog rows, so rows present are always the newer result.
  if (!stmt->rows) return stmt->query ? eth_query_fetch(stmt->query) : SQI_NO_DATA;
  return rowset_fetch(stmt->rows);
}

int eth_get_data(SqiStmt handle, int column, int c_type, void* buffer, SQLLEN length,
                 SQLLEN* indicator) {
  auto* stmt = static_cast<EthStmt*>(handle);
  if (!stmt) return SQI_ERROR;
  if (!stmt->rows && stmt->query)
    return eth_query_get_data(stmt, column, c_type, buffer, length, indicator);
  RowSet* rows = stmt->rows;
  if (!rows || rows->position == 0 || rows->position > rows->rows.size()) {
    eth_post_error(stmt->env, stmt->target, "24000", "Invalid cursor state");
    return SQI_ERROR;
  }
  if (column < 1 || static_cast<size_t>(column) > rows->columns.size()) {
    eth_post_error(stmt->env, stmt->target, "07009", "Invalid descriptor index");
    return SQI_ERROR;
  }
  int result = rowset_get_data(rows, column, c_type, buffer, length, indicator);
  if (result == SQI_ERROR)
    eth_post_error(stmt->env, stmt->target, "07006", "Restricted data type attribute violation");
  return result;
}

int eth_get_type_info(SqiStmt /*stmt*/, int /*sql_type*/) {
  return SQI_OK;
}
