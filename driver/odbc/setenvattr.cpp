// SQLSetEnvAttr: ODBC version, connection pooling and output NTS.
#include "driver/odbc/api.h"
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"

static const char* const kUnit = "setenvattr";

SQLRETURN odbc_set_env_attr(SQLHENV handle, SQLINTEGER attribute, SQLPOINTER value,
                            SQLINTEGER length) {
  if (!valid_env(handle)) return SQL_INVALID_HANDLE;
  auto* env = static_cast<QuillEnv*>(handle);
  SetupErrorHeader(env->errors, 0);
  return set_env_attr(env, attribute, value, length);
}

QUILL_EXPORT SQLRETURN SQLSetEnvAttr(SQLHENV env, SQLINTEGER attribute, SQLPOINTER value,
                                     SQLINTEGER length) {
  HandleCall call(SQL_HANDLE_ENV, env);
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLSetEnvAttr( %h, %d, %p, %d )", env,
            static_cast<int>(attribute), value, static_cast<int>(length));
  return TRACE_RETURN(kUnit, "SQLSetEnvAttr() returns %e",
                      odbc_set_env_attr(env, attribute, value, length));
}
