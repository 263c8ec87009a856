// Descriptor records: the per-column (or per-parameter) fields of the four
// descriptor kinds, the growth of a descriptor's record array, the rule that
// sets a record's type fields from one concise type, and the filling of an
// implementation row descriptor from a statement's result columns.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "driver/odbc/handles/handles.h"
#include "support/value.h"

// Longest name kept in an implementation record, plus its terminating zero.
constexpr int DESC_NAME_SIZE = 129;

struct DescRecord {
  // Type fields, shared by every kind (set together by desc_set_concise_type).
  SQLSMALLINT type;                        // SQL_DESC_TYPE (verbose: 9 datetime, 10 interval)
  SQLSMALLINT concise_type;                // SQL_DESC_CONCISE_TYPE
  SQLSMALLINT datetime_interval_code;      // SQL_DESC_DATETIME_INTERVAL_CODE (subcode)
  SQLINTEGER datetime_interval_precision;  // SQL_DESC_DATETIME_INTERVAL_PRECISION
  SQLULEN length;                          // SQL_DESC_LENGTH
  SQLLEN octet_length;        // SQL_DESC_OCTET_LENGTH (application records: buffer length)
  SQLSMALLINT precision;      // SQL_DESC_PRECISION
  SQLSMALLINT scale;          // SQL_DESC_SCALE
  SQLINTEGER num_prec_radix;  // SQL_DESC_NUM_PREC_RADIX (0, 2 or 10)
  SQLSMALLINT nullable;       // SQL_DESC_NULLABLE
  SQLSMALLINT unnamed;        // SQL_DESC_UNNAMED
  // Application records (ARD, APD).
  SQLPOINTER data_ptr;         // SQL_DESC_DATA_PTR
  SQLLEN* indicator_ptr;       // SQL_DESC_INDICATOR_PTR
  SQLLEN* octet_length_ptr;    // SQL_DESC_OCTET_LENGTH_PTR
  // Implementation parameter records (IPD).
  SQLSMALLINT parameter_type;  // SQL_DESC_PARAMETER_TYPE (SQL_PARAM_INPUT by default)
  QuillValue* value;           // value held for the parameter (data at execution), or null
  bool value_pending;          // SQLParamData handed out this parameter's token
  // Implementation row records (IRD).
  char name[DESC_NAME_SIZE];              // SQL_DESC_NAME
  char label[DESC_NAME_SIZE];             // SQL_DESC_LABEL
  char base_column_name[DESC_NAME_SIZE];  // SQL_DESC_BASE_COLUMN_NAME
  char base_table_name[DESC_NAME_SIZE];   // SQL_DESC_BASE_TABLE_NAME
  char table_name[DESC_NAME_SIZE];        // SQL_DESC_TABLE_NAME
  char catalog_name[DESC_NAME_SIZE];      // SQL_DESC_CATALOG_NAME
  char schema_name[DESC_NAME_SIZE];       // SQL_DESC_SCHEMA_NAME
  char type_name[DESC_NAME_SIZE];         // SQL_DESC_TYPE_NAME (and LOCAL_TYPE_NAME)
  char literal_prefix[8];                 // SQL_DESC_LITERAL_PREFIX
  char literal_suffix[8];                 // SQL_DESC_LITERAL_SUFFIX
  SQLLEN display_size;                    // SQL_DESC_DISPLAY_SIZE
  SQLSMALLINT unsigned_flag;              // SQL_DESC_UNSIGNED
  SQLSMALLINT updatable;                  // SQL_DESC_UPDATABLE
  SQLSMALLINT searchable;                 // SQL_DESC_SEARCHABLE
  SQLSMALLINT case_sensitive;             // SQL_DESC_CASE_SENSITIVE
  SQLSMALLINT fixed_prec_scale;           // SQL_DESC_FIXED_PREC_SCALE
  SQLSMALLINT auto_unique_value;          // SQL_DESC_AUTO_UNIQUE_VALUE
  int column_index;                       // 0-based result column it describes; -1 bookmark
};

// Record `number` of `desc` (0 is the bookmark record). With `grow`, the array is enlarged to
// hold it (new records zeroed, old contents kept, the count raised for application
// descriptors); without, null when the record does not exist. Null on memory failure.
DescRecord* desc_record(QuillDesc* desc, int number, bool grow);
// Number of records allocated (count + 1 including the bookmark record; 0 when none).
int desc_capacity(const QuillDesc* desc);
// Sets type, concise type and subcode of `record` from `concise_type` (and the precision,
// scale and length defaults that go with it); setting the type it already has changes nothing.
void desc_set_concise_type(DescRecord* record, SQLSMALLINT concise_type);
// Drops trailing application records without data, indicator and octet-length pointers from
// the count (the unbinding rule of SQLBindCol).
void desc_trim_count(QuillDesc* desc);

struct QueryPlan;
// Rebuilds the statement's IRD from the result columns of `plan` (null: an empty IRD); with
// bookmarks on, record 0 describes the bookmark. false after posting HY001.
bool desc_fill_ird(QuillStmt* stmt, const QueryPlan* plan);
// Number of IPD records is set to `count` parameters (records typed from `parameters`, a list
// of ParameterEntry*, when not null). false after posting HY001.
bool desc_fill_ipd(QuillStmt* stmt, int count, ListNode* parameters);
