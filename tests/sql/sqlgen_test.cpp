// SQL text generator: the "print" check of the case files (tests/sql/cases/print), the
// print(parse(x)) round trip over every parse and print case, the three output sinks, the
// print modes and trees the parser never builds.
//
// A print case's input is parsed and its statement list printed in the plain mode ("; "
// between statements); the case expects that text on one line between a leading and a
// trailing '|', so that its padding blanks stay visible: commit => |COMMIT WORK |
#include "driver/sql/sqlgen.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "driver/sql/parser.h"
#include "tests/sql/case_file.h"

namespace {

// One parse with its own context; the tree lives as long as the object.
class Parsed {
 public:
  explicit Parsed(const std::string& sql) : context_(parse_context_create(nullptr)) {
    std::vector<char> text(sql.begin(), sql.end());
    text.push_back('\0');
    ok_ = context_ && sql_parse(context_, text.data()) == 0;
  }
  ~Parsed() { parse_context_free(context_); }
  Parsed(const Parsed&) = delete;
  Parsed& operator=(const Parsed&) = delete;

  bool ok() const { return ok_; }
  ListNode* statements() const { return parse_statements(context_); }
  const Node* first() const { return static_cast<const Node*>(ListData(ListFirst(statements()))); }
  const char* message() const { return context_ ? parse_message(context_) : "no context"; }
  std::string text(int mode = SQL_PRINT_PLAIN) const {
    return sql_statement_list_text(statements(), mode);
  }

 private:
  ParseContext* context_;
  bool ok_ = false;
};

// One case of the "print" check: the printed statement list between bars, or the parse error.
CaseOutcome run_print_case(const SqlCase& c) {
  Parsed parsed(c.input);
  if (!parsed.ok()) return CaseOutcome{true, parsed.message(), {}};
  return CaseOutcome{false, "", {"|" + parsed.text() + "|"}};
}

[[maybe_unused]] const bool kPrintCasesRegistered = register_case_function("print", run_print_case);

// Canonical texts that are printed as they stand although the grammar does not read them
// back (the printed forms keep the historic spellings of these clauses).
bool is_known_one_way_text(const std::string& text) {
  static const char* const kOneWay[] = {"ALL PRIVILIGES", "FOERIGN KEY", "REFERENCE,",
                                        "REFERENCE ON",   "REFERENCE (", "{ call",
                                        "{ ?= call"};
  for (const char* marker : kOneWay) {
    if (text.find(marker) != std::string::npos) return true;
  }
  // A NOT pushed into a quantified comparison prints as "NOT <op> ALL|ANY|SOME".
  for (const char* op : {" NOT = ", " NOT <> ", " NOT < ", " NOT > ", " NOT <= ", " NOT >= "}) {
    if (text.find(op) != std::string::npos) return true;
  }
  return false;
}

// Every statement a parse or print case accepts: the printed text parses again and prints
// the same.
TEST(SqlPrintRoundTrip, PrintedTextReadsBackToTheSameText) {
  int round_trips = 0, print_cases = 0;
  for (const std::string check : {"print", "parse"}) {
    for (const CaseFile& file : read_case_files_of(check)) {
      for (const SqlCase* c : file.cases()) {
        print_cases += check == "print";
        Parsed first(c->input);
        if (!first.ok()) continue;
        std::string printed = first.text();
        SCOPED_TRACE(c->where() + ": " + c->input + "\nprinted: " + printed);
        Parsed second(printed);
        if (!second.ok()) {
          EXPECT_TRUE(is_known_one_way_text(printed)) << second.message();
          continue;
        }
        EXPECT_EQ(second.text(), printed);
        ++round_trips;
      }
    }
  }
  EXPECT_GE(print_cases, 300);
  EXPECT_GE(round_trips, 250);
}

// The query specification under a parsed SELECT statement.
const QuerySpecNode* query_of(const Node* statement) {
  if (statement && statement->kind == NODE_CURSOR_SPEC) {
    statement = reinterpret_cast<const CursorSpecNode*>(statement)->query;
  }
  if (statement && statement->kind == NODE_GROUPED_QUERY) {
    return reinterpret_cast<const GroupedQueryNode*>(statement)->query;
  }
  return statement && statement->kind == NODE_QUERY_SPEC
             ? reinterpret_cast<const QuerySpecNode*>(statement)
             : nullptr;
}

TEST(SqlPrintSinks, TheThreeSinksAgree) {
  Parsed parsed("select a, 'it''s 100%' from t where a between 1 and 2; commit");
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  std::string text = parsed.text();
  EXPECT_EQ(sql_statement_list_text_length(parsed.statements()), text.size());
  EXPECT_NE(text.find("'it''s 100%' "), std::string::npos) << text;

  char buffer[512];
  bool truncated = true;
  size_t full = sql_statement_list_into(parsed.statements(), buffer, sizeof buffer, &truncated);
  EXPECT_EQ(full, text.size());
  EXPECT_FALSE(truncated);
  EXPECT_EQ(std::string(buffer), text);

  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ASSERT_NE(pool, nullptr);
  const Node* first = parsed.first();
  char* pooled = sql_node_text_in_pool(pool, first, SQL_PRINT_PLAIN);
  ASSERT_NE(pooled, nullptr);
  EXPECT_EQ(std::string(pooled), sql_node_text(first));
  EXPECT_EQ(strlen(pooled), sql_node_text_length(first));
  quill_mem_release_handle(pool);
}

TEST(SqlPrintSinks, FixedBufferKeepsWholePiecesOnly) {
  Parsed parsed("select abcdef from t");
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  const std::string text = parsed.text();  // " SELECT ABCDEF FROM T"
  ASSERT_EQ(text, " SELECT ABCDEF FROM T");
  struct Case {
    size_t capacity;
    const char* kept;
  };
  const Case cases[] = {
      {0, ""},
      {1, ""},
      {8, ""},                       // " SELECT " needs 8 bytes plus the NUL
      {9, " SELECT "},               // exactly the first piece
      {14, " SELECT "},              // "ABCDEF" does not fit whole
      {15, " SELECT ABCDEF"},        // it does now
      {20, " SELECT ABCDEF"},        // " FROM " is one byte short
      {21, " SELECT ABCDEF FROM "},  // "T" is left out
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("capacity " + std::to_string(c.capacity));
    char buffer[64];
    memset(buffer, 'Z', sizeof buffer);
    bool truncated = false;
    size_t full = sql_statement_list_into(parsed.statements(), c.capacity ? buffer : nullptr,
                                          c.capacity, &truncated);
    EXPECT_EQ(full, text.size());
    EXPECT_TRUE(truncated);
    if (c.capacity > 0) {
      EXPECT_EQ(std::string(buffer), c.kept);
      EXPECT_EQ(buffer[c.capacity], 'Z') << "wrote past the buffer";
    }
  }
  char exact[22];
  bool truncated = true;
  EXPECT_EQ(sql_statement_list_into(parsed.statements(), exact, text.size() + 1, &truncated),
            text.size());
  EXPECT_FALSE(truncated);
  EXPECT_EQ(std::string(exact), text);
}

TEST(SqlPrintSinks, FormattedPiecesLongerThanTheScratchBuffer) {
  std::string long_value(5000, 'x');
  long_value[100] = '%';
  Parsed parsed("select '" + long_value + "' from t");
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  EXPECT_EQ(parsed.text(), " SELECT '" + long_value + "'  FROM T");
}

TEST(SqlPrintStatementList, SeparatorBetweenStatementsOnly) {
  const struct {
    const char* sql;
    const char* printed;
  } cases[] = {
      {"commit", "COMMIT WORK "},
      {"commit; rollback", "COMMIT WORK ; ROLLBACK WORK "},
      {"select a from t; select b from u;;", " SELECT A FROM T;  SELECT B FROM U"},
      {"delete from t;commit;rollback", "DELETE FROM T; COMMIT WORK ; ROLLBACK WORK "},
  };
  for (const auto& c : cases) {
    Parsed parsed(c.sql);
    ASSERT_TRUE(parsed.ok()) << c.sql << ": " << parsed.message();
    EXPECT_EQ(parsed.text(), c.printed) << c.sql;
  }
  EXPECT_EQ(sql_statement_list_text(nullptr), "");
}

TEST(SqlPrintModes, SatisfiedComparisonsAndColumnMarks) {
  Parsed parsed("select a, t.b from t where a = 1 and b > 2");
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  const QuerySpecNode* query = query_of(parsed.first());
  ASSERT_NE(query, nullptr);
  ASSERT_EQ(query->where->kind, NODE_OPERATOR);
  auto* conjunction = reinterpret_cast<const OperatorNode*>(query->where);
  auto* first = reinterpret_cast<OperatorNode*>(conjunction->left);
  ASSERT_EQ(first->kind, NODE_OPERATOR);
  first->mark = 1;
  auto* item_a = static_cast<SelectItemNode*>(ListData(ListFirst(query->select_list)));
  auto* item_b = static_cast<SelectItemNode*>(ListData(ListNext(ListFirst(query->select_list))));
  reinterpret_cast<ColumnRefNode*>(item_a->expression)->mark = SQL_COLUMN_MARK_A;
  reinterpret_cast<ColumnRefNode*>(item_b->expression)->mark = SQL_COLUMN_MARK_STAR;

  EXPECT_EQ(parsed.text(SQL_PRINT_PRUNED), " SELECT A, T.B FROM T WHERE (  (0=0)  AND ( B > 2  ))");
  EXPECT_EQ(parsed.text(SQL_PRINT_PLAIN),
            " SELECT A, T.B FROM T WHERE ( ( A = 1  ) AND ( B > 2  ))");
  EXPECT_EQ(parsed.text(SQL_PRINT_MARKED),
            " SELECT A(A) , T.B(*)  FROM T WHERE ( ( A = 1  ) AND ( B > 2  ))");
  EXPECT_EQ(parsed.text(7), parsed.text(SQL_PRINT_PLAIN));
}

// Trees later stages build (or damaged ones) print without crashing.
class SqlPrintHandBuilt : public ::testing::Test {
 protected:
  void SetUp() override { pool_ = quill_mem_alloc_handle(nullptr); }
  void TearDown() override { quill_mem_release_handle(pool_); }
  template <typename T>
  T* make(int32_t kind) {
    return static_cast<T*>(newNode(sizeof(T), kind, pool_));
  }
  LiteralNode* integer(int32_t value) {
    auto* literal = make<LiteralNode>(NODE_LITERAL);
    literal->value_kind = LIT_INTEGER;
    literal->integer = value;
    return literal;
  }
  MemPool* pool_ = nullptr;
};

TEST_F(SqlPrintHandBuilt, UnknownKindsAndValueTypes) {
  auto* odd = make<Node>(999);
  std::string text = sql_node_text(odd);
  EXPECT_EQ(text.rfind("<unexpected node type ", 0), 0u) << text;
  EXPECT_NE(text.find("->999>"), std::string::npos) << text;

  auto* literal = make<LiteralNode>(NODE_LITERAL);
  literal->value_kind = 77;
  EXPECT_EQ(sql_node_text(reinterpret_cast<Node*>(literal)), "<unexpected value type>");
  EXPECT_EQ(sql_node_text(nullptr), "");
}

TEST_F(SqlPrintHandBuilt, WrapperNotAndReducedIn) {
  auto* wrapper = make<WrapperNode>(NODE_WRAPPER);
  wrapper->wrapped = reinterpret_cast<Node*>(integer(7));
  EXPECT_EQ(sql_node_text(reinterpret_cast<Node*>(wrapper)), "7 ");

  auto* negation = make<OperatorNode>(NODE_OPERATOR);
  negation->op_class = OPCLASS_NOT;
  negation->right = reinterpret_cast<Node*>(integer(1));
  EXPECT_EQ(sql_node_text(reinterpret_cast<Node*>(negation)), "(  NOT 1 )");

  auto* in = make<InNode>(NODE_IN);
  in->operand = reinterpret_cast<Node*>(integer(1));
  in->reduced = 1;
  EXPECT_EQ(sql_node_text(reinterpret_cast<Node*>(in)), " 1 = 1 ");
  in->reduced = 2;
  EXPECT_EQ(sql_node_text(reinterpret_cast<Node*>(in)), " 1 = 0 ");
}

TEST_F(SqlPrintHandBuilt, DoublesDropTrailingZeros) {
  const struct {
    double value;
    const char* printed;
  } cases[] = {{1500.0, "1500 "}, {0.25, "0.25 "}, {-2.5, "-2.5 "}, {0.0, "0 "}, {1e-9, "0 "}};
  for (const auto& c : cases) {
    auto* literal = make<LiteralNode>(NODE_LITERAL);
    literal->value_kind = LIT_DOUBLE;
    literal->real = c.value;
    EXPECT_EQ(sql_node_text(reinterpret_cast<Node*>(literal)), c.printed) << c.value;
  }
}

// Types as CONVERT builds them: a type code and sizes, no qualifier node.
TEST_F(SqlPrintHandBuilt, DataTypesWithoutWrittenQualifier) {
  const struct {
    int32_t sql_type;
    int32_t length;
    int32_t scale;
    const char* printed;
  } cases[] = {
      {SQL_INTERVAL_DAY_TO_SECOND, 3, 4, " INTERVAL DAY( 3 )  TO  SECOND( 4 ) "},
      {SQL_INTERVAL_SECOND, -1, 3, " INTERVAL SECOND( 2, 3 ) "},
      {SQL_INTERVAL_SECOND, 5, -1, " INTERVAL SECOND( 5 ) "},
      {SQL_INTERVAL_YEAR_TO_MONTH, -1, -1, " INTERVAL YEAR  TO  MONTH "},
      {SQL_INTERVAL_HOUR, 4, -1, " INTERVAL HOUR( 4 ) "},
      {SQL_CHAR, -1, -1, " CHARACTER "},
      {SQL_VARCHAR, 254, -1, " CHARACTER VARYING( 254 ) "},
      {SQL_FLOAT, 0, -1, " FLOAT "},
      {SQL_TYPE_TIMESTAMP, 6, -1, " TIMESTAMP ( 6 ) "},
      {SQL_DATE, -1, -1, " DATE "},
      {9999, -1, -1, " <unexpected data type 9999> "},
  };
  for (const auto& c : cases) {
    auto* type = make<DataTypeNode>(NODE_DATA_TYPE);
    type->sql_type = c.sql_type;
    type->length = c.length;
    type->scale = c.scale;
    EXPECT_EQ(sql_node_text(reinterpret_cast<Node*>(type)), c.printed) << c.sql_type;
  }
}

TEST_F(SqlPrintHandBuilt, QuerySetToDistinctBeforePrinting) {
  Parsed parsed("select a from t");
  ASSERT_TRUE(parsed.ok()) << parsed.message();
  auto* query = const_cast<QuerySpecNode*>(query_of(parsed.first()));
  ASSERT_NE(query, nullptr);
  query->quantifier = QUANT_DISTINCT;
  EXPECT_EQ(sql_node_text(reinterpret_cast<Node*>(query)), " SELECT DISTINCT A FROM T");
}

}  // namespace
