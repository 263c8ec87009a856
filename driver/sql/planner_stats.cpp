// Planner statistics: the table estimate and indexes of each standalone base table from
// DALStatistics, its cost factors from DALGetInfo, and the columns its backend marks as
// required parameters. Statistics failures are not query failures: defaults stand.
#include <strings.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "driver/sql/planner_internal.h"

namespace {

constexpr double kDefaultEstimate = 10000;
constexpr int kIndexAll = 99;  // every index, as the statistics request asks

// Column `column` of the current statistics row as text; false when NULL or unreadable.
bool read_text(DalIterator* it, int column, char* buffer, SQLLEN size) {
  SQLLEN indicator = 0;
  buffer[0] = '\0';
  int rc = DALGetData(it, column, SQL_C_CHAR, buffer, size, &indicator);
  return (rc == SQI_OK || rc == SQI_INFO) && indicator != SQL_NULL_DATA;
}

// 0-based column of `entry` named `name`, or -1.
int column_named(const TableEntry* entry, const char* name) {
  for (int c = 0; c < entry->column_count; ++c)
    if (strcasecmp(entry->columns[c].name, name) == 0) return c;
  return -1;
}

// One index statistics row added to the table's indexes.
void add_index_row(PlannerTable& table, DalIterator* it) {
  char name[SQI_NAME_MAX + 1], text[64], column[SQI_NAME_MAX + 1];
  if (!read_text(it, 6, name, sizeof name)) return;
  PlannerIndex* index = nullptr;
  for (PlannerIndex& existing : table.indexes)
    if (existing.name == name) index = &existing;
  if (!index) {
    table.indexes.push_back(PlannerIndex{name, false, {}, table.estimate / 10});
    index = &table.indexes.back();
    index->unique = read_text(it, 4, text, sizeof text) && std::atoi(text) == 0;
    if (read_text(it, 11, text, sizeof text)) index->cardinality = std::strtod(text, nullptr);
  }
  int ordinal = read_text(it, 8, text, sizeof text) ? std::atoi(text) : 0;
  int number = read_text(it, 9, column, sizeof column) ? column_named(table.entry, column) : -1;
  if (ordinal < 1 || ordinal > table.entry->column_count)
    ordinal = static_cast<int>(index->columns.size()) + 1;
  if (index->columns.size() < static_cast<size_t>(ordinal))
    index->columns.resize(static_cast<size_t>(ordinal), -1);
  index->columns[static_cast<size_t>(ordinal - 1)] = number;
}

// Reads the statistics answer of one table.
void read_statistics(Dal* dal, DalIterator* it, PlannerTable& table) {
  const DalTable& described = table.entry->table;
  char catalog[2 * SQI_NAME_MAX + 2];
  const char* link = dal->entries[described.backend_index].link;
  std::snprintf(catalog, sizeof catalog, "%s%s%s", link, link[0] ? "$" : "", described.catalog);
  SqiText catalog_text{catalog[0] ? catalog : nullptr, catalog[0] ? SQL_NTS : 0};
  SqiText schema_text{described.schema[0] ? described.schema : nullptr,
                      described.schema[0] ? SQL_NTS : 0};
  SqiText name_text{described.name, SQL_NTS};
  int rc = DALStatistics(it, catalog_text, schema_text, name_text, kIndexAll, 0);
  if (rc != SQI_OK && rc != SQI_INFO) return;
  char text[SQI_NAME_MAX + 1];
  while ((rc = DALFetch(it)) == SQI_OK || rc == SQI_INFO) {
    if (read_text(it, 3, text, sizeof text) && strcasecmp(text, described.name) != 0) continue;
    int type = read_text(it, 7, text, sizeof text) ? std::atoi(text) : -1;
    if (type == SQL_TABLE_STAT) {
      table.estimate =
          read_text(it, 11, text, sizeof text) ? std::strtod(text, nullptr) : kDefaultEstimate;
      continue;
    }
    add_index_row(table, it);
  }
}

// The columns of `entry` that its backend marked as required parameters.
std::vector<int> required_columns(const TableEntry* entry) {
  std::vector<int> columns;
  for (int c = 0; c < entry->column_count; ++c)
    if (entry->columns[c].required) columns.push_back(c);
  return columns;
}

bool valid_backend(const Dal* dal, const TableEntry* entry) {
  int index = entry->table.backend_index;
  return index >= 0 && index < dal->count && dal->entries[index].present && dal->entries[index].ops;
}

}  // namespace

int planner_table_index(const PlannerState& state, const void* entry) {
  for (size_t i = 0; i < state.tables.size(); ++i)
    if (state.tables[i].entry == entry) return static_cast<int>(i);
  return -1;
}

void planner_load_statistics(PlannerState& state) {
  ErrorHeader* scratch = CreateErrorHeader(state.pool, nullptr);
  if (!scratch) return;
  DalIterator* it = DALOpenIterator(scratch, state.dal);
  for (PlannerTable& table : state.tables) {
    TableEntry* entry = table.entry;
    if (!table.standalone || entry->type != TABLE_BASE || !entry->column_used ||
        !valid_backend(state.dal, entry))
      continue;
    table.required_columns = required_columns(entry);
    if (!it) continue;
    double factor = 1.0;
    if (DALGetInfo(it, &entry->table, 2, &factor) == SQI_OK && factor > 0)
      table.cost_factor = factor;
    int integer_factor = 1;
    if (DALGetInfo(it, &entry->table, 6, &integer_factor) == SQI_OK)
      table.integer_factor = integer_factor;
    read_statistics(state.dal, it, table);
    DALResetIterator(it);
  }
  if (it) DALCloseIterator(it);
  FreeErrorHeader(scratch);
}

bool planner_column_indexed(const PlannerState& state, int table, int column) {
  if (table < 0 || column < 0) return false;
  for (const PlannerIndex& index : state.tables[static_cast<size_t>(table)].indexes)
    for (int indexed : index.columns)
      if (indexed == column) return true;
  return false;
}

bool planner_exact_filtering_offered(PlannerState& state, int table) {
  TableEntry* entry = state.tables[static_cast<size_t>(table)].entry;
  if (entry->type != TABLE_BASE || !valid_backend(state.dal, entry)) return false;
  ErrorHeader* scratch = CreateErrorHeader(state.pool, nullptr);
  if (!scratch) return false;
  DalIterator* it = DALOpenIterator(scratch, state.dal);
  int flag = 0;
  bool offered = it && DALGetInfo(it, &entry->table, 7, &flag) == SQI_OK && flag != 0;
  if (it) DALCloseIterator(it);
  FreeErrorHeader(scratch);
  return offered;
}
