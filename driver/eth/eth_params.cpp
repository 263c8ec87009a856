// The calls of a scan from its restrictions: each `=` restriction on a parameter column gives
// that parameter its JSON value (a string, a boolean flag, or parsed JSON for JSON
// parameters) and keeps its text for the parameter column of the rows; a required parameter
// without a value fails the scan with the message naming it.
#include "driver/eth/eth_params.h"

#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <new>

#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_query.h"
#include "driver/eth/eth_tables.h"
#include "support/unicode.h"

namespace {

// Posts HY000 with `message` on the statement's target.
void post(EthStmt* stmt, const std::string& message) {
  eth_post_error(stmt->env, stmt->target, "HY000", message.c_str());
}

// The message of `pattern` with the column name `name` and `detail` put in.
std::string format(const char* pattern, const char* name, const char* detail = "") {
  char buffer[2048];
  std::snprintf(buffer, sizeof buffer, pattern, name, detail);
  return buffer;
}

// The table column a restriction is on; null when it is not one of `table`'s.
const EthColumn* restricted_column(const EthTable& table, const Restriction& restriction) {
  if (!restriction.column) return nullptr;
  for (const EthColumn& column : table.columns)
    if (strcasecmp(column.name.c_str(), restriction.column->name) == 0) return &column;
  return nullptr;
}

// The JSON parameter of `column` for the text `text`; null with the diagnostic posted when the
// text cannot be sent. Throws std::bad_alloc.
json_t* parameter_value(EthStmt* stmt, const EthColumn& column, const std::string& text) {
  json_t* param = nullptr;
  if (column.flags & ETH_COLUMN_JSON) {
    json_error_t error;
    param = eth_json_loads_exact(text, &error);
    if (!param) {
      post(stmt, format("Failed extracting JSON for '%s':'%s'", column.name.c_str(), error.text));
      return nullptr;
    }
  } else if (column.sql_type == SQL_BIT) {
    param = json_boolean(std::atoi(text.c_str()) == 1);
  } else {
    // JSON text must be UTF-8: a value that is not would otherwise fail like memory.
    if (!utf8_is_valid(text.data(), text.size())) {
      eth_post_error(stmt->env, stmt->target, "22018",
                     format("The value of '%s' is not valid UTF-8 text; send it as UTF-8 "
                            "(or hex for bytes)",
                            column.name.c_str())
                         .c_str());
      return nullptr;
    }
    param = json_stringn(text.data(), text.size());
  }
  if (!param) throw std::bad_alloc();
  return param;
}

}  // namespace

void eth_free_calls(std::vector<EthCall>* calls) {
  for (EthCall& call : *calls) json_decref(call.params);
  calls->clear();
}

int eth_gather_calls(EthStmt* stmt, const EthTable& table, int count,
                     Restriction* const* restrictions, std::vector<EthCall>* calls) {
  eth_free_calls(calls);
  calls->emplace_back();
  EthCall& call = calls->back();
  call.params = json_array();
  if (!call.params) throw std::bad_alloc();
  for (int i = 0; i < table.param_count; ++i) json_array_append_new(call.params, json_null());
  call.param_texts.assign(static_cast<size_t>(table.param_count), std::string());
  std::vector<const EthColumn*> missing;
  if (table.flags & ETH_TABLE_REQUIRED_PARAMS)
    for (const EthColumn& column : table.columns)
      if (column.flags & ETH_COLUMN_REQUIRED) missing.push_back(&column);
  for (int i = 0; restrictions && i < count; ++i) {
    const Restriction* restriction = restrictions[i];
    if (!restriction || restriction->op != RESTRICT_EQUAL) continue;
    const EthColumn* column = restricted_column(table, *restriction);
    if (!column || !(column->flags & ETH_COLUMN_PARAM) || (column->flags & ETH_COLUMN_NESTED))
      continue;
    std::erase(missing, column);
    std::string text;
    if (restriction->value && !eth_value_text(restriction->value, stmt->env, &text)) {
      post(stmt, format("Failed reading the value of '%s'", column->name.c_str()));
      return SQI_ERROR;
    }
    if (text.empty()) continue;
    if (column->param_position < 0 || column->param_position >= table.param_count) continue;
    size_t position = static_cast<size_t>(column->param_position);
    json_t* param = parameter_value(stmt, *column, text);
    if (!param) return SQI_ERROR;
    json_array_set_new(call.params, position, param);
    call.param_texts[position] = std::move(text);
  }
  if (!missing.empty()) {
    std::vector<std::string> names;
    for (const EthColumn* column : missing) names.push_back(column->name);
    post(stmt, eth_missing_parameters_message(names));
    return SQI_ERROR;
  }
  return SQI_OK;
}
