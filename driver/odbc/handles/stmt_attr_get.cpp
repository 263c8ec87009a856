// Reading statement attributes from the statement record and from the
// descriptors in use.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"

namespace {

// One attribute's answer: a number (SQLULEN) or a pointer.
struct StmtAttrAnswer {
  bool known = true;
  bool is_pointer = false;
  SQLULEN number = 0;
  SQLPOINTER pointer = nullptr;
};

StmtAttrAnswer pointer_answer(const void* p) {
  StmtAttrAnswer r;
  r.is_pointer = true;
  r.pointer = const_cast<void*>(p);
  return r;
}

StmtAttrAnswer number_answer(SQLULEN n) {
  StmtAttrAnswer r;
  r.number = n;
  return r;
}

StmtAttrAnswer read_stmt_attr(const QuillStmt* stmt, SQLINTEGER attribute) {
  const StmtAttributes& a = stmt->attrs;
  switch (attribute) {
    case SQL_ATTR_APP_ROW_DESC:
      return pointer_answer(stmt->ard);
    case SQL_ATTR_APP_PARAM_DESC:
      return pointer_answer(stmt->apd);
    case SQL_ATTR_IMP_ROW_DESC:
      return pointer_answer(stmt->ird);
    case SQL_ATTR_IMP_PARAM_DESC:
      return pointer_answer(stmt->ipd);
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
      return pointer_answer(a.fetch_bookmark_ptr);
    case SQL_ATTR_ROW_BIND_OFFSET_PTR:
      return pointer_answer(stmt->ard->bind_offset_ptr);
    case SQL_ATTR_ROW_OPERATION_PTR:
      return pointer_answer(stmt->ard->array_status_ptr);
    case SQL_ATTR_ROW_STATUS_PTR:
      return pointer_answer(stmt->ird->array_status_ptr);
    case SQL_ATTR_ROWS_FETCHED_PTR:
      return pointer_answer(stmt->ird->rows_processed_ptr);
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
      return pointer_answer(stmt->apd->bind_offset_ptr);
    case SQL_ATTR_PARAM_OPERATION_PTR:
      return pointer_answer(stmt->apd->array_status_ptr);
    case SQL_ATTR_PARAM_STATUS_PTR:
      return pointer_answer(stmt->ipd->array_status_ptr);
    case SQL_ATTR_PARAMS_PROCESSED_PTR:
      return pointer_answer(stmt->ipd->rows_processed_ptr);
    case SQL_ATTR_ROW_BIND_TYPE:
      return number_answer(stmt->ard->bind_type);
    case SQL_ATTR_ROW_ARRAY_SIZE:
      return number_answer(stmt->ard->array_size);
    case SQL_ATTR_PARAM_BIND_TYPE:
      return number_answer(stmt->apd->bind_type);
    case SQL_ATTR_PARAMSET_SIZE:
      return number_answer(stmt->apd->array_size);
    case SQL_ATTR_QUERY_TIMEOUT:
      return number_answer(a.query_timeout);
    case SQL_ATTR_MAX_ROWS:
      return number_answer(a.max_rows);
    case SQL_ATTR_NOSCAN:
      return number_answer(a.noscan);
    case SQL_ATTR_MAX_LENGTH:
      return number_answer(a.max_length);
    case SQL_ATTR_ASYNC_ENABLE:
      return number_answer(a.async_enable);
    case SQL_ATTR_CURSOR_TYPE:
      return number_answer(a.cursor_type);
    case SQL_ATTR_CONCURRENCY:
      return number_answer(a.concurrency);
    case SQL_ATTR_KEYSET_SIZE:
      return number_answer(a.keyset_size);
    case SQL_ROWSET_SIZE:
      return number_answer(a.rowset_size);
    case SQL_ATTR_SIMULATE_CURSOR:
      return number_answer(a.simulate_cursor);
    case SQL_ATTR_RETRIEVE_DATA:
      return number_answer(a.retrieve_data);
    case SQL_ATTR_USE_BOOKMARKS:
      return number_answer(a.use_bookmarks);
    case SQL_ATTR_ROW_NUMBER:
      return number_answer(0);  // positions are not numbered here
    case SQL_ATTR_ENABLE_AUTO_IPD:
      return number_answer(a.enable_auto_ipd);
    case SQL_ATTR_METADATA_ID:
      return number_answer(a.metadata_id);
    case SQL_ATTR_CURSOR_SENSITIVITY:
      return number_answer(static_cast<SQLULEN>(a.cursor_sensitivity));
    case SQL_ATTR_CURSOR_SCROLLABLE:
      return number_answer(static_cast<SQLULEN>(a.cursor_scrollable));
    default: {
      StmtAttrAnswer unknown;
      unknown.known = false;
      return unknown;
    }
  }
}

}  // namespace

SQLRETURN get_stmt_attr(QuillStmt* stmt, SQLINTEGER attribute, SQLPOINTER value,
                        SQLINTEGER /*buffer_length*/, SQLINTEGER* string_length) {
  if (stmt_check(stmt, SQL_API_SQLGETSTMTATTR, attribute) != SQL_SUCCESS) return SQL_ERROR;
  StmtAttrAnswer answer = read_stmt_attr(stmt, attribute);
  if (!answer.known) return post_call_error(stmt->errors, "HY096", MSG_INFO_RANGE);
  if (answer.is_pointer) {
    if (value) *static_cast<SQLPOINTER*>(value) = answer.pointer;
    if (string_length) *string_length = sizeof(SQLPOINTER);
  } else {
    if (value) *static_cast<SQLULEN*>(value) = answer.number;
    if (string_length) *string_length = sizeof(SQLULEN);
  }
  return SQL_SUCCESS;
}
