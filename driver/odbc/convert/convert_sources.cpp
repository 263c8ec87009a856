// The piecewise sources of text and binary targets: bytes held in memory, binary
// bytes seen as hexadecimal digits, and long values read from their long buffer,
// each remembering how far successive calls have read.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <vector>

#include "driver/odbc/convert/convert_internal.h"
#include "support/numeric.h"

namespace convert {

namespace {

constexpr char kHexDigits[] = "0123456789ABCDEF";
uint64_t offset_of(const QuillValue* value) {
  return value->read_offset < 0 ? 0 : static_cast<uint64_t>(value->read_offset);
}

// Bytes in memory; the position lives in the value's read offset.
class MemorySource : public PieceSource {
 public:
  MemorySource(const char* data, uint64_t length, QuillValue* value, bool is_text)
      : data_(data), length_(data ? length : 0), value_(value) {
    utf8 = is_text;
  }
  uint64_t total() const override { return length_; }
  uint64_t position() const override { return offset_of(value_); }
  bool read(uint64_t at, size_t count, char* out) override {
    if (at > length_ || count > length_ - at) return false;
    if (count > 0) std::memcpy(out, data_ + at, count);
    return true;
  }
  bool advance_to(uint64_t position) override {
    value_->read_offset = static_cast<int64_t>(position);
    return true;
  }

 private:
  const char* data_;
  uint64_t length_;
  QuillValue* value_;
};

// Binary bytes in memory as two hexadecimal digits each; positions count digits.
class HexSource : public PieceSource {
 public:
  HexSource(const unsigned char* bytes, uint64_t count, QuillValue* value)
      : bytes_(bytes), count_(bytes ? count : 0), value_(value) {}
  uint64_t total() const override { return count_ * 2; }
  uint64_t position() const override { return offset_of(value_); }
  bool read(uint64_t at, size_t count, char* out) override {
    if (at > total() || count > total() - at) return false;
    for (size_t i = 0; i < count; ++i) {
      uint64_t digit = at + i;
      unsigned char byte = bytes_[digit / 2];
      out[i] = kHexDigits[(digit % 2 == 0) ? (byte >> 4) : (byte & 0x0F)];
    }
    return true;
  }
  bool advance_to(uint64_t position) override {
    value_->read_offset = static_cast<int64_t>(position);
    return true;
  }

 private:
  const unsigned char* bytes_;
  uint64_t count_;
  QuillValue* value_;
};

// The bytes of a long value; the position is the long buffer's own read position, moved
// without copying what was handed out.
class LongSource : public PieceSource {
 public:
  LongSource(LongBuffer* buffer, bool is_text) : buffer_(buffer) { utf8 = is_text; }
  uint64_t total() const override { return buffer_->length; }
  uint64_t position() const override { return buffer_->read_position; }
  bool read(uint64_t at, size_t count, char* out) override {
    if (count == 0) return true;
    int64_t got = read_long_buffer_at(buffer_, at, out, count);
    return got == static_cast<int64_t>(count);
  }
  bool advance_to(uint64_t position) override {
    return advance_long_buffer(buffer_, position) == 0;
  }
  bool recall_units(uint64_t from, uint64_t to, uint64_t* units) override {
    return recall_long_buffer_count(buffer_, from, to, units);
  }
  void remember_units(uint64_t from, uint64_t to, uint64_t units) override {
    remember_long_buffer_count(buffer_, from, to, units);
  }

 private:
  LongBuffer* buffer_;
};

// A long binary value as hexadecimal digits. The digits handed out are kept in the value's
// read offset (a piece may end between the two digits of a byte); the long buffer's read
// position follows at the bytes begun.
class LongHexSource : public PieceSource {
 public:
  LongHexSource(LongBuffer* buffer, QuillValue* value) : buffer_(buffer), value_(value) {
    // A buffer rewound or read elsewhere wins over a stale digit count.
    if ((offset_of(value_) + 1) / 2 != buffer_->read_position)
      value_->read_offset = static_cast<int64_t>(buffer_->read_position * 2);
  }
  uint64_t total() const override { return buffer_->length * 2; }
  uint64_t position() const override { return offset_of(value_); }
  bool read(uint64_t at, size_t count, char* out) override {
    if (count == 0) return true;
    uint64_t first = at / 2;
    uint64_t last = (at + count - 1) / 2;
    std::vector<unsigned char> bytes(static_cast<size_t>(last - first + 1));
    int64_t got = read_long_buffer_at(buffer_, first, bytes.data(), bytes.size());
    if (got != static_cast<int64_t>(bytes.size())) return false;
    for (size_t i = 0; i < count; ++i) {
      uint64_t digit = at + i;
      unsigned char byte = bytes[static_cast<size_t>(digit / 2 - first)];
      out[i] = kHexDigits[(digit % 2 == 0) ? (byte >> 4) : (byte & 0x0F)];
    }
    return true;
  }
  bool advance_to(uint64_t position) override {
    value_->read_offset = static_cast<int64_t>(position);
    return advance_long_buffer(buffer_, (position + 1) / 2) == 0;
  }

 private:
  LongBuffer* buffer_;
  QuillValue* value_;
};

// Bytes of a character or binary value held in memory.
uint64_t held_bytes(const QuillValue* value) {
  if (!value->bytes.data || value->bytes.length <= 0) return 0;
  int32_t length = value->bytes.length;
  if (value->bytes.capacity > 0 && length > value->bytes.capacity) length = value->bytes.capacity;
  return static_cast<uint64_t>(length);
}

template <typename... Args>
std::string format_text(const char* format, Args... args) {
  int size = std::snprintf(nullptr, 0, format, args...);
  if (size <= 0) return std::string();
  std::string text(static_cast<size_t>(size) + 1, '\0');
  std::snprintf(text.data(), text.size(), format, args...);
  text.resize(static_cast<size_t>(size));
  return text;
}

}  // namespace

std::string render_text(const QuillValue* value) {
  const auto& p = value->payload;
  switch (value->kind) {
    case VALUE_INTEGER:
    case VALUE_BIT:
      return format_text("%d", p.integer);
    case VALUE_DOUBLE:
      return format_text("%f", p.real);
    case VALUE_DATE:
      return format_text("%04d-%02d-%02d", p.date.year, p.date.month, p.date.day);
    case VALUE_TIME:
      return format_text("%02d:%02d:%02d", p.time.hour, p.time.minute, p.time.second);
    case VALUE_TIMESTAMP:
      return format_text("%04d-%02d-%02d %02d:%02d:%02d", p.timestamp.year, p.timestamp.month,
                         p.timestamp.day, p.timestamp.hour, p.timestamp.minute, p.timestamp.second);
    case VALUE_NUMERIC: {
      char text[NUMERIC_TEXT_MAX + 16];
      int length = numeric_to_string(value, text, sizeof text);
      return length < 0 ? std::string() : std::string(text, static_cast<size_t>(length));
    }
    case VALUE_BIGINT:
      return format_text("%" PRId64, p.bigint);
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL: {
      char text[128];
      int length = interval_as_text(&p.interval, text, sizeof text);
      return length < 0 ? std::string() : std::string(text, static_cast<size_t>(length));
    }
    default:
      return "UNSUPPORTED STRING CONVERSION";
  }
}

std::unique_ptr<PieceSource> text_source(QuillValue* value, std::string& scratch) {
  switch (value->kind) {
    case VALUE_CHARACTER:
      return std::make_unique<MemorySource>(value->bytes.data, held_bytes(value), value, true);
    case VALUE_BINARY:
      return std::make_unique<HexSource>(reinterpret_cast<const unsigned char*>(value->bytes.data),
                                         held_bytes(value), value);
    case VALUE_LONG_CHARACTER:
      if (value->long_buffer) return std::make_unique<LongSource>(value->long_buffer, true);
      break;
    case VALUE_LONG_BINARY:
      if (value->long_buffer) return std::make_unique<LongHexSource>(value->long_buffer, value);
      break;
    default:
      scratch = render_text(value);
      return std::make_unique<MemorySource>(scratch.data(), scratch.size(), value, true);
  }
  // A long value without its buffer holds nothing.
  scratch.clear();
  return std::make_unique<MemorySource>(scratch.data(), 0, value, true);
}

std::unique_ptr<PieceSource> image_source(QuillValue* value, std::string& scratch) {
  const auto& p = value->payload;
  auto image = [&](const void* data, size_t size) {
    if (size == 0)
      scratch.clear();
    else
      scratch.assign(static_cast<const char*>(data), size);
    return std::make_unique<MemorySource>(scratch.data(), scratch.size(), value, false);
  };
  switch (value->kind) {
    case VALUE_CHARACTER:
    case VALUE_BINARY:
      return std::make_unique<MemorySource>(value->bytes.data, held_bytes(value), value, false);
    case VALUE_LONG_CHARACTER:
    case VALUE_LONG_BINARY:
      if (value->long_buffer) return std::make_unique<LongSource>(value->long_buffer, false);
      return image(nullptr, 0);
    case VALUE_INTEGER:
    case VALUE_BIT:
      return image(&p.integer, sizeof p.integer);
    case VALUE_DOUBLE:
      return image(&p.real, sizeof p.real);
    case VALUE_BIGINT:
      return image(&p.bigint, sizeof p.bigint);
    case VALUE_DATE:
      return image(&p.date, sizeof p.date);
    case VALUE_TIME:
      return image(&p.time, sizeof p.time);
    case VALUE_TIMESTAMP:
      return image(&p.timestamp, sizeof p.timestamp);
    case VALUE_NUMERIC:
      return image(&p.numeric, sizeof p.numeric);
    case VALUE_YEAR_MONTH_INTERVAL:
    case VALUE_DAY_TIME_INTERVAL:
      return image(&p.interval, sizeof p.interval);
    default:
      return nullptr;
  }
}

}  // namespace convert
