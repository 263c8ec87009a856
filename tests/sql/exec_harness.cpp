// The execution test harness: table declarations for the test backend, one parse-validate-
// execute-fetch run returning rows as text, and the "query" check of the case files
// (tests/sql/cases, format in case_file.h), which reads these lines:
//   table NAME (COL TYPE, ...) [keys C,...] [cardinality N] [index NAME [unique] (C,...)]
//                    then its rows ("1|abc|NULL"), up to "end"
//   set capabilities N | set ignore TABLE | set delay TABLE MS | set failstart TABLE |
//   set faillong TABLE (its LONG columns fail to read)
//                    backend settings that hold for the rest of the file
//   set bulkrefused  deletes without restrictions answer "row by row" for the rest of the file
//   maxrows N | timeout N     engine settings of the case
//   params a,b;c,d   parameter sets separated by ';', cells by ','
//   ignore I         marks parameter set I (0-based) SQL_PARAM_IGNORE
//   scan TABLE: R1; R2   the restrictions of the next scan of TABLE, in scan order
//   status S,S,...   the parameter status array expected after the run
//   count N          the rows a modification changed (the statement's row count)
//   rc N             the result exec_statement must give (100: no row qualified)
// Types: INTEGER, SMALLINT, BIT, BIGINT, DOUBLE, REAL, VARCHAR(n), CHAR(n), NUMERIC(p,s),
// DATE, TIME, TIMESTAMP, BINARY(n), VARBINARY(n), LONGVARCHAR, LONGVARBINARY.
#include "tests/sql/exec_harness.h"

#include <gtest/gtest.h>
#include <strings.h>

#include <cctype>
#include <memory>
#include <sstream>

#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_modify.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "tests/sql/case_file.h"

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
    } else if (key == "REQUIRED") {
      rest >> word;
      for (const std::string& name : split(word, ',')) {
        int number = column_number(table, name);
        if (number == 0) {
          *error = "required column unknown: " + name;
          return false;
        }
        table.columns[static_cast<size_t>(number - 1)].required = true;
      }
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

// The "query" check: each case runs through the whole engine over the in-memory backend, the
// file's tables and settings applying to every case after them.
class QueryCases : public CaseCheck {
 public:
  bool apply(const CaseSetting& setting, std::string* error) override {
    if (setting.word == "table") return harness_.declare(setting.text, setting.rows, error);
    std::istringstream in(setting.text);
    std::string what, name;
    in >> what;
    if (what == "capabilities") {
      in >> harness_.backend().capabilities;
      return true;
    }
    if (what == "prepared") {  // innermost scans got ready N at a time; each case run both ways
      in >> prepared_;
      return true;
    }
    if (what == "bulkrefused") {
      harness_.backend().bulk_delete_refused = true;
      return true;
    }
    in >> name;
    TestTable* table = harness_.backend().find(name);
    if (!table) {
      *error = "no table " + name;
      return false;
    }
    if (what == "ignore") {
      table->ignore_restrictions = true;
    } else if (what == "delay") {
      in >> table->fetch_delay_ms;
    } else if (what == "failstart") {
      table->fail_start = true;
    } else if (what == "faillong") {
      table->fail_long_reads = true;
    } else {
      *error = "unknown setting " + what;
      return false;
    }
    return true;
  }

  CaseOutcome run(const SqlCase& c) override {
    ExecRunOptions options;
    for (const CaseLine& line : c.extras) {
      if (line.word == "maxrows") {
        options.max_rows = std::stoul(line.text);
      } else if (line.word == "timeout") {
        options.timeout = std::stoul(line.text);
      } else if (line.word == "params") {
        for (const std::string& set : split(line.text, ';'))
          options.parameter_sets.push_back(split(set, ','));
      } else if (line.word == "ignore") {
        options.operations.resize(options.parameter_sets.size(), SQL_PARAM_PROCEED);
        size_t index = std::stoul(line.text);
        if (index < options.operations.size()) options.operations[index] = SQL_PARAM_IGNORE;
      } else if (line.word != "scan" && line.word != "status" && line.word != "count" &&
                 line.word != "rc" && line.word != "prepares") {
        fail_unknown_case_line(c, line);
      }
    }
    TestBackend& backend = harness_.backend();
    ExecRunResult plain;
    if (prepared_ > 0) {
      // The scans got ready a block of outer rows at a time change nothing the statement returns.
      backend.prepared_scans = 0;
      plain = harness_.run(c.input, options);
      backend.prepared_scans = prepared_;
    }
    backend.scans.clear();
    backend.prepared.clear();
    backend.prepare_calls = backend.prepared_sets = backend.prepared_hits = 0;
    ExecRunResult result = harness_.run(c.input, options);
    backend.prepared_scans = 0;
    if (prepared_ > 0) {
      EXPECT_EQ(plain.rows, result.rows) << c.file << ":" << c.line << ": " << c.input;
      EXPECT_EQ(plain.rc, result.rc) << c.file << ":" << c.line << ": " << c.input;
      EXPECT_EQ(plain.error, result.error) << c.file << ":" << c.line << ": " << c.input;
    }
    check_extras(c, result);
    CaseOutcome outcome;
    outcome.failed = result.rc < 0;
    outcome.error = result.error;
    // Failures other than the engine's -1 show their result code.
    if (result.rc < -1) outcome.error = "result " + std::to_string(result.rc) + ": " + result.error;
    outcome.rows = result.rows;
    return outcome;
  }

 private:
  // The expectations only this check has: scans, parameter statuses, row count, result code.
  void check_extras(const SqlCase& c, const ExecRunResult& result) {
    std::vector<std::string> seen_tables;
    for (const CaseLine& line : c.extras) {
      if (line.word == "scan") {
        size_t colon = line.text.find(':');
        std::string table = trim(line.text.substr(0, colon));
        std::string restrictions =
            colon == std::string::npos ? "" : trim(line.text.substr(colon + 1));
        size_t index = 0;
        for (const std::string& t : seen_tables) index += t == table;
        seen_tables.push_back(table);
        std::vector<std::string> scans = harness_.scans_of(table);
        if (index >= scans.size()) {
          ADD_FAILURE() << c.file << ":" << line.line << ": no scan " << index << " of " << table;
          continue;
        }
        EXPECT_EQ(scans[index], restrictions)
            << c.file << ":" << line.line << ": scan " << index << " of " << table;
      } else if (line.word == "status") {
        std::string text;
        for (SQLUSMALLINT s : result.statuses)
          text += (text.empty() ? "" : ",") + std::to_string(s);
        EXPECT_EQ(text, line.text) << c.file << ":" << line.line;
      } else if (line.word == "count") {
        EXPECT_EQ(result.row_count, std::stoll(line.text)) << c.file << ":" << line.line;
      } else if (line.word == "rc") {
        EXPECT_EQ(result.rc, std::stoi(line.text)) << c.file << ":" << line.line;
      } else if (line.word == "prepares") {
        // "CALLS SETS HITS": prepare_scans calls, the sets they got, the scans that matched one
        const TestBackend& backend = harness_.backend();
        EXPECT_EQ(std::to_string(backend.prepare_calls) + " " +
                      std::to_string(backend.prepared_sets) + " " +
                      std::to_string(backend.prepared_hits),
                  line.text)
            << c.file << ":" << line.line;
      }
    }
  }

  ExecHarness harness_;
  int prepared_ = 0;  // "set prepared N": scans got ready N at a time (0: one at a time)
};

[[maybe_unused]] const bool kQueryCasesRegistered =
    register_case_check("query", [] { return std::make_unique<QueryCases>(); });

}  // namespace
