// Connection and statement attributes through the exported functions: values
// read back, refusals by state, descriptor-held attributes, inheritance from
// the connection, text attributes in both widths, and the ODBC 2 option forms.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <string>

#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

namespace {

SQLPOINTER num(SQLLEN n) {
  return reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(n));
}

std::string first_state(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0};
  SQLRETURN rc = SQLGetDiagRec(type, handle, 1, state, nullptr, nullptr, 0, nullptr);
  return rc == SQL_NO_DATA ? "" : reinterpret_cast<char*>(state);
}

std::string first_origin(SQLSMALLINT type, SQLHANDLE handle) {
  char origin[32] = {0};
  SQLSMALLINT length = 0;
  SQLGetDiagField(type, handle, 1, SQL_DIAG_CLASS_ORIGIN, origin, sizeof origin, &length);
  return origin;
}

struct Attributes : ::testing::Test {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;

  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandleStd(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    record()->state = DBC_CONNECTED;  // connecting is not needed to exercise attributes
    stmt = new_statement();
  }
  void TearDown() override {
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, env));
  }
  QuillDbc* record() { return static_cast<QuillDbc*>(dbc); }
  QuillStmt* st(SQLHSTMT h = nullptr) { return static_cast<QuillStmt*>(h ? h : stmt); }
  SQLHSTMT new_statement() {
    SQLHSTMT h = SQL_NULL_HSTMT;
    EXPECT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &h));
    stmt_attributes_seed_descriptors(static_cast<QuillStmt*>(h));
    return h;
  }
  SQLULEN stmt_value(SQLINTEGER attribute, SQLHSTMT h = nullptr) {
    SQLULEN value = 0xdead;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(h ? h : stmt, attribute, &value, 0, nullptr));
    return value;
  }
  SQLULEN conn_value(SQLINTEGER attribute) {
    SQLULEN value = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, attribute, &value, 0, nullptr));
    return value;
  }
};

struct AttrCase {
  SQLINTEGER attribute;
  SQLLEN value;
  SQLRETURN rc;
  const char* sqlstate;
  bool check_back;
  SQLULEN back;
};

TEST_F(Attributes, StatementValuesReadBack) {
  const AttrCase cases[] = {
      {SQL_ATTR_QUERY_TIMEOUT, 30, SQL_SUCCESS, "", true, 30},
      {SQL_ATTR_MAX_ROWS, 100, SQL_SUCCESS, "", true, 100},
      {SQL_ATTR_MAX_ROWS, -5, SQL_SUCCESS_WITH_INFO, "01S02", true, 0},
      {SQL_ATTR_NOSCAN, 1, SQL_SUCCESS, "", true, 1},
      {SQL_ATTR_MAX_LENGTH, 255, SQL_SUCCESS, "", true, 255},
      {SQL_ATTR_ASYNC_ENABLE, 1, SQL_ERROR, "HYC00", true, 0},
      {SQL_ATTR_ASYNC_ENABLE, 0, SQL_SUCCESS, "", true, 0},
      {SQL_ATTR_CONCURRENCY, SQL_CONCUR_LOCK, SQL_SUCCESS, "", true, SQL_CONCUR_LOCK},
      {SQL_ATTR_CONCURRENCY, 9, SQL_ERROR, "HY024", true, SQL_CONCUR_LOCK},
      {SQL_ATTR_CURSOR_TYPE, 7, SQL_ERROR, "HY024", true, SQL_CURSOR_FORWARD_ONLY},
      {SQL_ATTR_KEYSET_SIZE, 10, SQL_SUCCESS, "", true, 10},
      {SQL_ROWSET_SIZE, 7, SQL_SUCCESS, "", true, 7},
      {SQL_ROWSET_SIZE, 0, SQL_ERROR, "HY024", true, 7},
      {SQL_ATTR_SIMULATE_CURSOR, 1, SQL_SUCCESS, "", true, 1},
      {SQL_ATTR_RETRIEVE_DATA, SQL_RD_OFF, SQL_SUCCESS, "", true, SQL_RD_OFF},
      {SQL_ATTR_USE_BOOKMARKS, SQL_UB_VARIABLE, SQL_SUCCESS, "", true, SQL_UB_VARIABLE},
      {SQL_ATTR_ENABLE_AUTO_IPD, SQL_TRUE, SQL_SUCCESS, "", true, SQL_TRUE},
      {SQL_ATTR_METADATA_ID, SQL_TRUE, SQL_SUCCESS, "", true, SQL_TRUE},
      {SQL_ATTR_ROW_BIND_TYPE, 64, SQL_SUCCESS, "", true, 64},
      {SQL_ATTR_ROW_ARRAY_SIZE, 20, SQL_SUCCESS, "", true, 20},
      {SQL_ATTR_ROW_ARRAY_SIZE, 0, SQL_ERROR, "HY024", true, 20},
      {SQL_ATTR_PARAM_BIND_TYPE, 32, SQL_SUCCESS, "", true, 32},
      {SQL_ATTR_PARAMSET_SIZE, 4, SQL_SUCCESS, "", true, 4},
      {SQL_ATTR_ROW_NUMBER, 3, SQL_SUCCESS, "", false, 0},
      {1227, 1, SQL_SUCCESS, "", false, 0},
      {SQL_ATTR_IMP_ROW_DESC, 0, SQL_ERROR, "HY096", false, 0},
      {9999, 1, SQL_ERROR, "HY096", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attribute);
    EXPECT_EQ(c.rc, SQLSetStmtAttr(stmt, c.attribute, num(c.value), 0));
    EXPECT_EQ(c.sqlstate, first_state(SQL_HANDLE_STMT, stmt));
    if (c.check_back) {
      EXPECT_EQ(c.back, stmt_value(c.attribute));
    }
  }
  SQLULEN v;
  EXPECT_EQ(SQL_ERROR, SQLGetStmtAttr(stmt, 9999, &v, 0, nullptr));
  EXPECT_EQ("HY096", first_state(SQL_HANDLE_STMT, stmt));
}

TEST_F(Attributes, ValueChangedWarningIsAnOdbc3Record) {
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLSetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, num(-5), 0));
  EXPECT_EQ("ODBC 3.0", first_origin(SQL_HANDLE_STMT, stmt));
}

TEST_F(Attributes, CursorTypeSetsScrollingSensitivityAndConcurrency) {
  struct Case {
    SQLULEN type;
    SQLULEN scrollable, sensitivity, concurrency;
  } const cases[] = {
      {SQL_CURSOR_STATIC, SQL_SCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
      {SQL_CURSOR_KEYSET_DRIVEN, SQL_SCROLLABLE, SQL_SENSITIVE, SQL_CONCUR_LOCK},
      {SQL_CURSOR_DYNAMIC, SQL_NONSCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
      {SQL_CURSOR_FORWARD_ONLY, SQL_NONSCROLLABLE, SQL_INSENSITIVE, SQL_CONCUR_READ_ONLY},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.type);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CONCURRENCY, num(SQL_CONCUR_LOCK), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE, num(c.type), 0));
    EXPECT_EQ(c.type, stmt_value(SQL_ATTR_CURSOR_TYPE));
    EXPECT_EQ(c.scrollable, stmt_value(SQL_ATTR_CURSOR_SCROLLABLE));
    EXPECT_EQ(c.sensitivity, stmt_value(SQL_ATTR_CURSOR_SENSITIVITY));
    EXPECT_EQ(c.concurrency, stmt_value(SQL_ATTR_CONCURRENCY));
  }
}

TEST_F(Attributes, DescriptorHeldAttributesLandInTheDescriptorsInUse) {
  SQLUSMALLINT statuses[4];
  SQLULEN counter;
  SQLLEN offset;
  QuillStmt* s = st();
  struct Case {
    SQLINTEGER attribute;
    void* value;
    void* (*field)(QuillStmt*);
  } const cases[] = {
      {SQL_ATTR_ROW_STATUS_PTR, statuses,
       [](QuillStmt* q) -> void* { return q->ird->array_status_ptr; }},
      {SQL_ATTR_ROWS_FETCHED_PTR, &counter,
       [](QuillStmt* q) -> void* { return q->ird->rows_processed_ptr; }},
      {SQL_ATTR_PARAM_STATUS_PTR, statuses,
       [](QuillStmt* q) -> void* { return q->ipd->array_status_ptr; }},
      {SQL_ATTR_PARAMS_PROCESSED_PTR, &counter,
       [](QuillStmt* q) -> void* { return q->ipd->rows_processed_ptr; }},
      {SQL_ATTR_PARAM_OPERATION_PTR, statuses,
       [](QuillStmt* q) -> void* { return q->apd->array_status_ptr; }},
      {SQL_ATTR_PARAM_BIND_OFFSET_PTR, &offset,
       [](QuillStmt* q) -> void* { return q->apd->bind_offset_ptr; }},
      {SQL_ATTR_ROW_OPERATION_PTR, statuses,
       [](QuillStmt* q) -> void* { return q->ard->array_status_ptr; }},
      {SQL_ATTR_ROW_BIND_OFFSET_PTR, &offset,
       [](QuillStmt* q) -> void* { return q->ard->bind_offset_ptr; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attribute);
    ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(s, c.attribute, c.value, 0));
    EXPECT_EQ(c.value, c.field(s));
    SQLPOINTER back = nullptr;
    SQLINTEGER length = 0;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(s, c.attribute, &back, 0, &length));
    EXPECT_EQ(c.value, back);
    EXPECT_EQ(static_cast<SQLINTEGER>(sizeof(SQLPOINTER)), length);
  }
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(s, SQL_ATTR_ROW_ARRAY_SIZE, num(50), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(s, SQL_ATTR_PARAMSET_SIZE, num(6), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(s, SQL_ATTR_ROW_BIND_TYPE, num(24), 0));
  EXPECT_EQ(50u, s->ard->array_size);
  EXPECT_EQ(6u, s->apd->array_size);
  EXPECT_EQ(24u, s->ard->bind_type);
}

TEST_F(Attributes, ApplicationDescriptorsCanBeExchanged) {
  SQLHDESC mine = SQL_NULL_HDESC;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &mine));
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, mine, 0));
  SQLPOINTER in_use = nullptr;
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, &in_use, 0, nullptr));
  EXPECT_EQ(mine, in_use);
  // Descriptor-held attributes now go to the explicit descriptor.
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_ROW_ARRAY_SIZE, num(9), 0));
  EXPECT_EQ(9u, static_cast<QuillDesc*>(mine)->array_size);
  EXPECT_EQ(1u, st()->implicit_ard->array_size);
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, SQL_NULL_HDESC, 0));
  EXPECT_EQ(st()->implicit_ard, st()->ard);

  SQLHSTMT other = new_statement();
  SQLHDBC dbc2 = SQL_NULL_HDBC;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc2));
  SQLHDESC foreign = SQL_NULL_HDESC;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc2, &foreign));
  struct Case {
    SQLINTEGER attribute;
    SQLPOINTER value;
    const char* sqlstate;
  } const refused[] = {
      {SQL_ATTR_APP_ROW_DESC, st(other)->implicit_ard, "HY017"},
      {SQL_ATTR_APP_PARAM_DESC, st()->implicit_ard, "HY017"},
      {SQL_ATTR_APP_PARAM_DESC, foreign, "HY024"},
      {SQL_ATTR_APP_ROW_DESC, other, "HY024"},  // a statement is no descriptor
  };
  for (const auto& c : refused) {
    EXPECT_EQ(SQL_ERROR, SQLSetStmtAttr(stmt, c.attribute, c.value, 0));
    EXPECT_EQ(c.sqlstate, first_state(SQL_HANDLE_STMT, stmt));
  }
  EXPECT_EQ(st()->implicit_apd, st()->apd);
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_PARAM_DESC, st()->implicit_apd, 0));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, foreign));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc2));
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, mine));
}

TEST_F(Attributes, StatementStatesRefuseAttributes) {
  struct Case {
    StmtState state;
    bool prepared;
    SQLINTEGER attribute;
    const char* sqlstate;
  } const cases[] = {
      {S1_ALLOCATED, false, SQL_ATTR_CURSOR_TYPE, ""},
      {S2_PREPARED, true, SQL_ATTR_CURSOR_TYPE, "HY010"},
      {S3_PREPARED_RESULTS, true, SQL_ATTR_CONCURRENCY, "HY010"},
      {S2_PREPARED, true, SQL_ATTR_MAX_ROWS, ""},
      {S4_EXECUTED, false, SQL_ATTR_USE_BOOKMARKS, "24000"},
      {S6_FETCHED, false, SQL_ATTR_CURSOR_SCROLLABLE, "24000"},
      {S7_EXTENDED_FETCHED, false, SQL_ATTR_CURSOR_SENSITIVITY, "24000"},
      {S5_CURSOR_OPEN, false, SQL_ATTR_QUERY_TIMEOUT, ""},
      {S8_NEED_DATA, true, SQL_ATTR_QUERY_TIMEOUT, "HY011"},
      {S9_MUST_PUT, false, SQL_ATTR_QUERY_TIMEOUT, "HY010"},
      {S11_EXECUTING, true, SQL_ATTR_SIMULATE_CURSOR, "HY011"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.state);
    st()->state = c.state;
    st()->prepared = c.prepared;
    // Values that each attribute accepts, so only the state decides.
    SQLLEN value = c.attribute == SQL_ATTR_CONCURRENCY ? SQL_CONCUR_READ_ONLY : 0;
    SQLRETURN expected = *c.sqlstate ? SQL_ERROR : SQL_SUCCESS;
    EXPECT_EQ(expected, SQLSetStmtAttr(stmt, c.attribute, num(value), 0));
    st()->state = S1_ALLOCATED;  // diagnostics stay hidden while executing asynchronously
    EXPECT_EQ(c.sqlstate, first_state(SQL_HANDLE_STMT, stmt));
  }
  SQLULEN v;
  st()->state = S10_CAN_PUT;
  EXPECT_EQ(SQL_ERROR, SQLGetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, &v, 0, nullptr));
  EXPECT_EQ("HY010", first_state(SQL_HANDLE_STMT, stmt));
  st()->state = S1_ALLOCATED;
  st()->prepared = false;
}

TEST_F(Attributes, ConnectionValuesReadBack) {
  const AttrCase cases[] = {
      {SQL_ATTR_ACCESS_MODE, SQL_MODE_READ_ONLY, SQL_SUCCESS, "", true, SQL_MODE_READ_ONLY},
      {SQL_ATTR_AUTOCOMMIT, SQL_AUTOCOMMIT_OFF, SQL_SUCCESS, "", true, SQL_AUTOCOMMIT_OFF},
      {SQL_ATTR_AUTOCOMMIT, 5, SQL_ERROR, "HY024", true, SQL_AUTOCOMMIT_OFF},
      {SQL_ATTR_LOGIN_TIMEOUT, 15, SQL_SUCCESS, "", true, 15},
      {SQL_ATTR_TRACE, 1, SQL_SUCCESS, "", true, 1},
      {SQL_ATTR_TRANSLATE_OPTION, 3, SQL_SUCCESS, "", true, 3},
      {SQL_ATTR_TXN_ISOLATION, SQL_TXN_SERIALIZABLE, SQL_SUCCESS, "", true,
       SQL_TXN_READ_UNCOMMITTED},
      {SQL_ATTR_CONNECTION_TIMEOUT, 9, SQL_SUCCESS, "", true, 9},
      {SQL_ATTR_QUIET_MODE, 0x1234, SQL_SUCCESS, "", true, 0x1234},
      {SQL_ATTR_METADATA_ID, SQL_TRUE, SQL_SUCCESS, "", true, SQL_TRUE},
      {SQL_ATTR_ASYNC_ENABLE, SQL_ASYNC_ENABLE_ON, SQL_SUCCESS, "", true, SQL_ASYNC_ENABLE_ON},
      {SQL_ATTR_PACKET_SIZE, 4096, SQL_ERROR, "HY011", true, 0},
      {SQL_ATTR_ODBC_CURSORS, SQL_CUR_USE_ODBC, SQL_ERROR, "08002", true, SQL_CUR_USE_DRIVER},
      {1041, 1, SQL_SUCCESS, "", false, 0},
      {SQL_GET_BOOKMARK, 1, SQL_ERROR, "HY024", false, 0},
      {SQL_ATTR_APP_ROW_DESC, 0, SQL_ERROR, "HY024", false, 0},
      {9999, 1, SQL_ERROR, "HY024", false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.attribute);
    EXPECT_EQ(c.rc, SQLSetConnectAttr(dbc, c.attribute, num(c.value), 0));
    EXPECT_EQ(c.sqlstate, first_state(SQL_HANDLE_DBC, dbc));
    if (c.check_back) {
      EXPECT_EQ(c.back, conn_value(c.attribute));
    }
  }
  EXPECT_EQ(SQL_CD_FALSE, conn_value(SQL_ATTR_CONNECTION_DEAD));
  EXPECT_EQ(static_cast<SQLULEN>(SQL_FALSE), conn_value(SQL_ATTR_AUTO_IPD));
  SQLULEN v;
  EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(dbc, SQL_ATTR_ROW_ARRAY_SIZE, &v, 0, nullptr));
  EXPECT_EQ("HY024", first_state(SQL_HANDLE_DBC, dbc));
}

TEST_F(Attributes, ThirtyTwoBitConnectionValuesStayInTheirSlot) {
  struct {
    SQLUINTEGER value;
    SQLUINTEGER guard;
  } slot = {0, 0xabcdef01};
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, &slot.value, 0, nullptr));
  EXPECT_EQ(static_cast<SQLUINTEGER>(SQL_TXN_READ_UNCOMMITTED), slot.value);
  EXPECT_EQ(0xabcdef01u, slot.guard);
}

TEST_F(Attributes, ConnectionStatesRefuseAttributes) {
  SQLULEN v;
  record()->state = DBC_ALLOCATED;
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, &v, 0, nullptr));
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, &v, 0, nullptr));
  EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, &v, 0, nullptr));
  EXPECT_EQ("08003", first_state(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_TRANSLATE_OPTION, num(1), 0));
  EXPECT_EQ("08003", first_state(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_PACKET_SIZE, num(512), 0));
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_ODBC_CURSORS, num(SQL_CUR_USE_ODBC), 0));
  record()->state = DBC_BROWSING;
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, num(1), 0));
  EXPECT_EQ("HY010", first_state(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLGetConnectAttr(dbc, SQL_ATTR_LOGIN_TIMEOUT, &v, 0, nullptr));
  EXPECT_EQ("HY010", first_state(SQL_HANDLE_DBC, dbc));
  record()->state = DBC_IN_TRANSACTION;
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, num(1), 0));
  EXPECT_EQ("HY011", first_state(SQL_HANDLE_DBC, dbc));
}

TEST_F(Attributes, AutocommitOnCommitsTheOpenTransaction) {
  // The way pyodbc starts: autocommit off right after connecting.
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, num(SQL_AUTOCOMMIT_OFF), 0));
  record()->state = DBC_IN_TRANSACTION;
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT, num(SQL_AUTOCOMMIT_ON), 0));
  EXPECT_EQ(DBC_WITH_STATEMENTS, record()->state);
  EXPECT_EQ(static_cast<SQLULEN>(SQL_AUTOCOMMIT_ON), conn_value(SQL_ATTR_AUTOCOMMIT));
}

TEST_F(Attributes, NewStatementsInheritFromTheConnection) {
  SQLULEN fetched = 0;
  const struct {
    SQLINTEGER attribute;
    SQLPOINTER value;
  } settings[] = {
      {SQL_ATTR_QUERY_TIMEOUT, num(12)},     {SQL_ATTR_ROW_ARRAY_SIZE, num(10)},
      {SQL_ATTR_PARAMSET_SIZE, num(3)},      {SQL_ATTR_CURSOR_TYPE, num(SQL_CURSOR_STATIC)},
      {SQL_ATTR_METADATA_ID, num(SQL_TRUE)}, {SQL_ATTR_ROWS_FETCHED_PTR, &fetched},
  };
  for (const auto& s : settings)
    ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, s.attribute, s.value, 0)) << s.attribute;
  SQLHSTMT later = new_statement();
  QuillStmt* s = st(later);
  EXPECT_EQ(12u, stmt_value(SQL_ATTR_QUERY_TIMEOUT, later));
  EXPECT_EQ(10u, s->ard->array_size);
  EXPECT_EQ(3u, s->apd->array_size);
  EXPECT_EQ(static_cast<SQLULEN>(SQL_SCROLLABLE), stmt_value(SQL_ATTR_CURSOR_SCROLLABLE, later));
  EXPECT_EQ(static_cast<SQLULEN>(SQL_TRUE), stmt_value(SQL_ATTR_METADATA_ID, later));
  EXPECT_EQ(&fetched, s->ird->rows_processed_ptr);
  // Statements allocated earlier keep what they had.
  EXPECT_EQ(0u, stmt_value(SQL_ATTR_QUERY_TIMEOUT));
  EXPECT_EQ(1u, st()->ard->array_size);
}

TEST_F(Attributes, CatalogTextIsCopiedCutAndCleared) {
  const char text[] = "blocks_and_more";
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, const_cast<char*>(text), 6));
  char buffer[32];
  SQLINTEGER length = 0;
  EXPECT_EQ(SQL_SUCCESS,
            SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buffer, sizeof buffer, &length));
  EXPECT_STREQ("blocks", buffer);
  EXPECT_EQ(6, length);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buffer, 4, &length));
  EXPECT_STREQ("blo", buffer);
  EXPECT_EQ(6, length);
  EXPECT_EQ("01004", first_state(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttr(dbc, SQL_ATTR_TRACEFILE, const_cast<char*>(text), -7));
  EXPECT_EQ("HY090", first_state(SQL_HANDLE_DBC, dbc));
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, nullptr, 0));
  EXPECT_EQ(SQL_SUCCESS,
            SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, buffer, sizeof buffer, &length));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(0, length);
}

TEST_F(Attributes, WideTextAttributesKeepNonAsciiText) {
  const char16_t wide[] = u"Z\u00fcrich-\u6771\u4eac-\U0001F600";
  const char utf8[] = "Z\xc3\xbcrich-\xe6\x9d\xb1\xe4\xba\xac-\xf0\x9f\x98\x80";
  auto* w = reinterpret_cast<SQLWCHAR*>(const_cast<char16_t*>(wide));
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttrW(dbc, SQL_ATTR_TRACEFILE, w, SQL_NTS));
  char narrow[64];
  SQLINTEGER length = 0;
  EXPECT_EQ(SQL_SUCCESS,
            SQLGetConnectAttr(dbc, SQL_ATTR_TRACEFILE, narrow, sizeof narrow, &length));
  EXPECT_STREQ(utf8, narrow);

  SQLWCHAR back[32];
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttrW(dbc, SQL_ATTR_TRACEFILE, back, sizeof back, &length));
  const SQLINTEGER units = sizeof wide / sizeof(char16_t) - 1;
  EXPECT_EQ(units * 2, length);
  EXPECT_EQ(std::u16string(wide), std::u16string(reinterpret_cast<char16_t*>(back)));
  // Room for 11 of the 12 units: the cut must not split the final surrogate pair.
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLGetConnectAttrW(dbc, SQL_ATTR_TRACEFILE, back, 12 * sizeof(SQLWCHAR), &length));
  EXPECT_EQ(std::u16string(wide).substr(0, 10), std::u16string(reinterpret_cast<char16_t*>(back)));
  EXPECT_EQ("01004", first_state(SQL_HANDLE_DBC, dbc));
  // A byte length must cover whole characters.
  EXPECT_EQ(SQL_ERROR, SQLSetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, w, 3));
  EXPECT_EQ("HY090", first_state(SQL_HANDLE_DBC, dbc));
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectAttrW(dbc, SQL_ATTR_CURRENT_CATALOG, w, 4));
  EXPECT_EQ(SQL_SUCCESS,
            SQLGetConnectAttr(dbc, SQL_ATTR_CURRENT_CATALOG, narrow, sizeof narrow, &length));
  EXPECT_STREQ("Z\xc3\xbc", narrow);
}

TEST_F(Attributes, Odbc2OptionsMapOntoAttributes) {
  const char catalog[] = "chain";
  ASSERT_EQ(SQL_SUCCESS,
            SQLSetConnectOption(dbc, SQL_CURRENT_QUALIFIER, reinterpret_cast<SQLULEN>(catalog)));
  char buffer[SQL_MAX_OPTION_STRING_LENGTH];
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, SQL_CURRENT_QUALIFIER, buffer));
  EXPECT_STREQ("chain", buffer);
  ASSERT_EQ(SQL_SUCCESS, SQLSetConnectOption(dbc, SQL_LOGIN_TIMEOUT, 20));
  SQLUINTEGER timeout = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectOption(dbc, SQL_LOGIN_TIMEOUT, &timeout));
  EXPECT_EQ(20u, timeout);

  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtOption(stmt, SQL_MAX_ROWS, 5));
  SQLULEN rows = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtOption(stmt, SQL_MAX_ROWS, &rows));
  EXPECT_EQ(5u, rows);
  EXPECT_EQ(SQL_ERROR, SQLGetStmtOption(stmt, SQL_GET_BOOKMARK, &rows));
  EXPECT_EQ("24000", first_state(SQL_HANDLE_STMT, stmt));

  SQLULEN processed = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLParamOptions(stmt, 3, &processed));
  EXPECT_EQ(3u, st()->apd->array_size);
  EXPECT_EQ(&processed, st()->ipd->rows_processed_ptr);
  EXPECT_EQ(SQL_ERROR, SQLParamOptions(stmt, 0, nullptr));
  EXPECT_EQ(&processed, st()->ipd->rows_processed_ptr);  // the first failure ends the call
}

TEST_F(Attributes, ScrollOptionsChooseTheCursor) {
  struct Case {
    SQLUSMALLINT concurrency;
    SQLLEN keyset;
    SQLUSMALLINT rowset;
    const char* sqlstate;
    SQLULEN type, keyset_size, rowset_size;
  } const cases[] = {
      {SQL_CONCUR_READ_ONLY, SQL_SCROLL_STATIC, 10, "", SQL_CURSOR_STATIC, 0, 10},
      {SQL_CONCUR_VALUES, SQL_SCROLL_KEYSET_DRIVEN, 5, "", SQL_CURSOR_KEYSET_DRIVEN, 0, 5},
      {SQL_CONCUR_LOCK, SQL_SCROLL_FORWARD_ONLY, 1, "", SQL_CURSOR_FORWARD_ONLY, 0, 1},
      {SQL_CONCUR_READ_ONLY, 20, 10, "", SQL_CURSOR_KEYSET_DRIVEN, 20, 10},
      {SQL_CONCUR_LOCK, SQL_SCROLL_STATIC, 10, "S1C00", 0, 0, 1},
      {SQL_CONCUR_ROWVER, SQL_SCROLL_DYNAMIC, 5, "S1C00", 0, 0, 1},
      {SQL_CONCUR_READ_ONLY, 5, 10, "S1107", 0, 0, 1},
      {SQL_CONCUR_READ_ONLY, 0, 0, "S1107", 0, 0, 1},
      {5, 0, 1, "S1108", 0, 0, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.concurrency << "/" << c.keyset << "/" << c.rowset);
    SQLHSTMT h = new_statement();
    SQLRETURN rc = SQLSetScrollOptions(h, c.concurrency, c.keyset, c.rowset);
    EXPECT_EQ(c.sqlstate, first_state(SQL_HANDLE_STMT, h));
    if (*c.sqlstate) {
      EXPECT_EQ(SQL_ERROR, rc);
      EXPECT_EQ("ODBC 2.0", first_origin(SQL_HANDLE_STMT, h));
    } else {
      EXPECT_EQ(SQL_SUCCESS, rc);
      EXPECT_EQ(c.type, stmt_value(SQL_ATTR_CURSOR_TYPE, h));
      EXPECT_EQ(static_cast<SQLULEN>(c.concurrency), stmt_value(SQL_ATTR_CONCURRENCY, h));
    }
    EXPECT_EQ(c.keyset_size, stmt_value(SQL_ATTR_KEYSET_SIZE, h));
    EXPECT_EQ(c.rowset_size, stmt_value(SQL_ROWSET_SIZE, h));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, h));
  }
}

TEST_F(Attributes, InvalidHandlesAreRefused) {
  SQLULEN v;
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLSetStmtAttr(dbc, SQL_ATTR_MAX_ROWS, num(1), 0));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetStmtAttr(nullptr, SQL_ATTR_MAX_ROWS, &v, 0, nullptr));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLSetConnectAttr(stmt, SQL_ATTR_AUTOCOMMIT, num(1), 0));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetConnectAttrW(nullptr, SQL_ATTR_AUTOCOMMIT, &v, 0, nullptr));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLSetScrollOptions(nullptr, 1, 0, 1));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLParamOptions(dbc, 1, nullptr));
}

}  // namespace
