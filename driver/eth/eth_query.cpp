// Starting a scan of an Ethereum table: the calls its restrictions give, made (eth_run_calls.cpp)
// into rows in call order, and the texts restriction values give parameters.
#include "driver/eth/eth_query.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "driver/dal/sqi/restriction.h"
#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_prefetch.h"
#include "driver/eth/eth_sqi.h"
#include "driver/eth/eth_tables.h"

namespace {

struct QueryDeleter {
  void operator()(EthQuery* query) const { eth_query_free(query); }
};
using QueryPtr = std::unique_ptr<EthQuery, QueryDeleter>;

// "%f" without trailing zeros, and without a trailing point.
std::string double_text(double number) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer, "%f", number);
  std::string text = buffer;
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  return text;
}

bool long_text(const LongBuffer* buffer, std::string* out) {
  int64_t length = long_buffer_length(buffer);
  if (length < 0) return true;  // NULL: no text
  out->resize(static_cast<size_t>(length));
  uint64_t offset = 0;
  while (offset < static_cast<uint64_t>(length)) {
    int64_t got = read_long_buffer_at(buffer, offset, out->data() + offset,
                                      static_cast<size_t>(length) - offset);
    if (got <= 0) return false;
    offset += static_cast<uint64_t>(got);
  }
  return true;
}

int run_scan(EthStmt* stmt, const DalTable& descriptor, int count,
             Restriction* const* restrictions) {
  EthEnv* env = stmt->env;
  if (!env || !env->connection || !env->tables) {
    eth_post_error(env, stmt->target, "08003", "Connection not open");
    return SQI_ERROR;
  }
  const EthTable* table = eth_find_table(env, descriptor.name);
  if (!table) return SQI_NOT_FOUND;
  QueryPtr query(new EthQuery);
  query->table = table;
  int rc = eth_gather_calls(stmt, *table, count, restrictions, &query->calls);
  if (rc != SQI_OK) return rc;
  // A join's lookups may have been made ahead, together with those of other outer rows.
  rc = eth_take_prefetched(stmt, query.get()) ? SQI_OK : eth_run_calls(stmt, query.get());
  if (rc != SQI_OK) return rc;
  if (!query->rows) query->rows = json_array();
  if (!query->rows) throw std::bad_alloc();
  query->row_count = json_array_size(query->rows);
  stmt->query = query.release();
  return SQI_OK;
}

}  // namespace

bool eth_value_text(const QuillValue* value, const EthEnv* env, std::string* out) {
  out->clear();
  if (!value || is_value_null(value)) return true;
  char buffer[128];
  switch (value->kind) {
    case VALUE_CHARACTER:
    case VALUE_BINARY: {
      if (!value->bytes.data) return true;
      size_t length = static_cast<size_t>(value->bytes.length < 0 ? 0 : value->bytes.length);
      if (value->kind == VALUE_CHARACTER)
        length = strnlen(value->bytes.data, static_cast<size_t>(value->bytes.capacity));
      out->assign(value->bytes.data, length);
      return true;
    }
    case VALUE_LONG_CHARACTER:
    case VALUE_LONG_BINARY:
      return !value->long_buffer || long_text(value->long_buffer, out);
    case VALUE_INTEGER:
    case VALUE_BIT:
      std::snprintf(buffer, sizeof buffer, "%d", value->payload.integer);
      break;
    case VALUE_BIGINT:
      std::snprintf(buffer, sizeof buffer, "%lld", static_cast<long long>(value->payload.bigint));
      break;
    case VALUE_DOUBLE:
      *out = double_text(value->payload.real);
      return true;
    case VALUE_DATE: {
      const SQL_DATE_STRUCT& d = value->payload.date;
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02d", d.year, d.month, d.day);
      break;
    }
    case VALUE_TIME: {
      const SQL_TIME_STRUCT& t = value->payload.time;
      std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", t.hour, t.minute, t.second);
      break;
    }
    case VALUE_TIMESTAMP: {
      const SQL_TIMESTAMP_STRUCT& t = value->payload.timestamp;
      int hours = env ? env->tz_hours : 0;
      int minutes = env ? env->tz_minutes : 0;
      std::snprintf(buffer, sizeof buffer, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", t.year,
                    t.month, t.day, t.hour, t.minute, t.second, hours > 0 ? '+' : '-',
                    std::abs(hours), std::abs(minutes));
      break;
    }
    case VALUE_NUMERIC:
      if (numeric_to_string(value, buffer, sizeof buffer) < 0) return false;
      break;
    default:
      if (value_as_text(value, buffer) < 0) return false;
      break;
  }
  *out = buffer;
  return true;
}

std::string eth_missing_parameters_message(const std::vector<std::string>& names) {
  if (names.empty()) return "";
  if (names.size() == 1) return "The column '" + names[0] + "' must be specified in the query";
  std::string text = "The columns '" + names[0] + "'";
  for (size_t i = 1; i + 1 < names.size(); ++i) text += ", '" + names[i] + "'";
  text += " and '" + names.back() + "' must be specified in the query";
  return text;
}

void eth_query_free(EthQuery* query) {
  if (!query) return;
  json_decref(query->rows);
  eth_free_calls(&query->calls);
  delete query;
}

int eth_start_scan(SqiStmt handle, const DalTable* table, const int* /*column_usage*/,
                   const int* /*key_map*/, int restriction_count,
                   Restriction* const* restrictions) {
  auto* stmt = static_cast<EthStmt*>(handle);
  if (!stmt || !table) return SQI_ERROR;
  eth_close_stmt(stmt);
  int count = restriction_count < 0 ? -restriction_count : restriction_count;
  try {
    return run_scan(stmt, *table, count, restrictions);
  } catch (const std::bad_alloc&) {
    eth_post_error(stmt->env, stmt->target, "HY001", "Memory allocation error");
  } catch (...) {
    eth_post_error(stmt->env, stmt->target, "HY000", "Query failed");
  }
  return SQI_ERROR;
}
