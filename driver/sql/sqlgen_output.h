// Where printed SQL text goes: the print routine every piece passes through, the
// output context that carries it together with the print mode, and the three sinks the
// engine uses (a length counter, an appender into a fixed buffer, a growing buffer).
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>

// Receives one formatted piece of output of `length` bytes (not NUL-terminated).
using SqlPrintRoutine = void (*)(void* sink, const char* piece, size_t length);

// Print modes. Plain prints the tree as it is; the other two show planner marks.
enum SqlPrintMode : int {
  SQL_PRINT_PRUNED = 0,  // comparisons marked as already satisfied print as " (0=0) "
  SQL_PRINT_PLAIN = 1,   // no planner marks shown
  SQL_PRINT_MARKED = 2,  // marked column references are followed by "(A) " or "(*) "
};

// One printing run: the routine, its sink and the print mode.
struct SqlOutput {
  SqlPrintRoutine print = nullptr;  // called once per formatted piece; null discards
  void* sink = nullptr;             // handed back to `print` unchanged
  int mode = SQL_PRINT_PLAIN;       // one of SqlPrintMode (other values behave as plain)
};

// Formats `format` with printf rules (a literal '%' must be written "%%") and hands
// the result to out's print routine. Pieces of any length are passed whole.
void sql_emitf(SqlOutput& out, const char* format, ...) __attribute__((format(printf, 2, 3)));
// As sql_emitf with an argument list.
void sql_vemitf(SqlOutput& out, const char* format, va_list args);

// Sink that only counts bytes (first pass of a two-pass print).
struct SqlLengthSink {
  size_t length = 0;  // bytes printed so far
};
// The print routine of SqlLengthSink.
void sql_length_sink_print(void* sink, const char* piece, size_t length);

// Sink that appends into a caller's fixed buffer. A piece is appended only when it fits
// whole together with the terminating NUL, and once a piece has not fitted nothing more is
// appended, so the text kept is a clean prefix made of whole pieces. The full length is
// counted in any case.
struct SqlBufferSink {
  char* buffer = nullptr;  // caller's buffer; always NUL-terminated when capacity > 0
  size_t capacity = 0;     // size of `buffer` in bytes, including room for the NUL
  size_t used = 0;         // bytes kept in `buffer` (excluding the NUL)
  size_t full_length = 0;  // bytes the whole text needs (excluding the NUL)
  bool truncated = false;  // true once a piece was left out
};
// Prepares `sink` for `buffer` of `capacity` bytes (writes the initial NUL).
void sql_buffer_sink_init(SqlBufferSink& sink, char* buffer, size_t capacity);
// The print routine of SqlBufferSink.
void sql_buffer_sink_print(void* sink, const char* piece, size_t length);

// Sink that collects everything in a buffer that starts at 1024 bytes and grows.
struct SqlStringSink {
  std::string text;                        // the text printed so far
  SqlStringSink() { text.reserve(1024); }  // starts with room for 1024 bytes
};
// The print routine of SqlStringSink.
void sql_string_sink_print(void* sink, const char* piece, size_t length);

// An output context that counts into `sink`, in print mode `mode`.
SqlOutput sql_output_to_length(SqlLengthSink& sink, int mode = SQL_PRINT_PLAIN);
// An output context that appends into the fixed buffer of `sink`, in print mode `mode`.
SqlOutput sql_output_to_buffer(SqlBufferSink& sink, int mode = SQL_PRINT_PLAIN);
// An output context that collects into the growing buffer of `sink`, in print mode `mode`.
SqlOutput sql_output_to_string(SqlStringSink& sink, int mode = SQL_PRINT_PLAIN);
