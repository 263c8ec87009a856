// The Ethereum backend's catalog result sets: SQLTables, SQLColumns,
// SQLPrimaryKeys, SQLSpecialColumns and SQLStatistics, each built as rows
// from the connection's table list and attached to the statement.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <climits>
#include <cstring>
#include <new>
#include <string>

#include "driver/dal/sqi/rowset.h"
#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_context.h"
#include "driver/eth/eth_meta.h"
#include "driver/eth/eth_tables.h"

namespace {

constexpr const char* kMemoryError = "Memory allocation error";

const RowSetColumn kTablesLayout[] = {
    {"TABLE_CAT", SQL_VARCHAR},  {"TABLE_SCHEM", SQL_VARCHAR}, {"TABLE_NAME", SQL_VARCHAR},
    {"TABLE_TYPE", SQL_VARCHAR}, {"REMARKS", SQL_VARCHAR},
};

const RowSetColumn kColumnsLayout[] = {
    {"TABLE_CAT", SQL_VARCHAR},         {"TABLE_SCHEM", SQL_VARCHAR},
    {"TABLE_NAME", SQL_VARCHAR},        {"COLUMN_NAME", SQL_VARCHAR},
    {"DATA_TYPE", SQL_SMALLINT},        {"TYPE_NAME", SQL_VARCHAR},
    {"COLUMN_SIZE", SQL_INTEGER},       {"BUFFER_LENGTH", SQL_INTEGER},
    {"DECIMAL_DIGITS", SQL_SMALLINT},   {"NUM_PREC_RADIX", SQL_SMALLINT},
    {"NULLABLE", SQL_SMALLINT},         {"REMARKS", SQL_VARCHAR},
    {"COLUMN_DEF", SQL_VARCHAR},        {"SQL_DATA_TYPE", SQL_SMALLINT},
    {"SQL_DATETIME_SUB", SQL_SMALLINT}, {"CHAR_OCTET_LENGTH", SQL_INTEGER},
    {"ORDINAL_POSITION", SQL_INTEGER},  {"IS_NULLABLE", SQL_VARCHAR},
};

const RowSetColumn kPrimaryKeysLayout[] = {
    {"TABLE_CAT", SQL_VARCHAR},   {"TABLE_SCHEM", SQL_VARCHAR}, {"TABLE_NAME", SQL_VARCHAR},
    {"COLUMN_NAME", SQL_VARCHAR}, {"KEY_SEQ", SQL_SMALLINT},    {"PK_NAME", SQL_VARCHAR},
};

const RowSetColumn kSpecialColumnsLayout[] = {
    {"SCOPE", SQL_SMALLINT},          {"COLUMN_NAME", SQL_VARCHAR},
    {"DATA_TYPE", SQL_SMALLINT},      {"TYPE_NAME", SQL_VARCHAR},
    {"COLUMN_SIZE", SQL_INTEGER},     {"BUFFER_LENGTH", SQL_INTEGER},
    {"DECIMAL_DIGITS", SQL_SMALLINT}, {"PSEUDO_COLUMN", SQL_SMALLINT},
};

const RowSetColumn kStatisticsLayout[] = {
    {"TABLE_CAT", SQL_VARCHAR},
    {"TABLE_SCHEM", SQL_VARCHAR},
    {"TABLE_NAME", SQL_VARCHAR},
    {"NON_UNIQUE", SQL_SMALLINT},
    {"INDEX_QUALIFIER", SQL_VARCHAR},
    {"INDEX_NAME", SQL_VARCHAR},
    {"TYPE", SQL_SMALLINT},
    {"ORDINAL_POSITION", SQL_SMALLINT},
    {"COLUMN_NAME", SQL_VARCHAR},
    {"ASC_OR_DESC", SQL_CHAR},
    {"CARDINALITY", SQL_INTEGER},
    {"PAGES", SQL_INTEGER},
    {"FILTER_CONDITION", SQL_VARCHAR},
};

// Builds one result; any memory failure is remembered and reported once at the end.
class ResultBuilder {
 public:
  template <size_t N>
  explicit ResultBuilder(const RowSetColumn (&layout)[N])
      : rows_(rowset_create(layout, static_cast<int>(N))), ok_(rows_ != nullptr) {}
  ~ResultBuilder() { rowset_free(rows_); }
  ResultBuilder(const ResultBuilder&) = delete;
  ResultBuilder& operator=(const ResultBuilder&) = delete;

  void row() { ok_ = ok_ && rowset_add_row(rows_); }
  void text(int column, const char* value) { ok_ = ok_ && rowset_set_text(rows_, column, value); }
  void small(int column, int value) { ok_ = ok_ && rowset_set_int16(rows_, column, value); }
  void integer(int column, int value) { ok_ = ok_ && rowset_set_int32(rows_, column, value); }

  // Attaches the rows to the statement (replacing its earlier result), or posts HY001.
  int finish(EthStmt* stmt) {
    if (!ok_) {
      eth_post_error(stmt->env, stmt->target, "HY001", kMemoryError);
      return SQI_ERROR;
    }
    rowset_free(stmt->rows);
    stmt->rows = rows_;
    rows_ = nullptr;
    return SQI_OK;
  }

 private:
  RowSet* rows_;
  bool ok_;
};

// The text of a catalog argument ("" when absent); SQL_NTS means NUL-terminated.
std::string argument_text(SqiText argument) {
  if (argument.text == nullptr) return std::string();
  if (argument.length == SQL_NTS) return std::string(argument.text);
  if (argument.length <= 0) return std::string();
  return std::string(argument.text, strnlen(argument.text, argument.length));
}

// The argument without its escaping backslashes.
std::string without_backslashes(std::string text) {
  std::erase(text, '\\');
  return text;
}

// Which table types a SQLTables type list asks for.
struct TypeRequest {
  bool tables = false;
  bool views = false;
};

// True when `piece` is `word` bare, in double quotes or in single quotes.
bool names_word(const std::string& piece, const char* word) {
  return piece == word || piece == std::string("\"") + word + "\"" ||
         piece == std::string("'") + word + "'";
}

// Reads an upper-cased, comma-separated type list; pieces are compared whole, so spaces
// around a comma belong to the piece.
TypeRequest parse_type_list(const std::string& list) {
  TypeRequest request;
  std::string upper;
  for (char c : list) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  size_t start = 0;
  while (true) {
    size_t comma = upper.find(',', start);
    std::string piece = upper.substr(start, comma == std::string::npos ? comma : comma - start);
    if (piece == "%" || piece == "\"%\"") {
      request.tables = request.views = true;
    } else if (names_word(piece, "TABLES") || names_word(piece, "TABLE") ||
               names_word(piece, "SYSTEM TABLES")) {
      request.tables = true;
    } else if (names_word(piece, "VIEWS") || names_word(piece, "VIEW")) {
      request.views = true;
    }
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return request;
}

// The tables a name argument selects: the one of exactly that name, or all when `all`.
template <typename Visit>
void for_each_table(const EthEnv* env, bool all, const std::string& name, Visit visit) {
  if (env == nullptr || env->tables == nullptr) return;
  for (const EthTable& table : *env->tables)
    if (all || table.name == name) visit(table);
}

// How a column is reported by SQLColumns and SQLSpecialColumns: the same type the result
// descriptors give, so an application that sizes buffers from either reads the same data.
struct ReportedType {
  int data_type;
  int column_size;
  int buffer_length;
  int decimal_digits;  // -1: NULL
  int radix;           // 0: NULL
  int sql_data_type;
  int datetime_sub;  // 0: NULL
  int octet_length;  // 0: NULL
};

ReportedType reported_type(const EthEnv* env, const EthColumn& column) {
  const bool odbc3 = env->odbc_version == 3;
  switch (column.sql_type) {
    case SQL_VARCHAR:
      // Characters are UTF-8: a character can take up to four bytes.
      return {SQL_VARCHAR,
              column.length,
              column.length,
              -1,
              0,
              SQL_VARCHAR,
              0,
              column.length > INT_MAX / 4 ? INT_MAX : 4 * column.length};
    case SQL_LONGVARCHAR:
      return {SQL_LONGVARCHAR,
              INT_MAX,
              INT_MAX,
              -1,
              0,
              env->disguise_long ? SQL_VARCHAR : SQL_LONGVARCHAR,
              0,
              INT_MAX};
    case SQL_DOUBLE:
      return {SQL_DOUBLE, 15, 8, -1, 10, SQL_DOUBLE, 0, 0};
    case SQL_BIT:
      return {SQL_BIT, 1, 1, -1, 0, SQL_BIT, 0, 0};
    case SQL_BIGINT:
      return {SQL_BIGINT, 19, 8, 0, 10, SQL_BIGINT, 0, 0};
    case SQL_NUMERIC:
      return {SQL_NUMERIC, column.length, column.length + 2, 0, 10, SQL_NUMERIC, 0, 0};
    case SQL_TYPE_TIMESTAMP:
      return {odbc3 ? SQL_TYPE_TIMESTAMP : SQL_TIMESTAMP,
              19,
              static_cast<int>(sizeof(SQL_TIMESTAMP_STRUCT)),
              0,
              0,
              odbc3 ? SQL_DATETIME : SQL_TIMESTAMP,
              odbc3 ? SQL_CODE_TIMESTAMP : 0,
              0};
    default:
      return {column.sql_type, column.length, column.length, -1, 0, column.sql_type, 0, 0};
  }
}

const char* type_name_of(const EthColumn& column) {
  const char* name = eth_type_name(column.sql_type);
  return name != nullptr ? name : "VARCHAR";
}

// The columns of a table that may be missing (none then).
const std::vector<EthColumn>& columns_of(const EthTable* table) {
  static const std::vector<EthColumn> kNone;
  return table != nullptr ? table->columns : kNone;
}

EthStmt* statement_of(SqiStmt handle) {
  return static_cast<EthStmt*>(handle);
}

}  // namespace

int eth_tables(SqiStmt handle, SqiText catalog_arg, SqiText schema_arg, SqiText table_arg,
               SqiText types_arg) {
  EthStmt* stmt = statement_of(handle);
  if (stmt == nullptr) return SQI_ERROR;
  try {
    const std::string catalog = argument_text(catalog_arg);
    const std::string schema = argument_text(schema_arg);
    const std::string table = argument_text(table_arg);
    const std::string types = argument_text(types_arg);
    ResultBuilder result(kTablesLayout);
    // The enumerations of catalogs, schemas and table types.
    if (catalog == "%" && schema.empty() && table.empty()) {
      result.row();
      result.text(1, ETH_CATALOG_NAME);
      return result.finish(stmt);
    }
    if (schema == "%" && catalog.empty() && table.empty()) {
      result.row();
      result.text(2, ETH_SCHEMA_NAME);
      return result.finish(stmt);
    }
    if (types == "%" && catalog.empty() && schema.empty() && table.empty()) {
      for (const char* type : {"TABLE", "VIEW"}) {
        result.row();
        result.text(4, type);
      }
      return result.finish(stmt);
    }
    const bool all = table.empty() || table[0] == '%';
    const std::string name = without_backslashes(table);
    TypeRequest wanted{true, true};
    if (!types.empty()) wanted = parse_type_list(types);
    for_each_table(stmt->env, all, name, [&](const EthTable& t) {
      const bool updatable = (t.flags & ETH_TABLE_UPDATABLE) != 0;
      if (updatable ? !wanted.tables : !wanted.views) return;
      result.row();
      result.text(1, ETH_CATALOG_NAME);
      result.text(2, ETH_SCHEMA_NAME);
      result.text(3, t.name.c_str());
      result.text(4, updatable ? "TABLE" : "VIEW");
      if (!t.remark.empty()) result.text(5, t.remark.c_str());
    });
    return result.finish(stmt);
  } catch (const std::bad_alloc&) {
    eth_post_error(stmt->env, stmt->target, "HY001", kMemoryError);
    return SQI_ERROR;
  }
}

int eth_columns(SqiStmt handle, SqiText, SqiText, SqiText table_arg, SqiText column_arg) {
  EthStmt* stmt = statement_of(handle);
  if (stmt == nullptr) return SQI_ERROR;
  try {
    const std::string table = without_backslashes(argument_text(table_arg));
    const std::string column = argument_text(column_arg);
    const bool all_tables = table.empty() || table == "%";
    const bool all_columns = column.empty() || column == "%";
    ResultBuilder result(kColumnsLayout);
    for_each_table(stmt->env, all_tables, table, [&](const EthTable& t) {
      for (size_t i = 0; i < t.columns.size(); ++i) {
        const EthColumn& c = t.columns[i];
        if (!all_columns && c.name != column) continue;
        const ReportedType type = reported_type(stmt->env, c);
        const bool key = eth_is_key_column(c);
        result.row();
        result.text(1, ETH_CATALOG_NAME);
        result.text(2, ETH_SCHEMA_NAME);
        result.text(3, t.name.c_str());
        result.text(4, c.name.c_str());
        result.small(5, type.data_type);
        result.text(6, type_name_of(c));
        result.integer(7, type.column_size);
        result.integer(8, type.buffer_length);
        if (type.decimal_digits >= 0) result.small(9, type.decimal_digits);
        if (type.radix != 0) result.small(10, type.radix);
        result.small(11, key ? SQL_NO_NULLS : SQL_NULLABLE);
        if (c.remark != nullptr) result.text(12, c.remark);
        result.small(14, type.sql_data_type);
        if (type.datetime_sub != 0) result.small(15, type.datetime_sub);
        if (type.octet_length != 0) result.integer(16, type.octet_length);
        result.integer(17, static_cast<int>(i) + 1);
        result.text(18, key ? "No" : "Yes");
      }
    });
    return result.finish(stmt);
  } catch (const std::bad_alloc&) {
    eth_post_error(stmt->env, stmt->target, "HY001", kMemoryError);
    return SQI_ERROR;
  }
}

int eth_primary_keys(SqiStmt handle, SqiText, SqiText, SqiText table_arg) {
  EthStmt* stmt = statement_of(handle);
  if (stmt == nullptr) return SQI_ERROR;
  try {
    ResultBuilder result(kPrimaryKeysLayout);
    const EthTable* table = eth_find_table(stmt->env, argument_text(table_arg).c_str());
    int sequence = 0;
    for (const EthColumn& c : columns_of(table)) {
      if (!eth_is_key_column(c)) continue;
      result.row();
      result.text(1, ETH_CATALOG_NAME);
      result.text(2, ETH_SCHEMA_NAME);
      result.text(3, table->name.c_str());
      result.text(4, c.name.c_str());
      result.small(5, ++sequence);
      result.text(6, "Primary");
    }
    return result.finish(stmt);
  } catch (const std::bad_alloc&) {
    eth_post_error(stmt->env, stmt->target, "HY001", kMemoryError);
    return SQI_ERROR;
  }
}

int eth_special_columns(SqiStmt handle, int identifier_type, SqiText, SqiText, SqiText table_arg,
                        int, int) {
  EthStmt* stmt = statement_of(handle);
  if (stmt == nullptr) return SQI_ERROR;
  try {
    ResultBuilder result(kSpecialColumnsLayout);
    // Only the best row identifier has an answer: the key columns.
    const EthTable* table = identifier_type == SQL_BEST_ROWID
                                ? eth_find_table(stmt->env, argument_text(table_arg).c_str())
                                : nullptr;
    for (const EthColumn& c : columns_of(table)) {
      if (!eth_is_key_column(c)) continue;
      const ReportedType type = reported_type(stmt->env, c);
      result.row();
      result.small(1, SQL_SCOPE_SESSION);
      result.text(2, c.name.c_str());
      result.small(3, type.data_type);
      result.text(4, type_name_of(c));
      result.integer(5, type.column_size);
      result.integer(6, type.buffer_length);
      if (type.decimal_digits >= 0) result.small(7, type.decimal_digits);
      result.small(8, SQL_PC_NOT_PSEUDO);
    }
    return result.finish(stmt);
  } catch (const std::bad_alloc&) {
    eth_post_error(stmt->env, stmt->target, "HY001", kMemoryError);
    return SQI_ERROR;
  }
}

int eth_statistics(SqiStmt handle, SqiText, SqiText, SqiText table_arg, int, int) {
  EthStmt* stmt = statement_of(handle);
  if (stmt == nullptr) return SQI_ERROR;
  try {
    ResultBuilder result(kStatisticsLayout);
    const EthTable* table = eth_find_table(stmt->env, argument_text(table_arg).c_str());
    if (table != nullptr) {
      // The table-statistics row; the cardinality is not known.
      result.row();
      result.text(1, ETH_CATALOG_NAME);
      result.text(2, ETH_SCHEMA_NAME);
      result.text(3, table->name.c_str());
      result.small(7, SQL_TABLE_STAT);
      int position = 0;
      for (const EthColumn& c : table->columns) {
        if (!eth_is_key_column(c)) continue;
        result.row();
        result.text(1, ETH_CATALOG_NAME);
        result.text(2, ETH_SCHEMA_NAME);
        result.text(3, table->name.c_str());
        result.small(4, SQL_FALSE);
        result.text(6, "Primary");
        result.small(7, SQL_INDEX_OTHER);
        result.small(8, ++position);
        result.text(9, c.name.c_str());
      }
    }
    return result.finish(stmt);
  } catch (const std::bad_alloc&) {
    eth_post_error(stmt->env, stmt->target, "HY001", kMemoryError);
    return SQI_ERROR;
  }
}
