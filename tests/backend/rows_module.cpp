// A self-contained backend module serving the generated tables `rows_<N>` (see rows_data.h),
// loaded by the driver in place of the Ethereum backend when QUILLDRV_BACKEND_MODULE names
// it. Rows are computed from their id while the scan runs, so nothing is stored and a scan of
// a million rows costs little beside the engine. Pushed restrictions are ignored: the module
// offers no exact filtering (it answers no DALGetInfo code), so the engine re-checks them.
// Catalog calls list the tables of rows_data::kListedSizes (SQLTables, SQLColumns,
// SQLPrimaryKeys, SQLStatistics); any other `rows_<N>` up to 10,000,000 is still described
// on demand. The module does not link the driver: it uses the driver's headers only for the
// layouts of the operation table and its records.
#include <sql.h>
#include <sqlext.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "driver/dal/sqi/sqi.h"
#include "tests/backend/rows_data.h"

namespace {

constexpr const char* kOrigin = "Rows Backend";
constexpr const char* kCatalogName = "ROWS";

// The connection handle: the diagnostic target and the service callback.
struct RowsEnv {
  void* target = nullptr;        // the connection's diagnostics
  SqiService service = nullptr;  // the call layer's service callback
};

// A catalog cell: NULL, text or integer.
struct Cell {
  enum Kind { kNull, kText, kInteger } kind = kNull;  // what the cell holds
  std::string text;                                   // the text of a kText cell
  long long integer = 0;                              // the value of a kInteger cell
};

// A statement: a scan of one generated table, or the rows of a catalog call.
struct RowsStatement {
  void* target = nullptr;                  // where diagnostics go
  RowsEnv* env = nullptr;                  // the connection
  bool scanning = false;                   // a table scan is open
  int64_t count = 0;                       // rows of the scanned table
  int64_t id = 0;                          // current row's id (0 before the first)
  std::vector<std::vector<Cell>> catalog;  // catalog rows
  size_t catalog_position = 0;             // 1-based current catalog row (0 before)
  int read_column = 0;                     // column being read in pieces (0: none)
  size_t read_offset = 0;                  // bytes of it handed out so far
};

int post(RowsEnv* env, void* target, const char* sqlstate, const char* message) {
  if (env && env->service) {
    SqiPostError error{target, kOrigin, 0, sqlstate, message};
    env->service(SQI_SERVICE_POST_ERROR, &error);
  }
  return SQI_ERROR;
}

void copy_name(char* out, size_t size, const char* text) {
  std::snprintf(out, size, "%s", text);
}

// The text of a catalog argument ("" when absent).
std::string argument_text(SqiText argument) {
  if (!argument.text) return std::string();
  if (argument.length == SQL_NTS) return std::string(argument.text);
  if (argument.length <= 0) return std::string();
  return std::string(argument.text, strnlen(argument.text, static_cast<size_t>(argument.length)));
}

// LIKE-style pattern match (% and _, backslash escapes), without regard to case.
bool matches(const char* text, const char* pattern) {
  for (; *pattern; ++pattern, ++text) {
    char p = *pattern;
    if (p == '%') {
      for (const char* rest = text;; ++rest) {
        if (matches(rest, pattern + 1)) return true;
        if (!*rest) return false;
      }
    }
    if (!*text) return false;
    if (p == '\\' && pattern[1])
      p = *++pattern;
    else if (p == '_')
      continue;
    if (std::toupper(static_cast<unsigned char>(p)) !=
        std::toupper(static_cast<unsigned char>(*text)))
      return false;
  }
  return *text == '\0';
}

// An empty pattern matches everything.
bool pattern_matches(const std::string& text, const std::string& pattern) {
  return pattern.empty() || matches(text.c_str(), pattern.c_str());
}

std::string table_name(int64_t n) {
  return "ROWS_" + std::to_string(n);
}

// The SQL type, type name, column size and precision of a generated column.
struct ColumnShape {
  int sql_type;
  const char* type_name;
  int length;
  int precision;
};

ColumnShape shape_of(int index) {
  switch (rows_data::kColumnKinds[index]) {
    case rows_data::kInteger:
      return {SQL_INTEGER, "INTEGER", 4, 10};
    case rows_data::kDouble:
      return {SQL_DOUBLE, "DOUBLE", 8, 15};
    default:
      return {SQL_VARCHAR, "VARCHAR", rows_data::kTextColumnLength, 0};
  }
}

bool nullable(int index) {
  return index == 7;
}  // only s2 holds NULLs

Cell text_cell(const std::string& text) {
  return Cell{Cell::kText, text, 0};
}
Cell int_cell(long long value) {
  return Cell{Cell::kInteger, std::string(), value};
}

// Hands out text in pieces as SQLGetData does: each call on the same column continues where the
// last one stopped; the indicator gives the bytes left before the call; SQI_INFO when cut.
int copy_text(RowsStatement* s, int column, const char* data, size_t size, void* buffer,
              SQLLEN length, SQLLEN* indicator) {
  if (s->read_column != column) {
    s->read_column = column;
    s->read_offset = 0;
  }
  size_t offset = s->read_offset < size ? s->read_offset : size;
  size_t remaining = size - offset;
  if (indicator) *indicator = static_cast<SQLLEN>(remaining);
  size_t room = length > 0 ? static_cast<size_t>(length - 1) : 0;
  size_t n = remaining < room ? remaining : room;
  if (buffer && length > 0) {
    std::memcpy(buffer, data + offset, n);
    static_cast<char*>(buffer)[n] = '\0';
  }
  if (n < remaining) {
    s->read_offset = offset + n;
    return SQI_INFO;
  }
  s->read_column = 0;
  s->read_offset = 0;
  return SQI_OK;
}

// Stores an integer in the C type asked for; false for a type the module does not convert to.
bool store_integer(long long value, int c_type, void* buffer, SQLLEN* indicator) {
  switch (c_type) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
    case SQL_C_ULONG:
      *static_cast<SQLINTEGER*>(buffer) = static_cast<SQLINTEGER>(value);
      if (indicator) *indicator = sizeof(SQLINTEGER);
      return true;
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
    case SQL_C_USHORT:
      *static_cast<SQLSMALLINT*>(buffer) = static_cast<SQLSMALLINT>(value);
      if (indicator) *indicator = sizeof(SQLSMALLINT);
      return true;
    case SQL_C_SBIGINT:
    case SQL_C_UBIGINT:
      *static_cast<SQLBIGINT*>(buffer) = value;
      if (indicator) *indicator = sizeof(SQLBIGINT);
      return true;
    case SQL_C_DOUBLE:
      *static_cast<double*>(buffer) = static_cast<double>(value);
      if (indicator) *indicator = sizeof(double);
      return true;
    default:
      return false;
  }
}

// Stores a double in the C type asked for; false for a type the module does not convert to.
bool store_double(double value, int c_type, void* buffer, SQLLEN* indicator) {
  switch (c_type) {
    case SQL_C_DOUBLE:
      *static_cast<double*>(buffer) = value;
      if (indicator) *indicator = sizeof(double);
      return true;
    case SQL_C_FLOAT:
      *static_cast<float*>(buffer) = static_cast<float>(value);
      if (indicator) *indicator = sizeof(float);
      return true;
    default:
      return store_integer(static_cast<long long>(value), c_type, buffer, indicator);
  }
}

int alloc_env(void* target, SqiEnv* out, SqiService service, const char*) {
  auto* env = new (std::nothrow) RowsEnv;
  if (!env) return SQI_ERROR;
  env->target = target;
  env->service = service;
  *out = env;
  return SQI_OK;
}

int free_env(SqiEnv env) {
  delete static_cast<RowsEnv*>(env);
  return SQI_OK;
}

int connect(SqiEnv, ConnAttrSet*, void*, char* out, int size) {
  if (out && size > 0) out[0] = '\0';
  return SQI_OK;
}

int disconnect(SqiEnv) {
  return SQI_OK;
}

int get_info(SqiEnv, int, void*) {
  return SQI_NO_DATA;
}

int describe_table(SqiEnv, const char* name, DalTable* out) {
  int64_t n = rows_data::row_count_of(name);
  if (n < 0) return SQI_NOT_FOUND;
  copy_name(out->catalog, sizeof out->catalog, kCatalogName);
  out->schema[0] = '\0';
  copy_name(out->name, sizeof out->name, table_name(n).c_str());
  out->column_count = rows_data::kColumnCount;
  out->pk_count = 1;
  out->backend_table = nullptr;
  return SQI_OK;
}

int describe_columns(SqiEnv handle, const DalTable* table, int count, DalColumn* out) {
  auto* env = static_cast<RowsEnv*>(handle);
  if (!table || rows_data::row_count_of(table->name) < 0) return SQI_NOT_FOUND;
  if (count != rows_data::kColumnCount || !out)
    return post(env, env ? env->target : nullptr, "HY000", "column count mismatch");
  for (int i = 0; i < count; ++i) {
    DalColumn& c = out[i];
    c = DalColumn{};
    ColumnShape shape = shape_of(i);
    copy_name(c.catalog, sizeof c.catalog, kCatalogName);
    copy_name(c.table, sizeof c.table, table->name);
    copy_name(c.name, sizeof c.name, rows_data::kColumnNames[i]);
    c.number = i + 1;
    c.sql_type = shape.sql_type;
    copy_name(c.type_name, sizeof c.type_name, shape.type_name);
    c.length = shape.length;
    c.precision = shape.precision;
    c.nullable = nullable(i) ? SQL_NULLABLE : SQL_NO_NULLS;
    c.searchable = SQL_SEARCHABLE;
    if (shape.sql_type == SQL_VARCHAR) {
      copy_name(c.literal_prefix, sizeof c.literal_prefix, "'");
      copy_name(c.literal_suffix, sizeof c.literal_suffix, "'");
      copy_name(c.create_params, sizeof c.create_params, "length");
    }
    c.backend_index = table->backend_index;
  }
  return SQI_OK;
}

int get_pk_info(SqiEnv, const DalTable* table, DalKeyColumn* out, int capacity, int* count) {
  *count = 0;
  if (!table || rows_data::row_count_of(table->name) < 0) return SQI_NOT_FOUND;
  if (capacity < 1 || !out) return SQI_OK;
  copy_name(out[0].name, sizeof out[0].name, rows_data::kColumnNames[0]);
  out[0].number = 1;
  *count = 1;
  return SQI_OK;
}

SqiStmt alloc_stmt(void* target, SqiEnv env, void*, void*) {
  auto* s = new (std::nothrow) RowsStatement;
  if (!s) return nullptr;
  s->target = target;
  s->env = static_cast<RowsEnv*>(env);
  return s;
}

int free_stmt(SqiStmt s) {
  delete static_cast<RowsStatement*>(s);
  return SQI_OK;
}

void reset(RowsStatement* s) {
  s->scanning = false;
  s->count = 0;
  s->id = 0;
  s->catalog.clear();
  s->catalog_position = 0;
  s->read_column = 0;
  s->read_offset = 0;
}

int close_stmt(SqiStmt handle) {
  reset(static_cast<RowsStatement*>(handle));
  return SQI_OK;
}

int start_scan(SqiStmt handle, const DalTable* table, const int*, const int*, int,
               Restriction* const*) {
  auto* s = static_cast<RowsStatement*>(handle);
  int64_t n = table ? rows_data::row_count_of(table->name) : -1;
  if (n < 0) return SQI_NOT_FOUND;
  reset(s);
  s->scanning = true;
  s->count = n;
  return SQI_OK;
}

int fetch(SqiStmt handle) {
  auto* s = static_cast<RowsStatement*>(handle);
  s->read_column = 0;
  s->read_offset = 0;
  if (s->scanning) {
    if (s->id >= s->count) return SQI_NO_DATA;
    ++s->id;
    return SQI_OK;
  }
  if (s->catalog_position >= s->catalog.size()) return SQI_NO_DATA;
  ++s->catalog_position;
  return SQI_OK;
}

int conversion_refused(RowsStatement* s) {
  return post(s->env, s->target, "07006", "Restricted data type attribute violation");
}

int scan_data(RowsStatement* s, int column, int c_type, void* buffer, SQLLEN length,
              SQLLEN* indicator) {
  if (s->id < 1 || s->id > s->count) return post(s->env, s->target, "24000", "no current row");
  const int64_t id = s->id;
  char text[rows_data::kTextBufferSize];
  if (column == -1) column = 1;  // the row key is the id
  if (column == -2) {            // the bookmark: the row's key as text
    int size = std::snprintf(text, sizeof text, "%lld", static_cast<long long>(id));
    return copy_text(s, column, text, static_cast<size_t>(size), buffer, length, indicator);
  }
  if (column < 1 || column > rows_data::kColumnCount)
    return post(s->env, s->target, "07009", "Invalid descriptor index");
  if (column == 8 && rows_data::s2_is_null(id)) {
    if (indicator) *indicator = SQL_NULL_DATA;
    return SQI_OK;
  }
  if (c_type == SQL_C_DEFAULT) {
    static const int kDefaults[] = {SQL_C_LONG,   SQL_C_LONG,   SQL_C_LONG, SQL_C_DOUBLE,
                                    SQL_C_DOUBLE, SQL_C_DOUBLE, SQL_C_CHAR, SQL_C_CHAR};
    c_type = kDefaults[column - 1];
  }
  long long integer = 0;
  double real = 0;
  size_t size = 0;
  switch (column) {
    case 1:
      integer = id;
      break;
    case 2:
      integer = rows_data::i2(id);
      break;
    case 3:
      integer = rows_data::i3(id);
      break;
    case 4:
      real = rows_data::d1(id);
      break;
    case 5:
      real = rows_data::d2(id);
      break;
    case 6:
      real = rows_data::d3(id);
      break;
    case 7:
      size = rows_data::s1(id, text);
      break;
    default:
      size = rows_data::s2(id, text);
      break;
  }
  rows_data::ColumnKind kind = rows_data::kColumnKinds[column - 1];
  if (c_type == SQL_C_CHAR) {
    if (kind == rows_data::kInteger)
      size = static_cast<size_t>(std::snprintf(text, sizeof text, "%lld", integer));
    else if (kind == rows_data::kDouble)
      size = static_cast<size_t>(std::snprintf(text, sizeof text, "%.17g", real));
    return copy_text(s, column, text, size, buffer, length, indicator);
  }
  if (!buffer || kind == rows_data::kText) return conversion_refused(s);
  bool stored = kind == rows_data::kInteger ? store_integer(integer, c_type, buffer, indicator)
                                            : store_double(real, c_type, buffer, indicator);
  return stored ? SQI_OK : conversion_refused(s);
}

int catalog_data(RowsStatement* s, int column, int c_type, void* buffer, SQLLEN length,
                 SQLLEN* indicator) {
  if (s->catalog_position < 1 || s->catalog_position > s->catalog.size())
    return post(s->env, s->target, "24000", "no current row");
  const std::vector<Cell>& row = s->catalog[s->catalog_position - 1];
  if (column < 1 || static_cast<size_t>(column) > row.size())
    return post(s->env, s->target, "07009", "Invalid descriptor index");
  const Cell& cell = row[static_cast<size_t>(column - 1)];
  if (cell.kind == Cell::kNull) {
    if (indicator) *indicator = SQL_NULL_DATA;
    return SQI_OK;
  }
  if (c_type == SQL_C_DEFAULT) c_type = cell.kind == Cell::kText ? SQL_C_CHAR : SQL_C_LONG;
  if (c_type == SQL_C_CHAR) {
    std::string text = cell.kind == Cell::kText ? cell.text : std::to_string(cell.integer);
    return copy_text(s, column, text.data(), text.size(), buffer, length, indicator);
  }
  if (!buffer || cell.kind == Cell::kText) return conversion_refused(s);
  return store_integer(cell.integer, c_type, buffer, indicator) ? SQI_OK : conversion_refused(s);
}

int get_data(SqiStmt handle, int column, int c_type, void* buffer, SQLLEN length,
             SQLLEN* indicator) {
  auto* s = static_cast<RowsStatement*>(handle);
  return s->scanning ? scan_data(s, column, c_type, buffer, length, indicator)
                     : catalog_data(s, column, c_type, buffer, length, indicator);
}

// Runs `build` on the statement's fresh catalog rows, turning memory failure into HY001.
template <typename Build>
int catalog_answer(SqiStmt handle, Build build) {
  auto* s = static_cast<RowsStatement*>(handle);
  reset(s);
  try {
    build(s->catalog);
    return SQI_OK;
  } catch (const std::bad_alloc&) {
    s->catalog.clear();
    return post(s->env, s->target, "HY001", "Memory allocation error");
  }
}

// Calls `visit(n, name)` for each listed table whose name matches the pattern.
template <typename Visit>
void for_each_listed(const std::string& pattern, Visit visit) {
  for (int64_t n : rows_data::kListedSizes) {
    std::string name = table_name(n);
    if (pattern_matches(name, pattern)) visit(n, name);
  }
}

int tables(SqiStmt handle, SqiText catalog, SqiText schema, SqiText table, SqiText types) {
  std::string catalog_text = argument_text(catalog), schema_text = argument_text(schema);
  std::string table_text = argument_text(table), types_text = argument_text(types);
  return catalog_answer(handle, [&](std::vector<std::vector<Cell>>& rows) {
    if (catalog_text == "%" && schema_text.empty() && table_text.empty()) {
      rows.push_back({text_cell(kCatalogName), {}, {}, {}, {}});
      return;
    }
    if (types_text == "%" && catalog_text.empty() && schema_text.empty() && table_text.empty()) {
      rows.push_back({{}, {}, {}, text_cell("TABLE"), {}});
      return;
    }
    if (!types_text.empty() && types_text.find("TABLE") == std::string::npos) return;
    for_each_listed(table_text, [&](int64_t, const std::string& name) {
      rows.push_back({text_cell(kCatalogName), {}, text_cell(name), text_cell("TABLE"), {}});
    });
  });
}

int columns(SqiStmt handle, SqiText, SqiText, SqiText table, SqiText column) {
  std::string table_text = argument_text(table), column_text = argument_text(column);
  return catalog_answer(handle, [&](std::vector<std::vector<Cell>>& rows) {
    for_each_listed(table_text, [&](int64_t, const std::string& name) {
      for (int i = 0; i < rows_data::kColumnCount; ++i) {
        if (!pattern_matches(rows_data::kColumnNames[i], column_text)) continue;
        ColumnShape shape = shape_of(i);
        bool text = shape.sql_type == SQL_VARCHAR;
        std::vector<Cell> row(18);
        row[0] = text_cell(kCatalogName);
        row[2] = text_cell(name);
        row[3] = text_cell(rows_data::kColumnNames[i]);
        row[4] = int_cell(shape.sql_type);
        row[5] = text_cell(shape.type_name);
        row[6] = int_cell(text ? shape.length : shape.precision);
        row[7] = int_cell(shape.length);
        if (!text) row[9] = int_cell(10);
        row[10] = int_cell(nullable(i) ? SQL_NULLABLE : SQL_NO_NULLS);
        row[13] = int_cell(shape.sql_type);
        if (text) row[15] = int_cell(shape.length);
        row[16] = int_cell(i + 1);
        row[17] = text_cell(nullable(i) ? "YES" : "NO");
        rows.push_back(std::move(row));
      }
    });
  });
}

int primary_keys(SqiStmt handle, SqiText, SqiText, SqiText table) {
  std::string table_text = argument_text(table);
  return catalog_answer(handle, [&](std::vector<std::vector<Cell>>& rows) {
    int64_t n = rows_data::row_count_of(table_text.c_str());
    if (n < 0) return;
    rows.push_back({text_cell(kCatalogName),
                    {},
                    text_cell(table_name(n)),
                    text_cell(rows_data::kColumnNames[0]),
                    int_cell(1),
                    text_cell("PK_ID")});
  });
}

// The table row (TYPE 0, CARDINALITY N) and the unique index on ID.
int statistics(SqiStmt handle, SqiText, SqiText, SqiText table, int, int) {
  std::string table_text = argument_text(table);
  return catalog_answer(handle, [&](std::vector<std::vector<Cell>>& rows) {
    int64_t n = rows_data::row_count_of(table_text.c_str());
    if (n < 0) return;
    std::string name = table_name(n);
    std::vector<Cell> row(13);
    row[0] = text_cell(kCatalogName);
    row[2] = text_cell(name);
    row[6] = int_cell(SQL_TABLE_STAT);
    row[10] = int_cell(n);
    rows.push_back(row);
    row[3] = int_cell(0);
    row[5] = text_cell("PK_ID");
    row[6] = int_cell(SQL_INDEX_OTHER);
    row[7] = int_cell(1);
    row[8] = text_cell(rows_data::kColumnNames[0]);
    row[9] = text_cell("A");
    rows.push_back(row);
  });
}

int accept(void*, SqiEnv) {
  return SQI_OK;
}
int accept_end(void*, SqiEnv, int) {
  return SQI_OK;
}

SqiOperations make_operations() {
  SqiOperations ops{};
  ops.alloc_env = alloc_env;
  ops.free_env = free_env;
  ops.connect = connect;
  ops.disconnect = disconnect;
  ops.get_info = get_info;
  ops.describe_table = describe_table;
  ops.describe_columns = describe_columns;
  ops.alloc_stmt = alloc_stmt;
  ops.free_stmt = free_stmt;
  ops.close_stmt = close_stmt;
  ops.fetch = fetch;
  ops.tables = tables;
  ops.columns = columns;
  ops.primary_keys = primary_keys;
  ops.statistics = statistics;
  ops.get_data = get_data;
  ops.start_scan = start_scan;
  ops.get_pk_info = get_pk_info;
  ops.begin_transaction = accept;
  ops.end_transaction = accept_end;
  return ops;
}

const SqiOperations kOperations = make_operations();

}  // namespace

// The module's entry point, looked up by name when the driver loads it.
extern "C" __attribute__((visibility("default"))) const SqiOperations* quill_backend_operations() {
  return &kOperations;
}
