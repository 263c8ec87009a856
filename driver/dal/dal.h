// The data-access layer of one connection: an ordered list of backends (the
// view store, the INFO_SCHEMA tables and the data source) behind one set of
// entries that describe tables, route catalog calls by link name, start scans
// and fetch rows. The call layer chooses the backends and installs them when
// it makes the context; this layer knows them only by their operation tables.
#pragma once

#include "driver/dal/sqi/sqi.h"
#include "support/connstr.h"
#include "support/diag.h"

constexpr int DAL_ENTRY_COUNT = 3;  // view store, INFO_SCHEMA, data source
constexpr const char* DAL_VIEWS_LINK = "$$$VIEWS$$$";
constexpr const char* DAL_INFO_SCHEMA_LINK = "$$$INFO_SCHEMA$$$";
constexpr const char* DAL_GATEWAY_ORIGIN = "ODBC Gateway";
constexpr const char* DAL_MULTIPLEXOR_ORIGIN = "Data Access Multiplexor";

// One backend of the list; fixed while the connection is open, so that the statements of the
// connection read it from any thread.
struct DalEntry {
  int passthrough_disabled;  // set by DISABLEPT
  char link[SQI_NAME_MAX];   // link name, compared without regard to case
  const SqiOperations* ops;  // the backend's operation table
  SqiEnv handle;             // the backend's connection handle
  bool present;              // the entry exists (made by DALOpen)
};

struct LongBuffer;

// The per-connection data-access context. What it knows of the connection it serves is what
// the call layer installed when it made it: the connection's identity (opaque here), its ODBC
// version and its time-outs.
struct Dal {
  ErrorHeader* errors;                             // the connection's diagnostics
  void* connection;                                // the call-layer connection it serves (opaque:
                                                   // handed back to the call layer only); or null
  int odbc_version;                                // 2 or 3, told to every backend by DALOpen
  int count;                                       // number of entries (3 once open)
  DalEntry entries[DAL_ENTRY_COUNT];               // the backends in list order
  const SqiOperations* backends[DAL_ENTRY_COUNT];  // operation tables DALOpen opens, in order
  bool open;                                       // DALOpen succeeded and no disconnect since
  bool transaction_open;                           // a transaction was begun and not ended
  int login_timeout;                               // seconds for connecting (0: none)
  int connection_timeout;                          // seconds per backend exchange (0: none)
};

// Catalog kinds an iterator may carry.
enum DalCatalogKind : int {
  DAL_CATALOG_NONE = 0,
  DAL_CATALOG_TABLES = 1,
  DAL_CATALOG_COLUMNS = 2,
  DAL_CATALOG_STATISTICS = 3,
  DAL_CATALOG_SPECIAL_COLUMNS = 4,
  DAL_CATALOG_PRIMARY_KEYS = 5,
  DAL_CATALOG_PRIVILEGES = 6,
  DAL_CATALOG_FOREIGN_KEYS = 7,
};

// One scan or catalog call, used by one thread at a time.
struct DalIterator {
  Dal* dal;                           // the data-access context
  ErrorHeader* errors;                // where backends post the iterator's diagnostics
  SqiStmt stmts[DAL_ENTRY_COUNT];     // backend statements, allocated lazily
  bool unallocated[DAL_ENTRY_COUNT];  // statement not yet allocated for an existing entry
  int status[DAL_ENTRY_COUNT];        // per entry: 0 while its statement holds a pending
                                      // result, 3 when it has none
  int position;                       // current list index
  bool single_backend;                // scans, pass-through and fetch by key
  bool type_info;                     // a type-info result
  int catalog_kind;                   // DalCatalogKind
  bool end_of_data;                   // single-backend scan reached its end
  int timeout;                        // seconds, 0 none
  SqiWait wait;                       // deadline and cancel flag handed to every statement
};

// Creates the context of `connection` (opaque, may be null) whose environment has ODBC version
// `odbc_version` (2 or 3), with `backends` in list order; null on memory failure.
Dal* dal_new(void* connection, int odbc_version, ErrorHeader* errors,
             const SqiOperations* const (&backends)[DAL_ENTRY_COUNT]);
// Releases the context (closing the backends when still open).
void dal_destroy(Dal* dal);

// Opens every backend with the connection attributes; SqiResult.
int DALOpen(Dal* dal, ConnAttrSet* attributes, void* window);
// Frees every backend environment and the entries.
void DALClose(Dal* dal);
// Disconnects and frees every backend.
void DALDisconnect(Dal* dal);

DalIterator* DALOpenIterator(ErrorHeader* errors, Dal* dal);
void DALSetTimeout(DalIterator* it, int seconds);
// Hands the statement's deadline and cancel flag to the iterator's backend statements, now
// and as they are allocated.
void DALSetWait(DalIterator* it, const SqiWait& wait);
// Records the connection's login and connection time-outs (seconds, 0 none) and gives them to
// every backend, now and whenever DALOpen makes them.
void DALSetConnectionTimeouts(Dal* dal, int login_seconds, int connection_seconds);
void DALResetIterator(DalIterator* it);
void DALCloseIterator(DalIterator* it);

int DALDescribeTable(ErrorHeader* errors, Dal* dal, const char* link, const char* table,
                     DalTable* out);
int DALDescribeColumns(ErrorHeader* errors, Dal* dal, const DalTable* table, int count,
                       DalColumn* out);
int DALGetInfo(DalIterator* it, const DalTable* table, int code, void* out);
int DALGetPKInfo(Dal* dal, const DalTable* table, DalKeyColumn* out, int capacity, int* count);

int DALTables(DalIterator* it, SqiText catalog, SqiText schema, SqiText table, SqiText types);
int DALColumns(DalIterator* it, SqiText catalog, SqiText schema, SqiText table, SqiText column);
int DALColumnPrivileges(DalIterator* it, SqiText catalog, SqiText schema, SqiText table,
                        SqiText column);
int DALPrimaryKeys(DalIterator* it, SqiText catalog, SqiText schema, SqiText table);
int DALSpecialColumns(DalIterator* it, int identifier_type, SqiText catalog, SqiText schema,
                      SqiText table, int scope, int nullable);
int DALStatistics(DalIterator* it, SqiText catalog, SqiText schema, SqiText table, int unique,
                  int reserved);
int DALTablePrivileges(DalIterator* it, SqiText catalog, SqiText schema, SqiText table);
int DALForeignKeys(DalIterator* it, SqiText pk_catalog, SqiText pk_schema, SqiText pk_table,
                   SqiText fk_catalog, SqiText fk_schema, SqiText fk_table);
int DALProcedures(DalIterator* it, SqiText catalog, SqiText schema, SqiText procedure);
int DALProcedureColumns(DalIterator* it, SqiText catalog, SqiText schema, SqiText procedure,
                        SqiText column);
int DALGetTypeInfo(DalIterator* it, int sql_type);
int DALStartScan(DalIterator* it, const DalTable* table, const int* column_usage,
                 const int* key_map, int restriction_count, Restriction* const* restrictions);
// Has the table's backend get ready the scans of `set_count` restriction sets at once (the
// prepare_scans operation); SQI_NO_DATA when the backend has no such operation.
int DALPrepareScans(DalIterator* it, const DalTable* table, int set_count, const int* counts,
                    Restriction* const* const* sets);
int DALFetch(DalIterator* it);
int DALGetData(DalIterator* it, int column, int c_type, void* buffer, SQLLEN length,
               SQLLEN* indicator);
int DALExecSQL(DalIterator* it, const char* sql, void* statement, int index, void* reserved);
// Copies the LONG column `column` of the iterator's current row into `buffer` (emptied first),
// reading it in pieces of 1,024 bytes until the value ends; a NULL value marks the buffer
// NULL. 0, or -1 when the backend failed (its diagnostic posted) or memory ran out.
int DALReadLong(LongBuffer* buffer, DalIterator* it, int column);
// Attaches `buffer` to the LONG column `column` of the iterator's current row so that the
// value is read (as DALReadLong does) on the buffer's first use; the iterator must still be on
// that row then. 0, or -1 for a missing buffer or iterator.
int DALDeferLong(LongBuffer* buffer, DalIterator* it, int column);

// Data definition: the request names its link ("" for none).
int DALCreateTable(DalIterator* it, const char* link, void* request);
int DALDropTable(DalIterator* it, const char* link, void* request);
int DALCreateIndex(DalIterator* it, const char* link, void* request);
int DALDropIndex(DalIterator* it, const char* link, void* request);
int DALCreateUser(DalIterator* it, const char* link, void* request);
int DALDropUser(DalIterator* it, const char* link, void* request);
int DALExecDDL(DalIterator* it, void* request);
int DALGrant(DalIterator* it, const DalTable* table, void* request);
int DALRevoke(DalIterator* it, const DalTable* table, void* request);
int DALDropColumn(DalIterator* it, const DalTable* table, void* request);
int DALAddColumn(DalIterator* it, const DalTable* table, void* request);
int DALFetchByKey(DalIterator* it, const DalTable* table, void* arguments);
int DALInsertRow(DalIterator* it, const DalTable* table, void* arguments);
int DALDeleteRow(DalIterator* it, const DalTable* table, void* arguments);
int DALUpdateRow(DalIterator* it, const DalTable* table, void* arguments, int mode);

// Transactions across every backend.
int DALBeginTransaction(Dal* dal);
int DALEndTransaction(Dal* dal, int completion);
