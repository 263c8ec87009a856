// Handle records of the call layer: environment, connection, statement and
// descriptor. Each begins with a 32-bit type tag, owns a memory pool, an error
// header and a call gate (driver/odbc/handles/handle_gate.h), and is allocated
// from its parent's pool. Environments and connections are shared by threads:
// their pools are shared pools and their lists change under their gate's
// `members` lock.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>

#include "driver/odbc/handles/conn_attrs.h"
#include "support/config.h"
#include "support/connstr.h"
#include "support/diag.h"
#include "support/memory.h"
#include "support/threads.h"

enum HandleTag : int32_t {
  TAG_ENV = 200,
  TAG_DBC = 201,
  TAG_STMT = 202,
  TAG_DESC = 203,
};

// Descriptor kinds, numbered as the statement attributes that name them.
enum DescKind : int32_t {
  DESC_ARD = SQL_ATTR_APP_ROW_DESC,    // 10010
  DESC_APD = SQL_ATTR_APP_PARAM_DESC,  // 10011
  DESC_IRD = SQL_ATTR_IMP_ROW_DESC,    // 10012
  DESC_IPD = SQL_ATTR_IMP_PARAM_DESC,  // 10013
};

// Environment states.
enum EnvState : int { ENV_FREED = 0, ENV_ALLOCATED = 1, ENV_WITH_CONNECTIONS = 2 };

// Connection states.
enum DbcState : int {
  DBC_DISCONNECTED = 1,
  DBC_ALLOCATED = 2,
  DBC_BROWSING = 3,
  DBC_CONNECTED = 4,
  DBC_WITH_STATEMENTS = 5,
  DBC_IN_TRANSACTION = 6,
};

// Statement states S1..S12 (driver/odbc/handles/states.h moves statements between them).
enum StmtState : int {
  S0_UNALLOCATED = 0,  // no statement: a connection's template statement, or one being freed
  S1_ALLOCATED = 1,
  S2_PREPARED = 2,
  S3_PREPARED_RESULTS = 3,
  S4_EXECUTED = 4,
  S5_CURSOR_OPEN = 5,
  S6_FETCHED = 6,
  S7_EXTENDED_FETCHED = 7,
  S8_NEED_DATA = 8,
  S9_MUST_PUT = 9,
  S10_CAN_PUT = 10,
  S11_EXECUTING = 11,
  S12_CANCELLED = 12,
};

struct HandleGate;
struct QuillEnv;
struct QuillDbc;
struct Dal;
struct QuillStmt;
struct QuillDesc;
struct DescRecord;
struct ParseContext;
struct StatementPlanList;
struct ExecStatement;
struct CursorLayer;
struct CatalogResult;
struct ReplicationList;

struct QuillEnv {
  int32_t tag;              // TAG_ENV
  MemPool* pool;            // everything living as long as the environment (shared pool)
  HandleGate* gate;         // serialises calls on the environment; `members` guards the list
  ConfigHandle* config;     // driver-wide settings, read through the connection that asks
  ErrorHeader* errors;      // diagnostics of the last call on this handle
  SQLINTEGER odbc_version;  // -1 until set; 2 after SQLAllocEnv, 3 after SQLAllocHandleStd
  SQLINTEGER output_nts;    // SQL_ATTR_OUTPUT_NTS (always true here)
  EnvState state;           // changes under gate->members
  int connection_count;     // connections allocated on this environment (gate->members)
  QuillDbc* connections;    // allocated connections, newest first (gate->members)
};

// Statement attributes; the connection's template statement holds the defaults that
// new statements copy.
struct StmtAttributes {
  SQLULEN query_timeout;          // SQL_ATTR_QUERY_TIMEOUT
  SQLULEN max_rows;               // SQL_ATTR_MAX_ROWS
  SQLULEN noscan;                 // SQL_ATTR_NOSCAN
  SQLULEN max_length;             // SQL_ATTR_MAX_LENGTH
  SQLULEN async_enable;           // SQL_ATTR_ASYNC_ENABLE
  SQLULEN row_bind_type;          // SQL_ATTR_ROW_BIND_TYPE
  SQLULEN cursor_type;            // SQL_ATTR_CURSOR_TYPE
  SQLULEN concurrency;            // SQL_ATTR_CONCURRENCY
  SQLULEN keyset_size;            // SQL_ATTR_KEYSET_SIZE
  SQLULEN rowset_size;            // SQL_ROWSET_SIZE
  SQLULEN simulate_cursor;        // SQL_ATTR_SIMULATE_CURSOR
  SQLULEN retrieve_data;          // SQL_ATTR_RETRIEVE_DATA
  SQLULEN use_bookmarks;          // SQL_ATTR_USE_BOOKMARKS
  SQLULEN enable_auto_ipd;        // SQL_ATTR_ENABLE_AUTO_IPD
  SQLPOINTER fetch_bookmark_ptr;  // SQL_ATTR_FETCH_BOOKMARK_PTR
  SQLULEN paramset_size;          // SQL_ATTR_PARAMSET_SIZE
  SQLULEN row_array_size;         // SQL_ATTR_ROW_ARRAY_SIZE
  SQLULEN metadata_id;            // SQL_ATTR_METADATA_ID
  SQLLEN cursor_sensitivity;      // SQL_ATTR_CURSOR_SENSITIVITY
  SQLLEN cursor_scrollable;       // SQL_ATTR_CURSOR_SCROLLABLE
  // Attributes kept in the descriptors of a statement; only the template statement, which has
  // no descriptors, holds them here until stmt_attributes_seed_descriptors copies them.
  SQLULEN param_bind_type;            // SQL_ATTR_PARAM_BIND_TYPE
  SQLLEN* param_bind_offset_ptr;      // SQL_ATTR_PARAM_BIND_OFFSET_PTR
  SQLUSMALLINT* param_operation_ptr;  // SQL_ATTR_PARAM_OPERATION_PTR
  SQLUSMALLINT* param_status_ptr;     // SQL_ATTR_PARAM_STATUS_PTR
  SQLULEN* params_processed_ptr;      // SQL_ATTR_PARAMS_PROCESSED_PTR
  SQLLEN* row_bind_offset_ptr;        // SQL_ATTR_ROW_BIND_OFFSET_PTR
  SQLUSMALLINT* row_operation_ptr;    // SQL_ATTR_ROW_OPERATION_PTR
  SQLUSMALLINT* row_status_ptr;       // SQL_ATTR_ROW_STATUS_PTR
  SQLULEN* rows_fetched_ptr;          // SQL_ATTR_ROWS_FETCHED_PTR
};

// Default statement attributes of a new connection.
void stmt_attributes_init(StmtAttributes* attrs);

// Calls on an implicit descriptor hold its statement's gate, calls on an explicit one its
// connection's.
struct QuillDesc {
  int32_t tag;             // TAG_DESC
  MemPool* pool;           // the descriptor's own pool
  QuillDbc* dbc;           // owning connection
  QuillStmt* stmt;         // statement it is bound to; null for an explicit descriptor
  ErrorHeader* errors;     // diagnostics of the last call on this handle
  int32_t kind;            // DescKind
  bool implicit;           // allocated by a statement
  SQLSMALLINT alloc_type;  // SQL_DESC_ALLOC_AUTO or SQL_DESC_ALLOC_USER
  MemPool* records_pool;   // holds the records; replaced whole when the descriptor is reset
  SQLSMALLINT count;       // SQL_DESC_COUNT: highest record in use (record 0 is the bookmark)
  SQLULEN array_size;      // SQL_DESC_ARRAY_SIZE (1 by default)
  SQLUSMALLINT* array_status_ptr;  // SQL_DESC_ARRAY_STATUS_PTR
  SQLLEN* bind_offset_ptr;         // SQL_DESC_BIND_OFFSET_PTR
  SQLULEN bind_type;               // SQL_DESC_BIND_TYPE (SQL_BIND_BY_COLUMN = 0)
  SQLULEN* rows_processed_ptr;     // SQL_DESC_ROWS_PROCESSED_PTR
  DescRecord* records;             // record array, laid out by the descriptor layer
};

struct QuillStmt {
  int32_t tag;              // TAG_STMT
  MemPool* pool;            // the statement's own pool
  HandleGate* gate;         // serialises calls on the statement (null for the template)
  QuillDbc* dbc;            // parent connection
  ErrorHeader* errors;      // diagnostics of the last call on this handle
  QuillDesc* implicit_ard;  // descriptors made with the statement
  QuillDesc* implicit_apd;
  QuillDesc* implicit_ird;
  QuillDesc* implicit_ipd;
  QuillDesc* ard;  // descriptors in use (the application ones may be explicit)
  QuillDesc* apd;
  QuillDesc* ird;
  QuillDesc* ipd;
  StmtState state;  // S1..S12; S0_UNALLOCATED for the template statement
  bool prepared;    // SQLPrepare succeeded on the current text
  // Asynchronous execution.
  QuillThread* worker;                       // worker thread, when async execution is on
  QuillSemaphore* work_posted;               // signalled when work is posted to the worker
  QuillSemaphore* work_done;                 // signalled when the worker finished
  int async_command;                         // command posted to the worker
  SQLRETURN (*async_work)(QuillStmt* stmt);  // the work it runs
  int async_function;                        // function running asynchronously
  StmtState async_saved_state;               // state when it started
  SQLRETURN async_result;                    // its outcome
  SQLSMALLINT async_scroll_orientation;      // SQLFetchScroll arguments of the posted call
  SQLLEN async_scroll_offset;
  char* cursor_name;             // null until named
  bool cursor_name_registered;   // registered with insert_cursor_name
  MemPool* tree_pool;            // holds the parse tree; null when none
  QuillStmt* next;               // next statement of the connection
  StmtAttributes attrs;          // statement attributes
  StatementPlanList* plan_list;  // plans (driver/sql/plan.h) of the last validation
  // Execution of the prepared text (driver/odbc/statement/stmt_exec.h).
  ParseContext* parse;              // parse of the current text (child of tree_pool)
  int parameter_count;              // `?` markers of the current text
  ListNode* current_entry;          // list node of the StatementEntry being executed, or null
  ExecStatement* exec;              // engine statement running the current entry, or null
  CursorLayer* cursor;              // cursor layer of the open cursor, or null
  bool cursor_open;                 // a result set is open (S5..S7)
  int result_columns;               // result columns of the current statement
  SQLLEN row_count;                 // rows affected by the last statement
  int need_data_function;           // function that entered S8..S10 (11, 12, 24 or 68)
  StmtState need_data_saved_state;  // state before it
  int data_parameter;               // 1-based parameter taking SQLPutData pieces; 0 when none
  int cancel_requested;             // raised by SQLCancel while a call runs on another thread or
                                    // on the worker; cleared as a call enters (atomic)
  MemPool* params_pool;             // values of the parameters of one execution; null when none
  ListNode* params_long_values;     // long QuillValue*s of that execution (their buffers may hold
                                    // a work file, closed on release); in params_pool
  bool fetched_by_extended;         // the cursor was positioned by SQLExtendedFetch
  unsigned char* getdata_started;   // per column (0..result_columns): SQLGetData began on it
                                    // for the current row (its pieces continue)
  CatalogResult* catalog;           // the open catalog result set, or null
};

struct QuillDbc {
  int32_t tag;               // TAG_DBC
  MemPool* pool;             // the connection's own pool (shared pool)
  HandleGate* gate;          // serialises calls on the connection; counts its children's
                             // calls; `members` guards the statement list and count
  QuillEnv* env;             // parent environment
  ErrorHeader* errors;       // diagnostics of the last call on this handle
  QuillStmt* template_stmt;  // default statement attributes for new statements
  QuillStmt* statements;     // newest first, linked through QuillStmt::next (members)
  DbcState state;            // where the connection is in its life
  int statement_count;       // statements allocated on this connection (members)
  ConnAttrSet attributes;    // parsed connection-string and DSN attributes
  SQLUINTEGER autocommit;    // SQL_ATTR_AUTOCOMMIT
  ConnAttributes attrs;      // the other connection attributes
  char* replication_path;    // replication file, null when none is named
  ReplicationList* replication_entries;  // entries read from it, null until loaded
  QuillDbc* next;                        // next connection of the environment
  Dal* dal;                              // the data-access layer, made with the connection
  bool relational_opt;                   // engine option `relational_opt`
  bool in_expansion;                     // engine option `in_expansion`
  bool catalog_schema_check;             // engine option `catalog_schema_check`
  char* schema_fileset;                  // directory of the open schema fileset; null when closed
};

// Handle validation: non-null and carrying the expected tag.
inline bool valid_env(SQLHANDLE h) {
  return h && static_cast<QuillEnv*>(h)->tag == TAG_ENV;
}
inline bool valid_dbc(SQLHANDLE h) {
  return h && static_cast<QuillDbc*>(h)->tag == TAG_DBC;
}
inline bool valid_stmt(SQLHANDLE h) {
  return h && static_cast<QuillStmt*>(h)->tag == TAG_STMT;
}
inline bool valid_desc(SQLHANDLE h) {
  return h && static_cast<QuillDesc*>(h)->tag == TAG_DESC;
}

// The error header of a handle of the given ODBC handle type, or null when the type is
// unknown or the handle fails its tag check.
ErrorHeader* error_header_of(SQLSMALLINT handle_type, SQLHANDLE handle);

// Allocation and release, shared by SQLAllocHandle and the ODBC 2 entry points.
SQLRETURN alloc_env(SQLHANDLE* out);
SQLRETURN alloc_dbc(QuillEnv* env, SQLHANDLE* out);
SQLRETURN alloc_stmt(QuillDbc* dbc, SQLHANDLE* out);
SQLRETURN alloc_desc(QuillDbc* dbc, SQLHANDLE* out);
SQLRETURN free_env(QuillEnv* env);
SQLRETURN free_dbc(QuillDbc* dbc);
SQLRETURN free_stmt(QuillStmt* stmt);
SQLRETURN free_desc(QuillDesc* desc);

// Environment attributes.
SQLRETURN set_env_attr(QuillEnv* env, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
SQLRETURN get_env_attr(QuillEnv* env, SQLINTEGER attribute, SQLPOINTER value,
                       SQLINTEGER buffer_length, SQLINTEGER* string_length);

// Descriptors: make one for a statement or connection; drop every record.
QuillDesc* make_desc(QuillDbc* dbc, QuillStmt* stmt, int32_t kind, bool implicit);
bool reset_desc(QuillDesc* desc);
void release_desc(QuillDesc* desc);

// The statement's cursor is closed and its results discarded.
void close_cursor(QuillStmt* stmt);

// Looks a driver setting up for `dbc` as get_default does, with the connection's own
// attributes asked first and its data source's odbc.ini entries next; the environment's
// configuration handle is shared, so every connection reads through itself.
int connection_default(const QuillDbc* dbc, const char* key, char* buffer, int size);

// Ends the connection's transaction (SQL_COMMIT or SQL_ROLLBACK) through the data-access
// layer and applies the connection-state transition; diagnostics go to the connection.
SQLRETURN end_transaction(QuillDbc* dbc, SQLSMALLINT completion);
