// Exact numerics of up to 38 decimal digits on SQL_NUMERIC_STRUCT.
//
// Magnitudes are held in unsigned __int128 (10^38 - 1 < 2^127); the exact intermediates of
// aligned addition, multiplication and division (up to 77 digits) use a small 256-bit
// unsigned integer made of four 64-bit limbs. Every digit that is dropped is dropped once,
// from the exact value, rounding half away from zero.
//
// Conventions shared by every routine (the header gives the contracts):
// - An input structure is valid when its scale is 0..38 and its magnitude has at most 38
//   digits; its precision field is not checked (applications often leave it 0). A sign of 0
//   is negative, any other value positive; a zero magnitude is zero whatever the sign.
//   Invalid inputs give NUMERIC_INVALID (numeric_to_text -1, numeric_to_double NaN,
//   numeric_cmp orders them as zero).
// - A requested precision of 0 means 38; precision outside 0..38 or scale outside
//   0..precision is NUMERIC_INVALID.
// - On any error status the output structure is left untouched. Outputs may alias inputs.
// - Results never carry a negative zero: a zero magnitude is written with sign 1.
#include "support/numeric.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

using u64 = uint64_t;
using u128 = unsigned __int128;

// ---------------------------------------------------------------------------------------------
// 256-bit unsigned arithmetic (little-endian 64-bit limbs). Values used here stay below
// 10^77 < 2^256; the division routine needs divisors below 2^255.

struct U256 {
  u64 w[4];
};

constexpr U256 make256(u128 v) {
  return U256{{static_cast<u64>(v), static_cast<u64>(v >> 64), 0, 0}};
}

constexpr int cmp256(const U256& a, const U256& b) {
  for (int i = 3; i >= 0; --i) {
    if (a.w[i] != b.w[i]) return a.w[i] < b.w[i] ? -1 : 1;
  }
  return 0;
}

constexpr bool is_zero256(const U256& a) {
  return (a.w[0] | a.w[1] | a.w[2] | a.w[3]) == 0;
}

constexpr bool fits128(const U256& a) {
  return (a.w[2] | a.w[3]) == 0;
}

constexpr u128 low128(const U256& a) {
  return (static_cast<u128>(a.w[1]) << 64) | a.w[0];
}

constexpr U256 add256(const U256& a, const U256& b) {
  U256 r{};
  u64 carry = 0;
  for (int i = 0; i < 4; ++i) {
    u128 s = static_cast<u128>(a.w[i]) + b.w[i] + carry;
    r.w[i] = static_cast<u64>(s);
    carry = static_cast<u64>(s >> 64);
  }
  return r;
}

// a - b, with a >= b.
constexpr U256 sub256(const U256& a, const U256& b) {
  U256 r{};
  u64 borrow = 0;
  for (int i = 0; i < 4; ++i) {
    u64 d = a.w[i] - b.w[i];
    u64 b1 = a.w[i] < b.w[i] ? 1 : 0;
    u64 d2 = d - borrow;
    u64 b2 = d < borrow ? 1 : 0;
    r.w[i] = d2;
    borrow = b1 | b2;
  }
  return r;
}

constexpr U256 mul256_small(const U256& a, u64 m) {
  U256 r{};
  u64 carry = 0;
  for (int i = 0; i < 4; ++i) {
    u128 p = static_cast<u128>(a.w[i]) * m + carry;
    r.w[i] = static_cast<u64>(p);
    carry = static_cast<u64>(p >> 64);
  }
  return r;
}

// Full product of two 128-bit values (schoolbook on 64-bit limbs).
constexpr U256 mul128x128(u128 a, u128 b) {
  const u64 x[2] = {static_cast<u64>(a), static_cast<u64>(a >> 64)};
  const u64 y[2] = {static_cast<u64>(b), static_cast<u64>(b >> 64)};
  U256 r{};
  for (int i = 0; i < 2; ++i) {
    u64 carry = 0;
    for (int j = 0; j < 2; ++j) {
      u128 t = static_cast<u128>(x[i]) * y[j] + r.w[i + j] + carry;
      r.w[i + j] = static_cast<u64>(t);
      carry = static_cast<u64>(t >> 64);
    }
    r.w[i + 2] = carry;
  }
  return r;
}

// a * b for a product known to fit 256 bits.
U256 mul256_128(const U256& a, u128 b) {
  if (fits128(a)) return mul128x128(low128(a), b);
  // a >= 2^128: then b is small enough that the product fits; do it limb by limb.
  U256 lo = mul256_small(a, static_cast<u64>(b));
  U256 hi = mul256_small(a, static_cast<u64>(b >> 64));
  U256 shifted{{0, hi.w[0], hi.w[1], hi.w[2]}};
  return add256(lo, shifted);
}

int bitlen256(const U256& a) {
  for (int i = 3; i >= 0; --i) {
    if (a.w[i]) return i * 64 + 64 - __builtin_clzll(a.w[i]);
  }
  return 0;
}

// Quotient and remainder of n / d, d != 0 and d < 2^255.
void divmod256(const U256& n, const U256& d, U256* q, U256* r) {
  if (fits128(n) && fits128(d)) {
    const u128 nn = low128(n), dd = low128(d);
    *q = make256(nn / dd);
    *r = make256(nn % dd);
    return;
  }
  if ((d.w[1] | d.w[2] | d.w[3]) == 0) {
    // Single-limb divisor: limb-by-limb long division.
    const u64 dv = d.w[0];
    U256 qq{};
    u64 rem = 0;
    for (int i = 3; i >= 0; --i) {
      u128 cur = (static_cast<u128>(rem) << 64) | n.w[i];
      qq.w[i] = static_cast<u64>(cur / dv);
      rem = static_cast<u64>(cur % dv);
    }
    *q = qq;
    *r = make256(rem);
    return;
  }
  // General case: binary shift-and-subtract over the bits of n.
  U256 qq{}, rem{};
  for (int i = bitlen256(n) - 1; i >= 0; --i) {
    rem = U256{{rem.w[0] << 1, (rem.w[1] << 1) | (rem.w[0] >> 63),
                (rem.w[2] << 1) | (rem.w[1] >> 63), (rem.w[3] << 1) | (rem.w[2] >> 63)}};
    rem.w[0] |= (n.w[i / 64] >> (i % 64)) & 1;
    if (cmp256(rem, d) >= 0) {
      rem = sub256(rem, d);
      qq.w[i / 64] |= u64{1} << (i % 64);
    }
  }
  *q = qq;
  *r = rem;
}

// ---------------------------------------------------------------------------------------------
// Powers of ten.

constexpr int kMaxPow256 = 77;  // 10^77 < 2^256

struct Pow10Tables {
  u128 p128[39];
  U256 p256[kMaxPow256 + 1];
};

constexpr Pow10Tables make_tables() {
  Pow10Tables t{};
  u128 v = 1;
  for (int i = 0; i <= 38; ++i) {
    t.p128[i] = v;
    v *= 10;
  }
  U256 w = make256(1);
  for (int i = 0; i <= kMaxPow256; ++i) {
    t.p256[i] = w;
    w = mul256_small(w, 10);
  }
  return t;
}

constexpr Pow10Tables kPow = make_tables();

inline const U256& pow10_256(int k) {
  return kPow.p256[k];
}

// Number of decimal digits (0 has 1).
int digits128(u128 v) {
  int d = 1;
  while (d <= 38 && v >= kPow.p128[d]) ++d;
  return d;
}

int digits256(const U256& v) {
  if (fits128(v)) return digits128(low128(v));
  int d = 39;
  while (d <= kMaxPow256 && cmp256(v, kPow.p256[d]) >= 0) ++d;
  return d;
}

// n / d rounded half away from zero (magnitudes); *inexact set when the remainder is not 0.
U256 round_div(const U256& n, const U256& d, bool* inexact) {
  U256 q, r;
  divmod256(n, d, &q, &r);
  if (!is_zero256(r)) {
    if (inexact) *inexact = true;
    // Round up when 2r >= d; r < d < 2^255 so 2r does not overflow.
    if (cmp256(add256(r, r), d) >= 0) q = add256(q, make256(1));
  }
  return q;
}

// ---------------------------------------------------------------------------------------------
// Structure access.

struct Num {
  bool neg;
  u128 mag;
  int scale;
};

u128 read_mag(const SQL_NUMERIC_STRUCT* s) {
  u128 m = 0;
  for (int i = SQL_MAX_NUMERIC_LEN - 1; i >= 0; --i) m = (m << 8) | s->val[i];
  return m;
}

bool decode(const SQL_NUMERIC_STRUCT* s, Num* n) {
  if (!s) return false;
  const int scale = s->scale;
  if (scale < 0 || scale > NUMERIC_MAX_PRECISION) return false;
  const u128 mag = read_mag(s);
  if (mag >= kPow.p128[38]) return false;
  n->neg = s->sign == 0 && mag != 0;
  n->mag = mag;
  n->scale = scale;
  return true;
}

void encode(bool neg, u128 mag, int precision, int scale, SQL_NUMERIC_STRUCT* out) {
  out->precision = static_cast<SQLCHAR>(precision);
  out->scale = static_cast<SQLSCHAR>(scale);
  out->sign = (neg && mag != 0) ? 0 : 1;
  for (int i = 0; i < SQL_MAX_NUMERIC_LEN; ++i) {
    out->val[i] = static_cast<SQLCHAR>(mag & 0xff);
    mag >>= 8;
  }
}

// Normalises a requested precision/scale pair; false when out of range.
bool check_target(int* precision, int scale) {
  if (*precision == 0) *precision = NUMERIC_MAX_PRECISION;
  if (*precision < 1 || *precision > NUMERIC_MAX_PRECISION) return false;
  return scale >= 0 && scale <= *precision;
}

// Re-expresses magnitude `mag` of scale `from` at scale `to` with `precision` digits.
// `mag` must be below 10^39 (so mag * 10^38 fits 256 bits).
int store_scaled(bool neg, const U256& mag, int from, int precision, int to,
                 SQL_NUMERIC_STRUCT* out) {
  bool inexact = false;
  U256 v;
  if (to >= from) {
    v = mag;
    for (int k = to - from; k > 0;) {  // at most 10^38 at a time: multiply by 10^19 limbs
      const int step = k > 19 ? 19 : k;
      v = mul256_small(v, static_cast<u64>(kPow.p128[step]));
      k -= step;
    }
  } else {
    v = round_div(mag, pow10_256(from - to), &inexact);
  }
  if (!fits128(v) || low128(v) >= kPow.p128[precision]) return NUMERIC_OVERFLOW;
  encode(neg, low128(v), precision, to, out);
  return inexact ? NUMERIC_ROUNDED : NUMERIC_OK;
}

// Stores an exact arithmetic result of scale `scale` (may exceed 38) with precision 38:
// fraction digits are rounded away until the magnitude has at most 38 digits and the scale is
// at most 38; NUMERIC_OVERFLOW when the integer part alone needs more than 38 digits.
int store_result(bool neg, const U256& mag, int scale, SQL_NUMERIC_STRUCT* out) {
  int drop = digits256(mag) - NUMERIC_MAX_PRECISION;
  if (scale - NUMERIC_MAX_PRECISION > drop) drop = scale - NUMERIC_MAX_PRECISION;
  if (drop < 0) drop = 0;
  if (drop > scale) return NUMERIC_OVERFLOW;
  U256 q = drop ? round_div(mag, pow10_256(drop), nullptr) : mag;
  if (!fits128(q) || low128(q) >= kPow.p128[38]) {
    // Rounding carried into a 39th digit (q == 10^38): one more digit has to go.
    if (drop + 1 > scale) return NUMERIC_OVERFLOW;
    ++drop;
    q = round_div(mag, pow10_256(drop), nullptr);
  }
  encode(neg, low128(q), NUMERIC_MAX_PRECISION, scale - drop, out);
  return NUMERIC_OK;
}

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Magnitude of a valid value aligned to scale `to` (>= v.scale) as 256 bits.
U256 aligned(const Num& v, int to) {
  return to == v.scale ? make256(v.mag) : mul128x128(v.mag, kPow.p128[to - v.scale]);
}

int add_signed(const Num& a, const Num& b, SQL_NUMERIC_STRUCT* out) {
  const int scale = a.scale > b.scale ? a.scale : b.scale;
  const U256 x = aligned(a, scale), y = aligned(b, scale);
  if (a.neg == b.neg) return store_result(a.neg, add256(x, y), scale, out);
  const int c = cmp256(x, y);
  if (c == 0) return store_result(false, U256{}, scale, out);
  if (c > 0) return store_result(a.neg, sub256(x, y), scale, out);
  return store_result(b.neg, sub256(y, x), scale, out);
}

}  // namespace

// -----------------------------------------------------------------------------------------------

int numeric_from_text(const char* text, size_t length, int precision, int scale,
                      SQL_NUMERIC_STRUCT* out) {
  if (!out || !text || !check_target(&precision, scale)) return NUMERIC_INVALID;
  // The text ends at `length` bytes or at a NUL byte, whichever comes first.
  size_t n = 0;
  while (n < length && text[n] != '\0') ++n;

  size_t i = 0;
  while (i < n && is_blank(text[i])) ++i;
  bool neg = false;
  if (i < n && (text[i] == '+' || text[i] == '-')) neg = text[i++] == '-';

  // Significant digits (from the first non-zero one): the first 40 are kept, the rest only
  // noted when non-zero. `point` counts significant digits before the decimal point (it goes
  // negative for zeros between the point and the first significant digit).
  constexpr int kKeep = 40;
  unsigned char digs[kKeep];
  int kept = 0;
  bool sticky = false, any_digit = false, nonzero = false;
  int64_t point = 0;
  auto take = [&](char c) {
    if (kept < kKeep) {
      digs[kept++] = static_cast<unsigned char>(c - '0');
    } else if (c != '0') {
      sticky = true;
    }
  };
  for (; i < n && is_digit(text[i]); ++i) {
    any_digit = true;
    if (nonzero || text[i] != '0') {
      nonzero = true;
      take(text[i]);
      ++point;
    }
  }
  if (i < n && text[i] == '.') {
    for (++i; i < n && is_digit(text[i]); ++i) {
      any_digit = true;
      if (nonzero || text[i] != '0') {
        nonzero = true;
        take(text[i]);
      } else {
        --point;
      }
    }
  }
  if (!any_digit) return NUMERIC_INVALID;

  int64_t exponent = 0;
  if (i < n && (text[i] == 'e' || text[i] == 'E')) {
    ++i;
    bool eneg = false;
    if (i < n && (text[i] == '+' || text[i] == '-')) eneg = text[i++] == '-';
    if (i >= n || !is_digit(text[i])) return NUMERIC_INVALID;
    for (; i < n && is_digit(text[i]); ++i) {
      if (exponent < 1000000000) exponent = exponent * 10 + (text[i] - '0');
    }
    if (eneg) exponent = -exponent;
  }
  while (i < n && is_blank(text[i])) ++i;
  if (i != n) return NUMERIC_INVALID;

  if (!nonzero) {
    encode(false, 0, precision, scale, out);
    return NUMERIC_OK;
  }
  // Value = 0.d1d2d3... x 10^(point + exponent); at `scale` the integer keeps m digits.
  const int64_t m = point + exponent + scale;
  if (m > precision) return NUMERIC_OVERFLOW;
  if (m < 0) {
    encode(false, 0, precision, scale, out);
    return NUMERIC_ROUNDED;
  }
  u128 mag = 0;
  for (int64_t k = 0; k < m; ++k) mag = mag * 10 + (k < kept ? digs[k] : 0);
  bool inexact = sticky;
  for (int64_t k = m; k < kept; ++k) inexact = inexact || digs[k] != 0;
  if (m < kept && digs[m] >= 5) ++mag;
  if (mag >= kPow.p128[precision]) return NUMERIC_OVERFLOW;
  encode(neg, mag, precision, scale, out);
  return inexact ? NUMERIC_ROUNDED : NUMERIC_OK;
}

int numeric_to_text(const SQL_NUMERIC_STRUCT* value, char* buffer, size_t size) {
  Num v;
  if (!buffer || !decode(value, &v)) return -1;
  char rev[40];
  int nd = 0;
  u128 m = v.mag;
  do {
    rev[nd++] = static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  } while (m);
  const int s = v.scale;
  const int int_digits = nd > s ? nd - s : 0;
  const size_t len = (v.neg ? 1 : 0) + (int_digits ? int_digits : 1) + (s ? 1 + s : 0);
  if (len + 1 > size) return -1;
  size_t p = 0;
  if (v.neg) buffer[p++] = '-';
  if (int_digits == 0) {
    buffer[p++] = '0';
  } else {
    for (int k = nd - 1; k >= s; --k) buffer[p++] = rev[k];
  }
  if (s) {
    buffer[p++] = '.';
    for (int k = s - 1; k >= 0; --k) buffer[p++] = k < nd ? rev[k] : '0';
  }
  buffer[p] = '\0';
  return static_cast<int>(p);
}

int numeric_rescale(const SQL_NUMERIC_STRUCT* in, int precision, int scale,
                    SQL_NUMERIC_STRUCT* out) {
  Num v;
  if (!out || !check_target(&precision, scale) || !decode(in, &v)) return NUMERIC_INVALID;
  return store_scaled(v.neg, make256(v.mag), v.scale, precision, scale, out);
}

int numeric_from_int128(__int128 v, int precision, int scale, SQL_NUMERIC_STRUCT* out) {
  if (!out || !check_target(&precision, scale)) return NUMERIC_INVALID;
  const bool neg = v < 0;
  const u128 mag = neg ? u128{0} - static_cast<u128>(v) : static_cast<u128>(v);
  if (mag >= kPow.p128[38]) return NUMERIC_OVERFLOW;
  return store_scaled(neg, make256(mag), 0, precision, scale, out);
}

int numeric_from_int64(int64_t v, int precision, int scale, SQL_NUMERIC_STRUCT* out) {
  return numeric_from_int128(v, precision, scale, out);
}

int numeric_from_double(double v, int precision, int scale, SQL_NUMERIC_STRUCT* out) {
  if (!out || !check_target(&precision, scale) || !std::isfinite(v)) return NUMERIC_INVALID;
  // The shortest of "%.15g", "%.16g" and "%.17g" that reads back as the same double (0.1 gives
  // "0.1"), written with to_chars/from_chars so that the process locale cannot interfere.
  char buf[64];
  std::to_chars_result res{};
  for (int digits = 15; digits <= 17; ++digits) {
    res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::scientific, digits - 1);
    if (res.ec != std::errc()) return NUMERIC_INVALID;
    double back = 0.0;
    std::from_chars(buf, res.ptr, back);
    if (back == v) break;  // 17 digits always round-trip
  }
  return numeric_from_text(buf, static_cast<size_t>(res.ptr - buf), precision, scale, out);
}

int numeric_to_int128(const SQL_NUMERIC_STRUCT* value, __int128* out) {
  Num v;
  if (!out || !decode(value, &v)) return NUMERIC_INVALID;
  const u128 q = v.mag / kPow.p128[v.scale];
  *out = v.neg ? -static_cast<__int128>(q) : static_cast<__int128>(q);
  return NUMERIC_OK;
}

int numeric_to_int64(const SQL_NUMERIC_STRUCT* value, int64_t* out) {
  Num v;
  if (!out || !decode(value, &v)) return NUMERIC_INVALID;
  const u128 q = v.mag / kPow.p128[v.scale];
  const u128 limit = static_cast<u128>(std::numeric_limits<int64_t>::max()) + (v.neg ? 1 : 0);
  if (q > limit) return NUMERIC_OVERFLOW;
  *out = v.neg ? static_cast<int64_t>(u64{0} - static_cast<u64>(q)) : static_cast<int64_t>(q);
  return NUMERIC_OK;
}

double numeric_to_double(const SQL_NUMERIC_STRUCT* value) {
  Num v;
  if (!decode(value, &v)) return std::numeric_limits<double>::quiet_NaN();
  if (v.mag == 0) return 0.0;
  // "<digits>e-<scale>": one correctly rounded conversion of the exact decimal value.
  char buf[64];
  char rev[40];
  int nd = 0;
  u128 m = v.mag;
  while (m) {
    rev[nd++] = static_cast<char>('0' + static_cast<int>(m % 10));
    m /= 10;
  }
  int p = 0;
  while (nd) buf[p++] = rev[--nd];
  buf[p++] = 'e';
  buf[p++] = '-';
  if (v.scale >= 10) buf[p++] = static_cast<char>('0' + v.scale / 10);
  buf[p++] = static_cast<char>('0' + v.scale % 10);
  double d = 0.0;
  std::from_chars(buf, buf + p, d);
  return v.neg ? -d : d;
}

int numeric_cmp(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b) {
  Num x{false, 0, 0}, y{false, 0, 0};
  if (!decode(a, &x)) x = Num{false, 0, 0};
  if (!decode(b, &y)) y = Num{false, 0, 0};
  if (x.neg != y.neg) return x.neg ? -1 : 1;
  const int scale = x.scale > y.scale ? x.scale : y.scale;
  const int c = cmp256(aligned(x, scale), aligned(y, scale));
  return x.neg ? -c : c;
}

bool numeric_is_zero(const SQL_NUMERIC_STRUCT* value) {
  return value && read_mag(value) == 0;
}

int numeric_add(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b, SQL_NUMERIC_STRUCT* out) {
  Num x, y;
  if (!out || !decode(a, &x) || !decode(b, &y)) return NUMERIC_INVALID;
  return add_signed(x, y, out);
}

int numeric_sub(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b, SQL_NUMERIC_STRUCT* out) {
  Num x, y;
  if (!out || !decode(a, &x) || !decode(b, &y)) return NUMERIC_INVALID;
  y.neg = !y.neg && y.mag != 0;
  return add_signed(x, y, out);
}

int numeric_mul(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b, SQL_NUMERIC_STRUCT* out) {
  Num x, y;
  if (!out || !decode(a, &x) || !decode(b, &y)) return NUMERIC_INVALID;
  return store_result(x.neg != y.neg, mul128x128(x.mag, y.mag), x.scale + y.scale, out);
}

int numeric_div(const SQL_NUMERIC_STRUCT* a, const SQL_NUMERIC_STRUCT* b, SQL_NUMERIC_STRUCT* out) {
  Num x, y;
  if (!out || !decode(a, &x) || !decode(b, &y)) return NUMERIC_INVALID;
  if (y.mag == 0) return NUMERIC_DIVISION_BY_ZERO;
  const bool neg = x.neg != y.neg;
  // Result scale: max(sum of scales, 6), at most 38. The quotient at scale S is
  // round(x.mag * 10^(S - x.scale + y.scale) / y.mag).
  int scale = x.scale + y.scale;
  if (scale < 6) scale = 6;
  if (scale > NUMERIC_MAX_PRECISION) scale = NUMERIC_MAX_PRECISION;
  if (x.mag == 0) {
    encode(false, 0, NUMERIC_MAX_PRECISION, scale, out);
    return NUMERIC_OK;
  }
  // floor(N / D) has at most digits(N) - digits(D) + 1 digits; lower the scale until that is
  // at most 39 so that the numerator stays below 10^77.
  const int est = digits128(x.mag) + (scale - x.scale + y.scale) - digits128(y.mag) + 1;
  if (est > 39) scale -= est - 39;
  for (;;) {
    if (scale < 0) return NUMERIC_OVERFLOW;
    const int e = scale - x.scale + y.scale;
    U256 num = make256(x.mag), den = make256(y.mag);
    if (e >= 0) {
      num = mul256_128(pow10_256(e), x.mag);
    } else {
      den = mul256_128(pow10_256(-e), y.mag);
    }
    const U256 q = round_div(num, den, nullptr);
    if (fits128(q) && low128(q) < kPow.p128[38]) {
      encode(neg, low128(q), NUMERIC_MAX_PRECISION, scale, out);
      return NUMERIC_OK;
    }
    --scale;  // one digit too many (at most twice): drop a fraction digit, from the exact value
  }
}

void numeric_negate(SQL_NUMERIC_STRUCT* value) {
  if (!value) return;
  value->sign = (value->sign != 0 && read_mag(value) != 0) ? 0 : 1;
}
