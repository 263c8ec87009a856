// Reading "0x" quantities exactly and turning them into NUMERIC structures and UTC
// timestamps.
#include "support/hex_quantity.h"

#include "support/datetime.h"
#include "support/numeric.h"

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool starts_quantity(std::string_view text, size_t at) {
  return at + 1 < text.size() && text[at] == '0' && (text[at + 1] == 'x' || text[at + 1] == 'X');
}

}  // namespace

bool hex_quantity_prefix(std::string_view text) {
  size_t at = 0;
  while (at < text.size() && is_blank(text[at])) ++at;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  return starts_quantity(text, at);
}

HexQuantity hex_quantity_read(std::string_view text, unsigned __int128* magnitude) {
  size_t at = 0;
  while (at < text.size() && is_blank(text[at])) ++at;
  if (!starts_quantity(text, at)) return HexQuantity::NOT_HEX;
  at += 2;
  unsigned __int128 value = 0;
  bool any_digit = false, too_large = false;
  for (; at < text.size(); ++at) {
    int digit = hex_digit(text[at]);
    if (digit < 0) break;
    any_digit = true;
    if (value >> 124 != 0) too_large = true;
    value = value << 4 | static_cast<unsigned>(digit);
  }
  while (at < text.size() && is_blank(text[at])) ++at;
  if (!any_digit || at != text.size()) return HexQuantity::NOT_HEX;
  if (too_large) return HexQuantity::TOO_LARGE;
  *magnitude = value;
  return HexQuantity::VALUE;
}

int hex_quantity_numeric(unsigned __int128 magnitude, int precision, int scale,
                         SQL_NUMERIC_STRUCT* out) {
  // Above the largest __int128 the magnitude has 39 digits: beyond every precision.
  if (magnitude > static_cast<unsigned __int128>(~static_cast<unsigned __int128>(0) >> 1))
    return NUMERIC_OVERFLOW;
  return numeric_from_int128(static_cast<__int128>(magnitude), precision, scale, out);
}

bool unix_seconds_timestamp(unsigned __int128 seconds, SQL_TIMESTAMP_STRUCT* out) {
  static const int64_t kEpoch = ymd_to_jdnl(1970, 1, 1) * SECONDS_PER_DAY;
  // Year 9999 ends about 2.5e11 seconds after the epoch; anything longer is out of range.
  if (seconds > static_cast<unsigned __int128>(int64_t{1} << 40)) return false;
  return timestamp_from_seconds(kEpoch + static_cast<int64_t>(seconds), 0, out) == 0;
}
