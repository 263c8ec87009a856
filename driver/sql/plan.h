// Plan records that validation builds from a parsed statement list and that execution runs.
// Every kinded record is allocated with newNode() on the statement's pool and derives from
// `PlanRecord`, whose 32-bit kind (400..434) comes first; node_cast<T>() converts between
// them, checking the kind in debug builds. Lists are support/list.h lists. Parse nodes
// referenced from a plan belong to the statement's parse tree and live as long as it does.
#pragma once

#include <cstdint>

#include "driver/dal/sqi/restriction.h"
#include "driver/dal/sqi/sqi.h"
#include "driver/sql/nodes.h"
#include "driver/sql/sql_types.h"
#include "support/list.h"

// Kinds of plan records.
enum PlanKind : int32_t {
  PLAN_QUERY = 400,
  PLAN_TABLE = 401,
  PLAN_STATEMENT_LIST = 403,
  PLAN_SET_FUNCTION = 406,
  PLAN_CREATE_TABLE = 407,
  PLAN_COLUMN_DEF = 408,
  PLAN_CREATE_INDEX = 411,
  PLAN_INSERT = 413,
  PLAN_ASSIGNMENT = 414,
  PLAN_DELETE = 415,
  PLAN_UPDATE = 416,
  PLAN_DELETE_POSITIONED = 417,
  PLAN_UPDATE_POSITIONED = 418,
  PLAN_JOIN = 419,
  PLAN_ALTER_DROP = 424,
  PLAN_ALTER_ADD = 425,
  PLAN_OUTER_REFERENCE = 429,
  PLAN_COMMIT = 430,
  PLAN_ROLLBACK = 431,
  PLAN_CREATE_USER = 433,
  PLAN_DROP_USER = 434,
};

// Values of TableEntry::key_map entries besides column numbers.
constexpr int32_t KEY_ROW_ID = -1;    // the backend's row key (DAL column -1)
constexpr int32_t KEY_BOOKMARK = -2;  // the backend's bookmark (DAL column -2)
constexpr int32_t KEY_NONE = -3;      // DALGetPKInfo: no usable key

// Any kinded plan record: inspect `kind`, then node_cast to the struct of that kind.
struct PlanRecord {
  int32_t kind;  // PlanKind
};

struct QueryPlan;
struct JoinEntry;

// What a FROM-list entry stands for.
enum TableEntryType : int32_t {
  TABLE_BASE = 1,     // a base table or view described by the DAL
  TABLE_DERIVED = 2,  // a derived table: `derived` is its query plan
  TABLE_JOINED = 3,   // a joined table: `join` holds both sides
};

// 401: one table reference of a FROM list (or the target of a modification statement).
struct TableEntry : PlanRecord {
  static constexpr PlanKind kKind = PLAN_TABLE;
  int32_t type;             // TableEntryType
  Node* reference;          // the parse node (TableRefNode, JoinedTableNode or TableNameNode)
  TableNameNode* name;      // the written table name; null for derived and joined tables
  NameNode* correlation;    // correlation name, or null
  DalTable table;           // DALDescribeTable's descriptor (base tables only)
  ColumnInfo* columns;      // one record per column (derived: one per select-list item)
  int32_t column_count;     // records at `columns`
  int32_t* column_used;     // per column: 1 when the query reads it
  int32_t* key_map;         // key column numbers (1-based), KEY_ROW_ID or KEY_BOOKMARK
  int32_t key_count;        // entries at `key_map`; 0 when the table has no usable key
  int32_t* updatable;       // per column: 1 when SELECT FOR UPDATE allows assigning it
  int32_t* hidden;          // per column: 1 when merged away by a USING/NATURAL join
  int32_t visible_columns;  // columns seen through this entry (less merged ones)
  QueryPlan* derived;       // TABLE_DERIVED: the plan of the derived query
  JoinEntry* join;          // TABLE_JOINED: the join
  Node* inner_restriction;  // join condition to push into this inner table's scan, or null
};

// 419: a joined table.
struct JoinEntry : PlanRecord {
  static constexpr PlanKind kKind = PLAN_JOIN;
  JoinedTableNode* node;  // the parse node
  int32_t join_type;      // JoinType
  TableEntry* left;       // left side (any TableEntryType)
  TableEntry* right;      // right side
  Node* condition;        // ON condition, or the equalities built for USING/NATURAL
};

// One select-list item after wildcard expansion.
struct SelectColumn {
  Node* expression;             // the item's expression (wildcards expanded to column refs)
  NameNode* alias;              // the written alias, or null
  const char* name;             // result column name: alias, column name, or "" for none
  int32_t sql_type;             // the inferred SQL type code
  TypeDescription description;  // result description (the type's default when undescribed)
};

// 406: a set function met in the select list or in HAVING.
struct SetFunctionEntry : PlanRecord {
  static constexpr PlanKind kKind = PLAN_SET_FUNCTION;
  SetFunctionNode* node;  // the parse node
  int32_t sql_type;       // the result type
  int32_t argument_type;  // the operand's type (0 for COUNT(*))
  int32_t in_having;      // 1 when met in HAVING
};

// A dynamic parameter and the type validation gave it.
struct ParameterEntry {
  ParameterNode* node;          // the `?`
  int32_t sql_type;             // type taken from its context; 0 while untyped
  TypeDescription description;  // description for SQLDescribeParam
  Node* linked;                 // the expression or column it took its type from, or null
};

// 429: a column reference that resolves in an outer query.
struct OuterReference : PlanRecord {
  static constexpr PlanKind kKind = PLAN_OUTER_REFERENCE;
  ColumnRefNode* column;  // the reference (resolved_table points into the outer plan)
  QueryPlan* outer;       // the plan whose table it names
  TableEntry* table;      // that table entry
  int32_t column_number;  // 0-based column in `table`
};

// A subquery met inside an expression, with the plan validated for it.
struct SubqueryLink {
  const Node* query;  // the query node inside EXISTS / IN / quantified / comparison
  QueryPlan* plan;    // its plan
};

// A LIKE whose pattern was compiled by validation or is left for execution.
struct LikeEntry {
  LikeNode* node;          // the predicate
  unsigned char* program;  // compiled program; null when the pattern is a parameter
};

// 400: a query specification, grouped query or UNION, ready for execution.
struct QueryPlan : PlanRecord {
  static constexpr PlanKind kKind = PLAN_QUERY;
  Node* query;                     // the parse node (115, 122 or 123)
  QuerySpecNode* select;           // the SELECT node (115); null for a UNION
  QueryPlan* outer;                // plan of the enclosing query, null at the top
  QueryPlan* union_left;           // UNION: plan of the left operand
  QueryPlan* union_right;          // UNION: plan of the right operand
  int32_t union_all;               // UNION ALL
  int32_t distinct;                // 1 for SELECT DISTINCT
  int32_t top;                     // TOP n, or -1
  int32_t has_limit;               // the cursor specification set LIMIT (or FETCH FIRST)
  int32_t limit;                   // its row count, when has_limit
  int32_t offset;                  // rows its OFFSET skips, 0 when none
  ListNode* from;                  // TableEntry* of the FROM list, in written order
  ListNode* scan_tables;           // TableEntry* of every base and derived table, FROM order
  SelectColumn* items;             // select-list items after wildcard expansion
  int32_t item_count;              // entries at `items`
  Node* where;                     // WHERE condition, or null
  Node** group_by;                 // GROUP BY expressions
  int32_t group_count;             // entries at `group_by`
  Node* having;                    // HAVING condition, or null
  ListNode* order_by;              // OrderItemNode* (cursor specification), or null
  int32_t* order_positions;        // per ORDER BY item: 1-based select-list position or 0
  ListNode* column_refs;           // ColumnRefNode* resolved in this plan's expressions
  ListNode* select_set_functions;  // SetFunctionEntry* of the select list
  ListNode* having_set_functions;  // SetFunctionEntry* of HAVING
  ListNode* parameters;            // ParameterEntry* of this query and its subqueries, text order
  ListNode* dependent_subqueries;  // QueryPlan* of correlated subqueries that reference this one
  ListNode* outer_references;      // OuterReference* made by this plan's columns
  ListNode* subqueries;            // SubqueryLink* of subqueries inside this plan's expressions
  ListNode* likes;                 // LikeEntry* of this plan's LIKE predicates
  int32_t for_update;              // declared SELECT ... FOR UPDATE
  int32_t keyset_possible;         // every table has a usable key: rows can be re-addressed
  int32_t single_backend;          // every table is served by backend `backend_index`
  int32_t backend_index;           // list index of the first table's backend, -1 when none
};

// 408: a column definition of CREATE TABLE or ALTER TABLE ADD.
struct ColumnDefPlan : PlanRecord {
  static constexpr PlanKind kKind = PLAN_COLUMN_DEF;
  ColumnDefNode* node;         // the parse node
  const char* name;            // column name
  DataTypeNode* type;          // declared type
  int32_t not_null;            // NOT NULL given
  int32_t unique;              // UNIQUE given
  int32_t primary_key;         // column-level PRIMARY KEY
  int32_t auto_increment;      // AUTO_INCREMENT given
  int32_t start;               // its start (1 when not given)
  int32_t step;                // its step (1 when not given)
  LiteralNode* default_value;  // DEFAULT literal, or null
  Node* check;                 // CHECK condition, or null
  TableNameNode* ref_table;    // REFERENCES table, or null
  NameNode* ref_column;        // REFERENCES column, or null
};

// 407: CREATE TABLE.
struct CreateTablePlan : PlanRecord {
  static constexpr PlanKind kKind = PLAN_CREATE_TABLE;
  CreateTableNode* node;  // the parse node
  ListNode* columns;      // ColumnDefPlan*, in written order
  ListNode* constraints;  // TableConstraintNode*, checked
};

// 411: CREATE INDEX.
struct CreateIndexPlan : PlanRecord {
  static constexpr PlanKind kKind = PLAN_CREATE_INDEX;
  CreateIndexNode* node;    // the parse node
  TableEntry* table;        // the indexed table
  int32_t* column_numbers;  // 1-based column numbers of the index columns
  int32_t column_count;     // entries at `column_numbers`
};

// How an assignment or inserted value was given.
enum AssignedValue : int32_t {
  VALUE_EXPRESSION = 0,  // `value` is an expression
  VALUE_SUBQUERY = 1,    // `subquery` holds the plan
  VALUE_NULL = 2,        // NULL
  VALUE_DEFAULT = 3,     // DEFAULT
  VALUE_PARAMETER = 4,   // `value` is a ParameterNode typed as the column
};

// 414: one assigned or inserted value.
struct AssignmentEntry : PlanRecord {
  static constexpr PlanKind kKind = PLAN_ASSIGNMENT;
  int32_t column;       // 0-based column number in the target
  ColumnInfo* target;   // the target column's description
  int32_t value_kind;   // AssignedValue
  Node* value;          // expression or parameter, null otherwise
  QueryPlan* subquery;  // VALUE_SUBQUERY: its plan
  int32_t sql_type;     // the value's type (the column's for parameters)
};

// 413: INSERT.
struct InsertPlan : PlanRecord {
  static constexpr PlanKind kKind = PLAN_INSERT;
  InsertNode* node;        // the parse node
  TableEntry* target;      // the target table
  int32_t default_values;  // DEFAULT VALUES
  ListNode* values;        // AssignmentEntry* per inserted column (VALUES form)
  QueryPlan* query;        // INSERT ... query: its plan, else null
  int32_t* query_columns;  // query form: target column (0-based) per select-list item
  int32_t passthrough;     // hand the statement whole to the target's backend
};

// 415 searched DELETE / 416 searched UPDATE.
struct SearchedPlan : PlanRecord {
  static constexpr PlanKind kKinds[] = {PLAN_DELETE, PLAN_UPDATE};
  Node* node;             // the parse node
  TableEntry* target;     // the target table as the row-selecting plan reads it
  QueryPlan* rows;        // plan of SELECT ALL ... FROM target WHERE condition
  ListNode* assignments;  // UPDATE: AssignmentEntry*; null for DELETE
  int32_t key_count;      // key columns of the target
  int32_t passthrough;    // hand the statement whole to the target's backend
};

// 418: UPDATE ... WHERE CURRENT OF cursor.
struct PositionedUpdatePlan : PlanRecord {
  static constexpr PlanKind kKind = PLAN_UPDATE_POSITIONED;
  UpdatePositionedNode* node;  // the parse node
  QueryPlan* cursor_plan;      // the FOR UPDATE plan of the named cursor
  TableEntry* target;          // the cursor's table entry that is updated
  ListNode* assignments;       // AssignmentEntry*
};

// 417: DELETE ... WHERE CURRENT OF cursor.
struct PositionedDeletePlan : PlanRecord {
  static constexpr PlanKind kKind = PLAN_DELETE_POSITIONED;
  DeletePositionedNode* node;  // the parse node
  QueryPlan* cursor_plan;      // the FOR UPDATE plan of the named cursor
  TableEntry* target;          // the cursor's table entry whose row is deleted
};

// 424: ALTER TABLE DROP.
struct AlterDropPlan : PlanRecord {
  static constexpr PlanKind kKind = PLAN_ALTER_DROP;
  AlterTableDropNode* node;  // the parse node
  TableEntry* table;         // the altered table
  int32_t column;            // 0-based number of the dropped column
};

// 425: ALTER TABLE ADD.
struct AlterAddPlan : PlanRecord {
  static constexpr PlanKind kKind = PLAN_ALTER_ADD;
  AlterTableAddNode* node;  // the parse node
  TableEntry* table;        // the altered table
  ListNode* columns;        // ColumnDefPlan* of the added columns
};

// 430 COMMIT / 431 ROLLBACK.
struct TransactionPlan : PlanRecord {
  static constexpr PlanKind kKinds[] = {PLAN_COMMIT, PLAN_ROLLBACK};
};

// 433 CREATE USER / 434 DROP USER.
struct UserPlan : PlanRecord {
  static constexpr PlanKind kKinds[] = {PLAN_CREATE_USER, PLAN_DROP_USER};
  const char* user;           // user name
  const char* authorization;  // AUTHORIZATION name, or null
  const char* in_name;        // IN name, or null
};

// One validated statement.
struct StatementEntry {
  Node* statement;        // the parse node
  PlanRecord* plan;       // its plan record (400 for queries; 401 for DROP TABLE/INDEX)
  int32_t function_code;  // the dynamic function code set while validating it
  ListNode* parameters;   // ParameterEntry* of the whole statement, text order
};

// 403: the plans of a statement list.
struct StatementPlanList : PlanRecord {
  static constexpr PlanKind kKind = PLAN_STATEMENT_LIST;
  ListNode* entries;  // StatementEntry*, one per validated statement, in order
};

// The plan of a subquery node inside `plan` (EXISTS, IN, quantified or comparison query),
// searching the plan's own subqueries; null when none was made for it.
QueryPlan* subquery_plan(const QueryPlan* plan, const Node* query);
// The entry of a dynamic parameter in `plan` (or, failing that, its outer plans); null if none.
ParameterEntry* find_parameter(const QueryPlan* plan, const Node* parameter);
