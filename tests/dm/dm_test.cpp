// The real unixODBC Driver Manager loading libquilldrv.so from a project-local
// odbcinst.ini: a connection attempt makes it allocate the driver's
// environment and connection, which the driver's trace shows.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

namespace {

std::string g_dir;    // holds odbcinst.ini, odbc.ini and the trace
std::string g_trace;  // driver trace file

// Writes the ini files and points the Driver Manager and the driver's trace at them before
// the first ODBC call of the process.
class IniEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    char pattern[] = "/tmp/quill_dm_XXXXXX";
    ASSERT_NE(nullptr, mkdtemp(pattern));
    g_dir = pattern;
    g_trace = g_dir + "/trace.log";
    std::ofstream(g_dir + "/odbcinst.ini") << "[Quillmoor Ethereum ODBC Driver]\n"
                                           << "Description=Quillmoor Ethereum ODBC Driver\n"
                                           << "Driver=" << QUILL_DRIVER_PATH << "\n";
    std::ofstream(g_dir + "/odbc.ini") << "[quill_demo]\n"
                                       << "Driver=Quillmoor Ethereum ODBC Driver\n"
                                       << "URI=http://127.0.0.1:8545\n";
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
  if (!SQL_SUCCEEDED(SQLGetDiagRec(type, handle, 1, state, &native, message, sizeof message,
                                   &length)))
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

// Connecting is not built yet: the Driver Manager loads the driver, allocates its handles,
// finds no connect entry point and answers IM001 itself.
TEST_F(DriverManager, ConnectLoadsDriverAndAllocatesItsHandles) {
  SQLRETURN rc = SQLConnect(dbc, (SQLCHAR*)"quill_demo", SQL_NTS, nullptr, 0, nullptr, 0);
  EXPECT_EQ(SQL_ERROR, rc);
  EXPECT_EQ("IM001", first_state(SQL_HANDLE_DBC, dbc));
  std::string trace = trace_text();
  EXPECT_NE(std::string::npos, trace.find("SQLAllocHandle( 1,")) << trace;
  EXPECT_NE(std::string::npos, trace.find("SQLSetEnvAttr(")) << trace;
  bool connection_allocated =
      trace.find("SQLAllocHandle( 2,") != std::string::npos ||
      trace.find("SQLAllocConnect(") != std::string::npos;
  EXPECT_TRUE(connection_allocated) << trace;
  EXPECT_EQ(std::string::npos, trace.find("returns SQL_ERROR")) << trace;
}

TEST_F(DriverManager, DsnLessConnectionFindsDriverByName) {
  const char* text = "DRIVER={Quillmoor Ethereum ODBC Driver};URI=http://127.0.0.1:8545";
  SQLCHAR out[256];
  SQLSMALLINT length = 0;
  SQLRETURN rc = SQLDriverConnect(dbc, nullptr, (SQLCHAR*)text, SQL_NTS, out, sizeof out, &length,
                                  SQL_DRIVER_NOPROMPT);
  EXPECT_EQ(SQL_ERROR, rc);
  EXPECT_EQ("IM001", first_state(SQL_HANDLE_DBC, dbc));
}

TEST_F(DriverManager, UnknownDsnIsReportedByTheDriverManager) {
  SQLRETURN rc = SQLConnect(dbc, (SQLCHAR*)"no_such_dsn", SQL_NTS, nullptr, 0, nullptr, 0);
  EXPECT_EQ(SQL_ERROR, rc);
  EXPECT_EQ("IM002", first_state(SQL_HANDLE_DBC, dbc));
}

}  // namespace
