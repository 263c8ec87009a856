// Setting statement attributes: values kept in the statement record and values
// kept in the descriptors in use, the cursor-type side effects, and the choice
// of application descriptors.
#include "driver/odbc/handles/attributes.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/states.h"

namespace {

// Statement options of another vendor's driver, accepted and ignored.
constexpr SQLINTEGER kVendorHiddenColumns = 1227;
constexpr SQLINTEGER kVendorNoBrowseTable = 1228;

SQLULEN as_number(SQLPOINTER value) {
  return reinterpret_cast<SQLULEN>(value);
}

// The template statement carries its descriptor-held attributes in StmtAttributes.
bool is_template(const QuillStmt* stmt) {
  return stmt->ard == nullptr;
}

SQLRETURN set_cursor_type(QuillStmt* stmt, ErrorHeader* errors, SQLULEN type) {
  StmtAttributes& a = stmt->attrs;
  switch (type) {
    case SQL_CURSOR_FORWARD_ONLY:
    case SQL_CURSOR_DYNAMIC:
      a.cursor_scrollable = SQL_NONSCROLLABLE;
      a.concurrency = SQL_CONCUR_READ_ONLY;
      a.cursor_sensitivity = SQL_INSENSITIVE;
      break;
    case SQL_CURSOR_KEYSET_DRIVEN:
      a.cursor_scrollable = SQL_SCROLLABLE;
      a.cursor_sensitivity = SQL_SENSITIVE;
      break;
    case SQL_CURSOR_STATIC:
      a.cursor_scrollable = SQL_SCROLLABLE;
      a.cursor_sensitivity = SQL_INSENSITIVE;
      a.concurrency = SQL_CONCUR_READ_ONLY;
      break;
    default:
      return post_call_error(errors, "HY024", MSG_BAD_ATTR_VALUE);
  }
  a.cursor_type = type;
  return SQL_SUCCESS;
}

// SQL_ATTR_APP_ROW_DESC / SQL_ATTR_APP_PARAM_DESC: an explicit descriptor of the same
// connection, the statement's own implicit one, or null for the implicit one.
SQLRETURN set_app_desc(QuillStmt* stmt, ErrorHeader* errors, SQLINTEGER attribute,
                       SQLPOINTER value) {
  bool row = attribute == SQL_ATTR_APP_ROW_DESC;
  QuillDesc* implicit = row ? stmt->implicit_ard : stmt->implicit_apd;
  QuillDesc*& in_use = row ? stmt->ard : stmt->apd;
  if (value == SQL_NULL_HDESC) {
    in_use = implicit;
    return SQL_SUCCESS;
  }
  if (!valid_desc(value)) return post_call_error(errors, "HY024", MSG_BAD_ATTR_VALUE);
  auto* desc = static_cast<QuillDesc*>(value);
  if (desc->implicit && desc != implicit) return post_call_error(errors, "HY017", MSG_AUTO_DESC);
  if (desc->dbc != stmt->dbc) return post_call_error(errors, "HY024", MSG_BAD_ATTR_VALUE);
  in_use = desc;
  return SQL_SUCCESS;
}

// Attributes 5, 17 to 27: into the descriptors in use, or the template's own fields.
SQLRETURN store_descriptor_attr(QuillStmt* stmt, ErrorHeader* errors, SQLINTEGER attribute,
                                SQLPOINTER value) {
  StmtAttributes& a = stmt->attrs;
  bool tmpl = is_template(stmt);
  SQLULEN n = as_number(value);
  switch (attribute) {
    case SQL_ATTR_ROW_BIND_TYPE:
      (tmpl ? a.row_bind_type : stmt->ard->bind_type) = n;
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_ARRAY_SIZE:
      if (n == 0) return post_call_error(errors, "HY024", MSG_BAD_ATTR_VALUE);
      (tmpl ? a.row_array_size : stmt->ard->array_size) = n;
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_BIND_OFFSET_PTR:
      (tmpl ? a.row_bind_offset_ptr : stmt->ard->bind_offset_ptr) = static_cast<SQLLEN*>(value);
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_OPERATION_PTR:
      (tmpl ? a.row_operation_ptr : stmt->ard->array_status_ptr) =
          static_cast<SQLUSMALLINT*>(value);
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_STATUS_PTR:
      (tmpl ? a.row_status_ptr : stmt->ird->array_status_ptr) = static_cast<SQLUSMALLINT*>(value);
      return SQL_SUCCESS;
    case SQL_ATTR_ROWS_FETCHED_PTR:
      (tmpl ? a.rows_fetched_ptr : stmt->ird->rows_processed_ptr) = static_cast<SQLULEN*>(value);
      return SQL_SUCCESS;
    case SQL_ATTR_PARAMSET_SIZE:
      if (n == 0) return post_call_error(errors, "HY024", MSG_BAD_ATTR_VALUE);
      (tmpl ? a.paramset_size : stmt->apd->array_size) = n;
      return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_TYPE:
      (tmpl ? a.param_bind_type : stmt->apd->bind_type) = n;
      return SQL_SUCCESS;
    case SQL_ATTR_PARAM_BIND_OFFSET_PTR:
      (tmpl ? a.param_bind_offset_ptr : stmt->apd->bind_offset_ptr) = static_cast<SQLLEN*>(value);
      return SQL_SUCCESS;
    case SQL_ATTR_PARAM_OPERATION_PTR:
      (tmpl ? a.param_operation_ptr : stmt->apd->array_status_ptr) =
          static_cast<SQLUSMALLINT*>(value);
      return SQL_SUCCESS;
    case SQL_ATTR_PARAM_STATUS_PTR:
      (tmpl ? a.param_status_ptr : stmt->ipd->array_status_ptr) = static_cast<SQLUSMALLINT*>(value);
      return SQL_SUCCESS;
    case SQL_ATTR_PARAMS_PROCESSED_PTR:
      (tmpl ? a.params_processed_ptr : stmt->ipd->rows_processed_ptr) =
          static_cast<SQLULEN*>(value);
      return SQL_SUCCESS;
    default:
      return post_call_error(errors, "HY096", MSG_INFO_RANGE);
  }
}

}  // namespace

SQLRETURN store_stmt_attr(QuillStmt* stmt, ErrorHeader* errors, SQLINTEGER attribute,
                          SQLPOINTER value) {
  StmtAttributes& a = stmt->attrs;
  SQLULEN n = as_number(value);
  switch (attribute) {
    case SQL_ATTR_QUERY_TIMEOUT:
      a.query_timeout = n;
      return SQL_SUCCESS;
    case SQL_ATTR_MAX_ROWS:
      if (static_cast<SQLLEN>(n) < 0) {
        a.max_rows = 0;
        return post_call_warning(errors, "01S02", MSG_VALUE_CHANGED);
      }
      a.max_rows = n;
      return SQL_SUCCESS;
    case SQL_ATTR_NOSCAN:
      a.noscan = n;
      return SQL_SUCCESS;
    case SQL_ATTR_MAX_LENGTH:
      a.max_length = n;
      return SQL_SUCCESS;
    case SQL_ATTR_ASYNC_ENABLE:
      if (n == SQL_ASYNC_ENABLE_ON) return post_call_error(errors, "HYC00", MSG_NOT_IMPLEMENTED);
      if (n != SQL_ASYNC_ENABLE_OFF) return post_call_error(errors, "HY024", MSG_BAD_ATTR_VALUE);
      a.async_enable = n;
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_TYPE:
      return set_cursor_type(stmt, errors, n);
    case SQL_ATTR_CONCURRENCY:
      if (n < SQL_CONCUR_READ_ONLY || n > SQL_CONCUR_VALUES)
        return post_call_error(errors, "HY024", MSG_BAD_ATTR_VALUE);
      a.concurrency = n;
      return SQL_SUCCESS;
    case SQL_ATTR_KEYSET_SIZE:
      a.keyset_size = n;
      return SQL_SUCCESS;
    case SQL_ROWSET_SIZE:
      // Kept apart from the row array size: it governs SQLExtendedFetch only.
      if (n == 0) return post_call_error(errors, "HY024", MSG_BAD_ATTR_VALUE);
      a.rowset_size = n;
      return SQL_SUCCESS;
    case SQL_ATTR_SIMULATE_CURSOR:
      a.simulate_cursor = n;
      return SQL_SUCCESS;
    case SQL_ATTR_RETRIEVE_DATA:
      a.retrieve_data = n;
      return SQL_SUCCESS;
    case SQL_ATTR_USE_BOOKMARKS:
      a.use_bookmarks = n;
      return SQL_SUCCESS;
    case SQL_ATTR_ROW_NUMBER:
      return SQL_SUCCESS;
    case SQL_ATTR_ENABLE_AUTO_IPD:
      a.enable_auto_ipd = n;
      return SQL_SUCCESS;
    case SQL_ATTR_FETCH_BOOKMARK_PTR:
      a.fetch_bookmark_ptr = value;
      return SQL_SUCCESS;
    case SQL_ATTR_METADATA_ID:
      a.metadata_id = n;
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SENSITIVITY:
      a.cursor_sensitivity = static_cast<SQLLEN>(n);
      return SQL_SUCCESS;
    case SQL_ATTR_CURSOR_SCROLLABLE:
      a.cursor_scrollable = static_cast<SQLLEN>(n);
      return SQL_SUCCESS;
    case kVendorHiddenColumns:
    case kVendorNoBrowseTable:
      return SQL_SUCCESS;  // another vendor's options some applications send; nothing to keep
    case SQL_ATTR_APP_ROW_DESC:
    case SQL_ATTR_APP_PARAM_DESC:
      if (is_template(stmt)) return post_call_error(errors, "HY096", MSG_INFO_RANGE);
      return set_app_desc(stmt, errors, attribute, value);
    default:
      return store_descriptor_attr(stmt, errors, attribute, value);
  }
}

SQLRETURN set_stmt_attr(QuillStmt* stmt, SQLINTEGER attribute, SQLPOINTER value,
                        SQLINTEGER /*length*/) {
  if (stmt_check(stmt, SQL_API_SQLSETSTMTATTR, attribute) != SQL_SUCCESS) return SQL_ERROR;
  SQLRETURN rc = store_stmt_attr(stmt, stmt->errors, attribute, value);
  stmt_apply(stmt, SQL_API_SQLSETSTMTATTR, attribute, rc);
  return rc;
}
