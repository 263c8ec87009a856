// A plain ODBC application that reads many balances in one execution: the
// addresses on standard input become one column-wise parameter array of a
// prepared query, and every row of the result is printed as "address balance".
// Usage: quill_param_array_client <dsn> < addresses
#include <sql.h>
#include <sqlext.h>

#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kAddressLength = 42;

// Prints the statement's first diagnostic and returns 1 (the process's exit code).
int fail(SQLHSTMT stmt, const char* step) {
  SQLCHAR state[6] = {0};
  SQLCHAR message[512] = {0};
  SQLINTEGER native = 0;
  SQLSMALLINT length = 0;
  SQLGetDiagRec(SQL_HANDLE_STMT, stmt, 1, state, &native, message, sizeof message, &length);
  std::cerr << step << " failed: " << state << " " << message << "\n";
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: quill_param_array_client <dsn> < addresses\n";
    return 2;
  }
  std::vector<std::string> addresses;
  for (std::string line; std::getline(std::cin, line);)
    if (line.size() == kAddressLength) addresses.push_back(line);
  const SQLULEN sets = addresses.size();
  if (sets == 0) return 2;

  SQLHENV env;
  SQLHDBC dbc;
  SQLHSTMT stmt;
  SQLAllocHandle(SQL_HANDLE_ENV, SQL_NULL_HANDLE, &env);
  SQLSetEnvAttr(env, SQL_ATTR_ODBC_VERSION, reinterpret_cast<SQLPOINTER>(SQL_OV_ODBC3), 0);
  SQLAllocHandle(SQL_HANDLE_DBC, env, &dbc);
  if (!SQL_SUCCEEDED(SQLConnect(dbc, (SQLCHAR*)argv[1], SQL_NTS, nullptr, 0, nullptr, 0))) {
    std::cerr << "connect failed\n";
    return 1;
  }
  SQLAllocHandle(SQL_HANDLE_STMT, dbc, &stmt);

  // Column-wise: one buffer of `sets` fixed-width texts and one indicator per set.
  std::vector<char> buffer(sets * (kAddressLength + 1), 0);
  std::vector<SQLLEN> indicators(sets, SQL_NTS);
  for (SQLULEN i = 0; i < sets; ++i)
    std::memcpy(&buffer[i * (kAddressLength + 1)], addresses[i].data(), kAddressLength);
  std::vector<SQLUSMALLINT> status(sets, 0xFFFF);
  SQLULEN processed = 0;

  const char* query =
      "SELECT address, result FROM getBalance WHERE address = ? AND blockParameter = 'latest'";
  if (!SQL_SUCCEEDED(SQLPrepare(stmt, (SQLCHAR*)query, SQL_NTS))) return fail(stmt, "prepare");
  SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_BIND_TYPE, SQL_PARAM_BIND_BY_COLUMN, 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_PARAMSET_SIZE, reinterpret_cast<SQLPOINTER>(sets), 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_PARAM_STATUS_PTR, status.data(), 0);
  SQLSetStmtAttr(stmt, SQL_ATTR_PARAMS_PROCESSED_PTR, &processed, 0);
  if (!SQL_SUCCEEDED(SQLBindParameter(stmt, 1, SQL_PARAM_INPUT, SQL_C_CHAR, SQL_VARCHAR,
                                      kAddressLength, 0, buffer.data(), kAddressLength + 1,
                                      indicators.data())))
    return fail(stmt, "bind");
  if (!SQL_SUCCEEDED(SQLExecute(stmt))) return fail(stmt, "execute");

  // The rows of every set, in set order, possibly spread over several result sets.
  do {
    SQLRETURN rc;
    while ((rc = SQLFetch(stmt)) != SQL_NO_DATA) {
      if (!SQL_SUCCEEDED(rc)) return fail(stmt, "fetch");
      char address[128] = {0};
      char balance[128] = {0};
      SQLLEN length = 0;
      SQLGetData(stmt, 1, SQL_C_CHAR, address, sizeof address, &length);
      SQLGetData(stmt, 2, SQL_C_CHAR, balance, sizeof balance, &length);
      std::printf("%s %s\n", address, balance);
    }
  } while (SQL_SUCCEEDED(SQLMoreResults(stmt)));

  int bad = 0;
  for (SQLULEN i = 0; i < sets; ++i)
    if (status[i] != SQL_PARAM_SUCCESS && status[i] != SQL_PARAM_SUCCESS_WITH_INFO) ++bad;
  std::fprintf(stderr, "sets %lu processed %lu bad statuses %d\n", static_cast<unsigned long>(sets),
               static_cast<unsigned long>(processed), bad);
  SQLFreeHandle(SQL_HANDLE_STMT, stmt);
  SQLDisconnect(dbc);
  SQLFreeHandle(SQL_HANDLE_DBC, dbc);
  SQLFreeHandle(SQL_HANDLE_ENV, env);
  return bad == 0 && processed == sets ? 0 : 1;
}
