// The data-access layer against a recording backend in the data-source slot:
// the attribute list it connects with, link-name routing of catalog calls,
// catalog-name rewriting, table lookup order and the DDL refusals.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/backends/builtin_backends.h"
#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"

namespace {

// What the fake backend saw.
struct Recorder {
  std::string attributes;             // connection string it connected with
  std::vector<std::string> catalogs;  // catalog argument of each catalog call ("<null>")
  int tables_calls = 0;
};
Recorder g_seen;

struct FakeStmt {
  int row = 0;  // rows handed out so far
};

int fake_alloc_env(void*, SqiEnv* out, SqiService, const char*) {
  *out = &g_seen;
  return SQI_OK;
}
int fake_free_env(SqiEnv) {
  return SQI_OK;
}
int fake_connect(SqiEnv, ConnAttrSet* attributes, void*, char* out, int) {
  char text[1024];
  generate_connection_string(attributes, text, sizeof text);
  g_seen.attributes = text;
  out[0] = '\0';
  return SQI_OK;
}
int fake_describe(SqiEnv, const char* table, DalTable* out) {
  if (std::strcmp(table, "shared") != 0) return SQI_NOT_FOUND;
  std::snprintf(out->name, sizeof out->name, "%s", table);
  out->column_count = 1;
  return SQI_OK;
}
SqiStmt fake_alloc_stmt(void*, SqiEnv, void*, void*) {
  return new FakeStmt;
}
int fake_free_stmt(SqiStmt s) {
  delete static_cast<FakeStmt*>(s);
  return SQI_OK;
}
int fake_close_stmt(SqiStmt) {
  return SQI_OK;
}
int fake_fetch(SqiStmt s) {
  return static_cast<FakeStmt*>(s)->row++ < 1 ? SQI_OK : SQI_NO_DATA;
}
int fake_tables(SqiStmt, SqiText catalog, SqiText, SqiText, SqiText) {
  g_seen.tables_calls++;
  g_seen.catalogs.push_back(catalog.text ? std::string(catalog.text) : "<null>");
  return SQI_OK;
}
int fake_get_data(SqiStmt, int column, int, void* buffer, SQLLEN length, SQLLEN* indicator) {
  if (column == 2) {  // schema: NULL
    *indicator = SQL_NULL_DATA;
    return SQI_OK;
  }
  const char* value = column == 1 ? "ETH" : "getBalance";
  std::snprintf(static_cast<char*>(buffer), static_cast<size_t>(length), "%s", value);
  *indicator = static_cast<SQLLEN>(std::strlen(value));
  return SQI_OK;
}
int fake_foreign_keys(SqiStmt, SqiText pk, SqiText, SqiText, SqiText fk, SqiText, SqiText) {
  g_seen.catalogs.push_back(pk.text ? std::string(pk.text) : "<null>");
  g_seen.catalogs.push_back(fk.text ? std::string(fk.text) : "<null>");
  return SQI_OK;
}
int fake_exec_sql(SqiStmt, const char*, void*, int, void*) {
  return SQI_OK;
}

SqiOperations make_fake() {
  SqiOperations ops{};
  ops.alloc_env = fake_alloc_env;
  ops.free_env = fake_free_env;
  ops.connect = fake_connect;
  ops.describe_table = fake_describe;
  ops.alloc_stmt = fake_alloc_stmt;
  ops.free_stmt = fake_free_stmt;
  ops.close_stmt = fake_close_stmt;
  ops.fetch = fake_fetch;
  ops.tables = fake_tables;
  ops.get_data = fake_get_data;
  ops.exec_sql = fake_exec_sql;
  ops.foreign_keys = fake_foreign_keys;
  return ops;
}
const SqiOperations kFake = make_fake();

// A view store that knows the table "shared" too.
SqiOperations make_views_with_shared() {
  SqiOperations ops = *view_store_operations();
  ops.describe_table = fake_describe;
  return ops;
}
const SqiOperations kViewsWithShared = make_views_with_shared();

struct DalFixture : ::testing::Test {
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  ConnAttrSet attributes;

  void open(const char* connection_string) {
    g_seen = Recorder{};
    init_con_str(&attributes, pool);
    ASSERT_EQ(0,
              parse_connection_string(connection_string, nullptr, nullptr, SQL_NTS, &attributes));
    dal->backends[2] = &kFake;
    ASSERT_EQ(SQI_OK, DALOpen(dal, &attributes, nullptr));
  }
  void TearDown() override {
    dal_destroy(dal);
    FreeErrorHeader(errors);
    quill_mem_release_handle(pool);
  }
  std::string first_state() {
    SQLCHAR state[6] = {0};
    GetDiagRec(errors, 1, state, nullptr, nullptr, 0, nullptr);
    return reinterpret_cast<char*>(state);
  }
};

SqiText text(const char* s) {
  return SqiText{s, SQL_NTS};
}
const SqiText kNone{nullptr, 0};

TEST_F(DalFixture, BackendGetsListedKeysAndLinkSettingsAreTakenOut) {
  open(
      "DSN=x;URI=http://h;api_key=k;LKNAME=LK;DISABLEPT=00;TARGETDSN=inner;unlisted=1;"
      "string_length=100");
  EXPECT_EQ("SQITarget1=Dummy;uri=http://h;api_key=k;string_length=100;DSN=inner",
            g_seen.attributes);
  EXPECT_STREQ("LK", dal->entries[2].link);
  EXPECT_EQ(1, dal->entries[2].passthrough_disabled);  // "00" is not exactly "0"
  EXPECT_STREQ(DAL_VIEWS_LINK, dal->entries[0].link);
  EXPECT_STREQ(DAL_INFO_SCHEMA_LINK, dal->entries[1].link);
}

TEST_F(DalFixture, PassThroughFlagFollowsDisablePt) {
  const std::pair<const char*, int> cases[] = {
      {"URI=u", 0}, {"URI=u;DISABLEPT=0", 0}, {"URI=u;DISABLEPT=1", 1}, {"URI=u;DISABLEPT=", 1}};
  for (auto [string, disabled] : cases) {
    open(string);
    EXPECT_EQ(disabled, dal->entries[2].passthrough_disabled) << string;
    DalTable table{};
    ASSERT_EQ(SQI_OK, DALDescribeTable(errors, dal, "", "shared", &table));
    EXPECT_EQ(!disabled, table.passthrough) << string;
    DALDisconnect(dal);
  }
}

struct RouteCase {
  const char* catalog;            // argument of SQLTables
  std::vector<std::string> seen;  // catalog arguments the fake backend received
};

TEST_F(DalFixture, CatalogCallsRouteByLinkName) {
  const RouteCase cases[] = {
      {"LK$", {"<null>"}},
      {"lk$x", {"x"}},
      {"NOSUCH$x", {"NOSUCH$x"}},
      {"plain", {"plain"}},
  };
  open("URI=u;LKNAME=LK");
  for (const auto& c : cases) {
    g_seen.catalogs.clear();
    DalIterator* it = DALOpenIterator(errors, dal);
    ASSERT_NE(nullptr, it);
    EXPECT_EQ(SQI_OK, DALTables(it, text(c.catalog), kNone, kNone, kNone));
    EXPECT_EQ(c.seen, g_seen.catalogs) << c.catalog;
    DALCloseIterator(it);
  }
}

TEST_F(DalFixture, LinkedCatalogValuesCarryTheLinkName) {
  open("URI=u;LKNAME=LK");
  DalIterator* it = DALOpenIterator(errors, dal);
  ASSERT_EQ(SQI_OK, DALTables(it, kNone, kNone, kNone, kNone));
  ASSERT_EQ(SQI_OK, DALFetch(it));  // the built-in backends have no rows; the fake has one
  char value[64];
  SQLLEN length = 0;
  ASSERT_EQ(SQI_OK, DALGetData(it, 1, SQL_C_CHAR, value, sizeof value, &length));
  EXPECT_STREQ("LK$ETH", value);
  EXPECT_EQ(6, length);
  ASSERT_EQ(SQI_OK, DALGetData(it, 2, SQL_C_CHAR, value, sizeof value, &length));
  EXPECT_STREQ("", value);  // a NULL schema reads as empty text
  EXPECT_EQ(0, length);
  ASSERT_EQ(SQI_OK, DALGetData(it, 3, SQL_C_CHAR, value, sizeof value, &length));
  EXPECT_STREQ("getBalance", value);
  EXPECT_EQ(SQI_NO_DATA, DALFetch(it));
  DALCloseIterator(it);
}

TEST_F(DalFixture, WithoutLinkNameCatalogValuesPassThrough) {
  open("URI=u");
  DalIterator* it = DALOpenIterator(errors, dal);
  ASSERT_EQ(SQI_OK, DALTables(it, kNone, kNone, kNone, kNone));
  ASSERT_EQ(SQI_OK, DALFetch(it));
  char value[64];
  SQLLEN length = 0;
  ASSERT_EQ(SQI_OK, DALGetData(it, 1, SQL_C_CHAR, value, sizeof value, &length));
  EXPECT_STREQ("ETH", value);
  ASSERT_EQ(SQI_OK, DALGetData(it, 2, SQL_C_CHAR, value, sizeof value, &length));
  EXPECT_EQ(SQL_NULL_DATA, length);
  DALCloseIterator(it);
}

TEST_F(DalFixture, DataSourceTableHidesViewOfSameName) {
  open("URI=u");
  dal->entries[0].ops = &kViewsWithShared;
  DalTable table{};
  ASSERT_EQ(SQI_OK, DALDescribeTable(errors, dal, "", "shared", &table));
  EXPECT_EQ(2, table.backend_index);
  ASSERT_EQ(SQI_OK, DALDescribeTable(errors, dal, DAL_VIEWS_LINK, "shared", &table));
  EXPECT_EQ(0, table.backend_index);
  EXPECT_EQ(SQI_NOT_FOUND, DALDescribeTable(errors, dal, "", "missing", &table));
}

TEST_F(DalFixture, ForeignKeysAcrossTwoLinksAreRefused) {
  open("URI=u;LKNAME=LK");
  std::snprintf(dal->entries[1].link, sizeof dal->entries[1].link, "OTHER");  // a second link
  DalIterator* it = DALOpenIterator(errors, dal);
  EXPECT_EQ(SQI_ERROR,
            DALForeignKeys(it, text("LK$x"), kNone, kNone, text("other$y"), kNone, kNone));
  EXPECT_EQ("IM001", first_state());
  // The same link on both sides reaches that link alone.
  SetupErrorHeader(errors, 0);
  g_seen.catalogs.clear();
  EXPECT_EQ(SQI_OK, DALForeignKeys(it, text("LK$x"), kNone, kNone, text("lk$y"), kNone, kNone));
  EXPECT_EQ((std::vector<std::string>{"x", "y"}), g_seen.catalogs);
  EXPECT_EQ(0, it->status[2]);
  EXPECT_EQ(3, it->status[0]);
  DALCloseIterator(it);
}

TEST_F(DalFixture, ProceduresWithoutOperationsAreEmpty) {
  open("URI=u");
  DalIterator* it = DALOpenIterator(errors, dal);
  EXPECT_EQ(SQI_OK, DALProcedures(it, kNone, kNone, kNone));
  EXPECT_EQ(SQI_NO_DATA, DALFetch(it));
  DALCloseIterator(it);
}

TEST_F(DalFixture, DdlRoutingAndRefusals) {
  open("URI=u;LKNAME=LK");
  DalIterator* it = DALOpenIterator(errors, dal);
  EXPECT_EQ(SQI_ERROR, DALCreateTable(it, "NOPE", nullptr));
  EXPECT_EQ("IM001", first_state());
  SetupErrorHeader(errors, 0);
  EXPECT_EQ(SQI_ERROR, DALCreateUser(it, "", nullptr));  // the fake has no user operations
  EXPECT_EQ("IM001", first_state());
  SetupErrorHeader(errors, 0);
  EXPECT_EQ(SQI_ERROR, DALExecDDL(it, nullptr));
  EXPECT_EQ("IM001", first_state());
  DALCloseIterator(it);
}

TEST_F(DalFixture, TransactionsOpenAndCloseOnce) {
  open("URI=u");
  EXPECT_EQ(SQI_OK, DALBeginTransaction(dal));
  EXPECT_TRUE(dal->transaction_open);
  EXPECT_EQ(SQI_OK, DALBeginTransaction(dal));
  EXPECT_EQ(SQI_OK, DALEndTransaction(dal, SQL_COMMIT));
  EXPECT_FALSE(dal->transaction_open);
}

}  // namespace
