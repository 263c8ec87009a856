// Raising evaluation errors.
#include "driver/sql/eval_context.h"

#include <cstdio>

QuillValue* eval_error(EvalContext* context, const char* sqlstate, const char* format, ...) {
  va_list args;
  va_start(args, format);
  if (context && context->errors) {
    SetReturnCode(context->errors, -1);
    VPostError(context->errors, DIAG_LEVEL_ENGINE, 0, "ODBC3.0", sqlstate, format, args);
  }
  va_end(args);
  if (context) context->error = -1;
  return nullptr;
}
