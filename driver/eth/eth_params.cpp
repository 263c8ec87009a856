// The calls of a scan from its restrictions: an `=` on a parameter column gives that parameter
// one value, an IN list one call per distinct value (in value order), and a range on a block
// parameter (both ends bounded; tags resolved once per scan) one call per block; several
// parameters with several values give every combination, at most `max_calls` of them. Each
// value goes as JSON (a string, a hex quantity for numbers of quantity parameters, a boolean
// flag, or parsed JSON for JSON parameters) and keeps its text for the parameter column of the
// call's rows; a required parameter without a value fails the scan with a message naming it
// and the operators that can supply it.
#include "driver/eth/eth_params.h"

#include <strings.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <optional>
#include <set>

#include "driver/eth/eth_block_tags.h"
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
  // A number written in decimal (or bound as an integer) for a quantity parameter.
  std::optional<uint64_t> decimal;
  if ((column.flags & ETH_COLUMN_QUANTITY) && !text.empty() &&
      text.find_first_not_of("0123456789") == std::string::npos)
    decimal = eth_block_number_text(text);
  if (column.flags & ETH_COLUMN_JSON) {
    json_error_t error;
    param = eth_json_loads_exact(text, &error);
    if (!param) {
      post(stmt, format("Failed extracting JSON for '%s':'%s'", column.name.c_str(), error.text));
      return nullptr;
    }
  } else if (column.sql_type == SQL_BIT) {
    param = json_boolean(std::atoi(text.c_str()) == 1);
  } else if (decimal) {
    // It goes as the hex quantity the node reads; its text stays as written for the rows.
    param = json_string(eth_hex_quantity(*decimal).c_str());
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

// What the restrictions say of one parameter column.
struct ParamSupply {
  const EthColumn* column = nullptr;    // the parameter column
  bool listed = false;                  // an `=` or IN gave values (`texts`)
  std::vector<std::string> texts;       // the values so far (intersected), "" for NULL
  std::vector<std::string> lower_ends;  // texts of `>=` bounds
  std::vector<std::string> lower_open;  // texts of `>` bounds
  std::vector<std::string> upper_ends;  // texts of `<=` bounds
  std::vector<std::string> upper_open;  // texts of `<` bounds
  int other_op = 0;                     // an operator that supplies no value, for the message
};

// How an operator is written, for messages.
const char* operator_text(int op) {
  switch (op) {
    case RESTRICT_LESS:
      return "<";
    case RESTRICT_GREATER:
      return ">";
    case RESTRICT_GREATER_EQUAL:
      return ">=";
    case RESTRICT_LESS_EQUAL:
      return "<=";
    case RESTRICT_NOT_EQUAL:
      return "<>";
    case RESTRICT_LIKE:
    case RESTRICT_PATTERN:
      return "LIKE";
    case RESTRICT_IS_NULL:
      return "IS NULL";
    default:
      return "another operator";
  }
}

// The key two texts of a parameter are the same value by: a quantity's number, else the text.
std::string value_key(const EthColumn& column, const std::string& text) {
  if (column.flags & ETH_COLUMN_QUANTITY)
    if (std::optional<uint64_t> number = eth_block_number_text(text))
      return "#" + std::to_string(*number);
  return "$" + text;
}

// Distinct values in value order: numbers of quantities by size (tags after them), else texts.
void order_values(const EthColumn& column, std::vector<std::string>* texts) {
  auto number = [&](const std::string& text) {
    return (column.flags & ETH_COLUMN_QUANTITY) ? eth_block_number_text(text) : std::nullopt;
  };
  std::stable_sort(texts->begin(), texts->end(), [&](const std::string& a, const std::string& b) {
    std::optional<uint64_t> x = number(a), y = number(b);
    if (x && y) return *x < *y;
    if (x || y) return x.has_value();
    return a < b;
  });
  std::vector<std::string> distinct;
  std::set<std::string> keys;
  for (std::string& text : *texts)
    if (keys.insert(value_key(column, text)).second) distinct.push_back(std::move(text));
  *texts = std::move(distinct);
}

// Takes the values `texts` of an `=` or IN: the first list is kept, later ones intersect it.
void take_list(ParamSupply* supply, std::vector<std::string> texts) {
  if (!supply->listed) {
    supply->listed = true;
    supply->texts = std::move(texts);
    return;
  }
  std::set<std::string> keys;
  for (const std::string& text : texts) keys.insert(value_key(*supply->column, text));
  std::vector<std::string> kept;
  for (std::string& text : supply->texts)
    if (keys.count(value_key(*supply->column, text))) kept.push_back(std::move(text));
  supply->texts = std::move(kept);
}

// The message for a required parameter that restrictions touch but do not supply.
std::string unsupplied_message(const ParamSupply& supply) {
  const std::string& name = supply.column->name;
  bool block = (supply.column->flags & ETH_COLUMN_BLOCK) != 0;
  int op = supply.other_op;
  if (!supply.lower_ends.empty()) op = RESTRICT_GREATER_EQUAL;
  if (!supply.lower_open.empty()) op = RESTRICT_GREATER;
  if (!supply.upper_ends.empty()) op = RESTRICT_LESS_EQUAL;
  if (!supply.upper_open.empty()) op = RESTRICT_LESS;
  std::string text =
      name +
      (block ? " must be given with =, IN or a range; got " : " must be given with = or IN; got ") +
      operator_text(op);
  bool bound = op >= RESTRICT_LESS && op <= RESTRICT_LESS_EQUAL;
  if (block && bound) text += " (a range needs both ends: BETWEEN a AND b, or >= a AND <= b)";
  if (!block && bound) text += " (ranges are taken on block numbers only)";
  return text;
}

// The largest range end taken: far beyond any chain, and room for the open-end step.
constexpr uint64_t kLargestRangeEnd = uint64_t{1} << 62;

// The bound of a list of range ends: the highest lower or the lowest upper block, `step` moved
// for open ends. False with the diagnostic posted.
bool range_end(EthStmt* stmt, const EthTable& table, const ParamSupply& supply, bool lower,
               EthResolvedTags* tags, int64_t* end, bool* decimal) {
  const std::vector<std::string>& closed = lower ? supply.lower_ends : supply.upper_ends;
  const std::vector<std::string>& open = lower ? supply.lower_open : supply.upper_open;
  bool first = true;
  for (int pass = 0; pass < 2; ++pass)
    for (const std::string& text : pass == 0 ? closed : open) {
      uint64_t number = 0;
      if (!eth_resolve_block(stmt, table.name, supply.column->name, text, tags, &number))
        return false;
      if (number > kLargestRangeEnd) {
        post(stmt, "The range on '" + supply.column->name + "' of " + table.name +
                       " has the end '" + text + "', beyond any block number");
        return false;
      }
      int64_t value = static_cast<int64_t>(number);
      if (pass == 1) value += lower ? 1 : -1;
      if (first && lower) *decimal = text.find_first_not_of("0123456789") == std::string::npos;
      if (first || (lower ? value > *end : value < *end)) *end = value;
      first = false;
    }
  return true;
}

}  // namespace

void eth_free_calls(std::vector<EthCall>* calls) {
  for (EthCall& call : *calls) json_decref(call.params);
  calls->clear();
}

int eth_gather_calls(EthStmt* stmt, const EthTable& table, int count,
                     Restriction* const* restrictions, std::vector<EthCall>* calls) {
  eth_free_calls(calls);
  std::vector<ParamSupply> supplies;
  for (const EthColumn& column : table.columns)
    if ((column.flags & ETH_COLUMN_PARAM) && !(column.flags & ETH_COLUMN_NESTED) &&
        column.param_position >= 0 && column.param_position < table.param_count)
      supplies.emplace_back().column = &column;
  for (int i = 0; restrictions && i < count; ++i) {
    const Restriction* restriction = restrictions[i];
    const EthColumn* column = restriction ? restricted_column(table, *restriction) : nullptr;
    auto supply = std::find_if(supplies.begin(), supplies.end(),
                               [&](const ParamSupply& s) { return s.column == column; });
    if (!column || supply == supplies.end()) continue;
    std::vector<std::string> texts;
    bool read = true;
    if (restriction->op == RESTRICT_IN) {
      for (int v = 0; read && v < restriction->in_count; ++v) {
        std::string text;
        read = eth_value_text(restriction->in_values[v], stmt->env, &text);
        if (read && !text.empty()) texts.push_back(std::move(text));
      }
    } else if (restriction->value) {
      texts.emplace_back();
      read = eth_value_text(restriction->value, stmt->env, &texts.back());
    }
    if (!read) {
      post(stmt, format("Failed reading the value of '%s'", column->name.c_str()));
      return SQI_ERROR;
    }
    bool block = (column->flags & ETH_COLUMN_BLOCK) != 0;
    switch (restriction->op) {
      case RESTRICT_EQUAL:  // a NULL value is sent as null (and no row compares equal)
        if (!texts.empty()) take_list(&*supply, std::move(texts));
        break;
      case RESTRICT_IN:
        take_list(&*supply, std::move(texts));
        break;
      case RESTRICT_GREATER_EQUAL:
      case RESTRICT_GREATER:
      case RESTRICT_LESS_EQUAL:
      case RESTRICT_LESS: {
        if (texts.empty() || texts[0].empty()) break;
        int op = restriction->op;
        auto& ends = op == RESTRICT_GREATER_EQUAL ? supply->lower_ends
                     : op == RESTRICT_GREATER     ? supply->lower_open
                     : op == RESTRICT_LESS_EQUAL  ? supply->upper_ends
                                                  : supply->upper_open;
        ends.push_back(std::move(texts[0]));
        if (!block) supply->other_op = op;
        break;
      }
      default:
        supply->other_op = restriction->op;
    }
  }

  // Each parameter's values; a parameter without any sends null.
  EthResolvedTags tags;
  std::vector<std::string> missing;
  std::vector<std::vector<std::string>> values(supplies.size());
  uint64_t combinations = 1;
  for (size_t p = 0; p < supplies.size(); ++p) {
    ParamSupply& supply = supplies[p];
    const EthColumn& column = *supply.column;
    bool required =
        (table.flags & ETH_TABLE_REQUIRED_PARAMS) && (column.flags & ETH_COLUMN_REQUIRED);
    bool lower = !supply.lower_ends.empty() || !supply.lower_open.empty();
    bool upper = !supply.upper_ends.empty() || !supply.upper_open.empty();
    bool ranged = (column.flags & ETH_COLUMN_BLOCK) && lower && upper;
    if (supply.listed && (lower || upper) && !(column.flags & ETH_COLUMN_BLOCK)) {
      // Bounds on a parameter that is no block number cannot narrow its list here.
      post(stmt, unsupplied_message(supply));
      return SQI_ERROR;
    }
    if (!supply.listed && !ranged) {
      if (!required) continue;
      if (lower || upper || supply.other_op) {
        post(stmt, unsupplied_message(supply));
        return SQI_ERROR;
      }
      missing.push_back(column.name);
      continue;
    }
    std::vector<std::string>& texts = values[p];
    if (ranged || (supply.listed && (lower || upper))) {
      int64_t first = 0, last = INT64_MAX;  // an end not given does not narrow a list
      bool decimal = false;
      if (!range_end(stmt, table, supply, true, &tags, &first, &decimal) ||
          !range_end(stmt, table, supply, false, &tags, &last, &decimal))
        return SQI_ERROR;
      if (supply.listed) {
        // A list and a range: the listed values inside the range.
        for (const std::string& text : supply.texts) {
          uint64_t number = 0;
          if (text.empty()) continue;  // NULL is in no range
          if (!eth_resolve_block(stmt, table.name, column.name, text, &tags, &number))
            return SQI_ERROR;
          if (static_cast<int64_t>(number) >= first && static_cast<int64_t>(number) <= last)
            texts.push_back(text);
        }
      } else {
        uint64_t span = last >= first ? static_cast<uint64_t>(last - first) + 1 : 0;
        if (span > static_cast<uint64_t>(stmt->env->connection->max_calls)) {
          post(stmt, "The range on '" + column.name + "' of " + table.name + " spans " +
                         std::to_string(span) + " blocks, more calls than max_calls (" +
                         std::to_string(stmt->env->connection->max_calls) +
                         ") allows; narrow the range or raise the max_calls connection key");
          return SQI_ERROR;
        }
        for (int64_t block = first; block <= last && last >= first; ++block)
          texts.push_back(decimal ? std::to_string(block)
                                  : eth_hex_quantity(static_cast<uint64_t>(block)));
      }
    } else {
      texts = supply.texts;
    }
    order_values(column, &texts);
    combinations *= texts.empty() ? 0 : texts.size();
    if (combinations > 1000000000ULL) combinations = 1000000000ULL;
  }
  if (!missing.empty()) {
    post(stmt, eth_missing_parameters_message(missing));
    return SQI_ERROR;
  }
  if (combinations > static_cast<uint64_t>(stmt->env->connection->max_calls)) {
    post(stmt, "The restrictions on " + table.name + " ask for " + std::to_string(combinations) +
                   " calls, more than max_calls (" +
                   std::to_string(stmt->env->connection->max_calls) +
                   ") allows; narrow the lists or ranges, or raise the max_calls connection key");
    return SQI_ERROR;
  }

  // Every combination of the values, the first parameter's varying slowest.
  std::vector<size_t> at(supplies.size(), 0);
  for (uint64_t made = 0; made < combinations; ++made) {
    calls->emplace_back();
    EthCall& call = calls->back();
    call.params = json_array();
    if (!call.params) throw std::bad_alloc();
    for (int i = 0; i < table.param_count; ++i) json_array_append_new(call.params, json_null());
    call.param_texts.assign(static_cast<size_t>(table.param_count), std::string());
    for (size_t p = 0; p < supplies.size(); ++p) {
      if (values[p].empty()) continue;
      const std::string& text = values[p][at[p]];
      if (text.empty()) continue;
      size_t position = static_cast<size_t>(supplies[p].column->param_position);
      json_t* param = parameter_value(stmt, *supplies[p].column, text);
      if (!param) return SQI_ERROR;
      json_array_set_new(call.params, position, param);
      call.param_texts[position] = text;
    }
    for (size_t p = supplies.size(); p-- > 0;) {
      if (values[p].empty()) continue;
      if (++at[p] < values[p].size()) break;
      at[p] = 0;
    }
  }
  return SQI_OK;
}
