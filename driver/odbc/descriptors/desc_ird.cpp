// Filling the implementation row descriptor from a query's result columns:
// names, types, display sizes and the catalog facts of columns that come
// straight from a base table, plus the bookmark record when bookmarks are on.
#include <cstring>

#include "driver/odbc/descriptors/desc_records.h"
#include "driver/odbc/handles/frame.h"
#include "driver/sql/plan.h"
#include "support/strbuf.h"

namespace {

// Deepest chain of derived tables followed to find a column's base table.
constexpr int kMaxDerivedDepth = 16;

// Copies `text` into a fixed field, cut at a whole UTF-8 character when too long.
void put_name(char* field, size_t size, const char* text) {
  if (!text) text = "";
  size_t length = utf8_truncation_point(text, std::strlen(text), size - 1);
  std::memcpy(field, text, length);
  field[length] = '\0';
}

template <size_t N>
void put_name(char (&field)[N], const char* text) {
  put_name(field, N, text);
}

bool is_character(int code) {
  switch (code) {
    case SQL_CHAR:
    case SQL_VARCHAR:
    case SQL_LONGVARCHAR:
    case SQL_WCHAR:
    case SQL_WVARCHAR:
    case SQL_WLONGVARCHAR:
      return true;
    default:
      return false;
  }
}

bool is_binary(int code) {
  return code == SQL_BINARY || code == SQL_VARBINARY || code == SQL_LONGVARBINARY;
}

bool is_numeric(int code) {
  switch (code) {
    case SQL_NUMERIC:
    case SQL_DECIMAL:
    case SQL_INTEGER:
    case SQL_SMALLINT:
    case SQL_TINYINT:
    case SQL_BIGINT:
    case SQL_FLOAT:
    case SQL_REAL:
    case SQL_DOUBLE:
      return true;
    default:
      return false;
  }
}

bool is_long(int code) {
  return code == SQL_LONGVARCHAR || code == SQL_WLONGVARCHAR || code == SQL_LONGVARBINARY;
}

// Characters needed to show a value of the column as text.
SQLLEN display_size_of(const TypeDescription& d, int code) {
  switch (code) {
    case SQL_BIT:
      return 1;
    case SQL_TINYINT:
      return 4;
    case SQL_SMALLINT:
      return 6;
    case SQL_INTEGER:
      return 11;
    case SQL_BIGINT:
      return 20;
    case SQL_REAL:
      return 14;
    case SQL_FLOAT:
    case SQL_DOUBLE:
      return 24;
    case SQL_NUMERIC:
    case SQL_DECIMAL:
      return d.precision + 2;
    default:
      break;
  }
  if (is_binary(code)) return static_cast<SQLLEN>(d.column_size) * 2;
  return static_cast<SQLLEN>(d.column_size);
}

// Quotes around a literal of the type, as the type catalog gives them.
void set_literal_quotes(DescRecord* record, int code) {
  const char* prefix = "";
  const char* suffix = "";
  if (is_character(code)) {
    prefix = suffix = "'";
  } else if (is_binary(code)) {
    prefix = "0x";
  } else if (code == SQL_DATE || code == SQL_TYPE_DATE) {
    prefix = "{d '";
    suffix = "'}";
  } else if (code == SQL_TIME || code == SQL_TYPE_TIME) {
    prefix = "{t '";
    suffix = "'}";
  } else if (code == SQL_TIMESTAMP || code == SQL_TYPE_TIMESTAMP) {
    prefix = "{ts '";
    suffix = "'}";
  }
  put_name(record->literal_prefix, prefix);
  put_name(record->literal_suffix, suffix);
}

// The type code reported for a description; engine-only codes become ODBC ones.
int reported_type(const TypeDescription& d, int fallback) {
  int code = d.sql_type ? d.sql_type : fallback;
  if (code == SQL_TYPE_TRUTH) return SQL_BIT;
  if (type_family(code) == FAMILY_NONE) return SQL_VARCHAR;
  return code;
}

// The base-table column an item's expression reads directly, following derived tables.
struct BaseColumn {
  const TableEntry* table = nullptr;  // the base table entry
  int column = -1;                    // 0-based column in it
};

BaseColumn find_base_column(const Node* expression, int depth) {
  if (!expression || expression->kind != NODE_COLUMN_REF || depth > kMaxDerivedDepth) return {};
  const auto* ref = node_cast<ColumnRefNode>(expression);
  const TableEntry* table = ref->resolved_table;
  int column = ref->resolved_column;
  if (!table || table->kind != PLAN_TABLE || column < 0) return {};
  if (table->type == TABLE_BASE) {
    if (!table->columns || column >= table->column_count) return {};
    return {table, column};
  }
  if (table->type == TABLE_DERIVED && table->derived && column < table->derived->item_count)
    return find_base_column(table->derived->items[column].expression, depth + 1);
  return {};
}

void fill_base_facts(DescRecord* record, const BaseColumn& base) {
  const DalTable& t = base.table->table;
  const ColumnInfo& c = base.table->columns[base.column];
  put_name(record->base_column_name, c.name);
  put_name(record->base_table_name, t.name);
  put_name(record->table_name, t.name);
  put_name(record->catalog_name, t.catalog);
  put_name(record->schema_name, t.schema);
  if (c.searchable) record->searchable = static_cast<SQLSMALLINT>(c.searchable);
  if (c.literal_prefix[0] || c.literal_suffix[0]) {
    put_name(record->literal_prefix, c.literal_prefix);
    put_name(record->literal_suffix, c.literal_suffix);
  }
  if (base.table->updatable && base.table->updatable[base.column])
    record->updatable = SQL_ATTR_WRITE;
}

void fill_column(DescRecord* record, const SelectColumn& item, int index) {
  const TypeDescription& d = item.description;
  int code = reported_type(d, item.sql_type);
  desc_set_concise_type(record, static_cast<SQLSMALLINT>(code));
  record->column_index = index;
  put_name(record->name, item.name);
  put_name(record->label, item.name);
  record->unnamed = record->name[0] ? SQL_NAMED : SQL_UNNAMED;
  const char* type_name = d.type_name && d.sql_type == code ? d.type_name : nullptr;
  TypeDescription fallback{};
  if (!type_name) {
    default_type_description(code, &fallback);
    type_name = fallback.type_name;
  }
  put_name(record->type_name, type_name);
  record->length = static_cast<SQLULEN>(d.column_size);
  // Binary descriptions count their text form; the data itself is half of it.
  record->octet_length = static_cast<SQLLEN>(is_binary(code) ? d.column_size : d.length);
  record->precision = static_cast<SQLSMALLINT>(d.precision);
  record->scale = static_cast<SQLSMALLINT>(d.scale);
  record->datetime_interval_precision = d.interval_precision;
  record->num_prec_radix = is_numeric(code) ? 10 : 0;
  record->nullable = static_cast<SQLSMALLINT>(d.nullable);
  record->display_size = display_size_of(d, code);
  record->unsigned_flag = is_numeric(code) ? SQL_FALSE : SQL_TRUE;
  record->case_sensitive = is_character(code) ? SQL_TRUE : SQL_FALSE;
  record->searchable = is_long(code) ? SQL_PRED_CHAR : SQL_PRED_SEARCHABLE;
  record->updatable = SQL_ATTR_READONLY;
  record->fixed_prec_scale = SQL_FALSE;
  record->auto_unique_value = SQL_FALSE;
  set_literal_quotes(record, code);
  BaseColumn base = find_base_column(item.expression, 0);
  if (base.table) fill_base_facts(record, base);
}

void fill_bookmark(DescRecord* record) {
  desc_set_concise_type(record, SQL_C_UBIGINT);
  record->column_index = -1;
  put_name(record->name, "BOOKMARK");
  put_name(record->label, "BOOKMARK");
  put_name(record->type_name, "SQL_BOOKMARK");
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

}  // namespace

bool desc_fill_ird(QuillStmt* stmt, const QueryPlan* plan) {
  QuillDesc* ird = stmt->ird;
  if (!reset_desc(ird)) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return false;
  }
  int count = plan && plan->items ? plan->item_count : 0;
  bool bookmarks = stmt->attrs.use_bookmarks != SQL_UB_OFF;
  if (count == 0 && !bookmarks) return true;
  if (!desc_record(ird, count, true)) {
    post_call_error(stmt->errors, "HY001", MSG_MEMORY);
    return false;
  }
  if (bookmarks) fill_bookmark(desc_record(ird, 0, false));
  for (int i = 0; i < count; ++i) fill_column(desc_record(ird, i + 1, false), plan->items[i], i);
  ird->count = static_cast<SQLSMALLINT>(count);
  return true;
}
