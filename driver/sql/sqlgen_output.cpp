// The formatted-print routine of the SQL text generator and its three sinks.
#include "driver/sql/sqlgen_output.h"

#include <cstdio>
#include <cstring>
#include <vector>

void sql_vemitf(SqlOutput& out, const char* format, va_list args) {
  if (!out.print || !format) return;
  char small[256];
  va_list again;
  va_copy(again, args);
  int needed = vsnprintf(small, sizeof small, format, args);
  if (needed < 0) {
    va_end(again);
    return;
  }
  if (static_cast<size_t>(needed) < sizeof small) {
    out.print(out.sink, small, static_cast<size_t>(needed));
  } else {
    // Long pieces (big string literals) are formatted into a buffer of their own size.
    std::vector<char> large(static_cast<size_t>(needed) + 1);
    vsnprintf(large.data(), large.size(), format, again);
    out.print(out.sink, large.data(), static_cast<size_t>(needed));
  }
  va_end(again);
}

void sql_emitf(SqlOutput& out, const char* format, ...) {
  va_list args;
  va_start(args, format);
  sql_vemitf(out, format, args);
  va_end(args);
}

void sql_length_sink_print(void* sink, const char*, size_t length) {
  static_cast<SqlLengthSink*>(sink)->length += length;
}

void sql_buffer_sink_init(SqlBufferSink& sink, char* buffer, size_t capacity) {
  sink = SqlBufferSink{};
  sink.buffer = buffer;
  sink.capacity = buffer ? capacity : 0;
  if (sink.capacity > 0) sink.buffer[0] = '\0';
}

void sql_buffer_sink_print(void* sink, const char* piece, size_t length) {
  auto* target = static_cast<SqlBufferSink*>(sink);
  target->full_length += length;
  if (target->truncated) return;
  // Room for the piece and the terminating NUL, else the piece is dropped whole.
  if (target->capacity == 0 || length >= target->capacity - target->used) {
    target->truncated = true;
    return;
  }
  memcpy(target->buffer + target->used, piece, length);
  target->used += length;
  target->buffer[target->used] = '\0';
}

void sql_string_sink_print(void* sink, const char* piece, size_t length) {
  static_cast<SqlStringSink*>(sink)->text.append(piece, length);
}

SqlOutput sql_output_to_length(SqlLengthSink& sink, int mode) {
  return SqlOutput{sql_length_sink_print, &sink, mode};
}

SqlOutput sql_output_to_buffer(SqlBufferSink& sink, int mode) {
  return SqlOutput{sql_buffer_sink_print, &sink, mode};
}

SqlOutput sql_output_to_string(SqlStringSink& sink, int mode) {
  return SqlOutput{sql_string_sink_print, &sink, mode};
}
