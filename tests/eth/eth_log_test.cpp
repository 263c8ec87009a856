// Log records of the Ethereum backend: option values, mode filtering, the
// record header, the record formatter, byte dumps, per-thread file names, the
// memory ring and keeping secrets and other users out of the log.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/eth/eth_context.h"
#include "driver/eth/eth_log.h"

namespace {

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

bool file_exists(const std::string& path) {
  struct stat info {};
  return stat(path.c_str(), &info) == 0;
}

std::string hex8(unsigned value) {
  char text[16];
  snprintf(text, sizeof text, "%08X", value);
  return text;
}

// An HTTP context logging into a fresh file of its own.
struct EthLog : ::testing::Test {
  EthHttpContext context;
  std::string path;

  void SetUp() override {
    static int counter = 0;
    path = ::testing::TempDir() + "eth_log_" + std::to_string(getpid()) + "_" +
           std::to_string(++counter) + ".log";
    unlink(path.c_str());
    context.log.file = path;
    eth_log_ring_clear();
  }
  void TearDown() override {
    unlink(path.c_str());
    eth_log_ring_clear();
  }
  std::string log_text() const { return read_file(path); }
};

TEST(EthLogOption, ModeFromText) {
  struct Case {
    const char* text;
    int mode;
  } cases[] = {
      {"yes", 31},     {"TRUE", 31}, {"On", 31},     {"ONERROR", 95}, {"error", 95},
      {"process", 63}, {"no", 0},    {"off", 0},     {"0x10", 16},    {"010", 8},
      {"4", 4},        {"", 0},      {"garbage", 0}, {nullptr, 0},    {"0x40", 64},
  };
  for (const Case& c : cases)
    EXPECT_EQ(c.mode, eth_log_mode_from_option(c.text)) << (c.text ? c.text : "(null)");
}

TEST_F(EthLog, ModeFilterWritesOnlyMatchingRecords) {
  struct Case {
    int log_mode;
    int record_mode;
    bool dump;
    bool written;
  } cases[] = {
      {1, ETH_LOG_ENTRY, false, true},        {1, ETH_LOG_EXIT, false, false},
      {1, ETH_LOG_DETAIL, false, false},      {1, ETH_LOG_CONTINUATION, false, false},
      {4, ETH_LOG_DETAIL, false, true},       {4, ETH_LOG_CONTINUATION, false, true},
      {4, ETH_LOG_ENTRY, false, false},       {4, ETH_LOG_ERROR, false, false},
      {31, ETH_LOG_ERROR, false, true},       {0, ETH_LOG_ENTRY, false, false},
      {15, ETH_LOG_ENTRY, true, false},       {16, ETH_LOG_ENTRY, true, true},
      {16, ETH_LOG_CONTINUATION, true, true}, {1, ETH_LOG_PKTDUMP, false, false},
  };
  const unsigned char bytes[] = {'a', 'b'};
  for (const Case& c : cases) {
    unlink(path.c_str());
    context.log.mode = c.log_mode;
    if (c.dump)
      eth_log_dump(&context, "eth_connect.cpp", 1, c.record_mode, bytes, sizeof bytes, "sent");
    else
      eth_log(&context, "eth_connect.cpp", 1, c.record_mode, "message");
    EXPECT_EQ(c.written, file_exists(path))
        << "log mode " << c.log_mode << " record mode " << c.record_mode << " dump " << c.dump;
  }
}

TEST_F(EthLog, HeaderLayout) {
  context.log.mode = 31 | ETH_LOG_CONTINUATION;
  eth_log(&context, "eth_sqi.cpp", 42, ETH_LOG_ENTRY, "Startup %s", "Connection");
  const std::regex entry(
      "QUILLODBC:\\[TID=([0-9A-F]+)\\]\\[TIME=-?[0-9]+\\]\\[eth_sqi\\.cpp:42\\]"
      "\\[(0x[0-9a-f]+)\\(ETHCONTEXT\\)\\]\n\t\tENTRY:\t Startup Connection\n");
  std::smatch match;
  std::string text = log_text();
  ASSERT_TRUE(std::regex_match(text, match, entry)) << text;
  char expected[32];
  snprintf(expected, sizeof expected, "%X", static_cast<unsigned>(gettid()));
  EXPECT_EQ(expected, match[1].str());
  snprintf(expected, sizeof expected, "%p", static_cast<void*>(&context));
  EXPECT_EQ(expected, match[2].str());

  // A request object resolves to its context; the header names the request, without the tag.
  unlink(path.c_str());
  EthRequestHeader request;
  request.context = &context;
  eth_log(&request, nullptr, 7, ETH_LOG_EXIT, "done");
  text = log_text();
  EXPECT_TRUE(
      std::regex_match(text, std::regex("QUILLODBC:\\[TID=[0-9A-F]+\\]\\[TIME=-?[0-9]+\\]"
                                        "\\[null:7\\]\\[0x[0-9a-f]+\\]\n\t\tEXIT:\t done\n")))
      << text;

  struct Case {
    int mode;
    bool dump;
    const char* pattern;
  } cases[] = {
      {ETH_LOG_CONTINUATION, false, "\t\t\\[TID=[0-9A-F]+\\]\\+\t more\n"},
      {ETH_LOG_CONTINUATION, true, "\t\t\\+\t more\n"},
      {3, false, "QUILLODBC:.*\n\t\tUNKNOWN MODE more\n"},
      {ETH_LOG_PKTDUMP, false, "QUILLODBC:.*\n\t\tPKTDUMP:\t more\n"},
  };
  for (const Case& c : cases) {
    unlink(path.c_str());
    if (c.dump)
      eth_log_dump(&context, "eth_ssl.cpp", 3, c.mode, nullptr, 0, "more");
    else
      eth_log(&context, "eth_ssl.cpp", 3, c.mode, "more");
    text = log_text();
    EXPECT_TRUE(std::regex_match(text, std::regex(c.pattern))) << c.pattern << " vs " << text;
  }
}

TEST(EthLogState, ResolvesContextsAndIgnoresUnknownPointers) {
  EthHttpContext context;
  EthRequestHeader request;
  request.context = &context;
  EthRequestHeader orphan;
  int stranger = 12345;
  bool is_http = false;
  EXPECT_EQ(&context.log, eth_log_state_of(&context, &is_http));
  EXPECT_TRUE(is_http);
  EXPECT_EQ(&context.log, eth_log_state_of(&request, &is_http));
  EXPECT_FALSE(is_http);
  EXPECT_EQ(nullptr, eth_log_state_of(&orphan, &is_http));
  EXPECT_EQ(nullptr, eth_log_state_of(&stranger, &is_http));
  EXPECT_EQ(nullptr, eth_log_state_of(nullptr, nullptr));
  eth_log(nullptr, "eth_sqi.cpp", 1, ETH_LOG_ERROR, "nothing");
  eth_log(&stranger, "eth_sqi.cpp", 1, ETH_LOG_ERROR, "nothing");
}

using Formatter = std::function<int(char*, size_t)>;

TEST(EthLogFormat, Directives) {
  static const uint16_t wide[] = {'h', 0xE9, 'x', 0};
  struct Case {
    const char* name;
    Formatter format;
    const char* expected;
  } cases[] = {
      {"d", [](char* b, size_t n) { return eth_format_text(b, n, "[%d]", -5); }, "[-5]"},
      {"u", [](char* b, size_t n) { return eth_format_text(b, n, "%u", 4000000000u); },
       "4000000000"},
      {"x", [](char* b, size_t n) { return eth_format_text(b, n, "%x/%X", 255, 255); }, "ff/FF"},
      {"c", [](char* b, size_t n) { return eth_format_text(b, n, "%c%c", 'A', 'z'); }, "Az"},
      {"l", [](char* b, size_t n) { return eth_format_text(b, n, "%l", -9000000000LL); },
       "-9000000000"},
      {"p", [](char* b, size_t n) { return eth_format_text(b, n, "%p", (void*)0x1234); }, "0x1234"},
      {"s high bytes",
       [](char* b, size_t n) { return eth_format_text(b, n, "%s", "a\xC3\xA9z\t"); },
       "a\\xC3\\xA9z\t"},
      {"s null", [](char* b, size_t n) { return eth_format_text(b, n, "%s", (char*)nullptr); },
       "null"},
      {"q nts", [](char* b, size_t n) { return eth_format_text(b, n, "%q", "ab\x80", -3); },
       "'ab\\x80'[SQL_NTS]"},
      {"q length", [](char* b, size_t n) { return eth_format_text(b, n, "%q", "abcdef", 3); },
       "'abc'[3]"},
      {"q null nts", [](char* b, size_t n) { return eth_format_text(b, n, "%q", nullptr, -3); },
       "(nul)[SQL_NTS]"},
      {"q null length", [](char* b, size_t n) { return eth_format_text(b, n, "%q", nullptr, 5); },
       "(nul)[5]"},
      {"Q nts", [](char* b, size_t n) { return eth_format_text(b, n, "%Q", wide, -3); },
       "'h\\x00E9x'[SQL_NTS]"},
      {"T length", [](char* b, size_t n) { return eth_format_text(b, n, "%T", wide, 2); },
       "'h\\x00E9'[2]"},
      {"S length", [](char* b, size_t n) { return eth_format_text(b, n, "%S", 3, "abcdef"); },
       "abc"},
      {"S nul", [](char* b, size_t n) { return eth_format_text(b, n, "%S", 9, "ab\0cd"); }, "ab"},
      {"S null", [](char* b, size_t n) { return eth_format_text(b, n, "%S", 3, nullptr); },
       "(nul)"},
      {"r",
       [](char* b, size_t n) { return eth_format_text(b, n, "%r %r %r %r %r", -1, 0, 1, 100, -2); },
       "SQL_ERROR SQL_SUCCESS SQL_SUCCESS_WITH_INFO SQL_NO_DATA -2"},
      {"unknown letter", [](char* b, size_t n) { return eth_format_text(b, n, "a%kb%d", 5); },
       "ab5"},
      {"percent", [](char* b, size_t n) { return eth_format_text(b, n, "100%% %"); }, "100% %"},
      {"null format", [](char* b, size_t n) { return eth_format_text(b, n, nullptr); }, "null"},
  };
  for (const Case& c : cases) {
    char buffer[ETH_LOG_RECORD_SIZE];
    int written = c.format(buffer, sizeof buffer);
    EXPECT_STREQ(c.expected, buffer) << c.name;
    EXPECT_EQ(strlen(c.expected), static_cast<size_t>(written)) << c.name;
  }
}

TEST(EthLogFormat, CutsNearTheCapacity) {
  const std::string long_text(100, 'x');
  const std::string long_format(100, 'z');
  struct Case {
    const char* name;
    size_t capacity;
    Formatter format;
    std::string expected;
  } cases[] = {
      // 49 places: the text stops when 20 remain.
      {"s", 50, [&](char* b, size_t n) { return eth_format_text(b, n, "%s!", long_text.c_str()); },
       std::string(29, 'x') + "..."},
      {"q", 60,
       [&](char* b, size_t n) { return eth_format_text(b, n, "%q", long_text.c_str(), -3); },
       "'" + std::string(38, 'x') + "...'[SQL_NTS]"},
      {"q length", 60,
       [&](char* b, size_t n) { return eth_format_text(b, n, "%q", long_text.c_str(), 100); },
       "'" + std::string(38, 'x') + "...'[100]"},
      {"Q", 60,
       [&](char* b, size_t n) {
         static const std::u16string wide(100, u'y');
         return eth_format_text(b, n, "%Q", wide.c_str(), -3);
       },
       "'" + std::string(38, 'y') + "...'[SQL_NTS]"},
      {"S", 50,
       [&](char* b, size_t n) { return eth_format_text(b, n, "%S", 100, long_text.c_str()); },
       std::string(29, 'x') + "..."},
      // An uncut counted buffer still gets the marker when fewer than 40 places remain.
      {"S short", 45, [&](char* b, size_t n) { return eth_format_text(b, n, "%S", 5, "abcde"); },
       "abcde..."},
      {"literal", 40, [&](char* b, size_t n) { return eth_format_text(b, n, long_format.c_str()); },
       std::string(19, 'z') + "..."},
      {"escape does not split", 30,
       [&](char* b, size_t n) { return eth_format_text(b, n, "%s", "abcdefg\xFF\xFF"); },
       "abcdefg..."},
      {"tiny", 5, [&](char* b, size_t n) { return eth_format_text(b, n, "hello"); }, "..."},
      {"one", 1, [&](char* b, size_t n) { return eth_format_text(b, n, "hello"); }, ""},
  };
  for (const Case& c : cases) {
    std::string buffer(c.capacity + 8, '#');
    int written = c.format(buffer.data(), c.capacity);
    EXPECT_EQ(c.expected, std::string(buffer.c_str())) << c.name;
    EXPECT_EQ(c.expected.size(), static_cast<size_t>(written)) << c.name;
    EXPECT_EQ('#', buffer[c.capacity]) << c.name << ": wrote past the capacity";
  }
  EXPECT_EQ(0, eth_format_text(nullptr, 10, "x"));
}

TEST_F(EthLog, HugeRecordIsCutWithinTheRecordSize) {
  context.log.mode = ETH_LOG_DETAIL;
  std::string huge(1 << 20, 'h');
  eth_log(&context, "eth_response.cpp", 5, ETH_LOG_DETAIL, "body %s tail", huge.c_str());
  std::string text = log_text();
  ASSERT_FALSE(text.empty());
  EXPECT_LT(text.size(), ETH_LOG_RECORD_SIZE + 1);
  EXPECT_EQ("...\n", text.substr(text.size() - 4));
  EXPECT_EQ(std::string::npos, text.find("tail"));
}

TEST_F(EthLog, ProcessModeNamesFilesByProcessAndThread) {
  context.log.mode = eth_log_mode_from_option("process");
  eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_ENTRY, "to my own file");
  std::string name = path + "." + hex8(getpid()) + "." + hex8(gettid());
  EXPECT_EQ(name, eth_log_file_name(path, true));
  EXPECT_EQ(path, eth_log_file_name(path, false));
  EXPECT_TRUE(std::regex_search(name, std::regex("\\.[0-9A-F]{8}\\.[0-9A-F]{8}$")));
  EXPECT_FALSE(file_exists(path));
  EXPECT_NE(std::string::npos, read_file(name).find("ENTRY:\t to my own file"));
  unlink(name.c_str());
}

std::string banner(const char* title) {
  std::string stars(100, '*');
  std::string blank = "*" + std::string(98, ' ') + "*";
  std::string middle = title;
  middle += std::string(99 - middle.size(), ' ') + "*";
  return stars + "\n" + blank + "\n" + middle + "\n" + blank + "\n" + stars + "\n";
}

TEST_F(EthLog, OnErrorHoldsRecordsUntilAnErrorRecord) {
  context.log.mode = eth_log_mode_from_option("onerror");
  eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_ENTRY, "first");
  eth_log(&context, "eth_sqi.cpp", 2, ETH_LOG_CONTINUATION, "second");
  eth_log(&context, "eth_sqi.cpp", 3, ETH_LOG_EXIT, "third");
  EXPECT_FALSE(file_exists(path));
  EXPECT_EQ(3u, eth_log_ring_size());

  eth_log(&context, "eth_sqi.cpp", 4, ETH_LOG_ERROR, "failed");
  std::string text = log_text();
  const std::string start = banner("*   Start of log dump");
  const std::string end = banner("*   End of log dump");
  ASSERT_EQ(start, text.substr(0, start.size()));
  ASSERT_GE(text.size(), start.size() + end.size());
  EXPECT_EQ(end, text.substr(text.size() - end.size()));
  std::string held = text.substr(start.size(), text.size() - start.size() - end.size());
  EXPECT_TRUE(std::regex_match(held, std::regex("QUILLODBC:[^\n]*\n\t\tENTRY:\t first\n"
                                                "\t\t\\[TID=[0-9A-F]+\\]\\+\t second\n"
                                                "QUILLODBC:[^\n]*\n\t\tEXIT:\t third\n"
                                                "QUILLODBC:[^\n]*\n\t\tERROR:\t failed\n")))
      << held;
  EXPECT_EQ(0u, eth_log_ring_size());

  // The ring starts over: later records wait for the next error.
  eth_log(&context, "eth_sqi.cpp", 5, ETH_LOG_ENTRY, "later");
  EXPECT_EQ(text, log_text());
}

TEST_F(EthLog, RingKeepsTheNewestRecords) {
  context.log.mode = ETH_LOG_RING | ETH_LOG_DETAIL | ETH_LOG_ERROR;
  const int total = static_cast<int>(ETH_LOG_RING_SLOTS) + 1;
  for (int i = 1; i <= total; ++i)
    eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_CONTINUATION, "record %d", i);
  EXPECT_EQ(ETH_LOG_RING_SLOTS, eth_log_ring_size());
  EXPECT_FALSE(file_exists(path));

  eth_log(&context, "eth_sqi.cpp", 2, ETH_LOG_ERROR, "failed");
  std::string text = log_text();
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  // Banners, the newest continuation records and the error record (two lines).
  EXPECT_EQ(10 + (ETH_LOG_RING_SLOTS - 1) + 2, lines);
  EXPECT_EQ(std::string::npos, text.find("record 1\n"));
  EXPECT_EQ(std::string::npos, text.find("record 2\n"));
  size_t first = text.find("record 3\n");
  ASSERT_NE(std::string::npos, first);
  EXPECT_LT(first, text.find("record 4\n"));
  EXPECT_LT(text.find("record 100001\n"), text.find("ERROR:\t failed"));
}

TEST_F(EthLog, ThreadsShareTheRingWithoutLosingRecords) {
  context.log.mode = eth_log_mode_from_option("onerror");
  EthHttpContext other;
  other.log.mode = context.log.mode;
  other.log.file = path + ".other";
  // The ring writes where its first user logs.
  eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_ENTRY, "first");
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&, t] {
      for (int i = 0; i < 250; ++i)
        eth_log(t % 2 ? &other : &context, "eth_sqi.cpp", t, ETH_LOG_CONTINUATION, "r");
    });
  for (std::thread& thread : threads) thread.join();
  EXPECT_EQ(1001u, eth_log_ring_size());
  eth_log(&other, "eth_sqi.cpp", 9, ETH_LOG_ERROR, "failed");
  std::string text = log_text();
  size_t lines = 0;
  for (char c : text) lines += c == '\n';
  EXPECT_EQ(10u + 2u + 1000u + 2u, lines);
  EXPECT_FALSE(file_exists(other.log.file));
}

TEST_F(EthLog, ByteDumpLayout) {
  context.log.mode = ETH_LOG_PKTDUMP;
  unsigned char bytes[20];
  for (int i = 0; i < 16; ++i) bytes[i] = static_cast<unsigned char>('0' + i);
  bytes[16] = '@';
  bytes[17] = 'A';
  bytes[18] = 0x7F;
  bytes[19] = '\n';
  const std::string indent = "\n          ";
  const std::string full_line =
      "30 31 32 33 34 35 36 37 38 39 3A 3B 3C 3D 3E 3F   0123456789:;<=>?";
  struct Case {
    size_t count;
    std::string tail;
  } cases[] = {
      {20,
       "sent\n"
       "          " +
           full_line + indent + "40 41 7F 0A " + std::string(36, ' ') + "  @A..\n\n"},
      {16, "sent" + indent + full_line + indent + "\n"},
      {1, "sent" + indent + "30 " + std::string(45, ' ') + "  0\n\n"},
      {0, "sent\n"},
  };
  for (const Case& c : cases) {
    unlink(path.c_str());
    eth_log_dump(&context, "eth_ssl.cpp", 9, ETH_LOG_PKTDUMP, bytes, c.count, "sent");
    std::string text = log_text();
    ASSERT_GE(text.size(), c.tail.size()) << c.count;
    EXPECT_EQ(c.tail, text.substr(text.size() - c.tail.size())) << c.count;
    EXPECT_NE(std::string::npos, text.find("\t\tPKTDUMP:\t sent")) << c.count;
  }
}

TEST_F(EthLog, SecretsNeverReachTheLog) {
  context.log.mode = 31;
  context.log.secrets[0] = "sk_live_KEY";
  context.log.secrets[2] = "pr0xyPass";
  const std::string key = "sk_live_KEY";
  struct Case {
    const char* name;
    std::function<void()> log;
    const char* shown;
  } cases[] = {
      {"s", [&] { eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_DETAIL, "key=%s;", key.c_str()); },
       "key=****;"},
      {"s inside",
       [&] {
         eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_DETAIL, "%s", "Bearer sk_live_KEY\xC3!");
       },
       "Bearer ****\\xC3!"},
      {"q", [&] { eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_DETAIL, "%q", key.c_str(), -3); },
       "'****'[SQL_NTS]"},
      {"S", [&] { eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_DETAIL, "%S", 20, "u:pr0xyPass"); },
       "u:****"},
      {"Q",
       [&] {
         static const std::u16string wide = u"k=sk_live_KEY";
         eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_DETAIL, "%Q", wide.c_str(), -3);
       },
       "'k=****'[SQL_NTS]"},
      {"format", [&] { eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_DETAIL, "sk_live_KEY"); },
       "****"},
      {"split", [&] { eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_DETAIL, "sk_live%s", "_KEY"); },
       "****"},
  };
  for (const Case& c : cases) {
    unlink(path.c_str());
    c.log();
    std::string text = log_text();
    EXPECT_NE(std::string::npos, text.find(c.shown)) << c.name << ": " << text;
    EXPECT_EQ(std::string::npos, text.find("sk_")) << c.name;
    EXPECT_EQ(std::string::npos, text.find("pr0xy")) << c.name;
  }

  // However a long text is cut, no part of a secret shows.
  for (size_t offset = 1900; offset < 2048; ++offset) {
    unlink(path.c_str());
    std::string text(offset, 'a');
    text += key + std::string(100, 'b');
    eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_DETAIL, "%s", text.c_str());
    EXPECT_EQ(std::string::npos, log_text().find("sk_")) << offset;
  }

  // A dump shows the masked bytes in both columns.
  unlink(path.c_str());
  context.log.mode = ETH_LOG_PKTDUMP;
  const std::string sent = "xpr0xyPassy";
  eth_log_dump(&context, "eth_connect.cpp", 2, ETH_LOG_PKTDUMP,
               reinterpret_cast<const unsigned char*>(sent.data()), sent.size(), "sent");
  std::string dump = log_text();
  EXPECT_NE(std::string::npos, dump.find("78 2A 2A 2A 2A 79 ")) << dump;
  EXPECT_NE(std::string::npos, dump.find("  x****y\n")) << dump;
  EXPECT_EQ(std::string::npos, dump.find("pr0xy"));
  EXPECT_EQ(std::string::npos, dump.find("70 72 30"));
}

TEST_F(EthLog, LogFileIsReadableByItsOwnerOnly) {
  context.log.mode = 31;
  mode_t previous = umask(0);
  eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_ENTRY, "private");
  umask(previous);
  struct stat info {};
  ASSERT_EQ(0, stat(path.c_str(), &info));
  EXPECT_EQ(0600u, info.st_mode & 0777u);
  // Records are appended, not overwritten.
  eth_log(&context, "eth_sqi.cpp", 2, ETH_LOG_ENTRY, "again");
  std::string text = log_text();
  EXPECT_LT(text.find("private"), text.find("again"));
}

// What is planted at the log's path before the first record: a symbolic link or a second
// hard link to another file (that file must stay untouched), a FIFO nobody reads (the
// record must not block), or an existing file of mode 0644 (tightened, then appended to).
TEST_F(EthLog, PlantedPathsAreRefusedAndExistingFilesTightened) {
  context.log.mode = 31;
  const std::string target = path + ".target";
  struct Case {
    const char* planted;
    bool written;  // the record lands in the log file itself
  } cases[] = {{"symlink", false}, {"hardlink", false}, {"fifo", false}, {"file0644", true}};
  for (const Case& c : cases) {
    unlink(path.c_str());
    unlink(target.c_str());
    { std::ofstream(target) << "victim\n"; }
    chmod(target.c_str(), 0644);
    std::string planted = c.planted;
    int made = planted == "symlink"    ? symlink(target.c_str(), path.c_str())
               : planted == "hardlink" ? link(target.c_str(), path.c_str())
               : planted == "fifo"     ? mkfifo(path.c_str(), 0600)
                                       : rename(target.c_str(), path.c_str());
    ASSERT_EQ(0, made) << c.planted;
    eth_log(&context, "eth_sqi.cpp", 1, ETH_LOG_ENTRY, "planted %s", c.planted);
    if (!c.written) {
      EXPECT_EQ("victim\n", read_file(target)) << c.planted;
    }
    struct stat info {};
    ASSERT_EQ(0, lstat(path.c_str(), &info)) << c.planted;
    if (c.written) {
      EXPECT_EQ(0600u, info.st_mode & 0777u);
      EXPECT_EQ(0u, log_text().find("victim\n"));
      EXPECT_NE(std::string::npos, log_text().find("planted file0644"));
    } else {
      EXPECT_FALSE(S_ISREG(info.st_mode) && info.st_nlink == 1) << c.planted;
    }
  }
  unlink(target.c_str());
}

}  // namespace
