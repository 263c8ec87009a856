/* The SQL grammar: an LALR(1) parser over the scanner's tokens that builds the parse tree
   (nodes.h) through the builders of tree_build.h. Pure (reentrant): all state is in the
   ParseState passed to every call. */

%require "3.8"
%define api.pure full
%define api.prefix {sql_yy}
%define api.token.prefix {TK_}
%define parse.error custom
%parse-param {ParseState* state}
%lex-param {ParseState* state}

%code requires {
#include "driver/sql/nodes.h"
struct ParseState;
struct NamePrefix;
// The rows a cursor specification asks for: LIMIT / OFFSET / FETCH FIRST.
struct RowLimit {
  int32_t has_limit;  // a row count was given
  int32_t limit;      // that count
  int32_t offset;     // rows skipped first
};
}

%code top {
#define YYINITDEPTH 200
#define YYMAXDEPTH 10000
}

%code {
#include <cstring>

#include "driver/sql/scanner.h"
#include "driver/sql/tree_build.h"

static int sql_yylex(SQL_YYSTYPE* value, ParseState* state);
static void sql_yyerror(ParseState* state, const char* message);

// A builder returned null: report memory exhaustion unless it wrote its own message.
#define NEED(x)                                                     \
  do {                                                              \
    if (!(x)) {                                                     \
      if (!state->failed) scan_report(state, "memory exhausted");   \
      YYABORT;                                                      \
    }                                                               \
  } while (0)
#define NEW(var, Type, kind) \
  Type* var = static_cast<Type*>(build_node(state, sizeof(Type), kind)); \
  NEED(var)
#define APPEND(out, list, item) \
  do { (out) = build_append(state, (list), (item)); NEED(out); } while (0)
#define INT_OF(out, text) \
  do { if (!build_small_int(state, (text), &(out))) YYABORT; } while (0)
}

%union {
  NameNode* name;
  const char* text;
  int32_t number;
  Node* node;
  ListNode* list;
  NamePrefix* prefix;
  TableNameNode* table;
  DataTypeNode* type;
  IntervalFieldNode* field;
  LiteralNode* literal;
  RowLimit row_limit;
}

%token <name> IDENTIFIER QUALIFIER
%token <text> STRING HEXLIT BITLIT HASHLIT INTNUM APPROXNUM
%token <number> PARAM ESC_RETCALL
%token NE LE GE CONCAT
%token ESC_FN ESC_D ESC_T ESC_TS ESC_OJ ESC_INTERVAL ESC_ESCAPE ESC_CALL
%token INTERVAL_QUOTE INTERVAL_SPACE
%token K_FROM_NAME /* FROM where only a column name can stand (the scanner looks ahead) */
%token K_AT_IDENTITY K_ADD K_ALL K_ALTER K_AND K_ANY K_AS K_ASC K_AUTHORIZATION
%token K_AUTOINCREMENT K_AUTONUMBER K_AUTO_INCREMENT K_AVG K_BETWEEN K_BIGINT K_BINARY K_BIT
%token K_BIT_LENGTH K_BOTH K_BY K_BYTE K_CASCADE K_CASE K_CAST K_CHAR K_CHARACTER
%token K_CHARACTER_LENGTH K_CHAR_LENGTH K_CHECK K_COALESCE K_COLUMN K_COMMIT K_CONSTRAINT
%token K_COUNT K_COUNTER K_CREATE K_CURRENT K_CURRENT_DATE K_CURRENT_TIME K_CURRENT_TIMESTAMP
%token K_CURRENT_USER K_DATE K_DATETIME K_DAY K_DEC K_DECIMAL K_DEFAULT K_DELETE K_DESC
%token K_DISTINCT K_DOUBLE K_DROP K_ELSE K_END K_ESCAPE K_EXISTS K_FALSE K_FETCH K_FIRST K_FLOAT
%token K_FOR K_FOREIGN K_FROM K_FULL K_GRANT K_GROUP K_HAVING K_HOUR K_IDENTITY K_IIF K_IMAGE
%token K_IN K_INDEX K_INNER K_INSERT K_INTEGER K_INTERVAL K_INTO K_IS K_JOIN K_KEY K_LAST
%token K_LEADING K_LEFT K_LIKE K_LIMIT K_LONG K_LONGBLOB K_LONGCHAR K_LOWER K_MAX K_MEDIUMBLOB K_MEMO
%token K_MIDDLEINT K_MIN K_MINUTE K_MONTH K_NATURAL K_NO K_NOT K_NULL K_NULLIF K_NUMERIC
%token K_OCTET_LENGTH K_OF K_OFFSET K_ON K_OPTION K_OR K_ORDER K_OUTER K_OVERLAPS K_POSITION
%token K_PRECISION K_PRIMARY K_PRIVILEGES K_PUBLIC K_REAL K_REFERENCES K_RESTRICT K_REVOKE
%token K_RIGHT K_ROLLBACK K_SECOND K_SELECT K_SET K_SIGNED K_SMALLINT K_SOME K_SUBSTRING K_SUM
%token K_TABLE K_TEXT K_THEN K_TIME K_TIMESTAMP K_TINYBLOB K_TINYINT K_TO K_TOP K_TRAILING
%token K_TRIM K_TRUE K_UNION K_UNIQUE K_UNSIGNED K_UPDATE K_UPPER K_USER K_USING K_VALUE
%token K_VALUES K_VARBINARY K_VARCHAR K_VARYING K_VIEW K_WHEN K_WHERE K_WITH K_WORK K_YEAR
%token K_YES

%type <node> statement query_expr query_term query_spec cursor_spec condition cond_term
%type <node> cond_factor cond_primary predicate expression term factor primary literal
%type <node> function set_function case_expr when_clause table_ref table_primary joined_table
%type <node> select_item order_item column_def table_element table_constraint col_constraint
%type <node> insert_value assignment privilege index_column interval_qualifier where_opt
%type <node> call_arg like_operand escape_opt trim_args trim_char when_value
%type <node> table_constraint_body numeric_literal
%type <node> from_clause derived_query derived_union
%type <list> select_list group_opt expression_list name_list table_refs
%type <list> order_list table_elements col_constraints insert_values assignments privileges
%type <list> grantees index_columns arg_list call_arg_list call_args_opt column_list_opt
%type <list> when_list for_update_cols as_items opt_paren_names row_values
%type <list> select_items column_defs column_ref_list privilege_list derived_columns_opt
%type <list> values_rows
%type <node> having_opt as_item
%type <table> table_name
%type <name> name alias_opt bare_name keyword_name
%type <prefix> prefix
%type <type> data_type
%type <field> interval_field
%type <number> comp quantifier_opt top_opt drop_behaviour_opt join_type unique_opt
%type <number> set_fn_name set_quant sign_opt trim_side on_delete_opt on_key_opt asc_desc
%type <number> auto_kw field_keyword interval_sign decimal_kw check_option_opt
%type <text> interval_value kw_function_name
%type <literal> default_literal
%type <row_limit> limit_opt fetch_first

/* `SET c = ( query )` is a subquery assignment, not a subquery used as a value: after the
   query, reduce to a query expression rather than shift the ')' of the value primary. */
%precedence ')'
%precedence QUERY_AS_EXPRESSION

%start input

%%

input
  : %empty
  | statements
  ;

statements
  : statement { APPEND(state->statements, state->statements, $1); }
  | statements ';' statement { APPEND(state->statements, state->statements, $3); }
  ;

statement
  : K_ALTER K_TABLE table_name K_ADD column_opt table_element {
      NEW(n, AlterTableAddNode, NODE_ALTER_TABLE_ADD);
      n->table = $3;
      APPEND(n->columns, nullptr, $6);
      $$ = n;
    }
  | K_ALTER K_TABLE table_name K_ADD column_opt '(' column_defs ')' {
      NEW(n, AlterTableAddNode, NODE_ALTER_TABLE_ADD);
      n->table = $3;
      n->columns = $7;
      n->parenthesised = 1;
      $$ = n;
    }
  | K_ALTER K_TABLE table_name K_DROP column_opt name drop_behaviour_opt {
      NEW(n, AlterTableDropNode, NODE_ALTER_TABLE_DROP);
      n->table = $3;
      n->column = $6;
      n->drop_behaviour = $7;
      $$ = n;
    }
  | K_CREATE unique_opt K_INDEX name K_ON table_name '(' index_columns ')' on_key_opt {
      NEW(n, CreateIndexNode, NODE_CREATE_INDEX);
      n->unique = $2;
      n->index = $4;
      n->table = $6;
      n->columns = $8;
      n->on_key = $10;
      $$ = n;
    }
  | K_CREATE K_TABLE table_name '(' table_elements ')' {
      NEW(n, CreateTableNode, NODE_CREATE_TABLE);
      n->table = $3;
      n->elements = $5;
      $$ = n;
    }
  | K_CREATE K_TABLE table_name K_ON name '(' table_elements ')' {
      NEW(n, CreateTableNode, NODE_CREATE_TABLE);
      n->table = $3;
      n->storage_kind = 1;
      n->storage = $5->text;
      n->elements = $7;
      $$ = n;
    }
  | K_CREATE K_TABLE table_name K_ON STRING '(' table_elements ')' {
      NEW(n, CreateTableNode, NODE_CREATE_TABLE);
      n->table = $3;
      n->storage_kind = 2;
      n->storage = $5;
      n->elements = $7;
      $$ = n;
    }
  | K_CREATE K_TABLE table_name K_AS name '(' table_elements ')' {
      NEW(n, CreateTableNode, NODE_CREATE_TABLE);
      n->table = $3;
      n->storage_kind = 3;
      n->storage = $5->text;
      n->elements = $7;
      $$ = n;
    }
  | K_CREATE K_VIEW table_name opt_paren_names K_AS query_expr check_option_opt {
      NEW(n, CreateViewNode, NODE_CREATE_VIEW);
      n->view = $3;
      n->columns = $4;
      n->query = $6;
      n->check_option = $7;
      $$ = n;
    }
  | K_CREATE K_USER name {
      NEW(n, CreateUserNode, NODE_CREATE_USER);
      n->user = $3;
      $$ = n;
    }
  | K_CREATE K_USER name K_AUTHORIZATION name {
      NEW(n, CreateUserNode, NODE_CREATE_USER);
      n->user = $3;
      n->authorization = $5;
      $$ = n;
    }
  | K_CREATE K_USER name K_IN name {
      NEW(n, CreateUserNode, NODE_CREATE_USER);
      n->user = $3;
      n->in_name = $5;
      $$ = n;
    }
  | K_CREATE K_USER name K_AUTHORIZATION name K_IN name {
      NEW(n, CreateUserNode, NODE_CREATE_USER);
      n->user = $3;
      n->authorization = $5;
      n->in_name = $7;
      $$ = n;
    }
  | K_DROP K_USER name {
      NEW(n, DropUserNode, NODE_DROP_USER);
      n->user = $3;
      $$ = n;
    }
  | K_DROP K_USER name K_IN name {
      NEW(n, DropUserNode, NODE_DROP_USER);
      n->user = $3;
      n->in_name = $5;
      $$ = n;
    }
  | K_DELETE K_FROM table_name K_WHERE K_CURRENT K_OF name {
      NEW(n, DeletePositionedNode, NODE_DELETE_POSITIONED);
      n->table = $3;
      n->cursor = $7;
      $$ = n;
    }
  | K_DELETE K_FROM table_name where_opt {
      NEW(n, DeleteSearchedNode, NODE_DELETE_SEARCHED);
      n->table = $3;
      n->where = $4;
      $$ = n;
    }
  | K_DROP K_INDEX name K_ON table_name {
      NEW(n, DropIndexNode, NODE_DROP_INDEX);
      n->index = $3;
      n->table = $5;
      $$ = n;
    }
  | K_DROP K_TABLE table_name drop_behaviour_opt {
      NEW(n, DropTableNode, NODE_DROP_TABLE);
      n->table = $3;
      n->drop_behaviour = $4;
      $$ = n;
    }
  | K_DROP K_VIEW table_name drop_behaviour_opt {
      NEW(n, DropTableNode, NODE_DROP_VIEW);
      n->table = $3;
      n->drop_behaviour = $4;
      $$ = n;
    }
  | K_GRANT privileges K_ON table_opt table_name K_TO grantees {
      NEW(n, GrantNode, NODE_GRANT);
      n->privileges = $2;
      n->table = $5;
      n->grantees = $7;
      $$ = n;
    }
  | K_GRANT privileges K_ON table_opt table_name K_TO grantees K_WITH K_GRANT K_OPTION {
      NEW(n, GrantNode, NODE_GRANT);
      n->privileges = $2;
      n->table = $5;
      n->grantees = $7;
      n->grant_option = 1;
      $$ = n;
    }
  | K_REVOKE privileges K_ON table_opt table_name K_FROM grantees drop_behaviour_opt {
      NEW(n, GrantNode, NODE_REVOKE);
      n->privileges = $2;
      n->table = $5;
      n->grantees = $7;
      n->drop_behaviour = $8;
      $$ = n;
    }
  | K_INSERT K_INTO table_name K_DEFAULT K_VALUES {
      NEW(source, InsertSourceNode, NODE_INSERT_SOURCE);
      source->default_values = 1;
      NEW(n, InsertNode, NODE_INSERT);
      n->table = $3;
      n->source = source;
      $$ = n;
    }
  | K_INSERT K_INTO table_name column_list_opt query_spec {
      NEW(source, InsertSourceNode, NODE_INSERT_SOURCE);
      source->columns = $4;
      source->query = $5;
      NEW(n, InsertNode, NODE_INSERT);
      n->table = $3;
      n->source = source;
      $$ = n;
    }
  | K_INSERT K_INTO table_name column_list_opt K_VALUES '(' insert_values ')' {
      NEW(source, InsertSourceNode, NODE_INSERT_SOURCE);
      source->columns = $4;
      source->values = $7;
      NEW(n, InsertNode, NODE_INSERT);
      n->table = $3;
      n->source = source;
      $$ = n;
    }
  | cursor_spec { $$ = $1; }
  | query_spec K_FOR K_UPDATE for_update_cols {
      NEW(n, SelectForUpdateNode, NODE_SELECT_FOR_UPDATE);
      n->query = $1;
      n->columns = $4;
      $$ = n;
    }
  | K_UPDATE table_name K_SET assignments K_WHERE K_CURRENT K_OF name {
      NEW(n, UpdatePositionedNode, NODE_UPDATE_POSITIONED);
      n->table = $2;
      n->assignments = $4;
      n->cursor = $8;
      $$ = n;
    }
  | K_UPDATE table_name K_SET assignments where_opt {
      NEW(n, UpdateSearchedNode, NODE_UPDATE_SEARCHED);
      n->table = $2;
      n->assignments = $4;
      n->where = $5;
      $$ = n;
    }
  | ESC_CALL table_name call_args_opt '}' {
      NEW(n, CallNode, NODE_CALL);
      n->procedure = $2;
      n->arguments = $3;
      n->escaped = 1;
      $$ = n;
    }
  | ESC_RETCALL table_name call_args_opt '}' {
      NEW(ret, ParameterNode, NODE_PARAMETER);
      ret->number = $1;
      NEW(n, CallNode, NODE_CALL);
      n->procedure = $2;
      n->arguments = $3;
      n->escaped = 1;
      n->return_value = ret;
      $$ = n;
    }
  | K_COMMIT work_opt { NEW(n, TransactionNode, NODE_COMMIT); $$ = n; }
  | K_ROLLBACK work_opt { NEW(n, TransactionNode, NODE_ROLLBACK); $$ = n; }
  ;

column_opt : %empty | K_COLUMN ;
table_opt : %empty | K_TABLE ;
work_opt : %empty | K_WORK ;
check_option_opt : %empty { $$ = 0; } | K_WITH K_CHECK K_OPTION { $$ = 1; } ;
unique_opt : %empty { $$ = 0; } | K_UNIQUE { $$ = 1; } ;

drop_behaviour_opt
  : %empty { $$ = DROP_NONE; }
  | K_CASCADE { $$ = DROP_CASCADE; }
  | K_RESTRICT { $$ = DROP_RESTRICT; }
  ;

on_key_opt
  : %empty { $$ = -1; }
  | K_ON K_KEY '(' INTNUM ')' { INT_OF($$, $4); }
  ;

column_defs
  : table_element { APPEND($$, nullptr, $1); }
  | column_defs ',' table_element { APPEND($$, $1, $3); }
  ;

index_columns
  : index_column { APPEND($$, nullptr, $1); }
  | index_columns ',' index_column { APPEND($$, $1, $3); }
  ;

index_column
  : name asc_desc {
      NEW(n, IndexColumnNode, NODE_INDEX_COLUMN);
      n->name = $1;
      n->descending = $2;
      $$ = n;
    }
  ;

asc_desc : %empty { $$ = 0; } | K_ASC { $$ = 0; } | K_DESC { $$ = 1; } ;

table_elements
  : table_element { APPEND($$, nullptr, $1); }
  | table_elements ',' table_element { APPEND($$, $1, $3); }
  ;

table_element : column_def { $$ = $1; } | table_constraint { $$ = $1; } ;

column_def
  : name data_type col_constraints {
      NEW(n, ColumnDefNode, NODE_COLUMN_DEF);
      n->name = $1;
      n->type = $2;
      n->constraints = $3;
      $$ = n;
    }
  ;

col_constraints
  : %empty { $$ = nullptr; }
  | col_constraints col_constraint { APPEND($$, $1, $2); }
  ;

auto_kw : K_AUTO_INCREMENT { $$ = 0; } | K_AUTONUMBER { $$ = 0; } | K_IDENTITY { $$ = 0; } ;

col_constraint
  : K_CHECK '(' condition ')' {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_CHECK; n->start = n->step = n->on_key = -1;
      n->condition = $3;
      $$ = n;
    }
  | auto_kw {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_AUTO_INCREMENT; n->start = n->step = n->on_key = -1;
      $$ = n;
    }
  | auto_kw '(' INTNUM ')' {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_AUTO_INCREMENT; n->step = n->on_key = -1;
      INT_OF(n->start, $3);
      $$ = n;
    }
  | auto_kw '(' INTNUM ',' INTNUM ')' {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_AUTO_INCREMENT; n->on_key = -1;
      INT_OF(n->start, $3);
      INT_OF(n->step, $5);
      $$ = n;
    }
  | K_NOT K_NULL {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_NOT_NULL; n->start = n->step = n->on_key = -1;
      $$ = n;
    }
  | K_NULL {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_NULL; n->start = n->step = n->on_key = -1;
      $$ = n;
    }
  | K_PRIMARY K_KEY on_key_opt {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_PRIMARY_KEY; n->start = n->step = -1;
      n->on_key = $3;
      $$ = n;
    }
  | K_REFERENCES table_name {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_REFERENCES; n->start = n->step = n->on_key = -1;
      n->ref_table = $2;
      $$ = n;
    }
  | K_REFERENCES table_name '(' name ')' {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_REFERENCES; n->start = n->step = n->on_key = -1;
      n->ref_table = $2;
      n->ref_column = $4;
      $$ = n;
    }
  | K_UNIQUE {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_UNIQUE; n->start = n->step = n->on_key = -1;
      $$ = n;
    }
  | K_DEFAULT default_literal {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_DEFAULT; n->start = n->step = n->on_key = -1;
      n->default_value = $2;
      $$ = n;
    }
  | K_DEFAULT '(' default_literal ')' {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_DEFAULT; n->start = n->step = n->on_key = -1;
      n->default_value = $3;
      $$ = n;
    }
  | K_AS name {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_AS_NAME; n->start = n->step = n->on_key = -1;
      n->as_name = $2;
      $$ = n;
    }
  | K_AS name '(' as_items ')' {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_AS_NAME; n->start = n->step = n->on_key = -1;
      n->as_name = $2;
      n->as_items = $4;
      $$ = n;
    }
  | K_AS STRING {
      NEW(n, ColumnConstraintNode, NODE_COLUMN_CONSTRAINT);
      n->type = CCONS_AS_STRING; n->start = n->step = n->on_key = -1;
      n->as_text = $2;
      $$ = n;
    }
  ;

default_literal
  : literal { $$ = node_cast<LiteralNode>($1); }
  | '-' numeric_literal {
      LiteralNode* l = node_cast<LiteralNode>($2);
      l->text = build_concat(state, "-", l->text);
      NEED(l->text);
      l->length += 1;
      l->integer = -l->integer;
      l->real = -l->real;
      $$ = l;
    }
  | '+' numeric_literal { $$ = node_cast<LiteralNode>($2); }
  ;

as_items
  : as_item { APPEND($$, nullptr, $1); }
  | as_items ',' as_item { APPEND($$, $1, $3); }
  ;

as_item
  : expression {
      NEW(n, SetAssignmentNode, NODE_SET_ASSIGNMENT);
      n->value = $1;
      $$ = n;
    }
  | name '=' expression {
      NEW(n, SetAssignmentNode, NODE_SET_ASSIGNMENT);
      n->column = $1;
      n->value = $3;
      $$ = n;
    }
  ;

table_constraint
  : table_constraint_body { $$ = $1; }
  | K_CONSTRAINT name table_constraint_body {
      node_cast<TableConstraintNode>($3)->name = $2;
      $$ = $3;
    }
  ;

table_constraint_body
  : K_UNIQUE '(' name_list ')' {
      NEW(n, TableConstraintNode, NODE_TABLE_CONSTRAINT);
      n->type = TCONS_UNIQUE; n->on_key = -1;
      n->columns = $3;
      $$ = n;
    }
  | K_PRIMARY K_KEY '(' name_list ')' on_key_opt {
      NEW(n, TableConstraintNode, NODE_TABLE_CONSTRAINT);
      n->type = TCONS_PRIMARY_KEY;
      n->columns = $4;
      n->on_key = $6;
      $$ = n;
    }
  | K_CHECK '(' condition ')' {
      NEW(n, TableConstraintNode, NODE_TABLE_CONSTRAINT);
      n->type = TCONS_CHECK; n->on_key = -1;
      n->condition = $3;
      $$ = n;
    }
  | K_FOREIGN K_KEY '(' name_list ')' K_REFERENCES table_name opt_paren_names on_delete_opt {
      NEW(n, TableConstraintNode, NODE_TABLE_CONSTRAINT);
      n->type = TCONS_FOREIGN_KEY; n->on_key = -1;
      n->columns = $4;
      n->ref_table = $7;
      n->ref_columns = $8;
      n->on_delete = $9;
      $$ = n;
    }
  ;

on_delete_opt
  : %empty { $$ = ON_DELETE_NONE; }
  | K_ON K_DELETE K_NO name { $$ = ON_DELETE_NO_ACTION; }
  | K_ON K_DELETE K_CASCADE { $$ = ON_DELETE_CASCADE; }
  | K_ON K_DELETE K_SET K_NULL { $$ = ON_DELETE_SET_NULL; }
  | K_ON K_DELETE K_SET K_DEFAULT { $$ = ON_DELETE_SET_DEFAULT; }
  ;

opt_paren_names
  : %empty { $$ = nullptr; }
  | '(' name_list ')' { $$ = $2; }
  ;

column_list_opt
  : %empty { $$ = nullptr; }
  | '(' name_list ')' { $$ = $2; }
  ;

name_list
  : name { APPEND($$, nullptr, $1); }
  | name_list ',' name { APPEND($$, $1, $3); }
  ;

privileges
  : K_ALL { $$ = nullptr; }
  | K_ALL K_PRIVILEGES { $$ = nullptr; }
  | privilege_list { $$ = $1; }
  ;

privilege_list
  : privilege { APPEND($$, nullptr, $1); }
  | privilege_list ',' privilege { APPEND($$, $1, $3); }
  ;

privilege
  : K_DELETE { NEW(n, PrivilegeNode, NODE_PRIVILEGE); n->action = PRIV_DELETE; $$ = n; }
  | K_INSERT { NEW(n, PrivilegeNode, NODE_PRIVILEGE); n->action = PRIV_INSERT; $$ = n; }
  | K_SELECT { NEW(n, PrivilegeNode, NODE_PRIVILEGE); n->action = PRIV_SELECT; $$ = n; }
  | K_UPDATE opt_paren_names {
      NEW(n, PrivilegeNode, NODE_PRIVILEGE);
      n->action = PRIV_UPDATE;
      n->columns = $2;
      $$ = n;
    }
  | K_REFERENCES opt_paren_names {
      NEW(n, PrivilegeNode, NODE_PRIVILEGE);
      n->action = PRIV_REFERENCES;
      n->columns = $2;
      $$ = n;
    }
  ;

grantees
  : K_PUBLIC { $$ = nullptr; }
  | name_list { $$ = $1; }
  ;

insert_values
  : insert_value { APPEND($$, nullptr, $1); }
  | insert_values ',' insert_value { APPEND($$, $1, $3); }
  ;

insert_value
  : expression {
      // A bare NULL keeps its own node: the value list takes it as the keyword.
      if (is_null_literal($1)) {
        NEW(n, ValuesKeywordNode, NODE_VALUES_KEYWORD);
        n->which = 1;
        $$ = n;
      } else {
        $$ = $1;
      }
    }
  | K_DEFAULT { NEW(n, ValuesKeywordNode, NODE_VALUES_KEYWORD); n->which = 2; $$ = n; }
  ;

for_update_cols
  : %empty { $$ = nullptr; }
  | K_OF column_ref_list { $$ = $2; }
  ;

column_ref_list
  : name { ColumnRefNode* c = build_column_ref(state, nullptr, $1); NEED(c); APPEND($$, nullptr, c); }
  | prefix name { ColumnRefNode* c = build_column_ref(state, $1, $2); NEED(c); APPEND($$, nullptr, c); }
  | column_ref_list ',' name { ColumnRefNode* c = build_column_ref(state, nullptr, $3); NEED(c); APPEND($$, $1, c); }
  | column_ref_list ',' prefix name { ColumnRefNode* c = build_column_ref(state, $3, $4); NEED(c); APPEND($$, $1, c); }
  ;

assignments
  : assignment { APPEND($$, nullptr, $1); }
  | assignments ',' assignment { APPEND($$, $1, $3); }
  ;

assignment
  : name '=' expression {
      NEW(n, SetAssignmentNode, NODE_SET_ASSIGNMENT);
      n->column = $1;
      if (is_null_literal($3)) {
        n->value_kind = ASSIGN_NULL;
      } else {
        n->value_kind = ASSIGN_EXPRESSION;
        n->value = $3;
      }
      $$ = n;
    }
  | name '=' '(' query_expr ')' {
      NEW(n, SetAssignmentNode, NODE_SET_ASSIGNMENT);
      n->column = $1; n->value_kind = ASSIGN_SUBQUERY; n->value = $4;
      $$ = n;
    }
  | name '=' K_DEFAULT K_VALUE {
      NEW(n, SetAssignmentNode, NODE_SET_ASSIGNMENT);
      n->column = $1; n->value_kind = ASSIGN_DEFAULT;
      $$ = n;
    }
  ;

call_args_opt
  : %empty { $$ = nullptr; }
  | '(' call_arg_list ')' {
      // A single empty argument is no argument at all: p() is p.
      $$ = (ListCount($2) == 1 && !ListData(ListFirst($2))) ? nullptr : $2;
    }
  ;

call_arg_list
  : call_arg { APPEND($$, nullptr, $1); }
  | call_arg_list ',' call_arg { APPEND($$, $1, $3); }
  ;

call_arg : %empty { $$ = nullptr; } | expression { $$ = $1; } ;

/* ---- Queries ---- */

cursor_spec
  : query_expr limit_opt {
      NEW(n, CursorSpecNode, NODE_CURSOR_SPEC);
      n->query = $1;
      n->has_limit = $2.has_limit; n->limit = $2.limit; n->offset = $2.offset;
      $$ = n;
    }
  | query_expr K_ORDER K_BY order_list limit_opt {
      NEW(n, CursorSpecNode, NODE_CURSOR_SPEC);
      n->query = $1;
      n->order_by = $4;
      n->has_limit = $5.has_limit; n->limit = $5.limit; n->offset = $5.offset;
      $$ = n;
    }
  ;

/* LIMIT n [OFFSET m], and the standard OFFSET m ROWS FETCH FIRST n ROWS ONLY; ROW, ROWS, NEXT
   and ONLY are names the actions check, so they stay usable as names everywhere. */
limit_opt
  : %empty { $$ = RowLimit{0, 0, 0}; }
  | K_LIMIT INTNUM { $$ = RowLimit{1, 0, 0}; INT_OF($$.limit, $2); }
  | K_LIMIT INTNUM K_OFFSET INTNUM {
      $$ = RowLimit{1, 0, 0}; INT_OF($$.limit, $2); INT_OF($$.offset, $4);
    }
  | K_OFFSET INTNUM name {
      if (!build_expect_word(state, $3, "ROWS", "ROW")) YYABORT;
      $$ = RowLimit{0, 0, 0}; INT_OF($$.offset, $2);
    }
  | K_OFFSET INTNUM name fetch_first {
      if (!build_expect_word(state, $3, "ROWS", "ROW")) YYABORT;
      $$ = $4; INT_OF($$.offset, $2);
    }
  | fetch_first { $$ = $1; }
  ;

fetch_first
  : K_FETCH K_FIRST INTNUM name name {
      if (!build_expect_word(state, $4, "ROWS", "ROW") ||
          !build_expect_word(state, $5, "ONLY", nullptr)) YYABORT;
      $$ = RowLimit{1, 0, 0}; INT_OF($$.limit, $3);
    }
  | K_FETCH name INTNUM name name {
      if (!build_expect_word(state, $2, "NEXT", nullptr) ||
          !build_expect_word(state, $4, "ROWS", "ROW") ||
          !build_expect_word(state, $5, "ONLY", nullptr)) YYABORT;
      $$ = RowLimit{1, 0, 0}; INT_OF($$.limit, $3);
    }
  | K_FETCH K_FIRST name name {
      if (!build_expect_word(state, $3, "ROW", "ROWS") ||
          !build_expect_word(state, $4, "ONLY", nullptr)) YYABORT;
      $$ = RowLimit{1, 1, 0};
    }
  | K_FETCH name name name {
      if (!build_expect_word(state, $2, "NEXT", nullptr) ||
          !build_expect_word(state, $3, "ROW", "ROWS") ||
          !build_expect_word(state, $4, "ONLY", nullptr)) YYABORT;
      $$ = RowLimit{1, 1, 0};
    }
  ;

order_list
  : order_item { APPEND($$, nullptr, $1); }
  | order_list ',' order_item { APPEND($$, $1, $3); }
  ;

order_item
  : expression asc_desc {
      NEW(n, OrderItemNode, NODE_ORDER_ITEM);
      n->expression = $1;
      n->descending = $2;
      $$ = n;
    }
  ;

query_expr
  : query_term { $$ = $1; }
  | query_expr K_UNION query_term {
      NEW(n, UnionNode, NODE_UNION);
      n->left = $1; n->right = $3;
      $$ = n;
    }
  | query_expr K_UNION K_ALL query_term {
      NEW(n, UnionNode, NODE_UNION);
      n->left = $1; n->right = $4; n->all = 1;
      $$ = n;
    }
  ;

query_term
  : query_spec %prec QUERY_AS_EXPRESSION { $$ = $1; }
  | '(' query_expr ')' { $$ = $2; }
  ;

query_spec
  : K_SELECT set_quant top_opt select_list from_clause group_opt having_opt {
      auto* n = node_cast<QuerySpecNode>($5);
      n->quantifier = $2;
      n->top = $3;
      n->select_list = $4;
      $$ = n;
      if ($6 || $7) {
        NEW(g, GroupedQueryNode, NODE_GROUPED_QUERY);
        g->query = n;
        g->group_by = $6;
        g->having = $7;
        $$ = g;
      }
    }
  ;

set_quant
  : %empty { $$ = QUANT_NONE; }
  | K_ALL { $$ = QUANT_ALL; }
  | K_DISTINCT { $$ = QUANT_DISTINCT; }
  ;

top_opt
  : %empty { $$ = -1; }
  | K_TOP INTNUM { INT_OF($$, $2); }
  ;

select_list
  : '*' { $$ = nullptr; }
  | select_items { $$ = $1; }
  ;

select_items
  : select_item { APPEND($$, nullptr, $1); }
  | select_items ',' select_item { APPEND($$, $1, $3); }
  ;

select_item
  : expression alias_opt {
      NEW(n, SelectItemNode, NODE_SELECT_ITEM);
      n->expression = $1;
      n->alias = $2;
      $$ = n;
    }
  | prefix '*' {
      ColumnRefNode* c = build_column_ref(state, $1, nullptr);
      NEED(c);
      NEW(n, SelectItemNode, NODE_SELECT_ITEM);
      n->expression = c;
      $$ = n;
    }
  ;

/* A name written without AS may not be a keyword: LIMIT after a table is the clause. */
alias_opt
  : %empty { $$ = nullptr; }
  | bare_name { $$ = $1; }
  | K_AS name { $$ = $2; }
  ;

from_clause
  : %empty { NEW(n, QuerySpecNode, NODE_QUERY_SPEC); $$ = n; }
  | K_FROM table_refs where_opt {
      NEW(n, QuerySpecNode, NODE_QUERY_SPEC);
      n->from = $2;
      n->where = $3;
      $$ = n;
    }
  ;

where_opt
  : %empty { $$ = nullptr; }
  | K_WHERE condition { $$ = $2; }
  ;

group_opt
  : %empty { $$ = nullptr; }
  | K_GROUP K_BY expression_list { $$ = $3; }
  ;

having_opt
  : %empty { $$ = nullptr; }
  | K_HAVING condition { $$ = $2; }
  ;

table_refs
  : table_ref { APPEND($$, nullptr, $1); }
  | table_refs ',' table_ref { APPEND($$, $1, $3); }
  ;

table_ref
  : table_primary { $$ = $1; }
  | joined_table { $$ = $1; }
  ;

table_primary
  : table_name alias_opt {
      NEW(n, TableRefNode, NODE_TABLE_REF);
      n->table = $1;
      n->alias = $2;
      $$ = n;
    }
  | '(' derived_query ')' alias_opt derived_columns_opt {
      if ($5 && !$4) { scan_report(state, "syntax error"); YYABORT; }
      NEW(n, TableRefNode, NODE_TABLE_REF);
      n->table = $2;
      n->alias = $4;
      n->column_aliases = $5;
      $$ = n;
    }
  | '(' joined_table ')' { $$ = $2; }
  | ESC_OJ joined_table '}' {
      node_cast<JoinedTableNode>($2)->escaped = 1;
      $$ = $2;
    }
  ;

/* A derived table: a query (a UNION too) or a VALUES list of rows. */
derived_query
  : query_spec { $$ = $1; }
  | derived_union { $$ = $1; }
  | K_VALUES values_rows { $$ = build_values_table(state, $2); NEED($$); }
  ;

/* Its first operand is a plain query: "( (" is kept for a parenthesised join. */
derived_union
  : query_spec K_UNION query_term {
      NEW(n, UnionNode, NODE_UNION);
      n->left = $1; n->right = $3;
      $$ = n;
    }
  | query_spec K_UNION K_ALL query_term {
      NEW(n, UnionNode, NODE_UNION);
      n->left = $1; n->right = $4; n->all = 1;
      $$ = n;
    }
  | derived_union K_UNION query_term {
      NEW(n, UnionNode, NODE_UNION);
      n->left = $1; n->right = $3;
      $$ = n;
    }
  | derived_union K_UNION K_ALL query_term {
      NEW(n, UnionNode, NODE_UNION);
      n->left = $1; n->right = $4; n->all = 1;
      $$ = n;
    }
  ;

values_rows
  : '(' expression_list ')' {
      Node* row = build_values_row(state, $2, true);
      NEED(row);
      APPEND($$, nullptr, row);
    }
  | values_rows ',' '(' expression_list ')' {
      Node* row = build_values_row(state, $4, false);
      NEED(row);
      if (!build_values_row_fits(state, $1, row)) YYABORT;
      APPEND($$, $1, row);
    }
  ;

derived_columns_opt
  : %empty { $$ = nullptr; }
  | '(' name_list ')' { $$ = $2; }
  ;

joined_table
  : table_ref join_type table_primary K_ON condition {
      NEW(c, JoinConditionNode, NODE_JOIN_CONDITION);
      c->on = $5;
      NEW(n, JoinedTableNode, NODE_JOINED_TABLE);
      n->join_type = $2; n->left = $1; n->right = $3; n->condition = c;
      $$ = n;
    }
  | table_ref join_type table_primary K_USING '(' name_list ')' {
      NEW(c, JoinConditionNode, NODE_JOIN_CONDITION);
      c->using_columns = $6;
      NEW(n, JoinedTableNode, NODE_JOINED_TABLE);
      n->join_type = $2; n->left = $1; n->right = $3; n->condition = c;
      $$ = n;
    }
  | table_ref K_NATURAL join_type table_primary {
      NEW(n, JoinedTableNode, NODE_JOINED_TABLE);
      n->join_type = $3; n->natural = 1; n->left = $1; n->right = $4;
      $$ = n;
    }
  ;

join_type
  : K_JOIN { $$ = JOIN_INNER; }
  | K_INNER K_JOIN { $$ = JOIN_INNER; }
  | K_LEFT outer_opt K_JOIN { $$ = JOIN_LEFT; }
  | K_RIGHT outer_opt K_JOIN { $$ = JOIN_RIGHT; }
  | K_FULL outer_opt K_JOIN { $$ = JOIN_FULL; }
  ;

outer_opt : %empty | K_OUTER ;

/* ---- Names ---- */

/* LIMIT, OFFSET and FETCH came late: they remain names wherever no clause can start. */
name
  : IDENTIFIER { $$ = $1; }
  | K_LIMIT { $$ = build_keyword_name(state, $<text>1); NEED($$); }
  | K_OFFSET { $$ = build_keyword_name(state, $<text>1); NEED($$); }
  | K_FETCH { $$ = build_keyword_name(state, $<text>1); NEED($$); }
  ;

bare_name : IDENTIFIER { $$ = $1; } ;

/* Keywords that name columns of the catalog, accepted as column names in expressions. */
keyword_name
  : K_TIMESTAMP { $$ = build_keyword_name(state, $<text>1); NEED($$); }
  | K_VALUE { $$ = build_keyword_name(state, $<text>1); NEED($$); }
  | K_TO { $$ = build_keyword_name(state, $<text>1); NEED($$); }
  | K_FROM_NAME { $$ = build_keyword_name(state, $<text>1); NEED($$); }
  ;

prefix
  : QUALIFIER separator { $$ = build_prefix(state, nullptr, $1); NEED($$); }
  | prefix QUALIFIER separator { $$ = build_prefix(state, $1, $2); NEED($$); }
  | prefix separator { $$ = build_prefix(state, $1, nullptr); NEED($$); }
  ;

separator : '.' | '!' ;

table_name
  : name { $$ = build_table_name(state, nullptr, $1); NEED($$); }
  | prefix name { $$ = build_table_name(state, $1, $2); NEED($$); }
  ;

/* ---- Conditions ---- */

condition
  : cond_term { $$ = $1; }
  | condition K_OR cond_term { $$ = build_operator(state, OPCLASS_OR, OP_NONE, $1, $3); NEED($$); }
  ;

cond_term
  : cond_factor { $$ = $1; }
  | cond_term K_AND cond_factor { $$ = build_operator(state, OPCLASS_AND, OP_NONE, $1, $3); NEED($$); }
  ;

cond_factor
  : cond_primary { $$ = $1; }
  | K_NOT cond_primary { $$ = negate_condition($2); NEED($$); }
  ;

cond_primary
  : predicate { $$ = $1; }
  | '(' condition ')' { $$ = $2; }
  ;

comp
  : '=' { $$ = OP_EQUAL; }
  | '<' { $$ = OP_LESS; }
  | '>' { $$ = OP_GREATER; }
  | LE { $$ = OP_LESS_EQUAL; }
  | GE { $$ = OP_GREATER_EQUAL; }
  | NE { $$ = OP_NOT_EQUAL; }
  ;

quantifier_opt
  : K_ALL { $$ = QUANTIFIER_ALL; }
  | K_ANY { $$ = QUANTIFIER_ANY; }
  | K_SOME { $$ = QUANTIFIER_SOME; }
  ;

predicate
  : expression comp expression {
      $$ = build_operator(state, OPCLASS_VALUE, $2, $1, $3); NEED($$);
    }
  | expression comp quantifier_opt '(' query_spec ')' {
      NEW(n, QuantifiedNode, NODE_QUANTIFIED);
      n->operand = $1; n->op = $2; n->quantifier = $3; n->query = $5;
      $$ = n;
    }
  | expression K_BETWEEN expression K_AND expression {
      $$ = build_between(state, $1, $3, $5, false); NEED($$);
    }
  | expression K_NOT K_BETWEEN expression K_AND expression {
      $$ = build_between(state, $1, $4, $6, true); NEED($$);
    }
  | expression K_IN '(' expression_list ')' {
      NEW(n, InNode, NODE_IN);
      n->operand = $1; n->values = $4;
      $$ = n;
    }
  | expression K_NOT K_IN '(' expression_list ')' {
      NEW(n, InNode, NODE_IN);
      n->operand = $1; n->negated = 1; n->values = $5;
      $$ = n;
    }
  | expression K_IN '(' query_spec ')' {
      NEW(n, InNode, NODE_IN);
      n->operand = $1; n->query = $4;
      $$ = n;
    }
  | expression K_NOT K_IN '(' query_spec ')' {
      NEW(n, InNode, NODE_IN);
      n->operand = $1; n->negated = 1; n->query = $5;
      $$ = n;
    }
  | expression K_LIKE like_operand escape_opt {
      NEW(n, LikeNode, NODE_LIKE);
      n->operand = $1; n->pattern = $3; n->escape = $4;
      $$ = n;
    }
  | expression K_NOT K_LIKE like_operand escape_opt {
      NEW(n, LikeNode, NODE_LIKE);
      n->operand = $1; n->negated = 1; n->pattern = $4; n->escape = $5;
      $$ = n;
    }
  | expression K_IS K_NULL {
      NEW(n, IsNullNode, NODE_IS_NULL);
      n->operand = $1;
      $$ = n;
    }
  | expression K_IS K_NOT K_NULL {
      NEW(n, IsNullNode, NODE_IS_NULL);
      n->operand = $1; n->negated = 1;
      $$ = n;
    }
  | K_EXISTS '(' query_spec ')' {
      NEW(n, ExistsNode, NODE_EXISTS);
      n->query = $3;
      $$ = n;
    }
  | row_values K_OVERLAPS row_values { $$ = build_overlaps(state, $1, $3); NEED($$); }
  ;

row_values
  : expression { APPEND($$, nullptr, $1); }
  | '(' expression ',' expression_list ')' {
      ListNode* head;
      APPEND(head, nullptr, $2);
      $$ = ListMerge(head, $4);
    }
  ;

like_operand
  : STRING { $$ = build_literal(state, LIT_STRING, $1); NEED($$); }
  | PARAM { NEW(n, ParameterNode, NODE_PARAMETER); n->number = $1; $$ = n; }
  | K_USER { $$ = build_literal(state, LIT_USER, nullptr); NEED($$); }
  ;

escape_opt
  : %empty { $$ = nullptr; }
  | K_ESCAPE like_operand { $$ = $2; }
  | K_ESCAPE ESC_ESCAPE STRING '}' { $$ = build_literal(state, LIT_STRING, $3); NEED($$); }
  | ESC_ESCAPE STRING '}' { $$ = build_literal(state, LIT_STRING, $2); NEED($$); }
  ;

/* ---- Expressions ---- */

expression_list
  : expression { APPEND($$, nullptr, $1); }
  | expression_list ',' expression { APPEND($$, $1, $3); }
  ;

expression
  : term { $$ = $1; }
  | expression '+' term { $$ = build_operator(state, OPCLASS_VALUE, OP_ADD, $1, $3); NEED($$); }
  | expression '-' term { $$ = build_operator(state, OPCLASS_VALUE, OP_SUBTRACT, $1, $3); NEED($$); }
  | expression CONCAT term { $$ = build_operator(state, OPCLASS_VALUE, OP_CONCAT, $1, $3); NEED($$); }
  ;

term
  : factor { $$ = $1; }
  | term '*' factor { $$ = build_operator(state, OPCLASS_VALUE, OP_MULTIPLY, $1, $3); NEED($$); }
  | term '/' factor { $$ = build_operator(state, OPCLASS_VALUE, OP_DIVIDE, $1, $3); NEED($$); }
  ;

factor
  : primary { $$ = $1; }
  | '+' primary { $$ = $2; }
  | '-' primary { $$ = build_operator(state, OPCLASS_VALUE, OP_NEGATE, nullptr, $2); NEED($$); }
  ;

primary
  : name {
      ColumnRefNode* c = build_column_ref(state, nullptr, $1);
      NEED(c);
      $$ = c;
    }
  | prefix name {
      ColumnRefNode* c = build_column_ref(state, $1, $2);
      NEED(c);
      $$ = c;
    }
  | keyword_name {
      ColumnRefNode* c = build_column_ref(state, nullptr, $1);
      NEED(c);
      $$ = c;
    }
  | PARAM { NEW(n, ParameterNode, NODE_PARAMETER); n->number = $1; $$ = n; }
  | literal { $$ = $1; }
  | function { $$ = $1; }
  | set_function { $$ = $1; }
  | case_expr { $$ = $1; }
  | '(' expression ')' { $$ = $2; }
  /* A subquery used as a value; `e comp ( query )` is this primary on the right. */
  | '(' query_spec ')' { $$ = $2; }
  | K_CAST '(' expression K_AS data_type ')' {
      NEW(n, CastNode, NODE_CAST);
      // CAST(NULL AS type) has no operand: the value is a NULL of that type.
      n->operand = is_null_literal($3) ? nullptr : $3;
      n->type = $5;
      $$ = n;
    }
  | K_NULLIF '(' expression ',' expression ')' {
      NEW(n, NullifNode, NODE_NULLIF);
      n->first = $3; n->second = $5;
      $$ = n;
    }
  | K_COALESCE '(' expression_list ')' {
      NEW(n, CoalesceNode, NODE_COALESCE);
      n->expressions = $3;
      $$ = n;
    }
  | K_IIF '(' condition ',' expression ',' expression ')' {
      $$ = build_iif(state, $3, true, $5, $7); NEED($$);
    }
  | K_IIF '(' expression ',' expression ',' expression ')' {
      $$ = build_iif(state, $3, false, $5, $7); NEED($$);
    }
  ;

case_expr
  : K_CASE when_list K_END {
      NEW(n, CaseNode, NODE_CASE);
      n->whens = $2;
      $$ = n;
    }
  | K_CASE when_list K_ELSE expression K_END {
      NEW(n, CaseNode, NODE_CASE);
      n->whens = $2; n->else_result = $4;
      $$ = n;
    }
  | K_CASE expression when_list K_END {
      NEW(n, CaseNode, NODE_CASE);
      n->operand = $2; n->whens = $3;
      $$ = n;
    }
  | K_CASE expression when_list K_ELSE expression K_END {
      NEW(n, CaseNode, NODE_CASE);
      n->operand = $2; n->whens = $3; n->else_result = $5;
      $$ = n;
    }
  ;

when_list
  : when_clause { APPEND($$, nullptr, $1); }
  | when_list when_clause { APPEND($$, $1, $2); }
  ;

when_clause
  : K_WHEN when_value K_THEN expression {
      NEW(n, WhenNode, NODE_WHEN);
      n->condition = $2; n->result = $4;
      $$ = n;
    }
  ;

when_value : condition { $$ = $1; } | expression { $$ = $1; } ;

set_fn_name
  : K_AVG { $$ = SETF_AVG; }
  | K_MAX { $$ = SETF_MAX; }
  | K_MIN { $$ = SETF_MIN; }
  | K_SUM { $$ = SETF_SUM; }
  ;

set_function
  : K_COUNT '(' '*' ')' { $$ = build_set_function(state, SETF_COUNT_STAR, false, nullptr); NEED($$); }
  | K_COUNT '(' expression ')' { $$ = build_set_function(state, SETF_COUNT, false, $3); NEED($$); }
  | K_COUNT '(' K_ALL expression ')' { $$ = build_set_function(state, SETF_COUNT, false, $4); NEED($$); }
  | K_COUNT '(' K_DISTINCT expression ')' { $$ = build_set_function(state, SETF_COUNT, true, $4); NEED($$); }
  | set_fn_name '(' expression ')' { $$ = build_set_function(state, $1, false, $3); NEED($$); }
  | set_fn_name '(' K_ALL expression ')' { $$ = build_set_function(state, $1, false, $4); NEED($$); }
  | set_fn_name '(' K_DISTINCT expression ')' { $$ = build_set_function(state, $1, true, $4); NEED($$); }
  | K_FIRST '(' expression ')' { $$ = build_set_function(state, SETF_FIRST, false, $3); NEED($$); }
  | K_LAST '(' expression ')' { $$ = build_set_function(state, SETF_LAST, false, $3); NEED($$); }
  ;

kw_function_name
  : K_CHAR { $$ = "CHAR"; }
  | K_YEAR { $$ = "YEAR"; }
  | K_MONTH { $$ = "MONTH"; }
  | K_HOUR { $$ = "HOUR"; }
  | K_MINUTE { $$ = "MINUTE"; }
  | K_SECOND { $$ = "SECOND"; }
  | K_INSERT { $$ = "INSERT"; }
  | K_LEFT { $$ = "LEFT"; }
  | K_RIGHT { $$ = "RIGHT"; }
  ;

function
  : K_BIT_LENGTH '(' expression ')' { ListNode* a; APPEND(a, nullptr, $3); $$ = build_syntax_function(state, FUNC_BIT_LENGTH, "BIT_LENGTH", a); NEED($$); }
  | K_CHAR_LENGTH '(' expression ')' { ListNode* a; APPEND(a, nullptr, $3); $$ = build_syntax_function(state, FUNC_CHARACTER_LENGTH, "CHAR_LENGTH", a); NEED($$); }
  | K_CHARACTER_LENGTH '(' expression ')' { ListNode* a; APPEND(a, nullptr, $3); $$ = build_syntax_function(state, FUNC_CHARACTER_LENGTH, "CHARACTER_LENGTH", a); NEED($$); }
  | K_OCTET_LENGTH '(' expression ')' { ListNode* a; APPEND(a, nullptr, $3); $$ = build_syntax_function(state, FUNC_OCTET_LENGTH, "OCTET_LENGTH", a); NEED($$); }
  | K_LOWER '(' expression ')' { ListNode* a; APPEND(a, nullptr, $3); $$ = build_syntax_function(state, FUNC_LOWER, "LOWER", a); NEED($$); }
  | K_UPPER '(' expression ')' { ListNode* a; APPEND(a, nullptr, $3); $$ = build_syntax_function(state, FUNC_UPPER, "UPPER", a); NEED($$); }
  | K_POSITION '(' expression K_IN expression ')' {
      Node* pair = build_arg_pair(state, $3, $5);
      NEED(pair);
      ListNode* a; APPEND(a, nullptr, pair);
      $$ = build_syntax_function(state, FUNC_POSITION, "POSITION", a); NEED($$);
    }
  | K_SUBSTRING '(' expression K_FROM expression ')' {
      ListNode* a; APPEND(a, nullptr, $3); APPEND(a, a, $5);
      $$ = build_syntax_function(state, FUNC_SUBSTRING, "SUBSTRING", a); NEED($$);
    }
  | K_SUBSTRING '(' expression K_FROM expression K_FOR expression ')' {
      ListNode* a; APPEND(a, nullptr, $3); APPEND(a, a, $5); APPEND(a, a, $7);
      $$ = build_syntax_function(state, FUNC_SUBSTRING, "SUBSTRING", a); NEED($$);
    }
  | K_SUBSTRING '(' expression ',' expression_list ')' {
      ListNode* a; APPEND(a, nullptr, $3);
      $$ = build_function_call(state, "SUBSTRING", ListMerge(a, $5)); NEED($$);
    }
  | K_TRIM '(' trim_args ')' {
      ListNode* a; APPEND(a, nullptr, $3);
      $$ = build_syntax_function(state, FUNC_TRIM, "TRIM", a); NEED($$);
    }
  | kw_function_name '(' arg_list ')' { $$ = build_function_call(state, $1, $3); NEED($$); }
  | name '(' arg_list ')' {
      if ($1->quoted) { scan_report(state, "syntax error"); YYABORT; }
      $$ = build_function_call(state, $1->text, $3); NEED($$);
    }
  | ESC_FN name '(' arg_list ')' '}' { $$ = build_function_call(state, $2->text, $4); NEED($$); }
  ;

trim_args
  : expression { NEW(n, TrimSpecNode, NODE_TRIM_SPEC); n->source = $1; $$ = n; }
  | K_FROM expression { NEW(n, TrimSpecNode, NODE_TRIM_SPEC); n->source = $2; $$ = n; }
  | trim_char K_FROM expression {
      NEW(n, TrimSpecNode, NODE_TRIM_SPEC);
      n->character = $1; n->source = $3;
      $$ = n;
    }
  | trim_side expression { NEW(n, TrimSpecNode, NODE_TRIM_SPEC); n->side = $1; n->source = $2; $$ = n; }
  | trim_side K_FROM expression { NEW(n, TrimSpecNode, NODE_TRIM_SPEC); n->side = $1; n->source = $3; $$ = n; }
  | trim_side trim_char K_FROM expression {
      NEW(n, TrimSpecNode, NODE_TRIM_SPEC);
      n->side = $1; n->character = $2; n->source = $4;
      $$ = n;
    }
  ;

trim_side
  : K_LEADING { $$ = TRIM_LEADING; }
  | K_TRAILING { $$ = TRIM_TRAILING; }
  | K_BOTH { $$ = TRIM_BOTH; }
  ;

trim_char
  : STRING { $$ = build_literal(state, LIT_STRING, $1); NEED($$); }
  | PARAM { NEW(n, ParameterNode, NODE_PARAMETER); n->number = $1; $$ = n; }
  ;

arg_list
  : %empty { $$ = nullptr; }
  | expression_list { $$ = $1; }
  | field_keyword K_FROM expression {
      NEW(f, IntervalFieldNode, NODE_INTERVAL_FIELD);
      f->field = $1; f->precision = -1; f->fraction_precision = -1;
      Node* pair = build_arg_pair(state, f, $3);
      NEED(pair);
      APPEND($$, nullptr, pair);
    }
  | expression K_FROM expression {
      Node* first = $1;
      // DAY is not a keyword outside interval qualifiers: EXTRACT(DAY FROM x) names the field.
      auto* ref = first->kind == NODE_COLUMN_REF ? node_cast<ColumnRefNode>(first) : nullptr;
      if (ref && !ref->table && ref->column && !ref->column->quoted &&
          std::strcmp(ref->column->text, "DAY") == 0) {
        NEW(f, IntervalFieldNode, NODE_INTERVAL_FIELD);
        f->field = FIELD_DAY; f->precision = -1; f->fraction_precision = -1;
        first = f;
      }
      Node* pair = build_arg_pair(state, first, $3);
      NEED(pair);
      APPEND($$, nullptr, pair);
    }
  | expression K_IN expression {
      Node* pair = build_arg_pair(state, $1, $3);
      NEED(pair);
      APPEND($$, nullptr, pair);
    }
  ;

field_keyword
  : K_YEAR { $$ = FIELD_YEAR; }
  | K_MONTH { $$ = FIELD_MONTH; }
  | K_DAY { $$ = FIELD_DAY; }
  | K_HOUR { $$ = FIELD_HOUR; }
  | K_MINUTE { $$ = FIELD_MINUTE; }
  | K_SECOND { $$ = FIELD_SECOND; }
  ;

/* ---- Literals ---- */

numeric_literal
  : INTNUM { $$ = build_exact_number(state, $1, nullptr, false); NEED($$); }
  | INTNUM '.' { $$ = build_exact_number(state, $1, nullptr, true); NEED($$); }
  | '.' INTNUM { $$ = build_exact_number(state, nullptr, $2, true); NEED($$); }
  | INTNUM '.' INTNUM { $$ = build_exact_number(state, $1, $3, true); NEED($$); }
  | APPROXNUM { $$ = build_literal(state, LIT_DOUBLE, $1); NEED($$); }
  ;

literal
  : numeric_literal { $$ = $1; }
  | STRING { $$ = build_literal(state, LIT_STRING, $1); NEED($$); }
  | BITLIT { $$ = build_literal(state, LIT_BIT_STRING, $1); NEED($$); }
  | HEXLIT { $$ = build_literal(state, LIT_HEX_STRING, $1); NEED($$); }
  | HASHLIT { $$ = build_literal(state, LIT_HASH_DATETIME, $1); NEED($$); }
  | K_TRUE { LiteralNode* l = build_literal(state, LIT_BOOLEAN, "TRUE"); NEED(l); l->integer = 1; $$ = l; }
  | K_YES { LiteralNode* l = build_literal(state, LIT_BOOLEAN, "YES"); NEED(l); l->integer = 1; $$ = l; }
  | K_FALSE { $$ = build_literal(state, LIT_BOOLEAN, "FALSE"); NEED($$); }
  | K_NO { $$ = build_literal(state, LIT_BOOLEAN, "NO"); NEED($$); }
  | ESC_D STRING '}' { $$ = build_literal(state, LIT_DATE, $2); NEED($$); }
  | K_DATE STRING { $$ = build_literal(state, LIT_DATE, $2); NEED($$); }
  | ESC_T STRING '}' { $$ = build_literal(state, LIT_TIME, $2); NEED($$); }
  | K_TIME STRING { $$ = build_literal(state, LIT_TIME, $2); NEED($$); }
  | ESC_TS STRING '}' { $$ = build_literal(state, LIT_TIMESTAMP, $2); NEED($$); }
  | K_TIMESTAMP STRING { $$ = build_literal(state, LIT_TIMESTAMP, $2); NEED($$); }
  | K_INTERVAL interval_sign INTERVAL_QUOTE interval_value INTERVAL_QUOTE interval_qualifier {
      $$ = build_interval(state, $2, $4, $6); NEED($$);
    }
  | ESC_INTERVAL interval_sign INTERVAL_QUOTE interval_value INTERVAL_QUOTE interval_qualifier '}' {
      $$ = build_interval(state, $2, $4, $6); NEED($$);
    }
  | K_CURRENT_DATE { $$ = build_literal(state, LIT_CURRENT_DATE, nullptr); NEED($$); }
  | K_CURRENT K_DATE { $$ = build_literal(state, LIT_CURRENT_DATE, nullptr); NEED($$); }
  | K_CURRENT_TIME { $$ = build_literal(state, LIT_CURRENT_TIME, nullptr); NEED($$); }
  | K_CURRENT_TIME '(' INTNUM ')' {
      LiteralNode* l = build_literal(state, LIT_CURRENT_TIME, nullptr); NEED(l);
      INT_OF(l->precision, $3); $$ = l;
    }
  | K_CURRENT K_TIME { $$ = build_literal(state, LIT_CURRENT_TIME, nullptr); NEED($$); }
  | K_CURRENT K_TIME '(' INTNUM ')' {
      LiteralNode* l = build_literal(state, LIT_CURRENT_TIME, nullptr); NEED(l);
      INT_OF(l->precision, $4); $$ = l;
    }
  | K_CURRENT_TIMESTAMP { $$ = build_literal(state, LIT_CURRENT_TIMESTAMP, nullptr); NEED($$); }
  | K_CURRENT_TIMESTAMP '(' INTNUM ')' {
      LiteralNode* l = build_literal(state, LIT_CURRENT_TIMESTAMP, nullptr); NEED(l);
      INT_OF(l->precision, $3); $$ = l;
    }
  | K_CURRENT K_TIMESTAMP { $$ = build_literal(state, LIT_CURRENT_TIMESTAMP, nullptr); NEED($$); }
  | K_CURRENT K_TIMESTAMP '(' INTNUM ')' {
      LiteralNode* l = build_literal(state, LIT_CURRENT_TIMESTAMP, nullptr); NEED(l);
      INT_OF(l->precision, $4); $$ = l;
    }
  | K_USER { $$ = build_literal(state, LIT_USER, nullptr); NEED($$); }
  | K_CURRENT_USER { $$ = build_literal(state, LIT_CURRENT_USER, nullptr); NEED($$); }
  | K_AT_IDENTITY { $$ = build_literal(state, LIT_IDENTITY, nullptr); NEED($$); }
  | K_NULL { $$ = build_literal(state, LIT_NULL, nullptr); NEED($$); }
  ;

interval_sign
  : %empty { $$ = 1; }
  | '+' { $$ = 1; }
  | '-' { $$ = -1; }
  ;

interval_value
  : INTNUM { $$ = $1; }
  | INTNUM '.' INTNUM { $$ = build_concat(state, $1, ".", $3); NEED($$); }
  | INTNUM ':' INTNUM { $$ = build_concat(state, $1, ":", $3); NEED($$); }
  | INTNUM ':' INTNUM '.' INTNUM { $$ = build_concat(state, $1, ":", $3, ".", $5); NEED($$); }
  | INTNUM ':' INTNUM ':' INTNUM {
      const char* t = build_concat(state, $1, ":", $3, ":", $5); NEED(t); $$ = t;
    }
  | INTNUM ':' INTNUM ':' INTNUM '.' INTNUM {
      const char* t = build_concat(state, $1, ":", $3, ":", $5); NEED(t);
      $$ = build_concat(state, t, ".", $7); NEED($$);
    }
  | INTNUM INTERVAL_SPACE INTNUM { $$ = build_concat(state, $1, " ", $3); NEED($$); }
  | INTNUM INTERVAL_SPACE INTNUM ':' INTNUM {
      $$ = build_concat(state, $1, " ", $3, ":", $5); NEED($$);
    }
  | INTNUM INTERVAL_SPACE INTNUM ':' INTNUM ':' INTNUM {
      const char* t = build_concat(state, $1, " ", $3, ":", $5); NEED(t);
      $$ = build_concat(state, t, ":", $7); NEED($$);
    }
  | INTNUM INTERVAL_SPACE INTNUM ':' INTNUM ':' INTNUM '.' INTNUM {
      const char* t = build_concat(state, $1, " ", $3, ":", $5); NEED(t);
      $$ = build_concat(state, t, ":", $7, ".", $9); NEED($$);
    }
  | INTNUM '-' INTNUM { $$ = build_concat(state, $1, "-", $3); NEED($$); }
  ;

interval_field
  : field_keyword {
      NEW(f, IntervalFieldNode, NODE_INTERVAL_FIELD);
      f->field = $1; f->precision = -1; f->fraction_precision = -1;
      $$ = f;
    }
  | field_keyword '(' INTNUM ')' {
      NEW(f, IntervalFieldNode, NODE_INTERVAL_FIELD);
      f->field = $1; f->fraction_precision = -1;
      INT_OF(f->precision, $3);
      $$ = f;
    }
  | field_keyword '(' INTNUM ',' INTNUM ')' {
      if ($1 != FIELD_SECOND) { scan_report(state, "syntax error"); YYABORT; }
      NEW(f, IntervalFieldNode, NODE_INTERVAL_FIELD);
      f->field = FIELD_SECOND;
      INT_OF(f->precision, $3);
      INT_OF(f->fraction_precision, $5);
      $$ = f;
    }
  ;

interval_qualifier
  : interval_field { $$ = build_interval_qualifier(state, $1, nullptr); NEED($$); }
  | interval_field K_TO interval_field { $$ = build_interval_qualifier(state, $1, $3); NEED($$); }
  ;

/* ---- Data types ---- */

sign_opt
  : %empty { $$ = 0; }
  | K_SIGNED { $$ = 1; }
  | K_UNSIGNED { $$ = 2; }
  ;

data_type
  : K_CHAR { $$ = build_data_type(state, SQL_CHAR, -1, -1, "CHAR"); NEED($$); }
  | K_CHAR '(' INTNUM ')' { $$ = build_data_type(state, SQL_CHAR, -1, -1, "CHAR"); NEED($$); INT_OF($$->length, $3); }
  | K_CHARACTER { $$ = build_data_type(state, SQL_CHAR, -1, -1, "CHARACTER"); NEED($$); }
  | K_CHARACTER '(' INTNUM ')' { $$ = build_data_type(state, SQL_CHAR, -1, -1, "CHARACTER"); NEED($$); INT_OF($$->length, $3); }
  | K_CHARACTER K_VARYING '(' INTNUM ')' { $$ = build_data_type(state, SQL_VARCHAR, -1, -1, "CHARACTER VARYING"); NEED($$); INT_OF($$->length, $4); }
  | K_CHAR K_VARYING '(' INTNUM ')' { $$ = build_data_type(state, SQL_VARCHAR, -1, -1, "CHAR VARYING"); NEED($$); INT_OF($$->length, $4); }
  | K_VARCHAR '(' INTNUM ')' { $$ = build_data_type(state, SQL_VARCHAR, -1, -1, "VARCHAR"); NEED($$); INT_OF($$->length, $3); }
  | K_LONG K_VARCHAR { $$ = build_data_type(state, SQL_LONGVARCHAR, -1, -1, "LONG VARCHAR"); NEED($$); }
  | K_TEXT { $$ = build_data_type(state, SQL_LONGVARCHAR, -1, -1, "TEXT"); NEED($$); }
  | K_TEXT '(' INTNUM ')' { $$ = build_data_type(state, SQL_VARCHAR, -1, -1, "TEXT"); NEED($$); INT_OF($$->length, $3); }
  | K_MEMO { $$ = build_data_type(state, SQL_LONGVARCHAR, -1, -1, "MEMO"); NEED($$); }
  | K_LONGCHAR { $$ = build_data_type(state, SQL_LONGVARCHAR, -1, -1, "LONGCHAR"); NEED($$); }
  | decimal_kw { $$ = build_data_type(state, $1, -1, -1, $1 == SQL_NUMERIC ? "NUMERIC" : "DECIMAL"); NEED($$); }
  | decimal_kw '(' INTNUM ')' {
      $$ = build_data_type(state, $1, -1, -1, $1 == SQL_NUMERIC ? "NUMERIC" : "DECIMAL"); NEED($$);
      INT_OF($$->length, $3);
      NEW(p, PrecisionNode, NODE_PRECISION);
      p->first = $$->length; p->second = -1;
      $$->precision = p;
    }
  | decimal_kw '(' INTNUM ',' INTNUM ')' {
      $$ = build_data_type(state, $1, -1, -1, $1 == SQL_NUMERIC ? "NUMERIC" : "DECIMAL"); NEED($$);
      INT_OF($$->length, $3);
      INT_OF($$->scale, $5);
      NEW(p, PrecisionNode, NODE_PRECISION);
      p->first = $$->length; p->second = $$->scale;
      $$->precision = p;
    }
  | K_SMALLINT sign_opt { $$ = build_data_type(state, SQL_SMALLINT, -1, -1, "SMALLINT"); NEED($$); $$->sign = $2; }
  | K_MIDDLEINT sign_opt { $$ = build_data_type(state, SQL_INTEGER, -1, -1, "MIDDLEINT"); NEED($$); $$->sign = $2; }
  | K_INTEGER sign_opt { $$ = build_data_type(state, SQL_INTEGER, -1, -1, "INTEGER"); NEED($$); $$->sign = $2; }
  | K_AUTOINCREMENT sign_opt { $$ = build_data_type(state, SQL_INTEGER, -1, -1, "AUTOINCREMENT"); NEED($$); $$->sign = $2; $$->auto_number = 1; }
  | K_TINYINT sign_opt { $$ = build_data_type(state, SQL_TINYINT, -1, -1, "TINYINT"); NEED($$); $$->sign = $2; }
  | K_BYTE sign_opt { $$ = build_data_type(state, SQL_TINYINT, -1, -1, "BYTE"); NEED($$); $$->sign = $2; }
  | K_BIGINT sign_opt { $$ = build_data_type(state, SQL_BIGINT, -1, -1, "BIGINT"); NEED($$); $$->sign = $2; }
  | K_COUNTER { $$ = build_data_type(state, SQL_INTEGER, -1, -1, "COUNTER"); NEED($$); $$->auto_number = 1; }
  | K_REAL { $$ = build_data_type(state, SQL_REAL, -1, -1, "REAL"); NEED($$); }
  | K_FLOAT { $$ = build_data_type(state, SQL_FLOAT, -1, -1, "FLOAT"); NEED($$); }
  | K_FLOAT '(' INTNUM ')' { $$ = build_data_type(state, SQL_FLOAT, -1, -1, "FLOAT"); NEED($$); INT_OF($$->length, $3); }
  | K_DOUBLE { $$ = build_data_type(state, SQL_DOUBLE, -1, -1, "DOUBLE"); NEED($$); }
  | K_DOUBLE K_PRECISION { $$ = build_data_type(state, SQL_DOUBLE, -1, -1, "DOUBLE PRECISION"); NEED($$); }
  | K_BIT { $$ = build_data_type(state, SQL_BIT, -1, -1, "BIT"); NEED($$); }
  | K_BINARY '(' INTNUM ')' { $$ = build_data_type(state, SQL_BINARY, -1, -1, "BINARY"); NEED($$); INT_OF($$->length, $3); }
  | K_VARBINARY '(' INTNUM ')' { $$ = build_data_type(state, SQL_VARBINARY, -1, -1, "VARBINARY"); NEED($$); INT_OF($$->length, $3); }
  | K_LONG K_VARBINARY { $$ = build_data_type(state, SQL_LONGVARBINARY, -1, -1, "LONG VARBINARY"); NEED($$); }
  | K_TINYBLOB { $$ = build_data_type(state, SQL_LONGVARBINARY, -1, -1, "TINYBLOB"); NEED($$); }
  | K_MEDIUMBLOB { $$ = build_data_type(state, SQL_LONGVARBINARY, -1, -1, "MEDIUMBLOB"); NEED($$); }
  | K_LONGBLOB { $$ = build_data_type(state, SQL_LONGVARBINARY, -1, -1, "LONGBLOB"); NEED($$); }
  | K_IMAGE { $$ = build_data_type(state, SQL_LONGVARBINARY, -1, -1, "IMAGE"); NEED($$); }
  | K_DATE { $$ = build_data_type(state, SQL_TYPE_DATE, -1, -1, "DATE"); NEED($$); }
  | K_TIME { $$ = build_data_type(state, SQL_TYPE_TIME, -1, -1, "TIME"); NEED($$); }
  | K_TIME '(' INTNUM ')' { $$ = build_data_type(state, SQL_TYPE_TIME, -1, -1, "TIME"); NEED($$); INT_OF($$->length, $3); }
  | K_TIMESTAMP { $$ = build_data_type(state, SQL_TYPE_TIMESTAMP, -1, -1, "TIMESTAMP"); NEED($$); }
  | K_TIMESTAMP '(' INTNUM ')' { $$ = build_data_type(state, SQL_TYPE_TIMESTAMP, -1, -1, "TIMESTAMP"); NEED($$); INT_OF($$->length, $3); }
  | K_DATETIME { $$ = build_data_type(state, SQL_TYPE_TIMESTAMP, -1, -1, "DATETIME"); NEED($$); }
  | K_INTERVAL interval_qualifier {
      $$ = build_data_type(state, interval_qualifier_type($2), -1, -1, "INTERVAL"); NEED($$);
      $$->qualifier = $2;
      if ($2->kind == NODE_INTERVAL_FIELD) {
        auto* f = node_cast<IntervalFieldNode>($2);
        $$->length = f->precision;
        $$->scale = f->fraction_precision;
      } else {
        auto* r = node_cast<IntervalRangeNode>($2);
        $$->length = r->start->precision;
        $$->scale = r->end->fraction_precision;
      }
    }
  ;

decimal_kw
  : K_DECIMAL { $$ = SQL_DECIMAL; }
  | K_DEC { $$ = SQL_DECIMAL; }
  | K_NUMERIC { $$ = SQL_NUMERIC; }
  ;

%%

static int sql_yylex(SQL_YYSTYPE* value, ParseState* state) {
  ScanValue scanned;
  int token = scan_next_token(state, &scanned);
  switch (token) {
    case TK_IDENTIFIER:
    case TK_QUALIFIER:
      value->name = scanned.name;
      break;
    case TK_PARAM:
    case TK_ESC_RETCALL:
      value->number = scanned.number;
      break;
    default:
      value->text = scanned.text;
      break;
  }
  return token;
}

static void sql_yyerror(ParseState* state, const char* message) { scan_report(state, message); }

// True when the parser could have taken a name where it met the error.
static bool name_expected(const yypcontext_t* context) {
  yysymbol_kind_t expected[YYNTOKENS];
  int count = yypcontext_expected_tokens(context, expected, YYNTOKENS);
  for (int i = 0; i < count; ++i)
    if (expected[i] == YYSYMBOL_IDENTIFIER) return true;
  return false;
}

static int yyreport_syntax_error(const yypcontext_t* context, ParseState* state) {
  int met = state->previous_token;
  int before = state->before_previous_token;
  // A '*' right after a qualifier is a wildcard where no wildcard may stand.
  if (met == '*' && (before == '.' || before == '!')) {
    scan_report(state, "Wildcard not allowed here");
  } else if (scan_is_keyword(met) && !scan_is_clause_word(met) && name_expected(context)) {
    scan_report_keyword_as_name(state, state->token_start, state->token_length);
  } else if ((before == TK_K_DATE || before == TK_K_TIME || before == TK_K_TIMESTAMP) &&
             met != TK_STRING) {
    // DATE, TIME and TIMESTAMP begin literals: as a column they only fail at the next token.
    scan_report_keyword_as_name(state, state->before_start, state->before_length);
  } else {
    scan_report(state, "syntax error");
  }
  return 0;
}

int sql_run_grammar(ParseState* state) { return sql_yyparse(state); }
