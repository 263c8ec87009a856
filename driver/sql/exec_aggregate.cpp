// Set functions of a query without GROUP BY: COUNT, COUNT(*), SUM, AVG, MIN, MAX, FIRST and
// LAST (DISTINCT operands kept in a TREE) accumulated over every qualifying row, finalised
// into the single row such a query returns, also when no row qualified.
#include <cstring>

#include "driver/sql/cast.h"
#include "driver/sql/exec_internal.h"

namespace {

// Orders TREE keys that hold a QuillValue pointer by value.
int compare_value_keys(const void* a, size_t, const void* b, size_t) {
  const QuillValue* left = nullptr;
  const QuillValue* right = nullptr;
  std::memcpy(&left, a, sizeof left);
  std::memcpy(&right, b, sizeof right);
  return compare_values(left, right);
}

// Releases a DISTINCT operand kept in a tree.
void release_kept(void* data) {
  auto* value = static_cast<QuillValue*>(data);
  if (value) release_value(value->pool, value);
}

}  // namespace

void exec_aggregate_release(ExecStatement* statement) {
  for (int i = 0; i < statement->aggregate_count; ++i) {
    AggregateState* state = &statement->aggregates[i];
    if (state->value) release_value(statement->pool, state->value);
    if (state->distinct) TREEdestroy(state->distinct, release_kept);
  }
  if (statement->aggregates) quill_mem_free(statement->pool, statement->aggregates);
  statement->aggregates = nullptr;
  statement->aggregate_count = 0;
}

namespace {

// Whether `value` is a DISTINCT operand met before (1), new (0, remembered), or -1.
int seen_before(ExecStatement* statement, AggregateState* state, const QuillValue* value) {
  if (TREElookup(state->distinct, &value, sizeof value, nullptr) == TREE_OK) return 1;
  QuillValue* kept = duplicate_value(statement->pool, value);
  if (!kept || TREEinsert(state->distinct, &kept, sizeof kept, kept) != TREE_OK)
    return exec_post_memory(statement);
  return 0;
}

// Folds one non-NULL operand into the accumulator; takes ownership of `value`.
int accumulate(ExecStatement* statement, AggregateState* state, QuillValue* value) {
  EvalContext* context = &statement->eval;
  int function = state->node->function;
  ++state->count;
  if (function == SETF_COUNT) {
    release_value(context->pool, value);
    return 0;
  }
  if (!state->seen) {
    state->value = value;
    state->seen = true;
    return 0;
  }
  bool replace = false;
  switch (function) {
    case SETF_SUM:
    case SETF_AVG: {
      QuillValue* sum = arithmetic_operation(context, state->value, value, OP_ADD);
      release_value(context->pool, value);
      if (!sum) return -1;
      release_value(context->pool, state->value);
      state->value = sum;
      return 0;
    }
    case SETF_MIN:
      replace = compare_values(value, state->value) < 0;
      break;
    case SETF_MAX:
      replace = compare_values(value, state->value) > 0;
      break;
    case SETF_LAST:
      replace = true;
      break;
    default:
      break;
  }
  if (replace) {
    release_value(context->pool, state->value);
    state->value = value;
  } else {
    release_value(context->pool, value);
  }
  return 0;
}

// The set-function entry of `node` in the select list, or null.
const SetFunctionEntry* entry_of(ExecStatement* statement, const SetFunctionNode* node) {
  for (ListNode* list :
       {statement->member->select_set_functions, statement->member->having_set_functions})
    for (ListNode* at = list; at; at = at->next) {
      auto* entry = static_cast<const SetFunctionEntry*>(at->data);
      if (entry->node == node) return entry;
    }
  return nullptr;
}

// Converts a finished SUM or AVG to the type validation gave the set function.
int to_result_type(ExecStatement* statement, AggregateState* state) {
  const SetFunctionEntry* entry = entry_of(statement, state->node);
  if (!entry || !state->value || sql_to_value_type(entry->sql_type) == state->value->kind) return 0;
  QuillValue* converted = cast_value_to(&statement->eval, state->value, entry->sql_type, -1, -1);
  if (!converted) return -1;
  release_value(statement->pool, state->value);
  state->value = converted;
  return 0;
}

}  // namespace

int exec_aggregate_reset(ExecStatement* statement) {
  exec_aggregate_release(statement);
  // HAVING's own set functions accumulate beside those of the select list.
  ListNode* lists[] = {statement->member->select_set_functions,
                       statement->member->having_set_functions};
  int count = ListCount(lists[0]) + ListCount(lists[1]);
  if (count == 0) return 0;
  statement->aggregates = static_cast<AggregateState*>(
      quill_mem_alloc(statement->pool, sizeof(AggregateState) * static_cast<size_t>(count)));
  if (!statement->aggregates) return exec_post_memory(statement);
  statement->aggregate_count = count;
  int i = 0;
  for (ListNode* list : lists)
    for (ListNode* at = list; at; at = at->next, ++i) {
      AggregateState* state = &statement->aggregates[i];
      state->node = static_cast<SetFunctionEntry*>(at->data)->node;
      if (state->node->distinct &&
          TREEcreate(&state->distinct, compare_value_keys, statement->pool) != TREE_OK)
        return exec_post_memory(statement);
    }
  return 0;
}

namespace {

// The current value of a plain column-reference operand, without the copy an evaluation
// makes; null for other operands or when the column cannot be read (the evaluation then
// reports it).
const QuillValue* peek_column(ExecStatement* statement, const Node* operand) {
  EvalContext* context = &statement->eval;
  if (!operand || operand->kind != NODE_COLUMN_REF || !context->hooks.column_value) return nullptr;
  const QuillValue* value = context->hooks.column_value(context, node_cast<ColumnRefNode>(operand));
  return value && settle_value(value) == 0 ? value : nullptr;
}

// COUNT, MIN and MAX of a column reference look at the row's value in place and copy it only
// when it becomes the result: 1 when the row was taken this way, 0 when the general path must
// take it, -1 on error.
int accumulate_in_place(ExecStatement* statement, AggregateState* state) {
  int function = state->node->function;
  if (state->distinct || (function != SETF_COUNT && function != SETF_MIN && function != SETF_MAX))
    return 0;
  const QuillValue* value = peek_column(statement, state->node->operand);
  if (!value) return 0;
  if (is_value_null(value)) return 1;
  if (function == SETF_COUNT) {
    ++state->count;
    return 1;
  }
  if (state->seen) {
    int order = compare_values(value, state->value);
    if (function == SETF_MIN ? order >= 0 : order <= 0) {
      ++state->count;
      return 1;
    }
  }
  QuillValue* copy = duplicate_value(statement->eval.pool, value);
  if (!copy) return exec_post_memory(statement);
  if (accumulate(statement, state, copy) < 0) {
    SetReturnCode(statement->errors, -1);
    return -1;
  }
  return 1;
}

}  // namespace

int exec_aggregate_row(ExecStatement* statement) {
  for (int i = 0; i < statement->aggregate_count; ++i) {
    AggregateState* state = &statement->aggregates[i];
    if (state->node->function == SETF_COUNT_STAR) {
      ++state->count;
      continue;
    }
    int taken = accumulate_in_place(statement, state);
    if (taken < 0) return -1;
    if (taken > 0) continue;
    QuillValue* value = eval_expression_guarded(state->node->operand, &statement->eval, 0);
    if (!value) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
    if (is_value_null(value)) {
      release_value(statement->eval.pool, value);
      continue;
    }
    if (state->distinct) {
      int seen = seen_before(statement, state, value);
      if (seen != 0) {
        release_value(statement->eval.pool, value);
        if (seen < 0) return -1;
        continue;
      }
    }
    if (accumulate(statement, state, value) < 0) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
  }
  return 0;
}

int exec_aggregate_finish(ExecStatement* statement) {
  EvalContext* context = &statement->eval;
  for (int i = 0; i < statement->aggregate_count; ++i) {
    AggregateState* state = &statement->aggregates[i];
    int function = state->node->function;
    if (function == SETF_COUNT || function == SETF_COUNT_STAR) {
      if (state->value) release_value(context->pool, state->value);
      state->value = NewValue(context->pool, 0);
      if (!state->value) return exec_post_memory(statement);
      const SetFunctionEntry* entry = entry_of(statement, state->node);
      if ((entry && entry->sql_type == SQL_BIGINT) || state->count > INT32_MAX)
        set_value_to_bigint(state->value, state->count);
      else
        set_value_to_int(state->value, static_cast<int32_t>(state->count));
      continue;
    }
    if (!state->seen) {
      const SetFunctionEntry* entry = entry_of(statement, state->node);
      if (!state->value) state->value = NewValue(context->pool, 0);
      if (!state->value) return exec_post_memory(statement);
      set_value_null(state->value, entry ? sql_to_value_type(entry->sql_type) : VALUE_INTEGER);
      continue;
    }
    double sum = 0;
    bool interval = state->value && (state->value->kind == VALUE_YEAR_MONTH_INTERVAL ||
                                     state->value->kind == VALUE_DAY_TIME_INTERVAL);
    if (function == SETF_AVG && !interval && get_double_from_value(state->value, &sum) == 0) {
      // Averages other than of intervals are taken in double precision (an integer sum
      // divided by the count would truncate).
      set_value_to_double(state->value, sum / static_cast<double>(state->count));
    } else if (function == SETF_AVG) {
      QuillValue* divisor = NewValue(context->pool, 0);
      if (!divisor) return exec_post_memory(statement);
      set_value_to_bigint(divisor, state->count);
      QuillValue* average = arithmetic_operation(context, state->value, divisor, OP_DIVIDE);
      release_value(context->pool, divisor);
      if (!average) {
        SetReturnCode(statement->errors, -1);
        return -1;
      }
      release_value(context->pool, state->value);
      state->value = average;
    }
    if ((function == SETF_SUM || function == SETF_AVG) && to_result_type(statement, state) < 0) {
      SetReturnCode(statement->errors, -1);
      return -1;
    }
  }
  return 0;
}

int exec_fetch_aggregate(ExecStatement* statement) {
  if (statement->aggregate_done) return EXEC_NO_DATA;
  bool warning = false;
  for (;;) {
    int rc = exec_fetch_direct(statement);
    if (rc == EXEC_ERROR) return EXEC_ERROR;
    if (rc == EXEC_NO_DATA) break;
    warning |= rc == EXEC_WARNING;
    if (exec_aggregate_row(statement) < 0) return -1;
  }
  if (exec_aggregate_finish(statement) < 0) return -1;
  statement->aggregate_done = true;
  return warning ? EXEC_WARNING : EXEC_OK;
}
