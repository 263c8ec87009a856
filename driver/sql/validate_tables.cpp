// FROM-list entries: base tables and views described through the data-access layer, derived
// tables exposing their select-list items as columns, joined tables holding both sides, and
// the matching of qualifiers (correlation or table names) against entries.
#include <cstdio>
#include <cstring>

#include <string>

#include "driver/dal/dal.h"
#include "driver/sql/validate_internal.h"
#include "support/strbuf.h"

namespace {

// Per-column maps of an entry with `count` columns.
void allocate_maps(ValidateContext& context, TableEntry* entry, int count) {
  size_t bytes = sizeof(int32_t) * static_cast<size_t>(count > 0 ? count : 1);
  entry->column_used = static_cast<int32_t*>(validate_alloc(context, bytes));
  entry->updatable = static_cast<int32_t*>(validate_alloc(context, bytes));
  entry->hidden = static_cast<int32_t*>(validate_alloc(context, bytes));
  entry->column_count = count;
  entry->visible_columns = count;
}

// Copies a name into a fixed field, cut (if ever) before a character that does not fit.
void copy_text(char* out, size_t size, const char* text) {
  utf8_format(out, size, "%s", text ? text : "");
}

// A derived table: its plan's select-list items become its columns.
TableEntry* make_derived_entry(ValidateContext& context, TableRefNode* reference) {
  auto* entry = new_plan<TableEntry>(context, PLAN_TABLE);
  entry->type = TABLE_DERIVED;
  entry->reference = reference;
  entry->correlation = reference->alias;
  entry->table.backend_index = -1;
  entry->derived = validate_query_expression(context, reference->table, context.plan, false);
  int count = entry->derived->item_count;
  int named = ListCount(reference->column_aliases);
  if (reference->column_aliases && named != count)
    general_error(context, "The derived table %s has %d columns but %d column names are given",
                  name_text(reference->alias), count, named);
  ListNode* column_alias = reference->column_aliases;
  allocate_maps(context, entry, count);
  entry->columns = static_cast<ColumnInfo*>(
      validate_alloc(context, sizeof(ColumnInfo) * static_cast<size_t>(count > 0 ? count : 1)));
  for (int i = 0; i < count; ++i) {
    const SelectColumn& item = entry->derived->items[i];
    ColumnInfo& column = entry->columns[i];
    const char* name = item.name;
    if (column_alias) {
      name = name_text(static_cast<NameNode*>(column_alias->data));
      column_alias = column_alias->next;
    }
    copy_text(column.name, sizeof column.name, name);
    copy_text(column.table, sizeof column.table, name_text(reference->alias));
    column.number = i + 1;
    column.sql_type = item.sql_type;
    column.length = static_cast<SQLLEN>(item.description.column_size);
    column.precision = item.description.precision;
    column.scale = item.description.scale;
    column.nullable = item.description.nullable;
    column.backend_index = -1;
  }
  return entry;
}

TableEntry* make_joined_entry(ValidateContext& context, JoinedTableNode* node) {
  auto* entry = new_plan<TableEntry>(context, PLAN_TABLE);
  entry->type = TABLE_JOINED;
  entry->reference = node;
  entry->table.backend_index = -1;
  auto* join = new_plan<JoinEntry>(context, PLAN_JOIN);
  join->node = node;
  join->join_type = node->join_type;
  join->left = make_from_entry(context, node->left);
  join->right = make_from_entry(context, node->right);
  entry->join = join;
  entry->visible_columns = join->left->visible_columns + join->right->visible_columns;
  validate_join(context, entry);
  return entry;
}

}  // namespace

TableEntry* describe_named_table(ValidateContext& context, TableNameNode* name) {
  const ValidateTarget& target = *context.target;
  auto* entry = new_plan<TableEntry>(context, PLAN_TABLE);
  entry->type = TABLE_BASE;
  entry->reference = name;
  entry->name = name;
  // Only the INFO_SCHEMA backend knows names qualified with its schema (compared exactly).
  std::string lookup = name_text(name->table);
  if (name->schema && std::strcmp(name_text(name->schema), INFO_SCHEMA_NAME) == 0)
    lookup = INFO_SCHEMA_PREFIX + lookup;
  int rc = target.dal ? DALDescribeTable(target.errors, target.dal, name_text(name->link),
                                         lookup.c_str(), &entry->table)
                      : SQI_NOT_FOUND;
  if (rc == SQI_NOT_FOUND) {
    char written[4 * SQI_NAME_MAX + 8];
    format_table_name(name, written, sizeof written);
    catalog_error(context, "42S02", "Base table or view %s not found", written);
  }
  if (rc != SQI_OK && rc != SQI_INFO) {  // the backend posted its diagnostic
    SetReturnCode(target.errors, SQL_ERROR);
    throw ValidationFailed{};
  }
  int count = entry->table.column_count;
  allocate_maps(context, entry, count);
  entry->columns = static_cast<ColumnInfo*>(
      validate_alloc(context, sizeof(ColumnInfo) * static_cast<size_t>(count > 0 ? count : 1)));
  if (count > 0) {
    rc = DALDescribeColumns(target.errors, target.dal, &entry->table, count, entry->columns);
    if (rc != SQI_OK && rc != SQI_INFO) {
      if (GetErrorCount(target.errors) == 0)
        catalog_error(context, "HY000", "error in DALDescribeColumns");
      SetReturnCode(target.errors, SQL_ERROR);
      throw ValidationFailed{};
    }
  }
  return entry;
}

TableEntry* make_from_entry(ValidateContext& context, Node* reference) {
  if (reference->kind == NODE_JOINED_TABLE)
    return make_joined_entry(context, node_cast<JoinedTableNode>(reference));
  auto* ref = node_cast<TableRefNode>(reference);
  if (ref->table->kind != NODE_TABLE_NAME) return make_derived_entry(context, ref);
  TableEntry* entry = describe_named_table(context, node_cast<TableNameNode>(ref->table));
  entry->reference = reference;
  entry->correlation = ref->alias;
  return entry;
}

void collect_scan_tables(ValidateContext& context, TableEntry* entry, ListNode** out) {
  if (entry->type == TABLE_JOINED) {
    collect_scan_tables(context, entry->join->left, out);
    collect_scan_tables(context, entry->join->right, out);
    return;
  }
  list_append(context, out, entry);
}

bool entry_matches_qualifier(const TableEntry* entry, const ColumnRefNode* qualifier) {
  if (!qualifier->table || entry->type == TABLE_JOINED) return false;
  if (entry->correlation) return name_matches(qualifier->table, entry->correlation->text);
  if (entry->type != TABLE_BASE) return false;
  if (!name_matches(qualifier->table, entry->table.name)) return false;
  if (qualifier->schema && !name_matches(qualifier->schema, entry->table.schema)) return false;
  if (qualifier->catalog && !name_matches(qualifier->catalog, entry->table.catalog)) return false;
  if (qualifier->link && !name_matches(qualifier->link, entry->table.link)) return false;
  return true;
}

TableEntry* find_qualified_entry(TableEntry* entry, const ColumnRefNode* reference) {
  if (entry->type == TABLE_JOINED) {
    TableEntry* found = find_qualified_entry(entry->join->left, reference);
    return found ? found : find_qualified_entry(entry->join->right, reference);
  }
  return entry_matches_qualifier(entry, reference) ? entry : nullptr;
}
