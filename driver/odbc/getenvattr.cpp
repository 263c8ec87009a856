// SQLGetEnvAttr: reads the ODBC version and output NTS.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"

static const char* const kUnit = "getenvattr";

QUILL_EXPORT SQLRETURN SQLGetEnvAttr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value,
                                     SQLINTEGER buffer_length, SQLINTEGER* string_length) {
  HandleCall call(SQL_HANDLE_ENV, handle);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLGetEnvAttr( %h, %d, %p, %d, %p )", handle,
            static_cast<int>(attribute), value, static_cast<int>(buffer_length),
            static_cast<void*>(string_length));
  if (!valid_env(handle))
    return TRACE_RETURN(kUnit, "SQLGetEnvAttr() returns %e", SQL_INVALID_HANDLE);
  auto* env = static_cast<QuillEnv*>(handle);
  SetupErrorHeader(env->errors, 0);
  return TRACE_RETURN(kUnit, "SQLGetEnvAttr() returns %e",
                      get_env_attr(env, attribute, value, buffer_length, string_length));
}
