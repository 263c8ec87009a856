// Diagnostic records of a handle: error header, posting and SQLGetDiagRec/Field.
//
// Memory: the header and its header-field strings live in `home_pool`, a child of the
// pool the header was created from; the records live in `pool`, a child of `home_pool`,
// which SetupErrorHeader releases and replaces to drop every record in one step.
#include "support/diag.h"

#include <climits>
#include <cstdio>
#include <cstring>

#include "support/strbuf.h"

namespace {

constexpr const char* kIsoOrigin = "ISO 9075";
constexpr const char* kOdbcOrigin = "ODBC 3.0";
constexpr size_t kInlineMessage = 4096;    // first formatting attempt, on the stack
constexpr size_t kMaxMessage = 64 * 1024;  // message bytes kept, NUL included

// Header fields point here while they hold no text of their own; never written to.
char g_empty_text[1] = "";

bool is_sqlstate_char(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

// Five characters 0-9/A-Z followed by the end of the string.
bool valid_sqlstate(const char* s) {
  if (!s) return false;
  for (int i = 0; i < 5; ++i)
    if (!is_sqlstate_char(s[i])) return false;
  return s[5] == '\0';
}

// SQL_DIAG_SUBCLASS_ORIGIN per the ODBC reference (SQLGetDiagField): the ODBC-specific
// SQLSTATEs are those of class IM, those whose subclass begins with 'S' (01S00, 07S01,
// 08S01, 21S01, 25S01, 42S02, ...), the ODBC 2 classes beginning with 'S' and the HY
// states HY095, HY097-HY101, HY105, HY107, HY109-HY111, HYT00 and HYT01. Every other
// state, including HY000-HY024 and HYC00 of the ISO call-level interface, is "ISO 9075".
const char* subclass_origin_of(const char* state) {
  if (state[2] == 'S') return kOdbcOrigin;
  if (state[0] == 'I' && state[1] == 'M') return kOdbcOrigin;
  if (state[0] == 'S') return kOdbcOrigin;
  if (state[0] == 'H' && state[1] == 'Y') {
    static const char* const kOdbcHy[] = {"095", "097", "098", "099", "100", "101", "105",
                                          "107", "109", "110", "111", "T00", "T01"};
    for (const char* sub : kOdbcHy)
      if (std::memcmp(state + 2, sub, 3) == 0) return kOdbcOrigin;
  }
  return kIsoOrigin;
}

// Replaces a header-field string (kept in the home pool); null text means "".
void set_header_text(ErrorHeader* header, char** field, const char* text) {
  char* copy = g_empty_text;
  if (text && *text) {
    copy = quill_mem_strdup(header->home_pool, text);
    if (!copy) return;  // out of memory: keep the old value
  }
  if (*field && *field != g_empty_text) quill_mem_free(header->home_pool, *field);
  *field = copy;
}

// The record pool, made again if an earlier replacement failed.
MemPool* record_pool(ErrorHeader* header) {
  if (!header->pool) header->pool = quill_mem_alloc_handle(header->home_pool);
  return header->pool;
}

// Appends a record holding `message` (taken as is).
void append_record(ErrorHeader* header, int level, int native_error, const char* class_origin,
                   const char* sqlstate, const char* message) {
  MemPool* pool = record_pool(header);
  if (!pool) return;
  auto* rec = static_cast<DiagRecord*>(quill_mem_alloc(pool, sizeof(DiagRecord)));
  if (!rec) return;
  std::memcpy(rec->sqlstate, valid_sqlstate(sqlstate) ? sqlstate : "HY000", 6);
  rec->native_error = native_error;
  rec->level = level;
  rec->message = quill_mem_strdup(pool, message ? message : "");
  rec->class_origin = quill_mem_strdup(pool, class_origin ? class_origin : kIsoOrigin);
  rec->subclass_origin = quill_mem_strdup(pool, subclass_origin_of(rec->sqlstate));
  rec->row_number = SQL_ROW_NUMBER_UNKNOWN;
  rec->column_number = SQL_COLUMN_NUMBER_UNKNOWN;
  if (!rec->message || !rec->class_origin || !rec->subclass_origin) {
    quill_mem_free(pool, rec->message);
    quill_mem_free(pool, rec->class_origin);
    quill_mem_free(pool, rec->subclass_origin);
    quill_mem_free(pool, rec);
    return;
  }
  ListNode* head = ListAppend(rec, header->records, pool);
  if (!head) {
    quill_mem_free(pool, rec->message);
    quill_mem_free(pool, rec->class_origin);
    quill_mem_free(pool, rec->subclass_origin);
    quill_mem_free(pool, rec);
    return;
  }
  header->records = head;
  header->error_count++;
}

// Record number `record` (1-based), or null.
DiagRecord* find_record(const ErrorHeader* header, int record) {
  if (record < 1 || record > header->error_count) return nullptr;
  ListNode* node = ListFirst(header->records);
  for (int i = 1; node && i < record; ++i) node = ListNext(node);
  return static_cast<DiagRecord*>(ListData(node));
}

// Copies a string field into an SQLCHAR buffer of `buffer_length` bytes.
SQLRETURN copy_string_field(const char* text, SQLPOINTER value, SQLSMALLINT buffer_length,
                            SQLSMALLINT* string_length) {
  if (buffer_length < 0) return SQL_ERROR;
  int cut = copy_str_buffer(value, buffer_length, string_length, text);
  return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

template <typename T>
SQLRETURN put_value(SQLPOINTER value, T v) {
  if (value) std::memcpy(value, &v, sizeof(T));
  return SQL_SUCCESS;
}

}  // namespace

ErrorHeader* CreateErrorHeader(MemPool* pool, void* owner) {
  MemPool* home = quill_mem_alloc_handle(pool);
  if (!home) return nullptr;
  auto* header = static_cast<ErrorHeader*>(quill_mem_alloc(home, sizeof(ErrorHeader)));
  MemPool* records = header ? quill_mem_alloc_handle(home) : nullptr;
  if (!records) {
    quill_mem_release_handle(home);
    return nullptr;
  }
  header->home_pool = home;
  header->pool = records;
  header->owner = owner;
  header->return_code = SQL_SUCCESS;
  header->dynamic_function = g_empty_text;
  header->dynamic_function_code = SQL_DIAG_UNKNOWN_STATEMENT;
  header->connection_name = g_empty_text;
  header->server_name = g_empty_text;
  return header;
}

void FreeErrorHeader(ErrorHeader* header) {
  if (!header) return;
  quill_mem_release_handle(header->home_pool);  // the records' pool and the header with it
}

void SetupErrorHeader(ErrorHeader* header, int mode) {
  if (!header) return;
  if (header->records || !header->pool) {
    if (header->pool) quill_mem_release_handle(header->pool);
    header->pool = quill_mem_alloc_handle(header->home_pool);  // retried lazily on failure
  }
  header->records = nullptr;
  header->error_count = 0;
  header->sqlerror_returned = 0;
  header->return_code = SQL_SUCCESS;
  if (mode == 1) {
    header->row_count = 0;
    header->cursor_row_count = 0;
    set_header_text(header, &header->dynamic_function, nullptr);
    header->dynamic_function_code = SQL_DIAG_UNKNOWN_STATEMENT;
  }
}

void SetReturnCode(ErrorHeader* header, int code) {
  if (!header) return;
  if (header->return_code == SQL_ERROR) return;  // an error sticks
  if (code == SQL_SUCCESS_WITH_INFO) {
    if (header->return_code == SQL_SUCCESS) header->return_code = SQL_SUCCESS_WITH_INFO;
    return;
  }
  header->return_code = static_cast<SQLRETURN>(code);
}

int GetReturnCode(const ErrorHeader* header) {
  return header ? header->return_code : SQL_ERROR;
}

void VPostError(ErrorHeader* header, int level, int native_error, const char* class_origin,
                const char* sqlstate, const char* format, va_list args) {
  if (!header) return;
  if (!format) format = "";
  char inline_buf[kInlineMessage];
  va_list copy;
  va_copy(copy, args);
  int n = std::vsnprintf(inline_buf, sizeof inline_buf, format, copy);
  va_end(copy);
  if (n < 0) {  // encoding error: keep the format itself rather than nothing
    append_record(header, level, native_error, class_origin, sqlstate, format);
    return;
  }
  if (static_cast<size_t>(n) < sizeof inline_buf) {
    append_record(header, level, native_error, class_origin, sqlstate, inline_buf);
    return;
  }
  // One byte more than is kept, so that the cut can see whether a character goes on.
  size_t size = static_cast<size_t>(n) + 1;
  if (size > kMaxMessage + 1) size = kMaxMessage + 1;
  auto* big = static_cast<char*>(quill_mem_alloc(header->home_pool, size));
  if (!big) {  // out of memory: the first 4 KiB are better than nothing
    inline_buf[utf8_truncation_point(inline_buf, sizeof inline_buf - 1, sizeof inline_buf - 2)] =
        '\0';
    append_record(header, level, native_error, class_origin, sqlstate, inline_buf);
    return;
  }
  va_copy(copy, args);
  std::vsnprintf(big, size, format, copy);
  va_end(copy);
  if (size > kMaxMessage) big[utf8_truncation_point(big, kMaxMessage, kMaxMessage - 1)] = '\0';
  append_record(header, level, native_error, class_origin, sqlstate, big);
  quill_mem_free(header->home_pool, big);
}

void PostError(ErrorHeader* header, int level, int, int, int native_error, int,
               const char* class_origin, const char* sqlstate, const char* format, ...) {
  va_list args;
  va_start(args, format);
  VPostError(header, level, native_error, class_origin, sqlstate, format, args);
  va_end(args);
}

void PostDalError(ErrorHeader* header, const char* component, int native_error,
                  const char* sqlstate, const char* message) {
  if (!header) return;
  append_record(header, DIAG_LEVEL_ENGINE, native_error, component, sqlstate, message);
}

void SetErrorCount(ErrorHeader* header, int count) {
  if (!header) return;
  if (count < 0) count = 0;
  while (header->error_count > count && header->records) {
    ListNode* last = ListLast(header->records);
    auto* rec = static_cast<DiagRecord*>(ListData(last));
    header->records = ListDelete(header->records, last, header->pool);
    if (rec) {
      quill_mem_free(header->pool, rec->message);
      quill_mem_free(header->pool, rec->class_origin);
      quill_mem_free(header->pool, rec->subclass_origin);
      quill_mem_free(header->pool, rec);
    }
    header->error_count--;
  }
  if (!header->records) header->error_count = 0;
}

int GetErrorCount(const ErrorHeader* header) {
  return header ? header->error_count : 0;
}

void SetDiagRowCount(ErrorHeader* header, SQLLEN row_count) {
  if (header) header->row_count = row_count;
}

void SetDiagCursorRowCount(ErrorHeader* header, SQLLEN cursor_row_count) {
  if (header) header->cursor_row_count = cursor_row_count;
}

void SetDiagDynamicFunction(ErrorHeader* header, const char* text, SQLINTEGER code) {
  if (!header) return;
  set_header_text(header, &header->dynamic_function, text);
  header->dynamic_function_code = code;
}

void SetDiagNames(ErrorHeader* header, const char* connection_name, const char* server_name) {
  if (!header) return;
  set_header_text(header, &header->connection_name, connection_name);
  set_header_text(header, &header->server_name, server_name);
}

SQLRETURN GetDiagRec(ErrorHeader* header, SQLSMALLINT record, SQLCHAR* sqlstate,
                     SQLINTEGER* native_error, SQLCHAR* message, SQLSMALLINT buffer_length,
                     SQLSMALLINT* text_length) {
  if (!header) return SQL_INVALID_HANDLE;
  if (record < 1 || buffer_length < 0) return SQL_ERROR;
  DiagRecord* rec = find_record(header, record);
  if (!rec) return SQL_NO_DATA;
  if (sqlstate) std::memcpy(sqlstate, rec->sqlstate, 6);
  if (native_error) *native_error = rec->native_error;
  int cut = copy_str_buffer(message, buffer_length, text_length, rec->message);
  return cut ? SQL_SUCCESS_WITH_INFO : SQL_SUCCESS;
}

SQLRETURN GetDiagField(SQLSMALLINT handle_type, ErrorHeader* header, SQLSMALLINT record,
                       SQLSMALLINT identifier, SQLPOINTER value, SQLSMALLINT buffer_length,
                       SQLSMALLINT* string_length) {
  if (!header) return SQL_INVALID_HANDLE;
  const bool stmt = handle_type == SQL_HANDLE_STMT;

  // Header fields: the record number is ignored.
  switch (identifier) {
    case SQL_DIAG_CURSOR_ROW_COUNT:
      return stmt ? put_value<SQLLEN>(value, header->cursor_row_count) : SQL_ERROR;
    case SQL_DIAG_ROW_COUNT:
      return stmt ? put_value<SQLLEN>(value, header->row_count) : SQL_ERROR;
    case SQL_DIAG_DYNAMIC_FUNCTION:
      if (!stmt) return SQL_ERROR;
      return copy_string_field(header->dynamic_function, value, buffer_length, string_length);
    case SQL_DIAG_DYNAMIC_FUNCTION_CODE:
      return stmt ? put_value<SQLINTEGER>(value, header->dynamic_function_code) : SQL_ERROR;
    case SQL_DIAG_NUMBER:
      return put_value<SQLINTEGER>(value, header->error_count);
    case SQL_DIAG_RETURNCODE:
      return put_value<SQLRETURN>(value, header->return_code);
    default:
      break;
  }

  // Record fields.
  switch (identifier) {
    case SQL_DIAG_CLASS_ORIGIN:
    case SQL_DIAG_COLUMN_NUMBER:
    case SQL_DIAG_CONNECTION_NAME:
    case SQL_DIAG_MESSAGE_TEXT:
    case SQL_DIAG_NATIVE:
    case SQL_DIAG_ROW_NUMBER:
    case SQL_DIAG_SERVER_NAME:
    case SQL_DIAG_SQLSTATE:
    case SQL_DIAG_SUBCLASS_ORIGIN:
      break;
    default:
      return SQL_ERROR;  // unknown identifier
  }
  if (record < 1) return SQL_ERROR;
  DiagRecord* rec = find_record(header, record);
  if (!rec) return SQL_NO_DATA;
  switch (identifier) {
    case SQL_DIAG_CLASS_ORIGIN:
      return copy_string_field(rec->class_origin, value, buffer_length, string_length);
    case SQL_DIAG_COLUMN_NUMBER:
      return put_value<SQLINTEGER>(value, rec->column_number);
    case SQL_DIAG_CONNECTION_NAME:
      return copy_string_field(header->connection_name, value, buffer_length, string_length);
    case SQL_DIAG_MESSAGE_TEXT:
      return copy_string_field(rec->message, value, buffer_length, string_length);
    case SQL_DIAG_NATIVE:
      return put_value<SQLINTEGER>(value, rec->native_error);
    case SQL_DIAG_ROW_NUMBER:
      return put_value<SQLLEN>(value, rec->row_number);
    case SQL_DIAG_SERVER_NAME:
      return copy_string_field(header->server_name, value, buffer_length, string_length);
    case SQL_DIAG_SQLSTATE:
      return copy_string_field(rec->sqlstate, value, buffer_length, string_length);
    case SQL_DIAG_SUBCLASS_ORIGIN:
      return copy_string_field(rec->subclass_origin, value, buffer_length, string_length);
    default:
      return SQL_ERROR;
  }
}
