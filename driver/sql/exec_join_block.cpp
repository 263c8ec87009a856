// Blocks of outer rows for a nested-loop join whose innermost table is served by a backend that
// fetches many scans at once (one JSON-RPC batch for a join's lookups): the outer tables are
// read ahead up to a block of rows, each row's values are copied and the innermost table's
// restrictions evaluated for it, the backend gets all those scans ready in one go, and the rows
// are then replayed one by one, the innermost scan restarted for each as it would be without the
// block (the backend answers it from what it got ready). Row order and results stay those of
// the plain nested loop.
#include <new>
#include <utility>
#include <vector>

#include "driver/sql/exec_internal.h"
#include "driver/sql/exec_sub.h"

struct JoinBlock {
  int inner = 0;                     // index of the innermost table in the branch
  int capacity = 0;                  // outer rows read ahead at most (the backend's answer)
  std::vector<TableCursor*> outers;  // the outer tables' cursors, outermost first
  // Per outer table (0 .. inner-1): the cursor's own slot values, then its row key and bookmark;
  // the slots point at a row copy while one is replayed.
  std::vector<std::vector<QuillValue*>> own;
  // Per row read ahead: copies of the used values of every outer table, laid out as `own`
  // (null where a column is unused).
  std::vector<std::vector<QuillValue*>> rows;
  size_t next = 0;          // next row of `rows` to replay
  bool outer_done = false;  // the outer tables ran out while reading ahead
  // Rows read ahead for subqueries: per subquery's sub-statement, the iterator its scans are
  // got ready on.
  std::vector<std::pair<ExecStatement*, DalIterator*>> iterators;
  ~JoinBlock() {
    for (auto& [sub, iterator] : iterators) DALCloseIterator(iterator);
  }
};

namespace {

// The values a cursor's copy holds: its columns, its row key and its bookmark.
size_t copy_width(const TableCursor* cursor) {
  return static_cast<size_t>(cursor->entry->column_count) + 2;
}

// Points the outer cursors' slots back at their own values.
void restore_own(JoinBlock* block) {
  for (size_t t = 0; t < block->outers.size(); ++t) {
    TableCursor* cursor = block->outers[t];
    const std::vector<QuillValue*>& own = block->own[t];
    const int columns = cursor->entry->column_count;
    for (int c = 0; c < columns; ++c) cursor->slots[c] = own[static_cast<size_t>(c)];
    cursor->row_key = own[static_cast<size_t>(columns)];
    cursor->bookmark = own[static_cast<size_t>(columns) + 1];
  }
}

// Frees the row copies read ahead.
void drop_rows(ExecStatement* statement, JoinBlock* block) {
  for (std::vector<QuillValue*>& row : block->rows)
    for (QuillValue* value : row)
      if (value) release_value(statement->eval.pool, value);
  block->rows.clear();
  block->next = 0;
}

// Copies the used values of the outer tables' current rows into a new row of the block. 0/-1.
int copy_outer_row(ExecStatement* statement, PlanBranch* branch, JoinBlock* block) {
  block->rows.emplace_back();
  std::vector<QuillValue*>& row = block->rows.back();
  for (int t = 0; t < block->inner; ++t) {
    TableCursor* cursor = branch->tables[t].cursor;
    const int columns = cursor->entry->column_count;
    const size_t first = row.size();
    row.resize(first + copy_width(cursor), nullptr);
    for (int c = 0; c < columns; ++c) {
      if (!cursor->column_usage[c] || !cursor->slots[c]) continue;
      if (!(row[first + static_cast<size_t>(c)] =
                exec_standalone_copy(statement, statement->eval.pool, cursor->slots[c])))
        return -1;
    }
    const QuillValue* keys[2] = {cursor->row_key, cursor->bookmark};
    for (size_t k = 0; k < 2; ++k)
      if (keys[k] && !(row[first + static_cast<size_t>(columns) + k] =
                           exec_standalone_copy(statement, statement->eval.pool, keys[k])))
        return -1;
  }
  return 0;
}

// Points the outer cursors' slots at row `index` of the block (own values where unused).
void replay_row(PlanBranch* branch, JoinBlock* block, size_t index) {
  const std::vector<QuillValue*>& row = block->rows[index];
  size_t at = 0;
  for (int t = 0; t < block->inner; ++t) {
    TableCursor* cursor = branch->tables[t].cursor;
    const std::vector<QuillValue*>& own = block->own[static_cast<size_t>(t)];
    const size_t width = copy_width(cursor);
    const int columns = cursor->entry->column_count;
    for (int c = 0; c < columns; ++c) {
      QuillValue* copy = row[at + static_cast<size_t>(c)];
      cursor->slots[c] = copy ? copy : own[static_cast<size_t>(c)];
    }
    QuillValue* key = row[at + static_cast<size_t>(columns)];
    QuillValue* mark = row[at + static_cast<size_t>(columns) + 1];
    cursor->row_key = key ? key : own[static_cast<size_t>(columns)];
    cursor->bookmark = mark ? mark : own[static_cast<size_t>(columns) + 1];
    at += width;
  }
}

// Reads up to a block of outer rows ahead and has the innermost table's backend get their scans
// ready. 0 (no rows when the outer tables are exhausted), or -1.
int read_block(ExecStatement* statement, PlanBranch* branch, JoinBlock* block, bool* warning) {
  restore_own(block);
  drop_rows(statement, block);
  BranchTable* inner = &branch->tables[block->inner];
  ScanSets sets(statement, inner);
  while (static_cast<int>(block->rows.size()) < block->capacity) {
    restore_own(block);
    int rc = exec_join_advance(statement, branch, block->inner - 1, warning);
    if (rc == EXEC_ERROR) return -1;
    if (rc == EXEC_NO_DATA) {
      block->outer_done = true;
      break;
    }
    if (copy_outer_row(statement, branch, block) < 0 || sets.take() < 0) return -1;
  }
  sets.prepare(statement, inner->cursor->iterator);
  return 0;
}

// `capacity` cut to what the row limit can need. Rows handed out as they are joined stop at
// the limit (LIMIT, TOP, max rows): reading ahead far beyond it would make lookups nobody
// asked for.
int within_row_limit(const ExecStatement* statement, int capacity) {
  const QueryPlan* query = statement->plan->query;
  if (statement->row_limit > 0 && query && !query->order_by && query->group_count == 0 &&
      !query->distinct && !query->select_set_functions) {
    const long long needed = statement->row_limit + statement->rows_to_skip;
    if (needed < capacity) capacity = needed < 2 ? 2 : static_cast<int>(needed);
  }
  return capacity;
}

// Records `block` as holding the own slots of every table of the branch before row `inner`.
void remember_own(PlanBranch* branch, JoinBlock* block, int inner) {
  block->inner = inner;
  block->outer_done = false;
  block->own.assign(static_cast<size_t>(inner), {});
  block->outers.clear();
  for (int t = 0; t < inner; ++t) {
    TableCursor* outer = branch->tables[t].cursor;
    block->outers.push_back(outer);
    std::vector<QuillValue*>& own = block->own[static_cast<size_t>(t)];
    own.assign(outer->slots, outer->slots + outer->entry->column_count);
    own.push_back(outer->row_key);
    own.push_back(outer->bookmark);
  }
}

// The iterator `block` gets the scans of subquery statement `sub` ready on, opened the first
// time; null when it cannot be opened.
DalIterator* subquery_iterator(ExecStatement* statement, JoinBlock* block, ExecStatement* sub) {
  for (auto& [known, iterator] : block->iterators)
    if (known == sub) return iterator;
  DalIterator* iterator = DALOpenIterator(statement->errors, statement->dal);
  if (iterator) block->iterators.emplace_back(sub, iterator);
  return iterator;
}

// Decides whether the current branch's rows go through the row block: once a correlated
// subquery has run, when every table is a base table and the backend of every such
// subquery's scan gets many ready at once. 0 no (yet), 1 yes, -1 error.
int row_block_applies(ExecStatement* statement, PlanBranch* branch) {
  ExecPlan* plan = statement->plan;
  if (plan->row_block_refused || plan->join_blocked || branch->table_count == 0) return 0;
  std::vector<std::pair<ExecStatement*, BranchTable*>> scans;
  sub_correlated_scans(statement, &scans);
  if (scans.empty()) return 0;  // none has run yet
  plan->row_block_refused = true;
  for (int t = 0; t < branch->table_count; ++t)
    if (branch->tables[t].cursor->entry->type != TABLE_BASE) return 0;
  if (!plan->row_block) plan->row_block = new JoinBlock;
  JoinBlock* block = plan->row_block;
  int capacity = 1000;
  for (auto& [sub, scan] : scans) {
    DalIterator* iterator = subquery_iterator(statement, block, sub);
    int answer = 0;
    if (!iterator || DALGetInfo(iterator, &scan->cursor->entry->table, SQI_INFO_PREPARED_SCANS,
                                &answer) != SQI_OK)
      answer = 0;
    capacity = std::min(capacity, answer);
  }
  capacity = within_row_limit(statement, capacity);
  if (capacity < 2) return 0;
  block->capacity = capacity;
  remember_own(branch, block, branch->table_count);
  plan->row_block_refused = false;
  plan->row_blocked = true;
  return 1;
}

// Reads up to a block of joined rows ahead, copying their values and evaluating each
// correlated subquery's restrictions for them, and has the backends get those scans ready.
// 0 (no rows when the branch is exhausted), or -1.
int read_rows(ExecStatement* statement, PlanBranch* branch, JoinBlock* block) {
  restore_own(block);
  drop_rows(statement, block);
  std::vector<std::pair<ExecStatement*, BranchTable*>> scans;
  sub_correlated_scans(statement, &scans);
  std::vector<ScanSets> sets;
  for (auto& [sub, scan] : scans) sets.emplace_back(sub, scan);
  while (static_cast<int>(block->rows.size()) < block->capacity) {
    restore_own(block);
    int rc = exec_next_joined_row(statement);
    if (rc == EXEC_ERROR) return -1;
    if (rc == EXEC_NO_DATA) {
      block->outer_done = true;
      break;
    }
    if (rc == EXEC_WARNING) statement->warning = true;
    if (copy_outer_row(statement, branch, block) < 0) return -1;
    for (ScanSets& set : sets)
      if (set.take() < 0) return -1;
  }
  for (size_t i = 0; i < scans.size(); ++i)
    sets[i].prepare(statement, subquery_iterator(statement, block, scans[i].first));
  return 0;
}

}  // namespace

QuillValue* exec_standalone_copy(ExecStatement* statement, MemPool* pool, const QuillValue* value) {
  if (settle_value(value) < 0) {
    exec_post_general(statement, 0, "Data Read Error");
    return nullptr;
  }
  QuillValue* copy = duplicate_value(pool, value);
  if (!copy) exec_post_memory(statement);
  return copy;
}

int exec_row_block_next(ExecStatement* statement) {
  ExecPlan* plan = statement->plan;
  PlanBranch* branch = &plan->branches[plan->current_branch];
  try {
    if (!plan->row_blocked) {
      int rc = row_block_applies(statement, branch);
      if (rc < 0) return EXEC_ERROR;
      if (rc == 0) return exec_next_joined_row(statement);
    }
    JoinBlock* block = plan->row_block;
    if (block->next >= block->rows.size()) {
      if (block->outer_done) {
        restore_own(block);
        drop_rows(statement, block);
        plan->branch_done = true;
        return EXEC_NO_DATA;
      }
      if (read_rows(statement, branch, block) < 0) return EXEC_ERROR;
      if (block->rows.empty()) return EXEC_NO_DATA;
    }
    replay_row(branch, block, block->next++);
    return EXEC_OK;
  } catch (const std::bad_alloc&) {
    exec_post_memory(statement);
    return EXEC_ERROR;
  }
}

int exec_block_applies(ExecStatement* statement, PlanBranch* branch) {
  ExecPlan* plan = statement->plan;
  plan->join_blocked = false;
  const int inner = branch->table_count - 1;
  if (inner < 1 || branch->tables[inner].restriction_count == 0) return 0;
  for (int t = 0; t <= inner; ++t)
    if (branch->tables[t].cursor->entry->type != TABLE_BASE) return 0;
  TableCursor* cursor = branch->tables[inner].cursor;
  DalIterator* iterator = exec_cursor_iterator(statement, cursor);
  if (!iterator) return -1;
  int capacity = 0;
  if (DALGetInfo(iterator, &cursor->entry->table, SQI_INFO_PREPARED_SCANS, &capacity) != SQI_OK ||
      capacity < 2)
    return 0;
  capacity = within_row_limit(statement, capacity);
  try {
    if (!plan->join_block) plan->join_block = new JoinBlock;
    JoinBlock* block = plan->join_block;
    block->capacity = capacity;
    remember_own(branch, block, inner);
  } catch (const std::bad_alloc&) {
    return exec_post_memory(statement);
  }
  plan->join_blocked = true;
  return 1;
}

int exec_block_next(ExecStatement* statement, PlanBranch* branch, bool* warning) {
  JoinBlock* block = statement->plan->join_block;
  try {
    if (block->next >= block->rows.size()) {
      if (block->outer_done) {
        restore_own(block);
        drop_rows(statement, block);
        return EXEC_NO_DATA;
      }
      if (read_block(statement, branch, block, warning) < 0) return EXEC_ERROR;
      if (block->rows.empty()) return EXEC_NO_DATA;
    }
  } catch (const std::bad_alloc&) {
    exec_post_memory(statement);
    return EXEC_ERROR;
  }
  replay_row(branch, block, block->next++);
  int rc = exec_start_scan(statement, &branch->tables[block->inner]);
  if (rc < 0) return EXEC_ERROR;
  *warning |= rc == EXEC_WARNING;
  return EXEC_OK;
}

void exec_block_release(ExecStatement* statement, bool free_block) {
  ExecPlan* plan = statement->plan;
  if (!plan) return;
  // The row block was set up over slots the join block may have lent: it goes back first.
  struct Held {
    JoinBlock** block;
    bool* used;
  } held[2] = {{&plan->row_block, &plan->row_blocked}, {&plan->join_block, &plan->join_blocked}};
  for (Held& h : held) {
    JoinBlock* block = *h.block;
    if (!block) continue;
    if (*h.used) restore_own(block);
    drop_rows(statement, block);
    block->outer_done = false;
    *h.used = false;
    if (free_block) {
      delete block;
      *h.block = nullptr;
    }
  }
  plan->row_block_refused = false;
}
