// The process-wide cursor-name registry: uniqueness per connection, case rules,
// replacement, removal and concurrent use.
#include "support/cursor_names.h"

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

// Distinct fake handles; the registry only compares addresses.
int g_connections[2];
int g_statements[4];
void* connection(int i) {
  return &g_connections[i];
}
void* statement(int i) {
  return &g_statements[i];
}

class CursorNamesTest : public ::testing::Test {
 protected:
  void TearDown() override {
    remove_connection_cursor_names(connection(0));
    remove_connection_cursor_names(connection(1));
  }
};

TEST_F(CursorNamesTest, GeneratedNamesAreUniqueAndPrefixed) {
  std::set<std::string> names;
  for (int i = 0; i < 100; ++i) {
    char buffer[32];
    generate_cursor_name(statement(0), buffer, sizeof buffer);
    EXPECT_EQ(std::strncmp(buffer, "SQL_CUR", 7), 0) << buffer;
    EXPECT_GT(std::strlen(buffer), 7u);
    names.insert(buffer);
  }
  EXPECT_EQ(names.size(), 100u);

  char tiny[5];
  generate_cursor_name(statement(0), tiny, sizeof tiny);
  EXPECT_STREQ(tiny, "SQL_");
  generate_cursor_name(statement(0), nullptr, 10);  // ignored
}

TEST_F(CursorNamesTest, DuplicatesAreRefusedPerConnectionWithoutRegardToCase) {
  EXPECT_EQ(insert_cursor_name(connection(0), statement(0), "Orders"), 0);
  EXPECT_EQ(insert_cursor_name(connection(0), statement(1), "ORDERS"), -1);
  EXPECT_EQ(get_cursor_name(statement(1)), nullptr);
  // Another connection may use the same name.
  EXPECT_EQ(insert_cursor_name(connection(1), statement(2), "orders"), 0);
  // Re-registering its own name is fine.
  EXPECT_EQ(insert_cursor_name(connection(0), statement(0), "orders"), 0);

  EXPECT_EQ(get_stmt_by_cursor(connection(0), "ORDERS"), statement(0));
  EXPECT_EQ(get_stmt_by_cursor(connection(1), "Orders"), statement(2));
  EXPECT_EQ(get_stmt_by_cursor(connection(0), "other"), nullptr);
  EXPECT_EQ(get_stmt_by_cursor(connection(0), nullptr), nullptr);
}

TEST_F(CursorNamesTest, RenameFreesTheOldName) {
  ASSERT_EQ(insert_cursor_name(connection(0), statement(0), "first"), 0);
  ASSERT_EQ(insert_cursor_name(connection(0), statement(0), "second"), 0);
  EXPECT_STREQ(get_cursor_name(statement(0)), "second");
  EXPECT_EQ(get_stmt_by_cursor(connection(0), "first"), nullptr);
  EXPECT_EQ(insert_cursor_name(connection(0), statement(1), "first"), 0);
}

TEST_F(CursorNamesTest, RemoveOnlyMatchingName) {
  ASSERT_EQ(insert_cursor_name(connection(0), statement(0), "Cur"), 0);
  remove_cursor_name(statement(0), "other");
  EXPECT_STREQ(get_cursor_name(statement(0)), "Cur");
  // The free path passes the registry's own text back in.
  remove_cursor_name(statement(0), get_cursor_name(statement(0)));
  EXPECT_EQ(get_cursor_name(statement(0)), nullptr);
  EXPECT_EQ(get_stmt_by_cursor(connection(0), "cur"), nullptr);
  remove_cursor_name(statement(0), "Cur");  // nothing left: harmless

  ASSERT_EQ(insert_cursor_name(connection(0), statement(1), "x"), 0);
  remove_cursor_name(statement(1), nullptr);
  EXPECT_EQ(get_cursor_name(statement(1)), nullptr);
}

TEST_F(CursorNamesTest, BadArgumentsAreRefused) {
  EXPECT_EQ(insert_cursor_name(nullptr, statement(0), "a"), -1);
  EXPECT_EQ(insert_cursor_name(connection(0), nullptr, "a"), -1);
  EXPECT_EQ(insert_cursor_name(connection(0), statement(0), nullptr), -1);
  EXPECT_EQ(insert_cursor_name(connection(0), statement(0), ""), -1);
  EXPECT_EQ(get_cursor_name(nullptr), nullptr);
}

TEST_F(CursorNamesTest, ConcurrentInsertsYieldOneOwnerPerName) {
  constexpr int kThreads = 4, kNames = 200;
  static int stmts[kThreads][kNames];
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([t] {
      for (int n = 0; n < kNames; ++n)
        insert_cursor_name(connection(1), &stmts[t][n], ("c" + std::to_string(n)).c_str());
    });
  for (auto& thread : threads) thread.join();
  for (int n = 0; n < kNames; ++n) {
    std::string name = "c" + std::to_string(n);
    void* owner = get_stmt_by_cursor(connection(1), name.c_str());
    ASSERT_NE(owner, nullptr);
    int holders = 0;
    for (int t = 0; t < kThreads; ++t) {
      const char* held = get_cursor_name(&stmts[t][n]);
      if (held) {
        ++holders;
        EXPECT_EQ(owner, &stmts[t][n]);
      }
    }
    EXPECT_EQ(holders, 1) << name;
  }
}

}  // namespace
