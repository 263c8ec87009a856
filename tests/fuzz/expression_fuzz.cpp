// libFuzzer target: arbitrary bytes as one expression. `SELECT <expression>` is parsed,
// validated (without tables, so column references fail cleanly) and, when valid,
// evaluated. Every stage must accept or refuse with a diagnostic, never crash, hang or leak.
#include <cstddef>
#include <cstdint>
#include <string>

#include "driver/dal/dal.h"
#include "driver/odbc/connect/backend_list.h"
#include "driver/sql/eval.h"
#include "driver/sql/parser.h"
#include "driver/sql/validate.h"
#include "support/diag.h"
#include "support/memory.h"

namespace {

const Node* first_select_item(ListNode* statements) {
  const Node* statement = static_cast<const Node*>(statements->data);
  if (statement->kind == NODE_CURSOR_SPEC)
    statement = reinterpret_cast<const CursorSpecNode*>(statement)->query;
  if (statement->kind != NODE_QUERY_SPEC) return nullptr;
  const ListNode* items = reinterpret_cast<const QuerySpecNode*>(statement)->select_list;
  return items ? reinterpret_cast<const SelectItemNode*>(items->data)->expression : nullptr;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // No length cap: the parser holds every tree to its nesting limit, so no walk below can
  // exhaust the stack, however long the input.
  std::string text = "SELECT " + std::string(reinterpret_cast<const char*>(data), size);
  MemPool* pool = quill_mem_alloc_handle(nullptr);
  ErrorHeader* errors = CreateErrorHeader(pool, nullptr);
  Dal* dal = dal_create(nullptr, errors);
  ParseContext* parse = parse_context_create(pool);
  if (parse && errors && dal && sql_parse(parse, text.data()) == 0 && parse_statements(parse)) {
    ValidateTarget target{dal, errors, pool, nullptr, nullptr, 3};
    StatementPlanList* plans = nullptr;
    int valid = validate_statements(target, parse_statements(parse), &plans);
    if (valid != 0 && GetErrorCount(errors) == 0) __builtin_trap();  // refused without a word
    const Node* expression = valid == 0 ? first_select_item(parse_statements(parse)) : nullptr;
    if (expression) {
      SetupErrorHeader(errors, 0);
      EvalContext context{};
      eval_context_prepare(&context, pool, errors);
      QuillValue* value = eval_expr(expression, &context, nullptr, nullptr, 0);
      if (!value && GetErrorCount(errors) == 0) __builtin_trap();  // failed without a word
      release_value(pool, value);
    }
  }
  if (parse) parse_context_free(parse);
  if (dal) dal_destroy(dal);
  quill_mem_release_handle(pool);
  return 0;
}
