// The in-memory test backend through the data-access layer: the restrictions it honours,
// the scan log, statistics rows, key columns and the injected faults.
#include "tests/backend/test_backend.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/dal/sqi/restriction.h"
#include "driver/odbc/connect/backend_list.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/longbuf.h"
#include "support/memory.h"
#include "support/value.h"

namespace {

struct TestBackendFixture : ::testing::Test {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  TestBackend backend;
  DalTable table{};
  std::vector<DalColumn> columns;

  void SetUp() override {
    TestTable t;
    t.name = "T";
    t.columns = {{"A", SQL_INTEGER}, {"B", SQL_VARCHAR, 20}};
    t.rows = {{"1", "apple"}, {"2", "banana"}, {"3", std::nullopt}, {"2", "berry"}};
    t.keys = {"A"};
    t.cardinality = 4;
    t.indexes = {{"T_A", true, {1}, 4}};
    backend.tables.push_back(t);
    test_backend_install(dal, &backend);
    ConnAttrSet attributes;
    init_con_str(&attributes, pool);
    ASSERT_EQ(0, DALOpen(dal, &attributes, nullptr));
    ASSERT_EQ(SQI_OK, DALDescribeTable(errors, dal, nullptr, "T", &table));
    columns.resize(static_cast<size_t>(table.column_count));
    ASSERT_EQ(SQI_OK, DALDescribeColumns(errors, dal, &table, table.column_count, columns.data()));
  }
  void TearDown() override {
    dal_destroy(dal);
    quill_mem_release_handle(pool);
  }

  // Rows of column A that a scan with `restrictions` hands out.
  std::vector<std::string> scan(std::vector<Restriction*> restrictions, int* rc_out = nullptr) {
    DalIterator* it = DALOpenIterator(errors, dal);
    std::vector<std::string> rows;
    int rc = DALStartScan(it, &table, nullptr, nullptr, static_cast<int>(restrictions.size()),
                          restrictions.data());
    while (rc == SQI_OK && (rc = DALFetch(it)) == SQI_OK) {
      char text[32];
      SQLLEN indicator = 0;
      DALGetData(it, 1, SQL_C_CHAR, text, sizeof text, &indicator);
      rows.push_back(text);
    }
    if (rc_out) *rc_out = rc;
    DALCloseIterator(it);
    return rows;
  }
  Restriction* restriction(int column, int op, const char* text) {
    auto* r = static_cast<Restriction*>(quill_mem_alloc(pool, sizeof(Restriction)));
    r->column = &columns[static_cast<size_t>(column - 1)];
    r->column_number = column;
    r->op = op;
    if (text) {
      r->value = NewValue(pool, 32);
      if (columns[static_cast<size_t>(column - 1)].sql_type == SQL_INTEGER)
        set_value_to_int(r->value, std::atoi(text));
      else
        set_value_to_text(r->value, text, std::strlen(text));
    }
    return r;
  }
};

TEST_F(TestBackendFixture, AppliesAndLogsPushedRestrictions) {
  struct Case {
    int column, op;
    const char* value;
    std::vector<std::string> rows;
    const char* logged;
  } cases[] = {
      {1, RESTRICT_EQUAL, "2", {"2", "2"}, "A = 2"},
      {1, RESTRICT_GREATER, "1", {"2", "3", "2"}, "A > 1"},
      {2, RESTRICT_LIKE, "B%", {"2", "2"}, "B LIKE 'B%'"},
      {2, RESTRICT_IS_NULL, nullptr, {"3"}, "B IS NULL"},
      {2, RESTRICT_NOT_EQUAL, "apple", {"2", "2"}, "B <> 'apple'"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.logged);
    EXPECT_EQ(scan({restriction(c.column, c.op, c.value)}), c.rows);
    ASSERT_FALSE(backend.scans.empty());
    ASSERT_EQ(backend.scans.back().restrictions.size(), 1u);
    EXPECT_EQ(backend.scans.back().restrictions[0], c.logged);
    EXPECT_EQ(backend.scans.back().rows_returned, static_cast<int>(c.rows.size()));
  }
}

TEST_F(TestBackendFixture, FaultsAndCatalogAnswers) {
  backend.tables[0].ignore_restrictions = true;
  EXPECT_EQ(scan({restriction(1, RESTRICT_EQUAL, "2")}).size(), 4u);
  backend.tables[0].ignore_restrictions = false;

  int rc = 0;
  backend.tables[0].fail_after_rows = 1;
  EXPECT_EQ(scan({}, &rc).size(), 1u);
  EXPECT_EQ(rc, SQI_ERROR);
  backend.tables[0].fail_after_rows = -1;

  backend.tables[0].fail_start = true;
  EXPECT_TRUE(scan({}, &rc).empty());
  EXPECT_EQ(rc, SQI_ERROR);
  EXPECT_GE(GetErrorCount(errors), 1);

  DalKeyColumn keys[4];
  int count = 0;
  ASSERT_EQ(SQI_OK, DALGetPKInfo(dal, &table, keys, 4, &count));
  ASSERT_EQ(count, 1);
  EXPECT_STREQ(keys[0].name, "A");
  EXPECT_EQ(keys[0].number, 1);
  EXPECT_EQ(table.pk_count, 1);
}

// LONG values longer than one piece arrive whole, binary ones too, and NULL stays NULL.
TEST(TestBackendLong, ReadLongCopiesEveryPiece) {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  std::string text(5000, 'x'), hex;
  for (int i = 0; i < 5000; ++i) text[static_cast<size_t>(i)] = static_cast<char>('a' + i % 26);
  for (int i = 0; i < 3000; ++i) hex += "0123456789ABCDEF"[i % 16], hex += "F0"[i % 2];
  TestBackend backend;
  TestTable table;
  table.name = "L";
  table.columns = {{"T", SQL_LONGVARCHAR, 65535}, {"B", SQL_LONGVARBINARY, 65535}};
  table.rows = {{text, hex}, {std::nullopt, std::nullopt}};
  backend.tables.push_back(table);
  test_backend_install(dal, &backend);
  ConnAttrSet attributes;
  init_con_str(&attributes, pool);
  ASSERT_EQ(0, DALOpen(dal, &attributes, nullptr));
  DalTable described{};
  ASSERT_EQ(SQI_OK, DALDescribeTable(errors, dal, nullptr, "L", &described));
  DalIterator* it = DALOpenIterator(errors, dal);
  ASSERT_EQ(SQI_OK, DALStartScan(it, &described, nullptr, nullptr, 0, nullptr));
  LongBuffer* chars = allocate_long_buffer(pool, 0, 0, nullptr, SQL_LONGVARCHAR);
  LongBuffer* bytes = allocate_long_buffer(pool, 0, 1, nullptr, SQL_LONGVARBINARY);
  ASSERT_TRUE(chars && bytes);
  ASSERT_EQ(SQI_OK, DALFetch(it));
  ASSERT_EQ(0, DALReadLong(chars, it, 1));
  ASSERT_EQ(0, DALReadLong(bytes, it, 2));
  std::string got(5000, '\0');
  ASSERT_EQ(long_buffer_length(chars), 5000);
  ASSERT_EQ(read_long_buffer_at(chars, 0, got.data(), got.size()), 5000);
  EXPECT_EQ(got, text);
  ASSERT_EQ(long_buffer_length(bytes), 3000);
  unsigned char first = 0, last = 0;
  read_long_buffer_at(bytes, 0, &first, 1);
  read_long_buffer_at(bytes, 2999, &last, 1);
  EXPECT_EQ(first, 0x0F);
  EXPECT_EQ(last, 0x70);  // digit 2999 % 16 = 7, then "0"
  ASSERT_EQ(SQI_OK, DALFetch(it));
  ASSERT_EQ(0, DALReadLong(chars, it, 1));
  EXPECT_TRUE(chars->is_null);
  free_long_buffer(chars);
  free_long_buffer(bytes);
  DALCloseIterator(it);
  dal_destroy(dal);
  quill_mem_release_handle(pool);
}

}  // namespace
