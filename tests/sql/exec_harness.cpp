// The execution test harness: table declarations for the test backend, one parse-validate-
// execute-fetch run returning rows as text, and the case-file driver.
//
// Case files (tests/sql/exec/*.txt). Blank lines and lines starting with '#' are ignored.
//   table NAME (COL TYPE, ...) [keys C,...] [cardinality N] [index NAME [unique] (C,...)]
//   <row>            one line per row, cells separated by '|', NULL for a NULL cell
//   end              ends the rows of the table
//   set capabilities N | set ignore TABLE | set delay TABLE MS | set failstart TABLE |
//   set faillong TABLE (its LONG columns fail to read)
//                    backend settings that hold for the rest of the file
//   sql TEXT         starts a case (it runs when the next case, table, set or the end comes)
//   maxrows N | timeout N     engine settings of the case
//   params a,b;c,d   parameter sets separated by ';', cells by ','
//   ignore I         marks parameter set I (0-based) SQL_PARAM_IGNORE
//   > ROW            an expected row, in order ("1|abc|NULL"); none means no rows
//   scan TABLE: R1; R2   the restrictions of the next scan of TABLE, in scan order
//   status S,S,...   the parameter status array expected after the run
//   error STATE TEXT the run must fail with this first diagnostic (TEXT may be a prefix)
//   count N          the rows a modification changed (the statement's row count)
//   rc N             the result exec_statement must give (100: no row qualified)
//   set bulkrefused  deletes without restrictions answer "row by row" for the rest of the file
// Types: INTEGER, SMALLINT, BIT, BIGINT, DOUBLE, REAL, VARCHAR(n), CHAR(n), NUMERIC(p,s),
// DATE, TIME, TIMESTAMP, BINARY(n), VARBINARY(n), LONGVARCHAR, LONGVARBINARY.
#include "tests/sql/exec_harness.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <cctype>
#include <fstream>
#include <memory>
#include <sstream>

#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_modify.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"
#include "support/connstr.h"
#include "support/diag.h"

namespace {

std::string trim(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::string part;
  std::istringstream in(text);
  while (std::getline(in, part, separator)) parts.push_back(trim(part));
  if (!text.empty() && text.back() == separator) parts.push_back("");
  return parts;
}

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Parses "TYPE[(n[,s])]" into a column; false when the type is unknown.
bool parse_type(const std::string& text, TestColumn* column) {
  std::string name = upper(text.substr(0, text.find('(')));
  long first = -1, second = 0;
  size_t open = text.find('(');
  if (open != std::string::npos) {
    std::vector<std::string> sizes = split(text.substr(open + 1, text.find(')') - open - 1), ',');
    first = std::atol(sizes[0].c_str());
    if (sizes.size() > 1) second = std::atol(sizes[1].c_str());
  }
  struct Type {
    const char* name;
    int sql_type;
    long length;
  } types[] = {{"INTEGER", SQL_INTEGER, 10},
               {"INT", SQL_INTEGER, 10},
               {"SMALLINT", SQL_SMALLINT, 5},
               {"BIT", SQL_BIT, 1},
               {"BIGINT", SQL_BIGINT, 19},
               {"DOUBLE", SQL_DOUBLE, 15},
               {"REAL", SQL_REAL, 7},
               {"VARCHAR", SQL_VARCHAR, 255},
               {"CHAR", SQL_CHAR, 1},
               {"NUMERIC", SQL_NUMERIC, 18},
               {"DATE", SQL_TYPE_DATE, 10},
               {"TIME", SQL_TYPE_TIME, 8},
               {"TIMESTAMP", SQL_TYPE_TIMESTAMP, 19},
               {"BINARY", SQL_BINARY, 1},
               {"VARBINARY", SQL_VARBINARY, 255},
               {"LONGVARCHAR", SQL_LONGVARCHAR, 65536},
               {"LONGVARBINARY", SQL_LONGVARBINARY, 65536}};
  for (const Type& type : types) {
    if (name != type.name) continue;
    column->sql_type = type.sql_type;
    column->length = first > 0 ? first : type.length;
    if (type.sql_type == SQL_NUMERIC) {
      column->precision = static_cast<int>(column->length);
      column->scale = static_cast<int>(second);
    }
    return true;
  }
  return false;
}

// Column names in "(A,B)".
std::vector<std::string> name_list(const std::string& text) {
  size_t open = text.find('(');
  size_t close = text.find(')');
  if (open == std::string::npos || close == std::string::npos) return split(text, ',');
  return split(text.substr(open + 1, close - open - 1), ',');
}

int column_number(const TestTable& table, const std::string& name) {
  for (size_t i = 0; i < table.columns.size(); ++i)
    if (strcasecmp(table.columns[i].name.c_str(), name.c_str()) == 0)
      return static_cast<int>(i + 1);
  return 0;
}

// A parameter value from its text cell.
QuillValue* parameter_cell(MemPool* pool, const std::string& cell) {
  QuillValue* value = NewValue(pool, static_cast<int32_t>(cell.size()));
  if (!value) return nullptr;
  bool digits = !cell.empty() && cell.find_first_not_of("-0123456789") == std::string::npos;
  if (cell == "NULL")
    set_value_null(value, VALUE_CHARACTER);
  else if (digits)
    set_value_to_int(value, std::atoi(cell.c_str()));
  else
    set_value_to_text(value, cell.data(), cell.size());
  return value;
}

// The first diagnostic as "STATE message" and its native error.
void first_diagnostic(ErrorHeader* errors, ExecRunResult* result) {
  if (!errors || GetErrorCount(errors) == 0) return;
  auto* record = static_cast<DiagRecord*>(ListData(ListFirst(errors->records)));
  if (!record) return;
  result->error = std::string(record->sqlstate) + " " + (record->message ? record->message : "");
  result->native_error = record->native_error;
}

}  // namespace

std::string exec_value_text(const QuillValue* value) {
  if (!value || is_value_null(value)) return "NULL";
  std::vector<char> buffer(VALUE_TEXT_SIZE);
  value_as_text(value, buffer.data());
  return buffer.data();
}

ExecHarness::ExecHarness() = default;
ExecHarness::~ExecHarness() {
  test_backend_use(nullptr);
}

bool ExecHarness::declare(const std::string& declaration, const std::vector<std::string>& rows,
                          std::string* error) {
  TestTable table;
  size_t open = declaration.find('(');
  size_t close = declaration.find(')', open == std::string::npos ? 0 : open);
  // The column list ends at the ')' that balances the first '('.
  int depth = 0;
  for (size_t i = open; open != std::string::npos && i < declaration.size(); ++i) {
    if (declaration[i] == '(') ++depth;
    if (declaration[i] == ')' && --depth == 0) {
      close = i;
      break;
    }
  }
  if (open == std::string::npos || close == std::string::npos) {
    *error = "table declaration without column list: " + declaration;
    return false;
  }
  table.name = upper(trim(declaration.substr(0, open)));
  std::string columns = declaration.substr(open + 1, close - open - 1);
  // Split on commas outside parentheses.
  std::vector<std::string> items;
  std::string item;
  depth = 0;
  for (char c : columns) {
    if (c == '(') ++depth;
    if (c == ')') --depth;
    if (c == ',' && depth == 0) {
      items.push_back(trim(item));
      item.clear();
    } else {
      item += c;
    }
  }
  items.push_back(trim(item));
  for (const std::string& text : items) {
    size_t space = text.find(' ');
    TestColumn column;
    column.name = upper(text.substr(0, space));
    if (space == std::string::npos || !parse_type(trim(text.substr(space + 1)), &column)) {
      *error = "bad column: " + text;
      return false;
    }
    table.columns.push_back(column);
  }
  std::istringstream rest(declaration.substr(close + 1));
  std::string word;
  while (rest >> word) {
    std::string key = upper(word);
    if (key == "KEYS") {
      rest >> word;
      for (const std::string& name : split(word, ',')) table.keys.push_back(upper(name));
    } else if (key == "CARDINALITY") {
      rest >> table.cardinality;
    } else if (key == "INDEX") {
      TestIndex index;
      rest >> index.name;
      std::string next;
      rest >> next;
      if (upper(next) == "UNIQUE") {
        index.unique = true;
        rest >> next;
      }
      for (const std::string& name : name_list(next)) {
        int number = column_number(table, name);
        if (number == 0) {
          *error = "index on unknown column " + name;
          return false;
        }
        index.columns.push_back(number);
      }
      index.cardinality = table.cardinality;
      table.indexes.push_back(index);
    } else {
      *error = "unknown table option " + word;
      return false;
    }
  }
  for (const std::string& row : rows) {
    std::vector<std::string> cells = split(row, '|');
    if (cells.size() != table.columns.size()) {
      *error = "row '" + row + "' does not have " + std::to_string(table.columns.size()) + " cells";
      return false;
    }
    std::vector<TestCell> out;
    for (const std::string& cell : cells)
      out.push_back(cell == "NULL" ? TestCell{} : TestCell{cell});
    table.rows.push_back(out);
  }
  backend_.tables.push_back(table);
  return true;
}

std::vector<std::string> ExecHarness::scans_of(const std::string& table) const {
  std::vector<std::string> out;
  for (const TestScan& scan : backend_.scans) {
    if (scan.table != table) continue;
    std::string text;
    for (const std::string& r : scan.restrictions) text += (text.empty() ? "" : "; ") + r;
    out.push_back(text);
  }
  return out;
}

ExecRunResult ExecHarness::run(const std::string& sql, const ExecRunOptions& options) {
  return run_with(sql, options, nullptr, nullptr);
}

ExecRunResult ExecHarness::run_with(const std::string& sql, const ExecRunOptions& options,
                                    void (*inspect)(ExecStatement*, void*), void* context) {
  ExecRunResult result;
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  ParseContext* parse = parse_context_create(nullptr);
  test_backend_install(dal, &backend_);
  if (operations_) dal->backends[2] = operations_;
  ConnAttrSet attributes;
  init_con_str(&attributes, pool);
  std::string text = sql;
  StatementPlanList* plans = nullptr;
  ExecStatement* statement = nullptr;
  std::vector<QuillValue*> values;
  size_t sets = options.parameter_sets.size();
  result.statuses.assign(sets, 9999);
  if (DALOpen(dal, &attributes, nullptr) != SQI_OK) {
    result.rc = -1;
    result.error = "DALOpen failed";
  } else if (sql_parse(parse, text.data()) != 0) {
    result.rc = -1;
    result.error = std::string("parse failed: ") + parse_message(parse);
  } else {
    ValidateTarget target{dal, errors, parse_pool(parse), nullptr, nullptr, 3};
    SetupErrorHeader(errors, 0);
    result.rc = validate_statements(target, parse_statements(parse), &plans);
    if (result.rc == 0) statement = exec_create(dal, errors, pool, plans, nullptr);
    if (statement) {
      exec_set_max_rows(statement, options.max_rows);
      exec_set_query_timeout(statement, options.timeout);
      statement->sort_memory = options.work_mem_size;
      int width = sets ? static_cast<int>(options.parameter_sets[0].size()) : 0;
      for (const auto& set : options.parameter_sets)
        for (int i = 0; i < width; ++i)
          values.push_back(parameter_cell(
              pool, i < static_cast<int>(set.size()) ? set[static_cast<size_t>(i)] : "NULL"));
      if (sets)
        exec_set_parameters(statement, values.data(), width, sets,
                            options.operations.empty() ? nullptr : options.operations.data(),
                            result.statuses.data(), &result.processed);
      result.rc = exec_statement(statement);
      result.row_count = exec_row_count(statement);
      int count = exec_column_count(statement);
      while (result.rc >= 0 && count > 0) {
        int rc = exec_fetch(statement);
        if (rc == 100) break;
        if (rc < 0) {
          result.rc = -1;
          break;
        }
        if (inspect) inspect(statement, context);
        std::string row;
        for (int c = 0; c < count; ++c) {
          const QuillValue* value = exec_column_value(statement, c);
          if (!value && GetErrorCount(errors) > 0) {
            result.rc = -1;
            break;
          }
          row += (c ? "|" : "") + exec_value_text(value);
        }
        if (result.rc < 0) break;
        result.rows.push_back(row);
      }
    } else if (result.rc == 0) {
      result.rc = -1;
    }
    if (result.rc < 0) first_diagnostic(errors, &result);
  }
  exec_free(statement);
  parse_context_free(parse);
  dal_destroy(dal);
  FreeErrorHeader(errors);
  quill_mem_release_handle(pool);
  return result;
}

namespace {

// One case of a case file.
struct ExecCase {
  int line = 0;
  std::string sql;
  ExecRunOptions options;
  std::vector<std::string> rows;
  std::vector<std::pair<std::string, std::string>> scans;  // table, restrictions
  std::string statuses;
  std::string error;
  long long row_count = -1;  // expected row count; -1 when not checked
  int rc = -1000;            // expected exec_statement result; -1000 when not checked
};

void check_case(ExecHarness& harness, const ExecCase& c, const std::string& path) {
  SCOPED_TRACE(path + ":" + std::to_string(c.line) + ": " + c.sql);
  harness.backend().scans.clear();
  ExecRunResult result = harness.run(c.sql, c.options);
  if (!c.error.empty()) {
    EXPECT_EQ(result.rc, -1);
    EXPECT_EQ(result.error.substr(0, c.error.size()), c.error);
    return;
  }
  EXPECT_GE(result.rc, 0) << result.error;
  if (c.rc != -1000) {
    EXPECT_EQ(result.rc, c.rc);
  }
  if (c.row_count >= 0) {
    EXPECT_EQ(result.row_count, c.row_count);
  }
  EXPECT_EQ(result.rows, c.rows);
  std::vector<std::string> seen_tables;
  for (const auto& [table, restrictions] : c.scans) {
    size_t index = 0;
    for (const std::string& t : seen_tables) index += t == table;
    seen_tables.push_back(table);
    std::vector<std::string> scans = harness.scans_of(table);
    ASSERT_LT(index, scans.size()) << "no scan " << index << " of " << table;
    EXPECT_EQ(scans[index], restrictions) << "scan " << index << " of " << table;
  }
  if (!c.statuses.empty()) {
    std::string text;
    for (SQLUSMALLINT s : result.statuses) text += (text.empty() ? "" : ",") + std::to_string(s);
    EXPECT_EQ(text, c.statuses);
  }
}

}  // namespace

int run_exec_case_file(const std::string& path) {
  std::ifstream file(path);
  EXPECT_TRUE(file.good()) << "cannot open " << path;
  ExecHarness harness;
  std::unique_ptr<ExecCase> current;
  int cases = 0;
  auto flush = [&]() {
    if (current) {
      check_case(harness, *current, path);
      ++cases;
    }
    current.reset();
  };
  std::string line;
  int number = 0;
  while (std::getline(file, line)) {
    ++number;
    std::string text = trim(line);
    if (text.empty() || text[0] == '#') continue;
    std::string word = text.substr(0, text.find(' '));
    std::string rest = text.size() > word.size() ? trim(text.substr(word.size())) : "";
    if (word == "table") {
      flush();
      std::vector<std::string> rows;
      int start = number;
      while (std::getline(file, line)) {
        ++number;
        std::string row = trim(line);
        if (row == "end") break;
        if (!row.empty() && row[0] != '#') rows.push_back(row);
      }
      std::string error;
      EXPECT_TRUE(harness.declare(rest, rows, &error)) << path << ":" << start << ": " << error;
    } else if (word == "set") {
      flush();
      std::istringstream in(rest);
      std::string what, name;
      in >> what;
      if (what == "capabilities") {
        in >> harness.backend().capabilities;
      } else if (what == "bulkrefused") {
        harness.backend().bulk_delete_refused = true;
      } else {
        in >> name;
        TestTable* table = harness.backend().find(name);
        EXPECT_NE(table, nullptr) << path << ":" << number << ": no table " << name;
        if (!table) continue;
        if (what == "ignore") table->ignore_restrictions = true;
        if (what == "delay") in >> table->fetch_delay_ms;
        if (what == "failstart") table->fail_start = true;
        if (what == "faillong") table->fail_long_reads = true;
      }
    } else if (word == "sql") {
      flush();
      current = std::make_unique<ExecCase>();
      current->line = number;
      current->sql = rest;
    } else if (!current) {
      ADD_FAILURE() << path << ":" << number << ": line outside a case: " << text;
    } else if (word == ">") {
      current->rows.push_back(rest);
    } else if (word == "maxrows") {
      current->options.max_rows = std::stoul(rest);
    } else if (word == "timeout") {
      current->options.timeout = std::stoul(rest);
    } else if (word == "params") {
      for (const std::string& set : split(rest, ';'))
        current->options.parameter_sets.push_back(split(set, ','));
    } else if (word == "ignore") {
      current->options.operations.resize(current->options.parameter_sets.size(), SQL_PARAM_PROCEED);
      size_t index = std::stoul(rest);
      if (index < current->options.operations.size())
        current->options.operations[index] = SQL_PARAM_IGNORE;
    } else if (word == "scan") {
      size_t colon = rest.find(':');
      current->scans.emplace_back(trim(rest.substr(0, colon)),
                                  colon == std::string::npos ? "" : trim(rest.substr(colon + 1)));
    } else if (word == "status") {
      current->statuses = rest;
    } else if (word == "error") {
      current->error = rest;
    } else if (word == "count") {
      current->row_count = std::stoll(rest);
    } else if (word == "rc") {
      current->rc = std::stoi(rest);
    } else {
      ADD_FAILURE() << path << ":" << number << ": unknown line: " << text;
    }
  }
  flush();
  return cases;
}
