// The test backend's operations: catalog answers from the configured tables, scans that
// apply the pushed restrictions (unless told to ignore them) over text cells, conversions of
// cells to the C types the engine asks for, statistics rows, the scan log, and the row
// operations (insert, update, delete, fetch by key) over the same cells; a loaded table is
// read from a compact typed copy of its cells instead, with the same answers.
#include "tests/backend/test_backend.h"

#include <cctype>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "driver/dal/sqi/restriction.h"
#include "driver/dal/sqi/row_arguments.h"
#include "support/value.h"

// The cells of a loaded table, column by column: integer columns whose every cell is the
// plain text of its number keep the numbers, every other column keeps its texts back to back
// (each followed by a NUL, as the cell's own text is). The texts it hands out are the cells'
// texts, byte for byte, so every conversion answers as it does from the cells themselves.
struct TestLoadedCells {
  // One column of the load.
  struct Column {
    bool integers = false;         // the cells are in `numbers`, else in `texts`
    std::vector<uint8_t> nulls;    // 1 for a NULL cell, by row
    std::vector<int64_t> numbers;  // integer cells, by row
    std::vector<char> texts;       // text cells, each followed by a NUL
    std::vector<uint32_t> starts;  // where each row's text starts in `texts`, plus the end
  };
  size_t row_count = 0;         // rows loaded
  std::vector<Column> columns;  // one per column of the table
};

namespace {

TestBackend* g_backend = nullptr;

// A statement: the rows of one scan or one statistics answer.
struct TestStatement {
  void* target = nullptr;                      // where errors are posted
  TestTable* table = nullptr;                  // table scanned, null for statistics
  std::vector<size_t> matches;                 // row numbers that passed the restrictions
  bool every_row = false;                      // no restriction: rows 0..row_end-1 in order
  size_t row_end = 0;                          // rows of the table when an unrestricted scan began
  std::vector<std::vector<TestCell>> answer;   // statistics rows (13 columns)
  size_t position = 0;                         // next entry to hand out
  bool statistics = false;                     // answering statistics
  size_t log_index = 0;                        // the scan's entry in the backend's log
  const std::vector<TestCell>* row = nullptr;  // current row
  int row_number = 0;                          // 1-based number of the current row
  int read_column = 0;                         // column of a read cut into pieces (0: none)
  size_t read_offset = 0;                      // bytes of it handed out so far
};

SqiService g_service = nullptr;

int post(void* target, const char* sqlstate, const char* message) {
  if (g_service) {
    SqiPostError error{target, "Test Backend", 0, sqlstate, message};
    g_service(SQI_SERVICE_POST_ERROR, &error);
  }
  return SQI_ERROR;
}

bool numeric_type(int sql_type) {
  switch (sql_type) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_BIT:
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return true;
    default:
      return false;
  }
}

std::string trimmed(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == ' ') --end;
  return text.substr(0, end);
}

// LIKE with % and _ (also * and ?), case-insensitive, backslash escape.
bool like(const char* text, const char* pattern) {
  for (; *pattern; ++pattern, ++text) {
    char p = *pattern;
    if (p == '%' || p == '*') {
      for (const char* rest = text;; ++rest) {
        if (like(rest, pattern + 1)) return true;
        if (!*rest) return false;
      }
    }
    if (!*text) return false;
    if (p == '\\' && pattern[1])
      p = *++pattern;
    else if (p == '_' || p == '?')
      continue;
    if (std::toupper(static_cast<unsigned char>(p)) !=
        std::toupper(static_cast<unsigned char>(*text)))
      return false;
  }
  return *text == '\0';
}

std::string value_text(const QuillValue* value) {
  if (!value || is_value_null(value)) return "NULL";
  if (value->kind == VALUE_INTEGER) return std::to_string(value->payload.integer);
  char buffer[VALUE_TEXT_SIZE];
  value_as_text(value, buffer);
  return buffer;
}

// A restriction with its value(s) converted once per scan, so rows are tested cheaply.
struct PreparedRestriction {
  size_t column;                      // 0-based column
  int op;                             // RestrictionOperator
  bool has_value;                     // a non-NULL value was given
  bool numeric;                       // the column compares as numbers
  std::string text;                   // the value's text (LIKE: the pattern to match)
  double number = 0;                  // the value as a number (numeric columns)
  std::vector<std::string> in_texts;  // IN: the non-NULL listed values
};

PreparedRestriction prepare(const TestTable& table, const Restriction* r) {
  PreparedRestriction p{static_cast<size_t>(r->column_number - 1), r->op, false, false, {}, 0, {}};
  if (p.column < table.columns.size()) p.numeric = numeric_type(table.columns[p.column].sql_type);
  if (r->op == RESTRICT_IN) {
    for (int i = 0; i < r->in_count; ++i)
      if (r->in_values[i] && !is_value_null(r->in_values[i]))
        p.in_texts.push_back(value_text(r->in_values[i]));
  } else if (r->value && !is_value_null(r->value)) {
    p.has_value = true;
    p.text = value_text(r->value);
    // A pattern restriction holds a literal run the value must contain somewhere.
    if (r->op == RESTRICT_PATTERN) p.text = "%" + p.text + "%";
    p.number = std::strtod(p.text.c_str(), nullptr);
  }
  return p;
}

int compare_prepared(const PreparedRestriction& p, const std::string& cell, const std::string& text,
                     double number) {
  if (p.numeric) {
    double a = std::strtod(cell.c_str(), nullptr);
    return a < number ? -1 : (a > number ? 1 : 0);
  }
  int order = trimmed(cell).compare(trimmed(text));
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

// The numbers of a numeric column, parsed once.
const std::vector<double>& column_numbers(TestTable* table, size_t column) {
  auto found = table->numbers.find(column);
  if (found != table->numbers.end() && found->second.size() == table->rows.size())
    return found->second;
  std::vector<double> numbers;
  numbers.reserve(table->rows.size());
  for (const auto& row : table->rows)
    numbers.push_back(row[column] ? std::strtod(row[column]->c_str(), nullptr) : std::nan(""));
  return table->numbers[column] = std::move(numbers);
}

bool passes(TestTable* table, size_t row_number, const PreparedRestriction& p) {
  const std::vector<TestCell>& row = table->rows[row_number];
  if (p.column >= row.size()) return true;
  const TestCell& cell = row[p.column];
  if (p.op == RESTRICT_IS_NULL) return !cell.has_value();
  if (!cell) return false;
  if (p.numeric && p.has_value && p.op >= RESTRICT_LESS && p.op <= RESTRICT_NOT_EQUAL) {
    double a = column_numbers(table, p.column)[row_number];
    int order = a < p.number ? -1 : (a > p.number ? 1 : 0);
    switch (p.op) {
      case RESTRICT_LESS:
        return order < 0;
      case RESTRICT_GREATER:
        return order > 0;
      case RESTRICT_GREATER_EQUAL:
        return order >= 0;
      case RESTRICT_LESS_EQUAL:
        return order <= 0;
      case RESTRICT_EQUAL:
        return order == 0;
      default:
        return order != 0;
    }
  }
  if (p.op == RESTRICT_IN) {
    for (const std::string& text : p.in_texts)
      if (compare_prepared(p, *cell, text, std::strtod(text.c_str(), nullptr)) == 0) return true;
    return false;
  }
  if (!p.has_value) return p.op == RESTRICT_RANGE;
  if (p.op == RESTRICT_LIKE || p.op == RESTRICT_PATTERN) return like(cell->c_str(), p.text.c_str());
  int order = compare_prepared(p, *cell, p.text, p.number);
  switch (p.op) {
    case RESTRICT_LESS:
      return order < 0;
    case RESTRICT_GREATER:
      return order > 0;
    case RESTRICT_GREATER_EQUAL:
      return order >= 0;
    case RESTRICT_LESS_EQUAL:
      return order <= 0;
    case RESTRICT_EQUAL:
      return order == 0;
    case RESTRICT_NOT_EQUAL:
      return order != 0;
    default:
      return true;  // range pairs are the planner's business
  }
}

// The lookup of an `=` restriction with a value on the first column of a declared index of
// an integer or character column (built on first use); null when the scan must read all rows.
const std::multimap<std::string, size_t>* index_for(TestTable* table, const Restriction* r) {
  if (r->op != RESTRICT_EQUAL || !r->value || is_value_null(r->value)) return nullptr;
  int column = r->column_number;
  if (column < 1 || static_cast<size_t>(column) > table->columns.size()) return nullptr;
  int type = table->columns[static_cast<size_t>(column - 1)].sql_type;
  if (type != SQL_INTEGER && type != SQL_VARCHAR && type != SQL_CHAR) return nullptr;
  if (type == SQL_INTEGER && r->value->kind != VALUE_INTEGER) return nullptr;
  bool indexed = false;
  for (const TestIndex& index : table->indexes)
    if (!index.columns.empty() && index.columns[0] == column) indexed = true;
  if (!indexed) return nullptr;
  auto found = table->lookup.find(column);
  if (found == table->lookup.end()) {
    std::multimap<std::string, size_t> lookup;
    for (size_t row = 0; row < table->rows.size(); ++row) {
      const TestCell& cell = table->rows[row][static_cast<size_t>(column - 1)];
      if (cell) lookup.emplace(type == SQL_INTEGER ? *cell : trimmed(*cell), row);
    }
    found = table->lookup.emplace(column, std::move(lookup)).first;
  }
  return &found->second;
}

int alloc_env(void*, SqiEnv* out, SqiService service, const char*) {
  g_service = service;
  *out = g_backend;
  return SQI_OK;
}
int free_env(SqiEnv) {
  return SQI_OK;
}
int connect(SqiEnv, ConnAttrSet*, void*, char* out, int size) {
  if (size > 0) out[0] = '\0';
  return SQI_OK;
}
int disconnect(SqiEnv) {
  return SQI_OK;
}

int get_info(SqiEnv, int code, void* out) {
  switch (code) {
    case 1:
      *static_cast<int*>(out) = static_cast<int>(g_backend->capabilities);
      return SQI_OK;
    case 2:
      *static_cast<double*>(out) = g_backend->cost_factor;
      return SQI_OK;
    case 6:
      *static_cast<int*>(out) = g_backend->integer_factor;
      return SQI_OK;
    case SQI_INFO_PREPARED_SCANS:
      *static_cast<int*>(out) = g_backend->prepared_scans;
      return SQI_OK;
    default:
      return SQI_NO_DATA;
  }
}

int describe_table(SqiEnv, const char* name, DalTable* out) {
  TestTable* table = g_backend->find(name);
  if (!table) return SQI_NOT_FOUND;
  std::snprintf(out->catalog, sizeof out->catalog, "TEST");
  std::snprintf(out->name, sizeof out->name, "%s", table->name.c_str());
  out->column_count = static_cast<int>(table->columns.size());
  out->pk_count = static_cast<int>(table->keys.size());
  out->passthrough = g_backend->passthrough ? 1 : 0;
  out->backend_table = table;
  return SQI_OK;
}

int describe_columns(SqiEnv, const DalTable* dal_table, int count, DalColumn* out) {
  const auto* table = static_cast<const TestTable*>(dal_table->backend_table);
  if (!table) return SQI_ERROR;
  for (int i = 0; i < count && i < static_cast<int>(table->columns.size()); ++i) {
    const TestColumn& column = table->columns[static_cast<size_t>(i)];
    DalColumn& c = out[i];
    c = DalColumn{};
    std::snprintf(c.catalog, sizeof c.catalog, "TEST");
    std::snprintf(c.table, sizeof c.table, "%s", table->name.c_str());
    std::snprintf(c.name, sizeof c.name, "%s", column.name.c_str());
    c.number = i + 1;
    c.sql_type = column.sql_type;
    c.length = column.length;
    c.precision = column.precision;
    c.scale = column.scale;
    c.nullable = column.nullable;
    c.required = column.required;
    c.searchable = SQL_SEARCHABLE;
    c.backend_index = dal_table->backend_index;
  }
  return SQI_OK;
}

int get_pk_info(SqiEnv, const DalTable* dal_table, DalKeyColumn* out, int capacity, int* count) {
  const auto* table = static_cast<const TestTable*>(dal_table->backend_table);
  *count = 0;
  if (!table) return SQI_ERROR;
  for (const std::string& key : table->keys) {
    if (*count >= capacity) break;
    DalKeyColumn& entry = out[(*count)++];
    std::snprintf(entry.name, sizeof entry.name, "%s", key.c_str());
    entry.number = 0;
    if (key == TEST_ROW_KEY) entry.number = -1;
    if (key == TEST_BOOKMARK) entry.number = -2;
    for (size_t i = 0; i < table->columns.size(); ++i)
      if (table->columns[i].name == key) entry.number = static_cast<int>(i) + 1;
  }
  return SQI_OK;
}

SqiStmt alloc_stmt(void* target, SqiEnv, void*, void*) {
  auto* statement = new TestStatement;
  statement->target = target;
  return statement;
}
int free_stmt(SqiStmt s) {
  delete static_cast<TestStatement*>(s);
  return SQI_OK;
}
int close_stmt(SqiStmt s) {
  auto* statement = static_cast<TestStatement*>(s);
  void* target = statement->target;
  *statement = TestStatement{};
  statement->target = target;
  return SQI_OK;
}

// The first required column of `table` that no restriction supplies (an `=`, an IN list, or a
// lower and an upper bound, as a backend making one call per value takes them); "" when none.
std::string unsupplied_parameter(const TestTable& table, int count,
                                 Restriction* const* restrictions) {
  for (size_t c = 0; c < table.columns.size(); ++c) {
    if (!table.columns[c].required) continue;
    bool given = false, lower = false, upper = false;
    for (int i = 0; i < count; ++i) {
      const Restriction* r = restrictions[i];
      if (r->column_number != static_cast<int>(c) + 1) continue;
      given |= r->op == RESTRICT_EQUAL || r->op == RESTRICT_IN;
      lower |= r->op == RESTRICT_GREATER || r->op == RESTRICT_GREATER_EQUAL;
      upper |= r->op == RESTRICT_LESS || r->op == RESTRICT_LESS_EQUAL;
    }
    if (!given && !(lower && upper)) return table.columns[c].name;
  }
  return "";
}

int start_scan(SqiStmt s, const DalTable* dal_table, const int*, const int*, int count,
               Restriction* const* restrictions) {
  auto* statement = static_cast<TestStatement*>(s);
  auto* table = const_cast<TestTable*>(static_cast<const TestTable*>(dal_table->backend_table));
  if (!table) return post(statement->target, "HY000", "unknown test table");
  int n = count < 0 ? -count : count;
  TestScan scan;
  scan.table = table->name;
  scan.restriction_count = count;
  if (g_backend->log_scans)
    for (int i = 0; i < n; ++i) scan.restrictions.push_back(describe_restriction(restrictions[i]));
  if (g_backend->log_scans || g_backend->scans.empty()) g_backend->scans.push_back(scan);
  if (!g_backend->prepared.empty()) {
    std::vector<std::string> described;
    for (int i = 0; i < n; ++i) described.push_back(describe_restriction(restrictions[i]));
    for (const std::vector<std::string>& set : g_backend->prepared)
      if (set == described) {
        ++g_backend->prepared_hits;
        break;
      }
  }
  if (table->fail_start) return post(statement->target, "HY000", "scan refused by test table");
  if (std::string missing = unsupplied_parameter(*table, n, restrictions); !missing.empty())
    return post(statement->target, "HY000",
                ("The column '" + missing + "' must be specified in the query").c_str());
  statement->table = table;
  statement->statistics = false;
  statement->position = 0;
  statement->matches.clear();
  statement->every_row = false;
  statement->log_index = g_backend->scans.size() - 1;
  std::vector<PreparedRestriction> prepared;
  if (!table->ignore_restrictions)
    for (int i = 0; i < n; ++i) prepared.push_back(prepare(*table, restrictions[i]));
  auto keep = [&](size_t row) {
    for (const PreparedRestriction& p : prepared)
      if (!passes(table, row, p)) return;
    statement->matches.push_back(row);
  };
  const std::multimap<std::string, size_t>* index = nullptr;
  std::string key;
  for (int i = 0; i < n && !index && !table->ignore_restrictions; ++i)
    if ((index = index_for(table, restrictions[i])) != nullptr)
      key = trimmed(value_text(restrictions[i]->value));
  if (index) {
    auto range = index->equal_range(key);
    for (auto it = range.first; it != range.second; ++it) keep(it->second);
  } else if (prepared.empty()) {
    // Every row passes: hand them out in order without listing their numbers first.
    statement->every_row = true;
    statement->row_end = table->rows.size();
  } else {
    for (size_t row = 0; row < table->rows.size(); ++row) keep(row);
  }
  return SQI_OK;
}

// Records the sets; the scans that follow are served as any others (the speed-up a real backend
// gets from them is not the engine's business).
int prepare_scans(SqiStmt, const DalTable*, int set_count, const int* counts,
                  Restriction* const* const* sets) {
  g_backend->prepared.clear();
  if (set_count <= 0) return SQI_OK;
  ++g_backend->prepare_calls;
  g_backend->prepared_sets += set_count;
  for (int s = 0; s < set_count; ++s) {
    std::vector<std::string>& described = g_backend->prepared.emplace_back();
    const int n = counts[s] < 0 ? -counts[s] : counts[s];
    for (int i = 0; i < n; ++i) described.push_back(describe_restriction(sets[s][i]));
  }
  return SQI_OK;
}

int fetch(SqiStmt s) {
  auto* statement = static_cast<TestStatement*>(s);
  if (statement->statistics) {
    if (statement->position >= statement->answer.size()) return SQI_NO_DATA;
    statement->row = &statement->answer[statement->position++];
    return SQI_OK;
  }
  TestTable* table = statement->table;
  if (!table) return SQI_NO_DATA;
  if (table->fetch_delay_ms > 0)
    std::this_thread::sleep_for(std::chrono::milliseconds(table->fetch_delay_ms));
  TestScan* log = &g_backend->scans[statement->log_index];
  if (table->fail_after_rows >= 0 && log->rows_returned >= table->fail_after_rows)
    return post(statement->target, "HY000", "fetch failed in test table");
  size_t row = 0;
  if (statement->every_row) {
    if (statement->position >= statement->row_end) return SQI_NO_DATA;
    row = statement->position++;
  } else {
    if (statement->position >= statement->matches.size()) return SQI_NO_DATA;
    row = statement->matches[statement->position++];
  }
  statement->row = &table->rows[row];
  statement->read_column = 0;
  statement->read_offset = 0;
  statement->row_number = static_cast<int>(row) + 1;
  log->rows_returned++;
  return SQI_OK;
}

int statistics(SqiStmt s, SqiText, SqiText, SqiText name, int, int) {
  auto* statement = static_cast<TestStatement*>(s);
  char table_name[SQI_NAME_MAX + 1] = "";
  sqi_text_copy(name, table_name, sizeof table_name);
  TestTable* table = g_backend->find(table_name);
  g_backend->statistics_calls++;
  statement->statistics = true;
  statement->position = 0;
  statement->answer.clear();
  if (!table) return SQI_OK;
  auto number = [](long n) { return n < 0 ? TestCell{} : TestCell{std::to_string(n)}; };
  // Columns: 1 cat, 2 schema, 3 table, 4 NON_UNIQUE, 5 qualifier, 6 INDEX_NAME, 7 TYPE,
  // 8 ORDINAL_POSITION, 9 COLUMN_NAME, 10 ASC_OR_DESC, 11 CARDINALITY, 12 PAGES, 13 FILTER.
  std::vector<TestCell> stat(13);
  stat[2] = table->name;
  stat[6] = "0";
  stat[10] = number(table->cardinality);
  statement->answer.push_back(stat);
  for (const TestIndex& index : table->indexes)
    for (size_t k = 0; k < index.columns.size(); ++k) {
      std::vector<TestCell> row(13);
      row[2] = table->name;
      row[3] = index.unique ? "0" : "1";
      row[5] = index.name;
      row[6] = "3";
      row[7] = std::to_string(k + 1);
      size_t column = static_cast<size_t>(index.columns[k] - 1);
      row[8] = column < table->columns.size() ? table->columns[column].name : "";
      row[10] = number(index.cardinality);
      statement->answer.push_back(row);
    }
  return SQI_OK;
}

int hex_value(char c) {
  return std::isdigit(static_cast<unsigned char>(c))
             ? c - '0'
             : std::toupper(static_cast<unsigned char>(c)) - 'A' + 10;
}

// Hands out character or binary data in pieces, as SQLGetData does: each call continues where
// the last one on the same column stopped; the indicator gives the bytes left before the call;
// SQI_INFO while the piece was cut.
int copy_piece(TestStatement* statement, int column, const char* data, size_t size, bool text,
               void* buffer, SQLLEN length, SQLLEN* indicator) {
  if (statement->read_column != column) {
    statement->read_column = column;
    statement->read_offset = 0;
  }
  size_t offset = std::min(statement->read_offset, size);
  size_t remaining = size - offset;
  *indicator = static_cast<SQLLEN>(remaining);
  size_t room = length <= 0 ? 0 : static_cast<size_t>(text ? length - 1 : length);
  size_t n = std::min(remaining, room);
  if (length > 0) {
    std::memcpy(buffer, data + offset, n);
    if (text) static_cast<char*>(buffer)[n] = '\0';
  }
  if (n < remaining) {
    statement->read_offset = offset + n;
    return SQI_INFO;
  }
  statement->read_column = 0;  // complete: a later read starts at the beginning again
  statement->read_offset = 0;
  return SQI_OK;
}

// Converts the text of a cell (`size` bytes followed by a NUL) to `c_type`, as SQLGetData does.
int convert_cell(TestStatement* statement, int column, int c_type, const char* text, size_t size,
                 void* buffer, SQLLEN length, SQLLEN* indicator) {
  switch (c_type) {
    case SQL_C_CHAR:
      return copy_piece(statement, column, text, size, true, buffer, length, indicator);
    case SQL_C_LONG:
    case SQL_C_SLONG:
      *static_cast<SQLINTEGER*>(buffer) = static_cast<SQLINTEGER>(std::strtol(text, nullptr, 10));
      *indicator = sizeof(SQLINTEGER);
      return SQI_OK;
    case SQL_C_SBIGINT:
      *static_cast<SQLBIGINT*>(buffer) = std::strtoll(text, nullptr, 10);
      *indicator = sizeof(SQLBIGINT);
      return SQI_OK;
    case SQL_C_DOUBLE:
      *static_cast<double*>(buffer) = std::strtod(text, nullptr);
      *indicator = sizeof(double);
      return SQI_OK;
    case SQL_C_TYPE_DATE: {
      auto* date = static_cast<SQL_DATE_STRUCT*>(buffer);
      int y = 0, m = 0, d = 0;
      std::sscanf(text, "%d-%d-%d", &y, &m, &d);
      *date = SQL_DATE_STRUCT{static_cast<SQLSMALLINT>(y), static_cast<SQLUSMALLINT>(m),
                              static_cast<SQLUSMALLINT>(d)};
      *indicator = sizeof *date;
      return SQI_OK;
    }
    case SQL_C_TYPE_TIME: {
      auto* time = static_cast<SQL_TIME_STRUCT*>(buffer);
      int h = 0, mi = 0, se = 0;
      std::sscanf(text, "%d:%d:%d", &h, &mi, &se);
      *time = SQL_TIME_STRUCT{static_cast<SQLUSMALLINT>(h), static_cast<SQLUSMALLINT>(mi),
                              static_cast<SQLUSMALLINT>(se)};
      *indicator = sizeof *time;
      return SQI_OK;
    }
    case SQL_C_TYPE_TIMESTAMP: {
      auto* ts = static_cast<SQL_TIMESTAMP_STRUCT*>(buffer);
      int y = 0, m = 0, d = 0, h = 0, mi = 0, se = 0;
      std::sscanf(text, "%d-%d-%d %d:%d:%d", &y, &m, &d, &h, &mi, &se);
      *ts = SQL_TIMESTAMP_STRUCT{static_cast<SQLSMALLINT>(y),
                                 static_cast<SQLUSMALLINT>(m),
                                 static_cast<SQLUSMALLINT>(d),
                                 static_cast<SQLUSMALLINT>(h),
                                 static_cast<SQLUSMALLINT>(mi),
                                 static_cast<SQLUSMALLINT>(se),
                                 0};
      *indicator = sizeof *ts;
      return SQI_OK;
    }
    case SQL_C_BINARY: {
      // Binary cells are written as hex digits.
      std::string bytes(size / 2, '\0');
      for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(hex_value(text[2 * i]) * 16 + hex_value(text[2 * i + 1]));
      return copy_piece(statement, column, bytes.data(), bytes.size(), false, buffer, length,
                        indicator);
    }
    default:
      return post(statement->target, "HY003", "C type not served by the test backend");
  }
}

// The loaded column `column` (1-based) of the current row, when that row is a row of the
// table's load (a scan or a fetch by key over loaded cells); null when the row's cells are read.
const TestLoadedCells::Column* loaded_column(const TestStatement* statement, int column) {
  const TestTable* table = statement->table;
  if (statement->statistics || !table || !table->loaded || statement->row_number < 1)
    return nullptr;
  const TestLoadedCells& loaded = *table->loaded;
  size_t row = static_cast<size_t>(statement->row_number - 1);
  if (row >= loaded.row_count || row >= table->rows.size() || statement->row != &table->rows[row])
    return nullptr;
  if (column < 1 || static_cast<size_t>(column) > loaded.columns.size()) return nullptr;
  return &loaded.columns[static_cast<size_t>(column - 1)];
}

// Reads a cell of a loaded column: integers straight from their numbers, everything else
// through the same conversions as the cell's text (which the load keeps, or which is the
// plain text of the number).
int get_loaded(TestStatement* statement, const TestLoadedCells::Column& loaded, int column,
               int c_type, void* buffer, SQLLEN length, SQLLEN* indicator) {
  size_t row = static_cast<size_t>(statement->row_number - 1);
  if (loaded.nulls[row]) {
    *indicator = SQL_NULL_DATA;
    return SQI_OK;
  }
  if (!loaded.integers) {
    uint32_t start = loaded.starts[row];
    return convert_cell(statement, column, c_type, loaded.texts.data() + start,
                        loaded.starts[row + 1] - start - 1, buffer, length, indicator);
  }
  int64_t number = loaded.numbers[row];
  switch (c_type) {
    case SQL_C_LONG:
    case SQL_C_SLONG:
      *static_cast<SQLINTEGER*>(buffer) = static_cast<SQLINTEGER>(number);
      *indicator = sizeof(SQLINTEGER);
      return SQI_OK;
    case SQL_C_SBIGINT:
      *static_cast<SQLBIGINT*>(buffer) = number;
      *indicator = sizeof(SQLBIGINT);
      return SQI_OK;
    default: {
      char text[24];
      char* end = std::to_chars(text, text + sizeof text - 1, number).ptr;
      *end = '\0';
      return convert_cell(statement, column, c_type, text, static_cast<size_t>(end - text), buffer,
                          length, indicator);
    }
  }
}

int get_data(SqiStmt s, int column, int c_type, void* buffer, SQLLEN length, SQLLEN* indicator) {
  auto* statement = static_cast<TestStatement*>(s);
  if (!statement->row) return post(statement->target, "24000", "no current row");
  const TestLoadedCells::Column* loaded = loaded_column(statement, column);
  TestCell made;  // row key and bookmark texts; table cells are read in place
  const TestCell* cell = &made;
  if (loaded)
    cell = nullptr;
  else if (column == -1)
    made = std::to_string(statement->row_number);
  else if (column == -2)
    made = "row" + std::to_string(statement->row_number);
  else if (column >= 1 && static_cast<size_t>(column) <= statement->row->size())
    cell = &(*statement->row)[static_cast<size_t>(column - 1)];
  else
    return post(statement->target, "07009", "column number out of range");
  if (column >= 1 && statement->table && statement->table->fail_long_reads) {
    int type = statement->table->columns[static_cast<size_t>(column - 1)].sql_type;
    if (type == SQL_LONGVARCHAR || type == SQL_LONGVARBINARY)
      return post(statement->target, "HY000", "long read failed in test table");
  }
  if (loaded) return get_loaded(statement, *loaded, column, c_type, buffer, length, indicator);
  if (!*cell) {
    *indicator = SQL_NULL_DATA;
    return SQI_OK;
  }
  return convert_cell(statement, column, c_type, (*cell)->c_str(), (*cell)->size(), buffer, length,
                      indicator);
}

// --- Row operations ---

// The cell text of a stored value: no value for NULL.
TestCell cell_of(const QuillValue* value) {
  if (!value || is_value_null(value)) return TestCell{};
  return value_text(value);
}

// The cached lookups and numbers no longer describe the rows.
void rows_changed(TestTable* table) {
  table->lookup.clear();
  table->numbers.clear();
  table->loaded.reset();
}

TestTable* table_of(const DalTable* dal_table) {
  return const_cast<TestTable*>(static_cast<const TestTable*>(dal_table->backend_table));
}

// Whether row `row` meets every key restriction (column -1: the 1-based row number).
bool row_has_key(TestTable* table, size_t row, int count, Restriction* const* restrictions) {
  for (int i = 0; i < count; ++i) {
    const Restriction* r = restrictions[i];
    if (r->column_number == -1) {
      if (value_text(r->value) != std::to_string(row + 1)) return false;
      continue;
    }
    if (!passes(table, row, prepare(*table, r))) return false;
  }
  return true;
}

int fetch_by_key(SqiStmt s, const DalTable* dal_table, void* arguments) {
  auto* statement = static_cast<TestStatement*>(s);
  auto* args = static_cast<DalFetchByKeyArguments*>(arguments);
  TestTable* table = table_of(dal_table);
  g_backend->fetch_by_key_calls++;
  if (!table || !args) return post(statement->target, "HY000", "unknown test table");
  if (g_backend->before_fetch_by_key) {
    g_backend->before_fetch_by_key(*table);
    rows_changed(table);
  }
  // A row key names its row directly; a bookmark is "row" and the row number.
  size_t first = 0, last = table->rows.size();
  for (int i = 0; i < args->restriction_count; ++i) {
    const Restriction* r = args->restrictions[i];
    if (r->column_number != -1 && r->column_number != -2) continue;
    std::string key = r->value && !is_value_null(r->value) ? value_text(r->value) : "";
    if (r->column_number == -2) key = key.rfind("row", 0) == 0 ? key.substr(3) : "";
    char* end = nullptr;
    unsigned long long number = std::strtoull(key.c_str(), &end, 10);
    bool valid = !key.empty() && *end == '\0' && number >= first + 1 && number <= last;
    first = valid ? number - 1 : last;
    last = valid ? number : last;
  }
  for (size_t row = first; row < last; ++row) {
    if (!row_has_key(table, row, args->restriction_count, args->restrictions)) continue;
    statement->table = table;
    statement->statistics = false;
    statement->row = &table->rows[row];
    statement->row_number = static_cast<int>(row) + 1;
    statement->read_column = 0;
    statement->read_offset = 0;
    return g_backend->fetch_by_key_defers_long ? SQI_NO_DATA : SQI_OK;
  }
  return DAL_FETCH_BY_KEY_NOT_FOUND;
}

int insert_row(SqiStmt s, const DalTable* dal_table, void* arguments) {
  auto* statement = static_cast<TestStatement*>(s);
  auto* args = static_cast<DalInsertArguments*>(arguments);
  TestTable* table = table_of(dal_table);
  g_backend->insert_calls++;
  if (!table || !args) return post(statement->target, "HY000", "unknown test table");
  std::vector<TestCell> row(table->columns.size());
  for (int i = 0; i < args->column_count; ++i) {
    const DalColumnValue& entry = args->columns[i];
    if (entry.number >= 1 && static_cast<size_t>(entry.number) <= row.size())
      row[static_cast<size_t>(entry.number - 1)] = cell_of(entry.value);
  }
  table->rows.push_back(row);
  rows_changed(table);
  args->rows = 1;
  return SQI_OK;
}

int delete_row(SqiStmt s, const DalTable* dal_table, void* arguments) {
  auto* statement = static_cast<TestStatement*>(s);
  auto* args = static_cast<DalDeleteArguments*>(arguments);
  TestTable* table = table_of(dal_table);
  g_backend->delete_calls++;
  if (!table || !args) return post(statement->target, "HY000", "unknown test table");
  if (args->restriction_count == 0 && g_backend->bulk_delete_refused) return SQI_NO_DATA;
  std::vector<std::vector<TestCell>> kept;
  for (size_t row = 0; row < table->rows.size(); ++row)
    if (!row_has_key(table, row, args->restriction_count, args->restrictions))
      kept.push_back(table->rows[row]);
  args->rows = static_cast<SQLLEN>(table->rows.size() - kept.size());
  table->rows = std::move(kept);
  rows_changed(table);
  statement->row = nullptr;
  return SQI_OK;
}

int update_row(SqiStmt s, const DalTable* dal_table, void* arguments, int mode) {
  auto* statement = static_cast<TestStatement*>(s);
  auto* args = static_cast<DalUpdateArguments*>(arguments);
  TestTable* table = table_of(dal_table);
  g_backend->update_calls++;
  if (mode != DAL_UPDATE_MODE_ROW) return SQI_NOT_FOUND;
  if (!table || !args) return post(statement->target, "HY000", "unknown test table");
  std::vector<size_t> matches;
  for (size_t row = 0; row < table->rows.size(); ++row)
    if (row_has_key(table, row, args->restriction_count, args->restrictions))
      matches.push_back(row);
  for (size_t row : matches)
    for (int i = 0; i < args->column_count; ++i) {
      const DalColumnValue& entry = args->columns[i];
      if (entry.changed && entry.number >= 1 &&
          static_cast<size_t>(entry.number) <= table->columns.size())
        table->rows[row][static_cast<size_t>(entry.number - 1)] = cell_of(entry.value);
    }
  rows_changed(table);
  args->rows = static_cast<SQLLEN>(matches.size());
  return SQI_OK;
}

// Data definition: the request is taken and logged by its operation's name.
template <const char* kName>
int define(SqiStmt, void*) {
  g_backend->definitions.push_back(kName);
  return SQI_OK;
}
template <const char* kName>
int alter(SqiStmt, const DalTable* table, void*) {
  g_backend->definitions.push_back(std::string(kName) + " " + table->name);
  return SQI_OK;
}
constexpr char kCreateTable[] = "CREATE TABLE", kDropTable[] = "DROP TABLE",
               kCreateIndex[] = "CREATE INDEX", kDropIndex[] = "DROP INDEX",
               kCreateUser[] = "CREATE USER", kDropUser[] = "DROP USER",
               kAddColumn[] = "ADD COLUMN", kDropColumn[] = "DROP COLUMN";

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
  ops.statistics = statistics;
  ops.get_data = get_data;
  ops.start_scan = start_scan;
  ops.prepare_scans = prepare_scans;
  ops.get_pk_info = get_pk_info;
  ops.create_table = define<kCreateTable>;
  ops.drop_table = define<kDropTable>;
  ops.create_index = define<kCreateIndex>;
  ops.drop_index = define<kDropIndex>;
  ops.create_user = define<kCreateUser>;
  ops.drop_user = define<kDropUser>;
  ops.add_column = alter<kAddColumn>;
  ops.drop_column = alter<kDropColumn>;
  ops.fetch_by_key = fetch_by_key;
  ops.insert_row = insert_row;
  ops.delete_row = delete_row;
  ops.update_row = update_row;
  return ops;
}

const SqiOperations kOperations = make_operations();

// Keeps the numbers of integer column `c` when every cell is the plain text of its number.
bool load_integers(const TestTable& table, size_t c, TestLoadedCells::Column* column) {
  switch (table.columns[c].sql_type) {
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_BIT:
      break;
    default:
      return false;
  }
  std::vector<int64_t> numbers(table.rows.size());
  char text[24];
  for (size_t r = 0; r < table.rows.size(); ++r) {
    const TestCell& cell = table.rows[r][c];
    if (!cell) continue;
    numbers[r] = std::strtoll(cell->c_str(), nullptr, 10);
    char* end = std::to_chars(text, text + sizeof text, numbers[r]).ptr;
    if (cell->compare(0, std::string::npos, text, static_cast<size_t>(end - text)) != 0)
      return false;  // "007", "+1", " 5", "1e3": read from the text itself
  }
  column->integers = true;
  column->numbers = std::move(numbers);
  return true;
}

// Packs the texts of column `c` back to back; false when they exceed the load's offsets.
bool load_texts(const TestTable& table, size_t c, TestLoadedCells::Column* column) {
  size_t total = 0;
  for (const std::vector<TestCell>& row : table.rows) total += (row[c] ? row[c]->size() : 0) + 1;
  if (total > UINT32_MAX) return false;
  column->texts.reserve(total);
  column->starts.reserve(table.rows.size() + 1);
  for (const std::vector<TestCell>& row : table.rows) {
    column->starts.push_back(static_cast<uint32_t>(column->texts.size()));
    if (row[c]) column->texts.insert(column->texts.end(), row[c]->begin(), row[c]->end());
    column->texts.push_back('\0');
  }
  column->starts.push_back(static_cast<uint32_t>(column->texts.size()));
  return true;
}

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
    case RESTRICT_EQUAL:
      return "=";
    case RESTRICT_NOT_EQUAL:
      return "<>";
    case RESTRICT_RANGE:
      return "RANGE";
    case RESTRICT_LIKE:
      return "LIKE";
    case RESTRICT_PATTERN:
      return "PATTERN";
    default:
      return "?";
  }
}

}  // namespace

void test_table_load(TestTable* table) {
  table->loaded.reset();
  auto loaded = std::make_shared<TestLoadedCells>();
  size_t width = table->columns.size();
  for (const std::vector<TestCell>& row : table->rows)
    if (row.size() != width) return;  // ragged rows are read as they stand
  loaded->row_count = table->rows.size();
  loaded->columns.resize(width);
  for (size_t c = 0; c < width; ++c) {
    TestLoadedCells::Column& column = loaded->columns[c];
    column.nulls.resize(loaded->row_count);
    for (size_t r = 0; r < loaded->row_count; ++r) column.nulls[r] = !table->rows[r][c];
    if (load_integers(*table, c, &column)) continue;
    if (!load_texts(*table, c, &column)) return;  // too much text for the load's offsets
  }
  table->loaded = std::move(loaded);
}

TestTable* TestBackend::find(const std::string& name) {
  for (TestTable& table : tables)
    if (table.name == name) return &table;
  return nullptr;
}

const SqiOperations* test_backend_operations() {
  return &kOperations;
}

void test_backend_use(TestBackend* backend) {
  g_backend = backend;
}

void test_backend_install(Dal* dal, TestBackend* backend) {
  test_backend_use(backend);
  dal->backends[2] = &kOperations;
}

std::string describe_restriction(const Restriction* r) {
  std::string column = r->column ? r->column->name : "#" + std::to_string(r->column_number);
  if (r->op == RESTRICT_IS_NULL) return column + " IS NULL";
  if (r->op == RESTRICT_IN) {
    std::string list;
    for (int i = 0; i < r->in_count; ++i) list += (i ? ", " : "") + value_text(r->in_values[i]);
    return column + " IN (" + list + ")";
  }
  std::string value = value_text(r->value);
  if (r->value && !is_value_null(r->value) &&
      (r->value->kind == VALUE_CHARACTER || r->op == RESTRICT_LIKE || r->op == RESTRICT_PATTERN))
    value = "'" + value + "'";
  return column + " " + operator_text(r->op) + " " + value;
}
