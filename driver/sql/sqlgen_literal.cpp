// SQL text of values and types: literals of every value kind (date-time values as ODBC
// escape clauses, intervals as INTERVAL literals), data types, precision pairs and
// interval qualifiers.
#include <cstdio>
#include <cstring>
#include <string>

#include "driver/sql/literals.h"
#include "driver/sql/sqlgen_internal.h"

namespace {

const char* field_name(int32_t field) {
  static const char* const kNames[] = {"", "YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
  return field >= FIELD_YEAR && field <= FIELD_SECOND ? kNames[field] : "";
}

void print_interval_field(const IntervalFieldNode* node, SqlOutput& out) {
  if (node->precision >= 0 && node->fraction_precision >= 0) {
    sql_emitf(out, " %s( %d, %d ) ", field_name(node->field), node->precision,
              node->fraction_precision);
  } else if (node->precision >= 0) {
    sql_emitf(out, " %s( %d ) ", field_name(node->field), node->precision);
  } else if (node->fraction_precision >= 0) {
    // The SECOND that ends a range takes only its fractional precision.
    sql_emitf(out, " %s( %d ) ", field_name(node->field), node->fraction_precision);
  } else {
    sql_emitf(out, " %s ", field_name(node->field));
  }
}

void print_interval_range(const IntervalRangeNode* node, SqlOutput& out) {
  sql_print_node(node->start, out);
  sql_emitf(out, " TO ");
  sql_print_node(node->end, out);
}

void print_precision(const PrecisionNode* node, SqlOutput& out) {
  sql_emitf(out, " ( %d", node->first);
  if (node->second >= 0) {
    sql_emitf(out, ", %d ) ", node->second);
  } else {
    sql_emitf(out, " ) ");
  }
}

// Leading and trailing fields of an interval SQL type (101..113); false for other codes.
bool interval_fields(int32_t sql_type, int32_t* leading, int32_t* trailing) {
  static const int32_t kFields[13][2] = {
      {FIELD_YEAR, FIELD_NONE},    {FIELD_MONTH, FIELD_NONE},  {FIELD_DAY, FIELD_NONE},
      {FIELD_HOUR, FIELD_NONE},    {FIELD_MINUTE, FIELD_NONE}, {FIELD_SECOND, FIELD_NONE},
      {FIELD_YEAR, FIELD_MONTH},   {FIELD_DAY, FIELD_HOUR},    {FIELD_DAY, FIELD_MINUTE},
      {FIELD_DAY, FIELD_SECOND},   {FIELD_HOUR, FIELD_MINUTE}, {FIELD_HOUR, FIELD_SECOND},
      {FIELD_MINUTE, FIELD_SECOND}};
  if (sql_type < SQL_INTERVAL_YEAR || sql_type > SQL_INTERVAL_MINUTE_TO_SECOND) return false;
  *leading = kFields[sql_type - SQL_INTERVAL_YEAR][0];
  *trailing = kFields[sql_type - SQL_INTERVAL_YEAR][1];
  return true;
}

// An interval type: its qualifier as written, or one derived from the SQL type code (CONVERT
// targets carry none) and printed the same way.
void print_interval_type(const DataTypeNode* node, SqlOutput& out) {
  sql_emitf(out, " INTERVAL");
  if (node->qualifier) {
    sql_print_node(node->qualifier, out);
    return;
  }
  IntervalFieldNode start{{NODE_INTERVAL_FIELD}, FIELD_NONE, node->length, -1};
  IntervalFieldNode end{{NODE_INTERVAL_FIELD}, FIELD_NONE, -1, -1};
  interval_fields(node->sql_type, &start.field, &end.field);
  IntervalFieldNode* second = end.field == FIELD_NONE ? &start : &end;
  if (second->field == FIELD_SECOND && node->scale >= 0) {
    if (second == &start && start.precision < 0)
      start.precision = INTERVAL_DEFAULT_LEADING_PRECISION;
    if (second == &start) {
      start.fraction_precision = node->scale;
    } else {
      end.fraction_precision = node->scale;
    }
  }
  if (end.field == FIELD_NONE) {
    print_interval_field(&start, out);
  } else {
    IntervalRangeNode range{{NODE_INTERVAL_RANGE}, &start, &end};
    print_interval_range(&range, out);
  }
}

void print_data_type(const DataTypeNode* node, SqlOutput& out) {
  switch (node->sql_type) {
    case SQL_CHAR:
      if (node->length >= 0) {
        sql_emitf(out, " CHARACTER( %d ) ", node->length);
      } else {
        sql_emitf(out, " CHARACTER ");
      }
      return;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      sql_emitf(out, node->sql_type == SQL_NUMERIC ? " NUMERIC " : " DECIMAL ");
      if (node->precision) sql_print_node(node->precision, out);
      return;
    case SQL_INTEGER:
      sql_emitf(out, " INTEGER ");
      return;
    case SQL_SMALLINT:
      sql_emitf(out, " SMALLINT ");
      return;
    case SQL_FLOAT:
      sql_emitf(out, " FLOAT ");
      if (node->length > 0) sql_emitf(out, "( %d ) ", node->length);
      return;
    case SQL_REAL:
      sql_emitf(out, " REAL ");
      return;
    case SQL_DOUBLE:
      sql_emitf(out, " DOUBLE PRECISION ");
      return;
    case SQL_TYPE_DATE:
    case SQL_DATE:
      sql_emitf(out, " DATE ");
      return;
    case SQL_TYPE_TIME:
    case SQL_TIME:
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP: {
      bool is_time = node->sql_type == SQL_TYPE_TIME || node->sql_type == SQL_TIME;
      sql_emitf(out, is_time ? " TIME " : " TIMESTAMP ");
      if (node->length >= 0) sql_emitf(out, "( %d ) ", node->length);
      return;
    }
    case SQL_VARCHAR:
      sql_emitf(out, " CHARACTER VARYING( %d ) ", node->length >= 0 ? node->length : 254);
      return;
    case SQL_LONGVARCHAR:
      sql_emitf(out, " LONG VARCHAR ");
      return;
    case SQL_TINYINT:
      sql_emitf(out, " TINYINT ");
      return;
    case SQL_BIGINT:
      sql_emitf(out, " BIGINT ");
      return;
    case SQL_BIT:
      sql_emitf(out, " BIT ");
      return;
    case SQL_BINARY:
      sql_emitf(out, " BINARY( %d ) ", node->length >= 0 ? node->length : 254);
      return;
    case SQL_VARBINARY:
      sql_emitf(out, " VARBINARY( %d ) ", node->length >= 0 ? node->length : 254);
      return;
    case SQL_LONGVARBINARY:
      sql_emitf(out, " LONG VARBINARY ");
      return;
    default:
      break;
  }
  if (node->sql_type >= SQL_INTERVAL_YEAR && node->sql_type <= SQL_INTERVAL_MINUTE_TO_SECOND) {
    print_interval_type(node, out);
    return;
  }
  sql_emitf(out, " <unexpected data type %d> ", node->sql_type);
}

// "%f" without its trailing zeros and trailing point: 1500.000000 -> 1500, 0.250000 -> 0.25.
void print_double(double value, SqlOutput& out) {
  std::string text(static_cast<size_t>(snprintf(nullptr, 0, "%f", value)), '\0');
  snprintf(text.data(), text.size() + 1, "%f", value);
  if (text.find('.') != std::string::npos) {
    while (!text.empty() && text.back() == '0') text.pop_back();
    if (!text.empty() && text.back() == '.') text.pop_back();
  }
  sql_emitf(out, "%s ", text.c_str());
}

void print_string(const LiteralNode* node, SqlOutput& out) {
  std::string text = "'";
  const char* value = node->text ? node->text : "";
  size_t length =
      node->text && node->length >= 0 ? static_cast<size_t>(node->length) : strlen(value);
  for (size_t i = 0; i < length && value[i]; ++i) {
    if (value[i] == '\'') text += '\'';
    text += value[i];
  }
  text += "' ";
  sql_emitf(out, "%s", text.c_str());
}

void print_hex(const LiteralNode* node, SqlOutput& out) {
  sql_emitf(out, "X'");
  for (int32_t i = 0; node->bytes && i < node->byte_count; ++i)
    sql_emitf(out, "%02X", node->bytes[i]);
  sql_emitf(out, "' ");
}

// A #...# literal: a text that reads as a date, time or timestamp prints as its escape
// clause; any other text is kept between its hashes.
void print_hash_datetime(const LiteralNode* node, SqlOutput& out) {
  const char* text = node->text ? node->text : "";
  SQL_DATE_STRUCT date{};
  SQL_TIME_STRUCT time{};
  SQL_TIMESTAMP_STRUCT stamp{};
  if (parse_date_text(text, &date)) {
    sql_emitf(out, "{d'%04d-%02d-%02d'}", date.year, date.month, date.day);
  } else if (parse_time_text(text, &time)) {
    sql_emitf(out, "{t'%02d:%02d:%02d'}", time.hour, time.minute, time.second);
  } else if (parse_timestamp_text(text, &stamp)) {
    sql_emitf(out, "{ts'%04d-%02d-%02d %02d:%02d:%02d'}", stamp.year, stamp.month, stamp.day,
              stamp.hour, stamp.minute, stamp.second);
  } else {
    sql_emitf(out, "#%s# ", text);
  }
}

int digit_count(unsigned long value) {
  int digits = 1;
  while (value >= 10) {
    value /= 10;
    ++digits;
  }
  return digits;
}

// Fraction digits needed for `nanoseconds` (0 when there is no fraction).
int fraction_digits(unsigned long nanoseconds, char* digits) {
  if (nanoseconds == 0) return 0;
  snprintf(digits, 10, "%09lu", nanoseconds % 1000000000ul);
  int count = 9;
  while (count > 0 && digits[count - 1] == '0') --count;
  digits[count] = '\0';
  return count;
}

// An interval literal: INTERVAL [-]'body' qualifier, with the precisions the value needs
// to read back unchanged.
void print_interval_literal(const LiteralNode* node, SqlOutput& out) {
  int32_t leading = FIELD_NONE, trailing = FIELD_NONE;
  if (!interval_fields(node->interval_type, &leading, &trailing)) {
    sql_emitf(out, "<unexpected value type>");
    return;
  }
  const SQL_INTERVAL_STRUCT& value = node->interval;
  const SQLUINTEGER ym_year = value.intval.year_month.year;
  const SQLUINTEGER ym_month = value.intval.year_month.month;
  const SQL_DAY_SECOND_STRUCT& ds = value.intval.day_second;
  char fraction[10] = "";
  int fraction_count = fraction_digits(ds.fraction, fraction);
  std::string body;
  char piece[64];
  unsigned long leading_value = 0;
  const unsigned long fields[] = {0, ym_year, ym_month, ds.day, ds.hour, ds.minute, ds.second};
  for (int32_t field = leading; field <= (trailing ? trailing : leading); ++field) {
    unsigned long amount = fields[field];
    const char* separator = field == leading       ? ""
                            : field == FIELD_MONTH ? "-"
                            : field == FIELD_HOUR  ? " "
                                                   : ":";
    if (field == leading) {
      leading_value = amount;
      snprintf(piece, sizeof piece, "%lu", amount);
    } else {
      snprintf(piece, sizeof piece, "%s%02lu", separator, amount);
    }
    body += piece;
  }
  if (fraction_count > 0 && (leading == FIELD_SECOND || trailing == FIELD_SECOND)) {
    body += '.';
    body += fraction;
  }
  int leading_digits = digit_count(leading_value);
  std::string qualifier = field_name(leading);
  bool second_alone = leading == FIELD_SECOND;
  if (second_alone && fraction_count > INTERVAL_DEFAULT_FRACTION_PRECISION) {
    snprintf(piece, sizeof piece, "( %d, %d )", leading_digits > 2 ? leading_digits : 2,
             fraction_count);
    qualifier += piece;
  } else if (leading_digits > INTERVAL_DEFAULT_LEADING_PRECISION) {
    snprintf(piece, sizeof piece, "( %d )", leading_digits);
    qualifier += piece;
  }
  if (trailing != FIELD_NONE) {
    qualifier += " TO ";
    qualifier += field_name(trailing);
    if (trailing == FIELD_SECOND && fraction_count > INTERVAL_DEFAULT_FRACTION_PRECISION) {
      snprintf(piece, sizeof piece, "( %d )", fraction_count);
      qualifier += piece;
    }
  }
  sql_emitf(out, "INTERVAL %s'%s' %s ", value.interval_sign == SQL_TRUE ? "-" : "", body.c_str(),
            qualifier.c_str());
}

void print_literal(const LiteralNode* node, SqlOutput& out) {
  switch (node->value_kind) {
    case LIT_INTEGER:
    case LIT_BOOLEAN:
      sql_emitf(out, "%d ", node->integer);
      return;
    case LIT_DOUBLE:
      print_double(node->real, out);
      return;
    case LIT_STRING:
      print_string(node, out);
      return;
    case LIT_BIT_STRING:
      sql_emitf(out, "B'%s' ", node->text ? node->text : "");
      return;
    case LIT_HEX_STRING:
      print_hex(node, out);
      return;
    case LIT_DATE:
      sql_emitf(out, "{d'%04d-%02d-%02d'}", node->date.year, node->date.month, node->date.day);
      return;
    case LIT_TIME:
      sql_emitf(out, "{t'%02d:%02d:%02d'}", node->time.hour, node->time.minute, node->time.second);
      return;
    case LIT_TIMESTAMP:
      sql_emitf(out, "{ts'%04d-%02d-%02d %02d:%02d:%02d'}", node->timestamp.year,
                node->timestamp.month, node->timestamp.day, node->timestamp.hour,
                node->timestamp.minute, node->timestamp.second);
      return;
    case LIT_EXACT_NUMERIC:
      sql_emitf(out, "%s ", node->text ? node->text : "0");
      return;
    case LIT_NULL:
      sql_emitf(out, " NULL ");
      return;
    case LIT_CURRENT_DATE:
      sql_emitf(out, "CURRENT DATE ");
      return;
    case LIT_USER:
    case LIT_CURRENT_USER:
      sql_emitf(out, "USER ");
      return;
    case LIT_CURRENT_TIME:
      sql_emitf(out, "CURRENT TIME ");
      return;
    case LIT_CURRENT_TIMESTAMP:
      sql_emitf(out, "CURRENT TIMESTAMP ");
      return;
    case LIT_IDENTITY:
      sql_emitf(out, "@@IDENTITY ");
      return;
    case LIT_HASH_DATETIME:
      print_hash_datetime(node, out);
      return;
    case LIT_INTERVAL:
      print_interval_literal(node, out);
      return;
    default:
      sql_emitf(out, "<unexpected value type>");
      return;
  }
}

}  // namespace

bool sqlgen_print_value(const Node* node, SqlOutput& out) {
  switch (node->kind) {
    case NODE_LITERAL:
      print_literal(node_cast<LiteralNode>(node), out);
      return true;
    case NODE_DATA_TYPE:
      print_data_type(node_cast<DataTypeNode>(node), out);
      return true;
    case NODE_PRECISION:
      print_precision(node_cast<PrecisionNode>(node), out);
      return true;
    case NODE_INTERVAL_FIELD:
      print_interval_field(node_cast<IntervalFieldNode>(node), out);
      return true;
    case NODE_INTERVAL_RANGE:
      print_interval_range(node_cast<IntervalRangeNode>(node), out);
      return true;
    default:
      return false;
  }
}
