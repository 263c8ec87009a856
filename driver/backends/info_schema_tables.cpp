// The tables of INFO_SCHEMA and their columns: VARCHAR columns of type 12 with
// their lengths, INTEGER columns of type 4 with length 11. None has key
// columns, none is updatable, none passes SQL through.
#include <cstdio>
#include <cstring>

#include "driver/backends/info_schema.h"
#include "driver/backends/info_schema_internal.h"

namespace {

constexpr int V = SQL_VARCHAR;
constexpr int I = SQL_INTEGER;
constexpr int C = SQL_CHAR;

const InfoColumn kCharacterSets[] = {
    {"CHARSET_CAT", V, 128},       {"CHARSET_SCHEM", V, 128},   {"CHARSET_NAME", V, 128},
    {"FORM_OF_USE", V, 128},       {"NUM_CHARS", I, 11},        {"DEF_COLLATE_CAT", V, 254},
    {"DEF_COLLATE_SCHEM", V, 254}, {"DEF_COLATE_NAME", V, 254}, {"REMARKS", V, 254}};
const InfoColumn kCollations[] = {{"COLLATION_CAT", V, 128},  {"COLLATION_SCHEM", V, 128},
                                  {"COLLATION_NAME", V, 128}, {"CHARSET_CAT", V, 128},
                                  {"CHARSET_SCHEM", V, 128},  {"CHARSET_NAME", V, 128},
                                  {"PAD_ATTRIBUTE", V, 254},  {"REMARKS", V, 254}};
const InfoColumn kColumnPrivileges[] = {
    {"GRANTOR", V, 128},        {"GRANTEE", V, 128},      {"TABLE_CAT", V, 128},
    {"TABLE_SCHEM", V, 128},    {"TABLE_NAME", V, 128},   {"COLUMN_NAME", V, 128},
    {"PRIVILEGE_TYPE", V, 256}, {"IS_GRANTABLE", V, 256}, {"REMARKS", V, 256}};
const InfoColumn kColumns[] = {
    {"TABLE_CAT", V, 128},        {"TABLE_SCHEM", V, 128},     {"TABLE_NAME", V, 128},
    {"COLUMN_NAME", V, 128},      {"ORDINAL_POSITION", I, 11}, {"COLUMN_DEF", V, 254},
    {"IS_NULLABLE", V, 254},      {"DATA_TYPE", V, 254},       {"CHAR_MAX_LENGTH", I, 11},
    {"CHAR_OCTET_LENGTH", I, 11}, {"NUM_PREC", I, 11},         {"NUM_PREC_RADIX", I, 11},
    {"NUM_SCALE", I, 11},         {"DATETIME_PREC", I, 11},    {"INTERVAL_TYPE", V, 128},
    {"INTERVAL_PREC", I, 11},     {"CHAR_SET_CAT", V, 128},    {"CHAR_SET_SCHEM", V, 128},
    {"CHAR_SET_NAME", V, 128},    {"COLLATION_CAT", V, 128},   {"COLLATION_SCHEM", V, 128},
    {"COLLATION_NAME", V, 128},   {"REMARKS", V, 256},         {"LOCAL_TYPE_NAME", V, 64}};
const InfoColumn kIndexes[] = {
    {"TABLE_CAT", V, 128},   {"TABLE_SCHEM", V, 128}, {"TABLE_NAME", V, 128},
    {"COLUMN_NAME", V, 128}, {"INDEX_NAME", V, 128},  {"ORDINAL_POSITION", I, 11},
    {"NON_UNIQUE", V, 128},  {"ASC_OR_DESC", C, 1},   {"REMARKS", V, 256}};
const InfoColumn kSchemata[] = {
    {"CAT_NAME", V, 128},         {"SCHEM_NAME", V, 128},         {"SCHEM_OWNER", V, 128},
    {"DEF_CHAR_SET_CAT", V, 128}, {"DEF_CHAR_SET_SCHEM", V, 128}, {"DEF_CHAR_SET_NAME", V, 128},
    {"REMARKS", V, 254}};
const InfoColumn kServerInfo[] = {{"SERVER_ATTRIBUTE", V, 254}, {"ATTRIBUTE_VALUE", V, 254}};
const InfoColumn kSqlLanguages[] = {{"SOURCE", V, 254},          {"SOURCE_YEAR", V, 254},
                                    {"CONFORMANCE", V, 254},     {"INTEGRITY", V, 254},
                                    {"IMPLEMENTATION", V, 254},  {"BINDING_STYLE", V, 254},
                                    {"PROGRAMMING_LANG", V, 254}};
const InfoColumn kTablePrivileges[] = {{"GRANTOR", V, 128},      {"GRANTEE", V, 128},
                                       {"TABLE_CAT", V, 128},    {"TABLE_SCHEM", V, 128},
                                       {"TABLE_NAME", V, 128},   {"PRIVILEGE_TYPE", V, 254},
                                       {"IS_GRANTABLE", V, 254}, {"REMARKS", V, 254}};
const InfoColumn kTables[] = {{"TABLE_CAT", V, 128},
                              {"TABLE_SCHEM", V, 128},
                              {"TABLE_NAME", V, 128},
                              {"TABLE_TYPE", V, 254},
                              {"REMARKS", V, 254}};
const InfoColumn kTranslations[] = {{"TRANSLATION_CAT", V, 128},   {"TRANSLATION_SCHEM", V, 128},
                                    {"TRANSLATION_NAME", V, 128},  {"SRC_CHARSET_CAT", V, 128},
                                    {"SRC_CHARSET_SCHEM", V, 128}, {"SRC_CHARSET_NAME", V, 128},
                                    {"TGT_CHARSET_CAT", V, 128},   {"TGT_CHARSET_SCHEM", V, 128},
                                    {"TGT_CHARSET_NAME", V, 128},  {"REMARKS", V, 254}};
const InfoColumn kUsagePrivileges[] = {
    {"GRANTOR", V, 128},        {"GRANTEE", V, 128},      {"OBJECT_CAT", V, 128},
    {"OBJECT_SCHEM", V, 128},   {"OBJECT_NAME", V, 128},  {"OBJECT_TYPE", V, 254},
    {"PRIVILEGE_TYPE", V, 254}, {"IS_GRANTABLE", V, 254}, {"REMARKS", V, 254}};
const InfoColumn kViews[] = {{"TABLE_CAT", V, 128},    {"TABLE_SCHEM", V, 128},
                             {"TABLE_NAME", V, 128},   {"VIEW_DEFINITION", V, 16384},
                             {"CHECK_OPTION", V, 128}, {"IS_UPDATABLE", V, 128},
                             {"REMARKS", V, 128}};

template <size_t N>
constexpr InfoTable table(const char* name, InfoTableKind kind, const InfoColumn (&columns)[N]) {
  return InfoTable{name, kind, columns, static_cast<int>(N)};
}

const InfoTable kInfoTables[] = {
    table("CHARACTER_SETS", INFO_CHARACTER_SETS, kCharacterSets),
    table("COLLATIONS", INFO_COLLATIONS, kCollations),
    table("COLUMN_PRIVILEGES", INFO_COLUMN_PRIVILEGES, kColumnPrivileges),
    table("COLUMNS", INFO_COLUMNS, kColumns),
    table("SYSTEM_COLUMNS", INFO_SYSTEM_COLUMNS, kColumns),
    table("INDEXES", INFO_INDEXES, kIndexes),
    table("SCHEMATA", INFO_SCHEMATA, kSchemata),
    table("SERVER_INFO", INFO_SERVER_INFO, kServerInfo),
    table("SQL_LANGUAGES", INFO_SQL_LANGUAGES, kSqlLanguages),
    table("TABLE_PRIVILEGES", INFO_TABLE_PRIVILEGES, kTablePrivileges),
    table("TABLES", INFO_TABLES, kTables),
    table("SYSTEM_TABLES", INFO_SYSTEM_TABLES, kTables),
    table("TRANSLATIONS", INFO_TRANSLATIONS, kTranslations),
    table("USAGE_PRIVILEGES", INFO_USAGE_PRIVILEGES, kUsagePrivileges),
    table("VIEWS", INFO_VIEWS, kViews),
};

}  // namespace

const InfoTable* info_schema_find(const char* name) {
  for (const InfoTable& t : kInfoTables)
    if (std::strcmp(t.name, name) == 0) return &t;
  return nullptr;
}

int info_schema_describe_table(const char* name, DalTable* out) {
  size_t prefix = std::strlen(INFO_SCHEMA_PREFIX);
  if (!name || std::strncmp(name, INFO_SCHEMA_PREFIX, prefix) != 0) return SQI_NOT_FOUND;
  const InfoTable* t = info_schema_find(name + prefix);
  if (!t) return SQI_NOT_FOUND;
  *out = DalTable{};
  std::snprintf(out->schema, sizeof out->schema, "%s", INFO_SCHEMA_NAME);
  std::snprintf(out->name, sizeof out->name, "%s", t->name);
  out->column_count = t->column_count;
  out->pk_count = 0;
  out->backend_table = t;
  return SQI_OK;
}

int info_schema_describe_columns(const DalTable* table, int count, DalColumn* out) {
  const auto* t = static_cast<const InfoTable*>(table->backend_table);
  if (!t || count != t->column_count) return SQI_ERROR;
  for (int i = 0; i < count; ++i) {
    const InfoColumn& c = t->columns[i];
    DalColumn& d = out[i];
    d = DalColumn{};
    std::snprintf(d.schema, sizeof d.schema, "%s", INFO_SCHEMA_NAME);
    std::snprintf(d.table, sizeof d.table, "%s", t->name);
    std::snprintf(d.name, sizeof d.name, "%s", c.name);
    d.number = i + 1;
    d.sql_type = c.sql_type;
    std::snprintf(d.type_name, sizeof d.type_name, "%s",
                  c.sql_type == SQL_INTEGER ? "INTEGER"
                  : c.sql_type == SQL_CHAR  ? "CHAR"
                                            : "VARCHAR");
    d.length = c.length;
    d.precision = c.sql_type == SQL_INTEGER ? 10 : 0;
    d.nullable = SQL_NULLABLE;
    d.searchable = c.sql_type == SQL_INTEGER ? SQL_PRED_BASIC : SQL_SEARCHABLE;
    if (c.sql_type != SQL_INTEGER) {
      std::snprintf(d.literal_prefix, sizeof d.literal_prefix, "'");
      std::snprintf(d.literal_suffix, sizeof d.literal_suffix, "'");
      std::snprintf(d.create_params, sizeof d.create_params, "length");
    }
  }
  return SQI_OK;
}
