// The planner against the in-memory test backend (branches, IN expansion, restriction
// derivation and order, join orders from statistics, the replacement rules) and against the
// Ethereum catalog (required parameters decide the join order).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/parser.h"
#include "driver/sql/planner.h"
#include "driver/sql/planner_internal.h"
#include "driver/sql/sqlgen.h"
#include "driver/sql/validate.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/memory.h"
#include "tests/backend/test_backend.h"

namespace {

TestTable table(const char* name, std::vector<TestColumn> columns, long cardinality,
                std::vector<TestIndex> indexes) {
  TestTable t;
  t.name = name;
  t.columns = std::move(columns);
  t.cardinality = cardinality;
  t.indexes = std::move(indexes);
  return t;
}

// T: A unique-indexed, B text, C integer, D double. The others are sized for join orders.
TestBackend make_backend() {
  TestBackend backend;
  backend.tables = {
      table("T", {{"A"}, {"B", SQL_VARCHAR, 20}, {"C"}, {"D", SQL_DOUBLE, 15}}, 100,
            {{"T_A", true, {1}, 100}}),
      table("BIG", {{"ID"}, {"REF"}}, 10000,
            {{"BIG_ID", true, {1}, 10000}, {"BIG_REF", false, {2}, 10}}),
      table("MID", {{"ID"}, {"BIG_ID"}}, 1000, {{"MID_ID", true, {1}, 1000}}),
      table("SMALL", {{"ID"}, {"NAME", SQL_VARCHAR, 10}}, 10, {{"SMALL_ID", true, {1}, 10}}),
      table("U1", {{"X"}}, 50, {}),
      table("U2", {{"X"}}, 50, {}),
  };
  for (int i = 0; i < 10; ++i) {
    std::string name = "G" + std::to_string(i);
    backend.tables.push_back(table(name.c_str(), {{"K"}, {"P"}}, 100 * (i + 1), {}));
  }
  backend.tables.back().indexes = {{"G9_K", true, {1}, 1000}};
  return backend;
}

// The test backend's operations, answering DALGetInfo code 7 (exact filtering offered).
int exact_get_info(SqiEnv env, int code, void* out) {
  if (code != 7) return test_backend_operations()->get_info(env, code, out);
  *static_cast<int*>(out) = 1;
  return SQI_OK;
}
const SqiOperations* exact_operations() {
  static SqiOperations ops = [] {
    SqiOperations copy = *test_backend_operations();
    copy.get_info = exact_get_info;
    return copy;
  }();
  return &ops;
}

// A data-access context on the test backend or on the Ethereum backend (loopback URI: the
// catalog is built in, nothing is contacted).
class Catalog {
 public:
  explicit Catalog(bool ethereum, bool exact = false) : backend_(make_backend()) {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    dal_ = dal_create(nullptr, errors_);
    if (!ethereum) test_backend_install(dal_, &backend_);
    if (exact) dal_->backends[2] = exact_operations();
    ConnAttrSet attributes;
    init_con_str(&attributes, pool_);
    open_ = parse_connection_string("URI=http://127.0.0.1:9;connect_probe=no", nullptr, nullptr,
                                    SQL_NTS, &attributes) == 0 &&
            DALOpen(dal_, &attributes, nullptr) == SQI_OK;
  }
  ~Catalog() {
    dal_destroy(dal_);
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }
  bool open() const { return open_; }
  Dal* dal() { return dal_; }
  ErrorHeader* errors() { return errors_; }
  TestBackend& backend() { return backend_; }

 private:
  TestBackend backend_;
  MemPool* pool_;
  ErrorHeader* errors_;
  Dal* dal_;
  bool open_ = false;
};

// Generated SQL with runs of spaces made one and the ends trimmed.
std::string sql_text(const Node* node) {
  std::string text;
  for (char c : sql_node_text(node))
    if (c != ' ' || (!text.empty() && text.back() != ' ')) text += c;
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string op_text(int op) {
  static const char* const kNames[] = {"<",  ">",    ">=",      "<=", "=",  "<>",
                                       "..", "LIKE", "IS NULL", "IN", "PAT"};
  return op >= 7 && op <= 17 ? kNames[op - 7] : "?";
}

// One planned query: parse, validate, plan; texts of what the planner decided.
struct Planned {
  ParseContext* parse = parse_context_create(nullptr);
  QueryPlan* query = nullptr;
  QueryPlanning planning;
  int rc = -2;
  std::string failure;

  Planned(Catalog& catalog, std::string text, const PlannerOptions& options = {}) {
    if (sql_parse(parse, text.data()) != 0) {
      failure = std::string("parse: ") + parse_message(parse);
      return;
    }
    ValidateTarget target{catalog.dal(), catalog.errors(), parse_pool(parse), nullptr, nullptr, 3};
    SetupErrorHeader(catalog.errors(), 0);
    StatementPlanList* plans = nullptr;
    if (validate_statements(target, parse_statements(parse), &plans) != 0) {
      SQLCHAR message[600] = {0};
      GetDiagRec(catalog.errors(), 1, nullptr, nullptr, message, sizeof message, nullptr);
      failure = std::string("validate: ") + reinterpret_cast<char*>(message);
      return;
    }
    query = reinterpret_cast<QueryPlan*>(static_cast<StatementEntry*>(plans->entries->data)->plan);
    rc = plan_query_with(catalog.dal(), catalog.errors(), parse_pool(parse), query, options,
                         &planning);
  }
  ~Planned() { parse_context_free(parse); }

  const TableEntry* scan_table(int index) const {
    ListNode* at = query->scan_tables;
    for (int i = 0; at && i < index; ++i) at = at->next;
    return static_cast<const TableEntry*>(at->data);
  }
  std::string table_name(int index) const {
    const TableEntry* entry = scan_table(index);
    return entry->correlation ? entry->correlation->text : entry->table.name;
  }
  // "T1 T2": the scan tables in join order, outermost first.
  std::string order() const {
    std::string text;
    for (int table : planning.join_order) text += (text.empty() ? "" : " ") + table_name(table);
    return text;
  }
  // Branch predicates, " | " between them.
  std::string branches() const {
    std::string text;
    for (const PlannedBranch& branch : planning.branches)
      text += (text.empty() ? "" : " | ") + sql_text(branch.predicate);
    return text;
  }
  // Restrictions of every branch: "T.A = 1, T.B > 2 | ..."; NOT LIKE shows as "NOT LIKE".
  std::string restrictions() const {
    std::string text;
    for (size_t b = 0; b < planning.branches.size(); ++b) {
      if (b) text += " | ";
      std::string items;
      for (const PlannedRestriction& planned : planning.branches[b].restrictions) {
        const Restriction& r = planned.restriction;
        std::string item = table_name(planned.table) + "." + r.column->name + " " +
                           (planned.negated ? "NOT " : "") + op_text(r.op);
        if (r.value_expression)
          item += " " + sql_text(static_cast<const Node*>(r.value_expression));
        if (r.op == RESTRICT_IN) item += " " + std::to_string(r.in_count);
        items += (items.empty() ? "" : ", ") + item;
      }
      text += items;
    }
    return text;
  }
};

struct BranchCase {
  const char* sql;
  const char* branches;
  const char* restrictions;
};

// Normal form, branch split, IN expansion and the restrictions each branch derives.
const BranchCase kBranchCases[] = {
    {"SELECT * FROM t WHERE (a = 1 OR b = 'x') AND c = 3",
     "( ( C = 3 ) AND ( A = 1 )) | ( ( C = 3 ) AND ( B = 'x' ))",
     "T.C = 3, T.A = 1 | T.C = 3, T.B = 'x'"},
    {"SELECT * FROM t WHERE a = 1 AND (b = 'x' OR c = 3)",
     "( ( A = 1 ) AND ( B = 'x' )) | ( ( A = 1 ) AND ( C = 3 ))",
     "T.A = 1, T.B = 'x' | T.A = 1, T.C = 3"},
    {"SELECT * FROM t WHERE (a = 1 OR a = 2) AND (c = 3 OR c = 4)",
     "( ( A = 1 ) AND ( C = 3 )) | ( ( A = 1 ) AND ( C = 4 )) | ( ( A = 2 ) AND ( C = 3 )) | "
     "( ( A = 2 ) AND ( C = 4 ))",
     "T.A = 1, T.C = 3 | T.A = 1, T.C = 4 | T.A = 2, T.C = 3 | T.A = 2, T.C = 4"},
    // IN on the indexed column becomes ORs (branches); on other columns it stays one IN.
    {"SELECT * FROM t WHERE a IN (1, 2, 3)", "( A = 1 ) | ( A = 2 ) | ( A = 3 )",
     "T.A = 1 | T.A = 2 | T.A = 3"},
    {"SELECT * FROM t WHERE c IN (1, 2, 3)", "C IN ( 1 , 2 , 3 )", "T.C IN 3"},
    {"SELECT * FROM t WHERE a NOT IN (1, 2)", "( ( A <> 1 ) AND ( A <> 2 ))", "T.A <> 1, T.A <> 2"},
    {"SELECT * FROM t WHERE c NOT IN (1, 2)", "C NOT IN ( 1 , 2 )", ""},
    // Mirrored operators, same-table comparisons, predicates that are never pushed.
    {"SELECT * FROM t WHERE 5 < a AND 6 >= c AND c = a", "", "T.A > 5, T.C <= 6"},
    {"SELECT * FROM t WHERE b LIKE 'x%' AND b NOT LIKE '%y' AND d IS NULL AND c IS NOT NULL", "",
     "T.B LIKE 'x%', T.B NOT LIKE '%y', T.D IS NULL"},
    {"SELECT * FROM t WHERE c = ? AND a + 1 = 2 AND c = (SELECT MAX(x) FROM u1)", "", "T.C = ?"},
    {"SELECT * FROM t WHERE EXISTS (SELECT * FROM u1 WHERE u1.x = t.c AND u1.x > 2)", "", ""},
    // Within a table: `=` first, then other comparisons, then LIKE/IS NULL/IN; by type.
    {"SELECT * FROM t WHERE b LIKE 'a%' AND d > 1 AND c > 1 AND b = 'q' AND d = 2 AND c = 3", "",
     "T.C = 3, T.B = 'q', T.D = 2, T.C > 1, T.D > 1, T.B LIKE 'a%'"},
};

TEST(PlannerBranches, NormalFormInExpansionAndRestrictions) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  for (const BranchCase& c : kBranchCases) {
    SCOPED_TRACE(c.sql);
    Planned planned(catalog, c.sql);
    ASSERT_EQ(0, planned.rc) << planned.failure;
    if (*c.branches) {
      EXPECT_EQ(c.branches, planned.branches());
    }
    EXPECT_EQ(c.restrictions, planned.restrictions());
    EXPECT_FALSE(planned.planning.exact_filtering);  // the test backend does not offer it
  }
}

TEST(PlannerBranches, OptionsAndEmptyWhere) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  {
    Planned planned(catalog, "SELECT * FROM t WHERE a IN (1, 2) AND c = 1", {true, true, true});
    ASSERT_EQ(0, planned.rc);
    EXPECT_EQ("( A IN ( 1 , 2 ) AND ( C = 1 ))", planned.branches());
    EXPECT_EQ("", planned.restrictions());
  }
  {
    Planned planned(catalog, "SELECT * FROM t WHERE a IN (1, 2) AND c = 1", {false, false, false});
    ASSERT_EQ(0, planned.rc);
    EXPECT_EQ("( A IN ( 1 , 2 ) AND ( C = 1 ))", planned.branches());
    EXPECT_EQ("T.C = 1, T.A IN 2", planned.restrictions());
  }
  {
    Planned planned(catalog, "SELECT * FROM t");
    ASSERT_EQ(0, planned.rc);
    ASSERT_EQ(1u, planned.planning.branches.size());
    EXPECT_EQ(nullptr, planned.planning.branches[0].predicate);
    EXPECT_EQ("T", planned.order());
  }
  {
    Planned planned(catalog, "SELECT 1");
    ASSERT_EQ(0, planned.rc) << planned.failure;
    EXPECT_EQ("", planned.order());
    EXPECT_EQ(1u, planned.planning.branches.size());
  }
}

// Exact filtering: one table whose backend offers it and a WHERE without AND and NOT; the
// whole WHERE is then one branch.
TEST(PlannerBranches, ExactFiltering) {
  struct {
    const char* sql;
    bool exact;
    size_t branches;
  } const cases[] = {
      {"SELECT * FROM t WHERE c = 1", true, 1},
      {"SELECT * FROM t WHERE a IN (1, 2)", true, 1},  // expanded to ORs only
      {"SELECT * FROM t WHERE c = 1 OR b = 'x'", true, 1},
      {"SELECT * FROM t WHERE c = 1 AND b = 'x'", false, 1},
      {"SELECT * FROM t WHERE a NOT IN (1, 2)", false, 1},  // expanded to an AND
      {"SELECT * FROM t WHERE (c = 1 OR c = 2) AND b = 'x'", false, 2},
      {"SELECT * FROM t", false, 1},
      {"SELECT * FROM t, u1 WHERE c = 1", false, 1},
  };
  Catalog catalog(false, true);
  ASSERT_TRUE(catalog.open());
  for (const auto& c : cases) {
    SCOPED_TRACE(c.sql);
    Planned planned(catalog, c.sql);
    ASSERT_EQ(0, planned.rc) << planned.failure;
    EXPECT_EQ(c.exact, planned.planning.exact_filtering);
    EXPECT_EQ(c.branches, planned.planning.branches.size());
  }
}

// A long AND of ORs is not multiplied out: it stays one branch.
TEST(PlannerBranches, NormalFormIsBounded) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  std::string sql = "SELECT * FROM t WHERE c = 0";
  for (int i = 0; i < 12; ++i) sql += " AND (a = " + std::to_string(i) + " OR c = 1)";
  Planned planned(catalog, sql);
  ASSERT_EQ(0, planned.rc) << planned.failure;
  EXPECT_EQ(1u, planned.planning.branches.size());
  EXPECT_EQ("T.C = 0", planned.restrictions());
  std::string in_list = "SELECT * FROM t WHERE a IN (0";
  for (int i = 1; i < 300; ++i) in_list += ", " + std::to_string(i);
  Planned long_in(catalog, in_list + ")");
  ASSERT_EQ(0, long_in.rc) << long_in.failure;
  EXPECT_EQ("T.A IN 300", long_in.restrictions());
}

// Planning the same query again (a re-execution) finds the tree already rewritten and gives
// the same branches.
TEST(PlannerBranches, ReplanningIsStable) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  Planned planned(catalog, "SELECT * FROM t WHERE (a IN (1, 2) OR c = 5) AND b = 'q'");
  ASSERT_EQ(0, planned.rc) << planned.failure;
  std::string first = planned.branches() + " / " + planned.restrictions();
  EXPECT_EQ(3u, planned.planning.branches.size());
  QueryPlanning again;
  ASSERT_EQ(0, plan_query(catalog.dal(), catalog.errors(), parse_pool(planned.parse), planned.query,
                          &again));
  planned.planning = again;
  EXPECT_EQ(first, planned.branches() + " / " + planned.restrictions());
}

// An outer join is one unit: its tables stay together and get no restrictions; inner joins
// are opened up and their conditions join every branch predicate.
TEST(PlannerOrder, JoinedTablesAsUnits) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  {
    Planned planned(catalog,
                    "SELECT * FROM big LEFT JOIN mid ON mid.big_id = big.id, small "
                    "WHERE small.id = 3 AND big.ref = 4");
    ASSERT_EQ(0, planned.rc) << planned.failure;
    ASSERT_EQ(2u, planned.planning.units.size());
    EXPECT_EQ(TABLE_JOINED, planned.planning.units[1]->type);
    EXPECT_EQ("SMALL BIG MID", planned.order());
    EXPECT_EQ("SMALL.ID = 3", planned.restrictions());
  }
  {
    Planned planned(catalog,
                    "SELECT * FROM big JOIN small ON small.id = big.ref WHERE big.id = 1 OR "
                    "small.name = 'n'");
    ASSERT_EQ(0, planned.rc) << planned.failure;
    EXPECT_EQ(3u, planned.planning.units.size() + 1);
    EXPECT_EQ(
        "( ( SMALL.ID = BIG.REF ) AND ( BIG.ID = 1 )) | ( ( SMALL.ID = BIG.REF ) AND ( "
        "SMALL.NAME = 'n' ))",
        planned.branches());
  }
}

struct OrderCase {
  const char* sql;
  const char* order;
  const char* restrictions;
};

const OrderCase kOrderCases[] = {
    // The unique index with `=` goes inner, whichever way the FROM list is written.
    {"SELECT * FROM small, big WHERE big.id = small.id", "SMALL BIG", "BIG.ID = SMALL.ID"},
    {"SELECT * FROM big, small WHERE big.id = small.id", "SMALL BIG", "BIG.ID = SMALL.ID"},
    {"SELECT * FROM big INNER JOIN small ON small.id = big.id", "SMALL BIG", "BIG.ID = SMALL.ID"},
    // Three and four tables along a chain started by a constant.
    {"SELECT * FROM big, mid, small WHERE mid.id = big.ref AND small.id = mid.id AND small.id = 5",
     "SMALL MID BIG", "SMALL.ID = 5, MID.ID = SMALL.ID, BIG.REF = MID.ID"},
    {"SELECT * FROM t, big, mid, small WHERE t.a = big.id AND mid.id = big.ref AND "
     "small.id = mid.id AND small.id = 5",
     "SMALL MID T BIG", "SMALL.ID = 5, MID.ID = SMALL.ID, BIG.ID = T.A, BIG.REF = MID.ID"},
    // Equal estimates: the written order stays.
    {"SELECT * FROM u1, u2", "U1 U2", ""},
    {"SELECT * FROM u2, u1", "U2 U1", ""},
    {"SELECT * FROM u2, u1 WHERE u1.x = u2.x", "U2 U1", "U1.X = U2.X"},
    // Smaller table outermost when nothing restricts.
    {"SELECT * FROM big, small", "SMALL BIG", ""},
    // More than eight tables: a greedy order; G9's unique key comes from G0.
    {"SELECT * FROM g9, g8, g7, g6, g5, g4, g3, g2, g1, g0 WHERE g9.k = g0.p",
     "G0 G9 G1 G2 G3 G4 G5 G6 G7 G8", "G9.K = G0.P"},
};

TEST(PlannerOrder, JoinOrdersFromStatistics) {
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  for (const OrderCase& c : kOrderCases) {
    SCOPED_TRACE(c.sql);
    catalog.backend().statistics_calls = 0;
    Planned planned(catalog, c.sql);
    ASSERT_EQ(0, planned.rc) << planned.failure;
    EXPECT_EQ(c.order, planned.order());
    EXPECT_EQ(c.restrictions, planned.restrictions());
    EXPECT_TRUE(planned.planning.runnable);
    EXPECT_EQ(static_cast<int>(planned.planning.join_order.size()),
              catalog.backend().statistics_calls);  // once per table
  }
}

struct CostCase {
  const char* sql;
  double cost;  // 250 per scan start + rows fetched
};

// Single-table estimates through the index rules and the 0.9 per restriction.
TEST(PlannerOrder, IndexEstimates) {
  const CostCase cases[] = {
      {"SELECT * FROM big", 250 + 10000},
      {"SELECT * FROM big WHERE id = 7", 250 + 0.9},                           // unique `=`: 1
      {"SELECT * FROM big WHERE id <> 7", 250 + 9999 * 0.9},                   // unique `<>`
      {"SELECT * FROM big WHERE ref = 7", 250 + 1000 * 0.9},                   // 10,000 / 10
      {"SELECT * FROM big WHERE ref <> 7", 250 + 9000 * 0.9},                  // 10,000 - 1,000
      {"SELECT * FROM big WHERE id > 1", 250 + 5000 * 0.9},                    // one bound: / 2
      {"SELECT * FROM big WHERE id > 1 AND id <= 9", 250 + 2500 * 0.81},       // range pair: / 4
      {"SELECT * FROM big WHERE id IN (1, 2) AND ref = 1", 2 * (250 + 0.81)},  // 2 branches
      {"SELECT * FROM mid WHERE big_id = 1", 250 + 1000 * 0.9},  // no index: the table
      {"SELECT * FROM t WHERE b LIKE 'a%' AND a > 0", 250 + 50 * 0.81},
  };
  Catalog catalog(false);
  ASSERT_TRUE(catalog.open());
  for (const CostCase& c : cases) {
    SCOPED_TRACE(c.sql);
    Planned planned(catalog, c.sql);
    ASSERT_EQ(0, planned.rc) << planned.failure;
    EXPECT_NEAR(c.cost, planned.planning.cost, 1e-6);
  }
}

struct WinCase {
  OrderEvaluation candidate;
  std::vector<int> candidate_order;
  OrderEvaluation best;
  std::vector<int> best_order;
  bool best_is_first;
  bool wins;
};

// The replacement rules: runnable first, then usable restrictions, then the cost ratios.
TEST(PlannerOrder, ReplacementRules) {
  const WinCase cases[] = {
      {{true, 0, 1e9}, {1, 0}, {false, 5, 10}, {0, 1}, true, true},          // runnable beats cheap
      {{false, 5, 10}, {1, 0}, {true, 0, 1e9}, {0, 1}, false, false},        // and is never beaten
      {{true, 2, 500}, {1, 0}, {true, 1, 100}, {0, 1}, true, true},          // more usable wins
      {{true, 1, 85}, {1, 0}, {true, 1, 100}, {0, 1}, true, false},          // r < 0.1 vs the first
      {{true, 1, 80}, {1, 0}, {true, 1, 100}, {0, 1}, true, true},           // r >= 0.1: cheaper
      {{true, 1, 100}, {0, 1, 2}, {true, 1, 90}, {1, 0, 2}, false, true},    // r < 0.07 rule
      {{true, 1, 90}, {1, 0, 2}, {true, 1, 100}, {0, 1, 2}, false, false},   // r < 0.07 rule
      {{true, 1, 100}, {0, 2, 1}, {true, 1, 100}, {0, 1, 2}, false, false},  // last position
      {{true, 1, 100}, {1, 2, 0}, {true, 1, 100}, {2, 1, 0}, false, true},
      {{true, 0, 10}, {1, 0}, {true, 3, 1000}, {0, 1}, false, true},   // fewer usable, cheaper
      {{true, 1, 120}, {1, 0}, {true, 1, 100}, {0, 1}, false, false},  // dearer loses
  };
  int line = 0;
  for (const WinCase& c : cases) {
    SCOPED_TRACE(line++);
    EXPECT_EQ(c.wins, planner_candidate_wins(c.candidate, c.candidate_order, c.best, c.best_order,
                                             c.best_is_first));
  }
}

TEST(PlannerOrder, RestrictionCost) {
  EXPECT_EQ(0, planner_restriction_cost(RESTRICT_EQUAL, SQL_INTEGER));
  EXPECT_EQ(11, planner_restriction_cost(RESTRICT_LESS, SQL_VARCHAR));
  EXPECT_EQ(102, planner_restriction_cost(RESTRICT_LIKE, SQL_TYPE_DATE));
  EXPECT_EQ(103, planner_restriction_cost(RESTRICT_IN, SQL_BIGINT));
  EXPECT_EQ(14, planner_restriction_cost(RESTRICT_NOT_EQUAL, SQL_LONGVARCHAR));
}

// Required parameters of Ethereum tables decide the order: the table whose parameters are
// all given by constants comes first, whichever way the FROM list is written.
const OrderCase kEthereumCases[] = {
    {"SELECT t.transactionsHash, r.status FROM getTransactionReceipt r, "
     "getBlockByNumber_transactions t WHERE r.transactionHash = t.transactionsHash AND "
     "t.blockNumber = '0x1' AND t.transactionDetailsFlag = 'true'",
     "T R", ""},
    {"SELECT t.transactionsHash, r.status FROM getBlockByNumber_transactions t JOIN "
     "getTransactionReceipt r ON r.transactionHash = t.transactionsHash WHERE "
     "t.blockNumber = '0x1' AND t.transactionDetailsFlag = 'true'",
     "T R", ""},
    {"SELECT t.transactionsHash, r.status FROM getTransactionReceipt r JOIN "
     "getBlockByNumber_transactions t ON r.transactionHash = t.transactionsHash WHERE "
     "t.blockNumber = '0x1' AND t.transactionDetailsFlag = 'true'",
     "T R", ""},
    // Costs tie here; only the rule puts the receipt (given by a constant) first.
    {"SELECT r.status FROM getBlockByNumber_transactions t, getTransactionReceipt r WHERE "
     "r.transactionHash = '0xab' AND t.blockNumber = r.blockNumber AND "
     "t.transactionDetailsFlag = 'true'",
     "R T", ""},
};

TEST(PlannerRequired, EthereumParametersComeFromEarlierTables) {
  Catalog catalog(true);
  ASSERT_TRUE(catalog.open());
  for (const OrderCase& c : kEthereumCases) {
    SCOPED_TRACE(c.sql);
    Planned planned(catalog, c.sql);
    ASSERT_EQ(0, planned.rc) << planned.failure;
    EXPECT_EQ(c.order, planned.order());
    EXPECT_TRUE(planned.planning.runnable);
  }
  Planned missing(catalog, "SELECT status FROM getTransactionReceipt");
  ASSERT_EQ(0, missing.rc) << missing.failure;
  EXPECT_FALSE(missing.planning.runnable);
}

}  // namespace
