// The entry-point frame shared by every exported ODBC function: export
// marking, trace lines and the posting of call-layer diagnostics.
#pragma once

#include <sql.h>
#include <sqlext.h>

#include "support/diag.h"
#include "support/log.h"

// Marks a function as part of the driver's exported ODBC API.
#define QUILL_EXPORT extern "C" __attribute__((visibility("default")))

// Writes the exit trace line (level 4 for success, info, need data and no data; 8 for errors)
// and returns `rc`. `format` ends in "returns %e" and may name one more argument.
SQLRETURN trace_return(const char* unit, int line, const char* format, SQLRETURN rc);
SQLRETURN trace_return_with(const char* unit, int line, const char* format, SQLRETURN rc,
                            const void* extra);

#define TRACE_RETURN(unit, format, rc) trace_return(unit, __LINE__, format, rc)

// Posts an error on `header` with the class origin the call layer uses for `sqlstate`;
// returns SQL_ERROR.
SQLRETURN post_call_error(ErrorHeader* header, const char* sqlstate, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Posts a warning; returns SQL_SUCCESS_WITH_INFO.
SQLRETURN post_call_warning(ErrorHeader* header, const char* sqlstate, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
// Class origin for a call-layer SQLSTATE: "ODBC 3.0" for the ODBC-specific ones, else "ISO 9075".
const char* call_layer_origin(const char* sqlstate);
// The SQLRETURN matching the header's return code after the work of a call.
SQLRETURN outcome_of(const ErrorHeader* header);

// Fixed message texts of the call layer.
#define MSG_GENERAL_ERROR "General error: %s"
#define MSG_MEMORY "Memory allocation error"
#define MSG_NULL_POINTER "Invalid use of null pointer"
#define MSG_SEQUENCE "Function sequence error"
#define MSG_CANNOT_SET_NOW "Attribute cannot be set now"
#define MSG_AUTO_DESC "Invalid use of a automatically allocated descriptor handle"
#define MSG_BAD_ATTR_VALUE "Invalid attribute value"
#define MSG_BAD_LENGTH "Invalid string or buffer length"
#define MSG_OPTION_RANGE "Option type out of range"
#define MSG_INFO_RANGE "Information type out of range"
#define MSG_NOT_IMPLEMENTED "Optional feature not implemnted"
#define MSG_NO_FUNCTION "Driver does not support this function"
#define MSG_TRUNCATED "String data, right truncated"
#define MSG_VALUE_CHANGED "Option value changed"
#define MSG_BAD_DESC_INDEX "Invalid descriptor index"
#define MSG_SYNTAX "Syntax error or access violation \"%s\""
#define MSG_INVALID_CURSOR_STATE "Invalid cursor state"
#define MSG_NO_CONNECTION "Connection does not exist"
