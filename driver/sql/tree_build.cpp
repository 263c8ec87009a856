// Tree building for the grammar's reduce actions (see tree_build.h).
#include "driver/sql/tree_build.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "driver/sql/functions.h"
#include "driver/sql/literals.h"
#include "support/strbuf.h"

namespace {

template <class T>
T* make(ParseState* state, int32_t kind) {
  return static_cast<T*>(build_node(state, sizeof(T), kind));
}

// Splits a catalog part holding '$' into link and catalog names.
bool apply_link(ParseState* state, NameNode** link, NameNode** catalog) {
  if (!*catalog) return true;
  const char* dollar = std::strchr((*catalog)->text, '$');
  if (!dollar) return true;
  const char* text = (*catalog)->text;
  auto* link_name = make<NameNode>(state, NODE_NAME);
  if (!link_name) return false;
  link_name->text = quill_mem_strdup(state->pool, text, dollar - text);
  link_name->quoted = (*catalog)->quoted;
  if (!link_name->text) return false;
  *link = link_name;
  if (dollar[1] == '\0') {
    *catalog = nullptr;
    return true;
  }
  auto* catalog_name = make<NameNode>(state, NODE_NAME);
  if (!catalog_name) return false;
  catalog_name->text = quill_mem_strdup(state->pool, dollar + 1);
  catalog_name->quoted = (*catalog)->quoted;
  *catalog = catalog_name;
  return catalog_name->text != nullptr;
}

struct ConvertType {
  const char* name;
  int32_t code;
  int32_t length;
};

constexpr ConvertType kConvertTypes[] = {
    {"SQL_BIGINT", -5, 0},
    {"SQL_BINARY", -2, 254},
    {"SQL_BIT", -7, 1},
    {"SQL_CHAR", 1, 254},
    {"SQL_DECIMAL", 3, 0},
    {"SQL_DOUBLE", 8, 0},
    {"SQL_FLOAT", 6, 0},
    {"SQL_INTEGER", 4, 0},
    {"SQL_INTERVAL_MONTH", 102, 0},
    {"SQL_INTERVAL_YEAR", 101, 0},
    {"SQL_INTERVAL_YEAR_TO_MONTH", 107, 0},
    {"SQL_INTERVAL_DAY", 103, 0},
    {"SQL_INTERVAL_HOUR", 104, 0},
    {"SQL_INTERVAL_MINUTE", 105, 0},
    {"SQL_INTERVAL_SECOND", 106, 0},
    {"SQL_INTERVAL_DAY_TO_HOUR", 108, 0},
    {"SQL_INTERVAL_DAY_TO_MINUTE", 109, 0},
    {"SQL_INTERVAL_DAY_TO_SECOND", 110, 0},
    {"SQL_INTERVAL_HOUR_TO_MINUTE", 111, 0},
    {"SQL_INTERVAL_HOUR_TO_SECOND", 112, 0},
    {"SQL_INTERVAL_MINUTE_TO_SECOND", 113, 0},
    {"SQL_LONGVARBINARY", -4, 0},
    {"SQL_LONGVARCHAR", -1, 0},
    {"SQL_NUMERIC", 2, 0},
    {"SQL_REAL", 7, 0},
    {"SQL_SMALLINT", 5, 0},
    {"SQL_TYPE_DATE", 91, 0},
    {"SQL_TYPE_TIME", 92, 0},
    {"SQL_TYPE_TIMESTAMP", 93, 0},
    {"SQL_DATE", 91, 0},
    {"SQL_TIME", 92, 0},
    {"SQL_TIMESTAMP", 93, 0},
    {"SQL_TINYINT", -6, 0},
    {"SQL_VARBINARY", -3, 254},
    {"SQL_VARCHAR", 12, 254},
};

Node* build_convert(ParseState* state, ListNode* arguments) {
  char message[PARSE_MESSAGE_SIZE];
  if (ListCount(arguments) != 2) {
    std::snprintf(message, sizeof message,
                  "incorrect number of arguments to %s(), %d expected, %d found", "CONVERT", 2,
                  ListCount(arguments));
    scan_report(state, message);
    return nullptr;
  }
  auto* target = static_cast<Node*>(ListData(ListNext(ListFirst(arguments))));
  auto* ref =
      target && target->kind == NODE_COLUMN_REF ? node_cast<ColumnRefNode>(target) : nullptr;
  if (!ref || ref->wildcard || ref->table || ref->schema || ref->catalog || ref->link ||
      !ref->column) {
    scan_report(state, "Second arg to CONVERT must be a SQL Date type, ie 'SQL_DATE'");
    return nullptr;
  }
  char upper[64];
  std::snprintf(upper, sizeof upper, "%s", ref->column->text);
  scan_upper(upper);
  for (const ConvertType& type : kConvertTypes) {
    if (std::strcmp(type.name, upper) != 0) continue;
    auto* cast = make<CastNode>(state, NODE_CAST);
    if (!cast) return nullptr;
    cast->operand = static_cast<Node*>(ListData(ListFirst(arguments)));
    cast->type =
        build_data_type(state, type.code, type.length > 0 ? type.length : -1, -1, type.name);
    return cast->type ? cast : nullptr;
  }
  utf8_format(message, sizeof message, "unexpected target type %s in CONVERT",
              utf8_prefix(ref->column->text, 100).c_str());
  scan_report(state, message);
  return nullptr;
}

// Number of arguments as counted against the function table (an argument pair counts two).
int argument_count(ListNode* arguments) {
  int count = 0;
  for (ListNode* n = ListFirst(arguments); n; n = ListNext(n)) {
    auto* arg = static_cast<Node*>(ListData(n));
    count += (arg && arg->kind == NODE_ARG_PAIR) ? 2 : 1;
  }
  return count;
}

bool interval_field_valid(int32_t start, int32_t end) {
  switch (start) {
    case FIELD_YEAR:
      return end == FIELD_MONTH;
    case FIELD_DAY:
      return end == FIELD_HOUR || end == FIELD_MINUTE || end == FIELD_SECOND;
    case FIELD_HOUR:
      return end == FIELD_MINUTE || end == FIELD_SECOND;
    case FIELD_MINUTE:
      return end == FIELD_SECOND;
    default:
      return false;
  }
}

}  // namespace

void* build_node(ParseState* state, size_t size, int32_t kind) {
  return newNode(size, kind, state->pool);
}

ListNode* build_append(ParseState* state, ListNode* list, void* data) {
  return ListAppend(data, list, state->pool);
}

NamePrefix* build_prefix(ParseState* state, NamePrefix* prefix, NameNode* part) {
  if (!prefix) {
    prefix = static_cast<NamePrefix*>(quill_mem_alloc(state->pool, sizeof(NamePrefix)));
    if (!prefix) return nullptr;
  }
  if (prefix->count < 3) prefix->parts[prefix->count] = part;
  ++prefix->count;
  return prefix;
}

TableNameNode* build_table_name(ParseState* state, NamePrefix* prefix, NameNode* last) {
  auto* name = make<TableNameNode>(state, NODE_TABLE_NAME);
  if (!name) return nullptr;
  name->table = last;
  int count = prefix ? prefix->count : 0;
  if (count > 3) {
    scan_report(state, "syntax error");
    return nullptr;
  }
  // From the right: schema, catalog, link.
  NameNode** slots[3] = {&name->schema, &name->catalog, &name->link};
  for (int i = 0; i < count; ++i) *slots[i] = prefix->parts[count - 1 - i];
  if (!apply_link(state, &name->link, &name->catalog)) return nullptr;
  return name;
}

ColumnRefNode* build_column_ref(ParseState* state, NamePrefix* prefix, NameNode* column) {
  auto* ref = make<ColumnRefNode>(state, NODE_COLUMN_REF);
  if (!ref) return nullptr;
  ref->column = column;
  ref->wildcard = column ? 0 : 1;
  ref->resolved_column = -1;
  int count = prefix ? prefix->count : 0;
  if (count > 3) {
    scan_report(state, "syntax error");
    return nullptr;
  }
  NameNode** slots[3] = {&ref->table, &ref->schema, &ref->catalog};
  for (int i = 0; i < count; ++i) *slots[i] = prefix->parts[count - 1 - i];
  if (!apply_link(state, &ref->link, &ref->catalog)) return nullptr;
  return ref;
}

Node* build_operator(ParseState* state, int32_t op_class, int32_t op, Node* left, Node* right) {
  auto* node = make<OperatorNode>(state, NODE_OPERATOR);
  if (!node) return nullptr;
  node->op_class = op_class;
  node->op = op;
  node->left = left;
  node->right = right;
  return node;
}

namespace {

// Negates one node; AND and OR only change class, their operands are the caller's to visit.
void negate_one(Node* condition) {
  switch (condition->kind) {
    case NODE_OPERATOR: {
      auto* op = node_cast<OperatorNode>(condition);
      if (op->op_class == OPCLASS_AND || op->op_class == OPCLASS_OR) {
        op->op_class = op->op_class == OPCLASS_AND ? OPCLASS_OR : OPCLASS_AND;
        break;
      }
      switch (op->op) {
        case OP_LESS:
          op->op = OP_GREATER_EQUAL;
          break;
        case OP_GREATER:
          op->op = OP_LESS_EQUAL;
          break;
        case OP_GREATER_EQUAL:
          op->op = OP_LESS;
          break;
        case OP_LESS_EQUAL:
          op->op = OP_GREATER;
          break;
        case OP_EQUAL:
          op->op = OP_NOT_EQUAL;
          break;
        case OP_NOT_EQUAL:
          op->op = OP_EQUAL;
          break;
        default:
          break;
      }
      break;
    }
    case NODE_EXISTS: {
      auto* node = node_cast<ExistsNode>(condition);
      node->negated = !node->negated;
      break;
    }
    case NODE_LIKE: {
      auto* node = node_cast<LikeNode>(condition);
      node->negated = !node->negated;
      break;
    }
    case NODE_IS_NULL: {
      auto* node = node_cast<IsNullNode>(condition);
      node->negated = !node->negated;
      break;
    }
    case NODE_IN: {
      auto* node = node_cast<InNode>(condition);
      node->negated = !node->negated;
      break;
    }
    case NODE_QUANTIFIED: {
      auto* node = node_cast<QuantifiedNode>(condition);
      node->negated = !node->negated;
      break;
    }
    default:
      break;
  }
}

}  // namespace

Node* negate_condition(Node* condition) {
  if (!condition) return condition;
  // A work list instead of recursion: the operand of NOT may be a run of thousands of ANDs.
  try {
    std::vector<Node*> pending{condition};
    while (!pending.empty()) {
      Node* node = pending.back();
      pending.pop_back();
      negate_one(node);
      auto* op = node->kind == NODE_OPERATOR ? node_cast<OperatorNode>(node) : nullptr;
      if (op && (op->op_class == OPCLASS_AND || op->op_class == OPCLASS_OR)) {
        if (op->right) pending.push_back(op->right);
        if (op->left) pending.push_back(op->left);
      }
    }
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  return condition;
}

Node* build_between(ParseState* state, Node* a, Node* b, Node* c, bool negated) {
  Node* low = build_operator(state, OPCLASS_VALUE, negated ? OP_LESS : OP_GREATER_EQUAL, a, b);
  Node* high = build_operator(state, OPCLASS_VALUE, negated ? OP_GREATER : OP_LESS_EQUAL, a, c);
  if (!low || !high) return nullptr;
  return build_operator(state, negated ? OPCLASS_OR : OPCLASS_AND, OP_NONE, low, high);
}

Node* build_overlaps(ParseState* state, ListNode* left, ListNode* right) {
  if (ListCount(left) != ListCount(right)) {
    scan_report(state, "unmatched value count with OVERLAPS predicate");
    return nullptr;
  }
  Node* result = nullptr;
  for (ListNode *l = ListFirst(left), *r = ListFirst(right); l && r;
       l = ListNext(l), r = ListNext(r)) {
    auto* a = static_cast<Node*>(ListData(l));
    auto* b = static_cast<Node*>(ListData(r));
    Node* ge = build_operator(state, OPCLASS_VALUE, OP_GREATER_EQUAL, a, b);
    Node* le = build_operator(state, OPCLASS_VALUE, OP_LESS_EQUAL, a, b);
    if (!ge || !le) return nullptr;
    Node* pair = build_operator(state, OPCLASS_AND, OP_NONE, ge, le);
    if (!pair) return nullptr;
    result = result ? build_operator(state, OPCLASS_AND, OP_NONE, result, pair) : pair;
    if (!result) return nullptr;
  }
  return result;
}

Node* build_iif(ParseState* state, Node* test, bool test_is_condition, Node* a, Node* b) {
  Node* condition = test;
  if (!test_is_condition) {
    LiteralNode* zero = build_literal(state, LIT_INTEGER, "0");
    if (!zero) return nullptr;
    condition = build_operator(state, OPCLASS_VALUE, OP_NOT_EQUAL, test, zero);
    if (!condition) return nullptr;
  }
  auto* when = make<WhenNode>(state, NODE_WHEN);
  auto* node = make<CaseNode>(state, NODE_CASE);
  if (!when || !node) return nullptr;
  when->condition = condition;
  when->result = a;
  node->whens = build_append(state, nullptr, when);
  node->else_result = b;
  return node->whens ? node : nullptr;
}

bool token_to_int(const char* text, int32_t* out) {
  int64_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return false;
    value = value * 10 + (*p - '0');
    if (value > INT32_MAX) return false;
  }
  *out = static_cast<int32_t>(value);
  return true;
}

bool build_small_int(ParseState* state, const char* text, int32_t* out) {
  if (token_to_int(text, out)) return true;
  scan_report(state, "syntax error");
  return false;
}

const char* build_concat(ParseState* state, const char* a, const char* b, const char* c,
                         const char* d, const char* e) {
  const char* pieces[5] = {a, b, c, d, e};
  size_t total = 0;
  for (const char* piece : pieces)
    if (piece) total += std::strlen(piece);
  auto* out = static_cast<char*>(quill_mem_alloc(state->pool, total + 1));
  if (!out) return nullptr;
  size_t n = 0;
  for (const char* piece : pieces) {
    if (!piece) continue;
    size_t len = std::strlen(piece);
    std::memcpy(out + n, piece, len);
    n += len;
  }
  out[n] = '\0';
  return out;
}

LiteralNode* build_literal(ParseState* state, int32_t value_kind, const char* text) {
  auto* literal = make<LiteralNode>(state, NODE_LITERAL);
  if (!literal) return nullptr;
  literal->value_kind = value_kind;
  literal->text = text;
  literal->length = text ? static_cast<int32_t>(std::strlen(text)) : 0;
  literal->precision = -1;
  switch (value_kind) {
    case LIT_INTEGER:
      if (!token_to_int(text, &literal->integer)) {
        literal->value_kind = LIT_EXACT_NUMERIC;
        literal->scale = 0;
      }
      break;
    case LIT_DOUBLE:
      errno = 0;
      literal->real = std::strtod(text, nullptr);
      break;
    case LIT_HEX_STRING: {
      size_t digits = static_cast<size_t>(literal->length);
      literal->byte_count = static_cast<int32_t>((digits + 1) / 2);
      literal->bytes =
          static_cast<unsigned char*>(quill_mem_alloc(state->pool, literal->byte_count + 1));
      if (!literal->bytes) return nullptr;
      auto nibble = [](char c) { return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10; };
      size_t odd = digits % 2;
      for (size_t i = 0; i < digits; ++i) {
        size_t position = i + odd;  // an odd count is padded with a leading 0
        literal->bytes[position / 2] |=
            static_cast<unsigned char>(nibble(text[i]) << ((position % 2) ? 0 : 4));
      }
      break;
    }
    case LIT_DATE:
      if (!parse_date_text(text, &literal->date)) {
        scan_report(state, "Invalid DATE literal");
        return nullptr;
      }
      break;
    case LIT_TIME:
      if (!parse_time_text(text, &literal->time)) {
        scan_report(state, "Invalid TIME literal");
        return nullptr;
      }
      break;
    case LIT_TIMESTAMP:
      if (!parse_timestamp_text(text, &literal->timestamp)) {
        scan_report(state, "Invalid TIMESTAMP literal");
        return nullptr;
      }
      break;
    default:
      break;
  }
  return literal;
}

LiteralNode* build_exact_number(ParseState* state, const char* whole, const char* fraction,
                                bool point) {
  if (!point) return build_literal(state, LIT_INTEGER, whole);
  const char* text = build_concat(state, whole ? whole : "", ".", fraction);
  if (!text) return nullptr;
  LiteralNode* literal = build_literal(state, LIT_EXACT_NUMERIC, text);
  if (literal) literal->scale = fraction ? static_cast<int32_t>(std::strlen(fraction)) : 0;
  return literal;
}

Node* build_interval_qualifier(ParseState* state, IntervalFieldNode* start,
                               IntervalFieldNode* end) {
  if (!end) {
    if (start->fraction_precision >= 0 && start->field != FIELD_SECOND) {
      scan_report(state, "syntax error");
      return nullptr;
    }
    return start;
  }
  // The end field takes no leading precision; a SECOND end takes a fractional precision.
  if (!interval_field_valid(start->field, end->field) || start->fraction_precision >= 0 ||
      end->fraction_precision >= 0 || (end->precision >= 0 && end->field != FIELD_SECOND)) {
    scan_report(state, "syntax error");
    return nullptr;
  }
  if (end->precision >= 0) {
    end->fraction_precision = end->precision;
    end->precision = -1;
  }
  auto* range = make<IntervalRangeNode>(state, NODE_INTERVAL_RANGE);
  if (!range) return nullptr;
  range->start = start;
  range->end = end;
  return range;
}

int32_t interval_qualifier_type(const Node* qualifier) {
  if (qualifier->kind == NODE_INTERVAL_FIELD)
    return 100 + node_cast<IntervalFieldNode>(qualifier)->field;
  auto* range = node_cast<IntervalRangeNode>(qualifier);
  int type = interval_type_of_qualifier(range->start->field, range->end->field);
  return type > 0 ? 100 + type : 0;
}

LiteralNode* build_interval(ParseState* state, int sign, const char* value_text, Node* qualifier) {
  int leading = 0, leading_precision = 0, trailing = 0, fraction = -1;
  if (qualifier->kind == NODE_INTERVAL_FIELD) {
    auto* field = node_cast<IntervalFieldNode>(qualifier);
    leading = field->field;
    leading_precision = field->precision >= 0 ? field->precision : 0;
    fraction = field->fraction_precision;
  } else {
    auto* range = node_cast<IntervalRangeNode>(qualifier);
    leading = range->start->field;
    leading_precision = range->start->precision >= 0 ? range->start->precision : 0;
    trailing = range->end->field;
    fraction = range->end->fraction_precision;
  }
  auto* literal = make<LiteralNode>(state, NODE_LITERAL);
  if (!literal) return nullptr;
  literal->value_kind = LIT_INTERVAL;
  literal->precision = -1;
  literal->text = sign < 0 ? build_concat(state, "-", value_text) : value_text;
  if (!literal->text) return nullptr;
  literal->length = static_cast<int32_t>(std::strlen(literal->text));
  if (!build_interval_literal(sign, value_text, leading, leading_precision, trailing, fraction,
                              &literal->interval)) {
    scan_report(state, "Invalid INTERVAL literal");
    return nullptr;
  }
  literal->interval_type = interval_qualifier_type(qualifier);
  return literal;
}

DataTypeNode* build_data_type(ParseState* state, int32_t sql_type, int32_t length, int32_t scale,
                              const char* written_name) {
  auto* type = make<DataTypeNode>(state, NODE_DATA_TYPE);
  if (!type) return nullptr;
  type->sql_type = sql_type;
  type->length = length;
  type->scale = scale;
  type->written_name = written_name;
  return type;
}

Node* build_function_call(ParseState* state, const char* name, ListNode* arguments) {
  if (std::strcmp(name, "CONVERT") == 0) return build_convert(state, arguments);
  char message[PARSE_MESSAGE_SIZE];
  const ScalarFunction* function = find_scalar_function(name);
  if (!function) {
    utf8_format(message, sizeof message, "unknown function name %s",
                utf8_prefix(name, 200).c_str());
    scan_report(state, message);
    return nullptr;
  }
  int found = argument_count(arguments);
  if (found < function->min_arguments || found > function->max_arguments) {
    int expected =
        found < function->min_arguments ? function->min_arguments : function->max_arguments;
    std::snprintf(message, sizeof message,
                  "incorrect number of arguments to %.100s(), %d expected, %d found", name,
                  expected, found);
    scan_report(state, message);
    return nullptr;
  }
  auto* node = make<FunctionNode>(state, NODE_FUNCTION);
  if (!node) return nullptr;
  node->number = function->number;
  node->arguments = arguments;
  node->name = function->name;
  node->function = function;
  return node;
}

Node* build_syntax_function(ParseState* state, int32_t number, const char* name,
                            ListNode* arguments) {
  auto* node = make<FunctionNode>(state, NODE_FUNCTION);
  if (!node) return nullptr;
  node->number = number;
  node->arguments = arguments;
  node->name = name;
  return node;
}

Node* build_set_function(ParseState* state, int32_t function, bool distinct, Node* operand) {
  if (distinct && (!operand || operand->kind != NODE_COLUMN_REF)) {
    static const char* const kNames[] = {"", "COUNT", "MAX", "MIN", "SUM", "AVG"};
    char message[PARSE_MESSAGE_SIZE];
    std::snprintf(message, sizeof message,
                  "Column name expected in %s( DISTINCT ), expression found",
                  function >= 1 && function <= 5 ? kNames[function] : "");
    scan_report(state, message);
    return nullptr;
  }
  auto* node = make<SetFunctionNode>(state, NODE_SET_FUNCTION);
  if (!node) return nullptr;
  node->function = function;
  node->distinct = distinct ? 1 : 0;
  node->operand = operand;
  return node;
}

Node* build_arg_pair(ParseState* state, Node* first, Node* second) {
  auto* pair = make<ArgPairNode>(state, NODE_ARG_PAIR);
  if (!pair) return nullptr;
  pair->items = build_append(state, nullptr, first);
  if (pair->items) pair->items = build_append(state, pair->items, second);
  return pair->items ? pair : nullptr;
}
