// Configuration lookups through real odbc.ini and odbcinst.ini files in a
// temporary directory, selected with ODBCSYSINI and ODBCINI.
#include "support/config.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

// unixODBC reads ODBCSYSINI once, at its first call, so the directory is chosen
// before main; an ODBCSYSINI set by the caller (or another suite) is kept.
std::string choose_ini_directory() {
  const char* existing = std::getenv("ODBCSYSINI");
  std::string dir;
  if (existing && *existing) {
    dir = existing;
  } else {
    char pattern[] = "/tmp/quill_config_test.XXXXXX";
    if (!mkdtemp(pattern)) return "";
    dir = pattern;
    setenv("ODBCSYSINI", dir.c_str(), 1);
    static std::string created;
    created = dir;
    std::atexit([] { std::filesystem::remove_all(created); });
  }
  const char* user = std::getenv("ODBCINI");
  if (!user || !*user) setenv("ODBCINI", (dir + "/user_odbc.ini").c_str(), 1);
  return dir;
}

const std::string g_ini_dir = choose_ini_directory();

std::string system_odbc_ini() {
  return g_ini_dir + "/odbc.ini";
}
std::string user_odbc_ini() {
  return std::getenv("ODBCINI");
}
std::string odbcinst_ini() {
  return g_ini_dir + "/odbcinst.ini";
}

// Sections of their own per test, so other users of the files are not disturbed.
std::string unique_name(const char* stem) {
  static int counter = 0;
  return std::string(stem) + "_" + std::to_string(getpid()) + "_" + std::to_string(++counter);
}

void append_text(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::app);
  out << "\n" << text << "\n";
}

void replace_text(const std::string& path, const std::string& from, const std::string& to) {
  std::stringstream all;
  all << std::ifstream(path).rdbuf();
  std::string text = all.str();
  size_t at = text.find(from);
  ASSERT_NE(at, std::string::npos);
  text.replace(at, from.size(), to);
  std::ofstream(path, std::ios::trunc) << text;
}

std::string profile(const std::string& dsn, const char* key, const char* fallback, int size = 128) {
  char buffer[128];
  int length = get_profile_string(dsn.c_str(), key, fallback, buffer, size);
  EXPECT_EQ(length, static_cast<int>(std::strlen(buffer)));
  return buffer;
}

class ConfigTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(g_ini_dir.empty());
    handle_ = open_registry();
    ASSERT_NE(handle_, nullptr);
  }
  void TearDown() override { close_registry(handle_); }

  // get_default's answer, or "<none>" for -1.
  std::string lookup(const char* key) {
    char buffer[128];
    int length = get_default(handle_, key, buffer, sizeof buffer);
    if (length < 0) {
      EXPECT_STREQ(buffer, "");
      return "<none>";
    }
    EXPECT_EQ(length, static_cast<int>(std::strlen(buffer)));
    return buffer;
  }

  ConfigHandle* handle_ = nullptr;
};

TEST_F(ConfigTest, ProfileStringsOfADataSource) {
  std::string dsn = unique_name("QuillDsn");
  append_text(system_odbc_ini(), "[" + dsn +
                                     "]\nDriver = Quillmoor\nuri = http://node:8545\n"
                                     "empty =\nname = caf\xC3\xA9\n");
  EXPECT_EQ(profile(dsn, "uri", "none"), "http://node:8545");
  EXPECT_EQ(profile(dsn, "URI", "none"), "http://node:8545");  // keys ignore case
  EXPECT_EQ(profile(dsn, "empty", "none"), "");                // present, so not the default
  EXPECT_EQ(profile(dsn, "missing", "fallback"), "fallback");
  EXPECT_EQ(profile(dsn, "missing", nullptr), "");
  EXPECT_EQ(profile(unique_name("NoSuchDsn"), "uri", "d"), "d");
  EXPECT_EQ(profile(dsn, "name", "", 5), "caf");  // never half a character
  EXPECT_EQ(profile(dsn, "name", "", 6), "caf\xC3\xA9");

  char buffer[4];
  EXPECT_EQ(get_profile_string(dsn.c_str(), "uri", "", buffer, 0), -1);
  EXPECT_EQ(get_profile_string(dsn.c_str(), "uri", "", nullptr, 10), -1);
  EXPECT_EQ(get_profile_string(nullptr, "uri", "d", buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "d");
}

TEST_F(ConfigTest, UserFileIsReadBeforeTheSystemFile) {
  std::string dsn = unique_name("QuillUserDsn");
  append_text(system_odbc_ini(), "[" + dsn + "]\nwhere = system\nonly_system = s\n");
  append_text(user_odbc_ini(), "[" + dsn + "]\nwhere = user\n");
  EXPECT_EQ(profile(dsn, "where", ""), "user");
}

TEST_F(ConfigTest, ChangedFilesAreSeenAtOnce) {
  std::string dsn = unique_name("QuillChanging");
  append_text(system_odbc_ini(), "[" + dsn + "]\nwork_mem_size = 100\n");
  EXPECT_EQ(profile(dsn, "work_mem_size", ""), "100");
  replace_text(system_odbc_ini(), "work_mem_size = 100", "work_mem_size = 200");
  EXPECT_EQ(profile(dsn, "work_mem_size", ""), "200");
}

TEST_F(ConfigTest, KeyPathsMapToTheDriverSection) {
  std::string product = unique_name("Quillmoor Test Driver");
  append_text(odbcinst_ini(),
              "[" + product +
                  "]\nDriver = /usr/lib/libquilldrv.so\nSetup = /usr/lib/libquilldrvS.so\n"
                  "work_mem_size = 65536\nsqi.count = 2\nsqi.sqi1 = eth\n");
  struct Case {
    std::string path;
    const char* key;
    const char* expected;
  } cases[] = {
      {"Software\\" + product + "\\Configuration", "work_mem_size", "65536"},
      {"SOFTWARE/" + product + "/configuration", "work_mem_size", "65536"},
      {"Software\\" + product + "\\Configuration", "sqi\\count", "2"},
      {"Software\\" + product + "\\Configuration\\sqi", "count", "2"},
      {"Software\\" + product + "\\Configuration\\sqi", "sqi1", "eth"},
      {"SOFTWARE\\ODBC\\ODBCINST.INI\\" + product, "Setup", "/usr/lib/libquilldrvS.so"},
      {product, "Driver", "/usr/lib/libquilldrv.so"},
      {"Software\\" + product + "\\Configuration", "no_such_key", "<none>"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " : " + c.key);
    ASSERT_EQ(set_config(handle_, c.path.c_str()), 0);
    EXPECT_EQ(lookup(c.key), c.expected);
  }
  const char* bad_paths[] = {"", "Software", "\\\\", "SOFTWARE\\"};
  for (const char* path : bad_paths) EXPECT_EQ(set_config(handle_, path), -1) << path;
  EXPECT_EQ(set_config(handle_, nullptr), -1);
  EXPECT_EQ(set_config(nullptr, "Software\\X"), -1);
}

int answer_from_connection(void* context, const char* key, char* buffer, int size) {
  auto* answers = static_cast<const char* const*>(context);  // key, value, key, value, null
  for (; *answers; answers += 2) {
    if (std::strcmp(answers[0], key) == 0) {
      std::snprintf(buffer, static_cast<size_t>(size), "%s", answers[1]);
      return static_cast<int>(std::strlen(answers[1]));
    }
  }
  return -1;
}

TEST_F(ConfigTest, DefaultsComeFromReaderThenDsnThenDriverThenBuiltIns) {
  std::string product = unique_name("Quillmoor Order Driver");
  std::string dsn = unique_name("QuillOrderDsn");
  append_text(odbcinst_ini(), "[" + product +
                                  "]\nwork_mem_size = driver\nwork_dir_size = driver\n"
                                  "only_driver = d\nblank_everywhere =\n");
  append_text(system_odbc_ini(), "[" + dsn +
                                     "]\nwork_mem_size = dsn\nwork_dir_size = dsn\n"
                                     "only_dsn = s\nblank_everywhere =\n");
  static const char* const answers[] = {"work_mem_size", "reader", "blank_everywhere", "", nullptr};
  ASSERT_EQ(set_config(handle_, ("Software\\" + product + "\\Configuration").c_str()), 0);
  set_dsn(handle_, dsn.c_str());
  set_ini_function(handle_, answer_from_connection, const_cast<const char**>(answers));

  struct Case {
    const char* key;
    const char* expected;
  } cases[] = {
      {"work_mem_size", "reader"},                                  // the connection answers first
      {"work_dir_size", "dsn"},                                     // then the data source
      {"only_driver", "d"},                                         // then the driver's section
      {"only_dsn", "s"},           {"blank_everywhere", "<none>"},  // empty answers do not count
      {"unknown", "<none>"},
  };
  for (const Case& c : cases) EXPECT_EQ(lookup(c.key), c.expected) << c.key;

  set_ini_function(handle_, nullptr, nullptr);
  EXPECT_EQ(lookup("work_mem_size"), "dsn");
  set_dsn(handle_, "");
  EXPECT_EQ(lookup("work_mem_size"), "driver");
  EXPECT_EQ(lookup("only_dsn"), "<none>");
}

TEST_F(ConfigTest, EachConnectionReadsThroughItselfOnASharedHandle) {
  std::string product = unique_name("Quillmoor Shared Driver");
  std::string dsn_a = unique_name("QuillSharedA");
  std::string dsn_b = unique_name("QuillSharedB");
  append_text(odbcinst_ini(), "[" + product + "]\nwork_mem_size = driver\n");
  append_text(system_odbc_ini(), "[" + dsn_a + "]\nwork_dir_size = a\n");
  append_text(system_odbc_ini(), "[" + dsn_b + "]\nwork_dir_size = b\n");
  ASSERT_EQ(set_config(handle_, ("Software\\" + product + "\\Configuration").c_str()), 0);
  // The handle's own reader and data source are not consulted by get_default_for.
  static const char* const installed[] = {"work_mem_size", "installed", nullptr};
  set_ini_function(handle_, answer_from_connection, const_cast<const char**>(installed));
  set_dsn(handle_, dsn_b.c_str());
  static const char* const answers_a[] = {"work_mem_size", "a", nullptr};
  static const char* const answers_b[] = {"work_mem_size", "b", nullptr};
  struct Connection {
    const char* const* answers;
    const std::string* dsn;
    const char* memory;     // expected work_mem_size
    const char* directory;  // expected work_dir_size
  } connections[] = {{answers_a, &dsn_a, "a", "a"},
                     {answers_b, &dsn_b, "b", "b"},
                     {nullptr, &dsn_a, "driver", "a"},
                     {nullptr, nullptr, "driver", "0"}};
  // Several threads read at once, each through its own connection.
  std::vector<std::thread> threads;
  std::atomic<int> wrong{0};
  for (const Connection& c : connections) {
    threads.emplace_back([&, c] {
      for (int i = 0; i < 20; ++i) {
        char buffer[64];
        void* context = const_cast<const char**>(c.answers);
        const char* dsn = c.dsn ? c.dsn->c_str() : nullptr;
        IniReader reader = c.answers ? answer_from_connection : nullptr;
        get_default_for(handle_, reader, context, dsn, "work_mem_size", buffer, sizeof buffer);
        if (std::strcmp(buffer, c.memory) != 0) ++wrong;
        get_default_for(handle_, reader, context, dsn, "work_dir_size", buffer, sizeof buffer);
        if (std::strcmp(buffer, c.directory) != 0) ++wrong;
      }
    });
  }
  for (std::thread& t : threads) t.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_EQ(lookup("work_mem_size"), "installed");
  set_ini_function(handle_, nullptr, nullptr);
  set_dsn(handle_, "");
}

TEST_F(ConfigTest, BuiltInDefaults) {
  const char* saved = std::getenv("TMPDIR");
  std::string saved_value = saved ? saved : "";
  setenv("TMPDIR", "/var/quill-work", 1);
  EXPECT_EQ(lookup("work_dir_path"), "/var/quill-work");
  unsetenv("TMPDIR");
  EXPECT_EQ(lookup("WORK_DIR_PATH"), "/tmp");
  if (saved) setenv("TMPDIR", saved_value.c_str(), 1);
  EXPECT_EQ(lookup("work_mem_size"), "0");
  EXPECT_EQ(lookup("work_dir_size"), "0");
  EXPECT_EQ(lookup("relational_opt"), "<none>");

  // A null handle still knows the built-ins; bad buffers are refused.
  char buffer[8];
  EXPECT_EQ(get_default(nullptr, "work_mem_size", buffer, sizeof buffer), 1);
  EXPECT_STREQ(buffer, "0");
  EXPECT_EQ(get_default(handle_, "work_mem_size", buffer, 0), -1);
  EXPECT_EQ(get_default(handle_, nullptr, buffer, sizeof buffer), -1);
}

}  // namespace
