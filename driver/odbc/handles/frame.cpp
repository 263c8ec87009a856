// Exit trace lines and call-layer error posting.
#include "driver/odbc/handles/frame.h"

#include <cstring>

namespace {

int level_for(SQLRETURN rc) {
  return (rc == SQL_ERROR || rc == SQL_INVALID_HANDLE) ? LOG_LEVEL_FAILURE : LOG_LEVEL_CALL;
}

SQLRETURN vpost(ErrorHeader* header, int code, const char* sqlstate, const char* format,
                va_list args) {
  SetReturnCode(header, code);
  VPostError(header, DIAG_LEVEL_CALL, 0, call_layer_origin(sqlstate), sqlstate, format, args);
  return code < 0 ? SQL_ERROR : SQL_SUCCESS_WITH_INFO;
}

}  // namespace

SQLRETURN trace_return(const char* unit, int line, const char* format, SQLRETURN rc) {
  if (g_trace_on.load(std::memory_order_relaxed))
    log_message(unit, line, level_for(rc), format, static_cast<int>(rc));
  return rc;
}

SQLRETURN trace_return_with(const char* unit, int line, const char* format, SQLRETURN rc,
                            const void* extra) {
  if (g_trace_on.load(std::memory_order_relaxed))
    log_message(unit, line, level_for(rc), format, static_cast<int>(rc), extra);
  return rc;
}

const char* call_layer_origin(const char* sqlstate) {
  static const char* const kOdbcStates[] = {"HYC00", "IM001", "IM002", "01S02",
                                            "S1C00", "01S07", "HY109", "HY111"};
  for (const char* s : kOdbcStates)
    if (std::strcmp(s, sqlstate) == 0) return "ODBC 3.0";
  return "ISO 9075";
}

SQLRETURN post_call_error(ErrorHeader* header, const char* sqlstate, const char* format, ...) {
  va_list args;
  va_start(args, format);
  SQLRETURN rc = vpost(header, -1, sqlstate, format, args);
  va_end(args);
  return rc;
}

SQLRETURN post_call_warning(ErrorHeader* header, const char* sqlstate, const char* format, ...) {
  va_list args;
  va_start(args, format);
  SQLRETURN rc = vpost(header, 1, sqlstate, format, args);
  va_end(args);
  return rc;
}

SQLRETURN outcome_of(const ErrorHeader* header) {
  switch (GetReturnCode(header)) {
    case 0:
      return SQL_SUCCESS;
    case 1:
      return SQL_SUCCESS_WITH_INFO;
    case SQL_NO_DATA:
      return SQL_NO_DATA;
    case SQL_NEED_DATA:
      return SQL_NEED_DATA;
    default:
      return SQL_ERROR;
  }
}
