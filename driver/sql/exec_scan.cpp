// Table scans of a branch: which restrictions a backend is given (capability bits, the LIKE
// prefix and pattern rewrites, IN lists and subqueries only on required parameter columns),
// their values evaluated in constant mode and converted to the column's type, the remaining
// time-out, and the sampled re-check of the rows a backend returns.
#include <cctype>
#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "driver/sql/cast.h"
#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_sub.h"
#include "driver/sql/like.h"

namespace {

constexpr int kCapabilityNoValue = 1;
constexpr int kCapabilityLike = 2;
constexpr int kCapabilityIsNull = 4;
constexpr int kCapabilityPattern = 8;
constexpr size_t kLiteralLimit = 255;

// Releases the values of the restrictions handed to the previous scan.
void release_active(ExecStatement* statement, TableCursor* cursor) {
  for (int i = 0; i < cursor->active_count; ++i) {
    Restriction* r = &cursor->active_records[i];
    if (r->value) release_value(statement->eval.pool, r->value);
    r->value = nullptr;
    for (int v = 0; v < r->in_count; ++v)
      if (r->in_values[v]) release_value(statement->eval.pool, r->in_values[v]);
    std::free(r->in_values);
    r->in_values = nullptr;
    r->in_count = 0;
  }
  cursor->active_count = 0;
}

// Makes room for `count` active restrictions.
int reserve_active(ExecStatement* statement, TableCursor* cursor, int count) {
  if (cursor->active_capacity >= count) return 0;
  MemPool* pool = statement->plan->pool;
  size_t n = static_cast<size_t>(count);
  cursor->active_records =
      static_cast<Restriction*>(quill_mem_alloc(pool, sizeof(Restriction) * n));
  cursor->active = static_cast<Restriction**>(quill_mem_alloc(pool, sizeof(Restriction*) * n));
  cursor->active_predicates =
      static_cast<const Node**>(quill_mem_alloc(pool, sizeof(const Node*) * n));
  if (!cursor->active_records || !cursor->active || !cursor->active_predicates) {
    cursor->active_capacity = 0;
    return exec_post_memory(statement);
  }
  cursor->active_capacity = count;
  return 0;
}

// Appends an active restriction (taking ownership of `value`); the predicate re-checks it.
void add_active(TableCursor* cursor, const Restriction& base, int op, QuillValue* value,
                const Node* check) {
  Restriction* r = &cursor->active_records[cursor->active_count];
  *r = base;
  r->op = op;
  r->value = value;
  r->hits = 0;
  r->in_values = nullptr;
  r->in_count = 0;
  cursor->active[cursor->active_count] = r;
  cursor->active_predicates[cursor->active_count] = check;
  ++cursor->active_count;
}

// Whether `converted` holds the same number as `original` (no digits lost on the way).
bool same_number(const QuillValue* original, const QuillValue* converted) {
  return original->kind == VALUE_CHARACTER || compare_values(original, converted) == 0;
}

// `value` (taken) converted to the restricted column's type. Returns 1 with *out set, 0 when it
// cannot be pushed, -1 on error.
int column_value(ExecStatement* statement, const Restriction& r, QuillValue* value,
                 QuillValue** out) {
  EvalContext* context = &statement->eval;
  int column_kind = sql_to_value_type(r.column->sql_type);
  if (r.column->sql_type == SQL_BIT || r.column->sql_type == SQL_TINYINT)
    column_kind = VALUE_INTEGER;
  if (is_value_null(value) || value->kind == column_kind || column_kind == VALUE_NONE) {
    *out = value;
    return 1;
  }
  int records = GetErrorCount(statement->errors);
  int code = GetReturnCode(statement->errors);
  QuillValue* converted = cast_value_to(context, value, r.column->sql_type,
                                        static_cast<int>(r.column->length), r.column->scale);
  // A number for a required parameter goes as its text: the backend reads it as a number.
  bool parameter_text = converted && r.column->required && converted->kind == VALUE_CHARACTER;
  if (!converted || (!parameter_text && !same_number(value, converted))) {
    // Not representable in the column's type: the branch predicate decides alone.
    SetErrorCount(statement->errors, records);
    SetReturnCode(statement->errors, code);
    context->error = 0;
    if (converted) release_value(context->pool, converted);
    release_value(context->pool, value);
    return 0;
  }
  release_value(context->pool, value);
  *out = converted;
  return 1;
}

// Evaluates a restriction value in constant mode, converted to the column's type. Returns
// 1 with *out set, 0 when the restriction cannot be pushed, -1 on error.
int restriction_value(ExecStatement* statement, const Restriction& r, QuillValue** out) {
  QuillValue* value = eval_expression_guarded(static_cast<const Node*>(r.value_expression),
                                              &statement->eval, EVAL_CONSTANT);
  if (!value) return -1;
  return column_value(statement, r, value, out);
}

// The values of an IN list, or the first column of an IN subquery's rows (run first, or again
// when its outer references changed; NULLs left out), each converted to the column's type.
// 1, 0 when a value cannot be pushed, -1 on error.
int in_values(ExecStatement* statement, const Restriction& r, const InNode* in,
              std::vector<QuillValue*>* out) {
  EvalContext* context = &statement->eval;
  int rc = 1;
  if (!in->query) {
    for (ListNode* at = in->values; at && rc > 0; at = at->next) {
      Restriction item = r;
      item.value_expression = at->data;
      QuillValue* value = nullptr;
      rc = restriction_value(statement, item, &value);
      if (rc > 0) out->push_back(value);
    }
    return rc;
  }
  bool reexecuted = false;
  if (!context->hooks.open_subquery || !context->hooks.fetch_subquery ||
      context->hooks.open_subquery(context, in->query, &reexecuted) != 0) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  while (rc > 0) {
    const QuillValue* row = nullptr;
    int status = context->hooks.fetch_subquery(context, in->query, &row);
    if (status == EXEC_NO_DATA) break;
    if (status != EXEC_OK || !row) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
    if (is_value_null(row)) continue;
    QuillValue* copy = duplicate_value(context->pool, row);
    if (!copy) return exec_post_memory(statement);
    QuillValue* converted = nullptr;
    rc = column_value(statement, r, copy, &converted);
    if (rc > 0) out->push_back(converted);
  }
  return rc;
}

// Adds an IN list or IN subquery on a required parameter column with its values (the backend
// makes one call per value; other IN lists are left to the branch predicate). A list with a
// value that cannot be converted to the column's type is not passed. 0 or -1.
int add_in_list(ExecStatement* statement, TableCursor* cursor, const BranchRestriction& br) {
  const Restriction& r = br.restriction;
  auto* in =
      br.predicate && br.predicate->kind == NODE_IN ? node_cast<InNode>(br.predicate) : nullptr;
  if (!r.column->required || !in || in->negated) return 0;
  std::vector<QuillValue*> values;
  int rc = in_values(statement, r, in, &values);
  auto** kept = rc > 0 ? static_cast<QuillValue**>(
                             std::calloc(values.empty() ? 1 : values.size(), sizeof(QuillValue*)))
                       : nullptr;
  if (!kept) {
    for (QuillValue* value : values) release_value(statement->eval.pool, value);
    return rc > 0 ? exec_post_memory(statement) : rc;
  }
  std::copy(values.begin(), values.end(), kept);
  add_active(cursor, r, RESTRICT_IN, nullptr, nullptr);
  Restriction* added = cursor->active[cursor->active_count - 1];
  added->in_values = kept;
  added->in_count = static_cast<int32_t>(values.size());
  return 0;
}

// A character value of `text` (at most kLiteralLimit characters); null on memory failure.
QuillValue* text_value(ExecStatement* statement, const std::string& text) {
  std::string cut = text.substr(0, kLiteralLimit);
  QuillValue* value = NewValue(statement->eval.pool, static_cast<int32_t>(cut.size()));
  if (value && set_value_to_text(value, cut.data(), cut.size()) < 0) {
    release_value(statement->eval.pool, value);
    return nullptr;
  }
  return value;
}

// The literal run after the first wildcard of a compiled pattern, up to the next wildcard.
std::string pattern_run(const unsigned char* program) {
  const unsigned char* at = program;
  while (*at == LIKE_OP_LITERAL) at += 2;
  while (*at == LIKE_OP_ANY_CHAR || *at == LIKE_OP_ANY_STRING) ++at;
  std::string run;
  while (*at == LIKE_OP_LITERAL) {
    run += static_cast<char>(at[1]);
    at += 2;
  }
  return run;
}

// Adds a LIKE restriction as the backend can take it: whole, as a prefix range, as a
// pattern, or not at all. 0 or -1.
int add_like(ExecStatement* statement, TableCursor* cursor, const BranchRestriction& br) {
  if (br.negated) return 0;  // NOT LIKE is left to the branch predicate
  const Restriction& r = br.restriction;
  auto* like =
      br.predicate && br.predicate->kind == NODE_LIKE ? node_cast<LikeNode>(br.predicate) : nullptr;
  QuillValue* pattern = nullptr;
  int rc = restriction_value(statement, r, &pattern);
  if (rc <= 0) return rc;
  if (cursor->capabilities & kCapabilityLike) {
    add_active(cursor, r, RESTRICT_LIKE, pattern, br.predicate);
    return 0;
  }
  EvalContext* context = &statement->eval;
  QuillValue* escape = nullptr;
  if (like && like->escape) {
    escape = eval_expression_guarded(like->escape, context, EVAL_CONSTANT);
    if (!escape) {
      release_value(context->pool, pattern);
      return -1;
    }
  }
  bool parameter = like && like->pattern && like->pattern->kind == NODE_PARAMETER;
  std::vector<unsigned char> program;
  bool compiled = like_compile_value(context, pattern, escape, parameter, &program);
  if (escape) release_value(context->pool, escape);
  release_value(context->pool, pattern);
  if (!compiled) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  if (program.empty()) return 0;
  std::string prefix;
  like_fixed_prefix(program.data(), &prefix);
  if (!prefix.empty()) {
    // LIKE ignores case but a backend compares bytes: the range runs from the upper-cased
    // prefix to the lower-cased one with its last character incremented, which holds every
    // spelling of the prefix ('AB' <= 'Abc' < 'ac'); the branch predicate re-checks the rest.
    std::string lowest = prefix.substr(0, kLiteralLimit), upper = lowest;
    for (char& c : lowest) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    for (char& c : upper) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    unsigned char last = static_cast<unsigned char>(upper.back());
    QuillValue* low = text_value(statement, lowest);
    if (!low) return exec_post_memory(statement);
    add_active(cursor, r, RESTRICT_GREATER_EQUAL, low, br.predicate);
    if (last == 0xFF) return 0;  // no successor: the lower bound alone narrows the scan
    upper.back() = static_cast<char>(last + 1);
    QuillValue* high = text_value(statement, upper);
    if (!high) return exec_post_memory(statement);
    add_active(cursor, r, RESTRICT_LESS, high, br.predicate);
    return 0;
  }
  if (!(cursor->capabilities & kCapabilityPattern)) return 0;
  std::string run = pattern_run(program.data());
  if (run.empty()) return 0;
  QuillValue* value = text_value(statement, run);
  if (!value) return exec_post_memory(statement);
  add_active(cursor, r, RESTRICT_PATTERN, value, br.predicate);
  return 0;
}

// Chooses and evaluates the restrictions handed to the scan of `table`. 0 or -1.
int prepare_restrictions(ExecStatement* statement, BranchTable* table) {
  TableCursor* cursor = table->cursor;
  release_active(statement, cursor);
  if (table->restriction_count == 0) return 0;
  if (!cursor->capabilities_known) {
    int bits = 0;
    if (DALGetInfo(cursor->iterator, &cursor->entry->table, 1, &bits) != SQI_OK) bits = 0;
    cursor->capabilities = bits;
    cursor->capabilities_known = true;
  }
  if (reserve_active(statement, cursor, 2 * table->restriction_count) < 0) return -1;
  for (int i = 0; i < table->restriction_count; ++i) {
    const BranchRestriction& br = table->restrictions[i];
    const Restriction& r = br.restriction;
    if (!r.column) continue;
    switch (r.op) {
      case RESTRICT_IN:
        if (add_in_list(statement, cursor, br) < 0) return -1;
        break;
      case RESTRICT_RANGE:
        break;  // ranges arrive as two comparisons
      case RESTRICT_LIKE:
        if (add_like(statement, cursor, br) < 0) return -1;
        break;
      case RESTRICT_IS_NULL:
        if (cursor->capabilities & kCapabilityIsNull)
          add_active(cursor, r, RESTRICT_IS_NULL, nullptr, br.predicate);
        break;
      default: {
        if (!r.value_expression) {
          if (cursor->capabilities & kCapabilityNoValue)
            add_active(cursor, r, r.op, nullptr, br.predicate);
          break;
        }
        QuillValue* value = nullptr;
        int rc = restriction_value(statement, r, &value);
        if (rc < 0) return -1;
        if (rc > 0) add_active(cursor, r, r.op, value, nullptr);
      }
    }
  }
  return 0;
}

// FALSE (0), TRUE (1) or UNKNOWN (2) of one active restriction on the current row; -1 error.
int check_restriction(ExecStatement* statement, TableCursor* cursor, int index) {
  const Node* predicate = cursor->active_predicates[index];
  EvalContext* context = &statement->eval;
  if (predicate) {
    QuillValue* truth = eval_expression_guarded(predicate, context, EVAL_CHECK);
    if (!truth) return -1;
    int t = get_trivalue_from_value(truth);
    release_value(context->pool, truth);
    return t;
  }
  Restriction* r = cursor->active[index];
  if (!r->value || r->column_number < 1 || r->column_number > cursor->entry->column_count)
    return TRUTH_UNKNOWN;
  context->error = 0;
  return compare_operands(context, cursor->slots[r->column_number - 1], r->value, r->op);
}

// Posts the time-out when the statement's deadline has passed, or the cancellation when one
// was asked for; -1 then, else 0.
int check_deadline(ExecStatement* statement) {
  const ExecStatement* top = statement;
  while (top->parent) top = top->parent;
  if (top->cancel_flag && __atomic_load_n(top->cancel_flag, __ATOMIC_RELAXED) != 0) {
    SetReturnCode(statement->errors, -1);
    PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY008",
              "Operation canceled");
    return -1;
  }
  if (!top->has_deadline || std::chrono::steady_clock::now() < top->deadline) return 0;
  SetReturnCode(statement->errors, -1);
  PostError(statement->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HYT00", "Timeout expired");
  return -1;
}

}  // namespace

bool exec_sample_due(int hits) {
  if (hits <= 10) return true;
  if (hits <= 100) return hits % 10 == 0;
  if (hits <= 1000) return hits % 100 == 0;
  return hits % 1000 == 0;
}

DalIterator* exec_cursor_iterator(ExecStatement* statement, TableCursor* cursor) {
  if (cursor->iterator) return cursor->iterator;
  cursor->iterator = DALOpenIterator(statement->errors, statement->dal);
  if (!cursor->iterator) exec_post_general(statement, 0, "Error in DALOpenIterator");
  return cursor->iterator;
}

int ScanSets::take() {
  TableCursor* cursor = table_->cursor;
  if (!exec_cursor_iterator(owner_, cursor)) return -1;
  if (prepare_restrictions(owner_, table_) < 0) return -1;
  std::vector<Restriction>& set = sets_.emplace_back();
  set.reserve(static_cast<size_t>(cursor->active_count));
  for (int i = 0; i < cursor->active_count; ++i) set.push_back(*cursor->active[i]);
  // The values now belong to the set: the cursor's records forget them.
  for (int i = 0; i < cursor->active_count; ++i) {
    cursor->active_records[i].value = nullptr;
    cursor->active_records[i].in_values = nullptr;
    cursor->active_records[i].in_count = 0;
  }
  cursor->active_count = 0;
  return 0;
}

void ScanSets::prepare(const ExecStatement* statement, DalIterator* iterator) const {
  if (sets_.empty() || !iterator) return;
  std::vector<int> counts;
  std::vector<std::vector<Restriction*>> pointers(sets_.size());
  std::vector<Restriction* const*> set_pointers;
  const bool exact = owner_->plan->exact_filtering;
  for (size_t i = 0; i < sets_.size(); ++i) {
    for (const Restriction& r : sets_[i]) pointers[i].push_back(const_cast<Restriction*>(&r));
    const int count = static_cast<int>(sets_[i].size());
    counts.push_back(exact ? -count : count);
    set_pointers.push_back(pointers[i].data());
  }
  exec_pass_wait(statement, iterator);
  DALPrepareScans(iterator, &table_->cursor->entry->table, static_cast<int>(sets_.size()),
                  counts.data(), set_pointers.data());
}

ScanSets::~ScanSets() {
  for (std::vector<Restriction>& set : sets_)
    for (Restriction& r : set) {
      if (r.value) release_value(owner_->eval.pool, r.value);
      for (int v = 0; v < r.in_count; ++v)
        if (r.in_values[v]) release_value(owner_->eval.pool, r.in_values[v]);
      std::free(r.in_values);
    }
}

int exec_start_scan(ExecStatement* statement, BranchTable* table) {
  TableCursor* cursor = table->cursor;
  cursor->exhausted = false;
  if (cursor->entry->type != TABLE_BASE) {
    if (sub_cursor_open(statement, cursor) < 0) return -1;
    cursor->started = true;
    return 0;
  }
  if (cursor->iterator)
    DALResetIterator(cursor->iterator);
  else if (!exec_cursor_iterator(statement, cursor))
    return -1;
  if (!cursor->started && !cursor->table_flag_known) {
    int flag = 0;
    cursor->table_flag =
        DALGetInfo(cursor->iterator, &cursor->entry->table, 4, &flag) == SQI_OK ? flag : 0;
    cursor->table_flag_known = true;
  }
  if (prepare_restrictions(statement, table) < 0) return -1;
  exec_pass_wait(statement, cursor->iterator);
  int count = statement->plan->exact_filtering ? -cursor->active_count : cursor->active_count;
  int rc = DALStartScan(cursor->iterator, &cursor->entry->table, cursor->column_usage,
                        cursor->entry->key_map, count, cursor->active);
  cursor->started = true;
  if (rc == SQI_NOT_FOUND)
    return exec_post_general(statement, EXEC_NATIVE_NOT_FOUND,
                             "Base table or view not found (may be part of nested view)");
  if (rc == SQI_NO_DATA) {
    cursor->exhausted = true;
    return 0;
  }
  if (rc != SQI_OK && rc != SQI_INFO) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  return rc;
}

int exec_fetch_scan(ExecStatement* statement, BranchTable* table) {
  TableCursor* cursor = table->cursor;
  if (cursor->exhausted) return EXEC_NO_DATA;
  if (cursor->entry->type != TABLE_BASE) {
    int rc = sub_cursor_fetch(statement, cursor);
    if (rc == EXEC_NO_DATA) cursor->exhausted = true;
    return rc;
  }
  bool sampled = !statement->plan->exact_filtering && cursor->active_count > 0;
  for (;;) {
    if (check_deadline(statement) < 0) return -1;
    int rc = DALFetch(cursor->iterator);
    if (rc == SQI_NO_DATA) {
      cursor->exhausted = true;
      return EXEC_NO_DATA;
    }
    if (rc != SQI_OK && rc != SQI_INFO) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
    if (exec_read_row(statement, cursor) < 0) return -1;
    bool keep = true;
    for (int i = 0; sampled && keep && i < cursor->active_count; ++i) {
      Restriction* r = cursor->active[i];
      // A backend consumes what restricts a required parameter: one call per listed value or
      // block of a range, whose rows echo the call's value (not the one written).
      if (r->column && r->column->required) continue;
      if (!exec_sample_due(r->hits)) {
        ++r->hits;
        continue;
      }
      int truth = check_restriction(statement, cursor, i);
      if (truth < 0) {
        SetReturnCode(statement->errors, -1);
        return -1;
      }
      if (truth == TRUTH_FALSE) {
        r->hits = 0;
        keep = false;
      } else {
        ++r->hits;
      }
    }
    if (keep) return rc == SQI_INFO ? 1 : 0;
  }
}

void exec_close_cursor(ExecStatement* statement, TableCursor* cursor) {
  release_active(statement, cursor);
  if (cursor->iterator) DALCloseIterator(cursor->iterator);
  cursor->iterator = nullptr;
  cursor->started = false;
  cursor->exhausted = false;
}
