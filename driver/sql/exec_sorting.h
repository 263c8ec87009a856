// The sorting stages of query execution: fixed-length sort records of dm values, the sort's
// working context for a statement, GROUP BY with HAVING (grouped reader), SELECT DISTINCT
// (distinct reader) and the ORDER BY / UNION sort of a whole query (sorted reader).
#pragma once

#include <cstdint>
#include <vector>

#include "driver/sql/exec_internal.h"
#include "driver/sql/sort.h"

// One dm field of a sort record.
struct RecordField {
  int32_t offset;    // byte offset of the field in the record
  int32_t size;      // bytes of the field: its payload capacity + 12
  int32_t sql_type;  // SQL type the field was sized for
};

// Grouping of one query member (owned by the statement, closed with the member's plan).
struct GroupState {
  SortWork* sort;                 // records ordered by the grouping keys
  int32_t record_length;          // bytes of one record
  int key_count;                  // grouping keys (the first fields)
  RecordField* fields;            // keys, then the stored column references (a reference to
                                  // a column that is also a plain grouping key shares its field)
  bool* shares_key;               // per stored reference: its field is a grouping key's
  int field_count;                // entries at `fields`
  const ColumnRefNode** columns;  // per stored reference (field key_count + i): the column
  QuillValue** values;            // per stored reference: its restored value
  int column_count;               // stored references
  unsigned char* record;          // the record being read
  unsigned char* group_record;    // the first record of the current group
  bool restored;                  // column references read `values` (sorted phase)
  bool done;                      // the sort has returned its last record
  bool warning;                   // a warning came while the rows were read (first group: 1)
  const QuillValue* (*original)(EvalContext* context, const ColumnRefNode* column);  // hook
};

// SELECT DISTINCT of one query member.
struct DistinctState {
  SortWork* sort;         // unique sort over every result column
  RecordField* fields;    // one per result column
  int field_count;        // entries at `fields`
  int32_t record_length;  // bytes of one record
  unsigned char* record;  // the record being read
};

// A LONG result column of the ORDER BY / UNION sort, read again by its table's key: one per
// result column and table column it is read from (the members of a UNION may read it from
// several tables; the record then names the one of each row in `source_field`).
struct LongColumn {
  int result_column;               // its result column (0-based)
  const ColumnRefNode* reference;  // the select-list column reference
  TableEntry* entry;               // its base table (with key information)
  RecordField* keys;               // per key part (entry->key_map order): its field in the record
  QuillValue** stored;             // per key part: the value from the record
  int* usage;                      // column-usage map of the fetch by key (the LONG column only)
  DalIterator* iterator;           // the fetch by key (kept on the row until the next one)
  Restriction* restrictions;       // per key part: `key = stored value`
  Restriction** pointers;          // per key part: its restriction, as DALFetchByKey takes them
  MemPool* pool;                   // where its arrays and slots come from (freed on close)
  int source;                      // its number among its result column's tables (1-based)
  RecordField source_field;        // the result column's field naming the row's table (size 0:
                                   // the result column is read from one table only)
  QueryPlan** members;             // the query members whose rows read this table column
  TableEntry** member_entries;     // per member: its entry of the table (the row's key is there)
  int member_count;                // entries at `members` and `member_entries`
};

// The query members of a UNION chain whose rows are told apart in a unique sort: a chain
// such as `A UNION B UNION ALL C` removes duplicates among A and B only, so every row carries
// a tag (the last key): the number of its member's deduplicated part, or for a row of a
// member that no UNION without ALL covers, a number of its own.
struct UnionTags {
  QueryPlan** members;   // the query members of the chain
  int64_t* groups;       // per member: its deduplicated part (1, 2, ...), or 0 for none
  int member_count;      // entries at `members` and `groups`
  int64_t group_count;   // deduplicated parts
  int64_t next_own_tag;  // the tag the next row of an uncovered member gets
  RecordField field;     // the tag's BIGINT field in the record
};

// The ORDER BY / UNION sort of the whole query.
struct ResultSortState {
  SortWork* sort;            // the sort of every row of the chain
  RecordField* fields;       // one per result column (size 0: a LONG column)
  int field_count;           // entries at `fields`
  int32_t record_length;     // bytes of one record
  unsigned char* record;     // the record being read
  LongColumn* long_columns;  // the LONG result columns
  int long_count;            // entries at `long_columns`
  UnionTags* tags;           // the row tags of a partly deduplicated chain, or null
};

// Everything the sorting stages keep on a statement (ExecStatement::sorting).
struct SortingState {
  GroupState* group;        // grouping of the current member, or null
  DistinctState* distinct;  // DISTINCT of the current member, or null
  ResultSortState* result;  // ORDER BY / UNION sort, or null
  bool stored_columns;      // result columns hold values restored from a sort record
};

// A stage's answer when a value did not fit its field: the stage grows the field and reads
// its rows again (a backend may hand out strings longer than their declared length).
constexpr int EXEC_FIELD_TOO_SHORT = -2;
// A stage's answer when its rows must be read again because more columns are needed.
constexpr int EXEC_SORT_REREAD = -3;
// Times a stage reads its rows before it gives up on a value that keeps outgrowing its field.
constexpr int EXEC_SORT_ATTEMPTS = 4;

// The field that was too short for a value.
struct FieldGrowth {
  int field;       // index of the field in the stage's layout (-1: none)
  int32_t size;    // its size
  int32_t needed;  // bytes the value needs (header included)
};

// Reads the rows of a stage's source again from the start: 0, or -1 after posting.
using ExecRestart = int (*)(ExecStatement* statement);

// --- exec_sort_record.cpp ------------------------------------------------------------------
// The sorting state of the statement, made on first use; null after posting a memory error.
SortingState* exec_sorting(ExecStatement* statement);
// The sort's working context for the statement: work directory, work_mem_size, time-out.
SortContext exec_sort_context(ExecStatement* statement);
// Bytes of a dm field for values of `sql_type` declared `length` long (header included);
// -1 for LONG types; an unknown type gets room for any fixed-size value.
int32_t exec_field_size(int sql_type, int64_t length);
// Bytes a field starts with for a LONG value carried by its content; it grows (the stage reads
// its rows again) to the longest value met.
constexpr int32_t EXEC_LONG_FIELD_START = 268;
// exec_field_size, except that a LONG type gets EXEC_LONG_FIELD_START: its content is carried.
int32_t exec_content_field_size(int sql_type, int64_t length);
// The value kind a record field of `sql_type` holds and compares as (a LONG type as the text
// or bytes it holds).
int exec_record_kind(int sql_type);
// Writes `value` as a dm into a field of `size` bytes at `field`: 0, or -1 after posting
// when it cannot be flattened. A value that does not fit is never cut: with `needed` given,
// EXEC_FIELD_TOO_SHORT and the bytes it needs in *needed; without, -1 after posting.
int exec_put_field(ExecStatement* statement, unsigned char* field, int32_t size,
                   const QuillValue* value, int32_t* needed);
// Raises the floor of the field named by `growth` (at least doubling it) before the next
// attempt; false after posting when `attempt` was the last one allowed.
bool exec_grow_field(ExecStatement* statement, std::vector<int32_t>* floors,
                     const FieldGrowth& growth, int attempt);
// Posts the failure `code` of `sort` ("General error: %s" with the sort's text; time-out as
// HYT00) and returns -1.
int exec_post_sort_error(ExecStatement* statement, SortWork* sort, int code);
// The SQL type and declared length of an expression of `plan` (0 length when unknown).
void exec_expression_type(ExecStatement* statement, const QueryPlan* plan, const Node* expression,
                          int* sql_type, int64_t* length);
// Closes every sort of the statement and forgets the sorting state's stages.
void exec_sorting_close(ExecStatement* statement);
// Frees the sorted state of the current member (grouping and distinct sorts).
void exec_member_sorts_close(ExecStatement* statement);

// Restores the result columns from dm `fields` of `record` (stored values, not pending).
int exec_restore_columns(ExecStatement* statement, const RecordField* fields, int count,
                         const unsigned char* record);
// Writes every result column of the current row into `fields` of `record`: 0, -1, or
// EXEC_FIELD_TOO_SHORT with *growth naming the column.
int exec_store_columns(ExecStatement* statement, const RecordField* fields, int count,
                       unsigned char* record, FieldGrowth* growth);

// --- exec_group.cpp ------------------------------------------------------------------------
// Materialises every row of the member's open plan into the grouping sort and switches the
// column references to the sorted rows: 0, or -1 after posting. `restart` reopens the scans.
int exec_group_open(ExecStatement* statement, ExecRestart restart);
// Grouped reader: one row per group whose HAVING is TRUE; EXEC_OK/EXEC_WARNING row,
// EXEC_NO_DATA end, EXEC_ERROR.
int exec_fetch_grouped(ExecStatement* statement);
// Frees the grouping sort and restores the column hook.
void exec_group_close(ExecStatement* statement);
// Aggregate reader of a member without GROUP BY: the single row when HAVING holds.
int exec_fetch_single_group(ExecStatement* statement);

// --- exec_distinct.cpp ---------------------------------------------------------------------
// Feeds every row of `reader` into a unique sort of the result columns: 0 or -1 (posted).
// `restart` makes `reader` start again from its first row.
int exec_distinct_open(ExecStatement* statement, ExecRowSource reader, ExecRestart restart);
// Distinct reader: the next unique row into the result columns; EXEC_OK row, EXEC_NO_DATA end,
// EXEC_ERROR.
int exec_fetch_distinct(ExecStatement* statement);
// Frees the distinct sort.
void exec_distinct_close(ExecStatement* statement);

// --- exec_order.cpp ------------------------------------------------------------------------
// Sorts every row that `reader` gives (the whole UNION chain) for ORDER BY and/or UNION
// without ALL: 0 or 1 (a warning came), -1 (posted). `restart` starts the chain again.
int exec_result_sort_open(ExecStatement* statement, ExecRowSource reader, bool unique,
                          ExecRestart restart);
// Sorted reader: the next record into the result columns; EXEC_OK row, EXEC_NO_DATA end,
// EXEC_ERROR.
int exec_fetch_sorted(ExecStatement* statement);

// Calls `visit` on every query member of a UNION tree, left to right (the query itself when
// it is not a UNION).
template <typename Visit>
void exec_for_each_member(QueryPlan* query, Visit&& visit) {
  if (!query) return;
  if (!query->select && (query->union_left || query->union_right)) {
    exec_for_each_member(query->union_left, visit);
    exec_for_each_member(query->union_right, visit);
    return;
  }
  visit(query);
}

// --- exec_order_long.cpp -------------------------------------------------------------------
// Lays out the key fields of the LONG result columns from *offset on, for every table each
// one is read from by a member of the query (every such item must be a column of a base table
// with a key map of columns, row key or bookmark: -1 without posting otherwise), and marks the
// key columns read; *marked tells whether a key column was not read before. 0, or -1.
int exec_long_columns_lay_out(ExecStatement* statement, ResultSortState* result, int64_t* offset,
                              bool* marked);
// The sort keys that tell rows apart by their LONG result columns (each table-naming field,
// then every key field), appended at `keys`; returns how many (at most
// exec_long_columns_key_count). A unique sort compares them in place of the LONG values.
int exec_long_columns_keys(const ResultSortState* result, SortKey* keys);
// The number of sort keys exec_long_columns_keys appends.
int exec_long_columns_key_count(const ResultSortState* result);
// Writes the key values of the current row for every LONG result column: its table's number
// and key values, the key fields of the result column's other tables as NULL. 0 or -1.
int exec_long_columns_store(ExecStatement* statement, ResultSortState* result,
                            unsigned char* record);

// --- exec_order_long_fetch.cpp -------------------------------------------------------------
// Reads each LONG result column again with DALFetchByKey by the keys stored in `record`
// (copied now, or attached for reading on first use when the backend defers it). 0 or -1.
int exec_long_columns_restore(ExecStatement* statement, ResultSortState* result,
                              const unsigned char* record);
// Closes the iterators of the fetches by key and frees the LONG columns' layout.
void exec_long_columns_close(ResultSortState* result);
