// Reading and writing descriptor fields by identifier (the work behind
// SQLGetDescField, SQLGetDescRec, SQLSetDescField, SQLSetDescRec and the column
// descriptions of SQLColAttribute), and the statement-state refusals of the
// description and binding functions.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/handles.h"

#define MSG_BAD_FIELD_ID "Invalid descriptor field identifier"
#define MSG_NOT_PREPARED "Associated statement is not prepared"
#define MSG_NOT_CURSOR_QUERY "Prepared statement not a cursor-specification"

// Refusal of a description or binding function (`function` is its SQL_API_* number, `field`
// the column attribute asked for, else 0) by the state of `stmt`, posted on the statement:
// HY010 in S8..S12; SQLDescribeCol and SQLColAttribute also HY010 in S1, 07005 in S2 (except
// for the count field 1001) and 24000 in S4. SQL_SUCCESS when allowed.
SQLRETURN desc_check_stmt_state(QuillStmt* stmt, int function, int field);
// Refusal of a descriptor function on `desc` by the state of its associated statements,
// posted on the descriptor: HY010 in S8..S12; reading an IRD also HY010 in S1 and 24000 in S4.
SQLRETURN desc_check_desc_state(QuillDesc* desc, int function);

// How a field value is typed for the application.
enum class DescFieldType { Small, Integer, Len, ULen, Pointer, Text };

// A field's value as read from a descriptor: text (borrowed from the record) or a number
// (pointers travel as their address).
struct DescFieldValue {
  DescFieldType type;  // the type the application receives
  const char* text;    // Text fields
  SQLLEN number;       // other fields
};

// One field identifier: where its value lives and how it is typed.
struct DescFieldEntry {
  SQLSMALLINT id;         // SQL_DESC_* identifier
  bool header;            // a header field, else a record field
  DescFieldType type;     // the type the application receives
  DescFieldType storage;  // the type of the member that holds it (Text: a char array)
  size_t offset;          // of that member in QuillDesc (header) or DescRecord (record)
  bool settable;          // accepted by SQLSetDescField
};
// The field with identifier `id`, or null when the descriptor functions do not serve it.
const DescFieldEntry* desc_find_field(SQLSMALLINT id);
// True when `desc` is the IRD of a statement that is neither prepared nor executed (HY007).
bool desc_unprepared_ird(const QuillDesc* desc);

// Reads field `field` of record `number` (ignored for header fields) of `desc`, posting on
// the descriptor: HY091 unknown field, 07009 bad record, HY007 unprepared IRD. SQL_NO_DATA
// for a record beyond the count of an application descriptor.
SQLRETURN desc_read_field(QuillDesc* desc, SQLSMALLINT number, SQLSMALLINT field,
                          DescFieldValue* out);
// Writes a number-typed value to `value` at the width of `type` (null value: nothing).
void desc_write_number(const DescFieldValue& value, SQLPOINTER target);
// Sets field `field` of record `number` to `value` (a number carried in the pointer, or the
// pointer itself); posts on the descriptor and returns the outcome.
SQLRETURN desc_write_field(QuillDesc* desc, SQLSMALLINT number, SQLSMALLINT field,
                           SQLPOINTER value);
// The record SQLGetDescRec and SQLSetDescRec address, after their record-number checks
// (07009, HY007, SQL_NO_DATA as desc_read_field); `grow` for writes to application records.
SQLRETURN desc_locate_record(QuillDesc* desc, SQLSMALLINT number, bool grow, DescRecord** out);
// Sets the verbose type and subcode of `record` and derives its concise type from them (the
// rule of SQL_DESC_TYPE: 9 and 10 take the concise type from the subcode).
void desc_set_verbose_type(DescRecord* record, SQLSMALLINT type, SQLSMALLINT subcode);

// One IRD field of column `column` for SQLColAttribute (and, with `odbc2`, SQLColAttributes:
// type identifier 2 reports dates as 9, 10, 11), posting on the statement: HY091 unknown
// identifier, 07009 bad column. ODBC 2 identifiers 0..18 are mapped to their fields.
SQLRETURN desc_column_attribute(QuillStmt* stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                bool odbc2, DescFieldValue* out);
// The ODBC 3 field an ODBC 2 column attribute identifier (0..18) stands for.
SQLUSMALLINT desc_odbc3_attribute(SQLUSMALLINT field);

// Copies `text` into (buffer, buffer_length bytes): UTF-8 as is, or UTF-16 when `wide`, cut at
// a whole character and NUL-terminated; the full length in bytes goes to *length when not
// null. Posts 01004 on `errors` and returns SQL_SUCCESS_WITH_INFO when cut.
SQLRETURN desc_put_text(ErrorHeader* errors, const char* text, SQLPOINTER buffer,
                        SQLLEN buffer_length, SQLLEN* length, bool wide);

// The whole work of SQLColAttribute(W) and SQLColAttributes(W) after the handle check: state
// check, the field of column `column`, text into (text, buffer_length bytes, *text_length) —
// UTF-16 when `wide` — or the number into *number. `odbc2` is SQLColAttributes' type mapping.
SQLRETURN desc_column_attribute_call(QuillStmt* stmt, SQLUSMALLINT column, SQLUSMALLINT field,
                                     SQLPOINTER text, SQLSMALLINT buffer_length,
                                     SQLSMALLINT* text_length, SQLLEN* number, bool odbc2,
                                     bool wide);
// True when column attribute `field` (ODBC 2 or 3 identifier) is answered as text.
bool desc_column_attribute_is_text(SQLUSMALLINT field);
