// LONG column values of the current row copied into long buffers, now or on first use: the
// value is read from the backend in pieces and appended to the buffer's work file until it
// ends.
#include <sql.h>
#include <sqlext.h>

#include <cstring>
#include <memory>
#include <new>

#include "driver/dal/dal.h"
#include "support/longbuf.h"

namespace {

// Bytes asked for per piece: large enough that a value of many megabytes takes few calls.
constexpr SQLLEN kChunk = 64 * 1024;
// A backend that keeps answering "more" without handing out bytes would loop forever.
constexpr int kMaxEmptyPieces = 4;

// The deferred read of DALDeferLong: the column the buffer was attached to.
int read_attached(LongBuffer* buffer) {
  return DALReadLong(buffer, static_cast<DalIterator*>(buffer->source), buffer->source_item);
}

}  // namespace

int DALDeferLong(LongBuffer* buffer, DalIterator* it, int column) {
  if (!buffer || !it) return -1;
  defer_long_buffer(buffer, read_attached, it, column);
  return 0;
}

int DALReadLong(LongBuffer* buffer, DalIterator* it, int column) {
  if (!buffer || !it) return -1;
  reset_long_buffer(buffer);
  const bool text = buffer->sql_type != SQL_LONGVARBINARY;
  const int c_type = text ? SQL_C_CHAR : SQL_C_BINARY;
  const SQLLEN room = text ? kChunk - 1 : kChunk;  // a text piece ends in a NUL
  // On the heap: the caller may run on a small thread stack.
  std::unique_ptr<char[]> storage(new (std::nothrow) char[kChunk]);
  if (!storage) return -1;
  char* piece = storage.get();
  int empty_pieces = 0;
  for (;;) {
    SQLLEN indicator = 0;
    int rc = DALGetData(it, column, c_type, piece, kChunk, &indicator);
    if (rc != SQI_OK && rc != SQI_INFO) return -1;
    if (indicator == SQL_NULL_DATA) {
      set_long_buffer_null(buffer);
      return 0;
    }
    // A cut piece fills the buffer whatever total the indicator reports.
    SQLLEN got = rc == SQI_INFO || indicator == SQL_NO_TOTAL || indicator > room ? room : indicator;
    if (text && got == room) got = static_cast<SQLLEN>(strnlen(piece, static_cast<size_t>(room)));
    if (got < 0) got = 0;
    if (got > 0 && append_to_long_buffer(buffer, piece, static_cast<size_t>(got)) < 0) return -1;
    if (rc == SQI_OK) return 0;
    if (got == 0 && ++empty_pieces > kMaxEmptyPieces) return -1;
  }
}
