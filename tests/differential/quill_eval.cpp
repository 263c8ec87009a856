// Driver side of the differential test: parse `SELECT <expression>`, evaluate the select
// item with a stand-alone evaluation context, and reduce the value to an Outcome.
#include <cstdio>
#include <string>
#include <vector>

#include "driver/sql/eval.h"
#include "driver/sql/parser.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/numeric.h"
#include "tests/differential/outcome.h"

namespace {

// The expression of the only select item of a parsed `SELECT <expression>`, or the
// condition of a parsed `SELECT 1 FROM dual WHERE <condition>` (predicates are not select items).
const Node* select_expression(ParseContext* parse, bool predicate) {
  const ListNode* statements = parse_statements(parse);
  if (!statements) return nullptr;
  const Node* statement = static_cast<const Node*>(statements->data);
  if (statement->kind == NODE_CURSOR_SPEC)
    statement = reinterpret_cast<const CursorSpecNode*>(statement)->query;
  if (statement->kind != NODE_QUERY_SPEC) return nullptr;
  if (predicate) return reinterpret_cast<const QuerySpecNode*>(statement)->where;
  const ListNode* items = reinterpret_cast<const QuerySpecNode*>(statement)->select_list;
  if (!items) return nullptr;
  return reinterpret_cast<const SelectItemNode*>(items->data)->expression;
}

Outcome reduce(const QuillValue* value, bool predicate) {
  Outcome out;
  if (predicate) {
    int truth = get_trivalue_from_value(value);
    if (truth == TRUTH_UNKNOWN) return out;
    out.kind = Outcome::Kind::Integer;
    out.integer = truth == TRUTH_TRUE ? 1 : 0;
    return out;
  }
  if (is_value_null(value)) return out;
  switch (value->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      out.kind = Outcome::Kind::Integer;
      out.integer = value->payload.integer;
      break;
    case VALUE_BIGINT:
      out.kind = Outcome::Kind::Integer;
      out.integer = value->payload.bigint;
      break;
    case VALUE_DOUBLE:
      out.kind = Outcome::Kind::Double;
      out.real = value->payload.real;
      break;
    case VALUE_NUMERIC: {
      double number = 0;
      get_double_from_value(value, &number);
      out.kind = Outcome::Kind::Double;
      out.real = number;
      out.from_numeric = true;
      break;
    }
    default: {
      std::vector<char> text(VALUE_TEXT_SIZE);
      value_as_text(value, text.data());
      out.kind = Outcome::Kind::Text;
      out.text = text.data();
    }
  }
  return out;
}

}  // namespace

Outcome evaluate_with_quill(const std::string& expression, bool predicate) {
  Outcome out;
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  ParseContext* parse = parse_context_create(pool);
  std::string sql = (predicate ? "SELECT 1 FROM dual WHERE " : "SELECT ") + expression;
  const Node* tree = nullptr;
  if (sql_parse(parse, sql.data()) != 0 || !(tree = select_expression(parse, predicate))) {
    out.kind = Outcome::Kind::Error;
    out.sqlstate = "parse";
    out.text = parse_message(parse);
  } else {
    EvalContext context{};
    eval_context_prepare(&context, pool, errors);
    QuillValue* value = eval_expr(tree, &context, nullptr, nullptr, 0);
    if (!value) {
      out.kind = Outcome::Kind::Error;
      char state[6] = "", message[512] = "";
      SQLINTEGER native = 0;
      SQLSMALLINT length = 0;
      GetDiagRec(errors, 1, reinterpret_cast<SQLCHAR*>(state), &native,
                 reinterpret_cast<SQLCHAR*>(message), sizeof message, &length);
      out.sqlstate = state;
      out.text = message;
    } else {
      out = reduce(value, predicate);
      release_value(pool, value);
    }
  }
  parse_context_free(parse);
  quill_mem_release_handle(pool);
  return out;
}
