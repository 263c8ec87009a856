// Catalog functions in process over a backend that delivers its rows in a
// chosen (reversed, shuffled) order: the sort keys of each function, the
// SQLForeignKeys key choice, privileges, backend failures, the driver's own
// state rules without a Driver Manager, and the service SQLTables entries.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <string>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/dal/sqi/rowset.h"
#include "driver/odbc/catalog/catalog_call.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

namespace {

// The fake backend's connection: where it posts and how.
struct FakeEnv {
  void* target;
  SqiService service;
};
struct FakeStmt {
  FakeEnv* env;
  void* target;
  RowSet* rows = nullptr;
};

int fake_alloc_env(void* target, SqiEnv* out, SqiService service, const char*) {
  *out = new FakeEnv{target, service};
  return SQI_OK;
}
int fake_free_env(SqiEnv env) {
  delete static_cast<FakeEnv*>(env);
  return SQI_OK;
}
int fake_connect(SqiEnv, ConnAttrSet*, void*, char* out, int) {
  out[0] = '\0';
  return SQI_OK;
}
SqiStmt fake_alloc_stmt(void* target, SqiEnv env, void*, void*) {
  return new FakeStmt{static_cast<FakeEnv*>(env), target};
}
int fake_free_stmt(SqiStmt s) {
  auto* stmt = static_cast<FakeStmt*>(s);
  rowset_free(stmt->rows);
  delete stmt;
  return SQI_OK;
}
int fake_close_stmt(SqiStmt) {
  return SQI_OK;
}
int fake_fetch(SqiStmt s) {
  return rowset_fetch(static_cast<FakeStmt*>(s)->rows);
}
// Column 99 of any row fails without a diagnostic of its own.
int fake_get_data(SqiStmt s, int column, int c_type, void* buffer, SQLLEN length,
                  SQLLEN* indicator) {
  return rowset_get_data(static_cast<FakeStmt*>(s)->rows, column, c_type, buffer, length,
                         indicator);
}

// One cell: text, a number, or NULL (nullptr text with kNoNumber).
constexpr long kNoNumber = -99999;
struct Cell {
  const char* text;
  long number = kNoNumber;
};
Cell T(const char* text) {
  return Cell{text};
}
Cell N(long number) {
  return Cell{nullptr, number};
}
const Cell kNullCell{nullptr};

// Replaces the statement's rows by `rows` of `count` columns (numbers as SMALLINT).
int answer(SqiStmt s, int count, const std::vector<std::vector<Cell>>& rows) {
  auto* stmt = static_cast<FakeStmt*>(s);
  std::vector<RowSetColumn> layout;
  for (int i = 0; i < count; ++i) layout.push_back({"C" + std::to_string(i + 1), SQL_VARCHAR});
  rowset_free(stmt->rows);
  stmt->rows = rowset_create(layout.data(), count);
  for (const auto& row : rows) {
    rowset_add_row(stmt->rows);
    for (size_t c = 0; c < row.size(); ++c) {
      int column = static_cast<int>(c) + 1;
      if (row[c].text)
        rowset_set_text(stmt->rows, column, row[c].text);
      else if (row[c].number != kNoNumber)
        rowset_set_int32(stmt->rows, column, static_cast<int32_t>(row[c].number));
    }
  }
  return SQI_OK;
}

// SQLColumns rows, newest table and last column first.
int fake_columns(SqiStmt s, SqiText, SqiText, SqiText, SqiText) {
  std::vector<std::vector<Cell>> rows;
  std::vector<std::string> names;
  names.reserve(6);  // the cells point into it
  for (const char* table : {"ZETA", "ALPHA"})
    for (int position = 3; position >= 1; --position) {
      names.push_back(std::string(table) + "_" + std::to_string(position));
      rows.push_back({T("CAT"), kNullCell, T(table), T(names.back().c_str()), N(SQL_INTEGER),
                      T("INTEGER"), N(10), N(4), N(0), N(10), N(1), kNullCell, kNullCell,
                      N(SQL_INTEGER), kNullCell, kNullCell, N(position), T("YES")});
    }
  return answer(s, 18, rows);
}

// SQLForeignKeys rows: (PK table, FK table, key sequence) shuffled.
int fake_foreign_keys(SqiStmt s, SqiText, SqiText, SqiText, SqiText, SqiText, SqiText) {
  struct Key {
    const char* pk;
    const char* fk;
    int sequence;
  } keys[] = {{"P1", "F2", 2}, {"P2", "F1", 1}, {"P1", "F2", 1}, {"P2", "F1", 2}, {"P1", "F0", 1}};
  std::vector<std::vector<Cell>> rows;
  for (const Key& k : keys)
    rows.push_back({T("C"), T("S"), T(k.pk), T("ID"), T("C"), T("S"), T(k.fk), T("REF"),
                    N(k.sequence), N(SQL_NO_ACTION), N(SQL_NO_ACTION), T("FK"), T("PK"),
                    N(SQL_NOT_DEFERRABLE)});
  return answer(s, 14, rows);
}

int fake_table_privileges(SqiStmt s, SqiText, SqiText, SqiText) {
  return answer(s, 7,
                {{T("C"), T("S"), T("B"), T("ME"), T("YOU"), T("SELECT"), T("NO")},
                 {T("C"), T("S"), T("A"), T("ME"), T("YOU"), T("UPDATE"), T("NO")},
                 {T("C"), T("S"), T("A"), T("ME"), T("YOU"), T("INSERT"), T("NO")}});
}

// SQLStatistics fails after posting its own diagnostic (one source of a broadcast).
int fake_statistics(SqiStmt s, SqiText, SqiText, SqiText, int, int) {
  auto* stmt = static_cast<FakeStmt*>(s);
  SqiPostError post{stmt->target, "Fake", 7, "42S02", "Base table or view NOPE not found"};
  stmt->env->service(SQI_SERVICE_POST_ERROR, &post);
  return SQI_ERROR;
}

// SQLPrimaryKeys hands out rows with too few columns: reading one fails silently.
int fake_primary_keys(SqiStmt s, SqiText, SqiText, SqiText) {
  return answer(s, 2, {{T("C"), T("S")}});
}

SqiOperations make_fake() {
  SqiOperations ops{};
  ops.alloc_env = fake_alloc_env;
  ops.free_env = fake_free_env;
  ops.connect = fake_connect;
  ops.alloc_stmt = fake_alloc_stmt;
  ops.free_stmt = fake_free_stmt;
  ops.close_stmt = fake_close_stmt;
  ops.fetch = fake_fetch;
  ops.get_data = fake_get_data;
  ops.columns = fake_columns;
  ops.foreign_keys = fake_foreign_keys;
  ops.table_privileges = fake_table_privileges;
  ops.statistics = fake_statistics;
  ops.primary_keys = fake_primary_keys;
  return ops;
}
const SqiOperations kFake = make_fake();

struct CatalogCalls : ::testing::Test {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  SQLHSTMT stmt = SQL_NULL_HSTMT;
  bool eth = false;  // use the Ethereum backend instead of the fake one

  void open() {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                         reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    if (!eth) static_cast<QuillDbc*>(dbc)->dal->backends[2] = &kFake;
    ASSERT_TRUE(SQL_SUCCEEDED(SQLDriverConnect(dbc, nullptr,
                                               (SQLCHAR*)"URI=http://127.0.0.1:1;connect_probe=no",
                                               SQL_NTS, nullptr, 0, nullptr, SQL_DRIVER_NOPROMPT)));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
  }
  void SetUp() override { open(); }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_STMT, stmt);
    SQLDisconnect(dbc);
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
  std::string state() {
    SQLCHAR s[6] = {0};
    SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, s, nullptr, nullptr, 0, nullptr);
    return reinterpret_cast<char*>(s);
  }
  std::string message() {
    SQLCHAR text[512] = {0};
    SQLSMALLINT length = 0;
    SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, nullptr, nullptr, text, sizeof text, &length);
    return reinterpret_cast<char*>(text);
  }
  // Every row: the given columns joined by '|'.
  std::vector<std::string> rows(std::vector<SQLUSMALLINT> columns) {
    std::vector<std::string> out;
    while (SQL_SUCCEEDED(SQLFetch(stmt))) {
      std::string line;
      for (SQLUSMALLINT c : columns) {
        char buffer[128] = {0};
        SQLLEN indicator = 0;
        SQLGetData(stmt, c, SQL_C_CHAR, buffer, sizeof buffer, &indicator);
        line += (line.empty() ? "" : "|") + std::string(indicator == SQL_NULL_DATA ? "-" : buffer);
      }
      out.push_back(line);
    }
    SQLFreeStmt(stmt, SQL_CLOSE);
    return out;
  }
  int state_of() { return static_cast<QuillStmt*>(stmt)->state; }
};

TEST_F(CatalogCalls, ColumnsAreSortedWhateverOrderTheBackendDelivers) {
  ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0));
  EXPECT_EQ(S5_CURSOR_OPEN, state_of());
  EXPECT_EQ((std::vector<std::string>{"ALPHA|ALPHA_1|1", "ALPHA|ALPHA_2|2", "ALPHA|ALPHA_3|3",
                                      "ZETA|ZETA_1|1", "ZETA|ZETA_2|2", "ZETA|ZETA_3|3"}),
            rows({3, 4, 17}));
}

TEST_F(CatalogCalls, ForeignKeysOrderByTheSideNotNamed) {
  struct Case {
    const char* pk_table;
    const char* fk_table;
    std::vector<std::string> order;  // PK table|FK table|KEY_SEQ
  } cases[] = {
      // Only the foreign-key table: ordered by the primary-key side.
      {nullptr, "F1", {"P1|F2|1", "P1|F0|1", "P1|F2|2", "P2|F1|1", "P2|F1|2"}},
      {"", "F1", {"P1|F2|1", "P1|F0|1", "P1|F2|2", "P2|F1|1", "P2|F1|2"}},
      // A primary-key table: ordered by the foreign-key side.
      {"P1", nullptr, {"P1|F0|1", "P2|F1|1", "P2|F1|2", "P1|F2|1", "P1|F2|2"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.pk_table ? c.pk_table : "<null>");
    ASSERT_EQ(SQL_SUCCESS,
              SQLForeignKeys(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)c.pk_table, SQL_NTS, nullptr,
                             0, nullptr, 0, (SQLCHAR*)c.fk_table, SQL_NTS));
    std::vector<std::string> got = rows({3, 7, 9});
    // Rows equal in every key keep no particular order among themselves: compare the keys.
    ASSERT_EQ(c.order.size(), got.size());
    for (size_t i = 0; i < got.size(); ++i) {
      bool by_pk = !c.pk_table || !c.pk_table[0];
      std::string expected = c.order[i], actual = got[i];
      // The side that is not a key may differ between equal-key rows.
      auto strip = [&](const std::string& row) {
        size_t first = row.find('|'), second = row.find('|', first + 1);
        return by_pk ? row.substr(0, first) + row.substr(second) : row.substr(first + 1);
      };
      EXPECT_EQ(strip(expected), strip(actual)) << actual;
    }
  }
}

TEST_F(CatalogCalls, PrivilegesAndMissingOperationsAnswer) {
  ASSERT_EQ(SQL_SUCCESS, SQLTablePrivileges(stmt, nullptr, 0, nullptr, 0, nullptr, 0));
  EXPECT_EQ((std::vector<std::string>{"A|INSERT", "A|UPDATE", "B|SELECT"}), rows({3, 6}));
  // No backend has procedures: an empty result, not an error.
  ASSERT_EQ(SQL_SUCCESS, SQLProcedures(stmt, nullptr, 0, nullptr, 0, nullptr, 0));
  EXPECT_TRUE(rows({3}).empty());
  ASSERT_EQ(SQL_SUCCESS,
            SQLColumnPrivileges(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"A", SQL_NTS, nullptr, 0));
  EXPECT_TRUE(rows({3}).empty());
}

// A source that fails inside a broadcast leaves its diagnostic and no rows; the call goes on.
TEST_F(CatalogCalls, FailingSourceOfABroadcastShowsAsAWarning) {
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLStatistics(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"NOPE", SQL_NTS, 0, 0));
  EXPECT_EQ("42S02", state());
  EXPECT_NE(std::string::npos, message().find("Base table or view NOPE not found"));
  EXPECT_TRUE(rows({3}).empty());
}

// A row that cannot be read ends the call: no result, state S1, the statement usable again.
TEST_F(CatalogCalls, UnreadableRowEndsTheCallInStateOne) {
  EXPECT_EQ(SQL_ERROR, SQLPrimaryKeys(stmt, nullptr, 0, nullptr, 0, (SQLCHAR*)"A", SQL_NTS));
  EXPECT_EQ("HY000", state());
  EXPECT_NE(std::string::npos, message().find("General error")) << message();
  EXPECT_EQ(S1_ALLOCATED, state_of());
  EXPECT_EQ(nullptr, static_cast<QuillStmt*>(stmt)->catalog);
  SQLSMALLINT count = -1;
  EXPECT_EQ(SQL_ERROR, SQLNumResultCols(stmt, &count));
  ASSERT_EQ(SQL_SUCCESS, SQLTablePrivileges(stmt, nullptr, 0, nullptr, 0, nullptr, 0));
  EXPECT_EQ(3u, rows({3}).size());
}

TEST_F(CatalogCalls, StateRulesWithoutADriverManager) {
  ASSERT_EQ(SQL_SUCCESS, SQLColumns(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0));
  // S5: a new catalog call is refused and the open result stays.
  EXPECT_EQ(SQL_ERROR, SQLGetTypeInfo(stmt, SQL_ALL_TYPES));
  EXPECT_EQ("24000", state());
  EXPECT_EQ(S5_CURSOR_OPEN, state_of());
  ASSERT_EQ(SQL_SUCCESS, SQLFetch(stmt));
  EXPECT_EQ(SQL_ERROR, SQLTables(stmt, nullptr, 0, nullptr, 0, nullptr, 0, nullptr, 0));
  EXPECT_EQ("24000", state());
  EXPECT_EQ(SQL_NO_DATA, SQLMoreResults(stmt));
  EXPECT_EQ(S1_ALLOCATED, state_of());
  EXPECT_EQ(nullptr, static_cast<QuillStmt*>(stmt)->catalog);
  // A bad length: HY090, nothing run.
  EXPECT_EQ(SQL_ERROR, SQLColumns(stmt, nullptr, 0, (SQLCHAR*)"S", -5, nullptr, 0, nullptr, 0));
  EXPECT_EQ("HY090", state());
  // A statement in S2 (prepared) may run a catalog function, which leaves it unprepared.
  ASSERT_EQ(SQL_SUCCESS, SQLPrepare(stmt, (SQLCHAR*)"SELECT 1", SQL_NTS)) << message();
  ASSERT_EQ(SQL_SUCCESS, SQLGetTypeInfo(stmt, SQL_VARCHAR));
  EXPECT_EQ(1u, rows({1}).size());
  EXPECT_EQ(SQL_ERROR, SQLExecute(stmt));
  EXPECT_EQ("HY010", state());
}

TEST(CatalogCursorAttributes, ForcedToWhatACatalogResultAllows) {
  struct Case {
    SQLULEN type, concurrency;
    SQLLEN sensitivity;
    bool changed;
    SQLULEN type_after;
  } cases[] = {
      {SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, SQL_INSENSITIVE, false,
       SQL_CURSOR_FORWARD_ONLY},
      {SQL_CURSOR_STATIC, SQL_CONCUR_READ_ONLY, SQL_INSENSITIVE, false, SQL_CURSOR_STATIC},
      {SQL_CURSOR_KEYSET_DRIVEN, SQL_CONCUR_READ_ONLY, SQL_INSENSITIVE, true, SQL_CURSOR_STATIC},
      {SQL_CURSOR_DYNAMIC, SQL_CONCUR_READ_ONLY, SQL_INSENSITIVE, true, SQL_CURSOR_STATIC},
      {SQL_CURSOR_STATIC, SQL_CONCUR_LOCK, SQL_INSENSITIVE, true, SQL_CURSOR_STATIC},
      {SQL_CURSOR_FORWARD_ONLY, SQL_CONCUR_READ_ONLY, SQL_UNSPECIFIED, true,
       SQL_CURSOR_FORWARD_ONLY},
  };
  for (const Case& c : cases) {
    StmtAttributes attrs{};
    attrs.cursor_type = c.type;
    attrs.concurrency = c.concurrency;
    attrs.cursor_sensitivity = c.sensitivity;
    EXPECT_EQ(c.changed, catalog_force_cursor_attributes(&attrs));
    EXPECT_EQ(c.type_after, attrs.cursor_type);
    EXPECT_EQ(static_cast<SQLULEN>(SQL_CONCUR_READ_ONLY), attrs.concurrency);
    EXPECT_EQ(SQL_INSENSITIVE, attrs.cursor_sensitivity);
  }
}

// The engine's service entries over the Ethereum catalog.
struct ServiceTables : CatalogCalls {
  void SetUp() override {
    eth = true;
    open();
  }
};

TEST_F(ServiceTables, ViewsAndTablesForTheEngine) {
  auto* handle = static_cast<QuillStmt*>(stmt);
  struct Case {
    SQLRETURN (*call)(QuillStmt*);
    size_t rows;
  } cases[] = {
      {catalog_service_views, 56},
      {[](QuillStmt* s) { return catalog_service_tables(s, false); }, 56},
      {[](QuillStmt* s) { return catalog_service_tables(s, true); }, 0},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(SQL_SUCCESS, c.call(handle));
    EXPECT_EQ(c.rows, rows({3}).size());
  }
}

}  // namespace
