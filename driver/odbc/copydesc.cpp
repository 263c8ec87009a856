// SQLCopyDesc: copying one descriptor into another is not provided; the
// refusal is posted on the target descriptor.
#include "driver/odbc/handles/frame.h"
#include "driver/odbc/handles/handle_gate.h"
#include "driver/odbc/handles/handles.h"

static const char* const kUnit = "copydesc";

QUILL_EXPORT SQLRETURN SQLCopyDesc(SQLHDESC source, SQLHDESC target) {
  HandleCall call(SQL_HANDLE_DESC, target);  // the source is not read
  QUILL_LOG(kUnit, LOG_LEVEL_CALL, "SQLCopyDesc( %h, %h )", source, target);
  if (!valid_desc(source) || !valid_desc(target))
    return TRACE_RETURN(kUnit, "SQLCopyDesc() returns %e", SQL_INVALID_HANDLE);
  auto* desc = static_cast<QuillDesc*>(target);
  SetupErrorHeader(desc->errors, 0);
  return TRACE_RETURN(
      kUnit, "SQLCopyDesc() returns %e",
      post_call_error(desc->errors, "HY000", MSG_GENERAL_ERROR, "SQLCopyDesc not implemented"));
}
