// The type catalog of the view store: names, sizes, literal quotes, creation
// parameters, searchability and scale ranges of every SQL data type the
// engine handles, as the rows of SQLGetTypeInfo.
#include "driver/backends/type_info.h"

#include <sql.h>
#include <sqlext.h>

#include "support/numeric.h"

namespace {

constexpr int kNull = -1;  // a numeric cell that answers NULL
constexpr int kLongSize = 2147483647;
constexpr int kTextSize = 254;  // the engine's size of an unsized character or binary column
constexpr int kFraction = 6;    // fraction digits of times, timestamps and interval seconds
constexpr int kLeading = 2;     // default leading precision of an interval

// One type: the cells of its row that differ between types.
struct TypeRow {
  const char* name;           // TYPE_NAME (and LOCAL_TYPE_NAME)
  int data_type;              // DATA_TYPE (concise ODBC 3 code)
  int column_size;            // COLUMN_SIZE; 0 for intervals (computed)
  const char* prefix;         // LITERAL_PREFIX, null for none
  const char* suffix;         // LITERAL_SUFFIX, null for none
  const char* create_params;  // CREATE_PARAMS, null for none
  int case_sensitive;         // CASE_SENSITIVE
  int searchable;             // SEARCHABLE
  int unsigned_attribute;     // UNSIGNED_ATTRIBUTE, kNull for non-numeric types
  int auto_unique;            // AUTO_UNIQUE_VALUE, kNull for non-numeric types
  int minimum_scale;          // MINIMUM_SCALE, kNull when not applicable
  int maximum_scale;          // MAXIMUM_SCALE, kNull when not applicable
  int radix;                  // NUM_PREC_RADIX, kNull for non-numeric types
};

// Literals as the engine's scanner reads them: quoted text, 0x-prefixed hexadecimal binary,
// the ODBC escapes of dates and times (a bare quoted text would be a character value), and
// INTERVAL '...' <qualifier>.
constexpr TypeRow kTypes[] = {
    {"CHAR", SQL_CHAR, kTextSize, "'", "'", "length", SQL_TRUE, SQL_SEARCHABLE, kNull, kNull, kNull,
     kNull, kNull},
    {"VARCHAR", SQL_VARCHAR, kTextSize, "'", "'", "length", SQL_TRUE, SQL_SEARCHABLE, kNull, kNull,
     kNull, kNull, kNull},
    {"LONG VARCHAR", SQL_LONGVARCHAR, kLongSize, "'", "'", nullptr, SQL_TRUE, SQL_PRED_CHAR, kNull,
     kNull, kNull, kNull, kNull},
    // The catalog reports the node's text columns with the wide types (applications read them
    // as Unicode); their values are the engine's character values.
    {"WCHAR", SQL_WCHAR, kTextSize, "'", "'", "length", SQL_TRUE, SQL_SEARCHABLE, kNull, kNull,
     kNull, kNull, kNull},
    {"WVARCHAR", SQL_WVARCHAR, kTextSize, "'", "'", "length", SQL_TRUE, SQL_SEARCHABLE, kNull,
     kNull, kNull, kNull, kNull},
    {"WLONGVARCHAR", SQL_WLONGVARCHAR, kLongSize, "'", "'", nullptr, SQL_TRUE, SQL_PRED_CHAR, kNull,
     kNull, kNull, kNull, kNull},
    {"BINARY", SQL_BINARY, kTextSize, "0x", nullptr, "length", SQL_FALSE, SQL_PRED_BASIC, kNull,
     kNull, kNull, kNull, kNull},
    {"VARBINARY", SQL_VARBINARY, kTextSize, "0x", nullptr, "length", SQL_FALSE, SQL_PRED_BASIC,
     kNull, kNull, kNull, kNull, kNull},
    {"LONG VARBINARY", SQL_LONGVARBINARY, kLongSize, "0x", nullptr, nullptr, SQL_FALSE,
     SQL_PRED_NONE, kNull, kNull, kNull, kNull, kNull},
    {"BIT", SQL_BIT, 1, nullptr, nullptr, nullptr, SQL_FALSE, SQL_PRED_BASIC, kNull, kNull, kNull,
     kNull, kNull},
    {"TINYINT", SQL_TINYINT, 3, nullptr, nullptr, nullptr, SQL_FALSE, SQL_PRED_BASIC, SQL_FALSE,
     SQL_FALSE, 0, 0, 10},
    {"SMALLINT", SQL_SMALLINT, 5, nullptr, nullptr, nullptr, SQL_FALSE, SQL_PRED_BASIC, SQL_FALSE,
     SQL_FALSE, 0, 0, 10},
    {"INTEGER", SQL_INTEGER, 10, nullptr, nullptr, nullptr, SQL_FALSE, SQL_PRED_BASIC, SQL_FALSE,
     SQL_FALSE, 0, 0, 10},
    {"BIGINT", SQL_BIGINT, 19, nullptr, nullptr, nullptr, SQL_FALSE, SQL_PRED_BASIC, SQL_FALSE,
     SQL_FALSE, 0, 0, 10},
    {"REAL", SQL_REAL, 7, nullptr, nullptr, nullptr, SQL_FALSE, SQL_PRED_BASIC, SQL_FALSE,
     SQL_FALSE, kNull, kNull, 10},
    {"FLOAT", SQL_FLOAT, 15, nullptr, nullptr, "precision", SQL_FALSE, SQL_PRED_BASIC, SQL_FALSE,
     SQL_FALSE, kNull, kNull, 10},
    {"DOUBLE", SQL_DOUBLE, 15, nullptr, nullptr, nullptr, SQL_FALSE, SQL_PRED_BASIC, SQL_FALSE,
     SQL_FALSE, kNull, kNull, 10},
    {"NUMERIC", SQL_NUMERIC, NUMERIC_MAX_PRECISION, nullptr, nullptr, "precision,scale", SQL_FALSE,
     SQL_PRED_BASIC, SQL_FALSE, SQL_FALSE, 0, NUMERIC_MAX_PRECISION, 10},
    {"DECIMAL", SQL_DECIMAL, NUMERIC_MAX_PRECISION, nullptr, nullptr, "precision,scale", SQL_FALSE,
     SQL_PRED_BASIC, SQL_FALSE, SQL_FALSE, 0, NUMERIC_MAX_PRECISION, 10},
    {"DATE", SQL_TYPE_DATE, 10, "{d '", "'}", nullptr, SQL_FALSE, SQL_PRED_BASIC, kNull, kNull,
     kNull, kNull, kNull},
    {"TIME", SQL_TYPE_TIME, 8, "{t '", "'}", nullptr, SQL_FALSE, SQL_PRED_BASIC, kNull, kNull, 0, 0,
     kNull},
    {"TIMESTAMP", SQL_TYPE_TIMESTAMP, 26, "{ts '", "'}", nullptr, SQL_FALSE, SQL_PRED_BASIC, kNull,
     kNull, 0, kFraction, kNull},
};

// The interval types: the literal's closing text names the qualifier. The size is the text
// length at the default leading precision (2) and, with seconds, kFraction fraction digits:
// "-MM", " HH", ":MM", ":SS" add 3 characters each, the point and the fraction 7.
struct IntervalRow {
  const char* name;    // TYPE_NAME
  int data_type;       // SQL_INTERVAL_*
  const char* suffix;  // LITERAL_SUFFIX
  int column_size;     // COLUMN_SIZE
  bool seconds;        // the type has a seconds field
};

constexpr IntervalRow kIntervals[] = {
    {"INTERVAL YEAR", SQL_INTERVAL_YEAR, "' YEAR", 2, false},
    {"INTERVAL MONTH", SQL_INTERVAL_MONTH, "' MONTH", 2, false},
    {"INTERVAL DAY", SQL_INTERVAL_DAY, "' DAY", 2, false},
    {"INTERVAL HOUR", SQL_INTERVAL_HOUR, "' HOUR", 2, false},
    {"INTERVAL MINUTE", SQL_INTERVAL_MINUTE, "' MINUTE", 2, false},
    {"INTERVAL SECOND", SQL_INTERVAL_SECOND, "' SECOND", 9, true},
    {"INTERVAL YEAR TO MONTH", SQL_INTERVAL_YEAR_TO_MONTH, "' YEAR TO MONTH", 5, false},
    {"INTERVAL DAY TO HOUR", SQL_INTERVAL_DAY_TO_HOUR, "' DAY TO HOUR", 5, false},
    {"INTERVAL DAY TO MINUTE", SQL_INTERVAL_DAY_TO_MINUTE, "' DAY TO MINUTE", 8, false},
    {"INTERVAL DAY TO SECOND", SQL_INTERVAL_DAY_TO_SECOND, "' DAY TO SECOND", 18, true},
    {"INTERVAL HOUR TO MINUTE", SQL_INTERVAL_HOUR_TO_MINUTE, "' HOUR TO MINUTE", 5, false},
    {"INTERVAL HOUR TO SECOND", SQL_INTERVAL_HOUR_TO_SECOND, "' HOUR TO SECOND", 15, true},
    {"INTERVAL MINUTE TO SECOND", SQL_INTERVAL_MINUTE_TO_SECOND, "' MINUTE TO SECOND", 12, true},
};

const RowSetColumn kLayout[] = {
    {"TYPE_NAME", SQL_VARCHAR},           {"DATA_TYPE", SQL_SMALLINT},
    {"COLUMN_SIZE", SQL_INTEGER},         {"LITERAL_PREFIX", SQL_VARCHAR},
    {"LITERAL_SUFFIX", SQL_VARCHAR},      {"CREATE_PARAMS", SQL_VARCHAR},
    {"NULLABLE", SQL_SMALLINT},           {"CASE_SENSITIVE", SQL_SMALLINT},
    {"SEARCHABLE", SQL_SMALLINT},         {"UNSIGNED_ATTRIBUTE", SQL_SMALLINT},
    {"FIXED_PREC_SCALE", SQL_SMALLINT},   {"AUTO_UNIQUE_VALUE", SQL_SMALLINT},
    {"LOCAL_TYPE_NAME", SQL_VARCHAR},     {"MINIMUM_SCALE", SQL_SMALLINT},
    {"MAXIMUM_SCALE", SQL_SMALLINT},      {"SQL_DATA_TYPE", SQL_SMALLINT},
    {"SQL_DATETIME_SUB", SQL_SMALLINT},   {"NUM_PREC_RADIX", SQL_INTEGER},
    {"INTERVAL_PRECISION", SQL_SMALLINT},
};

// The verbose type (SQL_DATA_TYPE) and subcode (SQL_DATETIME_SUB) of a concise type.
void verbose_type(int data_type, int* verbose, int* subcode) {
  *subcode = kNull;
  *verbose = data_type;
  if (data_type >= SQL_TYPE_DATE && data_type <= SQL_TYPE_TIMESTAMP) {
    *verbose = SQL_DATETIME;
    *subcode = data_type - SQL_TYPE_DATE + SQL_CODE_DATE;
  } else if (data_type >= SQL_INTERVAL_YEAR && data_type <= SQL_INTERVAL_MINUTE_TO_SECOND) {
    *verbose = SQL_INTERVAL;
    *subcode = data_type - SQL_INTERVAL_YEAR + SQL_CODE_YEAR;
  }
}

// Adds one row; false when memory runs out.
bool add_row(RowSet* rows, const TypeRow& t, int interval_precision) {
  auto small = [&](int column, int value) {
    return value == kNull ? rowset_set_null(rows, column) : rowset_set_int16(rows, column, value);
  };
  int verbose = 0, subcode = 0;
  verbose_type(t.data_type, &verbose, &subcode);
  return rowset_add_row(rows) && rowset_set_text(rows, 1, t.name) &&
         rowset_set_int16(rows, 2, t.data_type) && rowset_set_int32(rows, 3, t.column_size) &&
         rowset_set_text(rows, 4, t.prefix) && rowset_set_text(rows, 5, t.suffix) &&
         rowset_set_text(rows, 6, t.create_params) && rowset_set_int16(rows, 7, SQL_NULLABLE) &&
         rowset_set_int16(rows, 8, t.case_sensitive) && rowset_set_int16(rows, 9, t.searchable) &&
         small(10, t.unsigned_attribute) && rowset_set_int16(rows, 11, SQL_FALSE) &&
         small(12, t.auto_unique) && rowset_set_text(rows, 13, t.name) &&
         small(14, t.minimum_scale) && small(15, t.maximum_scale) &&
         rowset_set_int16(rows, 16, verbose) && small(17, subcode) &&
         (t.radix == kNull ? rowset_set_null(rows, 18) : rowset_set_int32(rows, 18, t.radix)) &&
         small(19, interval_precision);
}

TypeRow interval_row(const IntervalRow& i) {
  bool seconds = i.seconds;
  return TypeRow{i.name,   i.data_type, i.column_size,       "INTERVAL '",
                 i.suffix, nullptr,     SQL_FALSE,           SQL_PRED_BASIC,
                 kNull,    kNull,       seconds ? 0 : kNull, seconds ? kFraction : kNull,
                 kNull};
}

}  // namespace

RowSet* type_info_rowset(int sql_type) {
  RowSet* rows = rowset_create(kLayout, static_cast<int>(sizeof kLayout / sizeof kLayout[0]));
  if (!rows) return nullptr;
  bool ok = true;
  for (const TypeRow& t : kTypes)
    if (ok && (sql_type == SQL_ALL_TYPES || sql_type == t.data_type)) ok = add_row(rows, t, kNull);
  for (const IntervalRow& i : kIntervals)
    if (ok && (sql_type == SQL_ALL_TYPES || sql_type == i.data_type))
      ok = add_row(rows, interval_row(i), kLeading);
  if (!ok) {
    rowset_free(rows);
    return nullptr;
  }
  return rows;
}

int type_info_type_count() {
  return static_cast<int>(sizeof kTypes / sizeof kTypes[0] +
                          sizeof kIntervals / sizeof kIntervals[0]);
}
