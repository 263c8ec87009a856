// In-memory catalog results: building rows, the cursor, and converting a
// cell to the C type the caller asks for. Also the copy of catalog-function
// text arguments that every backend uses.
#include "driver/dal/sqi/rowset.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

#include "driver/dal/sqi/sqi.h"

bool sqi_text_copy(SqiText text, char* out, int size) {
  if (out == nullptr || size <= 0) return false;
  out[0] = '\0';
  if (text.text == nullptr) return false;
  size_t length = text.length == SQL_NTS ? std::strlen(text.text)
                  : text.length < 0      ? 0
                                         : static_cast<size_t>(text.length);
  // A counted argument may still carry an early NUL; the text ends there.
  if (text.length != SQL_NTS) length = strnlen(text.text, length);
  if (length > static_cast<size_t>(size - 1)) length = static_cast<size_t>(size - 1);
  std::memcpy(out, text.text, length);
  out[length] = '\0';
  return true;
}

RowSet* rowset_create(const RowSetColumn* columns, int count) {
  try {
    RowSet* rows = new RowSet;
    for (int i = 0; i < count; ++i) rows->columns.push_back(columns[i]);
    return rows;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

void rowset_free(RowSet* rows) {
  delete rows;
}

bool rowset_add_row(RowSet* rows) {
  if (rows == nullptr) return false;
  try {
    rows->rows.emplace_back(rows->columns.size());
    return true;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

// The cell a setter writes: `column` of the last row, or null when there is none.
static RowCell* last_row_cell(RowSet* rows, int column) {
  if (rows == nullptr || rows->rows.empty()) return nullptr;
  std::vector<RowCell>& row = rows->rows.back();
  if (column < 1 || static_cast<size_t>(column) > row.size()) return nullptr;
  return &row[column - 1];
}

bool rowset_set_text(RowSet* rows, int column, const char* text) {
  RowCell* cell = last_row_cell(rows, column);
  if (cell == nullptr) return false;
  if (text == nullptr) return rowset_set_null(rows, column);
  try {
    cell->text = text;
  } catch (const std::bad_alloc&) {
    return false;
  }
  cell->kind = ROW_CELL_TEXT;
  return true;
}

bool rowset_set_int16(RowSet* rows, int column, int value) {
  RowCell* cell = last_row_cell(rows, column);
  if (cell == nullptr || value < INT16_MIN || value > INT16_MAX) return false;
  cell->kind = ROW_CELL_INT16;
  cell->integer = value;
  return true;
}

bool rowset_set_int32(RowSet* rows, int column, int32_t value) {
  RowCell* cell = last_row_cell(rows, column);
  if (cell == nullptr) return false;
  cell->kind = ROW_CELL_INT32;
  cell->integer = value;
  return true;
}

bool rowset_set_double(RowSet* rows, int column, double value) {
  RowCell* cell = last_row_cell(rows, column);
  if (cell == nullptr) return false;
  cell->kind = ROW_CELL_DOUBLE;
  cell->real = value;
  return true;
}

bool rowset_set_null(RowSet* rows, int column) {
  RowCell* cell = last_row_cell(rows, column);
  if (cell == nullptr) return false;
  cell->kind = ROW_CELL_NULL;
  cell->text.clear();
  return true;
}

int rowset_fetch(RowSet* rows) {
  if (rows == nullptr) return SQI_NO_DATA;
  if (rows->position < rows->rows.size()) {
    ++rows->position;
    return SQI_OK;
  }
  rows->position = rows->rows.size() + 1;  // stays past the end
  return SQI_NO_DATA;
}

// The C type SQL_C_DEFAULT stands for with a column of `sql_type`.
static int default_c_type(int sql_type) {
  switch (sql_type) {
    case SQL_SMALLINT:
    case SQL_TINYINT:
      return SQL_C_SSHORT;
    case SQL_INTEGER:
      return SQL_C_SLONG;
    case SQL_BIGINT:
      return SQL_C_SBIGINT;
    case SQL_DOUBLE:
    case SQL_FLOAT:
    case SQL_REAL:
      return SQL_C_DOUBLE;
    default:
      return SQL_C_CHAR;
  }
}

// The cell as text (numbers in decimal).
static std::string cell_text(const RowCell& cell) {
  char digits[64];
  switch (cell.kind) {
    case ROW_CELL_TEXT:
      return cell.text;
    case ROW_CELL_INT16:
    case ROW_CELL_INT32:
      std::snprintf(digits, sizeof digits, "%lld", static_cast<long long>(cell.integer));
      return digits;
    case ROW_CELL_DOUBLE:
      std::snprintf(digits, sizeof digits, "%.15g", cell.real);
      return digits;
    default:
      return std::string();
  }
}

// The cell as an integer; false when it is text that is not a whole number or a
// double outside the 64-bit range.
static bool cell_integer(const RowCell& cell, int64_t* value) {
  switch (cell.kind) {
    case ROW_CELL_INT16:
    case ROW_CELL_INT32:
      *value = cell.integer;
      return true;
    case ROW_CELL_DOUBLE:
      if (!std::isfinite(cell.real) || cell.real <= -9.2e18 || cell.real >= 9.2e18) return false;
      *value = static_cast<int64_t>(cell.real);  // truncates toward zero
      return true;
    case ROW_CELL_TEXT: {
      const char* text = cell.text.c_str();
      char* end = nullptr;
      errno = 0;
      long long parsed = std::strtoll(text, &end, 10);
      if (end == text || *end != '\0' || errno == ERANGE) return false;
      *value = parsed;
      return true;
    }
    default:
      return false;
  }
}

// The cell as a double; false when it is text that is not a number.
static bool cell_double(const RowCell& cell, double* value) {
  switch (cell.kind) {
    case ROW_CELL_INT16:
    case ROW_CELL_INT32:
      *value = static_cast<double>(cell.integer);
      return true;
    case ROW_CELL_DOUBLE:
      *value = cell.real;
      return true;
    case ROW_CELL_TEXT: {
      const char* text = cell.text.c_str();
      char* end = nullptr;
      double parsed = std::strtod(text, &end);
      if (end == text || *end != '\0') return false;
      *value = parsed;
      return true;
    }
    default:
      return false;
  }
}

// Writes text cut to the buffer; SQI_INFO when it did not fit.
static int put_text(const std::string& text, void* buffer, SQLLEN length, SQLLEN* indicator) {
  if (indicator != nullptr) *indicator = static_cast<SQLLEN>(text.size());
  if (buffer == nullptr) return SQI_OK;
  if (length <= 0) return text.empty() ? SQI_OK : SQI_INFO;
  size_t room = static_cast<size_t>(length - 1);
  size_t count = text.size() < room ? text.size() : room;
  std::memcpy(buffer, text.data(), count);
  static_cast<char*>(buffer)[count] = '\0';
  return count < text.size() ? SQI_INFO : SQI_OK;
}

// Stores an integer into a fixed-size C type after a range check.
template <typename T>
static int put_integer(int64_t value, void* buffer, SQLLEN* indicator) {
  if (value < static_cast<int64_t>(std::numeric_limits<T>::min()) ||
      (value > 0 && static_cast<uint64_t>(value) > std::numeric_limits<T>::max()))
    return SQI_ERROR;
  if (indicator != nullptr) *indicator = sizeof(T);
  if (buffer != nullptr) {
    T narrowed = static_cast<T>(value);
    std::memcpy(buffer, &narrowed, sizeof narrowed);
  }
  return SQI_OK;
}

int rowset_get_data(RowSet* rows, int column, int c_type, void* buffer, SQLLEN length,
                    SQLLEN* indicator) {
  if (rows == nullptr || rows->position == 0 || rows->position > rows->rows.size())
    return SQI_ERROR;
  if (column < 1 || static_cast<size_t>(column) > rows->columns.size()) return SQI_ERROR;
  const RowCell& cell = rows->rows[rows->position - 1][column - 1];
  if (c_type == SQL_C_DEFAULT) c_type = default_c_type(rows->columns[column - 1].sql_type);
  if (cell.kind == ROW_CELL_NULL) {
    if (indicator == nullptr) return SQI_ERROR;
    *indicator = SQL_NULL_DATA;
    return SQI_OK;
  }
  int64_t integer = 0;
  double real = 0.0;
  switch (c_type) {
    case SQL_C_CHAR:
      try {
        return put_text(cell_text(cell), buffer, length, indicator);
      } catch (const std::bad_alloc&) {
        return SQI_ERROR;
      }
    case SQL_C_SHORT:
    case SQL_C_SSHORT:
      if (!cell_integer(cell, &integer)) return SQI_ERROR;
      return put_integer<int16_t>(integer, buffer, indicator);
    case SQL_C_USHORT:
      if (!cell_integer(cell, &integer)) return SQI_ERROR;
      return put_integer<uint16_t>(integer, buffer, indicator);
    case SQL_C_LONG:
    case SQL_C_SLONG:
      if (!cell_integer(cell, &integer)) return SQI_ERROR;
      return put_integer<int32_t>(integer, buffer, indicator);
    case SQL_C_ULONG:
      if (!cell_integer(cell, &integer)) return SQI_ERROR;
      return put_integer<uint32_t>(integer, buffer, indicator);
    case SQL_C_SBIGINT:
      if (!cell_integer(cell, &integer)) return SQI_ERROR;
      return put_integer<int64_t>(integer, buffer, indicator);
    case SQL_C_DOUBLE:
      if (!cell_double(cell, &real)) return SQI_ERROR;
      if (indicator != nullptr) *indicator = sizeof(double);
      if (buffer != nullptr) std::memcpy(buffer, &real, sizeof real);
      return SQI_OK;
    default:
      return SQI_ERROR;
  }
}
