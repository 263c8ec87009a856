// Decoding node quantities: hex to decimal digits by repeated division of base-2^32 limbs,
// Unix seconds to a civil UTC date by Julian day numbers.
#include "driver/eth/eth_quantity.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "support/datetime.h"

namespace {

// The value of one hex digit; -1 for any other character.
int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

constexpr int64_t kLastSecondOf9999 = 253402300799;  // 9999-12-31 23:59:59 UTC

}  // namespace

bool eth_hex_to_decimal(std::string_view text, std::string* digits) {
  if (text.size() < 3 || text[0] != '0' || (text[1] != 'x' && text[1] != 'X')) return false;
  // Limbs of 32 bits, most significant first.
  std::vector<uint32_t> limbs;
  for (size_t i = 2; i < text.size(); ++i) {
    int digit = hex_digit(text[i]);
    if (digit < 0) return false;
    uint32_t carry = static_cast<uint32_t>(digit);
    for (size_t k = limbs.size(); k-- > 0;) {
      uint64_t wide = (static_cast<uint64_t>(limbs[k]) << 4) | carry;
      limbs[k] = static_cast<uint32_t>(wide);
      carry = static_cast<uint32_t>(wide >> 32);
    }
    if (carry != 0) limbs.insert(limbs.begin(), carry);
  }
  std::string reversed;
  while (!limbs.empty()) {
    uint64_t remainder = 0;
    for (uint32_t& limb : limbs) {
      uint64_t wide = (remainder << 32) | limb;
      limb = static_cast<uint32_t>(wide / 1000000000u);
      remainder = wide % 1000000000u;
    }
    while (!limbs.empty() && limbs.front() == 0) limbs.erase(limbs.begin());
    for (int i = 0; i < 9; ++i) {
      reversed += static_cast<char>('0' + remainder % 10);
      remainder /= 10;
      if (limbs.empty() && remainder == 0) break;
    }
  }
  if (reversed.empty()) reversed = "0";
  digits->assign(reversed.rbegin(), reversed.rend());
  return true;
}

bool eth_decimal_to_int64(const std::string& digits, int64_t* out) {
  static const std::string kMax = "9223372036854775807";
  if (digits.empty() || digits.size() > kMax.size()) return false;
  if (digits.size() == kMax.size() && digits > kMax) return false;
  int64_t value = 0;
  for (char c : digits) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
    value = value * 10 + (c - '0');
  }
  *out = value;
  return true;
}

bool eth_unix_to_timestamp(int64_t seconds, SQL_TIMESTAMP_STRUCT* out) {
  static const int64_t kEpoch = ymd_to_jdnl(1970, 1, 1) * SECONDS_PER_DAY;
  if (seconds < 0 || seconds > kLastSecondOf9999) return false;
  *out = SQL_TIMESTAMP_STRUCT{};
  return timestamp_from_seconds(kEpoch + seconds, 0, out) == 0;
}

std::string eth_timestamp_text(const SQL_TIMESTAMP_STRUCT& stamp) {
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02u-%02u %02u:%02u:%02u", stamp.year, stamp.month,
                stamp.day, stamp.hour, stamp.minute, stamp.second);
  return text;
}

void eth_decimal_to_numeric(const std::string& digits, int precision, SQL_NUMERIC_STRUCT* out) {
  *out = SQL_NUMERIC_STRUCT{};
  out->precision = static_cast<SQLCHAR>(precision);
  out->scale = 0;
  out->sign = 1;
  // val is a 128-bit little-endian integer: multiply by ten and add, byte by byte.
  for (char c : digits) {
    unsigned carry = static_cast<unsigned>(c - '0');
    for (SQLCHAR& byte : out->val) {
      unsigned wide = byte * 10u + carry;
      byte = static_cast<SQLCHAR>(wide & 0xff);
      carry = wide >> 8;
    }
  }
}
