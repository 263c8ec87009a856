// Type families, the operator result-type rule with its precision combining, and the result
// descriptions of parsed expressions.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "driver/sql/nodes.h"
#include "driver/sql/parser.h"
#include "driver/sql/sql_types.h"

namespace {

constexpr int C = SQL_TYPE_CONFLICT;
constexpr int T = SQL_TYPE_TRUTH;

struct OperatorCase {
  int left, right, op, expected;
};

// Every branch of the rule, right family by right family.
constexpr OperatorCase kOperatorCases[] = {
    // character right
    {SQL_INTEGER, SQL_CHAR, 6, C},
    {SQL_TYPE_DATE, SQL_CHAR, 7, T},
    {SQL_TYPE_DATE, SQL_CHAR, 1, C},
    {SQL_CHAR, SQL_CHAR, 1, SQL_CHAR},
    {SQL_CHAR, SQL_VARCHAR, 3, SQL_VARCHAR},
    {SQL_LONGVARCHAR, SQL_CHAR, 3, C},
    {SQL_CHAR, SQL_LONGVARCHAR, 1, C},
    {SQL_CHAR, SQL_CHAR, 4, C},
    {SQL_LONGVARCHAR, SQL_VARCHAR, 11, T},
    {SQL_INTEGER, SQL_CHAR, 1, SQL_VARCHAR},
    {SQL_INTEGER, SQL_CHAR, 2, C},
    {SQL_INTEGER, SQL_CHAR, 11, T},
    {SQL_INTEGER, SQL_LONGVARCHAR, 11, C},
    // numeric right
    {SQL_INTEGER, SQL_REAL, 6, SQL_REAL},
    {SQL_VARCHAR, SQL_INTEGER, 1, SQL_VARCHAR},
    {SQL_CHAR, SQL_INTEGER, 4, C},
    {SQL_CHAR, SQL_INTEGER, 9, T},
    {SQL_INTEGER, SQL_INTEGER, 3, C},
    {SQL_TYPE_DATE, SQL_INTEGER, 1, SQL_TYPE_TIMESTAMP},
    {SQL_DATE, SQL_INTEGER, 2, SQL_TIMESTAMP},
    {SQL_TYPE_TIME, SQL_INTEGER, 11, C},
    {SQL_INTEGER, SQL_DOUBLE, 12, T},
    {SQL_INTEGER, SQL_NUMERIC, 1, SQL_NUMERIC},
    {SQL_DECIMAL, SQL_NUMERIC, 4, SQL_NUMERIC},
    {SQL_DECIMAL, SQL_DOUBLE, 5, SQL_DECIMAL},
    {SQL_BIGINT, SQL_DOUBLE, 1, SQL_BIGINT},
    {SQL_INTEGER, SQL_DOUBLE, 1, SQL_DOUBLE},
    {SQL_DOUBLE, SQL_FLOAT, 1, SQL_DOUBLE},
    {SQL_INTEGER, SQL_FLOAT, 1, SQL_FLOAT},
    {SQL_DOUBLE, SQL_REAL, 1, SQL_DOUBLE},
    {SQL_FLOAT, SQL_REAL, 1, SQL_FLOAT},
    {SQL_SMALLINT, SQL_REAL, 1, SQL_REAL},
    {SQL_INTEGER, SQL_BIGINT, 4, SQL_BIGINT},
    {SQL_TINYINT, SQL_INTEGER, 1, SQL_INTEGER},
    {SQL_DOUBLE, SQL_INTEGER, 1, SQL_DOUBLE},
    {SQL_BIT, SQL_SMALLINT, 1, SQL_SMALLINT},
    {SQL_INTEGER, SQL_SMALLINT, 1, SQL_INTEGER},
    {SQL_BIT, SQL_TINYINT, 1, SQL_TINYINT},
    {SQL_REAL, SQL_TINYINT, 1, SQL_REAL},
    {SQL_SMALLINT, SQL_BIT, 1, SQL_SMALLINT},
    {SQL_BINARY, SQL_INTEGER, 1, C},
    {SQL_INTERVAL_DAY, SQL_INTEGER, 4, SQL_INTERVAL_DAY},
    // binary right
    {SQL_BINARY, SQL_BINARY, 11, SQL_BINARY},
    {SQL_BINARY, SQL_BINARY, 3, C},
    {SQL_VARBINARY, SQL_VARBINARY, 6, C},
    {SQL_VARBINARY, SQL_BINARY, 11, C},
    // DATE, TIME, TIMESTAMP right
    {SQL_INTEGER, SQL_TYPE_DATE, 6, C},
    {SQL_CHAR, SQL_TYPE_DATE, 3, C},
    {SQL_CHAR, SQL_TYPE_DATE, 8, T},
    {SQL_TYPE_TIMESTAMP, SQL_TYPE_DATE, 11, T},
    {SQL_TYPE_DATE, SQL_TYPE_DATE, 1, C},
    {SQL_INTEGER, SQL_TYPE_DATE, 1, SQL_TYPE_TIMESTAMP},
    {SQL_INTERVAL_DAY, SQL_DATE, 2, SQL_TIMESTAMP},
    {SQL_INTEGER, SQL_TYPE_DATE, 4, C},
    {SQL_TYPE_TIME, SQL_TYPE_DATE, 11, C},
    {SQL_TYPE_DATE, SQL_TYPE_TIME, 11, C},
    {SQL_TYPE_TIME, SQL_TYPE_TIME, 7, T},
    {SQL_INTEGER, SQL_TYPE_TIME, 1, SQL_TYPE_TIMESTAMP},
    {SQL_INTEGER, SQL_TIME, 1, SQL_TIMESTAMP},
    {SQL_TYPE_DATE, SQL_TYPE_TIMESTAMP, 10, T},
    {SQL_TYPE_TIME, SQL_TYPE_TIMESTAMP, 10, T},
    {SQL_INTEGER, SQL_TIMESTAMP, 1, SQL_TIMESTAMP},
    {SQL_BINARY, SQL_TYPE_TIMESTAMP, 11, C},
    // year-month interval right
    {SQL_INTERVAL_YEAR, SQL_INTERVAL_YEAR, 3, C},
    {SQL_INTEGER, SQL_INTERVAL_MONTH, 6, SQL_INTERVAL_MONTH},
    {SQL_INTERVAL_YEAR, SQL_INTERVAL_MONTH, 11, T},
    {SQL_SMALLINT, SQL_INTERVAL_YEAR, 4, SQL_INTERVAL_YEAR},
    {SQL_TYPE_DATE, SQL_INTERVAL_YEAR, 1, SQL_TYPE_DATE},
    {SQL_TYPE_DATE, SQL_INTERVAL_YEAR, 4, C},
    {SQL_DATE, SQL_INTERVAL_YEAR, 1, C},
    {SQL_INTERVAL_YEAR, SQL_INTERVAL_YEAR, 1, SQL_INTERVAL_YEAR},
    {SQL_INTERVAL_YEAR, SQL_INTERVAL_MONTH, 1, SQL_INTERVAL_YEAR_TO_MONTH},
    {SQL_INTERVAL_MONTH, SQL_INTERVAL_MONTH, 2, SQL_INTERVAL_MONTH},
    {SQL_INTERVAL_MONTH, SQL_INTERVAL_YEAR, 2, SQL_INTERVAL_YEAR_TO_MONTH},
    {SQL_INTERVAL_YEAR_TO_MONTH, SQL_INTERVAL_YEAR, 1, SQL_INTERVAL_YEAR_TO_MONTH},
    {SQL_INTERVAL_DAY, SQL_INTERVAL_YEAR, 1, C},
    {SQL_DOUBLE, SQL_INTERVAL_YEAR, 4, C},
    // day-time interval right
    {SQL_INTERVAL_DAY, SQL_INTERVAL_DAY, 3, C},
    {SQL_INTEGER, SQL_INTERVAL_HOUR, 6, SQL_INTERVAL_HOUR},
    {SQL_CHAR, SQL_INTERVAL_HOUR, 7, T},
    {SQL_BIGINT, SQL_INTERVAL_SECOND, 4, SQL_INTERVAL_SECOND},
    {SQL_TYPE_TIMESTAMP, SQL_INTERVAL_DAY, 2, SQL_TYPE_TIMESTAMP},
    {SQL_INTERVAL_DAY, SQL_INTERVAL_DAY, 1, SQL_INTERVAL_DAY_TO_SECOND},
    {SQL_INTERVAL_HOUR_TO_MINUTE, SQL_INTERVAL_SECOND, 1, SQL_INTERVAL_DAY_TO_SECOND},
    {SQL_INTERVAL_SECOND, SQL_INTERVAL_DAY, 1, SQL_INTERVAL_MINUTE_TO_SECOND},
    {SQL_INTERVAL_MINUTE_TO_SECOND, SQL_INTERVAL_DAY, 2, SQL_INTERVAL_MINUTE_TO_SECOND},
    {SQL_INTERVAL_HOUR_TO_SECOND, SQL_INTERVAL_DAY, 1, SQL_INTERVAL_HOUR_TO_SECOND},
    {SQL_INTERVAL_YEAR, SQL_INTERVAL_DAY, 1, C},
    // NULL takes the other side's type; parameters and unknowns conflict
    {SQL_TYPE_NULL, SQL_INTEGER, 1, SQL_INTEGER},
    {SQL_VARCHAR, SQL_TYPE_NULL, 11, T},
    {SQL_TYPE_NULL, SQL_TYPE_NULL, 1, SQL_TYPE_NULL},
    {SQL_INTEGER, SQL_TYPE_PARAMETER, 1, C},
    {SQL_INTEGER, SQL_TYPE_UNKNOWN, 11, C},
    {SQL_INTEGER, SQL_INTEGER, 13, C},
};

TEST(SqlTypes, OperatorResultTypes) {
  for (const OperatorCase& c : kOperatorCases)
    EXPECT_EQ(c.expected, operator_result_type(c.left, c.right, c.op))
        << c.left << " op " << c.op << " " << c.right;
}

TEST(SqlTypes, FamiliesAndCompatibility) {
  const std::pair<int, int> families[] = {
      {SQL_LONGVARCHAR, FAMILY_CHARACTER},
      {SQL_BIT, FAMILY_NUMERIC},
      {SQL_BIGINT, FAMILY_NUMERIC},
      {SQL_LONGVARBINARY, FAMILY_BINARY},
      {SQL_DATE, FAMILY_DATETIME},
      {SQL_TYPE_TIMESTAMP, FAMILY_DATETIME},
      {SQL_INTERVAL_YEAR_TO_MONTH, FAMILY_YEAR_MONTH},
      {SQL_INTERVAL_DAY_TO_HOUR, FAMILY_DAY_TIME},
      {SQL_INTERVAL_MINUTE_TO_SECOND, FAMILY_DAY_TIME},
      {SQL_TYPE_TRUTH, FAMILY_NONE},
      {SQL_TYPE_PARAMETER, FAMILY_NONE},
      {SQL_TYPE_UNKNOWN, FAMILY_NONE},
      {114, FAMILY_NONE},
  };
  for (auto [type, family] : families) EXPECT_EQ(family, type_family(type)) << type;
  EXPECT_TRUE(types_compatible(SQL_CHAR, SQL_LONGVARCHAR));
  EXPECT_TRUE(types_compatible(SQL_TYPE_NULL, SQL_INTERVAL_DAY));
  EXPECT_TRUE(types_compatible(SQL_DATE, SQL_TYPE_TIME));
  EXPECT_FALSE(types_compatible(SQL_INTERVAL_YEAR, SQL_INTERVAL_DAY));
  EXPECT_FALSE(types_compatible(SQL_TYPE_PARAMETER, SQL_TYPE_PARAMETER));
  EXPECT_FALSE(types_compatible(SQL_TYPE_TRUTH, SQL_TYPE_TRUTH));

  EXPECT_TRUE(conversion_allowed(SQL_VARCHAR, SQL_TYPE_DATE));
  EXPECT_TRUE(conversion_allowed(SQL_DOUBLE, SQL_CHAR));
  EXPECT_TRUE(conversion_allowed(SQL_INTEGER, SQL_INTERVAL_DAY));
  EXPECT_TRUE(conversion_allowed(SQL_TYPE_NULL, SQL_BINARY));
  EXPECT_FALSE(conversion_allowed(SQL_INTEGER, SQL_INTERVAL_DAY_TO_HOUR));
  EXPECT_FALSE(conversion_allowed(SQL_TYPE_DATE, SQL_INTEGER));
  EXPECT_FALSE(conversion_allowed(SQL_BINARY, SQL_DOUBLE));

  EXPECT_EQ(SQL_TYPE_DATE, sql_type_of_value_kind(value_kind_of_sql_type(SQL_DATE)));
  EXPECT_EQ(SQL_INTERVAL_DAY_TO_SECOND,
            sql_type_of_value_kind(value_kind_of_sql_type(SQL_INTERVAL_HOUR)));
  EXPECT_EQ(0, value_kind_of_sql_type(SQL_TYPE_NULL));
}

TypeDescription described(int type, int precision = 0, int scale = 0, int64_t size = 0) {
  TypeDescription d{};
  default_type_description(type, &d);
  if (precision) d.precision = precision, d.scale = scale;
  if (size) d.column_size = d.length = size;
  return d;
}

TEST(SqlTypes, OperatorDescriptionsCombinePrecisions) {
  TypeDescription out{};
  ASSERT_TRUE(
      operator_result_description(described(SQL_NUMERIC, 10, 2), described(SQL_INTEGER), 4, &out));
  EXPECT_EQ(SQL_NUMERIC, out.sql_type);
  EXPECT_EQ(25, out.precision);
  EXPECT_EQ(2, out.scale);
  ASSERT_TRUE(operator_result_description(described(SQL_DECIMAL, 10, 4),
                                          described(SQL_DECIMAL, 8, 6), 1, &out));
  EXPECT_EQ(10, out.precision);
  EXPECT_EQ(6, out.scale);
  ASSERT_TRUE(operator_result_description(described(SQL_NUMERIC, 30, 10),
                                          described(SQL_NUMERIC, 30, 10), 5, &out));
  EXPECT_EQ(38, out.precision);
  ASSERT_TRUE(operator_result_description(described(SQL_VARCHAR, 0, 0, 10),
                                          described(SQL_CHAR, 0, 0, 5), 3, &out));
  EXPECT_EQ(SQL_VARCHAR, out.sql_type);
  EXPECT_EQ(15, out.column_size);

  TypeDescription day = described(SQL_INTERVAL_DAY);
  set_interval_description(&day, 5, -1);
  TypeDescription second = described(SQL_INTERVAL_SECOND);
  set_interval_description(&second, 3, 9);
  ASSERT_TRUE(operator_result_description(day, second, 1, &out));
  EXPECT_EQ(SQL_INTERVAL_DAY_TO_SECOND, out.sql_type);
  EXPECT_EQ(5, out.interval_precision);
  EXPECT_EQ(9, out.fraction_precision);
  EXPECT_EQ(5 + 9 + 10, out.column_size);
  ASSERT_TRUE(operator_result_description(described(SQL_TYPE_DATE), day, 1, &out));
  EXPECT_EQ(0, out.interval_precision);
  ASSERT_TRUE(operator_result_description(described(SQL_INTERVAL_MONTH),
                                          described(SQL_INTERVAL_YEAR), 1, &out));
  EXPECT_EQ(2, out.interval_precision);
  EXPECT_EQ(5, out.column_size);
  EXPECT_FALSE(operator_result_description(described(SQL_CHAR), described(SQL_CHAR), 4, &out));
}

// Columns named I, V, L and N are INTEGER, VARCHAR(40), LONGVARCHAR and NUMERIC(10,2).
bool test_column(void*, const ColumnRefNode* column, TypeDescription* out) {
  const char* name = column->column ? column->column->text : "";
  int type = !std::strcmp(name, "I")   ? SQL_INTEGER
             : !std::strcmp(name, "V") ? SQL_VARCHAR
             : !std::strcmp(name, "L") ? SQL_LONGVARCHAR
             : !std::strcmp(name, "N") ? SQL_NUMERIC
                                       : 0;
  if (type == 0) return false;
  default_type_description(type, out);
  if (type == SQL_VARCHAR) out->column_size = out->length = 40;
  if (type == SQL_NUMERIC) out->precision = 10, out->scale = 2;
  return true;
}
int test_parameter(void*, const Node*) {
  return SQL_SMALLINT;
}

struct DescribeCase {
  const char* expression;
  int type;
  int64_t size, length;
  int precision, scale;
};

constexpr DescribeCase kDescribeCases[] = {
    {"12", SQL_INTEGER, 10, 4, 10, 0},
    {"1.5e3", SQL_DOUBLE, 15, 8, 15, 0},
    {"'abcd'", SQL_CHAR, 4, 4, 0, 0},
    {"X'0102'", SQL_BINARY, 2, 4, 0, 0},
    {"12.345", SQL_NUMERIC, 7, 7, 5, 3},
    {"{d '2024-01-31'}", SQL_TYPE_DATE, 10, 10, 0, 0},
    {"CURRENT_TIMESTAMP", SQL_TYPE_TIMESTAMP, 26, 26, 6, 0},
    {"INTERVAL '3' DAY", SQL_INTERVAL_DAY, 2, 2, 0, 0},
    {"INTERVAL '1 02:03:04' DAY TO SECOND", SQL_INTERVAL_DAY_TO_SECOND, 11, 11, 0, 0},
    {"INTERVAL '1 02:03:04.25' DAY TO SECOND", SQL_INTERVAL_DAY_TO_SECOND, 14, 14, 2, 0},
    {"INTERVAL '1-06' YEAR TO MONTH", SQL_INTERVAL_YEAR_TO_MONTH, 5, 5, 0, 0},
    {"USER", SQL_CHAR, 254, 254, 0, 0},
    {"?", SQL_SMALLINT, 5, 2, 5, 0},
    {"CAST(i AS VARCHAR(20))", SQL_VARCHAR, 20, 20, 0, 0},
    {"CAST(i AS BINARY(3))", SQL_BINARY, 3, 6, 0, 0},
    {"CAST(i AS NUMERIC(12,4))", SQL_NUMERIC, 12, 14, 12, 4},
    {"CAST(i AS TIMESTAMP(3))", SQL_TYPE_TIMESTAMP, 23, 23, 3, 0},
    {"CAST(i AS TIME(2))", SQL_TYPE_TIME, 11, 11, 2, 0},
    {"CAST(i AS INTERVAL DAY(4) TO SECOND(3))", SQL_INTERVAL_DAY_TO_SECOND, 17, 17, 3, 0},
    {"{fn CONVERT(i, SQL_VARCHAR)}", SQL_VARCHAR, 254, 254, 0, 0},
    {"i + n", SQL_NUMERIC, 15, 17, 15, 2},
    {"v || 'ab'", SQL_VARCHAR, 42, 42, 0, 0},
    {"-n", SQL_NUMERIC, 15, 17, 10, 2},
    {"i * 2.5", SQL_NUMERIC, 17, 19, 17, 1},
    {"COUNT(*)", SQL_INTEGER, 10, 4, 10, 0},
    {"AVG(i)", SQL_DOUBLE, 15, 8, 15, 0},
    {"MAX(v)", SQL_VARCHAR, 40, 40, 0, 0},
    {"{fn CONCAT(v, 'abc')}", SQL_VARCHAR, 43, 43, 0, 0},
    {"{fn CONCAT(v, l)}", SQL_VARCHAR, 255, 255, 0, 0},
    {"{fn INSERT(v, 1, 2, 'xyz')}", SQL_VARCHAR, 43, 43, 0, 0},
    {"{fn LEFT(l, 3)}", SQL_VARCHAR, 255, 255, 0, 0},
    {"{fn UCASE(v)}", SQL_VARCHAR, 40, 40, 0, 0},
    {"{fn DAYNAME(CURRENT_DATE)}", SQL_VARCHAR, 64, 64, 0, 0},
    {"{fn SOUNDEX(v)}", SQL_VARCHAR, 4, 4, 0, 0},
    {"{fn REPEAT(v, 3)}", SQL_VARCHAR, 120, 120, 0, 0},
    {"{fn SPACE(7)}", SQL_VARCHAR, 7, 7, 0, 0},
    {"{fn REPLACE(v, 'a', 'b')}", SQL_VARCHAR, 254, 254, 0, 0},
    {"{fn IFNULL(n, 0)}", SQL_NUMERIC, 15, 17, 10, 2},
    {"{fn ABS(n)}", SQL_NUMERIC, 15, 17, 10, 2},
    {"{fn ABS(i)}", SQL_DOUBLE, 15, 8, 15, 0},
    {"{fn CHAR(65)}", SQL_CHAR, 254, 254, 0, 0},
    {"{fn NOW()}", SQL_TYPE_TIMESTAMP, 26, 26, 6, 0},
    {"{fn LENGTH(v)}", SQL_INTEGER, 10, 4, 10, 0},
    {"UPPER(l)", SQL_VARCHAR, 255, 255, 0, 0},
    {"LOWER(v)", SQL_VARCHAR, 40, 40, 0, 0},
    {"TRIM(BOTH 'x' FROM v)", SQL_VARCHAR, 40, 40, 0, 0},
    {"SUBSTRING(v FROM 2 FOR 3)", SQL_VARCHAR, 40, 40, 0, 0},
    {"CASE WHEN i = 1 THEN 'ab' WHEN i = 2 THEN v ELSE 'abcdef' END", SQL_CHAR, 40, 40, 0, 0},
    {"CASE i WHEN 1 THEN X'01' ELSE X'010203' END", SQL_BINARY, 3, 6, 0, 0},
    {"NULLIF(v, 'a')", SQL_VARCHAR, 40, 40, 0, 0},
    {"COALESCE(i, 2)", SQL_INTEGER, 10, 4, 10, 0},
    {"{fn TIMESTAMPADD(SQL_TSI_DAY, 1, {d '2001-01-31'})}", SQL_TYPE_DATE, 10, 10, 0, 0},
    {"{fn TIMESTAMPADD(SQL_TSI_HOUR, 1, {d '2001-01-31'})}", SQL_TYPE_TIMESTAMP, 26, 26, 6, 0},
    {"{fn TIMESTAMPADD(SQL_TSI_MINUTE, 1, {t '10:00:00'})}", SQL_TYPE_TIME, 8, 8, 0, 0},
    {"{fn TIMESTAMPADD(SQL_TSI_DAY, 1, {t '10:00:00'})}", SQL_TYPE_TIMESTAMP, 26, 26, 6, 0},
    {"HEX_TO_BIGINT(v)", SQL_BIGINT, 19, 8, 19, 0},
    {"HEX_TO_NUMERIC(v)", SQL_NUMERIC, 38, 40, 38, 0},
    {"WEI_TO_ETHER(v)", SQL_NUMERIC, 38, 40, 38, 18},
    {"HEX_TO_DOUBLE(v)", SQL_DOUBLE, 15, 8, 15, 0},
    {"UNIX_TO_TIMESTAMP(v)", SQL_TYPE_TIMESTAMP, 26, 26, 6, 0},
};

TEST(SqlTypes, DescribeParsedExpressions) {
  DescribeContext context{test_column, test_parameter, nullptr, 3};
  for (const DescribeCase& c : kDescribeCases) {
    ParseContext* parse = parse_context_create(nullptr);
    ASSERT_NE(nullptr, parse);
    std::string text = std::string("SELECT ") + c.expression;
    if (sql_parse(parse, text.data()) != 0) {
      ADD_FAILURE() << text << ": " << parse_message(parse);
      parse_context_free(parse);
      continue;
    }
    auto* cursor = static_cast<CursorSpecNode*>(ListData(ListFirst(parse_statements(parse))));
    ASSERT_EQ(NODE_CURSOR_SPEC, cursor->kind);
    auto* query = reinterpret_cast<QuerySpecNode*>(cursor->query);
    auto* item = static_cast<SelectItemNode*>(ListData(ListFirst(query->select_list)));
    TypeDescription out{};
    bool described = describe_expression(item->expression, context, &out);
    EXPECT_TRUE(described) << c.expression;
    if (described) {
      EXPECT_EQ(c.type, out.sql_type) << c.expression;
      EXPECT_EQ(c.size, out.column_size) << c.expression;
      EXPECT_EQ(c.length, out.length) << c.expression;
      EXPECT_EQ(c.precision, out.precision) << c.expression;
      EXPECT_EQ(c.scale, out.scale) << c.expression;
    }
    parse_context_free(parse);
  }
}

TEST(SqlTypes, DescribeFailuresAndOdbc2Dates) {
  DescribeContext context{test_column, test_parameter, nullptr, 2};
  const std::pair<const char*, int> cases[] = {
      {"{d '2024-01-31'}", SQL_DATE},
      {"CURRENT_TIME", SQL_TIME},
      {"x", -1},
      {"'a' * 2", -1},
      {"-'a'", -1},
  };
  for (auto [expression, type] : cases) {
    ParseContext* parse = parse_context_create(nullptr);
    std::string text = std::string("SELECT ") + expression;
    ASSERT_EQ(0, sql_parse(parse, text.data())) << text;
    auto* cursor = static_cast<CursorSpecNode*>(ListData(ListFirst(parse_statements(parse))));
    auto* query = reinterpret_cast<QuerySpecNode*>(cursor->query);
    auto* item = static_cast<SelectItemNode*>(ListData(ListFirst(query->select_list)));
    TypeDescription out{};
    bool described = describe_expression(item->expression, context, &out);
    EXPECT_EQ(type >= 0, described) << expression;
    if (described) {
      EXPECT_EQ(type, out.sql_type) << expression;
    }
    parse_context_free(parse);
  }
}

}  // namespace
