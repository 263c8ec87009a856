// An in-memory result of rows with typed cells and a forward cursor: what a
// backend hands out for catalog calls, and the conversion of its cells to the
// C types an application asks for.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include <cstdint>
#include <string>
#include <vector>

// What a cell holds.
enum RowCellKind : int {
  ROW_CELL_NULL = 0,    // SQL NULL
  ROW_CELL_TEXT = 1,    // character text
  ROW_CELL_INT16 = 2,   // 16-bit integer
  ROW_CELL_INT32 = 3,   // 32-bit integer
  ROW_CELL_DOUBLE = 4,  // double
};

// One value of a row.
struct RowCell {
  RowCellKind kind = ROW_CELL_NULL;  // what the cell holds
  std::string text;                  // the text of a ROW_CELL_TEXT cell
  int64_t integer = 0;               // the value of an integer cell
  double real = 0.0;                 // the value of a ROW_CELL_DOUBLE cell
};

// Name and SQL type of one result column.
struct RowSetColumn {
  std::string name;  // result column name (for example "TABLE_NAME")
  int sql_type;      // SQL type code (SQL_VARCHAR, SQL_SMALLINT, SQL_INTEGER...)
};

// A result: its columns, its rows and the cursor over them.
struct RowSet {
  std::vector<RowSetColumn> columns;       // result columns in order
  std::vector<std::vector<RowCell>> rows;  // rows, each with one cell per column
  size_t position = 0;                     // 1-based current row; 0 before the first fetch
};

// A new empty result with the given columns; null when memory runs out.
RowSet* rowset_create(const RowSetColumn* columns, int count);
// Releases a result (null is fine).
void rowset_free(RowSet* rows);

// Starts a new row with every cell NULL; false when memory runs out.
bool rowset_add_row(RowSet* rows);
// Sets cell `column` (1-based) of the last row; false when out of range, no row, or memory
// runs out. A null text stores NULL.
bool rowset_set_text(RowSet* rows, int column, const char* text);
// Sets a 16-bit integer cell; also false when the value does not fit 16 bits.
bool rowset_set_int16(RowSet* rows, int column, int value);
// Sets a 32-bit integer cell.
bool rowset_set_int32(RowSet* rows, int column, int32_t value);
// Sets a double cell.
bool rowset_set_double(RowSet* rows, int column, double value);
// Sets the cell to NULL.
bool rowset_set_null(RowSet* rows, int column);

// Moves to the next row: SQI_OK, or SQI_NO_DATA past the last row.
int rowset_fetch(RowSet* rows);

// Converts cell `column` (1-based) of the current row to `c_type` into `buffer` (capacity
// `length` bytes for character data). NULL gives SQL_NULL_DATA in *indicator. Character
// data is cut to length - 1 bytes plus NUL with the full length in *indicator.
// Returns SQI_OK, SQI_INFO when text was cut, or SQI_ERROR (no current row, bad column,
// unsupported conversion, value out of range, NULL without an indicator); the caller posts.
int rowset_get_data(RowSet* rows, int column, int c_type, void* buffer, SQLLEN length,
                    SQLLEN* indicator);
