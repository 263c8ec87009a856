// CAST conversions: the "cast" check of the case files (tests/sql/cases/cast; the header of
// cast.txt describes its cases): every source kind into every target, NULLs, long sources,
// binary too short or too long, and interval re-expression.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "driver/sql/cast.h"
#include "driver/sql/cast_internal.h"
#include "driver/sql/eval_context.h"
#include "driver/sql/literals.h"
#include "driver/sql/nodes.h"
#include "driver/sql/parser.h"
#include "support/datetime.h"
#include "support/diag.h"
#include "support/longbuf.h"
#include "support/memory.h"
#include "support/value.h"
#include "tests/sql/case_file.h"

namespace {

const char* const kIntervalNames[] = {"",
                                      "YEAR",
                                      "MONTH",
                                      "DAY",
                                      "HOUR",
                                      "MINUTE",
                                      "SECOND",
                                      "YEAR_TO_MONTH",
                                      "DAY_TO_HOUR",
                                      "DAY_TO_MINUTE",
                                      "DAY_TO_SECOND",
                                      "HOUR_TO_MINUTE",
                                      "HOUR_TO_SECOND",
                                      "MINUTE_TO_SECOND"};

// The kind of a result as the case file names it.
std::string kind_name(const QuillValue* value) {
  switch (value->kind) {
    case VALUE_INTEGER:
      return "INTEGER";
    case VALUE_DOUBLE:
      return "DOUBLE";
    case VALUE_CHARACTER:
      return "CHAR(" + std::to_string(value->length) + ")";
    case VALUE_BIT:
      return "BIT";
    case VALUE_BINARY:
      return "BINARY(" + std::to_string(value->length) + ")";
    case VALUE_DATE:
      return "DATE";
    case VALUE_TIME:
      return "TIME";
    case VALUE_TIMESTAMP:
      return "TIMESTAMP";
    case VALUE_NUMERIC:
      return "NUMERIC(" + std::to_string(value->precision) + "," + std::to_string(value->scale) +
             ")";
    case VALUE_BIGINT:
      return "BIGINT";
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL: {
      int code = static_cast<int>(value->payload.interval.interval_type);
      return std::string("INTERVAL_") + (code >= 1 && code <= 13 ? kIntervalNames[code] : "?");
    }
    case VALUE_LONG_CHARACTER:
      return "LONGVARCHAR";
    case VALUE_LONG_BINARY:
      return "LONGVARBINARY";
    default:
      return "OTHER";
  }
}

// The "cast" check: a pool, diagnostics and an evaluation context shared by a file's cases.
class CastCases : public CaseCheck {
 public:
  CastCases() {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    context_.pool = pool_;
    context_.errors = errors_;
    context_.odbc_version = 3;
  }
  ~CastCases() override {
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }
  CastCases(const CastCases&) = delete;
  CastCases& operator=(const CastCases&) = delete;

  CaseOutcome run(const SqlCase& c) override {
    for (const CaseLine& line : c.extras) fail_unknown_case_line(c, line);
    return case_outcome_from_line(outcome(c.input));
  }
  // The evaluation context the cases run in, and its pool.
  EvalContext* context() { return &context_; }
  MemPool* pool() { return pool_; }

 private:
  // Quoted pieces, each optionally repeated: 'ab' ' '*3 'c' is "ab   c". Advances `at`.
  static std::string quoted_text(const std::string& line, size_t* at) {
    std::string text;
    while (*at < line.size() && line[*at] == '\'') {
      std::string piece;
      size_t i = *at + 1;
      for (; i < line.size(); ++i) {
        if (line[i] == '\'' && i + 1 < line.size() && line[i + 1] == '\'') {
          piece += '\'';
          ++i;
        } else if (line[i] == '\'') {
          break;
        } else {
          piece += line[i];
        }
      }
      *at = i + 1;
      int repeat = 1;
      if (*at < line.size() && line[*at] == '*') repeat = std::atoi(line.c_str() + ++*at);
      while (*at < line.size() && line[*at] != ' ') ++*at;
      while (*at + 1 < line.size() && line[*at] == ' ' && line[*at + 1] == '\'') ++*at;
      for (int r = 0; r < repeat; ++r) text += piece;
    }
    return text;
  }

  static std::string hex_bytes(const std::string& hex) {
    std::string bytes;
    for (size_t i = 0; hex != "-" && i + 1 < hex.size(); i += 2)
      bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
    return bytes;
  }

  QuillValue* long_value(int kind, const std::string& data) {
    QuillValue* value = NewValue(pool_, 0);
    LongBuffer* buffer = allocate_long_buffer(
        pool_, 0, 0, nullptr, kind == VALUE_LONG_CHARACTER ? SQL_LONGVARCHAR : SQL_LONGVARBINARY);
    EXPECT_EQ(0, append_to_long_buffer(buffer, data.data(), data.size()));
    EXPECT_EQ(0, set_value_to_long(value, kind, buffer));
    return value;
  }

  // Builds the source of a case line; `at` moves past it.
  QuillValue* source_value(const std::string& line, size_t* at) {
    size_t space = line.find(' ');
    std::string kind = line.substr(0, space);
    *at = space + 1;
    if (kind == "NULL") {
      QuillValue* value = NewValue(pool_, 0);
      set_value_null(value, VALUE_INTEGER);
      *at = space;
      return value;
    }
    if (kind == "CHAR" || kind == "LONGVARCHAR") {
      std::string text = quoted_text(line, at);
      if (kind == "LONGVARCHAR") return long_value(VALUE_LONG_CHARACTER, text);
      QuillValue* value = NewValue(pool_, 0);
      set_value_to_text(value, text.data(), text.size());
      return value;
    }
    size_t end = kind == "INTERVAL" ? line.find('}', *at) + 1 : line.find(" AS ", *at);
    std::string text = line.substr(*at, end - *at);
    *at = end;
    QuillValue* value = NewValue(pool_, 0);
    if (kind == "INTEGER" || kind == "BIT") {
      set_value_to_int(value, std::atoi(text.c_str()));
      if (kind == "BIT") value->kind = VALUE_BIT;
    } else if (kind == "DOUBLE") {
      set_value_to_double(value, std::strtod(text.c_str(), nullptr));
    } else if (kind == "BIGINT") {
      set_value_to_bigint(value, std::strtoll(text.c_str(), nullptr, 10));
    } else if (kind == "NUMERIC") {
      size_t point = text.find('.');
      int scale = point == std::string::npos ? 0 : static_cast<int>(text.size() - point - 1);
      EXPECT_GE(string_to_numeric(text.c_str(), value, 0, scale), 0) << text;
    } else if (kind == "BINARY") {
      std::string bytes = hex_bytes(text);
      set_value_to_binary(value, bytes.data(), bytes.size());
    } else if (kind == "LONGVARBINARY") {
      release_value(pool_, value);
      return long_value(VALUE_LONG_BINARY, hex_bytes(text));
    } else if (kind == "DATE") {
      SQL_DATE_STRUCT date{};
      EXPECT_TRUE(parse_date_text(text.c_str(), &date)) << text;
      set_value_to_date(value, &date);
    } else if (kind == "TIME") {
      SQL_TIME_STRUCT time{};
      EXPECT_TRUE(parse_time_text(text.c_str(), &time)) << text;
      set_value_to_time(value, &time);
    } else if (kind == "TIMESTAMP") {
      SQL_TIMESTAMP_STRUCT timestamp{};
      EXPECT_TRUE(parse_timestamp_text(text.c_str(), &timestamp)) << text;
      set_value_to_timestamp(value, &timestamp);
    } else if (kind == "INTERVAL") {
      EXPECT_EQ(ESCAPE_LITERAL_OK, parse_escape_literal(text.c_str(), value, nullptr, 0)) << text;
    } else {
      ADD_FAILURE() << "unknown source kind " << kind;
    }
    return value;
  }

  // Runs one case input ("SOURCE AS TARGET") and describes the outcome.
  std::string outcome(const std::string& line) {
    SetupErrorHeader(errors_, 0);
    context_.error = 0;
    size_t at = 0;
    QuillValue* source = source_value(line, &at);
    if (line.compare(at, 4, " AS ") != 0) return "bad line";
    std::string sql = "SELECT CAST(NULL AS " + line.substr(at + 4) + ")";
    ParseContext* parse = parse_context_create(pool_);
    if (sql_parse(parse, sql.data()) != 0) {
      std::string message = parse_message(parse);
      parse_context_free(parse);
      release_value(pool_, source);
      return "target does not parse: " + message;
    }
    auto* cursor = static_cast<CursorSpecNode*>(ListData(ListFirst(parse_statements(parse))));
    auto* query = reinterpret_cast<QuerySpecNode*>(cursor->query);
    auto* item = static_cast<SelectItemNode*>(ListData(ListFirst(query->select_list)));
    QuillValue* result =
        cast_value(&context_, source, reinterpret_cast<CastNode*>(item->expression)->type);
    parse_context_free(parse);
    release_value(pool_, source);
    if (result == nullptr) {
      SQLCHAR state[6] = {0}, message[512] = {0};
      SQLINTEGER native = 0;
      SQLSMALLINT length = 0;
      EXPECT_EQ(context_.error, -1);
      GetDiagRec(errors_, 1, state, &native, message, sizeof message, &length);
      return std::string("error ") + reinterpret_cast<char*>(state) + " " +
             reinterpret_cast<char*>(message);
    }
    std::string outcome;
    if (is_value_null(result)) {
      outcome = "NULL " + kind_name(result);
    } else {
      char text[VALUE_TEXT_SIZE];
      value_as_text(result, text);
      outcome = std::string(text) + " " + kind_name(result);
    }
    release_value(pool_, result);
    return outcome;
  }

  MemPool* pool_ = nullptr;
  ErrorHeader* errors_ = nullptr;
  EvalContext context_{};
};

[[maybe_unused]] const bool kCastCasesRegistered =
    register_case_check("cast", [] { return std::make_unique<CastCases>(); });

TEST(CastCases, NullSourcePointerAndUnknownTarget) {
  CastCases cast;
  QuillValue* value = cast_value_to(cast.context(), nullptr, SQL_INTERVAL_DAY_TO_SECOND, 4, 3);
  ASSERT_NE(nullptr, value);
  EXPECT_TRUE(is_value_null(value));
  EXPECT_EQ(VALUE_DAY_TIME_INTERVAL, value->kind);
  EXPECT_EQ(SQL_IS_DAY_TO_SECOND, static_cast<int>(value->payload.interval.interval_type));
  release_value(cast.pool(), value);
  EXPECT_EQ(nullptr, cast_value_to(cast.context(), nullptr, 12345, -1, -1));
  EXPECT_EQ(-1, cast.context()->error);
}

TEST(CastLiterals, IntervalTextsAreWrappedWithTheTargetPrecisions) {
  const struct {
    int code, leading, fraction;
    bool long_text;
    const char* expected;
  } cases[] = {
      {SQL_IS_DAY_TO_SECOND, 2, 6, false, "{INTERVAL '1 02:03:04' DAY TO SECOND(2,6)}"},
      {SQL_IS_DAY_TO_SECOND, 3, 2, true, "{INTERVAL '1 02:03:04' DAY_TO_SECOND(3,2)}"},
      {SQL_IS_YEAR_TO_MONTH, 2, 6, true, "{INTERVAL '1 02:03:04' YEAR TO MONTH(2)}"},
      {SQL_IS_SECOND, 4, 1, false, "{INTERVAL '1 02:03:04' SECOND(4,1)}"},
      {SQL_IS_HOUR, 5, 6, false, "{INTERVAL '1 02:03:04' HOUR(5)}"},
      {SQL_IS_HOUR_TO_SECOND, 2, 6, true, "{INTERVAL '1 02:03:04' HOUR_TO_SECOND(2,6)}"},
      {14, 2, 6, false, ""},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.expected,
              cast_interval_literal("1 02:03:04", c.code, c.leading, c.fraction, c.long_text));
}

}  // namespace
