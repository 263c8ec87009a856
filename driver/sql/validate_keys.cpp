// Key columns of a query's tables (`extract_keyset_values`): each base table's key map from
// DALGetPKInfo, the key columns marked as read, and the plan's keyset-possible flag cleared
// when some table cannot be re-addressed by key.
#include <cstring>

#include "driver/dal/dal.h"
#include "driver/sql/validate_internal.h"

namespace {

void extract_table_keys(ValidateContext& context, QueryPlan* plan, TableEntry* entry) {
  if (entry->type != TABLE_BASE || entry->table.pk_count <= 0) {
    plan->keyset_possible = 0;
    return;
  }
  int capacity = entry->table.pk_count;
  auto* keys = static_cast<DalKeyColumn*>(
      validate_alloc(context, sizeof(DalKeyColumn) * static_cast<size_t>(capacity)));
  int count = 0;
  int rc = DALGetPKInfo(context.target->dal, &entry->table, keys, capacity, &count);
  if (rc != SQI_OK && rc != SQI_INFO) catalog_error(context, "HY000", "error in DALGetPKInfo");
  if (count > capacity) count = capacity;
  entry->key_map = static_cast<int32_t*>(
      validate_alloc(context, sizeof(int32_t) * static_cast<size_t>(count > 0 ? count : 1)));
  entry->key_count = 0;
  for (int k = 0; k < count; ++k) {
    const DalKeyColumn& key = keys[k];
    if (key.number == KEY_NONE) {
      entry->key_map = nullptr;
      entry->key_count = 0;
      plan->keyset_possible = 0;
      return;
    }
    if (key.number == KEY_ROW_ID || key.number == KEY_BOOKMARK) {
      entry->key_map[entry->key_count++] = key.number;
      continue;
    }
    int found = -1;
    for (int c = 0; c < entry->column_count && found < 0; ++c)
      if (std::strcmp(key.name, entry->columns[c].name) == 0) found = c;
    if (found < 0)
      catalog_error(context, "HY000", "error matching column name in extract_keyset_values");
    entry->column_used[found] = 1;
    entry->key_map[entry->key_count++] = found + 1;
  }
  if (entry->key_count == 0) plan->keyset_possible = 0;
}

}  // namespace

void extract_keyset_values(ValidateContext& context, QueryPlan* plan) {
  for (ListNode* at = plan->scan_tables; at; at = at->next)
    extract_table_keys(context, plan, static_cast<TableEntry*>(at->data));
}
