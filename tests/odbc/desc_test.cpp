// Descriptors and column descriptions: the type-setting rule, record growth,
// field round trips and refusals, column binding and unbinding, the IRD built
// from a query's result columns (names, types, base columns, bookmark record)
// as SQLDescribeCol, SQLColAttribute(s) and the descriptor calls report it,
// in both widths, and the refusals of the functions not provided.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"
#include "driver/sql/plan.h"
#include "support/unicode.h"

namespace {

SQLPOINTER num(SQLLEN n) {
  return reinterpret_cast<SQLPOINTER>(static_cast<intptr_t>(n));
}

std::string diag(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0};
  SQLCHAR message[256] = {0};
  SQLRETURN rc = SQLGetDiagRec(type, handle, 1, state, nullptr, message, sizeof message, nullptr);
  if (rc == SQL_NO_DATA) return "";
  return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message);
}

std::string state_of(SQLSMALLINT type, SQLHANDLE handle) {
  return diag(type, handle).substr(0, 5);
}

std::string narrow(const SQLWCHAR* wide, size_t units) {
  std::string out;
  utf16_to_utf8(wide, static_cast<SQLLEN>(units), out);
  return out;
}

// A base table "ETH"."BLOCKS" with two columns, and a query over it whose select list holds
// a plain column, an aliased column, a computed DATE and a DECIMAL(20,4) with a long name.
struct HandPlan {
  DalColumn columns[2]{};
  int32_t updatable[2] = {0, 1};
  TableEntry table{};
  ColumnRefNode ref_hash{};
  ColumnRefNode ref_number{};
  Node computed{};
  SelectColumn items[4]{};
  QueryPlan plan{};

  HandPlan() {
    std::strcpy(columns[0].name, "HASH");
    columns[0].searchable = SQL_PRED_CHAR;
    std::strcpy(columns[0].literal_prefix, "'");
    std::strcpy(columns[0].literal_suffix, "'");
    std::strcpy(columns[1].name, "NUMBER");
    table.kind = PLAN_TABLE;
    table.type = TABLE_BASE;
    std::strcpy(table.table.catalog, "ETH");
    std::strcpy(table.table.name, "BLOCKS");
    table.columns = columns;
    table.column_count = 2;
    table.updatable = updatable;
    ref_hash = make_ref(0);
    ref_number = make_ref(1);
    computed.kind = 0;
    item(0, reinterpret_cast<Node*>(&ref_hash), "HASH", SQL_VARCHAR, 66, 0, SQL_NO_NULLS);
    item(1, reinterpret_cast<Node*>(&ref_number), "Größe", SQL_BIGINT, 0, 0, SQL_NULLABLE);
    item(2, &computed, "D", SQL_TYPE_DATE, 0, 0, SQL_NULLABLE);
    item(3, &computed, "A_RATHER_LONG_COLUMN_NAME", SQL_DECIMAL, 20, 4, SQL_NULLABLE);
    plan.kind = PLAN_QUERY;
    plan.items = items;
    plan.item_count = 4;
  }
  ColumnRefNode make_ref(int column) {
    ColumnRefNode ref{};
    ref.kind = NODE_COLUMN_REF;
    ref.resolved_table = &table;
    ref.resolved_column = column;
    return ref;
  }
  void item(int i, Node* expression, const char* name, int type, int size, int scale,
            int nullable) {
    SelectColumn& c = items[i];
    c.expression = expression;
    c.name = name;
    c.sql_type = type;
    default_type_description(type, &c.description);
    if (size) {
      c.description.column_size = size;
      c.description.length = size;
      if (type == SQL_DECIMAL) c.description.precision = size;
    }
    c.description.scale = scale;
    c.description.nullable = nullable;
  }
};

struct Descriptors : ::testing::Test {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  HandPlan hand;

  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandleStd(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    static_cast<QuillDbc*>(dbc)->state = DBC_CONNECTED;  // no connection needed here
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
  }
  void TearDown() override {
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, env));
  }
  QuillStmt* st() { return static_cast<QuillStmt*>(stmt); }
  SQLHDESC handle_of(SQLINTEGER attribute) {
    SQLHDESC desc = SQL_NULL_HDESC;
    EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, attribute, &desc, 0, nullptr));
    return desc;
  }
  // The statement as a prepared query over the hand-made plan (S3).
  void describe_query(bool bookmarks = false) {
    st()->attrs.use_bookmarks = bookmarks ? SQL_UB_VARIABLE : SQL_UB_OFF;
    ASSERT_TRUE(desc_fill_ird(st(), &hand.plan));
    st()->prepared = true;
    st()->state = S3_PREPARED_RESULTS;
  }
  SQLLEN number_attribute(SQLUSMALLINT column, SQLUSMALLINT field) {
    SQLLEN value = -12345;
    EXPECT_EQ(SQL_SUCCESS, SQLColAttribute(stmt, column, field, nullptr, 0, nullptr, &value))
        << field << " " << diag(SQL_HANDLE_STMT, stmt);
    return value;
  }
  std::string text_attribute(SQLUSMALLINT column, SQLUSMALLINT field) {
    char text[200] = "unset";
    SQLSMALLINT length = -1;
    EXPECT_EQ(SQL_SUCCESS,
              SQLColAttribute(stmt, column, field, text, sizeof text, &length, nullptr))
        << field << " " << diag(SQL_HANDLE_STMT, stmt);
    EXPECT_EQ(static_cast<size_t>(length), std::strlen(text));
    return text;
  }
};

// --- The type-setting rule --------------------------------------------------------------

struct TypeRuleCase {
  SQLSMALLINT concise;
  SQLSMALLINT type;
  SQLSMALLINT subcode;
  SQLSMALLINT precision;  // -1: left as it was (7)
  SQLSMALLINT scale;      // -1: left as it was (3)
  SQLULEN length;         // 0: left as it was (99)
};

TEST_F(Descriptors, ConciseTypeSetsTheTypeFieldsTogether) {
  const TypeRuleCase cases[] = {
      {SQL_TYPE_DATE, SQL_DATETIME, SQL_CODE_DATE, -1, -1, 0},
      {SQL_TYPE_TIME, SQL_DATETIME, SQL_CODE_TIME, -1, -1, 0},
      {SQL_TYPE_TIMESTAMP, SQL_DATETIME, SQL_CODE_TIMESTAMP, -1, -1, 0},
      {SQL_DATE, SQL_DATETIME, SQL_CODE_DATE, -1, -1, 0},
      {SQL_TIMESTAMP, SQL_DATETIME, SQL_CODE_TIMESTAMP, -1, -1, 0},
      {SQL_INTERVAL_YEAR, SQL_INTERVAL, 1, -1, -1, 0},
      {SQL_INTERVAL_DAY_TO_SECOND, SQL_INTERVAL, 10, -1, -1, 0},
      {SQL_INTERVAL_MINUTE_TO_SECOND, SQL_INTERVAL, 13, -1, -1, 0},
      {SQL_NUMERIC, SQL_NUMERIC, 0, 15, 0, 0},
      {SQL_DECIMAL, SQL_DECIMAL, 0, 15, 0, 0},
      {SQL_FLOAT, SQL_FLOAT, 0, 9, -1, 0},
      {SQL_REAL, SQL_REAL, 0, 9, -1, 0},
      {SQL_CHAR, SQL_CHAR, 0, 0, -1, 1},
      {SQL_C_SLONG, SQL_C_SLONG, 0, 0, -1, 1},
      {SQL_C_UBIGINT, SQL_C_UBIGINT, 0, 0, -1, 1},
      {SQL_DOUBLE, SQL_DOUBLE, 0, 0, -1, 1},
      {SQL_BIT, SQL_BIT, 0, 0, -1, 1},
      {SQL_VARBINARY, SQL_VARBINARY, 0, 0, -1, 1},
  };
  for (const TypeRuleCase& c : cases) {
    DescRecord record{};
    record.concise_type = SQL_GUID;
    record.type = SQL_GUID;
    record.datetime_interval_code = 77;
    record.precision = 7;
    record.scale = 3;
    record.length = 99;
    desc_set_concise_type(&record, c.concise);
    SCOPED_TRACE(c.concise);
    EXPECT_EQ(c.concise, record.concise_type);
    EXPECT_EQ(c.type, record.type);
    EXPECT_EQ(c.subcode, record.datetime_interval_code);
    EXPECT_EQ(c.precision < 0 ? 7 : c.precision, record.precision);
    EXPECT_EQ(c.scale < 0 ? 3 : c.scale, record.scale);
    EXPECT_EQ(c.length ? c.length : 99u, record.length);
  }
  // Setting the type a record already has keeps what was set since.
  DescRecord record{};
  desc_set_concise_type(&record, SQL_NUMERIC);
  record.precision = 30;
  record.scale = 5;
  desc_set_concise_type(&record, SQL_NUMERIC);
  EXPECT_EQ(30, record.precision);
  EXPECT_EQ(5, record.scale);
}

// --- Record arrays ----------------------------------------------------------------------

TEST_F(Descriptors, RecordArrayGrowsKeepingEarlierRecords) {
  QuillDesc* ard = st()->ard;
  EXPECT_EQ(nullptr, desc_record(ard, 2, false));
  DescRecord* second = desc_record(ard, 2, true);
  ASSERT_NE(nullptr, second);
  EXPECT_EQ(3, desc_capacity(ard));
  EXPECT_EQ(2, ard->count);
  int marker = 0;
  second->data_ptr = &marker;
  second->precision = 11;
  ASSERT_NE(nullptr, desc_record(ard, 40, true));
  EXPECT_EQ(41, desc_capacity(ard));
  EXPECT_EQ(40, ard->count);
  EXPECT_EQ(&marker, desc_record(ard, 2, false)->data_ptr);
  EXPECT_EQ(11, desc_record(ard, 2, false)->precision);
  EXPECT_EQ(nullptr, desc_record(ard, 39, false)->data_ptr);
  // Trimming drops trailing records without pointers, down to the last bound one.
  desc_trim_count(ard);
  EXPECT_EQ(2, ard->count);
  EXPECT_EQ(41, desc_capacity(ard));
  // The IRD's count is the statement's: growing it leaves the count alone.
  ASSERT_NE(nullptr, desc_record(st()->ird, 3, true));
  EXPECT_EQ(0, st()->ird->count);
  EXPECT_EQ(nullptr, desc_record(ard, -1, true));
}

// --- Field round trips and refusals on application descriptors ---------------------------

struct FieldCase {
  SQLSMALLINT record;
  SQLSMALLINT field;
  SQLLEN value;
  int width;  // bytes the application receives
};

TEST_F(Descriptors, ApplicationFieldsReadBackWhatWasSet) {
  static SQLLEN indicator;
  static SQLUSMALLINT statuses[4];
  const FieldCase cases[] = {
      {0, SQL_DESC_ARRAY_SIZE, 25, sizeof(SQLULEN)},
      {0, SQL_DESC_BIND_TYPE, 64, sizeof(SQLINTEGER)},
      {0, SQL_DESC_ARRAY_STATUS_PTR, reinterpret_cast<intptr_t>(statuses), sizeof(void*)},
      {0, SQL_DESC_BIND_OFFSET_PTR, reinterpret_cast<intptr_t>(&indicator), sizeof(void*)},
      {0, SQL_DESC_ROWS_PROCESSED_PTR, reinterpret_cast<intptr_t>(&indicator), sizeof(void*)},
      {2, SQL_DESC_CONCISE_TYPE, SQL_C_CHAR, sizeof(SQLSMALLINT)},
      {2, SQL_DESC_LENGTH, 300, sizeof(SQLULEN)},
      {2, SQL_DESC_OCTET_LENGTH, 301, sizeof(SQLLEN)},
      {2, SQL_DESC_PRECISION, 18, sizeof(SQLSMALLINT)},
      {2, SQL_DESC_SCALE, 6, sizeof(SQLSMALLINT)},
      {2, SQL_DESC_NUM_PREC_RADIX, 10, sizeof(SQLINTEGER)},
      {2, SQL_DESC_DATETIME_INTERVAL_PRECISION, 4, sizeof(SQLINTEGER)},
      {2, SQL_DESC_PARAMETER_TYPE, SQL_PARAM_OUTPUT, sizeof(SQLSMALLINT)},
      {2, SQL_DESC_UNNAMED, SQL_UNNAMED, sizeof(SQLSMALLINT)},
      {2, SQL_DESC_DATA_PTR, reinterpret_cast<intptr_t>(statuses), sizeof(void*)},
      {2, SQL_DESC_INDICATOR_PTR, reinterpret_cast<intptr_t>(&indicator), sizeof(void*)},
      {2, SQL_DESC_OCTET_LENGTH_PTR, reinterpret_cast<intptr_t>(&indicator), sizeof(void*)},
      {5, SQL_DESC_COUNT, 7, sizeof(SQLSMALLINT)},
  };
  for (SQLINTEGER which : {SQL_ATTR_APP_ROW_DESC, SQL_ATTR_APP_PARAM_DESC}) {
    SQLHDESC desc = handle_of(which);
    for (const FieldCase& c : cases) {
      SCOPED_TRACE(c.field);
      ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(desc, c.record, c.field, num(c.value), 0))
          << diag(SQL_HANDLE_DESC, desc);
      unsigned char out[16];
      std::memset(out, 0xAB, sizeof out);
      ASSERT_EQ(SQL_SUCCESS, SQLGetDescField(desc, c.record, c.field, out, sizeof out, nullptr));
      SQLLEN back = 0;
      if (c.width == 2) {
        SQLSMALLINT v;
        std::memcpy(&v, out, 2);
        back = v;
      } else if (c.width == 4) {
        SQLINTEGER v;
        std::memcpy(&v, out, 4);
        back = v;
      } else {
        std::memcpy(&back, out, 8);
      }
      EXPECT_EQ(c.value, back);
      EXPECT_EQ(0xAB, out[c.width]) << "wrote past the field's width";
    }
  }
  // Setting record 2 grew the array; the count set last (7) stands, record 2 kept its data.
  SQLHDESC ard = handle_of(SQL_ATTR_APP_ROW_DESC);
  SQLSMALLINT count = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ard, 0, SQL_DESC_COUNT, &count, 0, nullptr));
  EXPECT_EQ(7, count);
  SQLSMALLINT alloc = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ard, 0, SQL_DESC_ALLOC_TYPE, &alloc, 0, nullptr));
  EXPECT_EQ(SQL_DESC_ALLOC_AUTO, alloc);
  // A record beyond the count of an application descriptor has no data.
  SQLSMALLINT type = 0;
  EXPECT_EQ(SQL_NO_DATA, SQLGetDescField(ard, 9, SQL_DESC_TYPE, &type, 0, nullptr));
}

TEST_F(Descriptors, TypeFieldsMoveTogetherThroughTheDescriptorCalls) {
  SQLHDESC apd = handle_of(SQL_ATTR_APP_PARAM_DESC);
  SQLSMALLINT type = 0, code = 0, concise = 0;
  auto read = [&] {
    SQLGetDescField(apd, 1, SQL_DESC_TYPE, &type, 0, nullptr);
    SQLGetDescField(apd, 1, SQL_DESC_DATETIME_INTERVAL_CODE, &code, 0, nullptr);
    SQLGetDescField(apd, 1, SQL_DESC_CONCISE_TYPE, &concise, 0, nullptr);
  };
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 1, SQL_DESC_CONCISE_TYPE, num(SQL_C_TYPE_TIME), 0));
  read();
  EXPECT_EQ(SQL_DATETIME, type);
  EXPECT_EQ(SQL_CODE_TIME, code);
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 1, SQL_DESC_TYPE, num(SQL_INTERVAL), 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(apd, 1, SQL_DESC_DATETIME_INTERVAL_CODE, num(3), 0));
  read();
  EXPECT_EQ(SQL_INTERVAL, type);
  EXPECT_EQ(SQL_INTERVAL_DAY, concise);
  int data = 0;
  SQLLEN octets = 0, indicator = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescRec(apd, 2, SQL_DATETIME, SQL_CODE_TIMESTAMP, 16, 3, 0, &data,
                                       &octets, &indicator));
  SQLCHAR name[8];
  SQLSMALLINT subtype = 0, precision = 0, scale = 0, nullable = 0;
  SQLLEN length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescRec(apd, 2, name, sizeof name, nullptr, &type, &subtype, &length,
                                       &precision, &scale, &nullable));
  EXPECT_EQ(SQL_DATETIME, type);
  EXPECT_EQ(SQL_CODE_TIMESTAMP, subtype);
  EXPECT_EQ(16, length);
  EXPECT_EQ(3, precision);
  SQLPOINTER back = nullptr;
  SQLGetDescField(apd, 2, SQL_DESC_CONCISE_TYPE, &concise, 0, nullptr);
  SQLGetDescField(apd, 2, SQL_DESC_DATA_PTR, &back, 0, nullptr);
  EXPECT_EQ(SQL_TYPE_TIMESTAMP, concise);
  EXPECT_EQ(static_cast<void*>(&data), back);
}

struct RefusalCase {
  SQLINTEGER descriptor;  // statement attribute naming it
  bool set;
  SQLSMALLINT record;
  SQLSMALLINT field;
  const char* state;
};

TEST_F(Descriptors, UnknownFieldsAndBadRecordsAreRefused) {
  describe_query();
  const RefusalCase cases[] = {
      {SQL_ATTR_APP_ROW_DESC, false, 1, 35, "HY091"},  // SQL_DESC_ROWVER is not served
      {SQL_ATTR_APP_ROW_DESC, false, 1, 7, "HY091"},
      {SQL_ATTR_APP_ROW_DESC, false, 1, 999, "HY091"},
      {SQL_ATTR_APP_ROW_DESC, true, 1, SQL_DESC_NAME, "HY091"},
      {SQL_ATTR_APP_ROW_DESC, true, 1, SQL_DESC_NULLABLE, "HY091"},
      {SQL_ATTR_APP_ROW_DESC, true, 0, SQL_DESC_ALLOC_TYPE, "HY091"},
      {SQL_ATTR_APP_ROW_DESC, false, -1, SQL_DESC_TYPE, "07009"},
      {SQL_ATTR_APP_PARAM_DESC, true, -3, SQL_DESC_PRECISION, "07009"},
      {SQL_ATTR_IMP_ROW_DESC, false, 5, SQL_DESC_NAME, "07009"},
      {SQL_ATTR_IMP_ROW_DESC, false, 0, SQL_DESC_NAME, "07009"},  // bookmarks are off
      {SQL_ATTR_IMP_PARAM_DESC, false, 1, SQL_DESC_TYPE, "07009"},
      {SQL_ATTR_IMP_PARAM_DESC, true, 0, SQL_DESC_TYPE, "07009"},
  };
  for (const RefusalCase& c : cases) {
    SCOPED_TRACE(c.field);
    SQLHDESC desc = handle_of(c.descriptor);
    char out[64];
    SQLRETURN rc;
    if (c.set)
      rc = SQLSetDescField(desc, c.record, c.field, num(1), 0);
    else
      rc = SQLGetDescField(desc, c.record, c.field, out, sizeof out, nullptr);
    EXPECT_EQ(SQL_ERROR, rc);
    EXPECT_EQ(c.state, state_of(SQL_HANDLE_DESC, desc));
  }
  SQLHDESC ard = handle_of(SQL_ATTR_APP_ROW_DESC);
  EXPECT_EQ(SQL_ERROR, SQLSetDescField(ard, 0, SQL_DESC_COUNT, num(-1), 0));
  EXPECT_EQ("07009 Invalid descriptor index", diag(SQL_HANDLE_DESC, ard));
  EXPECT_EQ(SQL_ERROR, SQLSetDescField(ard, 0, SQL_DESC_ARRAY_SIZE, num(0), 0));
  EXPECT_EQ("HY024 Invalid attribute value", diag(SQL_HANDLE_DESC, ard));
  char out[8];
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(ard, 1, 999, out, sizeof out, nullptr));
  EXPECT_EQ("HY091 Invalid descriptor field identifier", diag(SQL_HANDLE_DESC, ard));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetDescField(stmt, 1, SQL_DESC_TYPE, out, sizeof out, nullptr));
}

// --- Column binding ---------------------------------------------------------------------

TEST_F(Descriptors, BindColBindsAndUnbindingTheLastColumnDropsTheCount) {
  char a[16], c[16];
  SQLLEN ind_a = 0, ind_c = 0;
  QuillDesc* ard = st()->ard;
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 1, SQL_C_CHAR, a, sizeof a, &ind_a));
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_NUMERIC, c, sizeof c, &ind_c));
  EXPECT_EQ(3, ard->count);
  const DescRecord* third = desc_record(ard, 3, false);
  EXPECT_EQ(SQL_C_NUMERIC, third->concise_type);
  EXPECT_EQ(15, third->precision);
  EXPECT_EQ(c, third->data_ptr);
  EXPECT_EQ(static_cast<SQLLEN>(sizeof c), third->octet_length);
  EXPECT_EQ(&ind_c, third->indicator_ptr);
  EXPECT_EQ(&ind_c, third->octet_length_ptr);
  // Unbinding a middle column keeps the count; unbinding the last drops it to the last bound.
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 2, SQL_C_CHAR, nullptr, 0, nullptr));
  EXPECT_EQ(3, ard->count);
  ASSERT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 3, SQL_C_CHAR, nullptr, 0, nullptr));
  EXPECT_EQ(1, ard->count);
  EXPECT_EQ(a, desc_record(ard, 1, false)->data_ptr);
  // Column 0 needs bookmarks; a negative length with a buffer is refused.
  EXPECT_EQ(SQL_ERROR, SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, a, sizeof a, nullptr));
  EXPECT_EQ("07009 Invalid descriptor index", diag(SQL_HANDLE_STMT, stmt));
  EXPECT_EQ(SQL_ERROR, SQLBindCol(stmt, 1, SQL_C_CHAR, a, -5, nullptr));
  EXPECT_EQ("HY090", state_of(SQL_HANDLE_STMT, stmt));
  st()->attrs.use_bookmarks = SQL_UB_VARIABLE;
  EXPECT_EQ(SQL_SUCCESS, SQLBindCol(stmt, 0, SQL_C_VARBOOKMARK, a, sizeof a, nullptr));
  for (int s = S8_NEED_DATA; s <= S12_CANCELLED; ++s) {
    st()->state = static_cast<StmtState>(s);
    EXPECT_EQ(SQL_ERROR, SQLBindCol(stmt, 1, SQL_C_CHAR, a, sizeof a, nullptr));
    EXPECT_EQ("HY010 Function sequence error", diag(SQL_HANDLE_STMT, stmt));
  }
}

// --- The IRD of a query -----------------------------------------------------------------

TEST_F(Descriptors, DescribeColReportsTheResultColumns) {
  describe_query();
  struct Expected {
    const char* name;
    SQLSMALLINT type;
    SQLULEN size;
    SQLSMALLINT digits;
    SQLSMALLINT nullable;
  } expected[] = {
      {"HASH", SQL_VARCHAR, 66, 0, SQL_NO_NULLS},
      {"Größe", SQL_BIGINT, 19, 0, SQL_NULLABLE},
      {"D", SQL_TYPE_DATE, 10, 0, SQL_NULLABLE},
      {"A_RATHER_LONG_COLUMN_NAME", SQL_DECIMAL, 20, 4, SQL_NULLABLE},
  };
  for (SQLUSMALLINT column = 1; column <= 4; ++column) {
    const Expected& e = expected[column - 1];
    SCOPED_TRACE(e.name);
    SQLCHAR name[64];
    SQLSMALLINT length = 0, type = 0, digits = -1, nullable = -1;
    SQLULEN size = 0;
    ASSERT_EQ(SQL_SUCCESS, SQLDescribeCol(stmt, column, name, sizeof name, &length, &type, &size,
                                          &digits, &nullable));
    EXPECT_STREQ(e.name, reinterpret_cast<char*>(name));
    EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen(e.name)), length);
    EXPECT_EQ(e.type, type);
    EXPECT_EQ(e.size, size);
    EXPECT_EQ(e.digits, digits);
    EXPECT_EQ(e.nullable, nullable);
  }
  SQLCHAR small[6];
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLDescribeCol(stmt, 4, small, sizeof small, &length, nullptr,
                                                  nullptr, nullptr, nullptr));
  EXPECT_STREQ("A_RAT", reinterpret_cast<char*>(small));
  EXPECT_EQ(25, length);
  EXPECT_EQ("01004 String data, right truncated", diag(SQL_HANDLE_STMT, stmt));
  for (SQLUSMALLINT bad : {0, 5}) {
    EXPECT_EQ(SQL_ERROR, SQLDescribeCol(stmt, bad, small, sizeof small, nullptr, nullptr, nullptr,
                                        nullptr, nullptr));
    EXPECT_EQ("07009 Invalid descriptor index", diag(SQL_HANDLE_STMT, stmt));
  }
}

TEST_F(Descriptors, WideFormsCountCharactersOrBytes) {
  describe_query();
  SQLWCHAR name[16];
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLDescribeColW(stmt, 2, name, 16, &length, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ(5, length);  // characters
  EXPECT_EQ("Größe", narrow(name, 5));
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLDescribeColW(stmt, 2, name, 4, &length, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ("Grö", narrow(name, utf16_length(name)));
  SQLWCHAR text[16];
  ASSERT_EQ(SQL_SUCCESS,
            SQLColAttributeW(stmt, 2, SQL_DESC_LABEL, text, sizeof text, &length, nullptr));
  EXPECT_EQ(10, length);  // bytes
  EXPECT_EQ("Größe", narrow(text, 5));
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLColAttributeW(stmt, 2, SQL_DESC_NAME, text, 6, &length, nullptr));
  EXPECT_EQ("Gr", narrow(text, utf16_length(text)));
  SQLHDESC ird = handle_of(SQL_ATTR_IMP_ROW_DESC);
  SQLINTEGER bytes = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescFieldW(ird, 2, SQL_DESC_NAME, text, sizeof text, &bytes));
  EXPECT_EQ(10, bytes);
  EXPECT_EQ("Größe", narrow(text, 5));
  SQLSMALLINT type = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescRecW(ird, 2, text, 16, &length, &type, nullptr, nullptr, nullptr,
                                        nullptr, nullptr));
  EXPECT_EQ(5, length);
  EXPECT_EQ(SQL_BIGINT, type);
  SQLCHAR narrow_name[16];
  ASSERT_EQ(SQL_SUCCESS, SQLColAttributesW(stmt, 1, SQL_COLUMN_NAME, narrow_name,
                                           sizeof narrow_name, &length, nullptr));
  EXPECT_EQ(8, length);
}

struct NumberCase {
  SQLUSMALLINT column;
  SQLUSMALLINT field;
  SQLLEN value;
};

TEST_F(Descriptors, ColumnAttributesFollowTheFieldDefinitions) {
  describe_query();
  const NumberCase numbers[] = {
      {1, SQL_DESC_COUNT, 4},
      {1, SQL_DESC_CONCISE_TYPE, SQL_VARCHAR},
      {1, SQL_DESC_LENGTH, 66},
      {1, SQL_DESC_DISPLAY_SIZE, 66},
      {1, SQL_DESC_NULLABLE, SQL_NO_NULLS},
      {1, SQL_DESC_UNSIGNED, SQL_TRUE},
      {1, SQL_DESC_CASE_SENSITIVE, SQL_TRUE},
      {1, SQL_DESC_SEARCHABLE, SQL_PRED_CHAR},  // the base column's own
      {1, SQL_DESC_UPDATABLE, SQL_ATTR_READONLY},
      {1, SQL_DESC_UNNAMED, SQL_NAMED},
      {2, SQL_DESC_UPDATABLE, SQL_ATTR_WRITE},
      {2, SQL_DESC_DISPLAY_SIZE, 20},
      {2, SQL_DESC_UNSIGNED, SQL_FALSE},
      {2, SQL_DESC_NUM_PREC_RADIX, 10},
      {2, SQL_DESC_OCTET_LENGTH, 8},
      {3, SQL_DESC_TYPE, SQL_DATETIME},
      {3, SQL_DESC_CONCISE_TYPE, SQL_TYPE_DATE},
      {3, SQL_DESC_DISPLAY_SIZE, 10},
      {3, SQL_DESC_SEARCHABLE, SQL_PRED_SEARCHABLE},
      {4, SQL_DESC_PRECISION, 20},
      {4, SQL_DESC_SCALE, 4},
      {4, SQL_DESC_DISPLAY_SIZE, 22},
      {4, SQL_DESC_FIXED_PREC_SCALE, SQL_FALSE},
      {4, SQL_DESC_AUTO_UNIQUE_VALUE, SQL_FALSE},
  };
  for (const NumberCase& c : numbers) {
    SCOPED_TRACE(c.field);
    EXPECT_EQ(c.value, number_attribute(c.column, c.field));
  }
  EXPECT_EQ("HASH", text_attribute(1, SQL_DESC_BASE_COLUMN_NAME));
  EXPECT_EQ("BLOCKS", text_attribute(1, SQL_DESC_BASE_TABLE_NAME));
  EXPECT_EQ("BLOCKS", text_attribute(2, SQL_DESC_TABLE_NAME));
  EXPECT_EQ("ETH", text_attribute(2, SQL_DESC_CATALOG_NAME));
  EXPECT_EQ("NUMBER", text_attribute(2, SQL_DESC_BASE_COLUMN_NAME));
  EXPECT_EQ("", text_attribute(3, SQL_DESC_BASE_COLUMN_NAME));  // computed
  EXPECT_EQ("VARCHAR", text_attribute(1, SQL_DESC_TYPE_NAME));
  EXPECT_EQ("BIGINT", text_attribute(2, SQL_DESC_LOCAL_TYPE_NAME));
  EXPECT_EQ("'", text_attribute(1, SQL_DESC_LITERAL_SUFFIX));
  EXPECT_EQ("{d '", text_attribute(3, SQL_DESC_LITERAL_PREFIX));
  EXPECT_EQ("'}", text_attribute(3, SQL_DESC_LITERAL_SUFFIX));
  EXPECT_EQ("", text_attribute(2, SQL_DESC_LITERAL_PREFIX));
  EXPECT_EQ("D", text_attribute(3, SQL_DESC_LABEL));
  char text[4];
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLColAttribute(stmt, 4, SQL_DESC_NAME, text, sizeof text, &length, nullptr));
  EXPECT_STREQ("A_R", text);
  EXPECT_EQ(25, length);
  SQLLEN value = 0;
  for (SQLUSMALLINT bad : {SQL_DESC_DATA_PTR, SQL_DESC_INDICATOR_PTR, 19, 1100}) {
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(stmt, 1, bad, nullptr, 0, nullptr, &value));
    EXPECT_EQ("HY091 Invalid descriptor field identifier", diag(SQL_HANDLE_STMT, stmt));
  }
  for (SQLUSMALLINT bad : {0, 5}) {
    EXPECT_EQ(SQL_ERROR, SQLColAttribute(stmt, bad, SQL_DESC_TYPE, nullptr, 0, nullptr, &value));
    EXPECT_EQ("07009", state_of(SQL_HANDLE_STMT, stmt));
  }
}

TEST_F(Descriptors, ColAttributesMapsTheOdbc2Identifiers) {
  describe_query();
  const NumberCase numbers[] = {
      {1, SQL_COLUMN_COUNT, 4},
      {3, SQL_COLUMN_TYPE, SQL_DATE},
      {2, SQL_COLUMN_TYPE, SQL_BIGINT},
      {1, SQL_COLUMN_LENGTH, 66},
      {4, SQL_COLUMN_PRECISION, 20},
      {4, SQL_COLUMN_SCALE, 4},
      {1, SQL_COLUMN_NULLABLE, SQL_NO_NULLS},
      {2, SQL_COLUMN_UPDATABLE, SQL_ATTR_WRITE},
      {4, SQL_COLUMN_MONEY, SQL_FALSE},
      {4, SQL_COLUMN_AUTO_INCREMENT, SQL_FALSE},
  };
  for (const NumberCase& c : numbers) {
    SCOPED_TRACE(c.field);
    SQLLEN value = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLColAttributes(stmt, c.column, c.field, nullptr, 0, nullptr, &value));
    EXPECT_EQ(c.value, value);
  }
  // SQLColAttribute keeps the ODBC 3 type code for identifier 2.
  EXPECT_EQ(SQL_TYPE_DATE, number_attribute(3, SQL_COLUMN_TYPE));
  char text[32];
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQL_SUCCESS,
            SQLColAttributes(stmt, 1, SQL_COLUMN_NAME, text, sizeof text, &length, nullptr));
  EXPECT_STREQ("HASH", text);
  ASSERT_EQ(SQL_SUCCESS, SQLColAttributes(stmt, 2, SQL_COLUMN_QUALIFIER_NAME, text, sizeof text,
                                          &length, nullptr));
  EXPECT_STREQ("ETH", text);
}

TEST_F(Descriptors, BookmarkRecordDescribesRowNumbers) {
  describe_query(true);
  EXPECT_EQ("BOOKMARK", text_attribute(0, SQL_DESC_NAME));
  EXPECT_EQ("SQL_BOOKMARK", text_attribute(0, SQL_DESC_TYPE_NAME));
  EXPECT_EQ(SQL_C_UBIGINT, number_attribute(0, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(4, number_attribute(0, SQL_DESC_OCTET_LENGTH));
  EXPECT_EQ(SQL_NO_NULLS, number_attribute(0, SQL_DESC_NULLABLE));
  EXPECT_EQ(SQL_ATTR_READONLY, number_attribute(0, SQL_DESC_UPDATABLE));
  EXPECT_EQ(4, number_attribute(1, SQL_DESC_COUNT));  // the bookmark is not counted
  SQLHDESC ird = handle_of(SQL_ATTR_IMP_ROW_DESC);
  SQLCHAR name[16];
  SQLSMALLINT nullable = -1;
  ASSERT_EQ(SQL_SUCCESS, SQLGetDescRec(ird, 0, name, sizeof name, nullptr, nullptr, nullptr,
                                       nullptr, nullptr, nullptr, &nullable));
  EXPECT_STREQ("BOOKMARK", reinterpret_cast<char*>(name));
  EXPECT_EQ(SQL_NO_NULLS, nullable);
  // An empty plan leaves only the bookmark record.
  ASSERT_TRUE(desc_fill_ird(st(), nullptr));
  EXPECT_EQ(0, st()->ird->count);
  ASSERT_TRUE(desc_fill_ird(st(), &hand.plan));
  EXPECT_EQ(4, st()->ird->count);
}

TEST_F(Descriptors, ImplementationRowDescriptorIsTheStatements) {
  SQLHDESC ird = handle_of(SQL_ATTR_IMP_ROW_DESC);
  // Unprepared: reads are out of sequence, writes find nothing prepared.
  SQLSMALLINT count = -1;
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(ird, 0, SQL_DESC_COUNT, &count, 0, nullptr));
  EXPECT_EQ("HY010", state_of(SQL_HANDLE_DESC, ird));
  EXPECT_EQ(SQL_ERROR, SQLSetDescField(ird, 1, SQL_DESC_CONCISE_TYPE, num(SQL_CHAR), 0));
  EXPECT_EQ("HY007 Associated statement is not prepared", diag(SQL_HANDLE_DESC, ird));
  describe_query();
  // Setting an IRD record's type is ignored.
  EXPECT_EQ(SQL_SUCCESS, SQLSetDescField(ird, 1, SQL_DESC_CONCISE_TYPE, num(SQL_CHAR), 0));
  EXPECT_EQ(SQL_VARCHAR, number_attribute(1, SQL_DESC_CONCISE_TYPE));
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ird, 0, SQL_DESC_COUNT, &count, 0, nullptr));
  EXPECT_EQ(4, count);
  st()->state = S4_EXECUTED;
  EXPECT_EQ(SQL_ERROR, SQLGetDescField(ird, 0, SQL_DESC_COUNT, &count, 0, nullptr));
  EXPECT_EQ("24000", state_of(SQL_HANDLE_DESC, ird));
  SQLHDESC ard = handle_of(SQL_ATTR_APP_ROW_DESC);
  st()->state = S9_MUST_PUT;
  EXPECT_EQ(SQL_ERROR, SQLSetDescField(ard, 1, SQL_DESC_PRECISION, num(3), 0));
  EXPECT_EQ("HY010", state_of(SQL_HANDLE_DESC, ard));
}

struct StateCase {
  StmtState state;
  SQLUSMALLINT field;
  const char* sqlstate;  // "" when allowed
};

TEST_F(Descriptors, DescriptionFunctionsFollowTheStatementState) {
  describe_query();
  const StateCase cases[] = {
      {S1_ALLOCATED, SQL_DESC_TYPE, "HY010"},   {S2_PREPARED, SQL_DESC_TYPE, "07005"},
      {S2_PREPARED, SQL_DESC_COUNT, ""},        {S2_PREPARED, SQL_COLUMN_COUNT, ""},
      {S3_PREPARED_RESULTS, SQL_DESC_TYPE, ""}, {S4_EXECUTED, SQL_DESC_TYPE, "24000"},
      {S5_CURSOR_OPEN, SQL_DESC_TYPE, ""},      {S7_EXTENDED_FETCHED, SQL_DESC_TYPE, ""},
      {S8_NEED_DATA, SQL_DESC_COUNT, "HY010"},  {S11_EXECUTING, SQL_DESC_TYPE, "HY010"},
  };
  for (const StateCase& c : cases) {
    SCOPED_TRACE(c.state);
    st()->state = c.state;
    SQLLEN value = 0;
    SQLRETURN rc = SQLColAttribute(stmt, 1, c.field, nullptr, 0, nullptr, &value);
    EXPECT_EQ(c.sqlstate[0] ? SQL_ERROR : SQL_SUCCESS, rc);
    EXPECT_EQ(c.sqlstate, state_of(SQL_HANDLE_STMT, stmt));
    if (c.field != SQL_DESC_TYPE) continue;
    rc = SQLDescribeCol(stmt, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(c.sqlstate, state_of(SQL_HANDLE_STMT, stmt));
  }
  st()->state = S2_PREPARED;
  EXPECT_EQ(SQL_ERROR,
            SQLDescribeCol(stmt, 1, nullptr, 0, nullptr, nullptr, nullptr, nullptr, nullptr));
  EXPECT_EQ("07005 Prepared statement not a cursor-specification", diag(SQL_HANDLE_STMT, stmt));
}

TEST_F(Descriptors, ParameterRecordsFollowTheMarkers) {
  ParameterEntry first{}, second{};
  first.sql_type = SQL_INTEGER;
  default_type_description(SQL_INTEGER, &first.description);
  ListNode nodes[2]{};
  nodes[0].data = &first;
  nodes[0].next = &nodes[1];
  nodes[1].data = &second;  // untyped: left as it is
  ASSERT_TRUE(desc_fill_ipd(st(), 2, nodes));
  SQLHDESC ipd = handle_of(SQL_ATTR_IMP_PARAM_DESC);
  SQLSMALLINT count = 0, type = 0, direction = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 0, SQL_DESC_COUNT, &count, 0, nullptr));
  EXPECT_EQ(2, count);
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 1, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
  EXPECT_EQ(SQL_INTEGER, type);
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 2, SQL_DESC_PARAMETER_TYPE, &direction, 0, nullptr));
  EXPECT_EQ(SQL_PARAM_INPUT, direction);
  EXPECT_EQ(SQL_SUCCESS, SQLGetDescField(ipd, 2, SQL_DESC_CONCISE_TYPE, &type, 0, nullptr));
  EXPECT_EQ(0, type);
}

TEST_F(Descriptors, CopyAndBulkOperationsAreRefused) {
  SQLHDESC ard = handle_of(SQL_ATTR_APP_ROW_DESC);
  SQLHDESC explicit_desc = SQL_NULL_HDESC;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DESC, dbc, &explicit_desc));
  EXPECT_EQ(SQL_ERROR, SQLCopyDesc(ard, explicit_desc));
  EXPECT_EQ("HY000 General error: SQLCopyDesc not implemented",
            diag(SQL_HANDLE_DESC, explicit_desc));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLCopyDesc(stmt, explicit_desc));
  EXPECT_EQ(SQL_ERROR, SQLBulkOperations(stmt, SQL_ADD));
  EXPECT_EQ("HY000 General error: SQLBulkOperations not implemented", diag(SQL_HANDLE_STMT, stmt));
  // An explicit descriptor in use as a statement's ARD follows that statement's state.
  ASSERT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_APP_ROW_DESC, explicit_desc, 0));
  ASSERT_EQ(SQL_SUCCESS, SQLSetDescField(explicit_desc, 3, SQL_DESC_PRECISION, num(5), 0));
  st()->state = S8_NEED_DATA;
  EXPECT_EQ(SQL_ERROR, SQLSetDescField(explicit_desc, 3, SQL_DESC_PRECISION, num(5), 0));
  EXPECT_EQ("HY010", state_of(SQL_HANDLE_DESC, explicit_desc));
  st()->state = S1_ALLOCATED;
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DESC, explicit_desc));
}

}  // namespace
