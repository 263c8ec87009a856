// Date, time, timestamp and interval literal texts, and the escape-literal parser.
#include "driver/sql/literals.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "support/datetime.h"
#include "support/strbuf.h"
#include "support/value.h"

namespace {

// Any digit run longer than this is out of every range; keeps the arithmetic in 64 bits.
constexpr uint64_t kSaturated = 1000000000000ull;  // 10^12, above every field limit

bool is_digit(char c) {
  return c >= '0' && c <= '9';
}
// Blanks are spaces and control characters (a control character counts as a space).
bool is_blank(char c) {
  return c == ' ' || (static_cast<unsigned char>(c) < 0x20 && c != '\0') || c == 0x7f;
}
const char* skip_blanks(const char* p) {
  while (is_blank(*p)) ++p;
  return p;
}

// Reads a run of digits at p. False when it is empty or longer than max_digits (0: any
// length, saturating). `digits` receives the run's length.
bool read_number(const char*& p, int max_digits, uint64_t* value, int* digits = nullptr) {
  uint64_t number = 0;
  int count = 0;
  while (is_digit(*p)) {
    number = number < kSaturated ? number * 10 + static_cast<uint64_t>(*p - '0') : kSaturated;
    ++count;
    ++p;
  }
  if (count == 0 || (max_digits > 0 && count > max_digits)) return false;
  *value = number < kSaturated ? number : kSaturated;
  if (digits != nullptr) *digits = count;
  return true;
}

// Reads ".f..." (1 to 9 digits) into nanoseconds; no dot leaves the fraction 0.
bool read_fraction(const char*& p, uint32_t* nanoseconds) {
  *nanoseconds = 0;
  if (*p != '.') return true;
  ++p;
  uint64_t value = 0;
  int digits = 0;
  if (!read_number(p, 9, &value, &digits)) return false;
  for (; digits < 9; ++digits) value *= 10;
  *nanoseconds = static_cast<uint32_t>(value);
  return true;
}

bool parse_date_fields(const char*& p, SQL_DATE_STRUCT* date) {
  uint64_t year = 0, month = 0, day = 0;
  if (!read_number(p, 4, &year) || *p++ != '-') return false;
  if (!read_number(p, 2, &month) || *p++ != '-') return false;
  if (!read_number(p, 2, &day)) return false;
  SQL_DATE_STRUCT candidate{static_cast<SQLSMALLINT>(year), static_cast<SQLUSMALLINT>(month),
                            static_cast<SQLUSMALLINT>(day)};
  if (!is_valid_date(&candidate)) return false;
  *date = candidate;
  return true;
}

// Hour, minute and second (1-2 digits each) and an optional fraction, checked against the
// strict (23, 59, 59) or lenient (24, 59, 62) limits.
bool parse_time_fields(const char*& p, bool lenient, SQL_TIME_STRUCT* time, uint32_t* fraction) {
  uint64_t hour = 0, minute = 0, second = 0;
  if (!read_number(p, 2, &hour) || *p++ != ':') return false;
  if (!read_number(p, 2, &minute) || *p++ != ':') return false;
  if (!read_number(p, 2, &second)) return false;
  if (!read_fraction(p, fraction)) return false;
  if (hour > (lenient ? 24u : 23u) || minute > 59 || second > (lenient ? 62u : 59u)) return false;
  *time = SQL_TIME_STRUCT{static_cast<SQLUSMALLINT>(hour), static_cast<SQLUSMALLINT>(minute),
                          static_cast<SQLUSMALLINT>(second)};
  return true;
}

bool parse_date(const char* text, SQL_DATE_STRUCT* out) {
  if (text == nullptr) return false;
  const char* p = skip_blanks(text);
  SQL_DATE_STRUCT date{};
  if (!parse_date_fields(p, &date) || *skip_blanks(p) != '\0') return false;
  if (out != nullptr) *out = date;
  return true;
}

bool parse_time(const char* text, bool lenient, SQL_TIME_STRUCT* out) {
  if (text == nullptr) return false;
  const char* p = skip_blanks(text);
  SQL_TIME_STRUCT time{};
  uint32_t fraction = 0;
  if (!parse_time_fields(p, lenient, &time, &fraction) || *skip_blanks(p) != '\0') return false;
  if (out != nullptr) *out = time;
  return true;
}

bool parse_timestamp(const char* text, bool lenient, SQL_TIMESTAMP_STRUCT* out) {
  if (text == nullptr) return false;
  const char* p = skip_blanks(text);
  SQL_DATE_STRUCT date{};
  SQL_TIME_STRUCT time{};
  uint32_t fraction = 0;
  if (!parse_date_fields(p, &date)) return false;
  const char* after_date = p;
  p = skip_blanks(p);
  if (*p != '\0') {
    if (p == after_date) return false;  // date and time need a blank between them
    if (!parse_time_fields(p, lenient, &time, &fraction) || *skip_blanks(p) != '\0') return false;
  }
  if (out != nullptr)
    *out = SQL_TIMESTAMP_STRUCT{date.year,   date.month,  date.day, time.hour,
                                time.minute, time.second, fraction};
  return true;
}

// --- Interval literals -------------------------------------------------------------------

// The value text's shape ("n n:n:n.n") and its numbers, the fraction kept apart.
struct IntervalText {
  char shape[24];
  int length = 0;
  uint64_t fields[4] = {0, 0, 0, 0};
  int field_count = 0;
  bool has_fraction = false;
  uint64_t fraction = 0;
  int fraction_digits = 0;
};

bool scan_interval_text(const char* text, IntervalText* scanned) {
  const char* p = text;
  for (;;) {
    uint64_t number = 0;
    int digits = 0;
    if (!read_number(p, 0, &number, &digits)) return false;
    if (scanned->has_fraction) {
      if (digits > INTERVAL_MAX_FRACTION_PRECISION) return false;
      scanned->fraction = number;
      scanned->fraction_digits = digits;
    } else {
      if (scanned->field_count == 4) return false;
      scanned->fields[scanned->field_count++] = number;
    }
    if (scanned->length + 2 >= static_cast<int>(sizeof scanned->shape)) return false;
    scanned->shape[scanned->length++] = 'n';
    char separator = *p;
    if (separator == '\0') break;
    if (scanned->has_fraction ||
        (separator != ' ' && separator != ':' && separator != '-' && separator != '.'))
      return false;
    if (separator == '.') scanned->has_fraction = true;
    scanned->shape[scanned->length++] = separator;
    ++p;
  }
  scanned->shape[scanned->length] = '\0';
  return true;
}

// The value shape a qualifier takes (the fraction comes on top), null for a bad qualifier.
const char* shape_of_qualifier(int leading, int trailing) {
  if (trailing == INTERVAL_FIELD_NONE)
    return leading >= INTERVAL_FIELD_YEAR && leading <= INTERVAL_FIELD_SECOND ? "n" : nullptr;
  switch (leading * 10 + trailing) {
    case 12:
      return "n-n";
    case 34:
      return "n n";
    case 35:
      return "n n:n";
    case 36:
      return "n n:n:n";
    case 45:
    case 56:
      return "n:n";
    case 46:
      return "n:n:n";
    default:
      return nullptr;
  }
}

// Largest value a field other than the leading one may hold.
uint64_t trailing_field_limit(int field) {
  switch (field) {
    case INTERVAL_FIELD_MONTH:
      return 11;
    case INTERVAL_FIELD_HOUR:
      return 23;
    default:
      return 59;
  }
}

uint64_t power_of_ten(int exponent) {
  uint64_t value = 1;
  while (exponent-- > 0) value *= 10;
  return value;
}

}  // namespace

bool parse_date_text(const char* text, SQL_DATE_STRUCT* out) {
  return parse_date(text, out);
}

bool parse_time_text(const char* text, SQL_TIME_STRUCT* out) {
  return parse_time(text, false, out);
}

bool parse_timestamp_text(const char* text, SQL_TIMESTAMP_STRUCT* out) {
  return parse_timestamp(text, false, out);
}

int interval_type_of_qualifier(int leading_field, int trailing_field) {
  if (shape_of_qualifier(leading_field, trailing_field) == nullptr) return 0;
  if (trailing_field == INTERVAL_FIELD_NONE) return leading_field;  // SQL_IS_YEAR .. SQL_IS_SECOND
  switch (leading_field * 10 + trailing_field) {
    case 12:
      return SQL_IS_YEAR_TO_MONTH;
    case 34:
      return SQL_IS_DAY_TO_HOUR;
    case 35:
      return SQL_IS_DAY_TO_MINUTE;
    case 36:
      return SQL_IS_DAY_TO_SECOND;
    case 45:
      return SQL_IS_HOUR_TO_MINUTE;
    case 46:
      return SQL_IS_HOUR_TO_SECOND;
    default:
      return SQL_IS_MINUTE_TO_SECOND;
  }
}

IntervalLiteralStatus build_interval_literal_status(int sign, const char* value_text,
                                                    int leading_field, int leading_precision,
                                                    int trailing_field, int fraction_precision,
                                                    SQL_INTERVAL_STRUCT* out) {
  using Status = IntervalLiteralStatus;
  if ((sign != 1 && sign != -1) || value_text == nullptr) return Status::BadForm;
  const char* base_shape = shape_of_qualifier(leading_field, trailing_field);
  if (base_shape == nullptr) return Status::BadForm;
  if (leading_precision <= 0) leading_precision = INTERVAL_DEFAULT_LEADING_PRECISION;
  if (fraction_precision < 0) fraction_precision = INTERVAL_DEFAULT_FRACTION_PRECISION;
  if (leading_precision > INTERVAL_MAX_LEADING_PRECISION ||
      fraction_precision > INTERVAL_MAX_FRACTION_PRECISION)
    return Status::BadForm;

  IntervalText scanned;
  if (!scan_interval_text(value_text, &scanned)) return Status::BadForm;
  int last_field = trailing_field == INTERVAL_FIELD_NONE ? leading_field : trailing_field;
  std::string expected = base_shape;
  if (scanned.has_fraction) {
    if (last_field != INTERVAL_FIELD_SECOND) return Status::BadForm;
    expected += ".n";
  }
  if (expected != scanned.shape) return Status::BadForm;

  // Range checks: the leading field by its precision, the others by the clock and calendar.
  if (scanned.fields[0] >= power_of_ten(leading_precision)) return Status::FieldOverflow;
  for (int i = 1; i < scanned.field_count; ++i)
    if (scanned.fields[i] > trailing_field_limit(leading_field + i)) return Status::FieldOverflow;

  uint64_t nanoseconds = 0;
  if (scanned.has_fraction) {
    uint64_t kept = scanned.fraction;
    for (int d = scanned.fraction_digits; d > fraction_precision; --d) kept /= 10;
    int kept_digits =
        scanned.fraction_digits < fraction_precision ? scanned.fraction_digits : fraction_precision;
    nanoseconds = kept * power_of_ten(INTERVAL_MAX_FRACTION_PRECISION - kept_digits);
  }

  SQL_INTERVAL_STRUCT interval;
  std::memset(&interval, 0, sizeof interval);
  interval.interval_type =
      static_cast<SQLINTERVAL>(interval_type_of_qualifier(leading_field, trailing_field));
  bool any_nonzero = nanoseconds != 0;
  for (int i = 0; i < scanned.field_count; ++i) {
    auto value = static_cast<SQLUINTEGER>(scanned.fields[i]);
    any_nonzero = any_nonzero || value != 0;
    switch (leading_field + i) {
      case INTERVAL_FIELD_YEAR:
        interval.intval.year_month.year = value;
        break;
      case INTERVAL_FIELD_MONTH:
        interval.intval.year_month.month = value;
        break;
      case INTERVAL_FIELD_DAY:
        interval.intval.day_second.day = value;
        break;
      case INTERVAL_FIELD_HOUR:
        interval.intval.day_second.hour = value;
        break;
      case INTERVAL_FIELD_MINUTE:
        interval.intval.day_second.minute = value;
        break;
      default:
        interval.intval.day_second.second = value;
        break;
    }
  }
  if (leading_field >= INTERVAL_FIELD_DAY)
    interval.intval.day_second.fraction = static_cast<SQLUINTEGER>(nanoseconds);
  interval.interval_sign = (sign < 0 && any_nonzero) ? SQL_TRUE : SQL_FALSE;
  if (out != nullptr) *out = interval;
  return Status::Ok;
}

bool build_interval_literal(int sign, const char* value_text, int leading_field,
                            int leading_precision, int trailing_field, int fraction_precision,
                            SQL_INTERVAL_STRUCT* out) {
  return build_interval_literal_status(sign, value_text, leading_field, leading_precision,
                                       trailing_field, fraction_precision,
                                       out) == IntervalLiteralStatus::Ok;
}

// --- Escape literals ---------------------------------------------------------------------

namespace {

enum class TokenKind {
  End,
  OpenBrace,
  CloseBrace,
  Word,
  String,
  Number,
  Open,
  Close,
  Comma,
  Plus,
  Minus,
  Unterminated,
  Other
};

struct Token {
  TokenKind kind = TokenKind::End;
  std::string text;  // words upper-cased; strings without their quotes
};

// Splits the (already blank-cleaned) text into tokens, one at a time.
class EscapeScanner {
 public:
  explicit EscapeScanner(const std::string& text) : p_(text.c_str()) {}

  Token next() {
    Token token;
    p_ = skip_blanks(p_);
    const char* start = p_;
    char c = *p_;
    if (c == '\0') return token;
    if (c == '\'') {
      const char* close = std::strchr(p_ + 1, '\'');
      if (close == nullptr) {
        token.kind = TokenKind::Unterminated;
        token.text = p_;
        p_ += std::strlen(p_);
      } else {
        token.kind = TokenKind::String;
        token.text.assign(p_ + 1, close);
        p_ = close + 1;
      }
      last_ = token.text;
      return token;
    }
    if (is_letter(c) || c == '_') {
      while (is_letter(*p_) || is_digit(*p_) || *p_ == '_') {
        char upper = *p_ >= 'a' && *p_ <= 'z' ? static_cast<char>(*p_ - 'a' + 'A') : *p_;
        token.text.push_back(upper);
        ++p_;
      }
      token.kind = TokenKind::Word;
      last_ = token.text;
      return token;
    }
    if (is_digit(c)) {
      while (is_digit(*p_)) ++p_;
      token.kind = TokenKind::Number;
    } else {
      ++p_;
      switch (c) {
        case '{':
          token.kind = TokenKind::OpenBrace;
          break;
        case '}':
          token.kind = TokenKind::CloseBrace;
          break;
        case '(':
          token.kind = TokenKind::Open;
          break;
        case ')':
          token.kind = TokenKind::Close;
          break;
        case ',':
          token.kind = TokenKind::Comma;
          break;
        case '+':
          token.kind = TokenKind::Plus;
          break;
        case '-':
          token.kind = TokenKind::Minus;
          break;
        default:
          token.kind = TokenKind::Other;
          break;
      }
    }
    token.text.assign(start, p_);
    last_ = token.text;
    return token;
  }

  // Text of the last token read, for messages.
  const std::string& last() const { return last_; }

 private:
  static bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
  const char* p_;
  std::string last_;
};

int field_of_word(const std::string& word) {
  static const char* const kFields[] = {"YEAR", "MONTH", "DAY", "HOUR", "MINUTE", "SECOND"};
  for (int i = 0; i < 6; ++i)
    if (word == kFields[i]) return i + 1;
  return INTERVAL_FIELD_NONE;
}

// A qualifier as written; precisions -1 when not stated.
struct Qualifier {
  int leading = INTERVAL_FIELD_NONE;
  int trailing = INTERVAL_FIELD_NONE;
  long leading_precision = -1;
  long fraction_precision = -1;
};

class EscapeParser {
 public:
  EscapeParser(const std::string& text, unsigned options) : scanner_(text), options_(options) {}

  int parse(QuillValue* out) {
    if (!expect(TokenKind::OpenBrace)) return syntax_error();
    Token opener = scanner_.next();
    if (opener.kind != TokenKind::Word) return syntax_error();
    if (opener.text == "D" || opener.text == "T" || opener.text == "TS")
      return parse_datetime(opener.text, out);
    if (opener.text == "INTERVAL") return parse_interval(out);
    return syntax_error();
  }

  const std::string& message() const { return message_; }

 private:
  int parse_datetime(const std::string& opener, QuillValue* out) {
    Token body = scanner_.next();
    if (body.kind != TokenKind::String) return syntax_error();
    if (!expect_close()) return syntax_error();
    bool lenient = (options_ & ESCAPE_LITERAL_LENIENT_TIME) != 0;
    const char* text = body.text.c_str();
    if (opener == "D") {
      SQL_DATE_STRUCT date{};
      if (!parse_date(text, &date))
        return fail(ESCAPE_LITERAL_INVALID_VALUE, "Invalid DATE literal", body.text);
      if (out != nullptr) set_value_to_date(out, &date);
    } else if (opener == "T") {
      SQL_TIME_STRUCT time{};
      if (!parse_time(text, lenient, &time))
        return fail(ESCAPE_LITERAL_INVALID_VALUE, "Invalid TIME literal", body.text);
      if (out != nullptr) set_value_to_time(out, &time);
    } else {
      SQL_TIMESTAMP_STRUCT timestamp{};
      if (!parse_timestamp(text, lenient, &timestamp))
        return fail(ESCAPE_LITERAL_INVALID_VALUE, "Invalid TIMESTAMP literal", body.text);
      if (out != nullptr) set_value_to_timestamp(out, &timestamp);
    }
    return ESCAPE_LITERAL_OK;
  }

  int parse_interval(QuillValue* out) {
    Token token = scanner_.next();
    int sign = 1;
    if (token.kind == TokenKind::Minus || token.kind == TokenKind::Plus) {
      sign = token.kind == TokenKind::Minus ? -1 : 1;
      token = scanner_.next();
    }
    if (token.kind != TokenKind::String) return syntax_error();
    std::string body = trim_blanks(token.text);
    Qualifier qualifier;
    if (!parse_qualifier(&qualifier)) return syntax_error();
    if (!expect_close()) return syntax_error();

    const long leading_precision = qualifier.leading_precision;
    const long fraction_precision = qualifier.fraction_precision;
    if (leading_precision == 0 || leading_precision > INTERVAL_MAX_LEADING_PRECISION ||
        fraction_precision > INTERVAL_MAX_FRACTION_PRECISION)
      return fail(ESCAPE_LITERAL_INVALID_VALUE, "Invalid INTERVAL literal", body);
    SQL_INTERVAL_STRUCT interval;
    IntervalLiteralStatus status = build_interval_literal_status(
        sign, body.c_str(), qualifier.leading, static_cast<int>(leading_precision),
        qualifier.trailing, static_cast<int>(fraction_precision), &interval);
    if (status != IntervalLiteralStatus::Ok)
      return fail(status == IntervalLiteralStatus::FieldOverflow ? ESCAPE_LITERAL_INTERVAL_OVERFLOW
                                                                 : ESCAPE_LITERAL_INVALID_VALUE,
                  "Invalid INTERVAL literal", body);
    if (out != nullptr) {
      int32_t precision = leading_precision > 0 ? static_cast<int32_t>(leading_precision)
                                                : INTERVAL_DEFAULT_LEADING_PRECISION;
      set_interval_payload(out, &interval, precision);
    }
    return ESCAPE_LITERAL_OK;
  }

  // field [(p [, s])] [TO field [(s) | (p [, s])]], or one word "FIELD_TO_FIELD" [(p [, s])].
  // A second precision is only taken where the qualifier ends with SECOND.
  bool parse_qualifier(Qualifier* qualifier) {
    Token word = scanner_.next();
    if (word.kind != TokenKind::Word) return false;
    size_t joint = word.text.find("_TO_");
    if (joint != std::string::npos) {
      qualifier->leading = field_of_word(word.text.substr(0, joint));
      qualifier->trailing = field_of_word(word.text.substr(joint + 4));
      if (qualifier->leading == INTERVAL_FIELD_NONE || qualifier->trailing == INTERVAL_FIELD_NONE)
        return false;
      lookahead_ = scanner_.next();
      return parse_precisions(&qualifier->leading_precision, &qualifier->fraction_precision,
                              qualifier->trailing == INTERVAL_FIELD_SECOND);
    }
    qualifier->leading = field_of_word(word.text);
    if (qualifier->leading == INTERVAL_FIELD_NONE) return false;
    lookahead_ = scanner_.next();
    if (!parse_precisions(&qualifier->leading_precision, &qualifier->fraction_precision, true))
      return false;
    if (lookahead_.kind != TokenKind::Word || lookahead_.text != "TO") {
      // (p, s) belongs to a single SECOND only.
      return qualifier->fraction_precision < 0 || qualifier->leading == INTERVAL_FIELD_SECOND;
    }
    if (qualifier->fraction_precision >= 0) return false;
    Token trailing = scanner_.next();
    if (trailing.kind != TokenKind::Word) return false;
    qualifier->trailing = field_of_word(trailing.text);
    if (qualifier->trailing == INTERVAL_FIELD_NONE) return false;
    lookahead_ = scanner_.next();
    if (lookahead_.kind != TokenKind::Open) return true;
    // After the trailing field: "(s)" for SECOND is its fraction precision; the forms CAST
    // writes, "YEAR TO MONTH(p)" and "DAY TO SECOND(p,s)", carry the leading precision first.
    long first = -1, second = -1;
    if (!parse_precisions(&first, &second, qualifier->trailing == INTERVAL_FIELD_SECOND))
      return false;
    if (second >= 0 || qualifier->trailing != INTERVAL_FIELD_SECOND) {
      if (qualifier->leading_precision >= 0) return false;
      qualifier->leading_precision = first;
      qualifier->fraction_precision = second;
    } else {
      qualifier->fraction_precision = first;
    }
    return true;
  }

  // Optional "(first [, second])" starting at the lookahead; leaves the token after it in
  // the lookahead.
  bool parse_precisions(long* first, long* second, bool second_allowed) {
    if (lookahead_.kind != TokenKind::Open) return true;
    if (!read_precision(first)) return false;
    Token token = scanner_.next();
    if (token.kind == TokenKind::Comma) {
      if (!second_allowed || !read_precision(second)) return false;
      token = scanner_.next();
    }
    if (token.kind != TokenKind::Close) return false;
    lookahead_ = scanner_.next();
    return true;
  }

  bool read_precision(long* precision) {
    Token token = scanner_.next();
    if (token.kind != TokenKind::Number) return false;
    // Anything of more than two digits is beyond every limit; 99 marks it.
    *precision = token.text.size() > 2 ? 99 : std::stol(token.text);
    return true;
  }

  // "}" (possibly already in the lookahead) and then the end of the text.
  bool expect_close() {
    Token token = lookahead_.kind != TokenKind::End ? lookahead_ : scanner_.next();
    lookahead_ = Token{};
    return token.kind == TokenKind::CloseBrace && expect(TokenKind::End);
  }

  bool expect(TokenKind kind) { return scanner_.next().kind == kind; }

  static std::string trim_blanks(const std::string& text) {
    size_t first = 0, last = text.size();
    while (first < last && text[first] == ' ') ++first;
    while (last > first && text[last - 1] == ' ') --last;
    return text.substr(first, last - first);
  }

  int syntax_error() { return fail(ESCAPE_LITERAL_SYNTAX_ERROR, "syntax error", scanner_.last()); }

  int fail(int status, const char* reason, const std::string& near) {
    message_ = std::string(reason) + " near '" + near + "'";
    return status;
  }

  EscapeScanner scanner_;
  unsigned options_;
  Token lookahead_;
  std::string message_;
};

void copy_message(const std::string& text, char* message, size_t message_size) {
  if (message == nullptr || message_size == 0) return;
  utf8_format(message, message_size, "%s", text.c_str());
}

}  // namespace

int parse_escape_literal(const char* text, QuillValue* out, char* message, size_t message_size,
                         unsigned options) {
  if (message != nullptr && message_size > 0) message[0] = '\0';
  if (text == nullptr) {
    copy_message("syntax error near ''", message, message_size);
    return ESCAPE_LITERAL_SYNTAX_ERROR;
  }
  try {
    std::string cleaned(text);
    for (char& c : cleaned)
      if (is_blank(c)) c = ' ';
    EscapeParser parser(cleaned, options);
    int status = parser.parse(out);
    if (status != ESCAPE_LITERAL_OK) copy_message(parser.message(), message, message_size);
    return status;
  } catch (...) {  // allocation failure: nothing may escape to the caller
    copy_message("memory exhausted", message, message_size);
    return ESCAPE_LITERAL_SYNTAX_ERROR;
  }
}
