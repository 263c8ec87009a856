// Outcome codes of the engine's statement, fetch and sub-query routines (and of the row
// sources the call layer's cursors read from). The routines return them as plain ints, so
// a code passes unchanged through every layer between the scan and the ODBC call.
#pragma once

// What an engine routine reports; an error has been posted to the diagnostics before
// EXEC_ERROR is returned.
enum ExecResult : int {
  EXEC_ERROR = -1,     // failed; the diagnostic is posted
  EXEC_OK = 0,         // done, or a row is ready
  EXEC_WARNING = 1,    // as EXEC_OK, with a warning posted
  EXEC_NO_DATA = 100,  // no (more) rows
};
