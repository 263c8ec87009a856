// Result-column tables of the catalog functions and the implementation row
// descriptor they describe: names, types, sizes, nullability and sort keys.
#include "driver/odbc/catalog/catalog_layout.h"

#include <cstring>

#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/frame.h"

namespace {

constexpr int V = SQL_VARCHAR;
constexpr int S = SQL_SMALLINT;
constexpr int I = SQL_INTEGER;

constexpr CatalogColumn kTables[] = {
    {"TABLE_CAT", V, 256, false}, {"TABLE_SCHEM", V, 256, false}, {"TABLE_NAME", V, 256, true},
    {"TABLE_TYPE", V, 256, true}, {"REMARKS", V, 256, false},
};

constexpr CatalogColumn kColumns[] = {
    {"TABLE_CAT", V, 254, false},      {"TABLE_SCHEM", V, 254, false},
    {"TABLE_NAME", V, 254, true},      {"COLUMN_NAME", V, 254, true},
    {"DATA_TYPE", S, 0, true},         {"TYPE_NAME", V, 254, true},
    {"COLUMN_SIZE", I, 0, false},      {"BUFFER_LENGTH", I, 0, false},
    {"DECIMAL_DIGITS", S, 0, false},   {"NUM_PREC_RADIX", S, 0, false},
    {"NULLABLE", S, 0, true},          {"REMARKS", V, 254, false},
    {"COLUMN_DEF", V, 254, false},     {"SQL_DATA_TYPE", S, 0, true},
    {"SQL_DATETIME_SUB", S, 0, false}, {"CHAR_OCTET_LENGTH", I, 0, false},
    {"ORDINAL_POSITION", I, 0, true},  {"IS_NULLABLE", V, 254, false},
};

constexpr CatalogColumn kStatistics[] = {
    {"TABLE_CAT", V, 254, false},
    {"TABLE_SCHEM", V, 254, false},
    {"TABLE_NAME", V, 254, true},
    {"NON_UNIQUE", S, 0, false},
    {"INDEX_QUALIFIER", V, 254, false},
    {"INDEX_NAME", V, 254, false},
    {"TYPE", S, 0, true},
    {"ORDINAL_POSITION", S, 0, false},
    {"COLUMN_NAME", V, 254, false},
    {"ASC_OR_DESC", SQL_CHAR, 1, false},
    {"CARDINALITY", I, 0, false},
    {"PAGES", I, 0, false},
    {"FILTER_CONDITION", V, 254, false},
};

constexpr CatalogColumn kSpecialColumns[] = {
    {"SCOPE", S, 0, false},          {"COLUMN_NAME", V, 254, true},  {"DATA_TYPE", S, 0, true},
    {"TYPE_NAME", V, 254, true},     {"COLUMN_SIZE", I, 0, false},   {"BUFFER_LENGTH", I, 0, false},
    {"DECIMAL_DIGITS", S, 0, false}, {"PSEUDO_COLUMN", S, 0, false},
};

constexpr CatalogColumn kPrimaryKeys[] = {
    {"TABLE_CAT", V, 254, false},  {"TABLE_SCHEM", V, 254, false}, {"TABLE_NAME", V, 254, true},
    {"COLUMN_NAME", V, 254, true}, {"KEY_SEQ", S, 0, true},        {"PK_NAME", V, 254, true},
};

constexpr CatalogColumn kForeignKeys[] = {
    {"PKTABLE_CAT", V, 254, false}, {"PKTABLE_SCHEM", V, 254, false},
    {"PKTABLE_NAME", V, 254, true}, {"PKCOLUMN_NAME", V, 254, true},
    {"FKTABLE_CAT", V, 254, false}, {"FKTABLE_SCHEM", V, 254, false},
    {"FKTABLE_NAME", V, 254, true}, {"FKCOLUMN_NAME", V, 254, true},
    {"KEY_SEQ", S, 0, true},        {"UPDATE_RULE", S, 0, false},
    {"DELETE_RULE", S, 0, false},   {"FK_NAME", V, 254, false},
    {"PK_NAME", V, 254, false},     {"DEFERRABILITY", S, 0, false},
};

constexpr CatalogColumn kTablePrivileges[] = {
    {"TABLE_CAT", V, 254, false},    {"TABLE_SCHEM", V, 254, false}, {"TABLE_NAME", V, 254, true},
    {"GRANTOR", V, 254, false},      {"GRANTEE", V, 254, true},      {"PRIVILEGE", V, 254, true},
    {"IS_GRANTABLE", V, 254, false},
};

constexpr CatalogColumn kColumnPrivileges[] = {
    {"TABLE_CAT", V, 254, false},  {"TABLE_SCHEM", V, 254, false},  {"TABLE_NAME", V, 254, true},
    {"COLUMN_NAME", V, 254, true}, {"GRANTOR", V, 254, false},      {"GRANTEE", V, 254, true},
    {"PRIVILEGE", V, 254, true},   {"IS_GRANTABLE", V, 254, false},
};

constexpr CatalogColumn kProcedures[] = {
    {"PROCEDURE_CAT", V, 254, false},  {"PROCEDURE_SCHEMA", V, 254, false},
    {"PROCEDURE_NAME", V, 254, true},  {"NUM_INPUT_PARAMS", I, 0, true},
    {"NUM_OUTPUT_PARAMS", I, 0, true}, {"NUM_RESULT_PARAMS", I, 0, true},
    {"REMARKS", V, 254, false},        {"PROCEDURE_TYPE", S, 0, true},
};

constexpr CatalogColumn kProcedureColumns[] = {
    {"PROCEDURE_CAT", V, 254, false},   {"PROCEDURE_SCHEMA", V, 254, false},
    {"PROCEDURE_NAME", V, 254, true},   {"COLUMN_NAME", V, 254, true},
    {"COLUMN_TYPE", S, 0, true},        {"DATA_TYPE", S, 0, true},
    {"TYPE_NAME", V, 254, true},        {"COLUMN_SIZE", I, 0, false},
    {"BUFFER_LENGTH", I, 0, false},     {"DECIMAL_DIGITS", S, 0, false},
    {"NUM_PREC_RADIX", S, 0, false},    {"NULLABLE", S, 0, true},
    {"REMARKS", V, 254, false},         {"COLUMN_DEF", V, 254, false},
    {"SQL_DATA_TYPE", S, 0, true},      {"SQL_DATETIME_SUB", S, 0, false},
    {"CHAR_OCTET_LENGTH", I, 0, false}, {"ORDINAL_POSITION", I, 0, true},
    {"IS_NULLABLE", V, 254, false},
};

constexpr CatalogColumn kTypeInfo[] = {
    {"TYPE_NAME", V, 254, true},
    {"DATA_TYPE", S, 0, true},
    {"COLUMN_SIZE", I, 0, false},
    {"LITERAL_PREFIX", V, 254, false},
    {"LITERAL_SUFFIX", V, 254, false},
    {"CREATE_PARAMS", V, 254, false},
    {"NULLABLE", S, 0, true},
    {"CASE_SENSITIVE", S, 0, true},
    {"SEARCHABLE", S, 0, true},
    {"UNSIGNED_ATTRIBUTE", S, 0, false},
    {"FIXED_PREC_SCALE", S, 0, true},
    {"AUTO_UNIQUE_VALUE", S, 0, false},
    {"LOCAL_TYPE_NAME", V, 254, false},
    {"MINIMUM_SCALE", S, 0, false},
    {"MAXIMUM_SCALE", S, 0, false},
    {"SQL_DATA_TYPE", S, 0, true},
    {"SQL_DATETIME_SUB", S, 0, false},
    {"NUM_PREC_RADIX", I, 0, false},
    {"INTERVAL_PRECISION", S, 0, false},
};

template <size_t N>
constexpr CatalogLayout layout(int function, const CatalogColumn (&columns)[N],
                               std::initializer_list<int> keys) {
  CatalogLayout out{function, columns, static_cast<int>(N), {}, 0};
  for (int key : keys) out.keys[out.key_count++] = key;
  return out;
}

constexpr CatalogLayout kLayouts[] = {
    layout(SQL_API_SQLTABLES, kTables, {4, 1, 2, 3}),
    layout(SQL_API_SQLCOLUMNS, kColumns, {1, 2, 3, 17}),
    layout(SQL_API_SQLSTATISTICS, kStatistics, {4, 7, 5, 6, 8}),
    layout(SQL_API_SQLSPECIALCOLUMNS, kSpecialColumns, {1}),
    layout(SQL_API_SQLPRIMARYKEYS, kPrimaryKeys, {1, 2, 3, 5}),
    layout(SQL_API_SQLTABLEPRIVILEGES, kTablePrivileges, {1, 2, 3, 6}),
    layout(SQL_API_SQLCOLUMNPRIVILEGES, kColumnPrivileges, {1, 2, 3, 4, 7}),
    layout(SQL_API_SQLPROCEDURES, kProcedures, {1, 2, 3}),
    layout(SQL_API_SQLPROCEDURECOLUMNS, kProcedureColumns, {1, 2, 3, 5}),
    layout(SQL_API_SQLGETTYPEINFO, kTypeInfo, {2, 12, 1}),
};

// SQLForeignKeys: ordered by the foreign-key side when a primary-key table is named (the
// rows are then the keys that point at it), else by the primary-key side.
constexpr CatalogLayout kForeignKeysByFk =
    layout(SQL_API_SQLFOREIGNKEYS, kForeignKeys, {5, 6, 7, 9});
constexpr CatalogLayout kForeignKeysByPk =
    layout(SQL_API_SQLFOREIGNKEYS, kForeignKeys, {1, 2, 3, 9});

void put_text(char* field, size_t size, const char* text) {
  std::strncpy(field, text, size - 1);
  field[size - 1] = '\0';
}

void fill_bookmark(DescRecord* record) {
  desc_set_concise_type(record, SQL_C_UBIGINT);
  record->column_index = -1;
  put_text(record->name, sizeof record->name, "BOOKMARK");
  put_text(record->label, sizeof record->label, "BOOKMARK");
  put_text(record->type_name, sizeof record->type_name, "SQL_BOOKMARK");
  record->unnamed = SQL_NAMED;
  record->length = sizeof(SQLUINTEGER);
  record->octet_length = sizeof(SQLUINTEGER);
  record->display_size = 10;
  record->num_prec_radix = 10;
  record->nullable = SQL_NO_NULLS;
  record->unsigned_flag = SQL_TRUE;
  record->updatable = SQL_ATTR_READONLY;
  record->searchable = SQL_PRED_NONE;
}

void fill_column(DescRecord* record, const CatalogColumn& column, int index) {
  desc_set_concise_type(record, static_cast<SQLSMALLINT>(column.sql_type));
  record->column_index = index;
  put_text(record->name, sizeof record->name, column.name);
  put_text(record->label, sizeof record->label, column.name);
  put_text(record->type_name, sizeof record->type_name, catalog_type_name(column.sql_type));
  record->unnamed = SQL_NAMED;
  record->nullable = column.not_null ? SQL_NO_NULLS : SQL_NULLABLE;
  record->updatable = SQL_ATTR_READONLY;
  record->searchable = SQL_PRED_SEARCHABLE;
  record->fixed_prec_scale = SQL_FALSE;
  record->auto_unique_value = SQL_FALSE;
  switch (column.sql_type) {
    case SQL_INTEGER:
      record->length = 10;
      record->precision = 10;
      record->display_size = 11;
      record->octet_length = 4;
      record->num_prec_radix = 10;
      record->unsigned_flag = SQL_FALSE;
      break;
    case SQL_SMALLINT:
      record->length = 5;
      record->precision = 5;
      record->display_size = 6;
      record->octet_length = 4;
      record->num_prec_radix = 10;
      record->unsigned_flag = SQL_FALSE;
      break;
    default:
      record->length = static_cast<SQLULEN>(column.length);
      record->display_size = column.length;
      record->octet_length = column.length;
      record->unsigned_flag = SQL_TRUE;
      record->case_sensitive = SQL_TRUE;
      put_text(record->literal_prefix, sizeof record->literal_prefix, "'");
      put_text(record->literal_suffix, sizeof record->literal_suffix, "'");
      break;
  }
}

}  // namespace

const CatalogLayout* catalog_layout(int function, bool pk_table_given) {
  if (function == SQL_API_SQLFOREIGNKEYS)
    return pk_table_given ? &kForeignKeysByFk : &kForeignKeysByPk;
  for (const CatalogLayout& entry : kLayouts)
    if (entry.function == function) return &entry;
  return nullptr;
}

const char* catalog_type_name(int sql_type) {
  switch (sql_type) {
    case SQL_VARCHAR:
      return "VARCHAR";
    case SQL_CHAR:
      return "CHARACTER";
    case SQL_INTEGER:
      return "INTEGER";
    case SQL_SMALLINT:
      return "SMALLINT";
    default:
      return "UNKNOWN";
  }
}

bool catalog_fill_ird(QuillStmt* stmt, const CatalogLayout& layout) {
  QuillDesc* ird = stmt->ird;
  if (!reset_desc(ird) || !desc_record(ird, layout.column_count, true)) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return false;
  }
  if (stmt->attrs.use_bookmarks != SQL_UB_OFF) fill_bookmark(desc_record(ird, 0, false));
  for (int i = 0; i < layout.column_count; ++i)
    fill_column(desc_record(ird, i + 1, false), layout.columns[i], i);
  ird->count = static_cast<SQLSMALLINT>(layout.column_count);
  stmt->result_columns = layout.column_count;
  return true;
}
