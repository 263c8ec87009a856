// Expression evaluation over a stub row (named column values, numbered parameters and canned
// subquery results keyed by the subquery's table name): the "expression" check of the case
// files (tests/sql/cases/eval; the outcomes are described at the top of each file), the
// IN-subquery cache, walk mode, the search-mode AND short cut and the error boundaries.
#include "driver/sql/eval.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "driver/sql/parser.h"
#include "support/diag.h"
#include "support/longbuf.h"
#include "support/memory.h"
#include "tests/sql/case_file.h"

namespace {

// Canned rows of one subquery table, and how it was used.
struct CannedTable {
  std::vector<QuillValue*> rows;  // first columns; a null entry makes the fetch fail
  size_t position = 0;            // next row to hand out
  int opens = 0;                  // open_subquery calls
  int fetches = 0;                // fetch_subquery calls
};

// The row source the hooks read: the context's `statement` points at it.
struct StubRow {
  std::map<std::string, QuillValue*> columns;
  std::vector<QuillValue*> parameters;  // index = number - 1
  std::map<std::string, CannedTable> tables;
  bool reexecute = false;           // the next open reports re-execution
  QuillValue* aggregate = nullptr;  // the value of every set function
};

StubRow* stub_of(EvalContext* context) {
  return static_cast<StubRow*>(context->statement);
}

const QuillValue* stub_column(EvalContext* context, const ColumnRefNode* column) {
  auto found = stub_of(context)->columns.find(column->column ? column->column->text : "");
  return found == stub_of(context)->columns.end() ? nullptr : found->second;
}

const QuillValue* stub_parameter(EvalContext* context, int number) {
  auto& parameters = stub_of(context)->parameters;
  return number >= 1 && number <= static_cast<int>(parameters.size()) ? parameters[number - 1]
                                                                      : nullptr;
}

const QuillValue* stub_aggregate(EvalContext* context, const SetFunctionNode*) {
  return stub_of(context)->aggregate;
}

CannedTable* table_of(EvalContext* context, const Node* query) {
  if (query == nullptr || query->kind != NODE_QUERY_SPEC) return nullptr;
  const auto* select_node = reinterpret_cast<const QuerySpecNode*>(query);
  if (select_node->from == nullptr) return nullptr;
  const auto* ref = static_cast<const TableRefNode*>(select_node->from->data);
  if (ref->kind != NODE_TABLE_REF || ref->table->kind != NODE_TABLE_NAME) return nullptr;
  const char* name = reinterpret_cast<const TableNameNode*>(ref->table)->table->text;
  auto found = stub_of(context)->tables.find(name);
  return found == stub_of(context)->tables.end() ? nullptr : &found->second;
}

int stub_open(EvalContext* context, const Node* query, bool* reexecuted) {
  CannedTable* table = table_of(context, query);
  if (table == nullptr) return -1;
  ++table->opens;
  table->position = 0;
  *reexecuted = stub_of(context)->reexecute;
  stub_of(context)->reexecute = false;
  return 0;
}

int stub_fetch(EvalContext* context, const Node* query, const QuillValue** first_column) {
  CannedTable* table = table_of(context, query);
  if (table == nullptr) return -1;
  ++table->fetches;
  if (table->position >= table->rows.size()) return 100;
  *first_column = table->rows[table->position++];
  return *first_column != nullptr ? 0 : -1;
}

bool read_long_whole(EvalContext*, const QuillValue* value, std::string* out) {
  int64_t length = long_buffer_length(value->long_buffer);
  if (length < 0) return false;
  out->resize(static_cast<size_t>(length));
  return read_long_buffer_at(value->long_buffer, 0, out->data(), out->size()) == length;
}

bool read_long_fails(EvalContext*, const QuillValue*, std::string*) {
  return false;
}

// A pool, diagnostics, a prepared context over the stub and the parses made for it.
class Harness {
 public:
  Harness() {
    pool_ = quill_mem_alloc_handle(nullptr);
    errors_ = CreateErrorHeader(pool_, nullptr);
    eval_context_prepare(&context_, pool_, errors_);
    context_.start_time = {2024, 6, 15, 12, 34, 56, 789};
    context_.user = "tester";
    context_.read_long = read_long_whole;
    context_.statement = &stub_;
    context_.hooks.column_value = stub_column;
    context_.hooks.parameter_value = stub_parameter;
    context_.hooks.set_function_value = stub_aggregate;
    context_.hooks.open_subquery = stub_open;
    context_.hooks.fetch_subquery = stub_fetch;
    column("I", integer(7));
    column("N", null_integer());
    column("X", real(1.5));
    column("S", text("abc"));
    column("L", long_text("long text"));
    column("BIG", bigint(5000000000LL));
    column("IMIN", integer(INT_MIN));
    column("IMAX", integer(INT_MAX));
    column("BIGMIN", bigint(LLONG_MIN));
    column("BIGMAX", bigint(LLONG_MAX));
    stub_.aggregate = integer(42);
    stub_.parameters = {text("a_c"), text("ab\\")};
    stub_.tables["EMPTY"];
    stub_.tables["ONE"].rows = {integer(5)};
    stub_.tables["TWO"].rows = {integer(1), integer(2)};
    stub_.tables["NUMS"].rows = {integer(1), integer(5), integer(9)};
    stub_.tables["NULLS"].rows = {null_integer(), integer(3)};
    stub_.tables["WORDS"].rows = {text("abc"), text("x")};
    stub_.tables["BAD"].rows = {nullptr};
  }
  ~Harness() {
    for (QuillValue* value : made_) release_value(pool_, value);
    for (ParseContext* parse : parses_) parse_context_free(parse);
    eval_state_free(context_.state);
    FreeErrorHeader(errors_);
    quill_mem_release_handle(pool_);
  }

  EvalContext* context() { return &context_; }
  StubRow& stub() { return stub_; }

  // The expression of "SELECT <text> FROM t", or the condition of
  // "SELECT 1 FROM t WHERE <text>" when the first does not parse; null when neither does.
  const Node* parse(const std::string& text) {
    if (const QuerySpecNode* query = parse_query("SELECT " + text + " FROM t"))
      return static_cast<const SelectItemNode*>(query->select_list->data)->expression;
    if (const QuerySpecNode* query = parse_query("SELECT 1 FROM t WHERE " + text))
      return query->where;
    return nullptr;
  }

  // SQLSTATE and text of the first diagnostic posted ("" when none).
  std::string first_error() const {
    if (errors_->records == nullptr) return "";
    const auto* record = static_cast<const DiagRecord*>(errors_->records->data);
    return std::string(record->sqlstate) + " " + record->message;
  }

  QuillValue* integer(int32_t number) {
    QuillValue* value = make();
    set_value_to_int(value, number);
    return value;
  }
  QuillValue* bigint(int64_t number) {
    QuillValue* value = make();
    set_value_to_bigint(value, number);
    return value;
  }
  QuillValue* real(double number) {
    QuillValue* value = make();
    set_value_to_double(value, number);
    return value;
  }
  QuillValue* text(const char* characters) {
    QuillValue* value = make();
    set_value_to_text(value, characters, std::strlen(characters));
    return value;
  }
  QuillValue* long_text(const char* characters) {
    QuillValue* value = make();
    LongBuffer* buffer = allocate_long_buffer(pool_, 0, 0, nullptr, SQL_LONGVARCHAR);
    append_to_long_buffer(buffer, characters, std::strlen(characters));
    set_value_to_long(value, VALUE_LONG_CHARACTER, buffer);
    return value;
  }
  QuillValue* null_integer() {
    QuillValue* value = make();
    set_value_null(value, VALUE_INTEGER);
    return value;
  }

 private:
  QuillValue* make() {
    made_.push_back(NewValue(pool_, 0));
    return made_.back();
  }
  void column(const char* name, QuillValue* value) { stub_.columns[name] = value; }
  const QuerySpecNode* parse_query(std::string sql) {
    ParseContext* parse = parse_context_create(pool_);
    parses_.push_back(parse);
    if (sql_parse(parse, sql.data()) != 0 || parse_statements(parse) == nullptr) return nullptr;
    const Node* statement = static_cast<const Node*>(parse_statements(parse)->data);
    if (statement->kind == NODE_CURSOR_SPEC)
      statement = reinterpret_cast<const CursorSpecNode*>(statement)->query;
    if (statement->kind != NODE_QUERY_SPEC) return nullptr;
    return reinterpret_cast<const QuerySpecNode*>(statement);
  }

  MemPool* pool_;
  ErrorHeader* errors_;
  EvalContext context_{};
  StubRow stub_;
  std::vector<QuillValue*> made_;
  std::vector<ParseContext*> parses_;
};

const char* kind_name(int kind) {
  switch (kind) {
    case VALUE_INTEGER:
      return "INTEGER";
    case VALUE_DOUBLE:
      return "DOUBLE";
    case VALUE_CHARACTER:
      return "CHARACTER";
    case VALUE_BIT:
      return "BIT";
    case VALUE_BINARY:
      return "BINARY";
    case VALUE_DATE:
      return "DATE";
    case VALUE_TIME:
      return "TIME";
    case VALUE_TIMESTAMP:
      return "TIMESTAMP";
    case VALUE_NUMERIC:
      return "NUMERIC";
    case VALUE_BIGINT:
      return "BIGINT";
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL:
      return "INTERVAL";
    default:
      return "?";
  }
}

// The outcome of evaluating `text` in the notation of the data files.
std::string outcome(Harness& harness, const std::string& text, bool predicate) {
  const Node* expression = harness.parse(text);
  if (expression == nullptr) return "unparsable";
  QuillValue* value = eval_expr(expression, harness.context(), nullptr, nullptr, 0);
  if (value == nullptr) return "error " + harness.first_error();
  std::string shown;
  if (predicate) {
    static const char* const kTruths[] = {"FALSE", "TRUE", "UNKNOWN"};
    shown = kTruths[get_trivalue_from_value(value)];
  } else if (is_value_null(value)) {
    shown = std::string("NULL ") + kind_name(value->kind);
  } else {
    char buffer[VALUE_TEXT_SIZE];
    value_as_text(value, buffer);
    shown = value->kind == VALUE_CHARACTER ? "'" + std::string(buffer) + "'" : buffer;
    shown += std::string(" ") + kind_name(value->kind);
  }
  release_value(harness.context()->pool, value);
  return shown;
}

// One case of the "expression" check: the outcome of evaluating the input; a predicate or an
// error is also evaluated in search mode, which must agree (1 only for TRUE, -1 for an error).
CaseOutcome run_expression_case(const SqlCase& c) {
  std::string expected = c.expected_line();
  bool predicate = expected == "TRUE" || expected == "FALSE" || expected == "UNKNOWN";
  Harness harness;
  CaseOutcome result = case_outcome_from_line(outcome(harness, c.input, predicate));
  if (predicate || c.expects_error) {
    Harness again;
    const Node* condition = again.parse(c.input);
    int want = expected == "TRUE" ? 1 : (c.expects_error ? -1 : 0);
    if (condition != nullptr) {
      EXPECT_EQ(eval_predicate(condition, again.context(), 0), want) << "in search mode";
    }
  }
  return result;
}

[[maybe_unused]] const bool kExpressionCasesRegistered =
    register_case_function("expression", run_expression_case);

TEST(Eval, CaseResultIsConvertedToItsDeclaredType) {
  Harness harness;
  auto* node = const_cast<CaseNode*>(
      reinterpret_cast<const CaseNode*>(harness.parse("CASE WHEN I = 7 THEN 5 END")));
  node->result_type = SQL_VARCHAR;
  node->result_length = 10;
  QuillValue* value =
      eval_expr(reinterpret_cast<Node*>(node), harness.context(), nullptr, nullptr, 0);
  ASSERT_NE(value, nullptr) << harness.first_error();
  EXPECT_EQ(value->kind, VALUE_CHARACTER);
  EXPECT_STREQ(value->bytes.data, "5");
  release_value(harness.context()->pool, value);
}

TEST(Eval, UnreadableLongTextIsAnError) {
  Harness harness;
  harness.context()->read_long = read_long_fails;
  for (const char* text : {"L = 'x'", "L LIKE 'x%'", "TRIM(L)", "L || 'x'"}) {
    EXPECT_EQ(eval_expression_guarded(harness.parse(text), harness.context(), 0), nullptr);
    EXPECT_EQ(harness.first_error(), "HY000 Extract from LONG VARCHAR error") << text;
  }
}

TEST(Eval, CurrentTimestampIsTheStatementStart) {
  Harness harness;
  const Node* expression = harness.parse("CURRENT_TIMESTAMP");
  QuillValue* first = eval_expr(expression, harness.context(), nullptr, nullptr, 0);
  QuillValue* second = eval_expr(expression, harness.context(), nullptr, nullptr, 0);
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(compare_values(first, second), 0);
  EXPECT_EQ(first->payload.timestamp.fraction, 0u);
  release_value(harness.context()->pool, first);
  release_value(harness.context()->pool, second);
}

TEST(Eval, InSubqueryIsScannedOnceThenLookedUp) {
  Harness harness;
  harness.context()->state = eval_state_create(nullptr);
  CannedTable& nums = harness.stub().tables["NUMS"];
  const Node* seven = harness.parse("7 IN (SELECT c FROM nums)");
  const Node* eight = harness.parse("8 IN (SELECT c FROM nums)");
  EXPECT_EQ(eval_predicate(seven, harness.context(), 0), 0);
  EXPECT_EQ(nums.fetches, 4);  // three rows and the end
  EXPECT_EQ(eval_predicate(seven, harness.context(), 0), 0);
  EXPECT_EQ(eval_predicate(eight, harness.context(), 0), 0);  // another node: its own scan
  int after_scans = nums.fetches;
  EXPECT_EQ(eval_predicate(seven, harness.context(), 0), 0);
  EXPECT_EQ(nums.fetches, after_scans);  // answered from the tree
  // Outer references changed: the cache is discarded and the rows scanned again.
  harness.stub().reexecute = true;
  nums.rows[1] = harness.integer(7);
  EXPECT_EQ(eval_predicate(seven, harness.context(), 0), 1);
  EXPECT_GT(nums.fetches, after_scans);
}

TEST(Eval, InSubqueryWithoutStateScansEveryTime) {
  Harness harness;
  CannedTable& nums = harness.stub().tables["NUMS"];
  const Node* seven = harness.parse("7 IN (SELECT c FROM nums)");
  EXPECT_EQ(eval_predicate(seven, harness.context(), 0), 0);
  EXPECT_EQ(eval_predicate(seven, harness.context(), 0), 0);
  EXPECT_EQ(nums.fetches, 8);
}

TEST(Eval, SearchModeAndStopsAfterALeftSideThatIsNotTrue) {
  Harness harness;
  const Node* condition = harness.parse("N = 1 AND 1 / 0 = 1");
  EXPECT_EQ(eval_predicate(condition, harness.context(), 0), 0);
  EXPECT_EQ(harness.first_error(), "");
  EXPECT_EQ(eval_expr(condition, harness.context(), nullptr, nullptr, 0), nullptr);
  EXPECT_EQ(harness.first_error(), "22012 Division by zero");
}

TEST(Eval, ConstantModeLeavesLikeAndIsNullUnknown) {
  Harness harness;
  for (const char* text : {"S LIKE 'a%'", "S IS NULL"}) {
    QuillValue* value =
        eval_expr(harness.parse(text), harness.context(), nullptr, nullptr, EVAL_CONSTANT);
    ASSERT_NE(value, nullptr) << text;
    EXPECT_TRUE(is_value_null(value)) << text;
    release_value(harness.context()->pool, value);
  }
}

void collect(const Node* node, void* argument) {
  auto* seen = static_cast<std::vector<std::string>*>(argument);
  if (node->kind == NODE_COLUMN_REF)
    seen->push_back(reinterpret_cast<const ColumnRefNode*>(node)->column->text);
  else
    seen->push_back("expression");
}

TEST(Eval, WalkModeReportsColumnsAndAggregateArgumentsOnly) {
  Harness harness;
  const Node* expression = harness.parse("I + MAX(X * 2) + CASE WHEN S = 'a' THEN BIG END");
  ASSERT_NE(expression, nullptr);
  std::vector<std::string> seen;
  EXPECT_EQ(eval_expr(expression, harness.context(), collect, &seen, 0), nullptr);
  EXPECT_EQ(seen, (std::vector<std::string>{"I", "expression", "S", "BIG"}));
  EXPECT_EQ(harness.context()->error, 0);
}

TEST(Eval, MissingExpressionAndMissingHooks) {
  Harness harness;
  QuillValue* value = eval_expr(nullptr, harness.context(), nullptr, nullptr, 0);
  ASSERT_NE(value, nullptr);
  EXPECT_EQ(value->indicator, 1);
  release_value(harness.context()->pool, value);
  harness.context()->hooks.open_subquery = nullptr;
  harness.context()->hooks.set_function_value = nullptr;
  EXPECT_EQ(eval_predicate(harness.parse("EXISTS (SELECT c FROM one)"), harness.context(), 0), -1);
  EXPECT_EQ(eval_expression_guarded(harness.parse("COUNT(*)"), harness.context(), 0), nullptr);
  EXPECT_EQ(harness.context()->error, -1);
}

}  // namespace
