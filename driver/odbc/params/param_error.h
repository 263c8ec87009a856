// The failure of one parameter conversion: kept apart from any handle so that a
// failing row of a parameter array can be reported after the engine ran.
#pragma once

#include <cstdio>
#include <string>

struct ParamError {
  char sqlstate[6] = "";  // five characters and a NUL; "" while no failure happened
  std::string message;    // the complete message text
};

// Records `sqlstate` and `message` in `error` (may be null); returns false for the caller's
// `return`.
inline bool param_fail(ParamError* error, const char* sqlstate, const std::string& message) {
  if (error) {
    std::snprintf(error->sqlstate, sizeof error->sqlstate, "%s", sqlstate);
    error->message = message;
  }
  return false;
}

// HY000 "General error: <detail>".
inline bool param_fail_general(ParamError* error, const char* detail) {
  return param_fail(error, "HY000", std::string("General error: ") + detail);
}
