// Predicates: three-valued NOT, AND (with the search-mode short cut) and OR, IS NULL, LIKE,
// IN over a value list or a subquery (with the subquery's value set kept in a TREE between
// evaluations), EXISTS, scalar subquery comparisons and quantified comparisons; and the
// evaluator's per-statement cache holder.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <new>
#include <unordered_map>
#include <vector>

#include "driver/sql/eval_internal.h"
#include "driver/sql/like.h"
#include "driver/sql/tree.h"

// What an IN subquery has taught so far: the keys of its rows of one value class.
struct InCache {
  TREE* tree = nullptr;   // keys of the rows seen (null before the first scan)
  bool complete = false;  // every row of the subquery's current result is in the tree
  int key_class = 0;      // value class of the keys held
  int64_t rows = 0;       // rows of the subquery when complete
};

struct EvalState {
  MemPool* pool;                                       // memory of the trees
  std::unordered_map<const Node*, InCache> in_caches;  // per IN node
};

namespace {

int and_truth(int a, int b) {
  if (a == TRUTH_FALSE || b == TRUTH_FALSE) return TRUTH_FALSE;
  return a == TRUTH_TRUE && b == TRUTH_TRUE ? TRUTH_TRUE : TRUTH_UNKNOWN;
}

int or_truth(int a, int b) {
  if (a == TRUTH_TRUE || b == TRUTH_TRUE) return TRUTH_TRUE;
  return a == TRUTH_FALSE && b == TRUTH_FALSE ? TRUTH_FALSE : TRUTH_UNKNOWN;
}

int not_truth(int t) {
  return t == TRUTH_TRUE ? TRUTH_FALSE : (t == TRUTH_FALSE ? TRUTH_TRUE : TRUTH_UNKNOWN);
}

// Truth of a node's value; -1 after an error.
int truth_of(const Node* node, EvalContext* context, int flags) {
  QuillValue* value = eval_node(node, context, flags);
  if (value == nullptr) return -1;
  int truth = get_trivalue_from_value(value);
  release_value(context->pool, value);
  return truth;
}

// Nodes whose value is a truth value, for the AND short cut.
bool is_predicate_node(const Node* node) {
  if (node == nullptr) return false;
  switch (node->kind) {
    case NODE_OPERATOR: {
      const auto* op = node_cast<OperatorNode>(node);
      return op->op_class != OPCLASS_VALUE || (op->op >= OP_LESS && op->op <= OP_NOT_EQUAL);
    }
    case NODE_EXISTS:
    case NODE_LIKE:
    case NODE_IS_NULL:
    case NODE_IN:
    case NODE_QUANTIFIED:
      return true;
    default:
      return false;
  }
}

// --- Subquery access ------------------------------------------------------------------------

bool open_subquery(EvalContext* context, const Node* query, bool* reexecuted) {
  *reexecuted = false;
  if (context->hooks.open_subquery == nullptr || context->hooks.fetch_subquery == nullptr) {
    eval_error(context, "HY000", "Sub query not available");
    return false;
  }
  if (context->hooks.open_subquery(context, query, reexecuted) != 0) {
    if (context->error == 0) memory_error(context);
    context->error = -1;
    return false;
  }
  return true;
}

// EXEC_OK a row (first column in *value), EXEC_NO_DATA the end, EXEC_ERROR after raising the
// error.
int fetch_row(EvalContext* context, const Node* query, const QuillValue** value) {
  *value = nullptr;
  int status = context->hooks.fetch_subquery(context, query, value);
  if (status == EXEC_OK && *value == nullptr) status = EXEC_ERROR;
  if (status != EXEC_OK && status != EXEC_NO_DATA) {
    eval_error(context, "HY000", "Rowset error in sub query");
    return EXEC_ERROR;
  }
  return status;
}

// The single row's first column of `query`: a new value, a null pointer with *none set when
// there is no row, or a null pointer after an error.
QuillValue* single_row_value(EvalContext* context, const Node* query, bool* none) {
  *none = false;
  bool reexecuted = false;
  if (!open_subquery(context, query, &reexecuted)) return nullptr;
  const QuillValue* first = nullptr;
  int status = fetch_row(context, query, &first);
  if (status < 0) return nullptr;
  if (status == EXEC_NO_DATA) {
    *none = true;
    return nullptr;
  }
  QuillValue* value = duplicate_value(context->pool, first);
  if (value == nullptr) return memory_error(context);
  const QuillValue* second = nullptr;
  status = fetch_row(context, query, &second);
  if (status == EXEC_NO_DATA) return value;
  release_value(context->pool, value);
  if (status == EXEC_OK) eval_error(context, "HY000", "Sub query has more than one row");
  return nullptr;
}

// --- IN keys --------------------------------------------------------------------------------

enum KeyClass : int {
  KEY_NONE = 0,
  KEY_TEXT = 1,
  KEY_TEMPORAL = 2,
  KEY_YEAR_MONTH = 3,
  KEY_DAY_TIME = 4,
  KEY_NUMBER = 5,
};

int key_class_of(const QuillValue* value) {
  switch (value->kind) {
    case VALUE_CHARACTER:
    case VALUE_BINARY:
    case VALUE_LONG_CHARACTER:
    case VALUE_LONG_BINARY:
      return KEY_TEXT;
    case VALUE_DATE:
    case VALUE_TIME:
    case VALUE_TIMESTAMP:
      return KEY_TEMPORAL;
    case VALUE_YEAR_MONTH_INTERVAL:
      return KEY_YEAR_MONTH;
    case VALUE_DAY_TIME_INTERVAL:
      return KEY_DAY_TIME;
    case VALUE_INTEGER:
    case VALUE_BIT:
    case VALUE_BIGINT:
    case VALUE_DOUBLE:
    case VALUE_NUMERIC:
      return KEY_NUMBER;
    default:
      return KEY_NONE;
  }
}

template <typename T>
void append_bytes(std::string* key, T field) {
  key->append(reinterpret_cast<const char*>(&field), sizeof field);
}

// Numbers of any kind that are equal get equal keys: whole numbers as 64-bit integers,
// others as doubles.
void number_key(const QuillValue* value, std::string* key) {
  double real = 0;
  int64_t whole = 0;
  if (value->kind == VALUE_INTEGER || value->kind == VALUE_BIT || value->kind == VALUE_BIGINT) {
    get_bigint_from_value(value, &whole);
  } else {
    if (value->kind == VALUE_NUMERIC) {
      char text[64];
      if (numeric_to_string(value, text, sizeof text) < 0) text[0] = '\0';
      real = std::strtod(text, nullptr);
    } else {
      real = value->payload.real;
    }
    if (!(std::trunc(real) == real && std::fabs(real) < 9.0e18)) {
      key->push_back('D');
      append_bytes(key, real);
      return;
    }
    whole = static_cast<int64_t>(real);
  }
  key->push_back('I');
  append_bytes(key, whole);
}

// The TREE key of a non-NULL value; false after raising a long-text read error.
bool make_key(EvalContext* context, const QuillValue* value, std::string* key) {
  key->clear();
  switch (key_class_of(value)) {
    case KEY_TEXT: {
      std::string text;
      if (value->kind == VALUE_BINARY) {
        text.assign(value->bytes.data != nullptr ? value->bytes.data : "",
                    static_cast<size_t>(value->bytes.length));
        key->push_back('B');
      } else {
        if (!value_text(context, value, &text)) return false;
        // Trailing blanks do not count, as they do not in comparisons of text.
        if (value->kind == VALUE_CHARACTER || value->kind == VALUE_LONG_CHARACTER)
          while (!text.empty() && text.back() == ' ') text.pop_back();
        key->push_back(value->kind == VALUE_LONG_BINARY ? 'B' : 'C');
      }
      key->append(text);
      return true;
    }
    case KEY_TEMPORAL: {
      if (value->kind == VALUE_TIME) {
        key->push_back('T');
        append_bytes(key, value->payload.time.hour);
        append_bytes(key, value->payload.time.minute);
        append_bytes(key, value->payload.time.second);
        return true;
      }
      SQL_TIMESTAMP_STRUCT t{};
      if (value->kind == VALUE_TIMESTAMP) {
        t = value->payload.timestamp;
      } else {
        t.year = value->payload.date.year;
        t.month = value->payload.date.month;
        t.day = value->payload.date.day;
      }
      key->push_back('S');
      append_bytes(key, t.year);
      append_bytes(key, t.month);
      append_bytes(key, t.day);
      append_bytes(key, t.hour);
      append_bytes(key, t.minute);
      append_bytes(key, t.second);
      append_bytes(key, t.fraction);
      return true;
    }
    case KEY_YEAR_MONTH:
    case KEY_DAY_TIME: {
      const SQL_INTERVAL_STRUCT& i = value->payload.interval;
      int64_t total = 0;
      uint32_t fraction = 0;
      if (value->kind == VALUE_YEAR_MONTH_INTERVAL) {
        total = int64_t{i.intval.year_month.year} * 12 + i.intval.year_month.month;
      } else {
        const SQL_DAY_SECOND_STRUCT& d = i.intval.day_second;
        total = int64_t{d.day} * 86400 + int64_t{d.hour} * 3600 + int64_t{d.minute} * 60 + d.second;
        fraction = d.fraction;
      }
      bool negative = i.interval_sign == SQL_TRUE && (total != 0 || fraction != 0);
      key->push_back(value->kind == VALUE_YEAR_MONTH_INTERVAL ? 'Y' : 'Z');
      key->push_back(negative ? '-' : '+');
      append_bytes(key, total);
      append_bytes(key, fraction);
      return true;
    }
    case KEY_NUMBER:
      number_key(value, key);
      return true;
    default:
      key->push_back('?');
      append_bytes(key, value->kind);
      return true;
  }
}

void drop_cache(InCache* cache) {
  TREEdestroy(cache->tree, nullptr);
  *cache = InCache{};
}

// Scans the subquery's rows for `left`, filling the cache's tree: TRUTH_TRUE when found,
// TRUTH_FALSE when not, TRUTH_UNKNOWN for an empty subquery, -1 after an error.
int scan_in_subquery(const InNode* node, EvalContext* context, const QuillValue* left,
                     const std::string& left_key, InCache* cache, MemPool* pool) {
  drop_cache(cache);
  int left_class = key_class_of(left);
  if (pool != nullptr && TREEcreate(&cache->tree, nullptr, pool) != TREE_OK) {
    memory_error(context);
    return -1;
  }
  int64_t rows = 0;
  std::string key;
  while (true) {
    const QuillValue* row = nullptr;
    int status = fetch_row(context, node->query, &row);
    if (status < 0) return -1;
    if (status == EXEC_NO_DATA) break;
    ++rows;
    if (is_value_null(row) || key_class_of(row) != left_class) continue;
    if (!make_key(context, row, &key)) return -1;
    if (cache->tree != nullptr && TREElookup(cache->tree, key.data(), key.size(), nullptr) != 0 &&
        TREEinsert(cache->tree, key.data(), key.size(), nullptr) != TREE_OK) {
      eval_error(context, "HY000", "Unexpected error in TREEinsert");
      return -1;
    }
    if (!is_value_null(left) && key == left_key) return TRUTH_TRUE;
  }
  cache->complete = cache->tree != nullptr;
  cache->key_class = left_class;
  cache->rows = rows;
  return rows == 0 ? TRUTH_UNKNOWN : TRUTH_FALSE;
}

int in_subquery_truth(const InNode* node, EvalContext* context, const QuillValue* left) {
  bool reexecuted = false;
  if (!open_subquery(context, node->query, &reexecuted)) return -1;
  std::string left_key;
  if (!is_value_null(left) && !make_key(context, left, &left_key)) return -1;
  InCache local;
  InCache* cache = &local;
  MemPool* pool = nullptr;
  if (context->state != nullptr) {
    cache = &context->state->in_caches[node];
    pool = context->state->pool;
  }
  if (reexecuted) drop_cache(cache);
  int found;
  if (cache->complete && cache->key_class == key_class_of(left)) {
    if (cache->rows == 0) return TRUTH_UNKNOWN;
    found = !is_value_null(left) &&
            TREElookup(cache->tree, left_key.data(), left_key.size(), nullptr) == TREE_OK;
    return found ? TRUTH_TRUE : TRUTH_FALSE;
  }
  found = scan_in_subquery(node, context, left, left_key, cache, pool);
  if (cache == &local) drop_cache(cache);
  return found;
}

int in_list_truth(const InNode* node, EvalContext* context, const QuillValue* left) {
  for (ListNode* item = node->values; item != nullptr; item = item->next) {
    QuillValue* value = eval_node(static_cast<const Node*>(item->data), context, 0);
    if (value == nullptr) return -1;
    bool equal = !is_value_null(left) && !is_value_null(value) && compare_values(left, value) == 0;
    release_value(context->pool, value);
    if (equal) return TRUTH_TRUE;
  }
  return TRUTH_FALSE;
}

}  // namespace

// --- Cache holder ---------------------------------------------------------------------------

EvalState* eval_state_create(MemPool* parent) {
  MemPool* pool = quill_mem_alloc_handle(parent);
  if (pool == nullptr) return nullptr;
  auto* state = new (std::nothrow) EvalState{pool, {}};
  if (state == nullptr) quill_mem_release_handle(pool);
  return state;
}

void eval_state_reset(EvalState* state) {
  if (state == nullptr) return;
  for (auto& entry : state->in_caches) drop_cache(&entry.second);
  state->in_caches.clear();
}

void eval_state_free(EvalState* state) {
  if (state == nullptr) return;
  eval_state_reset(state);
  quill_mem_release_handle(state->pool);
  delete state;
}

// --- Predicates -----------------------------------------------------------------------------

QuillValue* eval_logical(const OperatorNode* node, EvalContext* context, int flags) {
  if (node->op_class == OPCLASS_NOT) {
    int truth =
        truth_of(node->right != nullptr ? node->right : node->left, context, flags & ~EVAL_SEARCH);
    return truth < 0 ? nullptr : new_truth_value(context, not_truth(truth));
  }
  int left = truth_of(node->left, context, flags);
  if (left < 0) return nullptr;
  if (node->op_class == OPCLASS_AND && (flags & EVAL_SEARCH) != 0 && left != TRUTH_TRUE &&
      is_predicate_node(node->left))
    return new_truth_value(context, left);
  int right = truth_of(node->right, context, flags);
  if (right < 0) return nullptr;
  return new_truth_value(
      context, node->op_class == OPCLASS_AND ? and_truth(left, right) : or_truth(left, right));
}

QuillValue* eval_is_null(const IsNullNode* node, EvalContext* context, int flags) {
  if ((flags & EVAL_CONSTANT) != 0) return new_null_value(context, VALUE_INTEGER);
  QuillValue* operand = eval_node(node->operand, context, flags & ~EVAL_SEARCH);
  if (operand == nullptr) return nullptr;
  bool null = is_value_null(operand);
  release_value(context->pool, operand);
  return new_truth_value(context, null != (node->negated != 0) ? TRUTH_TRUE : TRUTH_FALSE);
}

bool like_compile_value(EvalContext* context, const QuillValue* pattern, const QuillValue* escape,
                        bool parameter, std::vector<unsigned char>* program) {
  program->clear();
  if (pattern == nullptr || is_value_null(pattern)) return true;  // matches nothing
  std::string escape_text;
  if (escape != nullptr && !is_value_null(escape) && !value_text(context, escape, &escape_text))
    return false;
  std::string text;
  if (!value_text(context, pattern, &text)) return false;
  program->assign(like_program_capacity(text.size()), 0);
  int status =
      like_compile(text.data(), text.size(),
                   like_escape_char(escape_text.data(), escape_text.size()), program->data());
  if (status == LIKE_COMPILED) return true;
  program->clear();
  if (parameter)
    eval_error(context, "HY000", "Error in parameterised like");
  else
    eval_error(context, "22025", "Invalid escape sequence");
  return false;
}

int like_match_value(EvalContext* context, const std::vector<unsigned char>& program,
                     const QuillValue* value) {
  if (value == nullptr || is_value_null(value)) return TRUTH_UNKNOWN;
  if (program.empty()) return TRUTH_FALSE;
  std::string text;
  if (!value_text(context, value, &text)) return -1;
  return like_match(program.data(), text.data(), text.size()) ? TRUTH_TRUE : TRUTH_FALSE;
}

QuillValue* eval_like(const LikeNode* node, EvalContext* context, int flags) {
  if ((flags & EVAL_CONSTANT) != 0) return new_null_value(context, VALUE_INTEGER);
  int operand_flags = flags & ~EVAL_SEARCH;
  QuillValue* operand = eval_node(node->operand, context, operand_flags);
  if (operand == nullptr) return nullptr;
  QuillValue* pattern = eval_node(node->pattern, context, operand_flags);
  QuillValue* escape = nullptr;
  if (pattern != nullptr && node->escape != nullptr)
    escape = eval_node(node->escape, context, operand_flags);
  int truth = -1;
  std::vector<unsigned char> program;
  bool parameter = node->pattern != nullptr && node->pattern->kind == NODE_PARAMETER;
  if (pattern != nullptr && (node->escape == nullptr || escape != nullptr) &&
      like_compile_value(context, pattern, escape, parameter, &program))
    truth = like_match_value(context, program, operand);
  release_value(context->pool, operand);
  if (pattern != nullptr) release_value(context->pool, pattern);
  if (escape != nullptr) release_value(context->pool, escape);
  if (truth < 0) return nullptr;
  if (node->negated != 0) truth = not_truth(truth);
  return new_truth_value(context, truth);
}

QuillValue* eval_in(const InNode* node, EvalContext* context, int flags) {
  QuillValue* left = eval_node(node->operand, context, flags & ~EVAL_SEARCH);
  if (left == nullptr) return nullptr;
  int truth = node->query != nullptr ? in_subquery_truth(node, context, left)
                                     : in_list_truth(node, context, left);
  release_value(context->pool, left);
  if (truth < 0) return nullptr;
  // NOT IN over an empty subquery is TRUE, not the negation of IN's UNKNOWN.
  if (node->negated != 0) truth = truth == TRUTH_TRUE ? TRUTH_FALSE : TRUTH_TRUE;
  return new_truth_value(context, truth);
}

QuillValue* eval_exists(const ExistsNode* node, EvalContext* context, int) {
  bool reexecuted = false;
  if (!open_subquery(context, node->query, &reexecuted)) return nullptr;
  const QuillValue* first = nullptr;
  int status = fetch_row(context, node->query, &first);
  if (status < 0) return nullptr;
  bool exists = status == EXEC_OK;
  return new_truth_value(context, exists != (node->negated != 0) ? TRUTH_TRUE : TRUTH_FALSE);
}

QuillValue* eval_quantified(const QuantifiedNode* node, EvalContext* context, int flags) {
  QuillValue* left = eval_node(node->operand, context, flags & ~EVAL_SEARCH);
  if (left == nullptr) return nullptr;
  bool all = node->quantifier == QUANTIFIER_ALL;
  int truth = all ? TRUTH_TRUE : TRUTH_FALSE;
  bool reexecuted = false;
  int64_t rows = 0;
  if (!open_subquery(context, node->query, &reexecuted)) truth = -1;
  while (truth >= 0) {
    const QuillValue* row = nullptr;
    int status = fetch_row(context, node->query, &row);
    if (status < 0) truth = -1;
    if (status != EXEC_OK) break;
    ++rows;
    int compared = compare_operands(context, left, row, node->op);
    if (compared < 0) {
      truth = -1;
    } else if (all && compared != TRUTH_TRUE) {
      truth = TRUTH_FALSE;
      break;
    } else if (!all && compared == TRUTH_TRUE) {
      truth = TRUTH_TRUE;
      break;
    }
  }
  release_value(context->pool, left);
  if (truth < 0) return nullptr;
  if (all && rows == 0) truth = TRUTH_UNKNOWN;
  if (node->negated != 0) truth = not_truth(truth);
  return new_truth_value(context, truth);
}

QuillValue* eval_subquery_comparison(const OperatorNode* node, EvalContext* context, int flags) {
  QuillValue* left = eval_node(node->left, context, flags & ~EVAL_SEARCH);
  if (left == nullptr) return nullptr;
  bool none = false;
  QuillValue* right = single_row_value(context, node->right, &none);
  QuillValue* result = nullptr;
  if (none) {
    result = new_truth_value(context, TRUTH_FALSE);
  } else if (right != nullptr) {
    int truth = compare_operands(context, left, right, node->op);
    if (truth >= 0) result = new_truth_value(context, truth);
    release_value(context->pool, right);
  }
  release_value(context->pool, left);
  return result;
}

QuillValue* eval_subquery_value(const Node* query, EvalContext* context) {
  bool none = false;
  QuillValue* value = single_row_value(context, query, &none);
  if (none) return new_null_value(context, VALUE_CHARACTER);
  return value;
}
