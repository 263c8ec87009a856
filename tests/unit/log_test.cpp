// Driver trace: line format, every directive, tracing off, configuration.
#include "support/log.h"

#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  std::stringstream ss(text);
  std::string line;
  while (std::getline(ss, line)) out.push_back(line);
  return out;
}

std::string Hex(const void* p) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "0x%" PRIxPTR, reinterpret_cast<uintptr_t>(p));
  return buf;
}

class LogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char name[] = "/tmp/quill_log_testXXXXXX";
    int fd = mkstemp(name);
    ASSERT_GE(fd, 0);
    close(fd);
    path_ = name;
    ASSERT_EQ(log_configure(path_.c_str()), 0);
    ASSERT_TRUE(g_trace_on.load());
  }
  void TearDown() override {
    log_configure(nullptr);
    std::remove(path_.c_str());
  }

  // The text after "unit:line " of the only line written by `write`.
  template <typename F>
  std::string Render(F write) {
    size_t before = ReadFile(path_).size();
    write();
    std::string added = ReadFile(path_).substr(before);
    EXPECT_FALSE(added.empty());
    EXPECT_EQ(added.back(), '\n');
    auto lines = Lines(added);
    EXPECT_EQ(lines.size(), 1u);
    if (lines.empty()) return {};
    const std::string marker = "unit:7 ";
    size_t at = lines[0].find(marker);
    EXPECT_NE(at, std::string::npos) << lines[0];
    if (at == std::string::npos) return {};
    return lines[0].substr(at + marker.size());
  }

  std::string path_;
};

TEST_F(LogTest, LineFormat) {
  log_message("allochandle", 123, LOG_LEVEL_CALL, "SQLAllocHandle( %i, %h, %p )", 1, nullptr,
              nullptr);
  auto lines = Lines(ReadFile(path_));
  ASSERT_EQ(lines.size(), 1u);
  std::regex re(R"(\[(\d+):(\d+)\] allochandle:123 SQLAllocHandle\( 1, NULL, NULL \))");
  std::smatch m;
  ASSERT_TRUE(std::regex_match(lines[0], m, re)) << lines[0];
  EXPECT_EQ(std::stol(m[1].str()), static_cast<long>(getpid()));
}

TEST_F(LogTest, Directives) {
  int handle_object = 0;
  void* handle = &handle_object;
  void* null_handle = nullptr;
  SQLLEN len_value = -1234567890123LL;
  char out_text[] = "output text";
  SQLSMALLINT out_len = 6;
  std::string long_text(300, 'L');

  struct Case {
    std::string expected;
    std::string got;
  };
  std::vector<Case> cases;
#define CASE(expected, ...) \
  cases.push_back({expected, Render([&] { log_message("unit", 7, LOG_LEVEL_CALL, __VA_ARGS__); })})

  CASE(Hex(handle), "%h", handle);
  CASE("NULL", "%h", nullptr);
  CASE(Hex(handle), "%*h", &handle);
  CASE("NULL", "%*h", &null_handle);
  CASE("NULL", "%*h", nullptr);
  CASE("-5 7", "%i %u", static_cast<SQLSMALLINT>(-5), static_cast<SQLUSMALLINT>(7));
  CASE("65535", "%u", static_cast<SQLUSMALLINT>(65535));
  CASE("-42", "%d", -42);
  CASE("-1234567890123", "%I", len_value);
  CASE("18446744073709551615", "%U", static_cast<SQLULEN>(-1));
  CASE("-1234567890123", "%*I", &len_value);
  CASE("NULL", "%*I", static_cast<SQLLEN*>(nullptr));
  CASE(Hex(out_text), "%p", out_text);
  CASE("NULL", "%p", nullptr);
  CASE(Hex(out_text), "%*p", out_text);
  CASE("NULL", "%*p", nullptr);
  CASE("plain", "%s", "plain");
  CASE("NULL", "%s", static_cast<const char*>(nullptr));
  CASE("\"abc\"", "%S", "abc", SQL_NTS);
  CASE("\"ab\"", "%S", "abcdef", 2);
  CASE("\"\"", "%S", "abc", 0);
  CASE("NULL", "%S", static_cast<const char*>(nullptr), SQL_NTS);
  CASE("\"" + std::string(256, 'L') + "\"...", "%S", long_text.c_str(), SQL_NTS);
  CASE("\"" + std::string(256, 'L') + "\"...", "%S", long_text.c_str(), 300);
  CASE("\"" + std::string(256, 'L') + "\"", "%S", long_text.c_str(), 256);
  CASE("\"output\"", "%*S", out_text, &out_len);
  CASE("\"output text\"", "%*S", out_text, static_cast<SQLSMALLINT*>(nullptr));
  CASE("NULL", "%*S", static_cast<char*>(nullptr), &out_len);
  CASE("SQL_SUCCESS", "%e", SQL_SUCCESS);
  CASE("SQL_SUCCESS_WITH_INFO", "%e", SQL_SUCCESS_WITH_INFO);
  CASE("SQL_STILL_EXECUTING", "%e", SQL_STILL_EXECUTING);
  CASE("SQL_NEED_DATA", "%e", SQL_NEED_DATA);
  CASE("SQL_NO_DATA", "%e", SQL_NO_DATA);
  CASE("SQL_ERROR", "%e", SQL_ERROR);
  CASE("SQL_INVALID_HANDLE", "%e", SQL_INVALID_HANDLE);
  CASE("17", "%e", 17);
  CASE("100%", "100%%");
  CASE("%x 5", "%x %d", 5);  // unknown directive: literal, consumes nothing
  CASE("%*x 5", "%*x %d", 5);
  CASE("tail %", "tail %");
  CASE("SQLBindCol() returns SQL_ERROR", "SQLBindCol() returns %e", SQL_ERROR);
  CASE("SQLAllocHandle() returns SQL_SUCCESS, OutputHandlePtr = " + Hex(handle),
       "SQLAllocHandle() returns %e, OutputHandlePtr = %*h", SQL_SUCCESS, &handle);
  CASE("SQLColumns( " + Hex(handle) + ", \"cat\", \"\", NULL, \"t\" )",
       "SQLColumns( %h, %S, %S, %S, %S )", handle, "cat", SQL_NTS, "x", 0,
       static_cast<const char*>(nullptr), SQL_NTS, "tab", 1);
#undef CASE

  for (const auto& c : cases) EXPECT_EQ(c.got, c.expected);
}

TEST_F(LogTest, LongTextIsCutAtAWholeCharacter) {
  // 255 ASCII bytes then "é": 256 bytes cannot hold the whole é.
  std::string text = std::string(255, 'a') + "\xC3\xA9" + "zz";
  std::string got =
      Render([&] { log_message("unit", 7, LOG_LEVEL_CALL, "%S", text.c_str(), SQL_NTS); });
  EXPECT_EQ(got, "\"" + std::string(255, 'a') + "\"...");
}

TEST_F(LogTest, OutputLengthBeyondTheBufferIsSafe) {
  // A truncated result: the length reports more than the buffer holds.
  char buf[8] = "abcdefg";
  SQLSMALLINT len = 500;
  std::string got = Render([&] { log_message("unit", 7, LOG_LEVEL_CALL, "%*S", buf, &len); });
  EXPECT_EQ(got, "\"abcdefg\"...");
}

TEST_F(LogTest, QuillLogMacroAndVlog) {
  QUILL_LOG("unit", LOG_LEVEL_FAILURE, "x=%d", 3);
  auto lines = Lines(ReadFile(path_));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find(" unit:"), std::string::npos);
  EXPECT_EQ(lines[0].substr(lines[0].size() - 4), " x=3");
}

TEST_F(LogTest, NothingWrittenWhenOff) {
  log_message("unit", 1, LOG_LEVEL_CALL, "first");
  std::string before = ReadFile(path_);
  ASSERT_FALSE(before.empty());
  EXPECT_EQ(log_configure(""), 0);
  EXPECT_FALSE(g_trace_on.load());
  log_message("unit", 2, LOG_LEVEL_CALL, "second %s", "x");
  QUILL_LOG("unit", LOG_LEVEL_CALL, "third");
  EXPECT_EQ(ReadFile(path_), before);
}

TEST_F(LogTest, UnopenableFileLeavesTracingOff) {
  EXPECT_EQ(log_configure("/nonexistent-dir/quill/trace.log"), -1);
  EXPECT_FALSE(g_trace_on.load());
  std::string before = ReadFile(path_);
  log_message("unit", 2, LOG_LEVEL_CALL, "dropped");
  EXPECT_EQ(ReadFile(path_), before);
}

// The trace file is its owner's alone: made 0600 whatever the umask, an existing 0644 file
// tightened to 0600, and a symbolic link planted at the path refused with its target left
// untouched.
TEST(LogFileTest, TraceFileIsPrivateAndLinksAreRefused) {
  char dir_name[] = "/tmp/quill_trace_dirXXXXXX";
  ASSERT_NE(mkdtemp(dir_name), nullptr);
  const std::string dir = dir_name, made = dir + "/made.log", existing = dir + "/existing.log",
                    target = dir + "/target", link_path = dir + "/link.log";
  mode_t previous = umask(0);
  EXPECT_EQ(log_configure(made.c_str()), 0);
  umask(previous);
  { std::ofstream(existing) << "before\n"; }
  chmod(existing.c_str(), 0644);
  EXPECT_EQ(log_configure(existing.c_str()), 0);
  log_message("unit", 3, LOG_LEVEL_CALL, "appended");
  { std::ofstream(target) << "victim\n"; }
  ASSERT_EQ(symlink(target.c_str(), link_path.c_str()), 0);
  EXPECT_EQ(log_configure(link_path.c_str()), -1);
  EXPECT_FALSE(g_trace_on.load());
  log_message("unit", 4, LOG_LEVEL_CALL, "dropped");
  struct stat info {};
  ASSERT_EQ(stat(made.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777u, 0600u);
  ASSERT_EQ(stat(existing.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777u, 0600u);
  std::string text = ReadFile(existing);
  EXPECT_EQ(text.find("before\n"), 0u);
  EXPECT_NE(text.find("unit:3 appended"), std::string::npos);
  EXPECT_EQ(ReadFile(target), "victim\n");
  for (const std::string& path : {made, existing, target, link_path}) std::remove(path.c_str());
  rmdir(dir.c_str());
}

TEST_F(LogTest, AppendsToAnExistingFile) {
  log_message("unit", 1, LOG_LEVEL_CALL, "one");
  ASSERT_EQ(log_configure(path_.c_str()), 0);
  log_message("unit", 2, LOG_LEVEL_CALL, "two");
  auto lines = Lines(ReadFile(path_));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("unit:1 one"), std::string::npos);
  EXPECT_NE(lines[1].find("unit:2 two"), std::string::npos);
}

TEST_F(LogTest, ConcurrentWritersKeepLinesWhole) {
  constexpr int kThreads = 8;
  constexpr int kLines = 200;
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      std::string payload(100, static_cast<char>('a' + t));
      for (int i = 0; i < kLines; ++i)
        log_message("unit", t, LOG_LEVEL_CALL, "%d %s %d", t, payload.c_str(), i);
    });
  for (auto& th : threads) th.join();
  auto lines = Lines(ReadFile(path_));
  ASSERT_EQ(lines.size(), static_cast<size_t>(kThreads * kLines));
  std::regex re(R"(\[\d+:\d+\] unit:(\d) (\d) ([a-h])\3{99} \d+)");
  for (const auto& line : lines) ASSERT_TRUE(std::regex_match(line, re)) << line;
}

// log_configure_from_settings works once per process (std::call_once), so each case runs in
// a child process of its own; the child's exit code says what it saw.
enum SettingsOutcome { kTraceOn = 10, kTraceOff = 11, kLineMissing = 12 };

// Removes the child's scratch directory (its TearDown does not run) and exits with `code`.
[[noreturn]] void ExitCleanly(const std::string& dir, int code) {
  std::remove((dir + "/trace.log").c_str());
  std::remove((dir + "/odbcinst.ini").c_str());
  std::remove((dir + "/odbc.ini").c_str());
  rmdir(dir.c_str());
  std::_Exit(code);
}

[[noreturn]] void ConfigureAndReport(const std::string& dir) {
  const std::string trace_path = dir + "/trace.log";
  log_configure_from_settings();
  bool on = g_trace_on.load();
  log_message("unit", 5, LOG_LEVEL_CALL, "from settings");
  setenv("QUILLDRV_TRACE_FILE", "", 1);
  log_configure_from_settings();  // a second call changes nothing
  bool still_on = g_trace_on.load();
  log_configure(nullptr);
  if (!on) ExitCleanly(dir, kTraceOff);
  if (!still_on) ExitCleanly(dir, kLineMissing);
  std::string text = ReadFile(trace_path);
  ExitCleanly(dir,
              text.find("unit:5 from settings") != std::string::npos ? kTraceOn : kLineMissing);
}

class LogSettingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    char dir[] = "/tmp/quill_log_settingsXXXXXX";
    ASSERT_NE(mkdtemp(dir), nullptr);
    dir_ = dir;
    trace_ = dir_ + "/trace.log";
  }
  void TearDown() override {
    std::remove(trace_.c_str());
    std::remove((dir_ + "/odbcinst.ini").c_str());
    std::remove((dir_ + "/odbc.ini").c_str());
    rmdir(dir_.c_str());
  }
  std::string dir_;
  std::string trace_;
};

TEST_F(LogSettingsTest, EnvironmentVariableNamesTheTraceFile) {
  EXPECT_EXIT(
      {
        setenv("QUILLDRV_TRACE_FILE", trace_.c_str(), 1);
        ConfigureAndReport(dir_);
      },
      ::testing::ExitedWithCode(kTraceOn), "");
}

TEST_F(LogSettingsTest, EmptyEnvironmentVariableTurnsTracingOff) {
  EXPECT_EXIT(
      {
        setenv("QUILLDRV_TRACE_FILE", "", 1);
        ConfigureAndReport(dir_);
      },
      ::testing::ExitedWithCode(kTraceOff), "");
}

TEST_F(LogSettingsTest, OdbcinstIniNamesTheTraceFile) {
  {
    std::ofstream ini(dir_ + "/odbcinst.ini");
    ini << "[Quillmoor Ethereum ODBC Driver]\nDriver=/nowhere/libquilldrv.so\nTraceFile=" << trace_
        << "\n";
  }
  EXPECT_EXIT(
      {
        unsetenv("QUILLDRV_TRACE_FILE");
        setenv("ODBCSYSINI", dir_.c_str(), 1);
        unsetenv("ODBCINSTINI");
        ConfigureAndReport(dir_);
      },
      ::testing::ExitedWithCode(kTraceOn), "");
}

TEST_F(LogSettingsTest, NoSettingLeavesTracingOff) {
  {
    std::ofstream ini(dir_ + "/odbcinst.ini");
    ini << "[Quillmoor Ethereum ODBC Driver]\nDriver=/nowhere/libquilldrv.so\n";
  }
  EXPECT_EXIT(
      {
        unsetenv("QUILLDRV_TRACE_FILE");
        setenv("ODBCSYSINI", dir_.c_str(), 1);
        unsetenv("ODBCINSTINI");
        ConfigureAndReport(dir_);
      },
      ::testing::ExitedWithCode(kTraceOff), "");
}

TEST_F(LogSettingsTest, UnopenableTraceFileLeavesTracingOff) {
  EXPECT_EXIT(
      {
        setenv("QUILLDRV_TRACE_FILE", "/nonexistent-dir/quill/trace.log", 1);
        ConfigureAndReport(dir_);
      },
      ::testing::ExitedWithCode(kTraceOff), "");
}

}  // namespace
