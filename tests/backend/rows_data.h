// The generated tables `rows_<N>`: their columns and the deterministic value of every cell,
// computed from the row's id alone. Shared by the backend module that serves the tables, the
// conformance program that checks what the driver hands back, and the fetch benchmark that
// fills SQLite with the same rows. Header-only, without driver dependencies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>

namespace rows_data {

constexpr int kColumnCount = 8;                // id, i2, i3, d1, d2, d3, s1, s2
constexpr int64_t kMaxRows = 10'000'000;       // largest N of a `rows_<N>` table
constexpr int kTextColumnLength = 60;          // declared VARCHAR length of s1 and s2
constexpr int kTextBufferSize = 64;            // room for any s1 or s2 value with its NUL
constexpr const char* kTablePrefix = "rows_";  // table names are kTablePrefix + N

// Column names as the backend reports them, in column order.
constexpr const char* kColumnNames[kColumnCount] = {"ID", "I2", "I3", "D1", "D2", "D3", "S1", "S2"};

// What a column holds.
enum ColumnKind {
  kInteger,  // SQL INTEGER, read as SQL_C_SLONG
  kDouble,   // SQL DOUBLE, read as SQL_C_DOUBLE
  kText,     // VARCHAR(60), read as SQL_C_CHAR
};
// Column kinds, by 0-based column.
constexpr ColumnKind kColumnKinds[kColumnCount] = {kInteger, kInteger, kInteger, kDouble,
                                                   kDouble,  kDouble,  kText,    kText};

// Sizes of the tables the catalog lists (any other N is still described on demand).
constexpr int64_t kListedSizes[] = {0, 1, 29, 30, 31, 1000, 100000, 1000000};

// i2: a small signed integer cycling through -500..499.
inline int32_t i2(int64_t id) {
  return static_cast<int32_t>(id * 7 % 1000) - 500;
}
// i3: a wider integer, spread over about +-1,000,000.
inline int32_t i3(int64_t id) {
  return static_cast<int32_t>(id * 7919 % 2000003) - 1000000;
}
// d1: id / 4 (exact in binary).
inline double d1(int64_t id) {
  return static_cast<double>(id) / 4.0;
}
// d2: a half-step value in -250.25..249.25 (exact in binary).
inline double d2(int64_t id) {
  return static_cast<double>(id % 1000) * 0.5 - 250.25;
}
// d3: an eighth-step value, negative for small ids (exact in binary).
inline double d3(int64_t id) {
  return static_cast<double>(id) * 0.125 - 1000.0;
}
// s2 is NULL on every tenth row.
inline bool s2_is_null(int64_t id) {
  return id % 10 == 0;
}

// Writes "r<id>:" followed by letters into `out` so that the text is 20 to 60 bytes long
// (20 + id % 41); returns the length. `out` holds kTextBufferSize bytes.
inline size_t s1(int64_t id, char* out) {
  int prefix = std::snprintf(out, kTextBufferSize, "r%lld:", static_cast<long long>(id));
  size_t length = 20 + static_cast<size_t>(id % 41);
  for (size_t k = static_cast<size_t>(prefix); k < length; ++k)
    out[k] = static_cast<char>('a' + (id + static_cast<int64_t>(k)) % 26);
  out[length] = '\0';
  return length;
}

// Writes the s2 text of a row whose s2 is not NULL: "s2-<id>-" followed by digits, 10 to 60
// bytes (10 + id * 3 % 51); returns the length. `out` holds kTextBufferSize bytes.
inline size_t s2(int64_t id, char* out) {
  int prefix = std::snprintf(out, kTextBufferSize, "s2-%lld-", static_cast<long long>(id));
  size_t length = 10 + static_cast<size_t>(id * 3 % 51);
  if (length < static_cast<size_t>(prefix)) length = static_cast<size_t>(prefix);
  for (size_t k = static_cast<size_t>(prefix); k < length; ++k)
    out[k] = static_cast<char>('0' + (id + static_cast<int64_t>(k)) % 10);
  out[length] = '\0';
  return length;
}

// The row count N named by a table name `rows_<N>` (prefix compared without regard to case,
// N decimal without leading zeros, at most kMaxRows); -1 for any other name.
inline int64_t row_count_of(const char* name) {
  if (!name) return -1;
  for (size_t k = 0; kTablePrefix[k]; ++k) {
    char c = name[k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kTablePrefix[k]) return -1;
  }
  const char* digits = name + std::strlen(kTablePrefix);
  if (!digits[0] || (digits[0] == '0' && digits[1])) return -1;
  int64_t n = 0;
  for (const char* p = digits; *p; ++p) {
    if (*p < '0' || *p > '9') return -1;
    n = n * 10 + (*p - '0');
    if (n > kMaxRows) return -1;
  }
  return n;
}

}  // namespace rows_data
