// SQLite side of the differential test: one in-memory database, `SELECT <expression>`.
#include <sqlite3.h>

#include <cstdio>
#include <memory>

#include "tests/differential/outcome.h"

namespace {

sqlite3* database() {
  static std::unique_ptr<sqlite3, int (*)(sqlite3*)> db(
      [] {
        sqlite3* handle = nullptr;
        sqlite3_open(":memory:", &handle);
        return handle;
      }(),
      sqlite3_close);
  return db.get();
}

}  // namespace

std::string Outcome::describe() const {
  char buffer[64];
  switch (kind) {
    case Kind::Null:
      return "NULL";
    case Kind::Integer:
      return "integer " + std::to_string(integer);
    case Kind::Double:
      std::snprintf(buffer, sizeof buffer, "%.17g", real);
      return std::string(from_numeric ? "numeric " : "double ") + buffer;
    case Kind::Text:
      return "text '" + text + "'";
    case Kind::Error:
      return "error " + sqlstate + " " + text;
  }
  return "?";
}

Outcome evaluate_with_sqlite(const std::string& expression) {
  Outcome out;
  sqlite3_stmt* statement = nullptr;
  std::string sql = "SELECT " + expression;
  if (sqlite3_prepare_v2(database(), sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    out.kind = Outcome::Kind::Error;
    out.text = sqlite3_errmsg(database());
    return out;
  }
  int step = sqlite3_step(statement);
  if (step != SQLITE_ROW) {
    out.kind = Outcome::Kind::Error;
    out.text = sqlite3_errmsg(database());
  } else {
    switch (sqlite3_column_type(statement, 0)) {
      case SQLITE_INTEGER:
        out.kind = Outcome::Kind::Integer;
        out.integer = sqlite3_column_int64(statement, 0);
        break;
      case SQLITE_FLOAT:
        out.kind = Outcome::Kind::Double;
        out.real = sqlite3_column_double(statement, 0);
        break;
      case SQLITE_TEXT:
        out.kind = Outcome::Kind::Text;
        out.text = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        break;
      default:
        out.kind = Outcome::Kind::Null;
    }
  }
  sqlite3_finalize(statement);
  return out;
}
