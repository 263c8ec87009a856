// Connection-string parsing, lookup, editing and generation, with round trips.
#include "support/connstr.h"

#include <gtest/gtest.h>
#include <sql.h>

#include <cstring>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Pairs = std::vector<std::pair<std::string, std::string>>;

class ConnStrTest : public ::testing::Test {
 protected:
  void SetUp() override {
    pool_ = quill_mem_alloc_handle(nullptr);
    init_con_str(&set_, pool_);
  }
  void TearDown() override { quill_mem_release_handle(pool_); }

  Pairs pairs() const {
    Pairs out;
    for (ListNode* node = ListFirst(set_.pairs); node; node = ListNext(node)) {
      auto* pair = static_cast<ConnAttrPair*>(ListData(node));
      out.emplace_back(pair->key, pair->value);
    }
    return out;
  }
  std::string generate() const {
    int length = generate_connection_string(&set_, nullptr, 0);
    std::string out(static_cast<size_t>(length) + 1, '\0');
    EXPECT_EQ(generate_connection_string(&set_, out.data(), length + 1), length);
    out.resize(static_cast<size_t>(length));
    return out;
  }

  MemPool* pool_ = nullptr;
  ConnAttrSet set_{};
};

struct ParseCase {
  const char* text;
  Pairs expected;
};

TEST_F(ConnStrTest, ParsesWellFormedStrings) {
  const ParseCase cases[] = {
      {"", {}},
      {" ; ;; ", {}},
      {"DSN=eth", {{"DSN", "eth"}}},
      {"DSN=eth;UID=me;", {{"DSN", "eth"}, {"UID", "me"}}},
      {"  DSN  =  eth node  ; uid=x", {{"DSN", "eth node"}, {"uid", "x"}}},
      {"A=;B=  ;C={}", {{"A", ""}, {"B", ""}, {"C", ""}}},
      {"PWD={a;b=c}", {{"PWD", "a;b=c"}}},
      {"PWD={x}}y};Z=1", {{"PWD", "x}y"}, {"Z", "1"}}},
      {"PWD={}}}}}", {{"PWD", "}}"}}},
      {"PWD={ padded } ;N=2", {{"PWD", " padded "}, {"N", "2"}}},
      {"DRIVER={Quillmoor Ethereum ODBC Driver};uri=https://h:8545/?a=b",
       {{"DRIVER", "Quillmoor Ethereum ODBC Driver"}, {"uri", "https://h:8545/?a=b"}}},
      {"A=x{y}z", {{"A", "x{y}z"}}},
      {"A=1;a=2;B=3", {{"A", "1"}, {"B", "3"}}},  // the first occurrence wins
      {"Key With Space=v", {{"Key With Space", "v"}}},
      {"A=caf\xC3\xA9", {{"A", "caf\xC3\xA9"}}},
  };
  for (const ParseCase& c : cases) {
    SCOPED_TRACE(c.text);
    clear_con_str(&set_);
    ASSERT_EQ(parse_connection_string(c.text, nullptr, nullptr, SQL_NTS, &set_), 0);
    EXPECT_EQ(pairs(), c.expected);
  }
}

TEST_F(ConnStrTest, RejectsMalformedStringsAndLeavesSetAlone) {
  const char* cases[] = {
      "PWD={abc",        // unterminated brace
      "PWD={abc}};X=1",  // "}}" is an escaped brace, so still unterminated
      "DSN",             // no '='
      "DSN=a;UID",       // second pair without '='
      "=value",          // empty key
      "  =value",        // blank key
      "A={x}y;B=1",      // text after the closing brace
      "A=1;B;C=2",
  };
  ASSERT_EQ(append_pair(&set_, "KEEP", "me", pool_), 0);
  for (const char* text : cases) {
    SCOPED_TRACE(text);
    int calls = 0;
    auto count = [](void* context, const char*, const char*) {
      ++*static_cast<int*>(context);
      return 0;
    };
    EXPECT_EQ(parse_connection_string(text, count, &calls, SQL_NTS, &set_), -1);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(pairs(), (Pairs{{"KEEP", "me"}}));
  }
  EXPECT_EQ(parse_connection_string("A=1", nullptr, nullptr, -7, &set_), -1);
}

TEST_F(ConnStrTest, HonoursExplicitLengthAndNullText) {
  const char text[] = "DSN=abc;UID=zz";
  ASSERT_EQ(parse_connection_string(text, nullptr, nullptr, 6, &set_), 0);
  EXPECT_EQ(pairs(), (Pairs{{"DSN", "ab"}}));
  // A brace cut off by the length is unterminated.
  EXPECT_EQ(parse_connection_string("P={a;b}", nullptr, nullptr, 5, &set_), -1);
  EXPECT_EQ(parse_connection_string(nullptr, nullptr, nullptr, SQL_NTS, &set_), 0);
  EXPECT_EQ(parse_connection_string("A=1", nullptr, nullptr, 0, &set_), 0);
  EXPECT_EQ(count_pairs(&set_), 1);
}

TEST_F(ConnStrTest, CallbackSeesEveryPairAndCanSkip) {
  struct Seen {
    Pairs pairs;
  } seen;
  auto skip_pwd = [](void* context, const char* key, const char* value) {
    static_cast<Seen*>(context)->pairs.emplace_back(key, value);
    return std::strcmp(key, "PWD") == 0 ? 1 : 0;
  };
  ASSERT_EQ(parse_connection_string("UID=u;PWD={p;w};DSN=d", skip_pwd, &seen, SQL_NTS, &set_), 0);
  EXPECT_EQ(seen.pairs, (Pairs{{"UID", "u"}, {"PWD", "p;w"}, {"DSN", "d"}}));
  EXPECT_EQ(pairs(), (Pairs{{"UID", "u"}, {"DSN", "d"}}));
  // Without an owner the string is only checked and reported.
  seen.pairs.clear();
  EXPECT_EQ(parse_connection_string("X=1", skip_pwd, &seen, SQL_NTS, nullptr), 0);
  EXPECT_EQ(seen.pairs, (Pairs{{"X", "1"}}));
}

TEST_F(ConnStrTest, LookupIgnoresCaseAndEditsReplaceInPlace) {
  ASSERT_EQ(parse_connection_string("DSN=d;api_key=k1;URI=u", nullptr, nullptr, SQL_NTS, &set_), 0);
  EXPECT_STREQ(get_attribute_value(&set_, "API_KEY"), "k1");
  EXPECT_STREQ(get_attribute_value(&set_, "dsn"), "d");
  EXPECT_EQ(get_attribute_value(&set_, "PWD"), nullptr);
  EXPECT_EQ(get_attribute_value(nullptr, "DSN"), nullptr);
  EXPECT_EQ(get_attribute_value(&set_, nullptr), nullptr);

  // A later parse does not override what the set holds.
  ASSERT_EQ(parse_connection_string("DSN=other;PWD=p", nullptr, nullptr, SQL_NTS, &set_), 0);
  EXPECT_STREQ(get_attribute_value(&set_, "DSN"), "d");

  EXPECT_EQ(append_pair(&set_, "API_KEY", "k2", pool_), 0);
  EXPECT_EQ(append_pair(&set_, " Logging ", "yes", pool_), 0);
  EXPECT_EQ(append_pair(&set_, "Empty", nullptr, pool_), 0);
  EXPECT_EQ(pairs(), (Pairs{{"DSN", "d"},
                            {"api_key", "k2"},
                            {"URI", "u"},
                            {"PWD", "p"},
                            {"Logging", "yes"},
                            {"Empty", ""}}));
  const char* bad_keys[] = {"", "  ", "A=B", "A;B"};
  for (const char* key : bad_keys) EXPECT_EQ(append_pair(&set_, key, "v", pool_), -1) << key;
  EXPECT_EQ(append_pair(&set_, nullptr, "v", pool_), -1);

  EXPECT_EQ(remove_pair(&set_, "uri"), 0);
  EXPECT_EQ(remove_pair(&set_, "uri"), -1);
  EXPECT_EQ(remove_pair(&set_, "dsn"), 0);  // the head
  EXPECT_EQ(pairs(), (Pairs{{"api_key", "k2"}, {"PWD", "p"}, {"Logging", "yes"}, {"Empty", ""}}));
  EXPECT_EQ(append_pair(&set_, "DSN", "again", pool_), 0);
  EXPECT_EQ(pairs().back(), (std::pair<std::string, std::string>{"DSN", "again"}));
}

struct GenerateCase {
  Pairs input;
  const char* expected;
};

TEST_F(ConnStrTest, GeneratesBracesOnlyWhereNeeded) {
  const GenerateCase cases[] = {
      {{}, ""},
      {{{"DSN", "eth"}}, "DSN=eth"},
      {{{"DSN", "eth"}, {"UID", ""}}, "DSN=eth;UID="},
      {{{"PWD", "a;b"}}, "PWD={a;b}"},
      {{{"PWD", "a=b"}}, "PWD={a=b}"},
      {{{"PWD", "x}y"}}, "PWD={x}}y}"},
      {{{"PWD", "{x"}}, "PWD={{x}"},
      {{{"PWD", " lead"}, {"T", "trail\t"}}, "PWD={ lead};T={trail\t}"},
      {{{"DRIVER", "Quillmoor Ethereum ODBC Driver"}}, "DRIVER=Quillmoor Ethereum ODBC Driver"},
  };
  for (const GenerateCase& c : cases) {
    SCOPED_TRACE(c.expected);
    clear_con_str(&set_);
    for (const auto& [key, value] : c.input)
      ASSERT_EQ(append_pair(&set_, key.c_str(), value.c_str(), pool_), 0);
    std::string text = generate();
    EXPECT_EQ(text, c.expected);
    clear_con_str(&set_);
    ASSERT_EQ(parse_connection_string(text.c_str(), nullptr, nullptr, SQL_NTS, &set_), 0);
    EXPECT_EQ(pairs(), c.input);
  }
}

TEST_F(ConnStrTest, TruncatesSafelyAndReportsFullLength) {
  ASSERT_EQ(append_pair(&set_, "K", "ab\xC3\xA9z", pool_), 0);  // "K=ab" + e-acute + "z"
  const int full = 7;
  struct Case {
    int size;
    const char* expected;
  } cases[] = {{1, ""},     {3, "K="},           {5, "K=ab"},
               {6, "K=ab"}, {7, "K=ab\xC3\xA9"}, {8, "K=ab\xC3\xA9z"}};
  for (const Case& c : cases) {
    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(generate_connection_string(&set_, buffer, c.size), full) << c.size;
    EXPECT_STREQ(buffer, c.expected) << c.size;
  }
  EXPECT_EQ(generate_connection_string(&set_, nullptr, 0), full);
  EXPECT_EQ(generate_connection_string(nullptr, nullptr, 0), 0);
}

TEST_F(ConnStrTest, RandomSetsSurviveRoundTrip) {
  std::mt19937 random(12345);
  const char alphabet[] = "ab Z;={}}\t\xC3\xA9-_.:/";
  auto pick = [&](size_t max_length) {
    std::string out;
    size_t length = random() % (max_length + 1);
    for (size_t i = 0; i < length; ++i) out += alphabet[random() % (sizeof alphabet - 1)];
    return out;
  };
  for (int round = 0; round < 300; ++round) {
    clear_con_str(&set_);
    int count = static_cast<int>(random() % 5);
    for (int i = 0; i < count; ++i) {
      std::string key = "k" + std::to_string(i) + (random() % 2 ? "x y" : "");
      ASSERT_EQ(append_pair(&set_, key.c_str(), pick(12).c_str(), pool_), 0);
    }
    Pairs before = pairs();
    std::string text = generate();
    clear_con_str(&set_);
    ASSERT_EQ(parse_connection_string(text.c_str(), nullptr, nullptr, SQL_NTS, &set_), 0) << text;
    EXPECT_EQ(pairs(), before) << text;
  }
}

}  // namespace
