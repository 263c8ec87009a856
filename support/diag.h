// Diagnostic records: every handle owns one error header holding the return
// code of its last call, the header fields of SQLGetDiagField and a list of
// records (SQLSTATE, native error, message, class and subclass origin).
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdarg>

#include "support/list.h"
#include "support/memory.h"

// Posting levels, as the callers name them.
enum DiagLevel { DIAG_LEVEL_ENGINE = 1, DIAG_LEVEL_CALL = 2, DIAG_LEVEL_PROMPT = 3 };

struct DiagRecord {
  char sqlstate[6];          // five characters and a NUL
  SQLINTEGER native_error;   // SQL_DIAG_NATIVE
  int level;                 // who posted it (DiagLevel)
  char* message;             // SQL_DIAG_MESSAGE_TEXT, UTF-8
  char* class_origin;        // SQL_DIAG_CLASS_ORIGIN as posted
  char* subclass_origin;     // SQL_DIAG_SUBCLASS_ORIGIN, derived from the SQLSTATE
  SQLLEN row_number;         // SQL_DIAG_ROW_NUMBER (SQL_ROW_NUMBER_UNKNOWN by default)
  SQLINTEGER column_number;  // SQL_DIAG_COLUMN_NUMBER (SQL_COLUMN_NUMBER_UNKNOWN by default)
};

struct ErrorHeader {
  MemPool* pool;                     // own pool holding the records, emptied by SetupErrorHeader
  void* owner;                       // the handle that owns the header
  SQLRETURN return_code;             // SQL_DIAG_RETURNCODE of the last call
  SQLLEN row_count;                  // SQL_DIAG_ROW_COUNT
  SQLLEN cursor_row_count;           // SQL_DIAG_CURSOR_ROW_COUNT
  char* dynamic_function;            // SQL_DIAG_DYNAMIC_FUNCTION ("" when none)
  SQLINTEGER dynamic_function_code;  // SQL_DIAG_DYNAMIC_FUNCTION_CODE
  char* connection_name;             // SQL_DIAG_CONNECTION_NAME of every record ("" when none)
  char* server_name;                 // SQL_DIAG_SERVER_NAME of every record ("" when none)
  ListNode* records;                 // DiagRecord*, in posting order
  int error_count;                   // number of records (SetErrorCount may lower it)
  int sqlerror_returned;             // records already handed out by SQLError; reset by
                                     // SetupErrorHeader and when SQLError reports no data
  MemPool* home_pool;                // holds the header and its header-field strings; parent of
                                     // `pool`; a child of the pool given to CreateErrorHeader
};

// Makes a header whose storage hangs off `pool`; null on memory failure.
ErrorHeader* CreateErrorHeader(MemPool* pool, void* owner);
// Frees the header and all its records.
void FreeErrorHeader(ErrorHeader* header);
// Empties the header at the start of a call: no records, return code 0, header fields kept
// unless `mode` is 1, which also clears row counts and the dynamic function.
void SetupErrorHeader(ErrorHeader* header, int mode);
// Records the outcome of the running call (SQL_SUCCESS, SQL_SUCCESS_WITH_INFO, SQL_ERROR...).
// An error is never lowered to a warning by a later SetReturnCode(header, 1).
void SetReturnCode(ErrorHeader* header, int code);
// The return code last set.
int GetReturnCode(const ErrorHeader* header);
// Appends a record; the message is `format` expanded printf-style with the arguments.
// The unnamed zero arguments are kept for callers' compatibility and ignored.
void PostError(ErrorHeader* header, int level, int, int, int native_error, int,
               const char* class_origin, const char* sqlstate, const char* format, ...);
void VPostError(ErrorHeader* header, int level, int native_error, const char* class_origin,
                const char* sqlstate, const char* format, va_list args);
// Appends a record raised by a data-access component (origin = component name, message as is).
void PostDalError(ErrorHeader* header, const char* component, int native_error,
                  const char* sqlstate, const char* message);
// Keeps only the first `count` records.
void SetErrorCount(ErrorHeader* header, int count);
// Number of records.
int GetErrorCount(const ErrorHeader* header);
// Header fields set by the statement layer.
void SetDiagRowCount(ErrorHeader* header, SQLLEN row_count);
void SetDiagCursorRowCount(ErrorHeader* header, SQLLEN cursor_row_count);
void SetDiagDynamicFunction(ErrorHeader* header, const char* text, SQLINTEGER code);
void SetDiagNames(ErrorHeader* header, const char* connection_name, const char* server_name);

// SQLGetDiagRec over a header (narrow, UTF-8 text). Record numbers start at 1.
// SQL_NO_DATA past the last record; SQL_ERROR for record < 1 or buffer_length < 0;
// SQL_SUCCESS_WITH_INFO when the message was cut (cut at a whole UTF-8 character).
SQLRETURN GetDiagRec(ErrorHeader* header, SQLSMALLINT record, SQLCHAR* sqlstate,
                     SQLINTEGER* native_error, SQLCHAR* message, SQLSMALLINT buffer_length,
                     SQLSMALLINT* text_length);
// SQLGetDiagField over a header: every header field (record 0) and record field; string
// fields follow the same truncation rule as GetDiagRec, lengths in bytes.
SQLRETURN GetDiagField(SQLSMALLINT handle_type, ErrorHeader* header, SQLSMALLINT record,
                       SQLSMALLINT identifier, SQLPOINTER value, SQLSMALLINT buffer_length,
                       SQLSMALLINT* string_length);
