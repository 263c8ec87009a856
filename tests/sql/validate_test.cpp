// Semantic validation against a scripted catalog (tables with keys, a view, a pass-through
// backend) and against the Ethereum backend's own catalog: the "validate" check of the case
// files (tests/sql/cases/validate), and the plan shapes the case files cannot express.
#include <gtest/gtest.h>
#include <strings.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "driver/backends/builtin_backends.h"
#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/statement/stmt_engine.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"
#include "support/cursor_names.h"
#include "tests/sql/case_file.h"

namespace {

struct FakeColumn {
  const char* name;
  int sql_type;
  int length;
};
struct FakeTable {
  const char* name;
  std::vector<FakeColumn> columns;
  std::vector<std::pair<const char*, int>> keys;  // name and position code
};

// The main catalog (list index 2, no pass-through).
const std::vector<FakeTable> kTables = {
    {"T1",
     {{"A", SQL_INTEGER, 10},
      {"B", SQL_VARCHAR, 20},
      {"NAME", SQL_VARCHAR, 30},
      {"N", SQL_INTEGER, 10},
      {"D", SQL_TYPE_DATE, 10},
      {"I", SQL_INTERVAL_DAY, 5}},
     {{"A", 1}}},
    {"T2", {{"A", SQL_INTEGER, 10}, {"C", SQL_DOUBLE, 15}}, {{"A", 1}}},
    {"T3", {{"X", SQL_INTEGER, 10}, {"Y", SQL_VARCHAR, 10}}, {{"X", 1}}},
    {"NOKEY", {{"K", SQL_INTEGER, 10}}, {}},
    {"BADKEY", {{"K", SQL_INTEGER, 10}}, {{"NOSUCH", 1}}},
    {"ROWID", {{"K", SQL_INTEGER, 10}}, {{"", -3}}},
    {"PKFAIL", {{"K", SQL_INTEGER, 10}}, {{"!fail", 1}}},  // DALGetPKInfo fails
};
const std::vector<FakeTable> kViews = {{"V1", {{"A", SQL_INTEGER, 10}}, {}}};
const std::vector<FakeTable> kPassThrough = {{"PT1", {{"P", SQL_INTEGER, 10}}, {}}};

const FakeTable* find(const std::vector<FakeTable>& tables, const char* name) {
  for (const FakeTable& table : tables)
    if (strcasecmp(table.name, name) == 0) return &table;
  return nullptr;
}

template <const std::vector<FakeTable>* Tables>
int describe_table(SqiEnv, const char* name, DalTable* out) {
  const FakeTable* table = find(*Tables, name);
  if (!table) return SQI_NOT_FOUND;
  std::snprintf(out->name, sizeof out->name, "%s", table->name);
  std::snprintf(out->schema, sizeof out->schema, "S");
  out->column_count = static_cast<int>(table->columns.size());
  out->pk_count = static_cast<int>(table->keys.size());
  out->backend_table = table;
  return SQI_OK;
}
int describe_columns(SqiEnv, const DalTable* described, int count, DalColumn* out) {
  auto* table = static_cast<const FakeTable*>(described->backend_table);
  for (int c = 0; c < count; ++c) {
    out[c] = DalColumn{};
    std::snprintf(out[c].name, sizeof out[c].name, "%s", table->columns[c].name);
    out[c].number = c + 1;
    out[c].sql_type = table->columns[c].sql_type;
    out[c].length = table->columns[c].length;
    out[c].nullable = SQL_NULLABLE;
  }
  return SQI_OK;
}
int pk_info(SqiEnv, const DalTable* described, DalKeyColumn* out, int capacity, int* count) {
  auto* table = static_cast<const FakeTable*>(described->backend_table);
  *count = 0;
  if (!table->keys.empty() && std::strcmp(table->keys[0].first, "!fail") == 0) return SQI_ERROR;
  for (const auto& [name, number] : table->keys)
    if (*count < capacity) {
      std::snprintf(out[*count].name, sizeof out[*count].name, "%s", name);
      out[(*count)++].number = number;
    }
  return SQI_OK;
}
int ok_env(void*, SqiEnv* out, SqiService, const char*) {
  *out = nullptr;
  return SQI_OK;
}
int ok_connect(SqiEnv, ConnAttrSet*, void*, char* out, int) {
  out[0] = '\0';
  return SQI_OK;
}
int ok_free(SqiEnv) {
  return SQI_OK;
}
int exec_sql(SqiStmt, const char*, void*, int, void*) {
  return SQI_OK;
}

SqiOperations make_main() {
  SqiOperations ops{};
  ops.alloc_env = ok_env;
  ops.free_env = ok_free;
  ops.connect = ok_connect;
  ops.disconnect = ok_free;
  ops.describe_table = describe_table<&kTables>;
  ops.describe_columns = describe_columns;
  ops.get_pk_info = pk_info;
  return ops;
}
SqiOperations make_over(const SqiOperations* base, int (*describe)(SqiEnv, const char*, DalTable*),
                        bool passthrough) {
  SqiOperations ops = *base;
  ops.describe_table = describe;
  ops.describe_columns = describe_columns;
  ops.get_pk_info = pk_info;
  ops.exec_sql = passthrough ? exec_sql : nullptr;
  return ops;
}
const SqiOperations kMainOps = make_main();

// A data-access context on the scripted catalog or on the Ethereum backend.
class Catalog {
 public:
  explicit Catalog(bool ethereum) {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    dal_ = dal_create(nullptr, errors_);
    static const SqiOperations views =
        make_over(view_store_operations(), describe_table<&kViews>, false);
    static const SqiOperations pass =
        make_over(info_schema_operations(), describe_table<&kPassThrough>, true);
    if (!ethereum) dal_->backends[2] = &kMainOps;
    ConnAttrSet attributes;
    init_con_str(&attributes, pool_);
    open_ = parse_connection_string("URI=http://127.0.0.1:9;connect_probe=no", nullptr, nullptr,
                                    SQL_NTS, &attributes) == 0 &&
            DALOpen(dal_, &attributes, nullptr) == SQI_OK;
    if (open_ && !ethereum) {
      dal_->entries[0].ops = &views;
      dal_->entries[1].ops = &pass;
    }
  }
  ~Catalog() {
    dal_destroy(dal_);
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }
  bool open() const { return open_; }
  Dal* dal() { return dal_; }
  ErrorHeader* errors() { return errors_; }

 private:
  MemPool* pool_;
  ErrorHeader* errors_;
  Dal* dal_;
  bool open_ = false;
};

// One validation: parse, validate, keep the plans until destroyed.
struct Validation {
  ParseContext* parse = parse_context_create(nullptr);
  StatementPlanList* plans = nullptr;
  int rc = -2;
  std::string state, message, origin;

  Validation(Catalog& catalog, std::string text, void* connection = nullptr) {
    if (sql_parse(parse, text.data()) != 0) {
      message = std::string("parse failed: ") + parse_message(parse);
      return;
    }
    QuillStmt handle{};  // asks the statement layer about cursors, as a prepare does
    StatementContext statement = stmt_engine_context(&handle);
    ValidateTarget target{catalog.dal(), catalog.errors(), parse_pool(parse),
                          connection,    &statement,       3};
    SetupErrorHeader(catalog.errors(), 0);
    rc = validate_statements(target, parse_statements(parse), &plans);
    if (rc == 0) return;
    SQLCHAR sqlstate[6] = {0};
    SQLCHAR text_out[600] = {0};
    GetDiagRec(catalog.errors(), 1, sqlstate, nullptr, text_out, sizeof text_out, nullptr);
    state = reinterpret_cast<char*>(sqlstate);
    message = reinterpret_cast<char*>(text_out);
    ListNode* first = ListFirst(catalog.errors()->records);
    if (first) origin = static_cast<DiagRecord*>(first->data)->class_origin;
  }
  ~Validation() { parse_context_free(parse); }
  PlanRecord* plan(int index = 0) {
    ListNode* at = plans ? plans->entries : nullptr;
    for (int i = 0; at && i < index; ++i) at = at->next;
    return at ? static_cast<StatementEntry*>(at->data)->plan : nullptr;
  }
  QueryPlan* query(int index = 0) { return reinterpret_cast<QueryPlan*>(plan(index)); }
  // What the data files compare: "ok", "types ...", "params ..." or "error STATE text".
  std::string outcome(const std::string& wanted_kind) {
    if (rc != 0) return "error " + state + " " + message;
    std::ostringstream out;
    out << wanted_kind;
    if (wanted_kind == "types") {
      PlanRecord* first = plan();
      if (!first || first->kind != PLAN_QUERY) return "no query plan";
      for (int i = 0; i < query()->item_count; ++i) out << " " << query()->items[i].sql_type;
    } else if (wanted_kind == "params") {
      auto* entry = static_cast<StatementEntry*>(plans->entries->data);
      for (ListNode* at = entry->parameters; at; at = at->next)
        out << " " << static_cast<ParameterEntry*>(at->data)->sql_type;
    }
    return out.str();
  }
};

// The "validate" check of the case files: each case's statement is validated against the
// scripted catalog, or against the Ethereum backend's after "set catalog ethereum". A case
// expects "ok", "types T1 T2 ..." (the SQL types of the first plan's select list), "params
// T1 ..." (the types given to the `?` markers, in text order) or an error.
class ValidateCases : public CaseCheck {
 public:
  bool apply(const CaseSetting& setting, std::string* error) override {
    if (setting.word != "set" || setting.text.rfind("catalog ", 0) != 0) {
      *error = "unknown setting " + setting.text;
      return false;
    }
    if (catalog_) {
      *error = "the catalog is chosen before the first case";
      return false;
    }
    std::string name = setting.text.substr(8);
    if (name != "ethereum" && name != "scripted") {
      *error = "unknown catalog " + name;
      return false;
    }
    ethereum_ = name == "ethereum";
    return true;
  }

  CaseOutcome run(const SqlCase& c) override {
    for (const CaseLine& line : c.extras) fail_unknown_case_line(c, line);
    if (!catalog_) catalog_ = std::make_unique<Catalog>(ethereum_);
    if (!catalog_->open()) return case_outcome_from_line("error catalog did not open");
    Validation run(*catalog_, c.input);
    std::string expected = c.expected_line();
    return case_outcome_from_line(run.outcome(expected.substr(0, expected.find(' '))));
  }

 private:
  bool ethereum_ = false;
  std::unique_ptr<Catalog> catalog_;
};

[[maybe_unused]] const bool kValidateCasesRegistered =
    register_case_check("validate", [] { return std::make_unique<ValidateCases>(); });

TEST(ValidatePlans, ErrorsUseTheirReportingForms) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  const struct {
    const char* sql;
    const char* origin;
  } cases[] = {
      {"SELECT a FROM nosuch", "ISO 9075"},
      {"UPDATE v1 SET a = 1", "ISO 9075"},
      {"SELECT zz FROM t1", "ODBC3.0"},
      {"GRANT SELECT ON t1 TO PUBLIC", "ODBC3.0"},
  };
  for (const auto& c : cases) {
    Validation run(catalog, c.sql);
    EXPECT_EQ(-1, run.rc) << c.sql;
    EXPECT_EQ(c.origin, run.origin) << c.sql;
    EXPECT_EQ(SQL_ERROR, GetReturnCode(catalog.errors())) << c.sql;
  }
}

TEST(ValidatePlans, FailingSecondStatementLeavesOnlyTheFirstPlan) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  Validation run(catalog, "SELECT a FROM t1; SELECT zz FROM t1; SELECT a FROM t2");
  EXPECT_EQ(-1, run.rc);
  ASSERT_NE(nullptr, run.plans);
  EXPECT_EQ(1, ListCount(run.plans->entries));
  EXPECT_EQ(PLAN_QUERY, run.plan(0)->kind);
}

TEST(ValidatePlans, CorrelatedSubqueryIsRecordedOnBothPlans) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  Validation run(catalog, "SELECT a FROM t1 WHERE EXISTS (SELECT c FROM t2 WHERE t2.a = t1.n)");
  ASSERT_EQ(0, run.rc) << run.message;
  QueryPlan* outer = run.query();
  ASSERT_EQ(1, ListCount(outer->subqueries));
  QueryPlan* inner = static_cast<SubqueryLink*>(outer->subqueries->data)->plan;
  EXPECT_EQ(outer, inner->outer);
  ASSERT_EQ(1, ListCount(outer->dependent_subqueries));
  EXPECT_EQ(inner, outer->dependent_subqueries->data);
  ASSERT_EQ(1, ListCount(inner->outer_references));
  auto* reference = static_cast<OuterReference*>(inner->outer_references->data);
  EXPECT_EQ(outer, reference->outer);
  EXPECT_STREQ("N", reference->table->columns[reference->column_number].name);
  EXPECT_EQ(1, reference->table->column_used[reference->column_number]);  // read by the outer
}

TEST(ValidatePlans, QueryPlanCarriesClausesKeysAndUsage) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  Validation run(
      catalog,
      "SELECT DISTINCT TOP 5 b, COUNT(*) FROM t1 WHERE n > ? GROUP BY b HAVING SUM(n) > 1 "
      "ORDER BY 2 DESC, b");
  ASSERT_EQ(0, run.rc) << run.message;
  QueryPlan* plan = run.query();
  EXPECT_EQ(1, plan->distinct);
  EXPECT_EQ(5, plan->top);
  EXPECT_EQ(1, plan->group_count);
  EXPECT_NE(nullptr, plan->having);
  EXPECT_EQ(1, ListCount(plan->select_set_functions));
  EXPECT_EQ(1, ListCount(plan->having_set_functions));
  EXPECT_EQ(2, plan->order_positions[0]);
  EXPECT_EQ(1, plan->keyset_possible);
  auto* table = static_cast<TableEntry*>(plan->scan_tables->data);
  ASSERT_EQ(1, table->key_count);
  EXPECT_EQ(1, table->key_map[0]);
  const int used[] = {1, 1, 0, 1, 0, 0};  // A (key), B, N read; NAME, D, I not
  for (int c = 0; c < 6; ++c) EXPECT_EQ(used[c], table->column_used[c]) << c;
  EXPECT_EQ(1, plan->single_backend);
  EXPECT_EQ(2, plan->backend_index);
}

TEST(ValidatePlans, NaturalJoinBuildsConditionAndHidesMergedColumn) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  Validation run(catalog, "SELECT * FROM t1 NATURAL LEFT JOIN t2");
  ASSERT_EQ(0, run.rc) << run.message;
  QueryPlan* plan = run.query();
  EXPECT_EQ(7, plan->item_count);  // six of T1 and C of T2
  auto* joined = static_cast<TableEntry*>(plan->from->data);
  ASSERT_EQ(TABLE_JOINED, joined->type);
  auto* condition = reinterpret_cast<OperatorNode*>(joined->join->condition);
  ASSERT_NE(nullptr, condition);
  EXPECT_EQ(OP_EQUAL, condition->op);
  EXPECT_EQ(joined->join->condition, joined->join->right->inner_restriction);
}

TEST(ValidatePlans, PositionedUpdateNeedsForUpdateCursor) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  int connection = 0;
  Validation cursor(catalog, "SELECT a, b FROM t1 FOR UPDATE OF b");
  ASSERT_EQ(0, cursor.rc) << cursor.message;
  QuillStmt statement{};
  statement.tag = TAG_STMT;
  statement.state = S6_FETCHED;
  statement.plan_list = cursor.plans;
  ASSERT_EQ(0, insert_cursor_name(&connection, &statement, "C1"));
  const struct {
    const char* sql;
    const char* outcome;
  } cases[] = {
      {"UPDATE t1 SET b = 'x' WHERE CURRENT OF c1", "ok"},
      {"UPDATE t1 SET b = ? WHERE CURRENT OF c1", "ok"},
      {"UPDATE t1 SET name = 'x' WHERE CURRENT OF c1", "error HY000 Column not updatable"},
      {"UPDATE t1 SET zz = 1 WHERE CURRENT OF c1", "error 42S22 Column not found 'ZZ'"},
      {"UPDATE t2 SET c = 1 WHERE CURRENT OF c1", "error HY000 Table name not in cursor"},
      {"UPDATE t1 SET b = 'x' WHERE CURRENT OF nosuch", "error 34000 Invalid cursor name"},
  };
  for (const auto& c : cases) {
    Validation run(catalog, c.sql, &connection);
    EXPECT_EQ(c.outcome, run.outcome("ok")) << c.sql;
  }
  statement.state = S5_CURSOR_OPEN;  // opened but not fetched
  Validation unfetched(catalog, cases[0].sql, &connection);
  EXPECT_EQ("error 34000 Invalid cursor name", unfetched.outcome("ok"));
  statement.state = S6_FETCHED;
  Validation plain(catalog, "SELECT a, b FROM t1");
  statement.plan_list = plain.plans;
  Validation not_for_update(catalog, cases[0].sql, &connection);
  EXPECT_EQ("error HY000 Cursor not updatable", not_for_update.outcome("ok"));
  remove_cursor_name(&statement, nullptr);
}

TEST(ValidatePlans, StatementHandleGetsPlansFunctionCodeAndCursorName) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  QuillDbc connection{};
  connection.tag = TAG_DBC;
  connection.dal = catalog.dal();
  QuillStmt statement{};
  statement.tag = TAG_STMT;
  statement.dbc = &connection;
  statement.errors = catalog.errors();
  statement.pool = quill_mem_alloc_handle(nullptr);
  ParseContext* parse = parse_context_create(nullptr);
  std::string text = "INSERT INTO t2 VALUES (1, 2); SELECT a FROM t1";
  ASSERT_EQ(0, sql_parse(parse, text.data()));
  ASSERT_EQ(0, validate_statement_list(&statement, parse_statements(parse)));
  auto* plans = static_cast<StatementPlanList*>(statement.plan_list);
  ASSERT_EQ(2, ListCount(plans->entries));
  EXPECT_EQ(50, static_cast<StatementEntry*>(plans->entries->data)->function_code);
  EXPECT_EQ(85, catalog.errors()->dynamic_function_code);  // the last statement's
  ASSERT_NE(nullptr, statement.cursor_name);
  EXPECT_EQ(0, std::strncmp("SQL_CUR", statement.cursor_name, 7));
  EXPECT_STREQ(statement.cursor_name, get_cursor_name(&statement));
  text = "SELECT zz FROM t1";
  ASSERT_EQ(0, sql_parse(parse, text.data()));
  EXPECT_EQ(-1, validate_statement_list(&statement, parse_statements(parse)));
  EXPECT_EQ(SQL_ERROR, GetReturnCode(catalog.errors()));
  remove_cursor_name(&statement, nullptr);
  parse_context_free(parse);
  quill_mem_release_handle(statement.pool);
}

TEST(ValidatePlans, StatementsTheParserCannotWriteAreRefused) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  auto* drop = static_cast<DropIndexNode*>(newNode(sizeof(DropIndexNode), NODE_DROP_INDEX, pool));
  auto* unknown = static_cast<Node*>(newNode(sizeof(Node), 999, pool));
  const struct {
    Node* statement;
    const char* message;
  } cases[] = {
      {reinterpret_cast<Node*>(drop), "General error: Tablename must be specified to drop a index"},
      {unknown, "General error UNKNOWN STMT statement not supported"},
  };
  for (const auto& c : cases) {
    ListNode* statements = ListAppend(c.statement, nullptr, pool);
    ValidateTarget target{catalog.dal(), catalog.errors(), pool, nullptr, nullptr, 3};
    StatementPlanList* plans = nullptr;
    EXPECT_EQ(-1, validate_statements(target, statements, &plans));
    SQLCHAR text[256] = {0};
    GetDiagRec(catalog.errors(), 1, nullptr, nullptr, text, sizeof text, nullptr);
    EXPECT_STREQ(c.message, reinterpret_cast<char*>(text));
  }
  quill_mem_release_handle(pool);
}

}  // namespace
