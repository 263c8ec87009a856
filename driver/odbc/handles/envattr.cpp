// Environment attributes: the ODBC version, connection pooling (accepted and
// ignored) and output NTS.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handles.h"
#include "driver/odbc/handles/states.h"

namespace {

SQLINTEGER as_integer(SQLPOINTER value) {
  return static_cast<SQLINTEGER>(reinterpret_cast<intptr_t>(value));
}

}  // namespace

SQLRETURN set_env_attr(QuillEnv* env, SQLINTEGER attribute, SQLPOINTER value,
                       SQLINTEGER /*length*/) {
  if (env_check_set_attr(env, attribute) != SQL_SUCCESS) return SQL_ERROR;
  switch (attribute) {
    case SQL_ATTR_ODBC_VERSION: {
      SQLINTEGER version = as_integer(value);
      // Anything else would leave later version-dependent answers undefined.
      if (version != SQL_OV_ODBC2 && version != SQL_OV_ODBC3 && version != SQL_OV_ODBC3_80)
        return post_call_error(env->errors, "HY024", MSG_BAD_ATTR_VALUE);
      env->odbc_version = version;
      return SQL_SUCCESS;
    }
    case SQL_ATTR_CONNECTION_POOLING:
    case SQL_ATTR_CP_MATCH:
      return SQL_SUCCESS;
    case SQL_ATTR_OUTPUT_NTS:
      if (as_integer(value) != SQL_FALSE) return SQL_SUCCESS;
      SetReturnCode(env->errors, -1);
      PostError(env->errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ODBC 3.0", "HYC00", MSG_NOT_IMPLEMENTED);
      return SQL_ERROR;
    default:
      return post_call_error(env->errors, "HY024", MSG_BAD_ATTR_VALUE);
  }
}

SQLRETURN get_env_attr(QuillEnv* env, SQLINTEGER attribute, SQLPOINTER value,
                       SQLINTEGER /*buffer_length*/, SQLINTEGER* string_length) {
  if (env_check_get_attr(env) != SQL_SUCCESS) return SQL_ERROR;
  SQLINTEGER answer;
  switch (attribute) {
    case SQL_ATTR_ODBC_VERSION:
      answer = env->odbc_version;
      break;
    case SQL_ATTR_OUTPUT_NTS:
      answer = env->output_nts;
      break;
    default:
      return post_call_error(env->errors, "HY024", MSG_BAD_ATTR_VALUE);
  }
  if (value) *static_cast<SQLINTEGER*>(value) = answer;
  if (string_length) *string_length = sizeof(SQLINTEGER);
  return SQL_SUCCESS;
}
