// The rows of INFO_SCHEMA's tables: each scan runs the driver's own catalog
// function (as the call layer installed it) on an internal statement of the same
// connection, reads its result row by row as text and maps the catalog columns
// onto the table's columns.
#include <atomic>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "driver/backends/info_schema.h"
#include "driver/backends/info_schema_internal.h"
#include "driver/dal/sqi/restriction.h"

namespace {

using Text = std::optional<std::string>;

// The call layer's catalog functions, once installed.
std::atomic<const InfoSchemaCatalog*> g_catalog{nullptr};

// An internal statement of the connection, freed with the object.
class InternalStatement {
 public:
  InternalStatement(const InfoSchemaCatalog* catalog, void* connection) : catalog_(catalog) {
    handle_ = catalog_->open_statement(connection);
  }
  ~InternalStatement() {
    if (handle_) catalog_->close_statement(handle_);
  }
  InternalStatement(const InternalStatement&) = delete;
  InternalStatement& operator=(const InternalStatement&) = delete;
  SQLHSTMT handle() const { return handle_; }

 private:
  const InfoSchemaCatalog* catalog_;
  SQLHSTMT handle_ = SQL_NULL_HANDLE;
};

// Thrown when a catalog call or a read failed (its diagnostic already posted).
struct ScanFailed {};

class RowBuilder {
 public:
  RowBuilder(void* target, SqiService service, const InfoSchemaCatalog* catalog)
      : target_(target),
        service_(service),
        catalog_(catalog),
        connection_(catalog ? catalog->connection_of(target) : nullptr) {}

  // Posts a diagnostic on the scan's target.
  void post(const char* state, int native, const char* message) {
    SqiPostError post{target_, "ISO 9075", native, state, message};
    service_(SQI_SERVICE_POST_ERROR, &post);
  }
  // Passes the internal statement's first diagnostic on and fails the scan.
  [[noreturn]] void fail(SQLHSTMT stmt) {
    SQLCHAR state[6] = "HY000";
    SQLCHAR message[SQL_MAX_MESSAGE_LENGTH] = "General error: catalog call failed";
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (stmt)
      catalog_->get_diag_rec(SQL_HANDLE_STMT, stmt, 1, state, &native, message, sizeof message,
                             &length);
    post(reinterpret_cast<char*>(state), native, reinterpret_cast<char*>(message));
    throw ScanFailed{};
  }
  void check(SQLHSTMT stmt, SQLRETURN rc) {
    if (!SQL_SUCCEEDED(rc)) fail(stmt);
  }
  // The connection scanned; null when there is none (or no catalog was installed).
  void* connection() const { return connection_; }
  const InfoSchemaCatalog& catalog() const { return *catalog_; }
  // A new internal statement of the connection (its handle null when none could be made).
  InternalStatement statement() const { return InternalStatement(catalog_, connection_); }

  // Column `column` of the current row as text; nullopt for NULL.
  Text text(SQLHSTMT stmt, int column) {
    std::string value;
    char piece[512];
    for (;;) {
      SQLLEN indicator = 0;
      SQLRETURN rc = catalog_->get_data(stmt, static_cast<SQLUSMALLINT>(column), SQL_C_CHAR, piece,
                                        sizeof piece, &indicator);
      if (rc == SQL_NO_DATA) break;
      check(stmt, rc);
      if (indicator == SQL_NULL_DATA) return std::nullopt;
      bool more = rc == SQL_SUCCESS_WITH_INFO &&
                  (indicator == SQL_NO_TOTAL || indicator >= static_cast<SQLLEN>(sizeof piece));
      value += piece;
      if (!more) break;
    }
    return value;
  }
  // Column `column` as an integer; nullopt for NULL.
  std::optional<int32_t> integer(SQLHSTMT stmt, int column) {
    SQLINTEGER value = 0;
    SQLLEN indicator = 0;
    check(stmt, catalog_->get_data(stmt, static_cast<SQLUSMALLINT>(column), SQL_C_SLONG, &value, 0,
                                   &indicator));
    if (indicator == SQL_NULL_DATA) return std::nullopt;
    return value;
  }
  // Next row of the internal statement's result: false at its end.
  bool next(SQLHSTMT stmt) {
    SQLRETURN rc = catalog_->fetch(stmt);
    if (rc == SQL_NO_DATA) return false;
    check(stmt, rc);
    return true;
  }

 private:
  void* target_;
  SqiService service_;
  const InfoSchemaCatalog* catalog_;
  void* connection_;
};

// Cell setters over the row being built.
struct Cells {
  RowSet* rows;
  void text(int column, const Text& value) {
    if (!rowset_set_text(rows, column, value ? value->c_str() : nullptr)) throw std::bad_alloc();
  }
  void text(int column, const char* value) { text(column, value ? Text(value) : std::nullopt); }
  void integer(int column, std::optional<int32_t> value) {
    bool ok = value ? rowset_set_int32(rows, column, *value) : rowset_set_null(rows, column);
    if (!ok) throw std::bad_alloc();
  }
  void add() {
    if (!rowset_add_row(rows)) throw std::bad_alloc();
  }
};

// A catalog name that is NULL or empty is written as the empty string.
Text name_or_empty(const Text& value) {
  return value ? value : Text("");
}

// The SQL type's name as INFO_SCHEMA.COLUMNS reports it.
const char* type_name_of(int code) {
  switch (code) {
    case SQL_CHAR:
      return "CHAR";
    case SQL_VARCHAR:
      return "VARCHAR";
    case SQL_LONGVARCHAR:
      return "LONG VARCHAR";
    case SQL_WCHAR:
      return "WCHAR";
    case SQL_WVARCHAR:
      return "WVARCHAR";
    case SQL_WLONGVARCHAR:
      return "WLONGVARCHAR";
    case SQL_DECIMAL:
      return "DECIMAL";
    case SQL_NUMERIC:
      return "NUMERIC";
    case SQL_SMALLINT:
      return "SMALLINT";
    case SQL_INTEGER:
      return "INTEGER";
    case SQL_REAL:
      return "REAL";
    case SQL_FLOAT:
      return "FLOAT";
    case SQL_DOUBLE:
      return "DOUBLE";
    case SQL_BIT:
      return "BIT";
    case SQL_TINYINT:
      return "TINYINT";
    case SQL_BIGINT:
      return "BIGINT";
    case SQL_BINARY:
      return "BINARY";
    case SQL_VARBINARY:
      return "VARBINARY";
    case SQL_LONGVARBINARY:
      return "LONG VARBINARY";
    case SQL_TYPE_DATE:
    case SQL_DATE:
      return "DATE";
    case SQL_TYPE_TIME:
    case SQL_TIME:
      return "TIME";
    case SQL_TYPE_TIMESTAMP:
    case SQL_TIMESTAMP:
      return "TIMESTAMP";
    default:
      return code >= SQL_INTERVAL_YEAR && code <= SQL_INTERVAL_MINUTE_TO_SECOND ? "INTERVAL"
                                                                                : "UNKNOWN";
  }
}

const char* const kIntervalQualifiers[] = {"YEAR",
                                           "MONTH",
                                           "DAY",
                                           "HOUR",
                                           "MINUTE",
                                           "SECOND",
                                           "YEAR TO MONTH",
                                           "DAY TO HOUR",
                                           "DAY TO MINUTE",
                                           "DAY TO SECOND",
                                           "HOUR TO MINUTE",
                                           "HOUR TO SECOND",
                                           "MINUTE TO SECOND"};

bool is_character_or_binary(int code) {
  switch (code) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
    case SQL_BINARY:
    case SQL_VARBINARY:
    case SQL_LONGVARBINARY:
      return true;
    default:
      return false;
  }
}

bool is_numeric(int code) {
  return (code >= SQL_NUMERIC && code <= SQL_DOUBLE) || code == SQL_BIT || code == SQL_TINYINT ||
         code == SQL_BIGINT;
}

bool is_datetime(int code) {
  return code == SQL_TYPE_DATE || code == SQL_TYPE_TIME || code == SQL_TYPE_TIMESTAMP ||
         code == SQL_DATE || code == SQL_TIME || code == SQL_TIMESTAMP;
}

// Escapes the search-pattern characters of an exact name.
std::string as_pattern(const std::string& name) {
  std::string pattern;
  for (char c : name) {
    if (c == '_' || c == '%' || c == '\\') pattern += '\\';
    pattern += c;
  }
  return pattern;
}

// Equality restrictions of a COLUMNS scan: the exact table and column names asked for.
struct ColumnFilter {
  Text table;
  Text column;
  bool matches(const Text& t, const Text& c) const {
    return (!table || (t && *t == *table)) && (!column || (c && *c == *column));
  }
};

ColumnFilter column_filter(int count, Restriction* const* restrictions) {
  ColumnFilter filter;
  for (int i = 0; i < count; ++i) {
    const Restriction* r = restrictions[i];
    if (!r || r->op != RESTRICT_EQUAL || !r->value || r->value->kind != VALUE_CHARACTER ||
        is_value_null(r->value) || !r->value->bytes.data)
      continue;
    if (r->column_number == 3) filter.table = std::string(r->value->bytes.data);
    if (r->column_number == 4) filter.column = std::string(r->value->bytes.data);
  }
  return filter;
}

SQLCHAR* arg(const Text& text) {
  return text ? reinterpret_cast<SQLCHAR*>(const_cast<char*>(text->c_str())) : nullptr;
}

// COLUMNS (and SYSTEM_COLUMNS for one system table): one row per catalog column row.
void add_columns(RowBuilder& b, Cells& cells, const Text& table, const ColumnFilter& filter) {
  InternalStatement internal = b.statement();
  SQLHSTMT s = internal.handle();
  if (!s) b.fail(nullptr);
  Text table_pattern = table ? Text(as_pattern(*table)) : std::nullopt;
  Text column_pattern = filter.column ? Text(as_pattern(*filter.column)) : std::nullopt;
  b.check(s, b.catalog().columns(s, nullptr, 0, nullptr, 0, arg(table_pattern), SQL_NTS,
                                 arg(column_pattern), SQL_NTS));
  while (b.next(s)) {
    Text table_name = b.text(s, 3), column_name = b.text(s, 4);
    if (!filter.matches(table_name, column_name)) continue;
    int code = b.integer(s, 5).value_or(0);
    cells.add();
    cells.text(1, name_or_empty(b.text(s, 1)));
    cells.text(2, name_or_empty(b.text(s, 2)));
    cells.text(3, table_name);
    cells.text(4, column_name);
    cells.integer(5, b.integer(s, 17));
    cells.text(6, b.text(s, 13));
    cells.text(7, b.text(s, 18));
    cells.text(8, type_name_of(code));
    std::optional<int32_t> size = b.integer(s, 7), digits = b.integer(s, 9);
    if (is_character_or_binary(code)) {
      cells.integer(9, size);
      cells.integer(10, b.integer(s, 16));
    }
    if (is_numeric(code)) {
      cells.integer(11, size);
      cells.integer(12, b.integer(s, 10));
      cells.integer(13, digits);
    }
    if (is_datetime(code)) cells.integer(14, digits);
    if (code >= SQL_INTERVAL_YEAR && code <= SQL_INTERVAL_MINUTE_TO_SECOND) {
      cells.text(15, kIntervalQualifiers[code - SQL_INTERVAL_YEAR]);
      cells.integer(16, digits);
    }
    cells.text(23, b.text(s, 12));
    cells.text(24, b.text(s, 6));
  }
}

// TABLES, SYSTEM_TABLES and VIEWS: the tables catalog call with a table type.
void add_tables(RowBuilder& b, Cells& cells, const char* types, bool views) {
  InternalStatement internal = b.statement();
  SQLHSTMT s = internal.handle();
  if (!s) b.fail(nullptr);
  b.check(s, b.catalog().tables(s, nullptr, 0, nullptr, 0, nullptr, 0,
                                reinterpret_cast<SQLCHAR*>(const_cast<char*>(types)),
                                types ? SQL_NTS : 0));
  while (b.next(s)) {
    cells.add();
    cells.text(1, name_or_empty(b.text(s, 1)));
    cells.text(2, name_or_empty(b.text(s, 2)));
    cells.text(3, b.text(s, 3));
    if (views) {
      cells.text(5, "NONE");
      cells.text(6, "NO");
      cells.text(7, b.text(s, 5));
    } else {
      cells.text(4, b.text(s, 4));
      cells.text(5, b.text(s, 5));
    }
  }
}

// The system tables' names (the first level of SYSTEM_COLUMNS).
std::vector<Text> system_tables(RowBuilder& b) {
  InternalStatement internal = b.statement();
  SQLHSTMT s = internal.handle();
  if (!s) b.fail(nullptr);
  b.check(s, b.catalog().tables(s, nullptr, 0, nullptr, 0, nullptr, 0, (SQLCHAR*)"SYSTEM TABLE",
                                SQL_NTS));
  std::vector<Text> names;
  while (b.next(s)) names.push_back(b.text(s, 3));
  return names;
}

// COLUMN_PRIVILEGES, TABLE_PRIVILEGES and INDEXES from their catalog calls.
void add_privileges_or_indexes(RowBuilder& b, Cells& cells, InfoTableKind kind) {
  InternalStatement internal = b.statement();
  SQLHSTMT s = internal.handle();
  if (!s) b.fail(nullptr);
  SQLCHAR empty[] = "";
  SQLRETURN rc;
  if (kind == INFO_COLUMN_PRIVILEGES)
    rc = b.catalog().column_privileges(s, empty, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS, nullptr,
                                       0);
  else if (kind == INFO_TABLE_PRIVILEGES)
    rc = b.catalog().table_privileges(s, nullptr, 0, nullptr, 0, nullptr, 0);
  else
    rc = b.catalog().statistics(s, empty, SQL_NTS, empty, SQL_NTS, empty, SQL_NTS, SQL_INDEX_ALL,
                                SQL_QUICK);
  b.check(s, rc);
  while (b.next(s)) {
    cells.add();
    if (kind == INFO_COLUMN_PRIVILEGES) {
      const int from[] = {5, 6, 1, 2, 3, 4, 7, 8};
      for (int i = 0; i < 8; ++i)
        cells.text(i + 1, from[i] <= 2 ? name_or_empty(b.text(s, from[i])) : b.text(s, from[i]));
    } else if (kind == INFO_TABLE_PRIVILEGES) {
      const int from[] = {4, 5, 1, 2, 3, 6, 7};
      for (int i = 0; i < 7; ++i)
        cells.text(i + 1, from[i] <= 2 ? name_or_empty(b.text(s, from[i])) : b.text(s, from[i]));
    } else {
      cells.text(1, name_or_empty(b.text(s, 1)));
      cells.text(2, name_or_empty(b.text(s, 2)));
      cells.text(3, b.text(s, 3));
      cells.text(4, b.text(s, 9));
      cells.text(5, b.text(s, 6));
      cells.integer(6, b.integer(s, 8));
      std::optional<int32_t> non_unique = b.integer(s, 4);
      cells.text(7, non_unique == 1 ? "YES" : "NO");
      cells.text(8, b.text(s, 10));
    }
  }
}

// SCHEMATA: every schema the tables catalog call enumerates, then INFO_SCHEMA itself.
void add_schemata(RowBuilder& b, Cells& cells) {
  std::string catalog;
  {
    InternalStatement internal = b.statement();
    SQLHSTMT s = internal.handle();
    if (!s) b.fail(nullptr);
    b.check(s, b.catalog().tables(s, (SQLCHAR*)SQL_ALL_CATALOGS, SQL_NTS, (SQLCHAR*)"", SQL_NTS,
                                  (SQLCHAR*)"", SQL_NTS, nullptr, 0));
    if (b.next(s)) catalog = name_or_empty(b.text(s, 1)).value();
  }
  InternalStatement internal = b.statement();
  SQLHSTMT s = internal.handle();
  if (!s) b.fail(nullptr);
  b.check(s, b.catalog().tables(s, (SQLCHAR*)"", SQL_NTS, (SQLCHAR*)SQL_ALL_SCHEMAS, SQL_NTS,
                                (SQLCHAR*)"", SQL_NTS, nullptr, 0));
  auto schema_row = [&cells](const std::string& cat, const Text& schema) {
    cells.add();
    cells.text(1, Text(cat));
    cells.text(2, schema);
    cells.text(4, Text(""));
    cells.text(5, Text(""));
    cells.text(6, "UTF8");
  };
  while (b.next(s)) schema_row(catalog, name_or_empty(b.text(s, 2)));
  schema_row("", Text(INFO_SCHEMA_NAME));
}

// SERVER_INFO: attribute and value pairs of the driver and its data source.
void add_server_info(RowBuilder& b, Cells& cells) {
  const std::pair<const char*, SQLUSMALLINT> kAttributes[] = {
      {"DRIVER_NAME", SQL_DRIVER_NAME},
      {"DRIVER_VER", SQL_DRIVER_VER},
      {"DRIVER_ODBC_VER", SQL_DRIVER_ODBC_VER},
      {"DBMS_NAME", SQL_DBMS_NAME},
      {"DBMS_VER", SQL_DBMS_VER},
      {"IDENTIFIER_QUOTE_CHAR", SQL_IDENTIFIER_QUOTE_CHAR},
      {"SERVER_NAME", SQL_SERVER_NAME},
      {"DATA_SOURCE_NAME", SQL_DATA_SOURCE_NAME}};
  for (const auto& [name, code] : kAttributes) {
    char value[256] = {0};
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(b.catalog().get_info(b.connection(), code, value, sizeof value, &length)))
      continue;
    cells.add();
    cells.text(1, name);
    cells.text(2, Text(value));
  }
}

// The rows that do not come from a catalog call.
void add_fixed_rows(Cells& cells, InfoTableKind kind) {
  switch (kind) {
    case INFO_CHARACTER_SETS:
      cells.add();
      cells.text(1, Text(""));
      cells.text(2, Text(""));
      cells.text(3, "UTF8");
      cells.text(4, "UTF8");
      cells.integer(5, 1114112);
      cells.text(6, Text(""));
      cells.text(7, Text(""));
      cells.text(8, "UTF8_BINARY");
      return;
    case INFO_COLLATIONS:
      cells.add();
      cells.text(1, Text(""));
      cells.text(2, Text(""));
      cells.text(3, "UTF8_BINARY");
      cells.text(4, Text(""));
      cells.text(5, Text(""));
      cells.text(6, "UTF8");
      cells.text(7, "NO PAD");
      return;
    case INFO_SQL_LANGUAGES:
      cells.add();
      cells.text(1, "ISO 9075");
      cells.text(2, "1992");
      cells.text(3, "ENTRY");
      cells.text(4, "NO");
      cells.text(6, "CLI");
      cells.text(7, "C");
      return;
    default:  // TRANSLATIONS, USAGE_PRIVILEGES: none
      return;
  }
}

}  // namespace

void info_schema_install_catalog(const InfoSchemaCatalog* catalog) {
  g_catalog.store(catalog, std::memory_order_release);
}

RowSet* info_schema_rows(void* target, SqiService service, const DalTable* table,
                         int restriction_count, Restriction* const* restrictions) {
  const auto* t = static_cast<const InfoTable*>(table->backend_table);
  RowBuilder b(target, service, g_catalog.load(std::memory_order_acquire));
  std::vector<RowSetColumn> columns;
  RowSet* rows = nullptr;
  try {
    if (!t || !b.connection()) {
      b.post("HY000", 0, "General error: INFO_SCHEMA scan without a connection");
      return nullptr;
    }
    for (int i = 0; i < t->column_count; ++i)
      columns.push_back({t->columns[i].name, t->columns[i].sql_type});
    rows = rowset_create(columns.data(), t->column_count);
    if (!rows) throw std::bad_alloc();
    Cells cells{rows};
    switch (t->kind) {
      case INFO_TABLES:
        add_tables(b, cells, nullptr, false);
        break;
      case INFO_SYSTEM_TABLES:
        add_tables(b, cells, "SYSTEM TABLE", false);
        break;
      case INFO_VIEWS:
        add_tables(b, cells, "VIEW", true);
        break;
      case INFO_COLUMNS:
        add_columns(b, cells, column_filter(restriction_count, restrictions).table,
                    column_filter(restriction_count, restrictions));
        break;
      case INFO_SYSTEM_COLUMNS:
        for (const Text& name : system_tables(b)) add_columns(b, cells, name, ColumnFilter{});
        break;
      case INFO_COLUMN_PRIVILEGES:
      case INFO_TABLE_PRIVILEGES:
      case INFO_INDEXES:
        add_privileges_or_indexes(b, cells, t->kind);
        break;
      case INFO_SCHEMATA:
        add_schemata(b, cells);
        break;
      case INFO_SERVER_INFO:
        add_server_info(b, cells);
        break;
      default:
        add_fixed_rows(cells, t->kind);
        break;
    }
    return rows;
  } catch (const ScanFailed&) {
    rowset_free(rows);
    return nullptr;
  } catch (...) {  // memory ran out
    rowset_free(rows);
    b.post("HY001", 0, "Memory allocation error");
    return nullptr;
  }
}
