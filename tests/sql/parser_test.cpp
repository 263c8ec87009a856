// Tests of the SQL parser: the "parse" check of the case files (tests/sql/cases/parse) plus
// the cases a case file cannot hold (length limit, stack depth, parameter counts, concurrent
// parses, pool release).
//
// A parse case expects one "> " line per statement, the tree dump below, or "error
// <message>", the exact text of the parse failure.
// Tree dump: s-expressions, names dotted as written (quoted names in "..."), literals as
// (int N) (num TEXT) (dbl TEXT) (str 'TEXT') (bits B) (hex HEX) (date Y-M-D) (time H:M:S)
// (ts Y-M-D H:M:S.F) (hash TEXT) (bool N) (null) (user) (current_user) (current_date)
// (current_time P) (current_timestamp P) (identity) (interval TYPE TEXT); parameters ?N.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "driver/sql/parser.h"
#include "tests/sql/case_file.h"

namespace {

std::string dump(const Node* node);

std::string dump_name(const NameNode* name) {
  if (!name) return "";
  return name->quoted ? "\"" + std::string(name->text) + "\"" : std::string(name->text);
}

std::string dump_list(const ListNode* list) {
  std::string out;
  for (ListNode* n = ListFirst(const_cast<ListNode*>(list)); n; n = ListNext(n)) {
    if (!out.empty()) out += ' ';
    out += dump(static_cast<const Node*>(ListData(n)));
  }
  return "(" + out + ")";
}

std::string dump_names(const ListNode* list) {
  std::string out;
  for (ListNode* n = ListFirst(const_cast<ListNode*>(list)); n; n = ListNext(n)) {
    if (!out.empty()) out += ' ';
    out += dump_name(static_cast<const NameNode*>(ListData(n)));
  }
  return "(" + out + ")";
}

// link$catalog.schema[.table].last with empty inner parts kept.
std::string dotted(const NameNode* link, std::vector<const NameNode*> inner,
                   const std::string& last) {
  std::string out = link ? dump_name(link) + "$" : "";
  bool started = false;
  for (const NameNode* part : inner) {
    if (part) started = true;
    if (started) out += dump_name(part) + ".";
  }
  return out + last;
}

const char* op_symbol(int op) {
  static const char* const kSymbols[] = {"?", "+", "-",  "||", "*", "/", "neg",
                                         "<", ">", ">=", "<=", "=", "<>"};
  return op >= 0 && op <= 12 ? kSymbols[op] : "?";
}

std::string num(long v) {
  return std::to_string(v);
}

std::string dump_literal(const LiteralNode* l) {
  char buffer[128];
  switch (l->value_kind) {
    case LIT_INTEGER:
      return "(int " + num(l->integer) + ")";
    case LIT_EXACT_NUMERIC:
      return "(num " + std::string(l->text) + ")";
    case LIT_DOUBLE:
      std::snprintf(buffer, sizeof buffer, "(dbl %s=%g)", l->text, l->real);
      return buffer;
    case LIT_STRING:
      return "(str '" + std::string(l->text) + "')";
    case LIT_BIT_STRING:
      return "(bits " + std::string(l->text) + ")";
    case LIT_HEX_STRING: {
      std::string out = "(hex ";
      for (int i = 0; i < l->byte_count; ++i) {
        std::snprintf(buffer, sizeof buffer, "%02X", l->bytes[i]);
        out += buffer;
      }
      return out + ")";
    }
    case LIT_DATE:
      std::snprintf(buffer, sizeof buffer, "(date %d-%d-%d)", l->date.year, l->date.month,
                    l->date.day);
      return buffer;
    case LIT_TIME:
      std::snprintf(buffer, sizeof buffer, "(time %d:%d:%d)", l->time.hour, l->time.minute,
                    l->time.second);
      return buffer;
    case LIT_TIMESTAMP:
      std::snprintf(buffer, sizeof buffer, "(ts %d-%d-%d %d:%d:%d.%u)", l->timestamp.year,
                    l->timestamp.month, l->timestamp.day, l->timestamp.hour, l->timestamp.minute,
                    l->timestamp.second, static_cast<unsigned>(l->timestamp.fraction));
      return buffer;
    case LIT_HASH_DATETIME:
      return "(hash " + std::string(l->text) + ")";
    case LIT_BOOLEAN:
      return "(bool " + num(l->integer) + ")";
    case LIT_NULL:
      return "(null)";
    case LIT_USER:
      return "(user)";
    case LIT_CURRENT_USER:
      return "(current_user)";
    case LIT_CURRENT_DATE:
      return "(current_date)";
    case LIT_CURRENT_TIME:
      return "(current_time " + num(l->precision) + ")";
    case LIT_CURRENT_TIMESTAMP:
      return "(current_timestamp " + num(l->precision) + ")";
    case LIT_IDENTITY:
      return "(identity)";
    case LIT_INTERVAL:
      return "(interval " + num(l->interval_type) + " " + std::string(l->text) + ")";
    default:
      return "(literal?)";
  }
}

std::string dump_type(const DataTypeNode* t) {
  return "(type " + num(t->sql_type) + " " + num(t->length) + " " + num(t->scale) +
         (t->sign ? " sign" + num(t->sign) : "") + (t->auto_number ? " auto" : "") + ")";
}

std::string opt(const Node* node) {
  return node ? " " + dump(node) : "";
}

std::string dump(const Node* node) {
  if (!node) return "_";
  switch (node->kind) {
    case NODE_NAME:
      return dump_name(reinterpret_cast<const NameNode*>(node));
    case NODE_TABLE_NAME: {
      auto* n = reinterpret_cast<const TableNameNode*>(node);
      return "(table " + dotted(n->link, {n->catalog, n->schema}, dump_name(n->table)) + ")";
    }
    case NODE_COLUMN_REF: {
      auto* n = reinterpret_cast<const ColumnRefNode*>(node);
      return "(col " +
             dotted(n->link, {n->catalog, n->schema, n->table},
                    n->wildcard ? "*" : dump_name(n->column)) +
             ")";
    }
    case NODE_LITERAL:
      return dump_literal(reinterpret_cast<const LiteralNode*>(node));
    case NODE_PARAMETER:
      return "?" + num(reinterpret_cast<const ParameterNode*>(node)->number);
    case NODE_OPERATOR: {
      auto* n = reinterpret_cast<const OperatorNode*>(node);
      if (n->op_class == OPCLASS_AND) return "(and " + dump(n->left) + " " + dump(n->right) + ")";
      if (n->op_class == OPCLASS_OR) return "(or " + dump(n->left) + " " + dump(n->right) + ")";
      if (n->op == OP_NEGATE) return "(neg " + dump(n->right) + ")";
      return "(" + std::string(op_symbol(n->op)) + " " + dump(n->left) + " " + dump(n->right) + ")";
    }
    case NODE_QUERY_SPEC: {
      auto* n = reinterpret_cast<const QuerySpecNode*>(node);
      std::string out = "(select";
      if (n->quantifier) out += n->quantifier == QUANT_ALL ? " all" : " distinct";
      if (n->top >= 0) out += " top" + num(n->top);
      out += n->select_list ? " " + dump_list(n->select_list) : " *";
      if (n->from) out += " from" + dump_list(n->from);
      if (n->where) out += " where " + dump(n->where);
      return out + ")";
    }
    case NODE_GROUPED_QUERY: {
      auto* n = reinterpret_cast<const GroupedQueryNode*>(node);
      return "(grouped " + dump(reinterpret_cast<const Node*>(n->query)) +
             (n->group_by ? " by" + dump_list(n->group_by) : "") +
             (n->having ? " having " + dump(n->having) : "") + ")";
    }
    case NODE_UNION: {
      auto* n = reinterpret_cast<const UnionNode*>(node);
      return std::string(n->all ? "(union-all " : "(union ") + dump(n->left) + " " +
             dump(n->right) + ")";
    }
    case NODE_CURSOR_SPEC: {
      auto* n = reinterpret_cast<const CursorSpecNode*>(node);
      if (!n->order_by && !n->has_limit && !n->offset) return dump(n->query);
      return "(cursor " + dump(n->query) + (n->order_by ? " order" + dump_list(n->order_by) : "") +
             (n->has_limit ? " limit" + num(n->limit) : "") +
             (n->offset ? " offset" + num(n->offset) : "") + ")";
    }
    case NODE_ORDER_ITEM: {
      auto* n = reinterpret_cast<const OrderItemNode*>(node);
      return dump(n->expression) + (n->descending ? " desc" : "");
    }
    case NODE_SELECT_FOR_UPDATE: {
      auto* n = reinterpret_cast<const SelectForUpdateNode*>(node);
      return "(for-update " + dump(n->query) + (n->columns ? " " + dump_list(n->columns) : "") +
             ")";
    }
    case NODE_SELECT_ITEM: {
      auto* n = reinterpret_cast<const SelectItemNode*>(node);
      return n->alias ? "(as " + dump(n->expression) + " " + dump_name(n->alias) + ")"
                      : dump(n->expression);
    }
    case NODE_TABLE_REF: {
      auto* n = reinterpret_cast<const TableRefNode*>(node);
      return n->alias ? "(ref " + dump(n->table) + " " + dump_name(n->alias) +
                            (n->column_aliases ? " " + dump_list(n->column_aliases) : "") + ")"
                      : dump(n->table);
    }
    case NODE_JOINED_TABLE: {
      auto* n = reinterpret_cast<const JoinedTableNode*>(node);
      static const char* const kJoins[] = {"?", "inner", "left", "right", "full"};
      std::string out = std::string("(") + (n->natural ? "natural-" : "") + kJoins[n->join_type] +
                        (n->escaped ? "-oj " : " ") + dump(n->left) + " " + dump(n->right);
      if (n->condition && n->condition->on) out += " on " + dump(n->condition->on);
      if (n->condition && n->condition->using_columns)
        out += " using " + dump_names(n->condition->using_columns);
      return out + ")";
    }
    case NODE_SET_FUNCTION: {
      auto* n = reinterpret_cast<const SetFunctionNode*>(node);
      static const char* const kNames[] = {"?",   "count",  "max",   "min", "sum",
                                           "avg", "count*", "first", "last"};
      return std::string("(") + kNames[n->function] + (n->distinct ? " distinct" : "") +
             opt(n->operand) + ")";
    }
    case NODE_FUNCTION: {
      auto* n = reinterpret_cast<const FunctionNode*>(node);
      return "(fn " + std::string(n->name ? n->name : "?") + "#" + num(n->number) + " " +
             dump_list(n->arguments) + ")";
    }
    case NODE_ARG_PAIR:
      return "(pair " + dump_list(reinterpret_cast<const ArgPairNode*>(node)->items) + ")";
    case NODE_TRIM_SPEC: {
      auto* n = reinterpret_cast<const TrimSpecNode*>(node);
      return "(trim " + num(n->side) + " " + dump(n->character) + " " + dump(n->source) + ")";
    }
    case NODE_INTERVAL_FIELD: {
      auto* n = reinterpret_cast<const IntervalFieldNode*>(node);
      return "(field " + num(n->field) + " " + num(n->precision) + " " +
             num(n->fraction_precision) + ")";
    }
    case NODE_CAST: {
      auto* n = reinterpret_cast<const CastNode*>(node);
      return "(cast " + dump(n->operand) + " " + dump_type(n->type) + ")";
    }
    case NODE_CASE: {
      auto* n = reinterpret_cast<const CaseNode*>(node);
      return "(case" + opt(n->operand) + " " + dump_list(n->whens) +
             (n->else_result ? " else " + dump(n->else_result) : "") + ")";
    }
    case NODE_WHEN: {
      auto* n = reinterpret_cast<const WhenNode*>(node);
      return "(when " + dump(n->condition) + " " + dump(n->result) + ")";
    }
    case NODE_NULLIF: {
      auto* n = reinterpret_cast<const NullifNode*>(node);
      return "(nullif " + dump(n->first) + " " + dump(n->second) + ")";
    }
    case NODE_COALESCE:
      return "(coalesce " + dump_list(reinterpret_cast<const CoalesceNode*>(node)->expressions) +
             ")";
    case NODE_EXISTS: {
      auto* n = reinterpret_cast<const ExistsNode*>(node);
      return std::string(n->negated ? "(not-exists " : "(exists ") + dump(n->query) + ")";
    }
    case NODE_LIKE: {
      auto* n = reinterpret_cast<const LikeNode*>(node);
      return std::string(n->negated ? "(not-like " : "(like ") + dump(n->operand) + " " +
             dump(n->pattern) + opt(n->escape) + ")";
    }
    case NODE_IS_NULL: {
      auto* n = reinterpret_cast<const IsNullNode*>(node);
      return std::string(n->negated ? "(is-not-null " : "(is-null ") + dump(n->operand) + ")";
    }
    case NODE_IN: {
      auto* n = reinterpret_cast<const InNode*>(node);
      return std::string(n->negated ? "(not-in " : "(in ") + dump(n->operand) + " " +
             (n->values ? dump_list(n->values) : dump(n->query)) + ")";
    }
    case NODE_QUANTIFIED: {
      auto* n = reinterpret_cast<const QuantifiedNode*>(node);
      static const char* const kQ[] = {"?", "all", "any", "some"};
      return std::string("(") + (n->negated ? "not-" : "") + kQ[n->quantifier] + " " +
             op_symbol(n->op) + " " + dump(n->operand) + " " + dump(n->query) + ")";
    }
    case NODE_INSERT: {
      auto* n = reinterpret_cast<const InsertNode*>(node);
      const InsertSourceNode* s = n->source;
      std::string out = "(insert " + dump(reinterpret_cast<const Node*>(n->table));
      if (s->columns) out += " " + dump_names(s->columns);
      if (s->default_values) out += " default-values";
      if (s->values) out += " values" + dump_list(s->values);
      if (s->query) out += " " + dump(s->query);
      return out + ")";
    }
    case NODE_VALUES_KEYWORD:
      return reinterpret_cast<const ValuesKeywordNode*>(node)->which == 1 ? "NULL" : "DEFAULT";
    case NODE_UPDATE_SEARCHED: {
      auto* n = reinterpret_cast<const UpdateSearchedNode*>(node);
      return "(update " + dump(reinterpret_cast<const Node*>(n->table)) + " " +
             dump_list(n->assignments) + opt(n->where) + ")";
    }
    case NODE_UPDATE_POSITIONED: {
      auto* n = reinterpret_cast<const UpdatePositionedNode*>(node);
      return "(update " + dump(reinterpret_cast<const Node*>(n->table)) + " " +
             dump_list(n->assignments) + " current " + dump_name(n->cursor) + ")";
    }
    case NODE_SET_ASSIGNMENT: {
      auto* n = reinterpret_cast<const SetAssignmentNode*>(node);
      static const char* const kValue[] = {"", "subquery ", "NULL", "DEFAULT"};
      return "(set " + dump_name(n->column) + " " + kValue[n->value_kind] +
             (n->value ? dump(n->value) : "") + ")";
    }
    case NODE_DELETE_SEARCHED: {
      auto* n = reinterpret_cast<const DeleteSearchedNode*>(node);
      return "(delete " + dump(reinterpret_cast<const Node*>(n->table)) + opt(n->where) + ")";
    }
    case NODE_DELETE_POSITIONED: {
      auto* n = reinterpret_cast<const DeletePositionedNode*>(node);
      return "(delete " + dump(reinterpret_cast<const Node*>(n->table)) + " current " +
             dump_name(n->cursor) + ")";
    }
    case NODE_CALL: {
      auto* n = reinterpret_cast<const CallNode*>(node);
      return "(call " + dump(reinterpret_cast<const Node*>(n->procedure)) + " " +
             dump_list(n->arguments) +
             (n->return_value ? " ret " + dump(reinterpret_cast<const Node*>(n->return_value))
                              : "") +
             ")";
    }
    case NODE_COMMIT:
      return "(commit)";
    case NODE_ROLLBACK:
      return "(rollback)";
    case NODE_CREATE_TABLE: {
      auto* n = reinterpret_cast<const CreateTableNode*>(node);
      return "(create-table " + dump(reinterpret_cast<const Node*>(n->table)) +
             (n->storage_kind ? " storage" + num(n->storage_kind) + "=" + n->storage : "") + " " +
             dump_list(n->elements) + ")";
    }
    case NODE_COLUMN_DEF: {
      auto* n = reinterpret_cast<const ColumnDefNode*>(node);
      return "(column " + dump_name(n->name) + " " + dump_type(n->type) +
             (n->constraints ? " " + dump_list(n->constraints) : "") + ")";
    }
    case NODE_COLUMN_CONSTRAINT: {
      auto* n = reinterpret_cast<const ColumnConstraintNode*>(node);
      std::string out = "(cc" + num(n->type);
      if (n->condition) out += " " + dump(n->condition);
      if (n->start >= 0) out += " start" + num(n->start);
      if (n->step >= 0) out += " step" + num(n->step);
      if (n->on_key >= 0) out += " key" + num(n->on_key);
      if (n->ref_table) out += " " + dump(reinterpret_cast<const Node*>(n->ref_table));
      if (n->ref_column) out += " " + dump_name(n->ref_column);
      if (n->default_value) out += " " + dump(reinterpret_cast<const Node*>(n->default_value));
      if (n->as_name) out += " " + dump_name(n->as_name);
      if (n->as_items) out += " " + dump_list(n->as_items);
      if (n->as_text) out += std::string(" '") + n->as_text + "'";
      return out + ")";
    }
    case NODE_TABLE_CONSTRAINT: {
      auto* n = reinterpret_cast<const TableConstraintNode*>(node);
      std::string out = "(tc" + num(n->type);
      if (n->name) out += " " + dump_name(n->name);
      if (n->columns) out += " " + dump_names(n->columns);
      if (n->condition) out += " " + dump(n->condition);
      if (n->ref_table) out += " " + dump(reinterpret_cast<const Node*>(n->ref_table));
      if (n->ref_columns) out += " " + dump_names(n->ref_columns);
      if (n->on_delete) out += " ondelete" + num(n->on_delete);
      if (n->on_key >= 0) out += " key" + num(n->on_key);
      return out + ")";
    }
    case NODE_ALTER_TABLE_ADD: {
      auto* n = reinterpret_cast<const AlterTableAddNode*>(node);
      return "(alter-add " + dump(reinterpret_cast<const Node*>(n->table)) + " " +
             dump_list(n->columns) + ")";
    }
    case NODE_ALTER_TABLE_DROP: {
      auto* n = reinterpret_cast<const AlterTableDropNode*>(node);
      return "(alter-drop " + dump(reinterpret_cast<const Node*>(n->table)) + " " +
             dump_name(n->column) + " " + num(n->drop_behaviour) + ")";
    }
    case NODE_CREATE_INDEX: {
      auto* n = reinterpret_cast<const CreateIndexNode*>(node);
      std::string cols;
      for (ListNode* c = ListFirst(n->columns); c; c = ListNext(c)) {
        auto* ic = static_cast<const IndexColumnNode*>(ListData(c));
        cols += " " + dump_name(ic->name) + (ic->descending ? "-desc" : "");
      }
      return "(create-index" + std::string(n->unique ? " unique " : " ") + dump_name(n->index) +
             " " + dump(reinterpret_cast<const Node*>(n->table)) + cols +
             (n->on_key >= 0 ? " key" + num(n->on_key) : "") + ")";
    }
    case NODE_CREATE_VIEW: {
      auto* n = reinterpret_cast<const CreateViewNode*>(node);
      return "(create-view " + dump(reinterpret_cast<const Node*>(n->view)) +
             (n->columns ? " " + dump_names(n->columns) : "") + " " + dump(n->query) +
             (n->check_option ? " check" : "") + ")";
    }
    case NODE_DROP_INDEX: {
      auto* n = reinterpret_cast<const DropIndexNode*>(node);
      return "(drop-index " + dump_name(n->index) + " " +
             dump(reinterpret_cast<const Node*>(n->table)) + ")";
    }
    case NODE_DROP_TABLE:
    case NODE_DROP_VIEW: {
      auto* n = reinterpret_cast<const DropTableNode*>(node);
      return std::string(node->kind == NODE_DROP_TABLE ? "(drop-table " : "(drop-view ") +
             dump(reinterpret_cast<const Node*>(n->table)) + " " + num(n->drop_behaviour) + ")";
    }
    case NODE_GRANT:
    case NODE_REVOKE: {
      auto* n = reinterpret_cast<const GrantNode*>(node);
      std::string privileges;
      for (ListNode* p = ListFirst(n->privileges); p; p = ListNext(p)) {
        auto* pr = static_cast<const PrivilegeNode*>(ListData(p));
        privileges += " p" + num(pr->action) + (pr->columns ? dump_names(pr->columns) : "");
      }
      return std::string(node->kind == NODE_GRANT ? "(grant" : "(revoke") +
             (n->privileges ? privileges : " all") + " " +
             dump(reinterpret_cast<const Node*>(n->table)) + " " +
             (n->grantees ? dump_names(n->grantees) : "public") +
             (n->grant_option ? " with-grant" : "") +
             (n->drop_behaviour ? " " + num(n->drop_behaviour) : "") + ")";
    }
    case NODE_CREATE_USER: {
      auto* n = reinterpret_cast<const CreateUserNode*>(node);
      return "(create-user " + dump_name(n->user) + " " + dump_name(n->authorization) + " " +
             dump_name(n->in_name) + ")";
    }
    case NODE_DROP_USER: {
      auto* n = reinterpret_cast<const DropUserNode*>(node);
      return "(drop-user " + dump_name(n->user) + " " + dump_name(n->in_name) + ")";
    }
    default:
      return "(kind" + num(node->kind) + ")";
  }
}

// Parses `sql` and renders the outcome: "ok" and one line per statement, or "error: <message>".
std::string outcome(const std::string& sql, int32_t* parameters = nullptr) {
  ParseContext* context = parse_context_create(nullptr);
  if (!context) return "no context";
  std::vector<char> text(sql.begin(), sql.end());
  text.push_back('\0');
  std::string result;
  if (sql_parse(context, text.data()) != 0) {
    result = "error: " + std::string(parse_message(context));
  } else {
    result = "ok";
    for (ListNode* n = ListFirst(parse_statements(context)); n; n = ListNext(n))
      result += "\n" + dump(static_cast<const Node*>(ListData(n)));
    if (parameters) *parameters = parse_parameter_count(context);
  }
  parse_context_free(context);
  return result;
}

// One case of the "parse" check: the tree of each statement parsed, or the parser's message.
CaseOutcome run_parse_case(const SqlCase& c) {
  std::string text = outcome(c.input);
  CaseOutcome parsed;
  if (text.rfind("error: ", 0) == 0) {
    parsed.failed = true;
    parsed.error = text.substr(7);
    return parsed;
  }
  std::istringstream lines(text);
  std::string line;
  std::getline(lines, line);
  if (line != "ok") return case_outcome_from_line(text);
  while (std::getline(lines, line)) parsed.rows.push_back(line);
  return parsed;
}

[[maybe_unused]] const bool kParseCasesRegistered = register_case_function("parse", run_parse_case);

TEST(SqlParserLimits, TextLengthLimit) {
  std::string ok_text = "SELECT a FROM t" + std::string(0x100000 - 15, ' ');
  ASSERT_EQ(ok_text.size(), 0x100000u);
  EXPECT_EQ("ok\n(select ((col A)) from((table T)))", outcome(ok_text));
  std::string long_text = ok_text + " ";
  EXPECT_EQ("error: Parser limit exceeded (length) near ''", outcome(long_text));
  EXPECT_EQ("error: Parser limit exceeded (length) near ''", outcome(long_text + "x;"));
}

TEST(SqlParserLimits, DeepNestingStopsWithMemoryExhausted) {
  std::string shallow = "SELECT " + std::string(1000, '(') + "1" + std::string(1000, ')');
  EXPECT_EQ(0u, outcome(shallow).rfind("ok", 0));
  std::string deep = "SELECT " + std::string(20000, '(') + "1" + std::string(20000, ')');
  EXPECT_EQ("error: memory exhausted near '('", outcome(deep));
}

TEST(SqlParserLimits, MessageIsCutTo254Characters) {
  std::string sql = "SELECT \"" + std::string(400, 'x');
  std::string result = outcome(sql);
  EXPECT_EQ(std::string("error: ").size() + 254, result.size());
  EXPECT_EQ(0u, result.find("error: ERROR - unexpected end to delimited identifier near '\"xxx"));
}

TEST(SqlParserParameters, CountedInTextOrder) {
  struct Case {
    const char* sql;
    int32_t count;
    const char* dump;
  } cases[] = {
      {"SELECT a FROM t WHERE a = ? AND b = ?", 2,
       "ok\n(select ((col A)) from((table T)) where (and (= (col A) ?1) (= (col B) ?2)))"},
      {"{?=call p(?, ?)}", 3, "ok\n(call (table P) (?2 ?3) ret ?1)"},
      {"SELECT 1; SELECT ? FROM t", 1, "ok\n(select ((int 1)))\n(select (?1) from((table T)))"},
      {"SELECT a FROM t", 0, "ok\n(select ((col A)) from((table T)))"},
  };
  for (const Case& c : cases) {
    int32_t count = -1;
    EXPECT_EQ(c.dump, outcome(c.sql, &count)) << c.sql;
    EXPECT_EQ(c.count, count) << c.sql;
  }
}

TEST(SqlParserContext, FailedParseLeavesNoTreeAndContextIsReusable) {
  ParseContext* context = parse_context_create(nullptr);
  ASSERT_NE(nullptr, context);
  char bad[] = "SELECT FROM";
  EXPECT_NE(0, sql_parse(context, bad));
  EXPECT_EQ(nullptr, parse_statements(context));
  EXPECT_STREQ("syntax error near 'FROM'", parse_message(context));
  char good[] = "  SELECT a\tFROM t ;;  ";
  EXPECT_EQ(0, sql_parse(context, good));
  EXPECT_STREQ("", parse_message(context));
  EXPECT_EQ(1, ListCount(parse_statements(context)));
  EXPECT_NE(nullptr, parse_pool(context));
  parse_context_free(context);
  EXPECT_EQ(-1, sql_parse(nullptr, good));
}

TEST(SqlParserContext, ParsesRunConcurrently) {
  auto work = [](int seed, bool* ok) {
    for (int i = 0; i < 200 && *ok; ++i) {
      std::string sql =
          "SELECT a" + std::to_string(seed) + " FROM t WHERE b BETWEEN ? AND " + std::to_string(i);
      std::string expected = "ok\n(select ((col A" + std::to_string(seed) +
                             ")) from((table T)) where (and (>= (col B) ?1) (<= (col B) (int " +
                             std::to_string(i) + "))))";
      if (outcome(sql) != expected) *ok = false;
    }
  };
  bool ok[4] = {true, true, true, true};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) threads.emplace_back(work, t, &ok[t]);
  for (std::thread& t : threads) t.join();
  for (bool b : ok) EXPECT_TRUE(b);
}

}  // namespace
