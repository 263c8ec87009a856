// Starting a scan of a catalog table through the data-access layer with restrictions given
// as column names and value texts, as the backend suites do before reading the rows.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/dal/sqi/restriction.h"

// Column name and the value text it is compared with.
using ScanParams = std::vector<std::pair<std::string, std::string>>;

// Describes `table` into `descriptor` and `columns`, then starts a scan on `it` with operator
// `op` on each parameter (count negated: exact filtering asked). SqiResult; SQI_NOT_FOUND
// when the table is unknown.
inline int start_table_scan(ErrorHeader* errors, Dal* dal, DalIterator* it, MemPool* pool,
                            const char* table, const ScanParams& params, int op,
                            DalTable* descriptor, std::vector<DalColumn>* columns) {
  SetupErrorHeader(errors, 0);
  DALResetIterator(it);
  *descriptor = DalTable{};
  if (DALDescribeTable(errors, dal, "", table, descriptor) != SQI_OK) return SQI_NOT_FOUND;
  columns->assign(static_cast<size_t>(descriptor->column_count), DalColumn{});
  if (DALDescribeColumns(errors, dal, descriptor, descriptor->column_count, columns->data()) !=
      SQI_OK)
    return SQI_ERROR;
  std::vector<Restriction> records(params.size());
  std::vector<Restriction*> pointers;
  for (size_t i = 0; i < params.size(); ++i) {
    Restriction& r = records[i];
    for (DalColumn& column : *columns)
      if (params[i].first == column.name) {
        r.column = &column;
        r.column_number = column.number;
      }
    r.op = op;
    r.value = NewValue(pool, 16);
    set_value_to_text(r.value, params[i].second.data(), params[i].second.size());
    pointers.push_back(&r);
  }
  int rc = DALStartScan(it, descriptor, nullptr, nullptr, -static_cast<int>(pointers.size()),
                        pointers.data());
  for (Restriction& r : records) release_value(pool, r.value);
  return rc;
}
