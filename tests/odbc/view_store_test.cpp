// The view store: the keys a view takes in a keyed store (shown with a store kept in a map),
// creation from CREATE VIEW with its limits, lookup, removal, and the store without backing
// that finds nothing and refuses every creation.
#include "driver/backends/view_store.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>

#include "driver/sql/parser.h"
#include "driver/sql/sqlgen.h"

namespace {

// A store kept in memory; `fail_after` writes succeed, then every write fails.
struct MapStore {
  std::map<std::tuple<std::string, std::string, std::string>, std::string> values;
  int fail_after = 1 << 30;

  SchemaStore store() { return SchemaStore{this, write, read, remove}; }
  static int write(void* context, const std::string& section, const std::string& entry,
                   const std::string& key, const std::string& value) {
    auto* self = static_cast<MapStore*>(context);
    if (self->fail_after-- <= 0) return -1;
    self->values[{section, entry, key}] = value;
    return 0;
  }
  static int read(void* context, const std::string& section, const std::string& entry,
                  const std::string& key, std::string* value) {
    auto* self = static_cast<MapStore*>(context);
    auto it = self->values.find({section, entry, key});
    if (it == self->values.end()) return -1;
    *value = it->second;
    return 0;
  }
  static int remove(void* context, const std::string& section, const std::string& entry) {
    auto* self = static_cast<MapStore*>(context);
    std::erase_if(self->values, [&](const auto& item) {
      return std::get<0>(item.first) == section && std::get<1>(item.first) == entry;
    });
    return 0;
  }
};

class ViewStore : public ::testing::Test {
 protected:
  void SetUp() override {
    pool = quill_mem_alloc_handle(nullptr);
    errors = CreateErrorHeader(pool, nullptr);
    SetupErrorHeader(errors, 0);
  }
  void TearDown() override { quill_mem_release_handle(pool); }
  // The first diagnostic as "STATE message", "" when none.
  std::string diag() {
    SQLCHAR state[6] = {0}, text[512] = {0};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (GetDiagRec(errors, 1, state, &native, text, sizeof text, &length) != SQL_SUCCESS) return "";
    return std::string(reinterpret_cast<char*>(state)) + " " + reinterpret_cast<char*>(text);
  }
  // CREATE VIEW `sql` parsed, its query printed by the engine and written to `store`.
  int create(const SchemaStore* store, std::string sql) {
    ParseContext* parse = parse_context_create(pool);
    if (sql_parse(parse, sql.data()) != 0) return -2;
    auto* node = static_cast<const CreateViewNode*>(parse_statements(parse)->data);
    auto text = [](const NameNode* name) {
      return std::string(name && name->text ? name->text : "");
    };
    std::vector<std::string> names;
    for (ListNode* at = node->columns; at; at = at->next)
      names.push_back(text(static_cast<const NameNode*>(at->data)));
    ViewName view{text(node->view->catalog), text(node->view->schema), text(node->view->table)};
    return view_store_create(store, errors, view, sql_node_text(node->query), names);
  }

  MemPool* pool = nullptr;
  ErrorHeader* errors = nullptr;
};

TEST_F(ViewStore, CreateViewWritesItsEntryAndReadsBack) {
  MapStore map;
  SchemaStore store = map.store();
  ASSERT_EQ(0, create(&store, "CREATE VIEW sch.v (x, y) AS SELECT a, b FROM t WHERE a > 1"))
      << diag();
  const std::string entry = "$$NONAME$$.SCH.V";
  EXPECT_EQ(4u, map.values.size());
  EXPECT_EQ("2", (map.values[{"views", entry, "name_count"}]));
  EXPECT_EQ("X", (map.values[{"views", entry, "name_0"}]));
  EXPECT_EQ("Y", (map.values[{"views", entry, "name_1"}]));
  const std::string query = map.values[{"views", entry, "query"}];
  EXPECT_NE(std::string::npos, query.find("SELECT")) << query;
  EXPECT_NE(std::string::npos, query.find("WHERE")) << query;

  ViewDefinition found;
  ASSERT_TRUE(view_store_find(&store, ViewName{"", "SCH", "V"}, &found));
  EXPECT_EQ(query, found.query);
  EXPECT_EQ((std::vector<std::string>{"X", "Y"}), found.names);
  EXPECT_FALSE(view_store_find(&store, ViewName{"", "", "V"}, &found));
  EXPECT_EQ(0, view_store_drop(&store, ViewName{"", "SCH", "V"}));
  EXPECT_TRUE(map.values.empty());
}

TEST_F(ViewStore, CreationLimitsAndStoreFailures) {
  std::string long_query = "SELECT a FROM t WHERE b = '" + std::string(16400, 'z') + "'";
  std::string many = "CREATE VIEW v (";
  for (int i = 0; i <= VIEW_NAMES_MAX; ++i) many += (i ? ", c" : "c") + std::to_string(i);
  many += ") AS SELECT a FROM t";
  struct Case {
    std::string sql;
    int fail_after;  // writes the store takes before it fails
    const char* message;
  } cases[] = {
      {"CREATE VIEW v AS " + long_query, 1 << 30,
       "HY000 General error: Unable to create view, query to large"},
      {many, 1 << 30, "HY000 General error: Unable to create view, too many names"},
      {"CREATE VIEW v (x) AS SELECT a FROM t", 2, "HY000 General error: Unable to create view"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    SetupErrorHeader(errors, 0);
    MapStore map;
    map.fail_after = c.fail_after;
    SchemaStore store = map.store();
    EXPECT_EQ(-1, create(&store, c.sql));
    EXPECT_EQ(c.message, diag());
    EXPECT_TRUE(map.values.empty());  // nothing of the view is left behind
  }
}

// This system's store has no backing: no view is found and none can be made.
TEST_F(ViewStore, UnbackedStoreKnowsNoView) {
  ViewDefinition found;
  EXPECT_FALSE(view_store_find(view_store_unbacked(), ViewName{"", "", "V"}, &found));
  EXPECT_EQ(-1, create(view_store_unbacked(), "CREATE VIEW v AS SELECT a FROM t"));
  EXPECT_EQ("HY000 General error: Unable to create view", diag());
  EXPECT_EQ(-1, view_store_drop(view_store_unbacked(), ViewName{"", "", "V"}));
}

}  // namespace
