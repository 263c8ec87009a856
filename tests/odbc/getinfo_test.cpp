// SQLGetInfo, SQLGetInfoW and SQLGetFunctions: the whole answer table against its data
// file, truncation of narrow and wide text, the connection-state refusals, and the
// function report checked against what the built shared library really exports.
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sqlucode.h>
#include <unistd.h>

#include <climits>
#include <cstring>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

#include "driver/odbc/handles/handles.h"
#include "driver/odbc/info/info_table.h"
#include "support/log.h"
#include "support/unicode.h"

namespace {

struct ExpectedAnswer {
  std::string kind;   // u16, u32, text, conn, echo, driverfile
  std::string value;  // number, text, or attribute key
};

std::map<SQLUSMALLINT, ExpectedAnswer> load_expected_answers() {
  std::map<SQLUSMALLINT, ExpectedAnswer> answers;
  std::ifstream in(QUILL_TEST_DATA_DIR "/getinfo_answers.txt");
  std::string line;
  while (std::getline(in, line)) {
    if (line.empty() || line[0] == '#') continue;
    size_t tab1 = line.find('\t');
    size_t tab2 = line.find('\t', tab1 + 1);
    if (tab1 == std::string::npos || tab2 == std::string::npos) continue;
    auto type = static_cast<SQLUSMALLINT>(std::stoul(line.substr(0, tab1)));
    answers[type] = {line.substr(tab1 + 1, tab2 - tab1 - 1), line.substr(tab2 + 1)};
  }
  return answers;
}

std::string diag_state(SQLHDBC dbc, std::string* message = nullptr) {
  SQLCHAR state[6] = {0};
  SQLCHAR text[256] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  if (!SQL_SUCCEEDED(
          SQLGetDiagRec(SQL_HANDLE_DBC, dbc, 1, state, &native, text, sizeof text, &length)))
    return "";
  if (message) *message = reinterpret_cast<char*>(text);
  return reinterpret_cast<char*>(state);
}

struct InfoConnection : ::testing::Test {
  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  void SetUp() override {
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandleStd(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
    ASSERT_EQ(SQL_SUCCESS, SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc));
    set_state(DBC_CONNECTED);
    set_attribute("DSN", "mainnet");
    set_attribute("UID", "alice");
  }
  void TearDown() override {
    set_state(DBC_ALLOCATED);
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_DBC, dbc));
    EXPECT_EQ(SQL_SUCCESS, SQLFreeHandle(SQL_HANDLE_ENV, env));
  }
  QuillDbc* record() { return static_cast<QuillDbc*>(dbc); }
  void set_state(DbcState state) { record()->state = state; }
  void set_attribute(const char* key, const char* value) {
    ASSERT_EQ(0, append_pair(&record()->attributes, key, value, record()->pool));
  }
  std::string text_answer(SQLUSMALLINT type, SQLRETURN expected = SQL_SUCCESS) {
    char buffer[4096] = {0};
    SQLSMALLINT length = -1;
    EXPECT_EQ(expected, SQLGetInfo(dbc, type, buffer, sizeof buffer, &length)) << type;
    if (!SQL_SUCCEEDED(expected)) return "";
    EXPECT_EQ(static_cast<SQLSMALLINT>(std::strlen(buffer)), length) << type;
    return buffer;
  }
};

TEST_F(InfoConnection, EveryTypeGetsItsListedAnswerOrHy096) {
  const auto expected = load_expected_answers();
  ASSERT_EQ(178u, expected.size());
  size_t count = 0;
  info_answers(&count);
  EXPECT_EQ(expected.size(), count);
  for (unsigned type = 0; type <= USHRT_MAX; ++type) {
    auto info = static_cast<SQLUSMALLINT>(type);
    auto it = expected.find(info);
    unsigned char buffer[4096];
    std::memset(buffer, 0xAB, sizeof buffer);
    SQLSMALLINT length = -1;
    if (it == expected.end()) {
      ASSERT_EQ(SQL_ERROR, SQLGetInfo(dbc, info, buffer, sizeof buffer, &length)) << type;
      std::string message;
      ASSERT_EQ("HY096", diag_state(dbc, &message)) << type;
      EXPECT_EQ("Information type out of range", message);
      continue;
    }
    const ExpectedAnswer& want = it->second;
    if (want.kind == "echo") std::memcpy(buffer, "\x78\x56\x34\x12", 4);
    SQLRETURN rc = SQLGetInfo(dbc, info, buffer, sizeof buffer, &length);
    ASSERT_EQ(SQL_SUCCESS, rc) << type;
    if (want.kind == "u16") {
      SQLUSMALLINT number;
      std::memcpy(&number, buffer, sizeof number);
      EXPECT_EQ(2, length) << type;
      EXPECT_EQ(std::stoul(want.value), number) << type;
    } else if (want.kind == "u32" || want.kind == "echo") {
      SQLUINTEGER number;
      std::memcpy(&number, buffer, sizeof number);
      EXPECT_EQ(4, length) << type;
      EXPECT_EQ(want.kind == "echo" ? 0x12345678u : std::stoul(want.value), number) << type;
    } else {
      std::string text = reinterpret_cast<char*>(buffer);
      EXPECT_EQ(static_cast<SQLSMALLINT>(text.size()), length) << type;
      if (want.kind == "text") {
        EXPECT_EQ(want.value, text) << type;
      }
      if (want.kind == "conn") {
        EXPECT_EQ(get_attribute_value(&record()->attributes, want.value.c_str()), text);
      }
      if (want.kind == "driverfile") {
        EXPECT_EQ("libquilldrv.so", text);
      }  // linked in, not loaded
    }
  }
}

TEST_F(InfoConnection, ConnectionTextsFollowTheAttributes) {
  EXPECT_EQ("mainnet", text_answer(SQL_DATA_SOURCE_NAME));
  EXPECT_EQ("alice", text_answer(SQL_USER_NAME));
  ASSERT_EQ(0, remove_pair(&record()->attributes, "UID"));
  EXPECT_EQ("", text_answer(SQL_USER_NAME));
}

TEST_F(InfoConnection, NarrowTextTruncationAndLengths) {
  char buffer[10];
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(dbc, SQL_DBMS_NAME, buffer, sizeof buffer, &length));
  EXPECT_STREQ("Quillmoor", buffer);
  EXPECT_EQ(30, length);
  std::string message;
  EXPECT_EQ("01004", diag_state(dbc, &message));
  EXPECT_EQ("String data, right truncated", message);

  // A null value pointer reports only the length.
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_KEYWORDS, nullptr, 0, &length));
  EXPECT_EQ(static_cast<SQLSMALLINT>(text_answer(SQL_KEYWORDS).size()), length);
  // Negative lengths are refused for text and ignored for numbers.
  EXPECT_EQ(SQL_ERROR, SQLGetInfo(dbc, SQL_DBMS_NAME, buffer, -1, &length));
  EXPECT_EQ("HY090", diag_state(dbc, &message));
  EXPECT_EQ("Invalid string or buffer length", message);
  SQLUINTEGER number = 0;
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfo(dbc, SQL_MAX_STATEMENT_LEN, &number, -1, nullptr));
  EXPECT_EQ(65000u, number);

  // Multi-byte text is cut between whole characters.
  set_attribute("DSN", "caf\xC3\xA9");
  ASSERT_EQ(SQL_SUCCESS_WITH_INFO, SQLGetInfo(dbc, SQL_DATA_SOURCE_NAME, buffer, 5, &length));
  EXPECT_STREQ("caf", buffer);
  EXPECT_EQ(5, length);
}

TEST_F(InfoConnection, WideAnswersCountBytes) {
  SQLWCHAR wide[64];
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, SQL_DBMS_NAME, wide, sizeof wide, &length));
  EXPECT_EQ(60, length);
  std::string narrow;
  utf16_to_utf8(wide, SQL_NTS, narrow);
  EXPECT_EQ("Quillmoor Ethereum ODBC Driver", narrow);

  SQLUSMALLINT small = 0;
  ASSERT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, SQL_MAX_COLUMN_NAME_LEN, &small, 0, &length));
  EXPECT_EQ(64, small);
  EXPECT_EQ(2, length);

  // "a", U+1F600 (a surrogate pair), "b": a 6-byte buffer holds three units, but the second
  // and third form one character, so only "a" fits before the terminator.
  set_attribute("DSN",
                "a\xF0\x9F\x98\x80"
                "b");
  struct Case {
    SQLSMALLINT bytes;
    SQLRETURN rc;
    size_t units;  // code units written before the terminator
  } const cases[] = {
      {0, SQL_SUCCESS_WITH_INFO, 0}, {2, SQL_SUCCESS_WITH_INFO, 0}, {5, SQL_SUCCESS_WITH_INFO, 1},
      {6, SQL_SUCCESS_WITH_INFO, 1}, {8, SQL_SUCCESS_WITH_INFO, 3}, {10, SQL_SUCCESS, 4},
  };
  for (const Case& c : cases) {
    std::memset(wide, 0xFF, sizeof wide);
    ASSERT_EQ(c.rc, SQLGetInfoW(dbc, SQL_DATA_SOURCE_NAME, wide, c.bytes, &length)) << c.bytes;
    EXPECT_EQ(8, length) << c.bytes;
    if (c.bytes >= 2) {
      EXPECT_EQ(c.units, utf16_length(wide)) << c.bytes;
    }
  }
  EXPECT_EQ(SQL_SUCCESS, SQLGetInfoW(dbc, SQL_DATA_SOURCE_NAME, nullptr, 0, &length));
  EXPECT_EQ(8, length);
  EXPECT_EQ(SQL_ERROR, SQLGetInfoW(dbc, SQL_DATA_SOURCE_NAME, wide, -2, &length));
  EXPECT_EQ("HY090", diag_state(dbc));
  EXPECT_EQ(SQL_ERROR, SQLGetInfoW(dbc, 9999, wide, sizeof wide, &length));
  EXPECT_EQ("HY096", diag_state(dbc));
}

TEST_F(InfoConnection, StateDecidesWhichTypesMayBeAsked) {
  struct Case {
    DbcState state;
    SQLUSMALLINT type;
    SQLRETURN rc;
    const char* sqlstate;
  } const cases[] = {
      {DBC_ALLOCATED, SQL_ODBC_VER, SQL_SUCCESS, ""},
      {DBC_ALLOCATED, SQL_DRIVER_ODBC_VER, SQL_SUCCESS, ""},
      {DBC_ALLOCATED, SQL_DBMS_NAME, SQL_ERROR, "08003"},
      {DBC_ALLOCATED, 9999, SQL_ERROR, "08003"},
      {DBC_BROWSING, SQL_ODBC_VER, SQL_ERROR, "08003"},
      {DBC_BROWSING, SQL_DRIVER_ODBC_VER, SQL_ERROR, "08003"},
      {DBC_BROWSING, SQL_DBMS_NAME, SQL_ERROR, "08003"},
      {DBC_CONNECTED, SQL_DBMS_NAME, SQL_SUCCESS, ""},
      {DBC_WITH_STATEMENTS, SQL_DBMS_NAME, SQL_SUCCESS, ""},
      {DBC_IN_TRANSACTION, SQL_TXN_CAPABLE, SQL_SUCCESS, ""},
  };
  for (const Case& c : cases) {
    set_state(c.state);
    char buffer[64];
    std::string message;
    EXPECT_EQ(c.rc, SQLGetInfo(dbc, c.type, buffer, sizeof buffer, nullptr))
        << c.state << "/" << c.type;
    EXPECT_EQ(c.sqlstate, diag_state(dbc, &message)) << c.state << "/" << c.type;
    if (c.rc == SQL_ERROR) {
      EXPECT_EQ("Connection does not exist", message);
    }
  }
  set_state(DBC_ALLOCATED);
  EXPECT_EQ("03.51", text_answer(SQL_DRIVER_ODBC_VER));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetInfo(env, SQL_DBMS_NAME, nullptr, 0, nullptr));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetInfoW(nullptr, SQL_DBMS_NAME, nullptr, 0, nullptr));
}

TEST_F(InfoConnection, TraceLinesNameTheArguments) {
  std::string path = ::testing::TempDir() + "quill_getinfo_trace.log";
  std::remove(path.c_str());
  ASSERT_EQ(0, log_configure(path.c_str()));
  SQLUSMALLINT supported = 0;
  SQLGetInfo(dbc, SQL_DBMS_NAME, nullptr, 0, nullptr);
  SQLGetInfoW(dbc, 9999, nullptr, 0, nullptr);
  SQLGetFunctions(dbc, SQL_API_SQLGETINFO, &supported);
  ASSERT_EQ(0, log_configure(nullptr));
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  std::string trace = text.str();
  for (const char* line :
       {"SQLGetInfo( 0x", ", 17, NULL, 0, NULL )", "SQLGetInfo() returns SQL_SUCCESS",
        ", 9999, NULL, 0, NULL )", "SQLGetInfoW() returns SQL_ERROR", "SQLGetFunctions( 0x",
        "SQLGetFunctions() returns SQL_SUCCESS"})
    EXPECT_NE(std::string::npos, trace.find(line)) << line << "\n" << trace;
  std::remove(path.c_str());
}

// The three forms of the report agree with the single-function answers.
void expect_forms_agree(decltype(&::SQLGetFunctions) get_functions, SQLHDBC dbc) {
  SQLUSMALLINT bitmap[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE + 1];
  SQLUSMALLINT odbc2[101];
  bitmap[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE] = 0xBEEF;  // must stay untouched
  odbc2[100] = 0xBEEF;
  ASSERT_EQ(SQL_SUCCESS, get_functions(dbc, SQL_API_ODBC3_ALL_FUNCTIONS, bitmap));
  ASSERT_EQ(SQL_SUCCESS, get_functions(dbc, SQL_API_ALL_FUNCTIONS, odbc2));
  EXPECT_EQ(0xBEEF, bitmap[SQL_API_ODBC3_ALL_FUNCTIONS_SIZE]);
  EXPECT_EQ(0xBEEF, odbc2[100]);
  for (SQLUSMALLINT n = 1; n < SQL_API_ODBC3_ALL_FUNCTIONS_SIZE * 16; ++n) {
    if (n == SQL_API_ODBC3_ALL_FUNCTIONS) continue;
    SQLUSMALLINT single = 0xBEEF;
    ASSERT_EQ(SQL_SUCCESS, get_functions(dbc, n, &single));
    ASSERT_EQ(SQL_FUNC_EXISTS(bitmap, n), single) << n;
    if (n < 100) {
      ASSERT_EQ(odbc2[n], single) << n;
    }
  }
  EXPECT_EQ(SQL_FALSE, odbc2[0]);
}

TEST_F(InfoConnection, FunctionReportOfTheLinkedProgram) {
  SQLUSMALLINT supported = 0xBEEF;
  for (DbcState state : {DBC_DISCONNECTED, DBC_ALLOCATED, DBC_BROWSING}) {
    set_state(state);
    EXPECT_EQ(SQL_ERROR, SQLGetFunctions(dbc, SQL_API_SQLGETINFO, &supported));
    EXPECT_EQ("HY010", diag_state(dbc));
  }
  set_state(DBC_CONNECTED);
  EXPECT_EQ(SQL_ERROR, SQLGetFunctions(dbc, SQL_API_SQLGETINFO, nullptr));
  EXPECT_EQ("HY009", diag_state(dbc));
  EXPECT_EQ(SQL_INVALID_HANDLE, SQLGetFunctions(env, SQL_API_SQLGETINFO, &supported));

  // Functions this program calls are linked in, so they are exported by it.
  for (SQLUSMALLINT n : {SQL_API_SQLGETINFO, SQL_API_SQLGETFUNCTIONS, SQL_API_SQLALLOCHANDLE,
                         SQL_API_SQLFREEHANDLE, SQL_API_SQLGETDIAGREC}) {
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, n, &supported));
    EXPECT_EQ(SQL_TRUE, supported) << n;
  }
  for (SQLUSMALLINT n : {SQL_API_SQLTRANSACT, SQL_API_SQLBROWSECONNECT, SQL_API_SQLCOLUMNPRIVILEGES,
                         SQL_API_SQLTABLEPRIVILEGES, 4000, 65535}) {
    ASSERT_EQ(SQL_SUCCESS, SQLGetFunctions(dbc, n, &supported));
    EXPECT_EQ(SQL_FALSE, supported) << n;
  }
  expect_forms_agree(&::SQLGetFunctions, dbc);
}

std::string built_library_path() {
  char exe[4096] = {0};
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return "";
  std::string path(exe, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/')) + "/../driver/libquilldrv.so";
}

// The shared library, loaded after a library defining the same ODBC names globally (as the
// Driver Manager does), reports exactly the offered functions it exports itself.
TEST(InfoLibrary, FunctionReportFollowsTheLibraryExports) {
  std::string path = built_library_path();
  if (access(path.c_str(), R_OK) != 0) GTEST_SKIP() << "no built library at " << path;
  void* manager = dlopen("libodbc.so.2", RTLD_NOW | RTLD_GLOBAL);
  void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(nullptr, library) << dlerror();
  auto alloc_std =
      reinterpret_cast<decltype(&::SQLAllocHandleStd)>(dlsym(library, "SQLAllocHandleStd"));
  auto alloc = reinterpret_cast<decltype(&::SQLAllocHandle)>(dlsym(library, "SQLAllocHandle"));
  auto release = reinterpret_cast<decltype(&::SQLFreeHandle)>(dlsym(library, "SQLFreeHandle"));
  auto get_functions =
      reinterpret_cast<decltype(&::SQLGetFunctions)>(dlsym(library, "SQLGetFunctions"));
  auto get_info = reinterpret_cast<decltype(&::SQLGetInfo)>(dlsym(library, "SQLGetInfo"));
  ASSERT_TRUE(alloc_std && alloc && release && get_functions && get_info);

  SQLHENV env = SQL_NULL_HENV;
  SQLHDBC dbc = SQL_NULL_HDBC;
  ASSERT_EQ(SQL_SUCCESS, alloc_std(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env));
  ASSERT_EQ(SQL_SUCCESS, alloc(SQL_HANDLE_DBC, env, &dbc));
  static_cast<QuillDbc*>(dbc)->state = DBC_CONNECTED;

  size_t count = 0;
  const OfferedFunction* offered = offered_functions(&count);
  ASSERT_EQ(71u, count);
  int reported = 0;
  for (size_t i = 0; i < count; ++i) {
    SQLUSMALLINT supported = 0xBEEF;
    ASSERT_EQ(SQL_SUCCESS, get_functions(dbc, offered[i].number, &supported));
    bool exported = dlsym(library, offered[i].name) != nullptr;
    EXPECT_EQ(exported ? SQL_TRUE : SQL_FALSE, supported) << offered[i].name;
    reported += supported;
  }
  EXPECT_GT(reported, 0);
  expect_forms_agree(get_functions, dbc);

  char name[64] = {0};
  SQLSMALLINT length = 0;
  ASSERT_EQ(SQL_SUCCESS, get_info(dbc, SQL_DRIVER_NAME, name, sizeof name, &length));
  EXPECT_STREQ("libquilldrv.so", name);
  EXPECT_EQ(14, length);

  static_cast<QuillDbc*>(dbc)->state = DBC_ALLOCATED;
  EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_DBC, dbc));
  EXPECT_EQ(SQL_SUCCESS, release(SQL_HANDLE_ENV, env));
  dlclose(library);
  if (manager) dlclose(manager);
}

}  // namespace
