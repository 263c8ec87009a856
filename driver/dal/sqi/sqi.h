// The backend query interface: what a data source implements so that the
// data-access layer can describe its tables, run catalog calls and scans,
// and fetch rows. A backend is a table of operations in fixed slot order;
// an empty slot means the backend lacks that operation.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <chrono>
#include <cstdint>

#include "support/connstr.h"

// Results of every operation.
enum SqiResult : int {
  SQI_OK = 0,         // success
  SQI_INFO = 1,       // success with information
  SQI_NO_DATA = 2,    // no (more) data
  SQI_ERROR = 3,      // error; the backend has posted its diagnostic
  SQI_NOT_FOUND = 4,  // no such object
};

constexpr int SQI_NAME_MAX = 128;  // longest catalog, schema, table, column or link name

// The schema of the virtual catalog INFO_SCHEMA, and the prefix the engine puts before a table
// name qualified with it ("INFO_SCHEMA.TABLES") so that only the INFO_SCHEMA backend answers.
constexpr const char* INFO_SCHEMA_NAME = "INFO_SCHEMA";
constexpr const char* INFO_SCHEMA_PREFIX = "INFO_SCHEMA.";

// What DALDescribeTable fills for one table reference.
struct DalTable {
  char catalog[SQI_NAME_MAX + 1];  // catalog name
  char schema[SQI_NAME_MAX + 1];   // schema name
  char name[SQI_NAME_MAX + 1];     // table name as the backend spells it
  int column_count;                // number of columns
  int pk_count;                    // number of primary-key columns
  int backend_index;               // list index of the backend that owns the table
  int passthrough;                 // 1 when the backend can run SQL text itself
  char link[SQI_NAME_MAX + 1];     // link name of the backend ("" when none)
  const void* backend_table;       // the backend's own record of the table
};

// What DALDescribeColumns fills for one column.
struct DalColumn {
  char catalog[SQI_NAME_MAX + 1];    // catalog name
  char schema[SQI_NAME_MAX + 1];     // schema name
  char table[SQI_NAME_MAX + 1];      // table name
  char name[SQI_NAME_MAX + 1];       // column name
  int number;                        // 1-based column number
  int sql_type;                      // SQL type code as reported to the application
  char type_name[SQI_NAME_MAX + 1];  // the data source's type name
  SQLLEN length;                     // column size (characters for text, bytes otherwise)
  int precision;                     // numeric precision, or fraction digits of times
  int scale;                         // numeric scale
  int nullable;                      // SQL_NULLABLE, SQL_NO_NULLS
  int searchable;                    // SQL_PRED_CHAR (1), SQL_SEARCHABLE (3)...
  char literal_prefix[8];            // quote that opens a literal of the type ("" when none)
  char literal_suffix[8];            // quote that closes it
  char create_params[32];            // "length" for sized types
  int backend_index;                 // list index of the backend that owns the column
  int cleared;                       // set by the engine when the column is not used
  int backend_flags;                 // the backend's own column flags
  int required;                      // 1 when a scan needs an `=` restriction on the column (a
                                     // parameter the data source cannot do without)
  const void* backend_column;        // the backend's own record of the column
};

// A key column as DALGetPKInfo returns it.
struct DalKeyColumn {
  char name[SQI_NAME_MAX + 1];  // column name
  int number;                   // 1-based column number
};

// A restriction the engine pushes into a scan: column, operator code and value(s)
// (driver/dal/sqi/restriction.h).
struct Restriction;

// Service requests a backend makes through its service callback.
enum SqiServiceCode : int {
  SQI_SERVICE_POST_ERROR = 1,  // parameters: SqiPostError
};

// Parameters of SQI_SERVICE_POST_ERROR.
struct SqiPostError {
  void* target;          // the diagnostic target a backend was given
  const char* origin;    // class origin text
  int native_error;      // native error number
  const char* sqlstate;  // five-character SQLSTATE
  const char* message;   // message text (UTF-8)
};

// Options of the set_option operation.
enum SqiOption : int {
  SQI_OPTION_ODBC_VERSION = 0,        // 2 or 3
  SQI_OPTION_LOGIN_TIMEOUT = 1,       // SQL_ATTR_LOGIN_TIMEOUT seconds for connecting (0: none)
  SQI_OPTION_CONNECTION_TIMEOUT = 2,  // SQL_ATTR_CONNECTION_TIMEOUT seconds per exchange (0: none)
};

// How long a backend statement may wait and whether it should stop. The call layer raises
// the flag from any thread (SQLCancel); a backend waiting on the network or on a retry polls
// both and ends the wait with HYT00 "Timeout expired" or HY008 "Operation canceled".
struct SqiWait {
  int64_t deadline_ns;     // steady-clock instant (nanoseconds since its epoch); 0 none
  const int* cancel_flag;  // read atomically; non-zero asks the statement to stop; or null
};

// Steady-clock nanoseconds now, on the clock SqiWait::deadline_ns uses.
inline int64_t sqi_steady_now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The callback through which a backend posts its diagnostics (the data-access layer answers
// it); returns 0 on success.
using SqiService = int (*)(int code, void* parameters);

using SqiEnv = void*;   // a backend's connection handle
using SqiStmt = void*;  // a backend's statement handle

// Catalog-function text argument: text and length (SQL_NTS for NUL-terminated), null when absent.
struct SqiText {
  const char* text;  // the argument, null when not given
  int length;        // its length, or SQL_NTS
};

// The operation table, in slot order. Every operation returns an SqiResult unless noted.
struct SqiOperations {
  // 0: makes the backend's connection handle; `target` receives its diagnostics.
  int (*alloc_env)(void* target, SqiEnv* out, SqiService service, const char* dsn);
  int (*free_env)(SqiEnv env);  // 1
  int (*connect)(SqiEnv env, ConnAttrSet* attributes, void* window, char* out_string,
                 int out_size);                                                           // 2
  int (*disconnect)(SqiEnv env);                                                          // 3
  int (*get_info)(SqiEnv env, int code, void* out);                                       // 4
  int (*set_option)(SqiEnv env, int option, intptr_t value);                              // 5
  int (*describe_table)(SqiEnv env, const char* table, DalTable* out);                    // 6
  int (*describe_columns)(SqiEnv env, const DalTable* table, int count, DalColumn* out);  // 7
  // 8: a statement for one iterator, posting on `target`; null on failure.
  SqiStmt (*alloc_stmt)(void* target, SqiEnv env, void* entry, void* argument);
  int (*free_stmt)(SqiStmt stmt);   // 9
  int (*close_stmt)(SqiStmt stmt);  // 10
  int (*fetch)(SqiStmt stmt);       // 11
  int (*tables)(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table,
                SqiText types);  // 12
  int (*columns)(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table,
                 SqiText column);  // 13
  int (*column_privileges)(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table,
                           SqiText column);                                           // 14
  int (*primary_keys)(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table);  // 15
  int (*special_columns)(SqiStmt stmt, int identifier_type, SqiText catalog, SqiText schema,
                         SqiText table, int scope, int nullable);  // 16
  int (*statistics)(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table, int unique,
                    int reserved);  // 17
  int (*foreign_keys)(SqiStmt stmt, SqiText pk_catalog, SqiText pk_schema, SqiText pk_table,
                      SqiText fk_catalog, SqiText fk_schema, SqiText fk_table);           // 18
  int (*table_privileges)(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText table);  // 19
  // 20: column (1-based) of the current row in C type `c_type`; text is cut to `length`
  // with the full length in *indicator (SQL_NULL_DATA for NULL).
  int (*get_data)(SqiStmt stmt, int column, int c_type, void* buffer, SQLLEN length,
                  SQLLEN* indicator);
  int (*start_scan)(SqiStmt stmt, const DalTable* table, const int* column_usage,
                    const int* key_map, int restriction_count,
                    Restriction* const* restrictions);  // 21
  int (*get_type_info)(SqiStmt stmt, int sql_type);     // 22
  int (*create_table)(SqiStmt stmt, void* request);     // 23
  int (*create_index)(SqiStmt stmt, void* request);     // 24
  int (*drop_table)(SqiStmt stmt, void* request);       // 25
  int (*drop_index)(SqiStmt stmt, void* request);       // 26
  int (*get_pk_info)(SqiEnv env, const DalTable* table, DalKeyColumn* out, int capacity,
                     int* count);                                                       // 27
  int (*fetch_by_key)(SqiStmt stmt, const DalTable* table, void* arguments);            // 28
  int (*insert_row)(SqiStmt stmt, const DalTable* table, void* arguments);              // 29
  int (*delete_row)(SqiStmt stmt, const DalTable* table, void* arguments);              // 30
  int (*update_row)(SqiStmt stmt, const DalTable* table, void* arguments, int mode);    // 31
  int (*begin_transaction)(void* target, SqiEnv env);                                   // 32
  int (*end_transaction)(void* target, SqiEnv env, int completion);                     // 33
  int (*grant)(SqiStmt stmt, const DalTable* table, void* request);                     // 34
  int (*revoke)(SqiStmt stmt, const DalTable* table, void* request);                    // 35
  int (*drop_column)(SqiStmt stmt, const DalTable* table, void* request);               // 36
  int (*add_column)(SqiStmt stmt, const DalTable* table, void* request);                // 37
  int (*exec_ddl)(SqiStmt stmt, void* request);                                         // 38
  int (*procedures)(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText procedure);  // 39
  int (*procedure_columns)(SqiStmt stmt, SqiText catalog, SqiText schema, SqiText procedure,
                           SqiText column);  // 40
  void* reserved_41;                         // never called
  void* reserved_42;
  void* reserved_43;
  // 44: runs `sql` whole; `statement` is the engine statement it runs for (opaque).
  int (*exec_sql)(SqiStmt stmt, const char* sql, void* statement, int index, void* reserved);
  void* reserved_45;                                // never called
  int (*create_user)(SqiStmt stmt, void* request);  // 46
  int (*drop_user)(SqiStmt stmt, void* request);    // 47
  int (*set_timeout)(SqiStmt stmt, int seconds);    // 48
  // 49: the deadline and cancel flag for the statement's next operations (copied).
  int (*set_wait)(SqiStmt stmt, const SqiWait* wait);
  // 50: gets ready the scans of `table` under each of `set_count` restriction sets (set i has
  // `counts[i]` restrictions at `sets[i]`; counts as start_scan takes them), all at once, so that
  // a following start_scan on this statement with the same restrictions answers from what was
  // fetched. Replaces what an earlier call got ready; a count of 0 only forgets it. Never posts:
  // what could not be got ready is fetched (and its error reported) by start_scan. SQI_OK.
  int (*prepare_scans)(SqiStmt stmt, const DalTable* table, int set_count, const int* counts,
                       Restriction* const* const* sets);
};

static_assert(sizeof(SqiOperations) == 51 * sizeof(void*), "51 operation slots");

// get_info code: how many scans one prepare_scans call is worth making at once (int; 0 when the
// backend prefers scans one at a time).
constexpr int SQI_INFO_PREPARED_SCANS = 8;

// Copies an SqiText into `out` (capacity `size`, NUL-terminated); returns false when absent.
bool sqi_text_copy(SqiText text, char* out, int size);
