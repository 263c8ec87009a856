// SQLGetFunctions: which ODBC functions the driver offers. A function is reported only
// when it is in the offered list and the running binary really exports it, so the answer
// follows the build instead of a hand-kept list.
#include <bitset>
#include <mutex>

#include "driver/odbc/handles/dbc_states.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/info/info_table.h"
#include "driver/odbc/connect/own_binary.h"
#include "support/threads.h"

static const char* const kUnit = "getfunctions";

namespace {

constexpr size_t kBitmapWords = SQL_API_ODBC3_ALL_FUNCTIONS_SIZE;  // 250
constexpr size_t kOdbc2Words = 100;
using FunctionSet = std::bitset<kBitmapWords * 16>;

// Computed once: probing the binary's exports reads loader state and possibly a file.
const FunctionSet& supported_functions() {
  static std::once_flag once;
  static FunctionSet supported;
  std::call_once(once, [] {
    size_t count = 0;
    const OfferedFunction* offered = offered_functions(&count);
    constexpr size_t kMaxOffered = 128;
    const char* names[kMaxOffered];
    bool exported[kMaxOffered];
    if (count > kMaxOffered) count = kMaxOffered;
    for (size_t i = 0; i < count; ++i) names[i] = offered[i].name;
    probe_own_exports(names, count, exported);
    for (size_t i = 0; i < count; ++i)
      if (exported[i] && offered[i].number < supported.size()) supported.set(offered[i].number);
  });
  return supported;
}

SQLRETURN check_state(QuillDbc* dbc) {
  DbcState state = dbc_state(dbc);
  if (state <= DBC_BROWSING) return post_call_error(dbc->errors, "HY010", MSG_SEQUENCE);
  return SQL_SUCCESS;
}

SQLRETURN get_functions(QuillDbc* dbc, SQLUSMALLINT function, SQLUSMALLINT* supported) {
  SetupErrorHeader(dbc->errors, 0);
  if (check_state(dbc) != SQL_SUCCESS) return SQL_ERROR;
  if (!supported) return post_call_error(dbc->errors, "HY009", MSG_NULL_POINTER);
  const FunctionSet& set = supported_functions();
  if (function == SQL_API_ODBC3_ALL_FUNCTIONS) {
    for (size_t word = 0; word < kBitmapWords; ++word) supported[word] = 0;
    for (size_t n = 0; n < set.size(); ++n)
      if (set.test(n)) supported[n / 16] |= static_cast<SQLUSMALLINT>(1u << (n % 16));
  } else if (function == SQL_API_ALL_FUNCTIONS) {
    for (size_t n = 0; n < kOdbc2Words; ++n) supported[n] = set.test(n) ? SQL_TRUE : SQL_FALSE;
  } else {
    *supported = function < set.size() && set.test(function) ? SQL_TRUE : SQL_FALSE;
  }
  return SQL_SUCCESS;
}

}  // namespace

QUILL_EXPORT SQLRETURN SQLGetFunctions(SQLHDBC handle, SQLUSMALLINT function,
                                       SQLUSMALLINT* supported) {
  HandleCall call(SQL_HANDLE_DBC, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetFunctions( %h, %u, %p )", handle,
            static_cast<int>(function), static_cast<void*>(supported));
  if (!valid_dbc(handle))
    return TRACE_RETURN(kUnit, "SQLGetFunctions() returns %e", SQL_INVALID_HANDLE);
  return TRACE_RETURN(kUnit, "SQLGetFunctions() returns %e",
                      get_functions(static_cast<QuillDbc*>(handle), function, supported));
}
