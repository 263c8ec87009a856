// The result-column tables and sort keys of the catalog functions, and the type
// catalog of the view store: every row consistent with its ODBC type code.
#include <gtest/gtest.h>
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <set>
#include <string>

#include "driver/dal/sqi/sqi.h"
#include "driver/backends/type_info.h"
#include "driver/odbc/catalog/catalog_layout.h"
#include "driver/sql/sql_types.h"

namespace {

TEST(CatalogLayout, ColumnCountsAndSortKeysPerFunction) {
  struct Case {
    int function;
    bool pk_table;
    int columns;
    std::vector<int> keys;
    const char* last_column;
  } cases[] = {
      {SQL_API_SQLTABLES, false, 5, {4, 1, 2, 3}, "REMARKS"},
      {SQL_API_SQLCOLUMNS, false, 18, {1, 2, 3, 17}, "IS_NULLABLE"},
      {SQL_API_SQLSTATISTICS, false, 13, {4, 7, 5, 6, 8}, "FILTER_CONDITION"},
      {SQL_API_SQLSPECIALCOLUMNS, false, 8, {1}, "PSEUDO_COLUMN"},
      {SQL_API_SQLPRIMARYKEYS, false, 6, {1, 2, 3, 5}, "PK_NAME"},
      {SQL_API_SQLFOREIGNKEYS, false, 14, {1, 2, 3, 9}, "DEFERRABILITY"},
      {SQL_API_SQLFOREIGNKEYS, true, 14, {5, 6, 7, 9}, "DEFERRABILITY"},
      {SQL_API_SQLTABLEPRIVILEGES, false, 7, {1, 2, 3, 6}, "IS_GRANTABLE"},
      {SQL_API_SQLCOLUMNPRIVILEGES, false, 8, {1, 2, 3, 4, 7}, "IS_GRANTABLE"},
      {SQL_API_SQLPROCEDURES, false, 8, {1, 2, 3}, "PROCEDURE_TYPE"},
      {SQL_API_SQLPROCEDURECOLUMNS, false, 19, {1, 2, 3, 5}, "IS_NULLABLE"},
      {SQL_API_SQLGETTYPEINFO, false, 19, {2, 12, 1}, "INTERVAL_PRECISION"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.function);
    const CatalogLayout* layout = catalog_layout(c.function, c.pk_table);
    ASSERT_NE(nullptr, layout);
    EXPECT_EQ(c.columns, layout->column_count);
    EXPECT_EQ(c.keys, std::vector<int>(layout->keys, layout->keys + layout->key_count));
    EXPECT_STREQ(c.last_column, layout->columns[layout->column_count - 1].name);
    std::set<std::string> names;
    for (int i = 0; i < layout->column_count; ++i) {
      const CatalogColumn& column = layout->columns[i];
      EXPECT_TRUE(names.insert(column.name).second) << column.name;
      bool character = column.sql_type == SQL_VARCHAR || column.sql_type == SQL_CHAR;
      EXPECT_EQ(character, column.length > 0) << column.name;
    }
  }
  EXPECT_EQ(nullptr, catalog_layout(SQL_API_SQLEXECDIRECT, false));
}

TEST(CatalogLayout, TypeNames) {
  EXPECT_STREQ("VARCHAR", catalog_type_name(SQL_VARCHAR));
  EXPECT_STREQ("CHARACTER", catalog_type_name(SQL_CHAR));
  EXPECT_STREQ("INTEGER", catalog_type_name(SQL_INTEGER));
  EXPECT_STREQ("SMALLINT", catalog_type_name(SQL_SMALLINT));
  EXPECT_STREQ("UNKNOWN", catalog_type_name(SQL_DOUBLE));
}

// Reads cell `column` of the current row as an integer; kNull for NULL.
constexpr long kNull = -1000000;
long number(RowSet* rows, int column) {
  SQLINTEGER value = 0;
  SQLLEN indicator = 0;
  EXPECT_EQ(SQI_OK, rowset_get_data(rows, column, SQL_C_SLONG, &value, 0, &indicator));
  return indicator == SQL_NULL_DATA ? kNull : value;
}
std::string text(RowSet* rows, int column) {
  char buffer[64] = {0};
  SQLLEN indicator = 0;
  EXPECT_EQ(SQI_OK, rowset_get_data(rows, column, SQL_C_CHAR, buffer, sizeof buffer, &indicator));
  return indicator == SQL_NULL_DATA ? "NULL" : buffer;
}

TEST(TypeInfo, EveryTypeIsConsistentWithItsCode) {
  RowSet* rows = type_info_rowset(SQL_ALL_TYPES);
  ASSERT_NE(nullptr, rows);
  EXPECT_EQ(type_info_type_count(), static_cast<int>(rows->rows.size()));
  EXPECT_EQ(19u, rows->columns.size());
  std::set<int> seen;
  while (rowset_fetch(rows) == SQI_OK) {
    std::string name = text(rows, 1);
    SCOPED_TRACE(name);
    int type = static_cast<int>(number(rows, 2));
    EXPECT_TRUE(seen.insert(type).second);
    // The wide types are the catalog's names for the engine's character values.
    bool wide = type == SQL_WCHAR || type == SQL_WVARCHAR || type == SQL_WLONGVARCHAR;
    int family = wide ? FAMILY_CHARACTER : type_family(type);
    EXPECT_NE(FAMILY_NONE, family);
    TypeDescription description{};
    default_type_description(type, &description);
    bool interval = family == FAMILY_YEAR_MONTH || family == FAMILY_DAY_TIME;
    // Sizes of fixed types follow the engine's own type table.
    if (family == FAMILY_DATETIME || interval || type == SQL_INTEGER || type == SQL_BIGINT) {
      EXPECT_EQ(description.column_size, number(rows, 3));
    }
    EXPECT_EQ(SQL_NULLABLE, number(rows, 7));
    bool character = family == FAMILY_CHARACTER;
    EXPECT_EQ(character ? SQL_TRUE : SQL_FALSE, number(rows, 8));
    long searchable = number(rows, 9);
    long expected_searchable = type == SQL_LONGVARCHAR || type == SQL_WLONGVARCHAR ? SQL_PRED_CHAR
                               : type == SQL_LONGVARBINARY                         ? SQL_PRED_NONE
                               : character                                         ? SQL_SEARCHABLE
                                                                                   : SQL_PRED_BASIC;
    EXPECT_EQ(expected_searchable, searchable);
    bool numeric = family == FAMILY_NUMERIC && type != SQL_BIT;
    EXPECT_EQ(numeric ? SQL_FALSE : kNull, number(rows, 10));
    EXPECT_EQ(numeric ? 10 : kNull, number(rows, 18));
    // Verbose type and subcode.
    long verbose = number(rows, 16), subcode = number(rows, 17);
    if (family == FAMILY_DATETIME) {
      EXPECT_EQ(SQL_DATETIME, verbose);
      EXPECT_EQ(type - SQL_TYPE_DATE + SQL_CODE_DATE, subcode);
      EXPECT_EQ("'}", text(rows, 5));
    } else if (interval) {
      EXPECT_EQ(SQL_INTERVAL, verbose);
      EXPECT_EQ(type - 100, subcode);
      EXPECT_EQ("INTERVAL '", text(rows, 4));
      EXPECT_EQ(std::string("' ") + (name.c_str() + std::strlen("INTERVAL ")), text(rows, 5));
      EXPECT_EQ(2, number(rows, 19));
    } else {
      EXPECT_EQ(type, verbose);
      EXPECT_EQ(kNull, subcode);
      EXPECT_EQ(kNull, number(rows, 19));
    }
    if (character) {
      EXPECT_EQ("'", text(rows, 4));
    }
    if (family == FAMILY_BINARY) {
      EXPECT_EQ("0x", text(rows, 4));
    }
  }
  rowset_free(rows);
  EXPECT_EQ(35u, seen.size());
}

TEST(TypeInfo, OneTypeOrNone) {
  struct Case {
    int type;
    size_t rows;
    const char* name;
  } cases[] = {
      {SQL_INTEGER, 1, "INTEGER"},
      {SQL_LONGVARCHAR, 1, "LONG VARCHAR"},
      {SQL_TYPE_DATE, 1, "DATE"},
      {SQL_INTERVAL_MINUTE_TO_SECOND, 1, "INTERVAL MINUTE TO SECOND"},
      {SQL_WVARCHAR, 1, "WVARCHAR"},
      {SQL_GUID, 0, nullptr},
      {SQL_DATE, 0, nullptr},  // ODBC 2 codes are mapped by the caller
  };
  for (const Case& c : cases) {
    RowSet* rows = type_info_rowset(c.type);
    ASSERT_NE(nullptr, rows);
    EXPECT_EQ(c.rows, rows->rows.size()) << c.type;
    if (c.name && rowset_fetch(rows) == SQI_OK) {
      EXPECT_EQ(c.name, text(rows, 1));
    }
    rowset_free(rows);
  }
}

}  // namespace
