// Connection and statement attributes behind SQLSetConnectAttr, SQLGetConnectAttr,
// SQLSetStmtAttr, SQLGetStmtAttr and their ODBC 2 option forms. Each function runs
// the state check of its call, does the work and posts its diagnostics on the
// handle; the caller has already validated the handle and emptied its error header.
#pragma once

#include "driver/odbc/handles/handles.h"

// SQLSetConnectAttr on a narrow (UTF-8) value; `length` counts bytes of text values
// (SQL_NTS allowed) and is ignored for numbers.
SQLRETURN set_conn_attr(QuillDbc* dbc, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
// SQLGetConnectAttr; texts are copied narrow with 01004 on truncation.
SQLRETURN get_conn_attr(QuillDbc* dbc, SQLINTEGER attribute, SQLPOINTER value,
                        SQLINTEGER buffer_length, SQLINTEGER* string_length);
// True for the connection attributes whose value is text (tracefile, translate library,
// current catalog).
bool conn_attr_is_text(SQLINTEGER attribute);
// The connection's attributes, with their initial values put in place on first use.
ConnAttributes& conn_attributes_of(QuillDbc* dbc);

// SQLSetStmtAttr, state check included.
SQLRETURN set_stmt_attr(QuillStmt* stmt, SQLINTEGER attribute, SQLPOINTER value, SQLINTEGER length);
// SQLGetStmtAttr, state check included.
SQLRETURN get_stmt_attr(QuillStmt* stmt, SQLINTEGER attribute, SQLPOINTER value,
                        SQLINTEGER buffer_length, SQLINTEGER* string_length);

// True for the statement attributes a connection may set for its future statements
// (SQL_ATTR_CURSOR_SENSITIVITY -2 up to SQL_ATTR_ROW_ARRAY_SIZE 27, except the read-only 13).
bool stmt_attr_settable_on_connection(SQLINTEGER attribute);
// Stores a statement attribute without any state check, into `target`'s descriptors in use,
// or into its StmtAttributes when it is the template statement (which has no descriptors).
// Diagnostics go to `errors`. Unknown attributes post HY096.
SQLRETURN store_stmt_attr(QuillStmt* target, ErrorHeader* errors, SQLINTEGER attribute,
                          SQLPOINTER value);

// Copies the descriptor-held attributes a new statement inherited from its connection's
// template (row and parameter array sizes, bind types, offsets, status and count pointers)
// into its implicit descriptors. Idempotent; called once the implicit descriptors exist.
void stmt_attributes_seed_descriptors(QuillStmt* stmt);

// SQLSetConnectAttrW: text values are UTF-16 of `length` bytes (or SQL_NTS), others as narrow.
SQLRETURN set_conn_attr_wide(QuillDbc* dbc, SQLINTEGER attribute, SQLPOINTER value,
                             SQLINTEGER length);
// SQLGetConnectAttrW: texts are returned as UTF-16, buffer and lengths in bytes.
SQLRETURN get_conn_attr_wide(QuillDbc* dbc, SQLINTEGER attribute, SQLPOINTER value,
                             SQLINTEGER buffer_length, SQLINTEGER* string_length);
