// Parameters through the Driver Manager: binding rules, conversion of every
// kind of application value (dates, times and intervals from text, numbers
// with their ranges, wide text), values sent in pieces, SQLDescribeParam,
// SQLBindParam and SQLSetParam, and parameter arrays bound column- and row-wise.
// Markers are only allowed outside the select list, so each check is a WHERE
// clause that holds exactly when the parameter arrived with the expected value.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include "tests/driver_manager/manager_session.h"

namespace {

class ModuleEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/quill_param_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    std::string dir = pattern;
    std::ofstream(dir + "/odbcinst.ini") << "[Quillmoor Ethereum ODBC Driver]\n"
                                         << "Driver=" << QUILL_DRIVER_PATH << "\n";
    std::ofstream(dir + "/odbc.ini") << "[quill_rows]\n"
                                     << "Driver=Quillmoor Ethereum ODBC Driver\n"
                                     << "URI=http://127.0.0.1:1\n";
    setenv("ODBCSYSINI", dir.c_str(), 1);
    setenv("ODBCINI", (dir + "/odbc.ini").c_str(), 1);
    setenv("QUILLDRV_BACKEND_MODULE", QUILL_ROWS_MODULE_PATH, 1);
  }
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new ModuleEnvironment);

// One row whose WHERE clause decides whether it is returned.
const std::string kOneRow = "SELECT x FROM (SELECT 1 AS x) d WHERE ";

struct Params : DmSession {
  Params() : DmSession("quill_rows") {}

  std::string state() const { return diag().state; }

  // Binds parameter `number` to a copy of `text` (NUL-terminated) for `sql_type`.
  SQLRETURN bind_text(SQLUSMALLINT number, SQLSMALLINT sql_type, const std::string& text,
                      SQLULEN size = 0, SQLSMALLINT digits = 0) {
    texts_[number - 1] = text;
    lengths_[number - 1] = SQL_NTS;
    return SQLBindParameter(stmt, number, SQL_PARAM_INPUT, SQL_C_CHAR, sql_type, size, digits,
                            texts_[number - 1].data(),
                            static_cast<SQLLEN>(texts_[number - 1].size() + 1),
                            &lengths_[number - 1]);
  }

  // Runs `sql`: the number of rows it returns, or -1 after an error (see state()).
  int rows(const std::string& sql) {
    SQLRETURN rc = SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS);
    if (!SQL_SUCCEEDED(rc)) return -1;
    int count = 0;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) ++count;
    SQLFreeStmt(stmt, SQL_CLOSE);
    return count;
  }

  // Runs the one-row query with `where`: 1 when the clause held, 0 when not, -1 on error.
  int holds(const std::string& where) { return rows(kOneRow + where); }

  // SQLExecDirect answered SQL_ERROR with this SQLSTATE.
  std::string refusal(const std::string& where) { return holds(where) == -1 ? state() : "ran"; }

  std::string texts_[4];
  SQLLEN lengths_[4] = {0, 0, 0, 0};
};

std::string today() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char text[16];
  std::strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

TEST_F(Params, DateAndTimeTexts) {
  struct Case {
    SQLSMALLINT type;
    const char* text;
    const char* where;  // holds for the value; null when the conversion must fail with 22007
  };
  const Case cases[] = {
      {SQL_TYPE_DATE, "2024-02-30", nullptr},
      {SQL_TYPE_DATE, "2024-02-29", "? = {d '2024-02-29'}"},
      {SQL_TYPE_DATE, "1900-02-29", nullptr},
      {SQL_TYPE_DATE, "2000-02-29", "? = {d '2000-02-29'}"},
      {SQL_TYPE_DATE, "2023-13-01", nullptr},
      {SQL_TYPE_DATE, "{d '2024-03-01'}", "? = {d '2024-03-01'}"},  // not wrapped again
      {SQL_TYPE_DATE, "  \t{d '2024-03-02'}", "? = {d '2024-03-02'}"},
      {SQL_TYPE_DATE, "{ts '2024-03-01 10:11:12'}", "? = {d '2024-03-01'}"},
      {SQL_TYPE_DATE, "{t '10:11:12'}", nullptr},
      {SQL_TYPE_DATE, "yesterday", nullptr},
      {SQL_TYPE_TIME, "10:11:12", "? = {t '10:11:12'}"},
      {SQL_TYPE_TIME, "24:00:00", "CAST(? AS VARCHAR(20)) = '24:00:00'"},
      {SQL_TYPE_TIME, "25:00:00", nullptr},
      {SQL_TYPE_TIME, "10:00:61", "CAST(? AS VARCHAR(20)) = '10:00:61'"},
      {SQL_TYPE_TIME, "10:60:00", nullptr},
      {SQL_TYPE_TIME, "{ts '2024-03-01 10:11:12'}", "? = {t '10:11:12'}"},
      {SQL_TYPE_TIMESTAMP, "2024-02-29 10:11:12", "? = {ts '2024-02-29 10:11:12'}"},
      {SQL_TYPE_TIMESTAMP, "2024-02-29", "? = {ts '2024-02-29 00:00:00'}"},
      {SQL_TYPE_TIMESTAMP, "{d '2024-02-29'}", nullptr},
      {SQL_TYPE_TIMESTAMP, "1900-02-29 00:00:00", nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(SQL_SUCCESS, bind_text(1, c.type, c.text)) << state();
    if (c.where) {
      EXPECT_EQ(1, holds(c.where)) << diag().message;
    } else {
      EXPECT_EQ("22007", refusal("? IS NOT NULL"));
      EXPECT_EQ("Invalid datetime format", diag().message);
    }
  }
}

TEST_F(Params, TimeForATimestampTakesTodaysDate) {
  ASSERT_EQ(SQL_SUCCESS, bind_text(1, SQL_TYPE_TIMESTAMP, "{t '10:11:12'}"));
  EXPECT_EQ(1, holds("? = {ts '" + today() + " 10:11:12'}")) << diag().message;
  SQL_TIME_STRUCT time{13, 14, 15};
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_TIME,
                                          SQL_TYPE_TIMESTAMP, 0, 0, &time, 0, nullptr));
  EXPECT_EQ(1, holds("? = {ts '" + today() + " 13:14:15'}")) << diag().message;
}

TEST_F(Params, IntervalTexts) {
  struct Case {
    SQLSMALLINT type;
    const char* text;
    const char* where;  // holds for the value; null for a failure
    const char* state;
  };
  const Case cases[] = {
      // The minus goes before the quote: minus one year and six months.
      {SQL_INTERVAL_YEAR_TO_MONTH, "-1-6", "? = {INTERVAL -'1-6' YEAR TO MONTH}", ""},
      {SQL_INTERVAL_YEAR_TO_MONTH, "  2-03", "? = {INTERVAL '2-3' YEAR TO MONTH}", ""},
      {SQL_INTERVAL_YEAR_TO_MONTH, "{INTERVAL '4-1' YEAR TO MONTH}",
       "? = {INTERVAL '4-1' YEAR TO MONTH}", ""},
      {SQL_INTERVAL_DAY, "5", "? = {INTERVAL '5' DAY}", ""},
      {SQL_INTERVAL_DAY_TO_SECOND, "1 02:03:04", "? = {INTERVAL '1 02:03:04' DAY TO SECOND}", ""},
      {SQL_INTERVAL_MINUTE_TO_SECOND, "-3:30", "? = {INTERVAL -'3:30' MINUTE TO SECOND}", ""},
      {SQL_INTERVAL_YEAR_TO_MONTH, "1-13", nullptr, "22015"},
      {SQL_INTERVAL_HOUR_TO_MINUTE, "1:61", nullptr, "22015"},
      {SQL_INTERVAL_DAY, "five", nullptr, "HY000"},
      {SQL_INTERVAL_YEAR_TO_MONTH, "1 02:03", nullptr, "HY000"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(SQL_SUCCESS, bind_text(1, c.type, c.text)) << state();
    if (c.where) {
      EXPECT_EQ(1, holds(c.where)) << diag().message;
      continue;
    }
    EXPECT_EQ(c.state, refusal("? IS NOT NULL"));
    EXPECT_EQ(std::string(c.state) == "HY000" ? "General error: Invalid interval literal"
                                              : "Interval field overflow",
              diag().message);
  }
}

TEST_F(Params, BindingRefusesPairsOutsideTheTable) {
  struct Case {
    SQLSMALLINT c_type;
    SQLSMALLINT sql_type;
    const char* state;  // "" when the pair is allowed
  };
  const Case cases[] = {
      {SQL_C_TYPE_DATE, SQL_INTEGER, "07006"},
      {SQL_C_WCHAR, SQL_INTEGER, "07006"},
      {SQL_C_TYPE_TIME, SQL_TYPE_DATE, "07006"},
      {SQL_C_TYPE_DATE, SQL_TYPE_TIME, "07006"},
      {SQL_C_SLONG, SQL_TYPE_TIMESTAMP, "07006"},
      {SQL_C_SLONG, SQL_GUID, "07006"},
      {SQL_C_DEFAULT, SQL_GUID, ""},
      {SQL_C_TYPE_DATE, SQL_TYPE_TIMESTAMP, ""},
      {SQL_C_TYPE_TIMESTAMP, SQL_TYPE_TIME, ""},
      {SQL_C_TYPE_DATE, SQL_VARCHAR, ""},
      {SQL_C_UTINYINT, SQL_BIGINT, ""},
      {SQL_C_BINARY, SQL_DOUBLE, ""},
      {SQL_C_TYPE_TIMESTAMP, SQL_INTERVAL_DAY, ""},
      {1234, SQL_VARCHAR, "HY003"},
  };
  char buffer[32] = {0};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c_type << " " << c.sql_type);
    SQLRETURN rc = SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, c.c_type, c.sql_type, 10, 0, buffer,
                                    sizeof buffer, nullptr);
    if (*c.state == '\0') {
      EXPECT_EQ(SQL_SUCCESS, rc) << state();
      continue;
    }
    EXPECT_EQ(SQL_ERROR, rc);
    EXPECT_EQ(c.state, state());
  }
  SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_INTEGER, 0, 0, buffer, 0,
                   nullptr);
  EXPECT_EQ("restricted data type attribute violation", diag().message);
}

TEST_F(Params, NumbersAndTheirRanges) {
  struct Case {
    SQLSMALLINT c_type;
    SQLBIGINT number;  // the application value, stored in the width of c_type
    SQLSMALLINT sql_type;
    const char* where;  // null: 22003
  };
  const Case cases[] = {
      {SQL_C_SLONG, 32767, SQL_SMALLINT, "? = 32767"},
      {SQL_C_SLONG, 32768, SQL_SMALLINT, nullptr},
      {SQL_C_SLONG, -32769, SQL_SMALLINT, nullptr},
      {SQL_C_SLONG, 127, SQL_TINYINT, "? = 127"},
      {SQL_C_SLONG, 200, SQL_TINYINT, nullptr},
      {SQL_C_SBIGINT, 2147483648LL, SQL_INTEGER, nullptr},
      {SQL_C_SBIGINT, -2147483648LL, SQL_INTEGER, "? = -2147483648"},
      {SQL_C_SBIGINT, 9223372036854775807LL, SQL_BIGINT, "? = 9223372036854775807"},
      {SQL_C_UBIGINT, -1, SQL_BIGINT, nullptr},  // 2^64 - 1
      {SQL_C_SLONG, 1, SQL_BIT, "? = 1"},
      {SQL_C_SLONG, 2, SQL_BIT, nullptr},
      {SQL_C_SSHORT, -7, SQL_DOUBLE, "? = -7.0"},
      {SQL_C_SLONG, 42, SQL_VARCHAR, "? = '42'"},
      {SQL_C_SBIGINT, -9000000000LL, SQL_VARCHAR, "? = '-9000000000'"},
      {SQL_C_USHORT, 65535, SQL_DECIMAL, "? = 65535"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.number << " as " << c.sql_type);
    alignas(8) unsigned char value[8] = {0};
    SQLINTEGER as_long = static_cast<SQLINTEGER>(c.number);
    SQLSMALLINT as_short = static_cast<SQLSMALLINT>(c.number);
    if (c.c_type == SQL_C_SLONG)
      std::memcpy(value, &as_long, sizeof as_long);
    else if (c.c_type == SQL_C_SSHORT || c.c_type == SQL_C_USHORT)
      std::memcpy(value, &as_short, sizeof as_short);
    else
      std::memcpy(value, &c.number, sizeof c.number);
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, c.c_type, c.sql_type, 10, 0,
                                            value, 0, nullptr))
        << state();
    if (c.where) {
      EXPECT_EQ(1, holds(c.where)) << diag().message;
    } else {
      EXPECT_EQ("22003", refusal("? IS NOT NULL"));
      EXPECT_EQ("Numeric value out of range", diag().message);
    }
  }
}

TEST_F(Params, TextForNumbers) {
  struct Case {
    SQLSMALLINT sql_type;
    SQLULEN size;
    SQLSMALLINT digits;
    const char* text;
    const char* where;  // null: refused with `state`
    const char* state;
  };
  const Case cases[] = {
      {SQL_INTEGER, 0, 0, " 17 ", "? = 17", ""},
      {SQL_INTEGER, 0, 0, "2.9", "? = 2", ""},
      {SQL_SMALLINT, 0, 0, "40000", nullptr, "22003"},
      {SQL_INTEGER, 0, 0, "seven", nullptr, "22018"},
      {SQL_DOUBLE, 0, 0, "2.5e3", "? = 2500", ""},
      {SQL_DECIMAL, 10, 2, "123.456", "? = 123.46", ""},
      {SQL_DECIMAL, 5, 2, "12345678901", nullptr, "22003"},
      {SQL_NUMERIC, 38, 0, "-99999999999999999999", "? = -99999999999999999999", ""},
      {SQL_BIGINT, 0, 0, "9223372036854775808", nullptr, "22003"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ASSERT_EQ(SQL_SUCCESS, bind_text(1, c.sql_type, c.text, c.size, c.digits)) << state();
    if (c.where)
      EXPECT_EQ(1, holds(c.where)) << diag().message;
    else
      EXPECT_EQ(c.state, refusal("? IS NOT NULL"));
  }
}

TEST_F(Params, NumericStructure) {
  SQL_NUMERIC_STRUCT numeric{};
  numeric.precision = 10;
  numeric.scale = 2;
  numeric.sign = 1;
  numeric.val[0] = 12345 & 0xFF;  // 123.45
  numeric.val[1] = 12345 >> 8;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_DECIMAL, 10,
                                          2, &numeric, 0, nullptr));
  EXPECT_EQ(1, holds("? = 123.45")) << diag().message;
  // Rescaled to the marker's scale of one digit.
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_DECIMAL, 10,
                                          1, &numeric, 0, nullptr));
  EXPECT_EQ(1, holds("? = 123.5")) << diag().message;
  numeric.sign = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_NUMERIC, SQL_DECIMAL, 3,
                                          2, &numeric, 0, nullptr));
  EXPECT_EQ("22003", refusal("? IS NOT NULL"));
}

TEST_F(Params, CharacterMarkersRenderApplicationValues) {
  double half = 1.5;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_DOUBLE, SQL_VARCHAR, 20,
                                          0, &half, 0, nullptr));
  EXPECT_EQ(1, holds("? = '1.500000'")) << diag().message;
  unsigned char bytes[] = {0x0A, 0xFF, 0x00};
  SQLLEN three = 3;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_BINARY, SQL_VARCHAR, 20,
                                          0, bytes, 3, &three));
  EXPECT_EQ(1, holds("? = '0AFF00'")) << diag().message;
  SQL_DATE_STRUCT date{2024, 2, 29};
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_TYPE_DATE, SQL_VARCHAR,
                                          20, 0, &date, 0, nullptr));
  EXPECT_EQ("HY000", refusal("? IS NOT NULL"));
  EXPECT_EQ("General error: Unsupported parameter type", diag().message);
  SQLLEN null_data = SQL_NULL_DATA;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                                          nullptr, 0, &null_data));
  EXPECT_EQ(1, holds("? IS NULL")) << diag().message;
}

TEST_F(Params, WideText) {
  // "hé" plus U+1F642, a surrogate pair.
  SQLWCHAR wide[] = {u'h', 0xE9, 0xD83D, 0xDE42, 0};
  SQLLEN nts = SQL_NTS;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 3, 0,
                                          wide, sizeof wide, &nts));
  EXPECT_EQ(1, holds("? = 'h\xC3\xA9\xF0\x9F\x99\x82'")) << diag().message;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 2, 0,
                                          wide, sizeof wide, &nts));
  EXPECT_EQ("22001", refusal("? IS NOT NULL"));
  EXPECT_EQ("String data, right truncated", diag().message);
}

TEST_F(Params, UnboundParameter) {
  EXPECT_EQ("HY000", refusal("? IS NULL"));
  EXPECT_EQ("General error: Parameter not bound", diag().message);
}

TEST_F(Params, DescribeParam) {
  SQLSMALLINT type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  char text[16] = "1";
  // Not prepared: a sequence error.
  EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable));
  EXPECT_EQ("HY010", state());
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_DECIMAL, 12, 3,
                                          text, sizeof text, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)(kOneRow + "? > 0").c_str(), SQL_NTS));
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable)) << state();
  EXPECT_EQ(SQL_DECIMAL, type);
  EXPECT_EQ(12u, size);
  EXPECT_EQ(3, digits);
  EXPECT_EQ(SQL_NULLABLE, nullable);
  EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 2, &type, &size, &digits, &nullable));
  EXPECT_EQ("07009", state());
  EXPECT_EQ("Invalid descriptor index", diag().message);
}

TEST_F(Params, DescribeParamFilledByTheDriver) {
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ENABLE_AUTO_IPD, (SQLPOINTER)SQL_TRUE, 0));
  ASSERT_EQ(SQL_SUCCESS,
            SQLPrepare(stmt, (SQLCHAR*)"SELECT ID FROM rows_10 WHERE ID = ? AND S1 = ?", SQL_NTS))
      << diag().message;
  SQLSMALLINT type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable)) << state();
  EXPECT_EQ(SQL_INTEGER, type);
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 2, &type, &size, &digits, &nullable)) << state();
  EXPECT_EQ(SQL_VARCHAR, type);
  EXPECT_EQ(60u, size);
  EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 3, &type, &size, &digits, &nullable));
  EXPECT_EQ("07009", state());
}

// Without SQL_ATTR_ENABLE_AUTO_IPD (node-odbc never sets it) unbound markers are described
// from validation's types, and a marker of no inferable type as wide text.
TEST_F(Params, DescribeParamWithoutAutoIpd) {
  ASSERT_EQ(
      SQL_SUCCESS,
      SQLPrepare(stmt, (SQLCHAR*)"SELECT ID FROM rows_10 WHERE ID = ? AND S1 = ? AND ? IS NULL",
                 SQL_NTS))
      << diag().message;
  SQLSMALLINT type = 0, digits = 0, nullable = 0;
  SQLULEN size = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable)) << state();
  EXPECT_EQ(SQL_INTEGER, type);
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 2, &type, &size, &digits, &nullable)) << state();
  EXPECT_EQ(SQL_VARCHAR, type);
  EXPECT_EQ(60u, size);
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 3, &type, &size, &digits, &nullable)) << state();
  EXPECT_EQ(SQL_WVARCHAR, type);
  EXPECT_EQ(65535u, size);
  EXPECT_EQ(SQL_NULLABLE, nullable);
  EXPECT_EQ(SQL_ERROR, SQLDescribeParam(stmt, 4, &type, &size, &digits, &nullable));
  EXPECT_EQ("07009", state());
  // A type the application gave stays what the marker is described as.
  char text[16] = "1";
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 2, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_CHAR, 5, 0,
                                          text, sizeof text, nullptr));
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 2, &type, &size, &digits, &nullable)) << state();
  EXPECT_EQ(SQL_CHAR, type);
  EXPECT_EQ(5u, size);
  ASSERT_EQ(SQL_SUCCESS, SQLDescribeParam(stmt, 1, &type, &size, &digits, &nullable)) << state();
  EXPECT_EQ(SQL_INTEGER, type);
}

TEST_F(Params, BindParamAndSetParam) {
  SQLINTEGER number = 41;
  SQLLEN four = 4;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParam(stmt, 1, SQL_C_SLONG, SQL_INTEGER, 0, 0, &number, &four))
      << state();
  char text[] = "abc";
  SQLLEN nts = SQL_NTS;
  ASSERT_EQ(SQL_SUCCESS, SQLSetParam(stmt, 2, SQL_C_CHAR, SQL_VARCHAR, 10, 0, text, &nts))
      << state();
  EXPECT_EQ(1, holds("? = 41 AND ? = 'abc'")) << diag().message;
  number = 7;
  EXPECT_EQ(0, holds("? = 41 AND ? = 'abc'")) << diag().message;
  EXPECT_EQ(SQL_ERROR, SQLBindParam(stmt, 1, SQL_C_TYPE_DATE, SQL_INTEGER, 0, 0, &number, &four));
  EXPECT_EQ("07006", state());
}

// The data-at-execution dialogue of one parameter: the pieces given, then the outcome of
// the final SQLParamData.
struct PiecesCase {
  const char* name;
  SQLSMALLINT c_type;
  SQLSMALLINT sql_type;
  std::vector<std::string> pieces;  // "<NULL>" sends SQL_NULL_DATA
  const char* failing_state;        // SQLSTATE of the SQLPutData that fails, or ""
  const char* where;                // holds for the assembled value
};

TEST_F(Params, ValuesInPieces) {
  const std::string a_wide = std::string("h\0\xE9\0=\xD8", 6);  // "hé" and a high surrogate
  const std::string b_wide = std::string("\x42\xDE", 2);        // its low half
  const PiecesCase cases[] = {
      {"two integer pieces", SQL_C_CHAR, SQL_INTEGER, {"1", "2"}, "HY019", nullptr},
      {"two binary-typed integers",
       SQL_C_SLONG,
       SQL_INTEGER,
       {"\1\0\0\0", "\2\0\0\0"},
       "HY019",
       nullptr},
      {"one integer piece", SQL_C_CHAR, SQL_INTEGER, {"12"}, "", "? = 12"},
      // unixODBC refuses a NULL piece after data itself (HY011); the driver's own answer,
      // HY020, is checked in process.
      {"null after text", SQL_C_CHAR, SQL_LONGVARCHAR, {"abc", "<NULL>"}, "HY011", nullptr},
      {"text after null", SQL_C_CHAR, SQL_VARCHAR, {"<NULL>", "abc"}, "HY020", nullptr},
      {"long text", SQL_C_CHAR, SQL_LONGVARCHAR, {"abc", "def", "g"}, "", "? = 'abcdefg'"},
      {"first piece null", SQL_C_CHAR, SQL_LONGVARCHAR, {"<NULL>"}, "", "? IS NULL"},
      {"varchar pieces", SQL_C_CHAR, SQL_VARCHAR, {"ab", "", "cd"}, "", "? = 'abcd'"},
      {"wide split inside characters",
       SQL_C_WCHAR,
       SQL_WVARCHAR,
       {a_wide.substr(0, 3), a_wide.substr(3), b_wide},
       "",
       "? = 'h\xC3\xA9\xF0\x9F\x99\x82'"},
      {"wide long",
       SQL_C_WCHAR,
       SQL_WLONGVARCHAR,
       {a_wide.substr(0, 1), a_wide.substr(1, 3)},
       "",
       "? = 'h\xC3\xA9'"},
      {"date text", SQL_C_CHAR, SQL_TYPE_DATE, {"2024-02-29"}, "", "? = {d '2024-02-29'}"},
      {"bad date text", SQL_C_CHAR, SQL_TYPE_DATE, {"2024-02-30"}, "22007", nullptr},
  };
  for (const PiecesCase& c : cases) {
    SCOPED_TRACE(c.name);
    char token_buffer[8] = "token";
    SQLLEN at_exec = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, c.c_type, c.sql_type, 20, 0,
                                            token_buffer, 0, &at_exec));
    std::string sql = kOneRow + (c.where ? c.where : "? IS NOT NULL");
    ASSERT_EQ(SQL_NEED_DATA, SQLExecDirect(stmt, (SQLCHAR*)sql.c_str(), SQL_NTS)) << state();
    SQLPOINTER token = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
    EXPECT_EQ(static_cast<void*>(token_buffer), token);
    SQLRETURN last = SQL_SUCCESS;
    for (const std::string& piece : c.pieces) {
      last = piece == "<NULL>"
                 ? SQLPutData(stmt, nullptr, SQL_NULL_DATA)
                 : SQLPutData(stmt, (SQLPOINTER)piece.data(), static_cast<SQLLEN>(piece.size()));
      if (last != SQL_SUCCESS) break;
    }
    if (*c.failing_state != '\0' && last == SQL_ERROR) {
      EXPECT_EQ(c.failing_state, state()) << diag().message;
      EXPECT_EQ(SQL_SUCCESS, SQLCancel(stmt));
      continue;
    }
    ASSERT_EQ(SQL_SUCCESS, last) << state();
    SQLRETURN rc = SQLParamData(stmt, &token);
    if (*c.failing_state != '\0') {  // the conversion at execution fails
      EXPECT_EQ(SQL_ERROR, rc);
      EXPECT_EQ(c.failing_state, state());
      continue;
    }
    ASSERT_EQ(SQL_SUCCESS, rc) << diag().message;
    EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt));
    EXPECT_EQ(SQL_NO_DATA, SQLFetch(stmt));
    SQLFreeStmt(stmt, SQL_CLOSE);
  }
}

TEST_F(Params, ParamDataBeforeAnyPieceIsASequenceError) {
  char token_buffer[8] = "token";
  SQLLEN at_exec = SQL_DATA_AT_EXEC;
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR, 20, 0,
                                          token_buffer, 0, &at_exec));
  ASSERT_EQ(SQL_NEED_DATA, SQLExecDirect(stmt, (SQLCHAR*)(kOneRow + "? = 'x'").c_str(), SQL_NTS));
  SQLPOINTER token = nullptr;
  ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt, &token));
  EXPECT_EQ(SQL_ERROR, SQLParamData(stmt, &token));
  EXPECT_EQ("HY010", state());
  ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt, (SQLPOINTER) "x", 1));
  ASSERT_EQ(SQL_SUCCESS, SQLParamData(stmt, &token));
  EXPECT_EQ(SQL_SUCCESS, SQLFetch(stmt));
}

constexpr int kSets = 100;

// Runs `SELECT ID FROM rows_1000 WHERE ID = ? + 1` over the bound array and returns the IDs
// of the rows, in order (every set adds its own row to the one result set).
std::vector<int> ids_of_sets(SQLHSTMT stmt) {
  std::vector<int> ids;
  if (!SQL_SUCCEEDED(
          SQLExecDirect(stmt, (SQLCHAR*)"SELECT ID FROM rows_1000 WHERE ID = ? + 1", SQL_NTS)))
    return ids;
  SQLINTEGER id = 0;
  while (SQL_SUCCEEDED(SQLFetch(stmt))) {
    SQLGetData(stmt, 1, SQL_C_SLONG, &id, 0, nullptr);
    ids.push_back(id);
  }
  return ids;
}

TEST_F(Params, ArrayBoundColumnWise) {
  SQLINTEGER numbers[kSets];
  SQLLEN indicators[kSets];
  SQLUSMALLINT status[kSets];
  SQLULEN processed = 0;
  for (int i = 0; i < kSets; ++i) {
    numbers[i] = i * 3;
    indicators[i] = 0;
    status[i] = 0xFFFF;
  }
  SQLUSMALLINT operations[kSets];
  for (SQLUSMALLINT& operation : operations) operation = SQL_PARAM_PROCEED;
  operations[2] = SQL_PARAM_IGNORE;  // its row is left out and its status stays unused
  numbers[2] = -1000;                // (beyond every row: would give none anyway)
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, (SQLPOINTER)kSets, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_OPERATION_PTR, operations, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_SLONG, SQL_INTEGER, 0, 0,
                                          numbers, 0, indicators));
  std::vector<int> ids = ids_of_sets(stmt);
  ASSERT_EQ(static_cast<size_t>(kSets - 1), ids.size()) << diag().message;
  for (int i = 0, at = 0; i < kSets; ++i) {
    if (i == 2) {
      EXPECT_EQ(SQL_PARAM_UNUSED, status[i]);
      continue;
    }
    EXPECT_EQ(i * 3 + 1, ids[at++]);
    EXPECT_EQ(SQL_PARAM_SUCCESS, status[i]) << i;
  }
  EXPECT_EQ(static_cast<SQLULEN>(kSets), processed);
}

TEST_F(Params, ArrayBoundRowWiseWithOneFailingSet) {
  struct Row {
    char text[8];
    SQLLEN length;
  };
  Row rows[kSets + 1];  // bound at rows[0], read from rows[1] on through the offset
  SQLUSMALLINT status[kSets];
  SQLULEN processed = 0;
  for (int i = 0; i < kSets; ++i) {
    std::snprintf(rows[i + 1].text, sizeof rows[i + 1].text, "%d", i * 2);
    rows[i + 1].length = SQL_NTS;
  }
  std::strcpy(rows[6].text, "99999");  // beyond SMALLINT
  ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(stmt, kSets, &processed));
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, (SQLPOINTER)sizeof(Row), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status, 0));
  // The offset applies to data and lengths alike.
  SQLLEN offset = sizeof(Row);
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_OFFSET_PTR, &offset, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_SMALLINT, 0, 0,
                                          rows[0].text, sizeof rows[0].text, &rows[0].length));
  SQLRETURN rc =
      SQLExecDirect(stmt, (SQLCHAR*)"SELECT ID FROM rows_1000 WHERE ID = ? + 1", SQL_NTS);
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, rc) << diag().message;
  Diag d = diag();
  EXPECT_EQ("22003", d.state);
  SQLLEN row_number = 0;
  SQLGetDiagField(SQL_HANDLE_STMT, stmt, 1, SQL_DIAG_ROW_NUMBER, &row_number, 0, nullptr);
  EXPECT_EQ(6, row_number);
  std::vector<int> ids;
  SQLINTEGER id = 0;
  while (SQL_SUCCEEDED(SQLFetch(stmt))) {
    SQLGetData(stmt, 1, SQL_C_SLONG, &id, 0, nullptr);
    ids.push_back(id);
  }
  ASSERT_EQ(static_cast<size_t>(kSets - 1), ids.size());
  for (int i = 0, at = 0; i < kSets; ++i) {
    if (i == 5) {
      EXPECT_EQ(SQL_PARAM_ERROR, status[i]);
      continue;
    }
    EXPECT_EQ(SQL_PARAM_SUCCESS, status[i]) << i;
    EXPECT_EQ(i * 2 + 1, ids[at++]);
  }
  EXPECT_EQ(static_cast<SQLULEN>(kSets), processed);
  // Every set failing fails the call.
  SQLFreeStmt(stmt, SQL_CLOSE);
  ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(stmt, 2, &processed));
  std::strcpy(rows[1].text, "x");
  std::strcpy(rows[2].text, "70000");
  EXPECT_EQ(SQL_ERROR,
            SQLExecDirect(stmt, (SQLCHAR*)"SELECT ID FROM rows_1000 WHERE ID = ? + 1", SQL_NTS));
  EXPECT_EQ(SQL_PARAM_ERROR, status[0]);
  EXPECT_EQ(SQL_PARAM_ERROR, status[1]);
}

}  // namespace
