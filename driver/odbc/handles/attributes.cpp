// Default statement attributes of a new connection's template statement, the
// hand-over of inherited attributes to a new statement's descriptors, and the
// lazily initialised connection attributes.
#include "driver/odbc/handles/attributes.h"

void stmt_attributes_init(StmtAttributes* attrs) {
  *attrs = StmtAttributes{};
  attrs->cursor_type = SQL_CURSOR_FORWARD_ONLY;
  attrs->concurrency = SQL_CONCUR_READ_ONLY;
  attrs->rowset_size = 1;
  attrs->retrieve_data = SQL_RD_ON;
  attrs->paramset_size = 1;
  attrs->row_array_size = 1;
  attrs->cursor_sensitivity = SQL_INSENSITIVE;
  attrs->cursor_scrollable = SQL_NONSCROLLABLE;
}

void stmt_attributes_seed_descriptors(QuillStmt* stmt) {
  const StmtAttributes& a = stmt->attrs;
  if (QuillDesc* ard = stmt->implicit_ard) {
    ard->array_size = a.row_array_size;
    ard->bind_type = a.row_bind_type;
    ard->bind_offset_ptr = a.row_bind_offset_ptr;
    ard->array_status_ptr = a.row_operation_ptr;
  }
  if (QuillDesc* apd = stmt->implicit_apd) {
    apd->array_size = a.paramset_size;
    apd->bind_type = a.param_bind_type;
    apd->bind_offset_ptr = a.param_bind_offset_ptr;
    apd->array_status_ptr = a.param_operation_ptr;
  }
  if (QuillDesc* ird = stmt->implicit_ird) {
    ird->array_status_ptr = a.row_status_ptr;
    ird->rows_processed_ptr = a.rows_fetched_ptr;
  }
  if (QuillDesc* ipd = stmt->implicit_ipd) {
    ipd->array_status_ptr = a.param_status_ptr;
    ipd->rows_processed_ptr = a.params_processed_ptr;
  }
}

ConnAttributes& conn_attributes_of(QuillDbc* dbc) {
  if (!dbc->attrs.initialized) conn_attributes_init(&dbc->attrs);
  return dbc->attrs;
}

bool conn_attr_is_text(SQLINTEGER attribute) {
  return attribute == SQL_ATTR_TRACEFILE || attribute == SQL_ATTR_TRANSLATE_LIB ||
         attribute == SQL_ATTR_CURRENT_CATALOG;
}

bool stmt_attr_settable_on_connection(SQLINTEGER attribute) {
  return attribute >= SQL_ATTR_CURSOR_SENSITIVITY && attribute <= SQL_ATTR_ROW_ARRAY_SIZE &&
         attribute != SQL_GET_BOOKMARK;
}
