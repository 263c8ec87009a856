// The rows of a data scan: fetch over the reply's rows (one fetch per array
// element for child tables) and the conversion of each JSON value to the C
// type asked for, with long text handed out in pieces. A string is handed out
// straight from the reply and any other text is made once per value, so
// reading a value in pieces costs time in proportion to its length.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_query.h"
#include "driver/eth/eth_sqi.h"
#include "driver/eth/eth_tables.h"
#include "support/datetime.h"
#include "support/hex_quantity.h"
#include "support/numeric.h"

namespace {

struct JsonDeleter {
  void operator()(json_t* value) const { json_decref(value); }
};
using JsonPtr = std::unique_ptr<json_t, JsonDeleter>;

// The expansion array of row `row` (1-based) of a child table; null when absent.
json_t* expansion_array(const EthQuery* query, size_t row) {
  json_t* value = json_array_get(query->rows, row - 1);
  return json_object_get(value, query->table->expansion_path.c_str());
}

// The decimal number at `offset` of `text` (digits only, at most 9 of them); 0 when none.
int decimal_at(const char* text, size_t length, size_t offset) {
  int number = 0;
  for (size_t i = offset; i < length && i < offset + 9; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) break;
    number = number * 10 + (text[i] - '0');
  }
  return number;
}

// The JSON value of a column in the current row: borrowed from the reply, or made for a
// parameter column into `owned` (which must then be given). Null when the row has no such
// value.
json_t* column_value(const EthQuery* query, const EthColumn& column, JsonPtr* owned) {
  if (column.flags & ETH_COLUMN_PARAM) {
    size_t position = static_cast<size_t>(column.param_position);
    const std::vector<std::string>& texts = eth_row_param_texts(query);
    if (position >= texts.size() || texts[position].empty()) return nullptr;
    const std::string& text = texts[position];
    owned->reset(json_stringn(text.data(), text.size()));
    return owned->get();
  }
  json_t* row = json_array_get(query->rows, query->row - 1);
  if (column.flags & ETH_COLUMN_ELEMENT) {
    json_t* element = json_array_get(expansion_array(query, query->row), query->element - 1);
    if (!(column.flags & ETH_COLUMN_NESTED)) return element;
    // A list of hashes (transactions without details): the hash column reads the string.
    if (json_is_string(element)) return column.element_field == "hash" ? element : nullptr;
    if (column.element_field.empty()) return nullptr;
    return json_object_get(element, column.element_field.c_str());
  }
  // A result that is a list of hashes (block filter changes): `result` reads each string.
  if (json_is_string(row)) return column.member == "result" ? row : nullptr;
  if (column.flags & ETH_COLUMN_NESTED)
    return json_object_get(json_object_get(row, column.member.c_str()),
                           column.element_field.c_str());
  return json_object_get(row, column.member.c_str());
}

// The character form of a value; false for NULL.
bool value_text(json_t* value, std::string* out) {
  char buffer[512];
  switch (json_typeof(value)) {
    case JSON_STRING:
      out->assign(json_string_value(value), json_string_length(value));
      return true;
    case JSON_INTEGER:
      // The whole 64-bit value: cutting it to 32 bits would give a wrong number silently.
      std::snprintf(buffer, sizeof buffer, "%lld",
                    static_cast<long long>(json_integer_value(value)));
      *out = buffer;
      return true;
    case JSON_REAL:
      std::snprintf(buffer, sizeof buffer, "%f", json_real_value(value));
      *out = buffer;
      return true;
    case JSON_TRUE:
      *out = "True";
      return true;
    case JSON_FALSE:
      *out = "False";
      return true;
    case JSON_OBJECT:
    case JSON_ARRAY: {
      if (json_is_array(value) && json_array_size(value) == 0) return false;
      // Without JSON_COMPACT and without indentation Jansson writes one line with ", " and
      // ": " between items.
      char* text = json_dumps(value, JSON_PRESERVE_ORDER | JSON_ENCODE_ANY);
      if (!text) return false;
      *out = text;
      free(text);
      return true;
    }
    default:
      return false;
  }
}

// The text of column `column` of the current row: borrowed from the reply or the parameter
// texts when it is a string, else made into the query's piece text once for the column (and
// reused while it is read in pieces). False for NULL.
bool column_text(EthQuery* query, int column, std::string_view* text) {
  const EthColumn& described = query->table->columns[column - 1];
  if (described.flags & ETH_COLUMN_PARAM) {
    size_t position = static_cast<size_t>(described.param_position);
    const std::vector<std::string>& texts = eth_row_param_texts(query);
    if (position >= texts.size() || texts[position].empty()) return false;
    *text = texts[position];
    return true;
  }
  json_t* value = column_value(query, described, nullptr);
  if (!value || json_is_null(value)) return false;
  if (json_is_string(value)) {
    *text = std::string_view(json_string_value(value), json_string_length(value));
    return true;
  }
  if (query->read_column != column || !query->piece_text_ready) {
    query->piece_text.clear();
    query->piece_text_ready = false;
    if (!value_text(value, &query->piece_text)) return false;
    query->piece_text_ready = true;
  }
  *text = query->piece_text;
  return true;
}

// Hands out `text` from the statement's read offset into a character buffer.
int copy_text_piece(EthQuery* query, int column, std::string_view text, char* buffer, SQLLEN length,
                    SQLLEN* indicator) {
  if (query->read_column != column) {
    query->read_column = column;
    query->read_offset = 0;
  }
  size_t offset = query->read_offset < text.size() ? query->read_offset : text.size();
  size_t remaining = text.size() - offset;
  if (!buffer || length <= 0) {
    if (indicator) *indicator = static_cast<SQLLEN>(remaining);
    return remaining > 0 ? SQI_INFO : SQI_OK;
  }
  size_t room = static_cast<size_t>(length) - 1;
  if (remaining <= room) {
    std::memcpy(buffer, text.data() + offset, remaining);
    buffer[remaining] = '\0';
    if (indicator) *indicator = static_cast<SQLLEN>(remaining);
    query->read_column = 0;  // complete: a later read starts again at the beginning
    query->read_offset = 0;
    query->piece_text_ready = false;
    return SQI_OK;
  }
  std::memcpy(buffer, text.data() + offset, room);
  buffer[room] = '\0';
  if (indicator) *indicator = static_cast<SQLLEN>(room);
  query->read_offset = offset + room;
  return SQI_INFO;
}

void set_null(SQLLEN* indicator) {
  if (indicator) *indicator = SQL_NULL_DATA;
}

// An integer of the value for the integer C types; false for NULL.
bool value_integer(json_t* value, long long* out, bool* range_error) {
  switch (json_typeof(value)) {
    case JSON_STRING: {
      // Node quantities are hexadecimal ("0x1c9c380"); other texts are read as decimal.
      const char* text = json_string_value(value);
      const char* digits = text + (text[0] == '-' || text[0] == '+');
      int base = digits[0] == '0' && (digits[1] == 'x' || digits[1] == 'X') ? 16 : 10;
      errno = 0;
      *out = std::strtoll(text, nullptr, base);
      *range_error = errno == ERANGE;
      return true;
    }
    case JSON_INTEGER:
      *out = json_integer_value(value);
      return true;
    case JSON_REAL: {
      double real = json_real_value(value);
      if (!(real > -9.3e18 && real < 9.3e18)) {
        *range_error = true;
        return true;
      }
      *out = static_cast<long long>(real);
      return true;
    }
    case JSON_TRUE:
      *out = 1;
      return true;
    case JSON_FALSE:
      *out = 0;
      return true;
    default:
      return false;
  }
}

int read_integer(EthStmt* stmt, json_t* value, bool wide, void* buffer, SQLLEN* indicator) {
  long long number = 0;
  bool range_error = false;
  if (!value_integer(value, &number, &range_error)) {
    set_null(indicator);
    return SQI_OK;
  }
  if (!wide && (number < INT_MIN || number > INT_MAX)) range_error = true;
  if (range_error) {
    eth_post_error(stmt->env, stmt->target, "22003", "Numeric value out of range");
    return SQI_ERROR;
  }
  if (wide) {
    if (buffer) *static_cast<SQLBIGINT*>(buffer) = number;
    if (indicator) *indicator = sizeof(SQLBIGINT);
  } else {
    if (buffer) *static_cast<SQLINTEGER*>(buffer) = static_cast<SQLINTEGER>(number);
    if (indicator) *indicator = sizeof(SQLINTEGER);
  }
  return SQI_OK;
}

int read_double(json_t* value, void* buffer, SQLLEN* indicator) {
  double number = 0;
  if (json_is_string(value) && json_string_length(value) > 0) {
    number = std::strtod(json_string_value(value), nullptr);
  } else if (json_is_number(value)) {
    number = json_number_value(value);
  } else {
    set_null(indicator);
    return SQI_OK;
  }
  if (buffer) *static_cast<SQLDOUBLE*>(buffer) = number;
  if (indicator) *indicator = sizeof(SQLDOUBLE);
  return SQI_OK;
}

int read_temporal(const EthEnv* env, json_t* value, int c_type, void* buffer, SQLLEN* indicator) {
  const char* text = json_string_value(value);
  size_t length = text ? json_string_length(value) : 0;
  if (c_type == SQL_C_DATE || c_type == SQL_C_TYPE_DATE) {
    if (length < 10) return set_null(indicator), SQI_OK;
    SQL_DATE_STRUCT date{static_cast<SQLSMALLINT>(decimal_at(text, length, 0)),
                         static_cast<SQLUSMALLINT>(decimal_at(text, length, 5)),
                         static_cast<SQLUSMALLINT>(decimal_at(text, length, 8))};
    if (buffer) std::memcpy(buffer, &date, sizeof date);
    if (indicator) *indicator = sizeof date;
  } else if (c_type == SQL_C_TIME || c_type == SQL_C_TYPE_TIME) {
    if (length <= 7) return set_null(indicator), SQI_OK;
    SQL_TIME_STRUCT time{static_cast<SQLUSMALLINT>(decimal_at(text, length, 0)),
                         static_cast<SQLUSMALLINT>(decimal_at(text, length, 3)),
                         static_cast<SQLUSMALLINT>(decimal_at(text, length, 6))};
    if (buffer) std::memcpy(buffer, &time, sizeof time);
    if (indicator) *indicator = sizeof time;
  } else {
    if (length <= 16) return set_null(indicator), SQI_OK;
    SQL_TIMESTAMP_STRUCT stamp{};
    eth_timestamp_from_text(text, env ? env->tz_hours : 0, env ? env->tz_minutes : 0, &stamp);
    if (buffer) std::memcpy(buffer, &stamp, sizeof stamp);
    if (indicator) *indicator = sizeof stamp;
  }
  return SQI_OK;
}

// A typed quantity of the current row, decoded once: its magnitude, as a NUMERIC(38,0) for
// numbers, and for times the stamp.
struct TypedValue {
  unsigned __int128 magnitude = 0;
  SQL_NUMERIC_STRUCT numeric{};
  SQL_TIMESTAMP_STRUCT stamp{};
};

// Posts `sqlstate` with a message naming the column and the node's text, and what to do.
int post_typed_error(EthStmt* stmt, const EthColumn& column, const char* sqlstate,
                     const char* problem, const std::string& shown) {
  std::string message = "Column '" + column.name + "' " + problem + ": '" + shown.substr(0, 80) +
                        (shown.size() > 80 ? "..." : "") +
                        "'; connect with typed_values=no to read the node's text";
  eth_post_error(stmt->env, stmt->target, sqlstate, message.c_str());
  return SQI_ERROR;
}

// Decodes the node's value of a typed column: a hex quantity (or a non-negative JSON integer)
// within the column type's range. SQI_OK, or SQI_ERROR posted: 22018 for a value that is not a
// quantity, 22003 beyond BIGINT or 38 digits, 22008 for a time beyond the year 9999.
int decode_typed(EthStmt* stmt, const EthColumn& column, json_t* value, TypedValue* out) {
  std::string shown;
  bool too_large = false;
  if (json_is_string(value)) {
    shown.assign(json_string_value(value), json_string_length(value));
    HexQuantity read = hex_quantity_read(shown, &out->magnitude);
    if (read == HexQuantity::NOT_HEX)
      return post_typed_error(stmt, column, "22018", "holds text that is not a hex quantity",
                              shown);
    too_large = read == HexQuantity::TOO_LARGE;
  } else if (json_is_integer(value) && json_integer_value(value) >= 0) {
    out->magnitude = static_cast<unsigned __int128>(json_integer_value(value));
    shown = std::to_string(json_integer_value(value));
  } else {
    value_text(value, &shown);
    return post_typed_error(stmt, column, "22018", "holds a value that is not a quantity", shown);
  }
  switch (column.sql_type) {
    case SQL_BIGINT:
      if (too_large || out->magnitude > static_cast<unsigned __int128>(INT64_MAX))
        return post_typed_error(stmt, column, "22003", "holds a value beyond BIGINT", shown);
      break;
    case SQL_NUMERIC:
      if (too_large || hex_quantity_numeric(out->magnitude, static_cast<int>(column.length), 0,
                                            &out->numeric) != NUMERIC_OK)
        return post_typed_error(stmt, column, "22003", "holds a value beyond 38 digits", shown);
      return SQI_OK;
    default:  // a time
      if (too_large || !unix_seconds_timestamp(out->magnitude, &out->stamp))
        return post_typed_error(stmt, column, "22008", "holds a time beyond the year 9999", shown);
      return SQI_OK;
  }
  hex_quantity_numeric(out->magnitude, ETH_NUMERIC_PRECISION, 0, &out->numeric);
  return SQI_OK;
}

// "YYYY-MM-DD HH:MM:SS" of a timestamp.
std::string timestamp_text(const SQL_TIMESTAMP_STRUCT& stamp) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", stamp.year, stamp.month,
                stamp.day, stamp.hour, stamp.minute, stamp.second);
  return text;
}

// The decimal text of a typed number.
std::string number_text(const SQL_NUMERIC_STRUCT& numeric) {
  char text[NUMERIC_TEXT_MAX];
  numeric_to_text(&numeric, text, sizeof text);
  return text;
}

// Stores a fixed-size value and its length.
template <typename T>
int put_fixed(const T& value, void* buffer, SQLLEN* indicator) {
  if (buffer) std::memcpy(buffer, &value, sizeof value);
  if (indicator) *indicator = sizeof value;
  return SQI_OK;
}

// Reads a typed column (BIGINT, NUMERIC(38,0) or TIMESTAMP decoded from the node's hex) as
// `c_type`. Text is the decimal number or "YYYY-MM-DD HH:MM:SS", handed out in pieces.
int read_typed(EthStmt* stmt, int column, int c_type, void* buffer, SQLLEN length,
               SQLLEN* indicator) {
  EthQuery* query = stmt->query;
  const EthColumn& described = query->table->columns[column - 1];
  JsonPtr owned;
  json_t* value = column_value(query, described, &owned);
  if (!value || json_is_null(value)) {
    set_null(indicator);
    return SQI_OK;
  }
  TypedValue typed;
  if (decode_typed(stmt, described, value, &typed) != SQI_OK) return SQI_ERROR;
  const bool is_time = described.sql_type == SQL_TYPE_TIMESTAMP;
  const bool fits = !is_time && typed.magnitude <= static_cast<unsigned __int128>(INT64_MAX);
  const int64_t number = fits ? static_cast<int64_t>(typed.magnitude) : 0;
  auto out_of_range = [&] {
    eth_post_error(stmt->env, stmt->target, "22003", "Numeric value out of range");
    return SQI_ERROR;
  };
  switch (c_type) {
    case SQL_C_CHAR:
      if (query->read_column != column || !query->piece_text_ready) {
        query->piece_text = is_time ? timestamp_text(typed.stamp) : number_text(typed.numeric);
        query->piece_text_ready = true;
      }
      return copy_text_piece(query, column, query->piece_text, static_cast<char*>(buffer), length,
                             indicator);
    case SQL_C_SBIGINT:
      if (is_time) break;
      if (!fits) return out_of_range();
      return put_fixed(static_cast<SQLBIGINT>(number), buffer, indicator);
    case SQL_C_LONG:
    case SQL_C_SLONG:
      if (is_time) break;
      if (!fits || number > INT_MAX) return out_of_range();
      return put_fixed(static_cast<SQLINTEGER>(number), buffer, indicator);
    case SQL_C_DOUBLE:
      if (is_time) break;
      return put_fixed(static_cast<double>(typed.magnitude), buffer, indicator);
    case SQL_C_NUMERIC: {
      if (is_time) break;
      return put_fixed(typed.numeric, buffer, indicator);
    }
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      if (!is_time) break;
      return put_fixed(typed.stamp, buffer, indicator);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
      if (!is_time) break;
      return put_fixed(SQL_DATE_STRUCT{typed.stamp.year, typed.stamp.month, typed.stamp.day},
                       buffer, indicator);
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
      if (!is_time) break;
      return put_fixed(SQL_TIME_STRUCT{typed.stamp.hour, typed.stamp.minute, typed.stamp.second},
                       buffer, indicator);
    default:
      break;
  }
  eth_post_error(stmt->env, stmt->target, "07006", "Restricted data type attribute violation");
  return SQI_ERROR;
}

}  // namespace

void eth_timestamp_from_text(const char* text, int tz_hours, int tz_minutes,
                             SQL_TIMESTAMP_STRUCT* out) {
  size_t length = text ? std::strlen(text) : 0;
  int year = decimal_at(text, length, 0);
  int month = decimal_at(text, length, 5);
  int day = decimal_at(text, length, 8);
  int hour = decimal_at(text, length, 11);
  int minute = decimal_at(text, length, 14);
  int second = decimal_at(text, length, 17);
  int offset = 0;
  if (length > 19 && (text[19] == '+' || text[19] == '-')) {
    offset = decimal_at(text, length, 20) * 60 + decimal_at(text, length, 23);
    if (text[19] == '-') offset = -offset;
  }
  if (offset != 0) {
    long long minutes =
        (static_cast<long long>(hour) + tz_hours) * 60 + tz_minutes + minute - offset;
    long long days = minutes >= 0 ? minutes / 1440 : -((-minutes + 1439) / 1440);
    minutes -= days * 1440;
    if (days != 0) jdnl_to_ymd(ymd_to_jdnl(year, month, day) + days, &year, &month, &day);
    hour = static_cast<int>(minutes / 60);
    minute = static_cast<int>(minutes % 60);
  }
  *out = SQL_TIMESTAMP_STRUCT{};
  out->year = static_cast<SQLSMALLINT>(year);
  out->month = static_cast<SQLUSMALLINT>(month);
  out->day = static_cast<SQLUSMALLINT>(day);
  out->hour = static_cast<SQLUSMALLINT>(hour);
  out->minute = static_cast<SQLUSMALLINT>(minute);
  out->second = static_cast<SQLUSMALLINT>(second);
}

const std::vector<std::string>& eth_row_param_texts(const EthQuery* query) {
  static const std::vector<std::string> none;
  return query->call < query->calls.size() ? query->calls[query->call].param_texts : none;
}

namespace {

// Moves `row` on to `row` and the call index on to the call that row came from.
void enter_row(EthQuery* query, size_t row) {
  query->row = row;
  while (query->call + 1 < query->calls.size() && row > query->calls[query->call].row_end)
    ++query->call;
}

}  // namespace

int eth_query_fetch(EthQuery* query) {
  if (!query || query->end) return SQI_NO_DATA;
  query->read_column = 0;
  query->read_offset = 0;
  query->piece_text_ready = false;
  if (!(query->table->flags & ETH_TABLE_CHILD)) {
    if (query->row < query->row_count) {
      enter_row(query, query->row + 1);
      return SQI_OK;
    }
    query->end = true;
    return SQI_NO_DATA;
  }
  if (query->row >= 1 && query->element < json_array_size(expansion_array(query, query->row))) {
    ++query->element;
    return SQI_OK;
  }
  while (query->row < query->row_count) {
    enter_row(query, query->row + 1);
    query->element = 0;
    if (json_array_size(expansion_array(query, query->row)) > 0) {
      query->element = 1;
      return SQI_OK;
    }
  }
  query->end = true;
  return SQI_NO_DATA;
}

int eth_query_get_data(EthStmt* stmt, int column, int c_type, void* buffer, SQLLEN length,
                       SQLLEN* indicator) {
  EthQuery* query = stmt->query;
  if (!query || query->row == 0 || query->end) {
    eth_post_error(stmt->env, stmt->target, "24000", "Invalid cursor state");
    return SQI_ERROR;
  }
  if (column < 1 || static_cast<size_t>(column) > query->table->columns.size()) {
    eth_post_error(stmt->env, stmt->target, "07009", "Invalid descriptor index");
    return SQI_ERROR;
  }
  if (query->table->columns[column - 1].typed)
    return read_typed(stmt, column, c_type, buffer, length, indicator);
  if (c_type == SQL_C_CHAR) {
    std::string_view text;
    if (!column_text(query, column, &text)) {
      set_null(indicator);
      return SQI_OK;
    }
    return copy_text_piece(query, column, text, static_cast<char*>(buffer), length, indicator);
  }
  JsonPtr owned;
  json_t* value = column_value(query, query->table->columns[column - 1], &owned);
  if (!value || json_is_null(value)) {
    set_null(indicator);
    return SQI_OK;
  }
  switch (c_type) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
      return read_integer(stmt, value, false, buffer, indicator);
    case SQL_C_SBIGINT:
      return read_integer(stmt, value, true, buffer, indicator);
    case SQL_C_DOUBLE:
      return read_double(value, buffer, indicator);
    case SQL_C_DATE:
    case SQL_C_TYPE_DATE:
    case SQL_C_TIME:
    case SQL_C_TYPE_TIME:
    case SQL_C_TIMESTAMP:
    case SQL_C_TYPE_TIMESTAMP:
      return read_temporal(stmt->env, value, c_type, buffer, indicator);
    default:
      return SQI_OK;  // other C types give no data
  }
}
