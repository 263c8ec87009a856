// UTF-8 text at the edges of the engine: parameter values that are not well-formed text are
// refused with 22018 (bound whole or sent in pieces, narrow or wide) while well-formed ones
// pass through whole, and messages that quote a long name cut it between characters.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "support/unicode.h"
#include "tests/sql/exec_harness.h"

namespace {

// A statement on an in-process connection (no node is needed for SELECT without FROM).
class Utf8Parameters : public ::testing::Test {
 protected:
  void SetUp() override {
    SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env_);
    SQLSetEnvAttr(env_, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
    SQLAllocHandle(SQL_HANDLE_DBC, env_, &dbc_);
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc_, nullptr,
                                               (SQLCHAR*)"URI=http://127.0.0.1:1;connect_probe=no",
                                               SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc_, &stmt_));
  }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt_);
    SQLDisconnect(dbc_);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc_);
    SQLFreeHandle(SQL_HANDLE_ENV, env_);
  }

  // The SQLSTATE of the statement's first diagnostic.
  std::string state() {
    SQLCHAR text[6] = {0}, message[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, stmt_, 1, text, &native, message, sizeof message, &length);
    return reinterpret_cast<char*>(text);
  }

  // A statement whose one row says "1" when the parameter is `length` characters long.
  static std::string length_is(const char* length) {
    return std::string("SELECT COUNT(*) FROM (SELECT 1 AS ONE) X WHERE CHAR_LENGTH(?) = ") + length;
  }

  // Runs `sql` and returns "STATE" after a failure, else the first column of the first row.
  std::string outcome(const std::string& sql) {
    SQLRETURN rc = SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS);
    return finish(rc);
  }

  // Fetches the first column of the first row after `rc`, or "STATE" after a failure.
  std::string finish(SQLRETURN rc) {
    std::string result;
    if (SQL_SUCCEEDED(rc)) rc = SQLFetch(stmt_);
    char text[256] = {0};
    SQLLEN length = 0;
    if (SQL_SUCCEEDED(rc)) rc = SQLGetData(stmt_, 1, SQL_C_CHAR, text, sizeof text, &length);
    result = SQL_SUCCEEDED(rc) ? std::string(text) : state();
    SQLFreeStmt(stmt_, SQL_CLOSE);
    return result;
  }

  SQLHENV env_ = SQL_NULL_HENV;
  SQLHDBC dbc_ = SQL_NULL_HDBC;
  SQLHSTMT stmt_ = SQL_NULL_HSTMT;
};

TEST_F(Utf8Parameters, NarrowValuesMustBeWellFormed) {
  struct Case {
    std::string value;
    SQLSMALLINT sql_type;
    const char* length;    // its length in characters when well-formed
    const char* expected;  // "1", or the SQLSTATE
  } cases[] = {
      {"\xC3\xB1"
       "ab",
       SQL_VARCHAR, "3", "1"},
      {"\xF0\x9F\x98\x80", SQL_LONGVARCHAR, "1", "1"},
      {"a\xC3(", SQL_VARCHAR, "3", "22018"},        // a character cut short
      {"\xED\xA0\x80", SQL_VARCHAR, "1", "22018"},  // an encoded surrogate
      {"\xC0\xAF", SQL_LONGVARCHAR, "1", "22018"},  // an overlong form
      {"\xFF", SQL_INTEGER, "1", "22018"},
  };
  for (const Case& c : cases) {
    SQLLEN length = static_cast<SQLLEN>(c.value.size());
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_CHAR, c.sql_type, 100,
                                            0, const_cast<char*>(c.value.data()), length, &length));
    EXPECT_EQ(c.expected, outcome(length_is(c.length))) << c.value;
  }
}

TEST_F(Utf8Parameters, WideValuesMustNotHoldUnpairedSurrogates) {
  const std::u16string good = u"\u00F1\U0001F600", lone = {u'a', 0xD83D, u'b'};
  for (const std::u16string* text : {&good, &lone}) {
    SQLLEN length = static_cast<SQLLEN>(text->size() * sizeof(SQLWCHAR));
    ASSERT_EQ(SQL_SUCCESS,
              SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, SQL_C_WCHAR, SQL_WVARCHAR, 100, 0,
                               const_cast<char16_t*>(text->data()), length, &length));
    EXPECT_EQ(text == &good ? "1" : "22018", outcome(length_is("2")));
  }
}

// Pieces may split a character; the value is refused only when the whole text is malformed,
// for long values (checked as the pieces arrive) as for short ones.
TEST_F(Utf8Parameters, PiecesMaySplitCharactersButNotBreakThem) {
  struct Case {
    SQLSMALLINT c_type;
    SQLSMALLINT sql_type;
    std::vector<std::string> pieces;
    const char* length;    // characters of the text when well-formed
    const char* expected;  // "1", or the SQLSTATE
  } cases[] = {
      {SQL_C_CHAR, SQL_LONGVARCHAR, {"a\xC3", "\xB1\xE2\x82", "\xAC"}, "3", "1"},
      {SQL_C_CHAR, SQL_LONGVARCHAR, {"a\xC3", "(b"}, "4", "22018"},
      {SQL_C_CHAR, SQL_LONGVARCHAR, {"ab", "\xE2\x82"}, "4", "22018"},  // ends inside one
      {SQL_C_CHAR, SQL_VARCHAR, {"\xF0\x9F", "\x98\x80"}, "1", "1"},
      {SQL_C_CHAR, SQL_VARCHAR, {"\xF0\x9F", "\x98"}, "3", "22018"},
      {SQL_C_WCHAR,
       SQL_WLONGVARCHAR,
       {std::string("\x3D\xD8", 2), std::string("\x00\xDE", 2)},
       "1",
       "1"},
      {SQL_C_WCHAR,
       SQL_WLONGVARCHAR,
       {std::string("a\0\x3D\xD8", 4), std::string("b\0", 2)},
       "3",
       "22018"},
      {SQL_C_WCHAR, SQL_WVARCHAR, {std::string("a\0\x3D\xD8", 4)}, "2", "22018"},  // unpaired
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pieces[0]);
    char token[] = "token";
    SQLLEN at_exec = SQL_DATA_AT_EXEC;
    ASSERT_EQ(SQL_SUCCESS, SQLBindParameter(stmt_, 1, SQL_PARAM_INPUT, c.c_type, c.sql_type, 100, 0,
                                            token, 0, &at_exec));
    std::string sql = length_is(c.length);
    ASSERT_EQ(SQL_NEED_DATA, SQLExecDirect(stmt_, (SQLCHAR*)sql.c_str(), SQL_NTS));
    SQLPOINTER asked = nullptr;
    ASSERT_EQ(SQL_NEED_DATA, SQLParamData(stmt_, &asked));
    for (const std::string& piece : c.pieces)
      ASSERT_EQ(SQL_SUCCESS, SQLPutData(stmt_, const_cast<char*>(piece.data()),
                                        static_cast<SQLLEN>(piece.size())));
    EXPECT_EQ(c.expected, finish(SQLParamData(stmt_, &asked)));
  }
}

// A message quoting a name longer than the message room ends at a whole character.
TEST(Utf8Messages, LongNamesAreCutBetweenCharacters) {
  ExecHarness harness;
  std::string error;
  ASSERT_TRUE(harness.declare("T (A INTEGER)", {"1"}, &error)) << error;
  std::string name;
  for (int i = 0; i < 400; ++i) name += i % 3 ? "\xC3\xB1" : "\xE2\x82\xAC";
  const std::string statements[] = {
      "SELECT \"" + name + "\" FROM T",          // validation: the column is unknown
      "SELECT A FROM \"" + name + "\"",          // validation: the table is unknown
      "SELECT 'x' '" + name + "' FROM T",        // the parser: near a long literal
      "SELECT {fn \"" + name + "\"(1)} FROM T",  // the parser: an unknown function
  };
  for (const std::string& sql : statements) {
    ExecRunResult result = harness.run(sql);
    EXPECT_NE(result.rc, 0) << sql.substr(0, 20);
    EXPECT_GT(result.error.size(), 100u) << result.error;
    EXPECT_TRUE(utf8_is_valid(result.error.data(), result.error.size())) << result.error;
  }
}

}  // namespace
