// Driver trace: one line per call entry and exit, written to the trace file
// when tracing is on. Off by default; when off a trace call costs one load.
#pragma once

#include <atomic>
#include <cstdarg>

enum LogLevel { LOG_LEVEL_CALL = 4, LOG_LEVEL_FAILURE = 8 };

// True while a trace file is open.
extern std::atomic<bool> g_trace_on;

// Opens `path` (appending, as log_open_private_file does) as the trace file; null or ""
// turns tracing off. Returns 0 on success, -1 when the file cannot be opened or is refused
// (tracing stays off).
int log_configure(const char* path);
// Opens `path` for appending as a file only its owner may read and write: a new file is
// made with mode 0600 and an existing one is tightened to 0600. Refused (-1, errno set) when
// the last component of the path is a symbolic link (ELOOP), when it names anything but a
// regular file or a file with more than one link (EPERM: a planted link would send the
// lines elsewhere), or when its mode cannot be tightened. Never blocks on a FIFO. Returns
// the close-on-exec descriptor.
int log_open_private_file(const char* path);
// Reads the trace setting once per process: the QUILLDRV_TRACE_FILE environment variable,
// else the TraceFile entry of the driver's section in odbcinst.ini.
void log_configure_from_settings();
// Writes one trace line "[pid:tid] unit:line message" when tracing is on.
// Directives (each consumes the arguments shown):
//   %h handle (void*)           %*h pointer to a handle (void**), shows the handle
//   %i SQLSMALLINT (as int)     %u SQLUSMALLINT (as int)
//   %I SQLLEN                   %*I SQLLEN*, shows the value or NULL
//   %U SQLULEN                  %p, %*p pointer
//   %s NUL-terminated text      %S text and its length (int, SQL_NTS = -3)
//   %*S text buffer and SQLSMALLINT* length written by the call
//   %e SQLRETURN (as int), shown by name
//   %d int, %%
void log_message(const char* unit, int line, int level, const char* format, ...);
void vlog_message(const char* unit, int line, int level, const char* format, va_list args);

// Trace call that costs only the flag test when tracing is off.
#define QUILL_LOG(unit, level, ...)                    \
  do {                                                 \
    if (g_trace_on.load(std::memory_order_relaxed))    \
      log_message(unit, __LINE__, level, __VA_ARGS__); \
  } while (0)
