// The cursor over a joined table (LEFT, RIGHT, FULL and explicit INNER JOIN ... ON). The
// preserved side (left; right for RIGHT) runs in one sub-statement, the other side in a
// second one. When the condition can restrict the other side's scan it becomes that side's
// WHERE and the side runs again for every preserved row, reading the preserved values as
// outer references; otherwise (an OR in the condition, or FULL) the other side runs once
// and its kept rows are replayed for each preserved row. A preserved row without a match
// comes back once with the other side NULL (never for INNER); for FULL the matched row
// numbers of the other side go into a TREE and, after the last preserved row, the other
// side's unmatched rows come back with the preserved side NULL. WHERE conditions on the
// preserved side alone of a top-level LEFT or RIGHT join become its query's WHERE, so they
// restrict its scan (and supply its parameters).
#include <algorithm>
#include <new>
#include <vector>

#include "driver/sql/exec_sub_internal.h"

namespace {

// One side of the join and where its values go in the cursor's slots.
struct JoinSide {
  TableEntry* entry;   // the side's entry
  int first;           // its first slot in the joined entry
  QueryPlan* plan;     // the side's query
  int* item_slots;     // per select item: its slot within the side
  SubRun run;          // the side's sub-statement
  QuillValue** nulls;  // per slot of the side: a NULL of the column's kind
  int slot_count;      // slots of the side
};

struct JoinState;

// The context the join condition is evaluated in: the owner's, with column references to
// the joined tables read from this cursor's slots.
struct JoinEval {
  EvalContext context;   // first member: the hooks receive its address
  JoinState* state;      // the join
  ExecStatement* owner;  // the statement the cursor belongs to
};

enum JoinPhase { PHASE_PRESERVED = 0, PHASE_UNMATCHED = 1, PHASE_DONE = 2 };

// Preserved rows read ahead so that the other side's scans for all of them are got ready at
// once (a backend that fetches many scans together), then replayed one by one.
struct PreservedBlock {
  int capacity = -1;                           // rows read ahead at most; 0 none, -1 not yet asked
  DalIterator* iterator = nullptr;             // the iterator the scans are got ready on
  std::vector<std::vector<QuillValue*>> rows;  // copies of the preserved side's values
  size_t next = 0;                             // next row of `rows` to replay
  bool done = false;                           // the preserved side ran out while reading ahead
};

struct JoinState {
  MemPool* pool;                // everything below; released on close
  JoinEntry* join;              // the join
  int join_type;                // JoinType
  JoinSide preserved;           // the side every row of which is returned
  JoinSide other;               // the side paired with it
  SubRows other_rows;           // the other side's rows produced so far
  bool other_opened;            // the other side was opened for this open of the cursor
  bool pushed;                  // the condition restricts the other side's scan (re-run per row)
  QuillValue** slots;           // the joined row's values (cursor->slots)
  QuillValue** replaced_slots;  // the cursor's slot array before `slots` was installed
  bool have_preserved;          // a preserved row is current
  bool matched;                 // it matched an other-side row
  long other_position;          // next other-side row to pair with it
  TREE* matches;                // FULL: row numbers of the other side that matched
  int phase;                    // JoinPhase
  JoinEval eval;                // condition context
  PreservedBlock* block;        // preserved rows read ahead, or null
};

JoinState* state_of(TableCursor* cursor) {
  return static_cast<JoinState*>(cursor->sub);
}

const QuillValue* join_column_value(EvalContext* context, const ColumnRefNode* column) {
  auto* eval = reinterpret_cast<JoinEval*>(context);
  JoinState* state = eval->state;
  const QuillValue* found = nullptr;
  bool located = false;
  auto look = [&](const JoinSide& side) {
    sub_for_each_leaf(side.entry, side.first, [&](const TableEntry* leaf, int first) {
      if (!located && leaf == column->resolved_table && column->resolved_column >= 0 &&
          column->resolved_column < leaf->column_count) {
        located = true;
        found = state->slots[first + column->resolved_column];
      }
    });
  };
  look(state->preserved);
  look(state->other);
  if (located) return found;
  EvalContext* outer = &eval->owner->eval;
  return outer->hooks.column_value ? outer->hooks.column_value(outer, column) : nullptr;
}

// True when `condition` has an OR among its AND/OR operands: the planner would rewrite such a
// tree in place into its normal form, which the condition must not undergo.
bool has_or(const Node* condition) {
  if (condition == nullptr || condition->kind != NODE_OPERATOR) return false;
  const auto* op = node_cast<OperatorNode>(condition);
  if (op->op_class == OPCLASS_OR) return true;
  return op->op_class == OPCLASS_AND && (has_or(op->left) || has_or(op->right));
}

// Whether `entry` is `leaf` or holds it.
bool holds_leaf(const TableEntry* entry, const void* leaf) {
  if (entry == leaf) return true;
  return entry->type == TABLE_JOINED && entry->join &&
         (holds_leaf(entry->join->left, leaf) || holds_leaf(entry->join->right, leaf));
}

// Whether `owner` lists `entry` in its FROM list itself (not inside another join).
bool top_level(const QueryPlan* owner, const TableEntry* entry) {
  for (ListNode* at = owner->from; at; at = at->next)
    if (at->data == entry) return true;
  return false;
}

// Whether `owner` scans the table `leaf`.
bool scanned_by(const QueryPlan* owner, const void* leaf) {
  for (ListNode* at = owner->scan_tables; at; at = at->next)
    if (at->data == leaf) return true;
  return false;
}

// Whether a WHERE conjunct can go into the preserved side's query: a single comparison, IN
// list, LIKE or IS NULL (no subquery, no boolean structure the side's planner would rewrite
// in place) whose columns are all the side's own or an outer query's.
bool preserved_conjunct(EvalContext* context, const QueryPlan* owner, const TableEntry* side,
                        const Node* part) {
  switch (part->kind) {
    case NODE_OPERATOR: {
      const auto* op = node_cast<OperatorNode>(part);
      if (op->op_class != OPCLASS_VALUE || op->op < OP_LESS || op->op > OP_NOT_EQUAL) return false;
      for (const Node* side_node : {op->left, op->right})
        if (side_node && (side_node->kind == NODE_QUERY_SPEC ||
                          side_node->kind == NODE_GROUPED_QUERY || side_node->kind == NODE_UNION))
          return false;
      break;
    }
    case NODE_IN:
      if (node_cast<InNode>(part)->query) return false;
      break;
    case NODE_LIKE:
    case NODE_IS_NULL:
      break;
    default:
      return false;
  }
  struct Check {
    const QueryPlan* owner;
    const TableEntry* side;
    bool ok;
  } check{owner, side, true};
  eval_expr(
      part, context,
      [](const Node* node, void* argument) {
        auto* c = static_cast<Check*>(argument);
        if (node->kind != NODE_COLUMN_REF) {
          c->ok = false;  // a set function's argument
          return;
        }
        const void* table = node_cast<ColumnRefNode>(node)->resolved_table;
        if (scanned_by(c->owner, table) && !holds_leaf(c->side, table)) c->ok = false;
      },
      &check, 0);
  return check.ok;
}

// The conjuncts of an AND tree, in tree order.
std::vector<const Node*> conjuncts_of(const Node* node) {
  std::vector<const Node*> parts;
  std::vector<const Node*> pending{node};
  while (!pending.empty()) {
    const Node* at = pending.back();
    pending.pop_back();
    if (at->kind == NODE_OPERATOR && node_cast<OperatorNode>(at)->op_class == OPCLASS_AND) {
      pending.push_back(node_cast<OperatorNode>(at)->right);
      pending.push_back(node_cast<OperatorNode>(at)->left);
      continue;
    }
    parts.push_back(at);
  }
  return parts;
}

// The WHERE conjuncts of the owner that touch only the preserved side of a top-level LEFT or
// RIGHT join, ANDed in new nodes (the conjuncts themselves shared); null when none. They
// filter the preserved rows before the join exactly as after it (a preserved column is never
// NULL-extended), and restrictions among them can supply the side's required parameters. A
// WHERE clause the planner split into OR branches gives the conjuncts every branch shares.
Node* preserved_where(ExecStatement* statement, MemPool* pool, const QueryPlan* owner,
                      const TableEntry* joined, const TableEntry* side) {
  if (!owner || !owner->where || !top_level(owner, joined)) return nullptr;
  std::vector<const Node*> branches;
  std::vector<const Node*> pending{owner->where};
  while (!pending.empty()) {
    const Node* at = pending.back();
    pending.pop_back();
    if (at->kind == NODE_OPERATOR && node_cast<OperatorNode>(at)->op_class == OPCLASS_OR) {
      pending.push_back(node_cast<OperatorNode>(at)->right);
      pending.push_back(node_cast<OperatorNode>(at)->left);
      continue;
    }
    branches.push_back(at);
  }
  std::vector<const Node*> parts;
  for (const Node* part : conjuncts_of(branches.front())) {
    bool everywhere = true;
    for (size_t b = 1; everywhere && b < branches.size(); ++b) {
      std::vector<const Node*> others = conjuncts_of(branches[b]);
      everywhere = std::find(others.begin(), others.end(), part) != others.end();
    }
    if (everywhere && preserved_conjunct(&statement->eval, owner, side, part))
      parts.push_back(part);
  }
  Node* where = nullptr;
  for (const Node* part : parts) {
    if (!where) {
      where = const_cast<Node*>(part);
      continue;
    }
    auto* both = static_cast<OperatorNode*>(newNode(sizeof(OperatorNode), NODE_OPERATOR, pool));
    if (!both) return nullptr;
    both->op_class = OPCLASS_AND;
    both->op = OP_NONE;
    both->left = where;
    both->right = const_cast<Node*>(part);
    where = both;
  }
  return where;
}

int init_side(ExecStatement* statement, JoinState* state, JoinSide* side, TableEntry* entry,
              int first, Node* where) {
  side->entry = entry;
  side->first = first;
  side->slot_count = sub_entry_slot_count(entry);
  QueryPlan* owner = statement->plan ? statement->plan->query : statement->member;
  side->plan = sub_side_plan(state->pool, owner, entry, where, &side->item_slots);
  size_t count = static_cast<size_t>(side->slot_count > 0 ? side->slot_count : 1);
  side->nulls =
      static_cast<QuillValue**>(quill_mem_alloc(state->pool, sizeof(QuillValue*) * count));
  if (side->plan == nullptr || side->nulls == nullptr) return exec_post_memory(statement);
  bool ok = true;
  sub_for_each_leaf(entry, 0, [&](const TableEntry* leaf, int leaf_first) {
    for (int c = 0; ok && c < leaf->column_count; ++c) {
      side->nulls[leaf_first + c] = sub_null_value(state->pool, &leaf->columns[c]);
      ok = side->nulls[leaf_first + c] != nullptr;
    }
  });
  if (!ok) return exec_post_memory(statement);
  return sub_run_init(&side->run, statement, side->plan, state->pool);
}

JoinState* make_state(ExecStatement* statement, TableCursor* cursor) {
  MemPool* pool = quill_mem_alloc_handle(statement->pool);
  if (pool == nullptr) return nullptr;
  auto* state = static_cast<JoinState*>(quill_mem_alloc(pool, sizeof(JoinState)));
  int width = sub_entry_slot_count(cursor->entry);
  size_t bytes = sizeof(QuillValue*) * static_cast<size_t>(width > 0 ? width : 1);
  QuillValue** slots = static_cast<QuillValue**>(quill_mem_alloc(pool, bytes));
  if (state == nullptr || slots == nullptr) {
    quill_mem_release_handle(pool);
    return nullptr;
  }
  *state = JoinState{};
  state->pool = pool;
  state->other_rows.pool = pool;
  // A joined entry has no columns of its own: its slots are always made here.
  state->slots = slots;
  state->replaced_slots = cursor->slots;
  cursor->slots = slots;
  return state;
}

void set_side_nulls(JoinState* state, const JoinSide& side) {
  for (int i = 0; i < side.slot_count; ++i) state->slots[side.first + i] = side.nulls[i];
}

// Points the side's slots at the values of its current row (unused columns NULL).
void set_side_values(JoinState* state, const JoinSide& side, const QuillValue* const* values) {
  set_side_nulls(state, side);
  for (int i = 0; i < side.plan->item_count; ++i)
    state->slots[side.first + side.item_slots[i]] = const_cast<QuillValue*>(values[i]);
}

// Next preserved row into the slots: EXEC_OK/EXEC_WARNING row, EXEC_NO_DATA end, EXEC_ERROR.
int next_preserved(ExecStatement* statement, JoinState* state) {
  ExecStatement* sub = state->preserved.run.statement;
  int rc = exec_fetch(sub);
  if (rc == EXEC_NO_DATA) return rc;
  if (rc < 0)
    return exec_post_general(statement, EXEC_NATIVE_JOIN,
                             "Internal Error, left hand side of join failed");
  std::vector<const QuillValue*> values(static_cast<size_t>(state->preserved.plan->item_count));
  for (size_t i = 0; i < values.size(); ++i) {
    values[i] = exec_column_value(sub, static_cast<int>(i));
    if (values[i] == nullptr) return -1;
  }
  set_side_values(state, state->preserved, values.data());
  if (rc == EXEC_WARNING) statement->warning = true;
  return 0;
}

// Opens the other side for the current preserved row: when the condition restricts its scan
// it runs again for every preserved row; otherwise once per open of the cursor, and then
// only when what it depends on from outside changed. 0 or -1.
int open_other(ExecStatement* statement, JoinState* state) {
  if (state->pushed) {
    if (sub_run_restart(&state->other.run) < 0)
      return exec_post_general(statement, EXEC_NATIVE_JOIN,
                               "Internal Error, right hand side of join failed");
    sub_rows_reset(&state->other_rows, state->other.plan->item_count);
    return 0;
  }
  if (state->other_opened) return 0;
  bool rerun = false;
  if (sub_run_open(&state->other.run, &rerun) < 0) {
    return exec_post_general(statement, EXEC_NATIVE_JOIN,
                             "Internal Error, right hand side of join failed");
  }
  if (rerun) sub_rows_reset(&state->other_rows, state->other.plan->item_count);
  state->other_opened = true;
  return 0;
}

// Other-side row `index` into the slots: EXEC_OK row, EXEC_NO_DATA no such row, EXEC_ERROR.
int other_row(ExecStatement* statement, JoinState* state, long index) {
  SubRows* rows = &state->other_rows;
  while (index >= rows->count) {
    if (rows->complete) return EXEC_NO_DATA;
    ExecStatement* sub = state->other.run.statement;
    int rc = exec_fetch(sub);
    if (rc == EXEC_NO_DATA) {
      rows->complete = true;
      return EXEC_NO_DATA;
    }
    if (rc < 0)
      return exec_post_general(statement, EXEC_NATIVE_JOIN,
                               "Internal Error, right hand side of join failed");
    if (rc == EXEC_WARNING) statement->warning = true;
    std::vector<const QuillValue*> values(static_cast<size_t>(rows->width));
    for (size_t i = 0; i < values.size(); ++i) {
      values[i] = exec_column_value(sub, static_cast<int>(i));
      if (values[i] == nullptr) return -1;
    }
    if (sub_rows_append(rows, values.data()) < 0) return exec_post_memory(statement);
  }
  set_side_values(state, state->other, sub_rows_at(rows, index));
  return 0;
}

// The condition on the joined row in the slots: 1 TRUE, 0 not, -1 error.
int condition_holds(JoinState* state) {
  if (state->join->condition == nullptr) return 1;
  state->eval.context.error = 0;
  return eval_predicate(state->join->condition, &state->eval.context, EVAL_SEARCH);
}

int record_match(ExecStatement* statement, JoinState* state, long row) {
  if (state->join_type != JOIN_FULL) return 0;
  if (state->matches == nullptr && TREEcreate(&state->matches, nullptr, state->pool) != TREE_OK)
    return exec_post_memory(statement);
  if (TREElookup(state->matches, &row, sizeof row, nullptr) == TREE_OK) return 0;
  if (TREEinsert(state->matches, &row, sizeof row, nullptr) != TREE_OK)
    return exec_post_general(statement, 0, "Unexpected error in TREEinsert");
  return 0;
}

// Frees the preserved rows read ahead; the preserved side's slots, which may point at one of
// them, become NULLs.
void drop_block_rows(JoinState* state) {
  PreservedBlock* block = state->block;
  if (!block->rows.empty()) set_side_nulls(state, state->preserved);
  for (std::vector<QuillValue*>& row : block->rows)
    for (QuillValue* value : row)
      if (value) release_value(state->pool, value);
  block->rows.clear();
  block->next = 0;
}

// The other side's one base-table scan, when the condition restricts it and its backend gets
// many scans ready at once (asked once the other side has run, so that its plan exists); null
// otherwise.
BranchTable* blockable_scan(ExecStatement* statement, JoinState* state) {
  ExecStatement* other = state->other.run.statement;
  if (!state->pushed || !other || !other->plan || other->plan->branch_count != 1 ||
      other->plan->branches[0].table_count != 1)
    return nullptr;
  BranchTable* scan = &other->plan->branches[0].tables[0];
  if (scan->cursor->entry->type != TABLE_BASE || scan->restriction_count == 0) return nullptr;
  PreservedBlock* block = state->block;
  if (block->capacity < 0) {
    block->capacity = 0;
    block->iterator = DALOpenIterator(statement->errors, statement->dal);
    int capacity = 0;
    if (block->iterator &&
        DALGetInfo(block->iterator, &scan->cursor->entry->table, SQI_INFO_PREPARED_SCANS,
                   &capacity) == SQI_OK &&
        capacity > 1)
      block->capacity = capacity;
  }
  return block->capacity > 0 ? scan : nullptr;
}

// Reads up to a block of preserved rows ahead, copying their values and evaluating the other
// side's restrictions for each, and has the backend get those scans ready. 0 or -1.
int read_preserved_block(ExecStatement* statement, JoinState* state, BranchTable* scan) {
  PreservedBlock* block = state->block;
  ExecStatement* other = state->other.run.statement;
  drop_block_rows(state);
  ScanSets sets(other, scan);
  const size_t width = static_cast<size_t>(state->preserved.plan->item_count);
  while (static_cast<int>(block->rows.size()) < block->capacity) {
    int rc = next_preserved(statement, state);
    if (rc == EXEC_NO_DATA) {
      block->done = true;
      break;
    }
    if (rc != 0) return -1;
    std::vector<QuillValue*>& row = block->rows.emplace_back(width, nullptr);
    for (size_t i = 0; i < width; ++i) {
      const QuillValue* value =
          state->slots[state->preserved.first + state->preserved.item_slots[i]];
      if (!(row[i] = exec_standalone_copy(statement, state->pool, value))) return -1;
    }
    if (sets.take() < 0) return -1;
  }
  sets.prepare(statement, block->iterator);
  return 0;
}

// The next preserved row into the slots, replayed from a block read ahead when the other
// side's scans can be got ready together: as next_preserved.
int take_preserved(ExecStatement* statement, JoinState* state) {
  PreservedBlock* block = state->block;
  if (!block) return next_preserved(statement, state);
  BranchTable* scan = blockable_scan(statement, state);
  if (!scan && block->next >= block->rows.size()) return next_preserved(statement, state);
  if (block->next >= block->rows.size()) {
    if (block->done) return EXEC_NO_DATA;
    try {
      if (read_preserved_block(statement, state, scan) < 0) return -1;
    } catch (const std::bad_alloc&) {
      return exec_post_memory(statement);
    }
    if (block->rows.empty()) return EXEC_NO_DATA;
  }
  const std::vector<QuillValue*>& row = block->rows[block->next++];
  set_side_values(state, state->preserved, row.data());
  return 0;
}

// Algorithm of the preserved pass: EXEC_OK a row, EXEC_NO_DATA the preserved side ended,
// EXEC_ERROR.
int fetch_preserved_pass(ExecStatement* statement, JoinState* state) {
  for (;;) {
    if (!state->have_preserved) {
      int rc = take_preserved(statement, state);
      if (rc != 0) return rc;
      state->have_preserved = true;
      state->matched = false;
      state->other_position = 0;
      if (open_other(statement, state) < 0) return -1;
    }
    long row = state->other_position;
    int rc = other_row(statement, state, row);
    if (rc < 0) return -1;
    if (rc == 0) {
      ++state->other_position;
      int truth = condition_holds(state);
      if (truth < 0) return -1;
      if (truth == 0) continue;
      state->matched = true;
      if (record_match(statement, state, row) < 0) return -1;
      return 0;
    }
    state->have_preserved = false;
    if (!state->matched && state->join_type != JOIN_INNER) {
      set_side_nulls(state, state->other);
      return 0;
    }
  }
}

// FULL: the other side's rows that matched no preserved row, preserved side NULL.
int fetch_unmatched_pass(ExecStatement* statement, JoinState* state) {
  if (open_other(statement, state) < 0) return -1;
  for (;;) {
    long row = state->other_position;
    int rc = other_row(statement, state, row);
    if (rc != 0) return rc;
    ++state->other_position;
    if (state->matches != nullptr &&
        TREElookup(state->matches, &row, sizeof row, nullptr) == TREE_OK)
      continue;
    set_side_nulls(state, state->preserved);
    return 0;
  }
}

// Leaf tables of the join that also have cursors of their own in the statement's plan read
// their values through this cursor's slots, so column references to them see the joined row.
void share_leaf_slots(ExecStatement* statement, TableCursor* cursor, JoinState* state) {
  if (statement->plan == nullptr) return;
  sub_for_each_leaf(cursor->entry, 0, [&](const TableEntry* leaf, int first) {
    TableCursor* own = exec_find_cursor(statement, leaf);
    if (own != nullptr && own != cursor) own->slots = state->slots + first;
  });
}

}  // namespace

int sub_join_open(ExecStatement* statement, TableCursor* cursor) {
  JoinState* state = state_of(cursor);
  JoinEntry* join = cursor->entry->join;
  if (join == nullptr || join->left == nullptr || join->right == nullptr)
    return exec_post_general(statement, EXEC_NATIVE_JOIN, "Internal Error");
  if (state == nullptr) {
    state = make_state(statement, cursor);
    if (state == nullptr) return exec_post_memory(statement);
    cursor->sub = state;
    state->block = new (std::nothrow) PreservedBlock;
    if (!state->block) return exec_post_memory(statement);
    state->join = join;
    state->join_type = join->join_type;
    bool right_preserved = join->join_type == JOIN_RIGHT;
    int left_slots = sub_entry_slot_count(join->left);
    TableEntry* preserved = right_preserved ? join->right : join->left;
    TableEntry* other = right_preserved ? join->left : join->right;
    // The condition goes into the other side's query so that its scan is restricted by the
    // preserved row's values; FULL needs the other side whole for its second pass.
    state->pushed =
        join->join_type != JOIN_FULL && join->condition != nullptr && !has_or(join->condition);
    QueryPlan* owner = statement->plan ? statement->plan->query : statement->member;
    Node* preserved_filter =
        join->join_type == JOIN_LEFT || join->join_type == JOIN_RIGHT
            ? preserved_where(statement, state->pool, owner, cursor->entry, preserved)
            : nullptr;
    if (init_side(statement, state, &state->preserved, preserved, right_preserved ? left_slots : 0,
                  preserved_filter) < 0 ||
        init_side(statement, state, &state->other, other, right_preserved ? 0 : left_slots,
                  state->pushed ? join->condition : nullptr) < 0)
      return -1;
    state->eval.context = statement->eval;
    state->eval.context.hooks.column_value = join_column_value;
    state->eval.state = state;
    state->eval.owner = statement;
    set_side_nulls(state, state->preserved);
    set_side_nulls(state, state->other);
    share_leaf_slots(statement, cursor, state);
  }
  if (state->matches != nullptr) {
    TREEdestroy(state->matches, nullptr);
    state->matches = nullptr;
  }
  state->have_preserved = false;
  state->other_opened = false;
  state->other_position = 0;
  state->phase = PHASE_PRESERVED;
  if (state->block) {
    drop_block_rows(state);
    state->block->done = false;
  }
  cursor->exhausted = false;
  if (sub_run_restart(&state->preserved.run) < 0) {
    return exec_post_general(statement, EXEC_NATIVE_JOIN,
                             "Internal Error, left hand side of join failed");
  }
  return 0;
}

int sub_join_fetch(ExecStatement* statement, TableCursor* cursor) {
  JoinState* state = state_of(cursor);
  if (state == nullptr) return EXEC_NO_DATA;
  if (state->phase == PHASE_PRESERVED) {
    int rc = fetch_preserved_pass(statement, state);
    if (rc != EXEC_NO_DATA) return rc;
    state->phase = state->join_type == JOIN_FULL ? PHASE_UNMATCHED : PHASE_DONE;
    state->other_position = 0;
  }
  if (state->phase == PHASE_UNMATCHED) {
    int rc = fetch_unmatched_pass(statement, state);
    if (rc != EXEC_NO_DATA) return rc;
    state->phase = PHASE_DONE;
  }
  return EXEC_NO_DATA;
}

void sub_join_close(ExecStatement*, TableCursor* cursor) {
  JoinState* state = state_of(cursor);
  if (state == nullptr) return;
  sub_run_free(&state->preserved.run);
  sub_run_free(&state->other.run);
  if (state->block) {
    drop_block_rows(state);
    if (state->block->iterator) DALCloseIterator(state->block->iterator);
    delete state->block;
  }
  if (state->matches != nullptr) TREEdestroy(state->matches, nullptr);
  if (cursor->slots == state->slots) cursor->slots = state->replaced_slots;
  cursor->sub = nullptr;
  quill_mem_release_handle(state->pool);
}
