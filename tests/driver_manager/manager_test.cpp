// The real unixODBC Driver Manager loading libquilldrv.so from a project-local
// odbcinst.ini: connecting by DSN and DSN-less, the completed connection
// string, browsing, and connect failures with their messages.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

std::string g_dir;    // holds odbcinst.ini, odbc.ini and the trace
std::string g_trace;  // driver trace file

// Writes the ini files and points the Driver Manager and the driver's trace at them before
// the first ODBC call of the process.
class IniEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/quill_manager_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    g_dir = pattern;
    g_trace = g_dir + "/trace.log";
    std::ofstream(g_dir + "/odbcinst.ini") << "[Quillmoor Ethereum ODBC Driver]\n"
                                           << "Description=Quillmoor Ethereum ODBC Driver\n"
                                           << "Driver=" << QUILL_DRIVER_PATH << "\n";
    std::ofstream(g_dir + "/odbc.ini") << "[quill_demo]\n"
                                       << "Driver=Quillmoor Ethereum ODBC Driver\n"
                                       << "URI=http://127.0.0.1:8545\nconnect_probe=no\n"
                                       << "[quill_opts]\n"
                                       << "Driver=Quillmoor Ethereum ODBC Driver\n"
                                       << "URI=http://127.0.0.1:8545\nconnect_probe=no\n"
                                       << "relational_opt=00\n"
                                       << "in_expansion=1\n"
                                       << "catalog_schema_check=0\n";
    setenv("ODBCSYSINI", g_dir.c_str(), 1);
    setenv("ODBCINI", (g_dir + "/odbc.ini").c_str(), 1);
    setenv("QUILLDRV_TRACE_FILE", g_trace.c_str(), 1);
  }
};

const auto* const g_env = ::testing::AddGlobalTestEnvironment(new IniEnvironment);

std::string trace_text() {
  std::ifstream in(g_trace);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

std::string first_state(SQLSMALLINT type, SQLHANDLE handle) {
  SQLCHAR state[6] = {0};
  SQLCHAR message[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(
          SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message, &length)))
    return "";
  return reinterpret_cast<char*>(state);
}

struct DriverManager : ::testing::Test {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION,
                                         reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
  }
  void TearDown() override {
    SQLFreeHandle(SQL_HANDLE_DBC, dbc);
    SQLFreeHandle(SQL_HANDLE_ENV, env);
  }
};

std::string all_messages(SQLSMALLINT type, SQLHANDLE handle) {
  std::string text;
  for (SQLSMALLINT i = 1;; ++i) {
    SQLCHAR state[6] = {0};
    SQLCHAR message[1024] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!SQL_SUCCEEDED(
            SQLGetDiagRec(type, handle, i, state, &native, message, sizeof message, &length)))
      break;
    text +=
        std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(message) + "\n";
  }
  return text;
}

SQLRETURN driver_connect(SQLHDBC dbc, const std::string& text, std::string* out = nullptr,
                         SQLSMALLINT out_size = 1024) {
  std::string buffer(static_cast<size_t>(out_size > 0 ? out_size : 1), '\0');
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text.c_str(), SQL_NTS,
                                  (SQLCHAR*)buffer.data(), out_size, &length, SQL_DRIVER_NOPROMPT);
  if (out) *out = buffer.c_str();
  return rc;
}

const std::string kDriver = "DRIVER={Quillmoor Ethereum ODBC Driver};";

TEST_F(DriverManager, ConnectByDsnLoadsDriverAndConnects) {
  ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc, (SQLCHAR*)"quill_demo", SQL_NTS, nullptr, 0, nullptr, 0))
      << all_messages(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_COMMIT));
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
  std::string trace = trace_text();
  EXPECT_NE(std::string::npos, trace.find("SQLAllocHandle( 1,")) << trace;
  EXPECT_NE(std::string::npos, trace.find("SQLConnect() returns SQL_SUCCESS")) << trace;
  EXPECT_NE(std::string::npos, trace.find("SQLDisconnect() returns SQL_SUCCESS")) << trace;
}

TEST_F(DriverManager, DsnLessConnectionReturnsCompletedString) {
  std::string out;
  ASSERT_EQ(SQL_SUCCESS,
            driver_connect(dbc, kDriver + "URI=http://127.0.0.1:8545;connect_probe=no", &out))
      << all_messages(SQL_HANDLE_DBC, dbc);
  EXPECT_NE(std::string::npos, out.find("URI=http://127.0.0.1:8545")) << out;
  EXPECT_NE(std::string::npos, out.find("DRIVER=")) << out;
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
}

TEST_F(DriverManager, TruncatedOutputStringIsFlagged) {
  std::string out;
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO,
            driver_connect(dbc, kDriver + "URI=http://127.0.0.1:8545;connect_probe=no", &out, 10));
  EXPECT_EQ(9u, out.size());
  EXPECT_EQ("01004", first_state(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
}

struct FailureCase {
  std::string text;     // connection string
  std::string state;    // expected SQLSTATE of the first record
  std::string message;  // text the records must hold
};

TEST_F(DriverManager, ConnectFailuresCarryExactMessages) {
  const FailureCase cases[] = {
      {kDriver, "HY000", "URI must be provided"},
      {kDriver + "URI=ftp://example.org", "HY000", "Unable to extract host from Api Domain"},
      {kDriver + "URI=http://127.0.0.1:8545;connect_probe=no;work_dir_path=/nonexistent/dir",
       "HY000", "Unable to open or create a schema fileset in (/nonexistent/dir/)"},
      {"DSN=quill_demo;SAVEFILE=x.dsn", "01S09", "Invalid keyword"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(SQL_ERROR, driver_connect(dbc, c.text));
    std::string messages = all_messages(SQL_HANDLE_DBC, dbc);
    EXPECT_NE(std::string::npos, messages.find(c.state)) << messages;
    EXPECT_NE(std::string::npos, messages.find(c.message)) << messages;
  }
  // A failed attempt does not hold the next one to its values.
  EXPECT_EQ(SQL_SUCCESS,
            driver_connect(dbc, kDriver + "URI=http://127.0.0.1:8545;connect_probe=no"));
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
}

TEST_F(DriverManager, BrowseConnectAsksForWhatIsMissing) {
  SQLCHAR out[256] = {0};
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQL_NEED_DATA,
            SQLBrowseConnect(dbc, (SQLCHAR*)"DSN=quill_demo", SQL_NTS, out, sizeof out, &length));
  EXPECT_STREQ("PWD:Password=?;UID:UserID=?;SQI:SQITarget=?;", reinterpret_cast<char*>(out));
  EXPECT_EQ(SQL_SUCCESS, SQLBrowseConnect(dbc, (SQLCHAR*)"UID=u;PWD=p;SQI=eth", SQL_NTS, out,
                                          sizeof out, &length))
      << all_messages(SQL_HANDLE_DBC, dbc);
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
}

// Entries read from the data source are kept only under their rules; the same values
// given in the string are always kept.
TEST_F(DriverManager, DataSourceEntriesFollowTheirKeepRules) {
  std::string out;
  ASSERT_EQ(SQL_SUCCESS, driver_connect(dbc, "DSN=quill_opts", &out));
  EXPECT_EQ(std::string::npos, out.find("relational_opt")) << out;  // "00" starts with 0
  EXPECT_NE(std::string::npos, out.find("in_expansion=1")) << out;
  EXPECT_EQ(std::string::npos, out.find("catalog_schema_check")) << out;
  EXPECT_NE(std::string::npos, out.find("work_mem_size=0")) << out;
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
  ASSERT_EQ(SQL_SUCCESS, driver_connect(dbc, "DSN=quill_opts;relational_opt=00", &out));
  EXPECT_NE(std::string::npos, out.find("relational_opt=00")) << out;
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
}

TEST_F(DriverManager, ConnectStringCarriesOnlyGivenCredentials) {
  const std::pair<const char*, const char*> cases[] = {{"", ""}, {"alice", "alice"}};
  for (auto [user, expected] : cases) {
    ASSERT_EQ(SQL_SUCCESS, SQLConnect(dbc, (SQLCHAR*)"quill_demo", SQL_NTS, (SQLCHAR*)user, SQL_NTS,
                                      (SQLCHAR*)"", SQL_NTS));
    SQLCHAR name[64] = {0};
    SQLSMALLINT length = -1;
    ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_USER_NAME, name, sizeof name, &length));
    EXPECT_STREQ(expected, reinterpret_cast<char*>(name));
    EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
  }
}

TEST_F(DriverManager, MissingSetupLibraryIsReportedAndConnectGoesOn) {
  int window = 0;  // any non-null window lets the driver prompt
  SQLCHAR out[512];
  SQLSMALLINT length = 0;
  std::string text = kDriver + "URI=http://127.0.0.1:8545;connect_probe=no";
  SQLRETURN rc = SQLDriverConnect(dbc, reinterpret_cast<SQLHWND>(&window), (SQLCHAR*)text.c_str(),
                                  SQL_NTS, out, sizeof out, &length, SQL_DRIVER_PROMPT);
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, rc) << all_messages(SQL_HANDLE_DBC, dbc);
  std::string messages = all_messages(SQL_HANDLE_DBC, dbc);
  EXPECT_NE(std::string::npos, messages.find("Unable to load setup library (libquilldrvS.so)"))
      << messages;
  EXPECT_NE(std::string::npos, trace_text().find("Unable to load setup library"));
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
}

// What BI tools and generic clients ask right after connecting.
TEST_F(DriverManager, InformationAndAttributesThroughTheDriverManager) {
  // Before connecting, the driver answers only what needs no connection.
  ASSERT_EQ(SQL_SUCCESS,
            driver_connect(dbc, kDriver + "URI=http://127.0.0.1:8545;connect_probe=no"));
  SQLCHAR name[10];
  SQLSMALLINT length = 0;
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(dbc, SQL_DBMS_NAME, name, sizeof name, &length));
  EXPECT_STREQ("Quillmoor", reinterpret_cast<char*>(name));
  EXPECT_EQ(30, length);
  EXPECT_EQ("01004", first_state(SQL_HANDLE_DBC, dbc));

  // Every type a generic client may ask: the listed answer or HY096, never a failure of
  // another kind.
  std::vector<int> types;
  // 3, 4, 5 and 135 name handles, which the Driver Manager checks and maps itself.
  for (int t = 0; t <= 200; ++t)
    if (t < 3 || (t > 5 && t != 135)) types.push_back(t);
  for (int t : {1750, 10000, 10001, 10002, 10003, 10004, 10005, 10021, 10022, 65003})
    types.push_back(t);
  for (int t : types) {
    char buffer[4096];
    SQLSMALLINT size = 0;
    SQLRETURN rc = SQLGetInfo(dbc, static_cast<SQLUSMALLINT>(t), buffer, sizeof buffer, &size);
    if (rc == SQL_ERROR) {
      std::string state = first_state(SQL_HANDLE_DBC, dbc);
      EXPECT_TRUE(state == "HY096" || state == "HYC00") << t << " " << state;
    } else {
      EXPECT_TRUE(SQL_SUCCEEDED(rc)) << t;
    }
  }

  SQLUINTEGER isolation = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION,
                                           reinterpret_cast<SQLPOINTER>(SQL_TXN_SERIALIZABLE), 0));
  EXPECT_EQ(SQL_SUCCESS, SQLGetConnectAttr(dbc, SQL_ATTR_TXN_ISOLATION, &isolation, 0, nullptr));
  EXPECT_EQ(static_cast<SQLUINTEGER>(SQL_TXN_READ_UNCOMMITTED), isolation);
  EXPECT_EQ(SQL_SUCCESS, SQLSetConnectAttr(dbc, SQL_ATTR_AUTOCOMMIT,
                                           reinterpret_cast<SQLPOINTER>(SQL_AUTOCOMMIT_OFF), 0));

  SQLHSTMT stmt = SQL_NULL_HSTMT;
  ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt));
  EXPECT_EQ(SQL_SUCCESS_WITH_INFO,
            SQLSetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, reinterpret_cast<SQLPOINTER>(-5), 0));
  EXPECT_EQ("01S02", first_state(SQL_HANDLE_STMT, stmt));
  SQLULEN max_rows = 99;
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_MAX_ROWS, &max_rows, 0, nullptr));
  EXPECT_EQ(0u, max_rows);
  EXPECT_EQ(SQL_SUCCESS, SQLSetStmtAttr(stmt, SQL_ATTR_CURSOR_TYPE,
                                        reinterpret_cast<SQLPOINTER>(SQL_CURSOR_STATIC), 0));
  SQLULEN scrollable = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetStmtAttr(stmt, SQL_ATTR_CURSOR_SCROLLABLE, &scrollable, 0, nullptr));
  EXPECT_EQ(static_cast<SQLULEN>(SQL_SCROLLABLE), scrollable);
  EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_STMT, stmt));

  SQLUSMALLINT supported = 9;
  EXPECT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, SQL_API_SQLGETINFO, &supported));
  EXPECT_EQ(SQL_TRUE, supported);
  EXPECT_EQ(SQL_SUCCESS, SQLEndTran(SQL_HANDLE_DBC, dbc, SQL_ROLLBACK));
  EXPECT_EQ(SQL_SUCCESS, SQLDisconnect(dbc));
}

TEST_F(DriverManager, UnknownDsnIsReportedByTheDriverManager) {
  SQLRETURN rc = SQLConnect(dbc, (SQLCHAR*)"no_such_dsn", SQL_NTS, nullptr, 0, nullptr, 0);
  EXPECT_EQ(SQL_ERROR, rc);
  EXPECT_EQ("IM002", first_state(SQL_HANDLE_DBC, dbc));
}

}  // namespace
