// The static description of INFO_SCHEMA's tables, shared by the table lookup
// and the row builders.
#pragma once

// Which rows a table holds.
enum InfoTableKind : int {
  INFO_CHARACTER_SETS,
  INFO_COLLATIONS,
  INFO_COLUMN_PRIVILEGES,
  INFO_COLUMNS,
  INFO_SYSTEM_COLUMNS,
  INFO_INDEXES,
  INFO_SCHEMATA,
  INFO_SERVER_INFO,
  INFO_SQL_LANGUAGES,
  INFO_TABLE_PRIVILEGES,
  INFO_TABLES,
  INFO_SYSTEM_TABLES,
  INFO_TRANSLATIONS,
  INFO_USAGE_PRIVILEGES,
  INFO_VIEWS,
};

// One column: name, SQL type (12 VARCHAR, 4 INTEGER, 1 CHAR) and length.
struct InfoColumn {
  const char* name;  // column name
  int sql_type;      // SQL type code
  int length;        // column size (11 for INTEGER)
};

// One table.
struct InfoTable {
  const char* name;           // table name (exact, upper case)
  InfoTableKind kind;         // its row source
  const InfoColumn* columns;  // its columns in order
  int column_count;           // entries at `columns`
};

// The table of that exact name, or null.
const InfoTable* info_schema_find(const char* name);
