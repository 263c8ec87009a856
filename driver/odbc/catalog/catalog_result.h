// The result set of a catalog function: the rows of the data-access call,
// each stored as a fixed-length record of dm values, ordered by the function's
// sort keys through the engine's external sort, and read back by the cursor
// layer like the rows of a query.
#pragma once

#include <cstdint>
#include <vector>

#include "driver/dal/dal.h"
#include "driver/odbc/catalog/catalog_layout.h"
#include "driver/odbc/catalog/catalog_pattern.h"
#include "driver/odbc/catalog/catalog_request.h"
#include "driver/odbc/handles/handles.h"
#include "driver/sql/sort.h"
#include "support/value.h"

// Where one result column lies in a sort record.
struct CatalogField {
  int32_t offset;  // byte offset of its dm value
  int32_t size;    // bytes of the field: the column's dm length + 12
};

// The catalog result of a statement (QuillStmt::catalog).
struct CatalogResult {
  const CatalogLayout* layout = nullptr;  // result columns and sort keys
  CatalogRequest request;                 // the call's arguments (kept for the worker)
  std::vector<CatalogPattern> patterns;   // pattern arguments the rows are matched against
  bool odbc2 = false;                     // the application is an ODBC 2 one
  bool info = false;                      // a warning was posted (the call returns with info)
  DalIterator* iterator = nullptr;        // the data-access call's rows
  SortWork* sort = nullptr;               // the rows in the function's order
  std::vector<CatalogField> fields;       // per result column
  int32_t record_length = 0;              // bytes of one record
  std::vector<unsigned char> record;      // the record being written or read
  std::vector<QuillValue*> values;        // per result column: the current row's value
  std::vector<int> column_types;          // per result column: its SQL type (cursor layer)
  std::vector<int32_t> column_lengths;    // per result column: its column size (cursor layer)
  ErrorHeader* errors = nullptr;          // the statement's diagnostics (fetch failures)
};

// Makes the statement's catalog result for `layout` (its record layout and value slots in the
// statement's tree pool) and installs it as stmt->catalog. Null after posting HY001.
CatalogResult* catalog_result_create(QuillStmt* stmt, const CatalogLayout& layout,
                                     const CatalogRequest& request);
// Runs the data-access call, reads and sorts every row it gives, and opens the cursor layer
// over the sorted rows (stmt->cursor). 0, 1 when a warning came, or -1 after posting.
int catalog_result_run(QuillStmt* stmt, CatalogResult* result);
// Releases the statement's catalog result (sort, iterator, the object); null is fine.
void catalog_release(QuillStmt* stmt);
// The sort's working context for a statement's connection: work directory and memory budget.
SortContext catalog_sort_context(QuillStmt* stmt, char* directory, size_t size);
