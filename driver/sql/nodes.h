// Parse-tree nodes of the SQL engine. The parser allocates every node with newNode() from its
// context's pool; every node struct derives from `Node`, whose 32-bit kind comes first, and
// declares the kind (or kinds) it serves, so code inspects `kind` and converts with
// node_cast<T>(), which asserts the kind in debug builds. Lists of nodes are support/list.h
// lists (ListNode*, null = empty) whose elements are node pointers; a list element is never
// null unless a field's comment says so.
//
// Conventions used below:
//   - "name" fields are NameNode* (kind 121); null means the part is absent or was written empty.
//   - optional integers hold -1 when not given.
//   - a "query" is a query specification (115), a grouped query (122) or a UNION (123).
//   - an "expression" or "condition" is any value or predicate node.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cassert>
#include <cstdint>
#include <type_traits>

#include "support/list.h"

struct ScalarFunction;
struct QuillValue;
struct TableEntry;

// Node kinds (the first field of every node).
enum NodeKind : int32_t {
  NODE_ALTER_TABLE_ADD = 100,
  NODE_ALTER_TABLE_DROP = 101,
  NODE_CREATE_INDEX = 102,
  NODE_CREATE_TABLE = 103,
  NODE_CREATE_VIEW = 104,
  NODE_DELETE_POSITIONED = 105,
  NODE_DELETE_SEARCHED = 106,
  NODE_DROP_INDEX = 107,
  NODE_DROP_TABLE = 108,
  NODE_DROP_VIEW = 109,
  NODE_GRANT = 110,
  NODE_INSERT = 111,
  NODE_REVOKE = 112,
  NODE_CURSOR_SPEC = 113,
  NODE_SELECT_FOR_UPDATE = 114,
  NODE_QUERY_SPEC = 115,
  NODE_UPDATE_POSITIONED = 116,
  NODE_UPDATE_SEARCHED = 117,
  NODE_CALL = 118,
  NODE_TABLE_NAME = 119,
  NODE_COLUMN_DEF = 120,
  NODE_NAME = 121,
  NODE_GROUPED_QUERY = 122,
  NODE_UNION = 123,
  NODE_INSERT_SOURCE = 124,
  NODE_TABLE_REF = 125,
  NODE_SET_ASSIGNMENT = 126,
  NODE_ORDER_ITEM = 127,
  NODE_WRAPPER = 128,
  NODE_PRIVILEGE = 129,
  NODE_SELECT_ITEM = 130,
  NODE_COLUMN_REF = 132,
  NODE_INDEX_COLUMN = 133,
  NODE_DATA_TYPE = 134,
  NODE_COLUMN_CONSTRAINT = 135,
  NODE_TABLE_CONSTRAINT = 136,
  NODE_VALUES_KEYWORD = 137,
  NODE_JOINED_TABLE = 138,
  NODE_PRECISION = 139,
  NODE_INTERVAL_RANGE = 140,
  NODE_INTERVAL_FIELD = 141,
  NODE_CAST = 142,
  NODE_FUNCTION = 143,
  NODE_SET_FUNCTION = 144,
  NODE_TRIM_SPEC = 145,
  NODE_EXISTS = 146,
  NODE_LIKE = 147,
  NODE_IS_NULL = 148,
  NODE_IN = 150,
  NODE_QUANTIFIED = 151,
  NODE_OPERATOR = 152,
  NODE_ARG_PAIR = 153,
  NODE_LITERAL = 154,
  NODE_PARAMETER = 155,
  NODE_CASE = 157,
  NODE_NULLIF = 158,
  NODE_COALESCE = 159,
  NODE_WHEN = 160,
  NODE_COMMIT = 161,
  NODE_ROLLBACK = 162,
  NODE_CREATE_USER = 164,
  NODE_DROP_USER = 165,
  NODE_JOIN_CONDITION = 168,
};

// DROP behaviour of DROP TABLE / DROP VIEW / ALTER TABLE DROP / REVOKE.
enum DropBehaviour : int32_t { DROP_NONE = 0, DROP_CASCADE = 1, DROP_RESTRICT = 2 };

// Set quantifier of a query specification.
enum SetQuantifier : int32_t { QUANT_NONE = 0, QUANT_ALL = 1, QUANT_DISTINCT = 2 };

// Operator classes and codes of OperatorNode.
enum OperatorClass : int32_t {
  OPCLASS_NOT = 1,
  OPCLASS_AND = 2,
  OPCLASS_OR = 3,
  OPCLASS_VALUE = 4
};
enum OperatorCode : int32_t {
  OP_NONE = 0,  // AND, OR and NOT carry no code
  OP_ADD = 1,
  OP_SUBTRACT = 2,
  OP_CONCAT = 3,
  OP_MULTIPLY = 4,
  OP_DIVIDE = 5,
  OP_NEGATE = 6,
  OP_LESS = 7,
  OP_GREATER = 8,
  OP_GREATER_EQUAL = 9,
  OP_LESS_EQUAL = 10,
  OP_EQUAL = 11,
  OP_NOT_EQUAL = 12,
};

// Date-time fields of interval qualifiers and EXTRACT.
enum DateTimeField : int32_t {
  FIELD_NONE = 0,
  FIELD_YEAR = 1,
  FIELD_MONTH = 2,
  FIELD_DAY = 3,
  FIELD_HOUR = 4,
  FIELD_MINUTE = 5,
  FIELD_SECOND = 6,
};

// Value kinds of a literal node (LiteralNode::value_kind).
enum LiteralKind : int32_t {
  LIT_INTEGER = 1,             // exact numeric without a point that fits 32 bits: `integer`
  LIT_DOUBLE = 2,              // approximate numeric (with exponent): `real`, `text`
  LIT_STRING = 3,              // 'character string': `text` (quotes removed, '' made one)
  LIT_BIT_STRING = 4,          // B'0101': `text` holds the binary digits
  LIT_HEX_STRING = 5,          // X'1F' or 0x1F: `bytes`/`byte_count`, `text` the hex digits
  LIT_DATE = 6,                // {d '...'} or DATE '...': `date`, `text`
  LIT_TIME = 7,                // {t '...'} or TIME '...': `time`, `text`
  LIT_TIMESTAMP = 8,           // {ts '...'} or TIMESTAMP '...': `timestamp`, `text`
  LIT_EXACT_NUMERIC = 9,       // n. / .n / n.n, or digits too large for 32 bits: `text`, `scale`
  LIT_NULL = 10,               // NULL (CAST operand, DEFAULT ( NULL ), ...)
  LIT_USER = 11,               // USER
  LIT_CURRENT_USER = 12,       // CURRENT_USER
  LIT_HASH_DATETIME = 13,      // #...#: `text` between the hashes, unconverted
  LIT_BOOLEAN = 14,            // TRUE/YES (1), FALSE/NO (0): `integer`
  LIT_CURRENT_DATE = 15,       // CURRENT_DATE, CURRENT DATE
  LIT_CURRENT_TIME = 16,       // CURRENT_TIME [( n )]: `precision`
  LIT_CURRENT_TIMESTAMP = 17,  // CURRENT_TIMESTAMP [( n )]: `precision`
  LIT_IDENTITY = 18,           // @@IDENTITY
  LIT_INTERVAL = 19,           // interval literal: `interval`, `interval_type`, `text`
};

// Any node: inspect `kind`, then node_cast to the struct of that kind.
struct Node {
  int32_t kind;  // NodeKind
};

// True when a record of `kind` may be viewed as `T`: T declares its one kind as `kKind`, or
// the kinds it serves as the array `kKinds`.
template <typename T>
constexpr bool node_kind_fits(int32_t kind) {
  if constexpr (requires { T::kKinds; }) {
    for (int32_t accepted : T::kKinds)
      if (accepted == kind) return true;
    return false;
  } else {
    return kind == T::kKind;
  }
}

// The checked downcast of kinded records (parse nodes from `Node`, plan records from
// `PlanRecord`): `node` (null passes through) viewed as `T`, keeping its constness. Debug
// builds assert that its kind is one T serves; callers test `kind` first where it may vary.
template <typename T, typename Base>
requires std::is_base_of_v<std::remove_const_t<Base>, T>
auto node_cast(Base* node) -> std::conditional_t<std::is_const_v<Base>, const T*, T*> {
  assert(node == nullptr || node_kind_fits<T>(node->kind));
  return static_cast<std::conditional_t<std::is_const_v<Base>, const T*, T*>>(node);
}

// 121: an identifier.
struct NameNode : Node {
  static constexpr NodeKind kKind = NODE_NAME;
  const char* text;  // regular names upper-cased; delimited names as written ("" inside -> ")
  int32_t quoted;    // 1 for "double-quoted" or [bracketed] names, else 0
};

// 119: a table (or view, procedure) name. Parts from the right: table, schema, catalog, link.
struct TableNameNode : Node {
  static constexpr NodeKind kKind = NODE_TABLE_NAME;
  NameNode* link;     // link name (text before '$' in the catalog part), or null
  NameNode* catalog;  // catalog, or null
  NameNode* schema;   // schema, or null
  NameNode* table;    // table name; never null
};

// 132: a column reference; the name parts are laid out as in TableNameNode.
struct ColumnRefNode : Node {
  static constexpr NodeKind kKind = NODE_COLUMN_REF;
  NameNode* link;              // link name, or null
  NameNode* catalog;           // catalog qualifier, or null
  NameNode* schema;            // schema qualifier, or null
  NameNode* table;             // table or correlation qualifier, or null
  NameNode* column;            // column name; null for a wildcard
  int32_t wildcard;            // 1 for `q.*` (only inside a select-list item), else 0
  TableEntry* resolved_table;  // set by validation: the table entry the column belongs to
  int32_t resolved_column;     // set by validation: column number in that entry (-1 unresolved)
  int32_t mark;                // planner's mark for printing; 0 from the parser
};

// 100: ALTER TABLE t ADD [COLUMN] ...
struct AlterTableAddNode : Node {
  static constexpr NodeKind kKind = NODE_ALTER_TABLE_ADD;
  TableNameNode* table;   // table altered
  ListNode* columns;      // ColumnDefNode* list, at least one
  int32_t parenthesised;  // 1 when the definitions were written inside ( )
};

// 101: ALTER TABLE t DROP [COLUMN] c [CASCADE|RESTRICT]
struct AlterTableDropNode : Node {
  static constexpr NodeKind kKind = NODE_ALTER_TABLE_DROP;
  TableNameNode* table;    // table altered
  NameNode* column;        // column dropped
  int32_t drop_behaviour;  // DropBehaviour
};

// 102: CREATE [UNIQUE] INDEX name ON t ( cols ) [ON KEY ( n )]
struct CreateIndexNode : Node {
  static constexpr NodeKind kKind = NODE_CREATE_INDEX;
  int32_t unique;        // 1 for UNIQUE
  NameNode* index;       // index name
  TableNameNode* table;  // indexed table
  ListNode* columns;     // IndexColumnNode* list
  int32_t on_key;        // n of ON KEY ( n ), or -1
};

// 103: CREATE TABLE t [storage] ( elements )
struct CreateTableNode : Node {
  static constexpr NodeKind kKind = NODE_CREATE_TABLE;
  TableNameNode* table;  // table created
  ListNode* elements;    // ColumnDefNode* and TableConstraintNode* in written order
  int32_t storage_kind;  // 0 none, 1 ON name, 2 ON 'string', 3 AS name
  const char* storage;   // the storage name or string text, null when storage_kind is 0
};

// 104: CREATE VIEW v [( cols )] AS query [WITH CHECK OPTION]
struct CreateViewNode : Node {
  static constexpr NodeKind kKind = NODE_CREATE_VIEW;
  TableNameNode* view;   // view name
  ListNode* columns;     // NameNode* list, or null
  Node* query;           // the defining query expression
  int32_t check_option;  // 1 for WITH CHECK OPTION
};

// 105: DELETE FROM t WHERE CURRENT OF cursor
struct DeletePositionedNode : Node {
  static constexpr NodeKind kKind = NODE_DELETE_POSITIONED;
  TableNameNode* table;  // target table
  NameNode* cursor;      // cursor name
};

// 106: DELETE FROM t [WHERE condition]
struct DeleteSearchedNode : Node {
  static constexpr NodeKind kKind = NODE_DELETE_SEARCHED;
  TableNameNode* table;  // target table
  Node* where;           // condition, or null
};

// 107: DROP INDEX name ON t
struct DropIndexNode : Node {
  static constexpr NodeKind kKind = NODE_DROP_INDEX;
  NameNode* index;       // index name
  TableNameNode* table;  // table of the index, or null when not given
};

// 108 DROP TABLE / 109 DROP VIEW
struct DropTableNode : Node {
  static constexpr NodeKind kKinds[] = {NODE_DROP_TABLE, NODE_DROP_VIEW};
  TableNameNode* table;    // table or view name
  int32_t drop_behaviour;  // DropBehaviour
};

// Privilege actions of PrivilegeNode.
enum PrivilegeAction : int32_t {
  PRIV_SELECT = 1,
  PRIV_INSERT = 2,
  PRIV_DELETE = 3,
  PRIV_UPDATE = 4,
  PRIV_REFERENCES = 5,
};

// 129: one privilege of GRANT/REVOKE.
struct PrivilegeNode : Node {
  static constexpr NodeKind kKind = NODE_PRIVILEGE;
  int32_t action;     // PrivilegeAction
  ListNode* columns;  // NameNode* list for UPDATE/REFERENCES ( cols ), or null
};

// 110 GRANT / 112 REVOKE
struct GrantNode : Node {
  static constexpr NodeKind kKinds[] = {NODE_GRANT, NODE_REVOKE};
  ListNode* privileges;    // PrivilegeNode* list; null for ALL [PRIVILEGES]
  TableNameNode* table;    // object of the privileges
  ListNode* grantees;      // NameNode* list; null for PUBLIC
  int32_t grant_option;    // GRANT: 1 for WITH GRANT OPTION
  int32_t drop_behaviour;  // REVOKE: DropBehaviour
};

// 137: NULL or DEFAULT written as an element of a VALUES list.
struct ValuesKeywordNode : Node {
  static constexpr NodeKind kKind = NODE_VALUES_KEYWORD;
  int32_t which;  // 1 NULL, 2 DEFAULT
};

// 124: what an INSERT inserts; exactly one of values, query, default_values is set.
struct InsertSourceNode : Node {
  static constexpr NodeKind kKind = NODE_INSERT_SOURCE;
  ListNode* columns;       // NameNode* list, or null for all columns
  ListNode* values;        // VALUES elements: expressions or ValuesKeywordNode*, or null
  Node* query;             // query specification (115/122), or null
  int32_t default_values;  // 1 for DEFAULT VALUES
};

// 111: INSERT INTO t source
struct InsertNode : Node {
  static constexpr NodeKind kKind = NODE_INSERT;
  TableNameNode* table;      // target table
  InsertSourceNode* source;  // what is inserted
};

// 113: query expression [ORDER BY ...]
struct CursorSpecNode : Node {
  static constexpr NodeKind kKind = NODE_CURSOR_SPEC;
  Node* query;         // query expression
  ListNode* order_by;  // OrderItemNode* list, or null
  int32_t has_limit;   // LIMIT n or FETCH FIRST n ROWS ONLY was written
  int32_t limit;       // that n (rows at most), when has_limit
  int32_t offset;      // rows skipped first (OFFSET m), 0 when not written
};

// 114: SELECT ... FOR UPDATE [OF cols]
struct SelectForUpdateNode : Node {
  static constexpr NodeKind kKind = NODE_SELECT_FOR_UPDATE;
  Node* query;        // query specification (115 or 122)
  ListNode* columns;  // ColumnRefNode* list, or null for all columns
};

// 115: SELECT [ALL|DISTINCT] [TOP n] list [FROM ... [WHERE ...]]
struct QuerySpecNode : Node {
  static constexpr NodeKind kKind = NODE_QUERY_SPEC;
  int32_t quantifier;     // SetQuantifier (later stages may set QUANT_DISTINCT)
  int32_t top;            // n of TOP n, or -1
  ListNode* select_list;  // SelectItemNode* list; null for `*`
  ListNode* from;         // TableRefNode* / JoinedTableNode* list; null without FROM
  Node* where;            // condition, or null
};

// 122: a query specification with GROUP BY and/or HAVING.
struct GroupedQueryNode : Node {
  static constexpr NodeKind kKind = NODE_GROUPED_QUERY;
  QuerySpecNode* query;  // the query specification
  ListNode* group_by;    // expression list, or null
  Node* having;          // condition, or null
};

// 123: left UNION [ALL] right
struct UnionNode : Node {
  static constexpr NodeKind kKind = NODE_UNION;
  Node* left;   // left query expression
  Node* right;  // right query expression
  int32_t all;  // 1 for UNION ALL
};

// How a SET assignment's value was written.
enum AssignmentValue : int32_t {
  ASSIGN_EXPRESSION = 0,  // `value` is an expression
  ASSIGN_SUBQUERY = 1,    // `value` is a query expression written ( ( query ) )
  ASSIGN_NULL = 2,        // NULL; `value` is null
  ASSIGN_DEFAULT = 3,     // DEFAULT VALUE; `value` is null
};

// 126: column = value (UPDATE SET; also name = expression in a column's AS ( ... ) list).
struct SetAssignmentNode : Node {
  static constexpr NodeKind kKind = NODE_SET_ASSIGNMENT;
  NameNode* column;    // assigned column (null in an AS list item written without `name =`)
  int32_t value_kind;  // AssignmentValue
  Node* value;         // expression or query, per value_kind
};

// 116: UPDATE t SET ... WHERE CURRENT OF cursor
struct UpdatePositionedNode : Node {
  static constexpr NodeKind kKind = NODE_UPDATE_POSITIONED;
  TableNameNode* table;   // target table
  ListNode* assignments;  // SetAssignmentNode* list
  NameNode* cursor;       // cursor name
};

// 117: UPDATE t SET ... [WHERE condition]
struct UpdateSearchedNode : Node {
  static constexpr NodeKind kKind = NODE_UPDATE_SEARCHED;
  TableNameNode* table;   // target table
  ListNode* assignments;  // SetAssignmentNode* list
  Node* where;            // condition, or null
};

struct ParameterNode;

// 118: {call p(...)} / {?=call p(...)}
struct CallNode : Node {
  static constexpr NodeKind kKind = NODE_CALL;
  TableNameNode* procedure;     // procedure name (keywords allowed as names)
  ListNode* arguments;          // expressions; an empty argument is a null element; null: no ( )
  int32_t escaped;              // 1: written as an ODBC {call} escape
  ParameterNode* return_value;  // the `?` of {?=call}, or null
};

// 125: a FROM-list table reference.
struct TableRefNode : Node {
  static constexpr NodeKind kKind = NODE_TABLE_REF;
  Node* table;               // TableNameNode* (119) or a derived table query (115/122/123)
  NameNode* alias;           // correlation name, or null
  ListNode* column_aliases;  // NameNode* naming a derived table's columns (`AS v(a, b)`), or null
};

// Join types of JoinedTableNode.
enum JoinType : int32_t { JOIN_INNER = 1, JOIN_LEFT = 2, JOIN_RIGHT = 3, JOIN_FULL = 4 };

// 168: ON condition or USING ( columns ); exactly one is set.
struct JoinConditionNode : Node {
  static constexpr NodeKind kKind = NODE_JOIN_CONDITION;
  Node* on;                 // ON condition, or null
  ListNode* using_columns;  // NameNode* list of USING, or null
};

// 138: left [NATURAL] join-type right [condition]
struct JoinedTableNode : Node {
  static constexpr NodeKind kKind = NODE_JOINED_TABLE;
  int32_t join_type;             // JoinType
  int32_t natural;               // 1 for NATURAL (no condition)
  Node* left;                    // TableRefNode* or JoinedTableNode*
  Node* right;                   // TableRefNode* or JoinedTableNode*
  JoinConditionNode* condition;  // null for NATURAL
  int32_t escaped;               // 1 when written inside {oj ...}
};

// 127: ORDER BY item
struct OrderItemNode : Node {
  static constexpr NodeKind kKind = NODE_ORDER_ITEM;
  Node* expression;    // sort expression (an integer literal is a select-list position)
  int32_t descending;  // 1 for DESC
};

// 128: a node wrapped by later stages (the parser makes none).
struct WrapperNode : Node {
  static constexpr NodeKind kKind = NODE_WRAPPER;
  Node* wrapped;  // the node printed and evaluated in its place
};

// 130: select-list item
struct SelectItemNode : Node {
  static constexpr NodeKind kKind = NODE_SELECT_ITEM;
  Node* expression;  // expression, or a ColumnRefNode with wildcard set for `q.*`
  NameNode* alias;   // [AS] alias, or null
};

// 133: column of CREATE INDEX
struct IndexColumnNode : Node {
  static constexpr NodeKind kKind = NODE_INDEX_COLUMN;
  NameNode* name;      // column name
  int32_t descending;  // 1 for DESC
};

// 139: ( first [, second] )
struct PrecisionNode : Node {
  static constexpr NodeKind kKind = NODE_PRECISION;
  int32_t first;   // precision or length
  int32_t second;  // scale, or -1
};

// 141: one date-time field of an interval qualifier (or the field of EXTRACT).
struct IntervalFieldNode : Node {
  static constexpr NodeKind kKind = NODE_INTERVAL_FIELD;
  int32_t field;               // DateTimeField
  int32_t precision;           // leading precision, or -1
  int32_t fraction_precision;  // SECOND only: fractional seconds precision, or -1
};

// 140: start TO end
struct IntervalRangeNode : Node {
  static constexpr NodeKind kKind = NODE_INTERVAL_RANGE;
  IntervalFieldNode* start;  // leading field
  IntervalFieldNode* end;    // trailing field
};

// 134: a data type (column definitions, CAST and CONVERT targets).
struct DataTypeNode : Node {
  static constexpr NodeKind kKind = NODE_DATA_TYPE;
  int32_t sql_type;          // ODBC SQL type code (1, 12, -1, 2, 3, 4, ..., 91-93, 101-113)
  int32_t length;            // length, precision or leading interval precision; -1 if none
  int32_t scale;             // scale or fractional seconds precision; -1 if none
  int32_t sign;              // 0 not written, 1 SIGNED, 2 UNSIGNED
  int32_t auto_number;       // 1 for COUNTER and AUTOINCREMENT (an auto-numbered integer)
  const char* written_name;  // the type as written, upper case ("TEXT", "LONG VARCHAR", ...)
  PrecisionNode* precision;  // NUMERIC/DECIMAL ( p [, s] ) as written, or null
  Node* qualifier;           // intervals: IntervalFieldNode* or IntervalRangeNode*; else null
};

// Column constraint types of ColumnConstraintNode.
enum ColumnConstraintType : int32_t {
  CCONS_CHECK = 1,           // `condition`
  CCONS_AUTO_INCREMENT = 2,  // AUTO_INCREMENT/AUTONUMBER/IDENTITY: `start`, `step`
  CCONS_NOT_NULL = 3,
  CCONS_NULL = 4,
  CCONS_PRIMARY_KEY = 5,  // `on_key`
  CCONS_REFERENCES = 6,   // `ref_table`, `ref_column`
  CCONS_UNIQUE = 7,
  CCONS_DEFAULT = 8,     // `default_value`
  CCONS_AS_NAME = 9,     // `as_name`, `as_items`
  CCONS_AS_STRING = 10,  // `as_text`
};

struct LiteralNode;

// 135: column constraint
struct ColumnConstraintNode : Node {
  static constexpr NodeKind kKind = NODE_COLUMN_CONSTRAINT;
  int32_t type;                // ColumnConstraintType
  Node* condition;             // CHECK condition, or null
  int32_t start;               // AUTO_INCREMENT ( start [, step] ): start, or -1
  int32_t step;                // step, or -1
  int32_t on_key;              // PRIMARY KEY ON KEY ( n ), or -1
  TableNameNode* ref_table;    // REFERENCES table, or null
  NameNode* ref_column;        // REFERENCES t ( column ), or null
  LiteralNode* default_value;  // DEFAULT ( literal | NULL ) (NULL as LIT_NULL), or null
  NameNode* as_name;           // AS name, or null
  ListNode* as_items;          // AS name ( items ): SetAssignmentNode* list, or null
  const char* as_text;         // AS 'string' text, or null
};

// Table constraint types of TableConstraintNode.
enum TableConstraintType : int32_t {
  TCONS_UNIQUE = 1,
  TCONS_PRIMARY_KEY = 2,
  TCONS_CHECK = 3,
  TCONS_FOREIGN_KEY = 4,
};

// ON DELETE actions of a FOREIGN KEY.
enum OnDeleteAction : int32_t {
  ON_DELETE_NONE = 0,
  ON_DELETE_NO_ACTION = 1,
  ON_DELETE_CASCADE = 2,
  ON_DELETE_SET_NULL = 3,
  ON_DELETE_SET_DEFAULT = 4,
};

// 136: table constraint
struct TableConstraintNode : Node {
  static constexpr NodeKind kKind = NODE_TABLE_CONSTRAINT;
  NameNode* name;            // CONSTRAINT name, or null
  int32_t type;              // TableConstraintType
  ListNode* columns;         // NameNode* list (UNIQUE, PRIMARY KEY, FOREIGN KEY), or null
  Node* condition;           // CHECK condition, or null
  TableNameNode* ref_table;  // FOREIGN KEY ... REFERENCES table, or null
  ListNode* ref_columns;     // REFERENCES t ( columns ): NameNode* list, or null
  int32_t on_delete;         // OnDeleteAction
  int32_t on_key;            // PRIMARY KEY ON KEY ( n ), or -1
};

// 120: name data-type { constraint }
struct ColumnDefNode : Node {
  static constexpr NodeKind kKind = NODE_COLUMN_DEF;
  NameNode* name;         // column name
  DataTypeNode* type;     // data type
  ListNode* constraints;  // ColumnConstraintNode* list, or null
};

// 142: CAST ( operand AS type ); also made from CONVERT ( e , SQL_xxx ).
struct CastNode : Node {
  static constexpr NodeKind kKind = NODE_CAST;
  Node* operand;       // expression; null for CAST ( NULL AS type )
  DataTypeNode* type;  // target type
};

// Function numbers of the SQL-syntax function forms (the named functions use the numbers of
// the scalar function table).
enum SyntaxFunction : int32_t {
  FUNC_CHARACTER_LENGTH = -1,
  FUNC_OCTET_LENGTH = -2,
  FUNC_POSITION = -3,
  FUNC_SUBSTRING = -4,
  FUNC_TRIM = -5,
  FUNC_BIT_LENGTH = -6,
  FUNC_LOWER = -7,
  FUNC_UPPER = -8,
};

// 143: scalar function call.
//   CHARACTER_LENGTH/CHAR_LENGTH, OCTET_LENGTH, BIT_LENGTH, LOWER, UPPER: one argument.
//   POSITION ( a IN b ): one ArgPairNode argument {a, b}.
//   SUBSTRING ( s FROM a [FOR b] ): arguments s, a [, b].
//   TRIM ( ... ): one TrimSpecNode argument.
//   named calls: the written arguments; the `x FROM y` and `x IN y` argument forms give one
//   ArgPairNode argument (EXTRACT's field is an IntervalFieldNode).
struct FunctionNode : Node {
  static constexpr NodeKind kKind = NODE_FUNCTION;
  int32_t number;                  // SyntaxFunction (< 0) or the function table's number
  ListNode* arguments;             // argument nodes, or null for none
  const char* name;                // upper-case name as looked up ("LEFT" for LEFT$)
  const ScalarFunction* function;  // table entry of a named call; null for SQL-syntax forms
};

// Set functions of SetFunctionNode.
enum SetFunctionKind : int32_t {
  SETF_COUNT = 1,
  SETF_MAX = 2,
  SETF_MIN = 3,
  SETF_SUM = 4,
  SETF_AVG = 5,
  SETF_COUNT_STAR = 6,
  SETF_FIRST = 7,
  SETF_LAST = 8,
};

// 144: set (aggregate) function.
struct SetFunctionNode : Node {
  static constexpr NodeKind kKind = NODE_SET_FUNCTION;
  int32_t function;  // SetFunctionKind
  int32_t distinct;  // 1 with DISTINCT (operand is then a ColumnRefNode)
  Node* operand;     // column (DISTINCT) or expression (ALL); null for COUNT(*)
};

// TRIM sides.
enum TrimSide : int32_t { TRIM_DEFAULT = 0, TRIM_LEADING = 1, TRIM_TRAILING = 2, TRIM_BOTH = 3 };

// 145: TRIM ( [side] [character] [FROM] source )
struct TrimSpecNode : Node {
  static constexpr NodeKind kKind = NODE_TRIM_SPEC;
  int32_t side;     // TrimSide
  Node* character;  // LiteralNode (string) or ParameterNode, or null
  Node* source;     // trimmed expression
};

// 146: [NOT] EXISTS ( query )
struct ExistsNode : Node {
  static constexpr NodeKind kKind = NODE_EXISTS;
  Node* query;      // query specification
  int32_t negated;  // 1 for NOT EXISTS
};

// 147: operand [NOT] LIKE pattern [ESCAPE escape]
struct LikeNode : Node {
  static constexpr NodeKind kKind = NODE_LIKE;
  Node* operand;    // matched expression
  int32_t negated;  // 1 for NOT LIKE
  Node* pattern;    // string literal, ParameterNode or USER literal
  Node* escape;     // string literal, ParameterNode or USER literal, or null
};

// 148: operand IS [NOT] NULL
struct IsNullNode : Node {
  static constexpr NodeKind kKind = NODE_IS_NULL;
  Node* operand;    // tested expression
  int32_t negated;  // 1 for IS NOT NULL
};

// 150: operand [NOT] IN ( values | query )
struct InNode : Node {
  static constexpr NodeKind kKind = NODE_IN;
  Node* operand;     // tested expression
  int32_t negated;   // 1 for NOT IN
  ListNode* values;  // expression list, or null for a subquery
  Node* query;       // query specification, or null for a value list
  int32_t reduced;   // set by later stages: 1 always true, 2 always false; 0 from the parser
};

// Quantifiers of QuantifiedNode.
enum Quantifier : int32_t { QUANTIFIER_ALL = 1, QUANTIFIER_ANY = 2, QUANTIFIER_SOME = 3 };

// 151: operand comp ALL|ANY|SOME ( query )
struct QuantifiedNode : Node {
  static constexpr NodeKind kKind = NODE_QUANTIFIED;
  Node* operand;       // left expression
  int32_t op;          // comparison OperatorCode (7..12)
  int32_t quantifier;  // Quantifier
  Node* query;         // query specification
  int32_t negated;     // 1 when a NOT was pushed into the predicate
};

// 152: operator. AND/OR: class 2/3, code OP_NONE. Value operators: class 4 with an
// OperatorCode; unary minus has no left operand. A comparison's right operand may be a query
// specification (comparison with a subquery).
struct OperatorNode : Node {
  static constexpr NodeKind kKind = NODE_OPERATOR;
  int32_t op_class;  // OperatorClass
  int32_t op;        // OperatorCode
  Node* left;        // left operand; null for unary minus
  Node* right;       // right (or only) operand
  int32_t mark;      // planner's mark (comparison already satisfied); 0 from the parser
};

// 153: two related arguments (EXTRACT field FROM source; POSITION needle IN haystack).
struct ArgPairNode : Node {
  static constexpr NodeKind kKind = NODE_ARG_PAIR;
  ListNode* items;  // exactly two nodes
};

// 154: literal value. `text` is kept for every kind that was written with text.
struct LiteralNode : Node {
  static constexpr NodeKind kKind = NODE_LITERAL;
  int32_t value_kind;              // LiteralKind
  const char* text;                // written text (see LiteralKind), or null
  int32_t length;                  // bytes in `text`
  int32_t integer;                 // LIT_INTEGER value; LIT_BOOLEAN 0/1
  double real;                     // LIT_DOUBLE value
  int32_t scale;                   // LIT_EXACT_NUMERIC digits after the point
  int32_t precision;               // CURRENT_TIME/CURRENT_TIMESTAMP ( n ), else -1
  unsigned char* bytes;            // LIT_HEX_STRING bytes (odd digit counts padded with a 0)
  int32_t byte_count;              // bytes at `bytes`
  SQL_DATE_STRUCT date;            // LIT_DATE
  SQL_TIME_STRUCT time;            // LIT_TIME
  SQL_TIMESTAMP_STRUCT timestamp;  // LIT_TIMESTAMP
  SQL_INTERVAL_STRUCT interval;    // LIT_INTERVAL
  int32_t interval_type;           // LIT_INTERVAL: SQL type code 101..113
  QuillValue* value;               // engine value, filled by later stages; null from the parser
};

// 155: dynamic parameter `?`
struct ParameterNode : Node {
  static constexpr NodeKind kKind = NODE_PARAMETER;
  int32_t number;  // 1-based position of the marker in the text
};

// 160: WHEN condition-or-value THEN result
struct WhenNode : Node {
  static constexpr NodeKind kKind = NODE_WHEN;
  Node* condition;  // condition (searched CASE) or value (simple CASE)
  Node* result;     // THEN expression
};

// 157: CASE [operand] WHEN ... [ELSE ...] END (also made from IIF)
struct CaseNode : Node {
  static constexpr NodeKind kKind = NODE_CASE;
  Node* operand;          // simple-CASE operand, or null
  ListNode* whens;        // WhenNode* list, at least one
  Node* else_result;      // ELSE expression, or null
  int32_t result_type;    // set by validation: SQL type the result is converted to (0: none)
  int32_t result_length;  // set by validation: declared length of a character result
};

// 158: NULLIF ( first , second )
struct NullifNode : Node {
  static constexpr NodeKind kKind = NODE_NULLIF;
  Node* first;   // value returned unless equal to `second`
  Node* second;  // compared value
};

// 159: COALESCE ( list )
struct CoalesceNode : Node {
  static constexpr NodeKind kKind = NODE_COALESCE;
  ListNode* expressions;  // expression list, at least one
};

// 161 COMMIT [WORK] / 162 ROLLBACK [WORK]
struct TransactionNode : Node {
  static constexpr NodeKind kKinds[] = {NODE_COMMIT, NODE_ROLLBACK};
};

// 164: CREATE USER name [AUTHORIZATION name] [IN name]
struct CreateUserNode : Node {
  static constexpr NodeKind kKind = NODE_CREATE_USER;
  NameNode* user;           // user name
  NameNode* authorization;  // AUTHORIZATION name, or null
  NameNode* in_name;        // IN name, or null
};

// 165: DROP USER name [IN name]
struct DropUserNode : Node {
  static constexpr NodeKind kKind = NODE_DROP_USER;
  NameNode* user;     // user name
  NameNode* in_name;  // IN name, or null
};
