// Shared state and helpers of the validation units: the per-statement context, the three
// ways of reporting an error (each abandons validation by throwing ValidationFailed, caught
// at the entry), allocation, name matching and the entries the units call in one another.
#pragma once

#include <cstdint>

#include "driver/sql/plan.h"
#include "driver/sql/validate.h"

// Thrown after an error has been posted; never leaves validate_statements.
struct ValidationFailed {};

// One statement's validation state; copied (with a new plan) for subqueries.
struct ValidateContext {
  const ValidateTarget* target;     // DAL, diagnostics, pool, connection
  QueryPlan* plan;                  // the query being validated; null outside queries
  bool in_select_list;              // resolving a select-list item
  bool in_having;                   // resolving HAVING
  ListNode** statement_parameters;  // ParameterEntry* of the whole statement, text order
  TableEntry* modify_target;        // UPDATE SET values: resolve columns against this table only
};

// Error reporting: each posts one record, sets SQL_ERROR and throws ValidationFailed.
// Catalog form: origin "ISO 9075" with `sqlstate`; HY000 texts get "General error: %s".
[[noreturn]] void catalog_error(ValidateContext& context, const char* sqlstate, const char* format,
                                ...);
// Direct form: origin "ODBC3.0" with `sqlstate` and the text.
[[noreturn]] void direct_error(ValidateContext& context, const char* sqlstate, const char* format,
                               ...);
// General form: origin "ODBC3.0", S1000, "General error <text>".
[[noreturn]] void general_error(ValidateContext& context, const char* format, ...);

// Zeroed memory from the target's pool; HY001 "Memory allocation error" on failure.
void* validate_alloc(ValidateContext& context, size_t size);
// A plan record of `kind`; HY001 on failure.
template <typename T>
T* new_plan(ValidateContext& context, int32_t kind) {
  T* record = static_cast<T*>(newNode(sizeof(T), kind, context.target->pool));
  if (!record) direct_error(context, "HY001", "Memory allocation error");
  return record;
}
// Appends to a pool list; HY001 on failure.
void list_append(ValidateContext& context, ListNode** list, void* data);

// Name comparison: exact when the name was delimited, else without regard to ASCII case.
bool name_matches(const NameNode* name, const char* text);
// The text of a name node, or "" when null.
const char* name_text(const NameNode* name);
// The written form of a qualified table name (link$catalog.schema.table, parts as present).
void format_table_name(const TableNameNode* name, char* out, size_t size);

// Table entries (validate_tables.cpp).
// Describes a named table through the DAL: 42S02 when missing; columns read.
TableEntry* describe_named_table(ValidateContext& context, TableNameNode* name);
// Makes the entry of one FROM-list element (base, derived or joined) and validates it.
TableEntry* make_from_entry(ValidateContext& context, Node* reference);
// Appends every base and derived entry under `entry` to `*out`, in order.
void collect_scan_tables(ValidateContext& context, TableEntry* entry, ListNode** out);
// True when the correlation or table name of a base/derived entry matches `qualifier`.
bool entry_matches_qualifier(const TableEntry* entry, const ColumnRefNode* qualifier);
// The first base/derived entry under `entry` matching the qualifier of `reference`.
TableEntry* find_qualified_entry(TableEntry* entry, const ColumnRefNode* reference);

// Queries (validate_query.cpp).
// Validates a query expression (specification, grouped, UNION) as a new plan under `outer`.
QueryPlan* validate_query_expression(ValidateContext& context, Node* query, QueryPlan* outer,
                                     bool for_update);
// Validates the ORDER BY list of a cursor specification against its plan.
void validate_order_by(ValidateContext& context, QueryPlan* plan, ListNode* order_by);
// Marks every column read by the plan's expressions as referenced.
void mark_column_usage(QueryPlan* plan);

// Names (validate_names.cpp).
// Resolves every name of an expression tree in the context's plan (step by node kind).
void resolve_expression(ValidateContext& context, Node* expression);
// Resolves a column reference among `entries` (TableEntry* list); false when absent.
// Ambiguity is reported with the "specified tables" message.
bool resolve_column_in(ValidateContext& context, ColumnRefNode* column, ListNode* entries);
// Validates a subquery node as a plan linked to the context's plan and records the link.
QueryPlan* validate_subquery(ValidateContext& context, Node* query);

// Types (validate_types.cpp).
// The SQL type code of a resolved expression (checks as it goes).
int expression_type(ValidateContext& context, Node* expression);
// The description of a column of a table entry.
void column_description(const ColumnInfo& column, TypeDescription* out);
// Describes an expression for a result column; falls back to the type's default.
void describe_result(ValidateContext& context, Node* expression, int sql_type,
                     TypeDescription* out);
// Gives a parameter its type and description (from `linked`, when not null).
void type_parameter(ValidateContext& context, Node* parameter, int sql_type, Node* linked,
                    const TypeDescription* description);
// The column info a resolved column reference reads (outer references included).
const ColumnInfo* resolved_column_info(const ColumnRefNode* column);

// Joins (validate_joins.cpp): builds USING/NATURAL conditions and checks the condition.
void validate_join(ValidateContext& context, TableEntry* entry);

// Keys (validate_keys.cpp): key maps of every scan table of the plan.
void extract_keyset_values(ValidateContext& context, QueryPlan* plan);

// Statements (validate_modify.cpp, validate_ddl.cpp); each returns the statement's plan.
// INSERT: target, column/value counts, value types, pass-through mark.
PlanRecord* validate_insert(ValidateContext& context, InsertNode* node);
// Searched DELETE or UPDATE: target, row-selecting plan, SET list, keys or pass-through.
PlanRecord* validate_searched(ValidateContext& context, Node* node);
// UPDATE ... WHERE CURRENT OF: the cursor's FOR UPDATE plan, table and updatable columns.
PlanRecord* validate_positioned_update(ValidateContext& context, UpdatePositionedNode* node);
// DELETE ... WHERE CURRENT OF: the cursor's table entry, as for a positioned UPDATE.
PlanRecord* validate_positioned_delete(ValidateContext& context, DeletePositionedNode* node);
// CREATE TABLE/INDEX, ALTER TABLE ADD/DROP, DROP INDEX/TABLE.
PlanRecord* validate_ddl(ValidateContext& context, Node* node);

// A column reference made by validation (wildcards, USING/NATURAL equalities), already
// resolved to column `c` (0-based) of `entry` and listed on the current plan.
ColumnRefNode* resolved_column_ref(ValidateContext& context, TableEntry* entry, int c);
