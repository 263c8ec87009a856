// SQLDescribeCol and SQLDescribeColW: name, type, size, decimal digits and
// nullability of one result column, from the IRD; the wide form only widens
// the name (its lengths count characters).
#include <string>

#include "driver/odbc/descriptors/desc_fields.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/states.h"
#include "driver/odbc/wide_out.h"
#include "support/strbuf.h"

static const char* const kUnit = "describecol";

namespace {

// The IRD record of `column` after the state and index checks; null after posting.
const DescRecord* described_record(QuillStmt* stmt, SQLUSMALLINT column) {
  if (desc_check_stmt_state(stmt, SQL_API_SQLDESCRIBECOL, 0) != SQL_SUCCESS) return nullptr;
  const DescRecord* record =
      column == 0 || column > stmt->ird->count ? nullptr : desc_record(stmt->ird, column, false);
  if (!record) post_call_error(stmt->errors, "07009", MSG_BAD_DESC_INDEX);
  return record;
}

void put_facts(const DescRecord& r, SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
               SQLSMALLINT* nullable) {
  if (type) *type = r.concise_type;
  if (size) *size = r.length;
  // Times and intervals count their fraction digits; numbers their scale.
  bool fraction = r.type == SQL_DATETIME || r.type == SQL_INTERVAL;
  if (digits) *digits = fraction ? r.precision : r.scale;
  if (nullable) *nullable = r.nullable;
}

SQLRETURN describe_narrow(QuillStmt* stmt, SQLUSMALLINT column, SQLCHAR* name,
                          SQLSMALLINT buffer_length, SQLSMALLINT* name_length, SQLSMALLINT* type,
                          SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  const DescRecord* record = described_record(stmt, column);
  if (!record) return SQL_ERROR;
  if (buffer_length < 0) return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  put_facts(*record, type, size, digits, nullable);
  if (copy_str_buffer(name, buffer_length, name_length, record->name))
    return post_call_warning(stmt->errors, "01004", MSG_TRUNCATED);
  return SQL_SUCCESS;
}

SQLRETURN describe_wide(QuillStmt* stmt, SQLUSMALLINT column, SQLWCHAR* name,
                        SQLSMALLINT buffer_length, SQLSMALLINT* name_length, SQLSMALLINT* type,
                        SQLULEN* size, SQLSMALLINT* digits, SQLSMALLINT* nullable) {
  const DescRecord* record = described_record(stmt, column);
  if (!record) return SQL_ERROR;
  if (buffer_length < 0) return post_call_error(stmt->errors, "HY090", MSG_BAD_LENGTH);
  put_facts(*record, type, size, digits, nullable);
  try {
    return widen_out_string(stmt->errors, SQL_SUCCESS, std::string(record->name), name,
                            buffer_length, name_length);
  } catch (...) {
    return post_call_error(stmt->errors, "HY001", MSG_MEMORY);
  }
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLDescribeCol(SQLHSTMT handle, SQLUSMALLINT column, SQLCHAR* name,
                                      SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                                      SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                      SQLSMALLINT* nullable) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLDescribeCol( %h, %u, %p, %i, %p, %p, %p, %p, %p )", handle,
            static_cast<int>(column), static_cast<void*>(name), static_cast<int>(buffer_length),
            static_cast<void*>(name_length), static_cast<void*>(type), static_cast<void*>(size),
            static_cast<void*>(digits), static_cast<void*>(nullable));
  if (!valid_stmt(handle))
    return TRACE_RETURN(kUnit, "SQLDescribeCol() returns %e", SQL_INVALID_HANDLE);
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  SQLRETURN rc =
      describe_narrow(stmt, column, name, buffer_length, name_length, type, size, digits, nullable);
  stmt_apply(stmt, SQL_API_SQLDESCRIBECOL, 0, rc);
  return TRACE_RETURN(kUnit, "SQLDescribeCol() returns %e", rc);
}

QUILL_EXPORT SQLRETURN SQLDescribeColW(SQLHSTMT handle, SQLUSMALLINT column, SQLWCHAR* name,
                                       SQLSMALLINT buffer_length, SQLSMALLINT* name_length,
                                       SQLSMALLINT* type, SQLULEN* size, SQLSMALLINT* digits,
                                       SQLSMALLINT* nullable) {
  HandleCall call(SQL_HANDLE_STMT, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLDescribeColW( %h, %u, %p, %i, %p, %p, %p, %p, %p )", handle,
            static_cast<int>(column), static_cast<void*>(name), static_cast<int>(buffer_length),
            static_cast<void*>(name_length), static_cast<void*>(type), static_cast<void*>(size),
            static_cast<void*>(digits), static_cast<void*>(nullable));
  if (!valid_stmt(handle))
    return TRACE_RETURN(kUnit, "SQLDescribeColW() returns %e", SQL_INVALID_HANDLE);
  auto* stmt = static_cast<QuillStmt*>(handle);
  SetupErrorHeader(stmt->errors, 0);
  SQLRETURN rc =
      describe_wide(stmt, column, name, buffer_length, name_length, type, size, digits, nullable);
  stmt_apply(stmt, SQL_API_SQLDESCRIBECOL, 0, rc);
  return TRACE_RETURN(kUnit, "SQLDescribeColW() returns %e", rc);
}
