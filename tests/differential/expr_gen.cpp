// Expression generator for the differential test against SQLite. Every production writes
// the same meaning in both dialects; where the spellings differ (LOCATE against instr, MOD
// against %, CHAR_LENGTH against length, DATE literals against ISO texts) the mapping is
// made here. Strings carry no trailing blanks, because the driver compares character values
// blank-padded and SQLite does not.
#include "tests/differential/expr_gen.h"

#include <array>

namespace {

// The last strings hold characters of two and three bytes: lengths, positions and "_"
// count characters in both engines.
const std::array<const char*, 12> kStrings = {"ab",  "Ab",  "abc", "b",  "xyz", "",
                                              "aBc", "a_c", "100", "ba", "ñab", "a€b"};
const std::array<const char*, 7> kNeedles = {"a", "b", "c", "ab", "x", "B", "€"};
const std::array<const char*, 10> kPatterns = {"a%",  "%b",  "_b%", "%",   "",
                                               "A_C", "%B%", "x_z", "_a_", "%€_"};
const std::array<const char*, 6> kDates = {"2024-01-31", "2024-02-29", "1999-12-31",
                                           "2024-01-05", "2000-01-01", "2024-02-01"};
const std::array<const char*, 6> kMantissas = {"0.5", "1.25", "2.5", "3.0", "10.0", "0.1"};
const std::array<const char*, 3> kExponents = {"E0", "E1", "E-1"};
const std::array<const char*, 6> kComparisons = {"=", "<>", "<", ">", "<=", ">="};

ExprPair both(const std::string& text, bool predicate = false) {
  return {text, text, predicate};
}

ExprPair join(const char* open, const ExprPair& a, const char* middle, const ExprPair& b,
              const char* close, bool predicate = false) {
  return {open + a.quill + middle + b.quill + close, open + a.sqlite + middle + b.sqlite + close,
          predicate};
}

ExprPair wrap(const char* open, const ExprPair& a, const char* close, bool predicate = false) {
  return {open + a.quill + close, open + a.sqlite + close, predicate};
}

std::string quoted(const char* text) {
  return std::string("'") + text + "'";
}

}  // namespace

int ExprGenerator::pick(int count) {
  return static_cast<int>(random_() % static_cast<uint32_t>(count));
}

bool ExprGenerator::chance(int percent) {
  return pick(100) < percent;
}

ExprPair ExprGenerator::next(int depth) {
  switch (pick(5)) {
    case 0:
      return make(Type::Integer, depth);
    case 1:
      return make(Type::Double, depth);
    case 2:
      return make(Type::String, depth);
    default:
      return make(Type::Truth, depth);
  }
}

ExprPair ExprGenerator::make(Type type, int depth) {
  switch (type) {
    case Type::Integer:
      return integer(depth);
    case Type::Double:
      return real(depth);
    case Type::String:
      return text(depth);
    case Type::Date:
      return date();
    case Type::Truth:
      return truth(depth);
  }
  return both("1");
}

ExprPair ExprGenerator::integer(int depth) {
  if (depth <= 0 || chance(25)) {
    if (chance(6)) return both("CAST(NULL AS INTEGER)");
    if (chance(6)) return both(std::to_string(2147483600 + pick(47)));
    int n = pick(41) - 20;
    return both(n < 0 ? "(" + std::to_string(n) + ")" : std::to_string(n));
  }
  const int d = depth - 1;
  switch (pick(12)) {
    case 0:
      return join("(", integer(d), " + ", integer(d), ")");
    case 1:
      return join("(", integer(d), " - ", integer(d), ")");
    case 2:
      return join("(", integer(d), " * ", integer(d), ")");
    case 3:
      return join("(", integer(d), " / ", integer(d), ")");
    case 4:
      return wrap("(-(", integer(d), "))");
    case 5: {
      ExprPair a = integer(d), b = integer(d);
      return {"MOD(" + a.quill + ", " + b.quill + ")", "(" + a.sqlite + " % " + b.sqlite + ")",
              false};
    }
    case 6: {
      ExprPair p = truth(d), a = integer(d), b = integer(d);
      return {"CASE WHEN " + p.quill + " THEN " + a.quill + " ELSE " + b.quill + " END",
              "CASE WHEN " + p.sqlite + " THEN " + a.sqlite + " ELSE " + b.sqlite + " END", false};
    }
    case 7:
      return join("COALESCE(", integer(d), ", ", integer(d), ")");
    case 8:
      return join("NULLIF(", integer(d), ", ", integer(d), ")");
    case 9: {
      ExprPair s = text(d);
      return {"CHAR_LENGTH(" + s.quill + ")", "length(" + s.sqlite + ")", false};
    }
    case 10: {
      ExprPair s = text(d);
      std::string needle = quoted(kNeedles[static_cast<size_t>(pick(kNeedles.size()))]);
      return {"LOCATE(" + needle + ", " + s.quill + ")", "instr(" + s.sqlite + ", " + needle + ")",
              false};
    }
    default: {
      ExprPair a = integer(d), b = integer(d), c = integer(d);
      return {"CASE " + a.quill + " WHEN " + b.quill + " THEN 1 ELSE " + c.quill + " END",
              "CASE " + a.sqlite + " WHEN " + b.sqlite + " THEN 1 ELSE " + c.sqlite + " END",
              false};
    }
  }
}

ExprPair ExprGenerator::integer_literal() {
  int n = pick(21) - 10;
  return both(n < 0 ? "(" + std::to_string(n) + ")" : std::to_string(n));
}

ExprPair ExprGenerator::real(int depth) {
  if (depth <= 0 || chance(25)) {
    if (chance(6)) return both("CAST(NULL AS DOUBLE)");
    if (chance(5)) return both("0.0E0");
    std::string literal = std::string(kMantissas[static_cast<size_t>(pick(kMantissas.size()))]) +
                          kExponents[static_cast<size_t>(pick(kExponents.size()))];
    return both(chance(20) ? "(-" + literal + ")" : literal);
  }
  const int d = depth - 1;
  // Mixed operands: one side may be an integer, which both languages widen to double.
  auto operand = [&]() { return chance(25) ? integer(d) : real(d); };
  switch (pick(8)) {
    case 0:
      return join("(", real(d), " + ", operand(), ")");
    case 1:
      return join("(", operand(), " - ", real(d), ")");
    case 2:
      return join("(", real(d), " * ", operand(), ")");
    case 3:
      return join("(", real(d), " / ", operand(), ")");
    case 4:
      return wrap("(-(", real(d), "))");
    case 5:
      return join("COALESCE(", real(d), ", ", real(d), ")");
    case 6: {
      ExprPair p = truth(d), a = real(d), b = real(d);
      return {"CASE WHEN " + p.quill + " THEN " + a.quill + " ELSE " + b.quill + " END",
              "CASE WHEN " + p.sqlite + " THEN " + a.sqlite + " ELSE " + b.sqlite + " END", false};
    }
    default:
      return join("NULLIF(", real(d), ", ", real(d), ")");
  }
}

ExprPair ExprGenerator::text(int depth) {
  if (depth <= 0 || chance(30)) {
    if (chance(6)) return both("CAST(NULL AS VARCHAR(10))");
    return both(quoted(kStrings[static_cast<size_t>(pick(kStrings.size()))]));
  }
  const int d = depth - 1;
  switch (pick(11)) {
    case 0:
      return join("(", text(d), " || ", text(d), ")");
    case 1:
      return wrap("UPPER(", text(d), ")");
    case 2:
      return wrap("LOWER(", text(d), ")");
    case 3: {
      ExprPair s = text(d);
      std::string start = std::to_string(1 + pick(4)), count = std::to_string(pick(5));
      return {"SUBSTRING(" + s.quill + ", " + start + ", " + count + ")",
              "substr(" + s.sqlite + ", " + start + ", " + count + ")", false};
    }
    case 4: {
      ExprPair s = text(d), t = text(d);
      std::string needle = quoted(kNeedles[static_cast<size_t>(pick(kNeedles.size()))]);
      return {"REPLACE(" + s.quill + ", " + needle + ", " + t.quill + ")",
              "replace(" + s.sqlite + ", " + needle + ", " + t.sqlite + ")", false};
    }
    case 5:
      return both("LTRIM('  " + std::string(kStrings[static_cast<size_t>(pick(4))]) + "')");
    case 6:
      return both("RTRIM('" + std::string(kStrings[static_cast<size_t>(pick(4))]) + "   ')");
    case 7:
      return join("COALESCE(", text(d), ", ", text(d), ")");
    case 8:
      return join("NULLIF(", text(d), ", ", text(d), ")");
    case 9: {
      ExprPair p = truth(d), a = text(d), b = text(d);
      return {"CASE WHEN " + p.quill + " THEN " + a.quill + " ELSE " + b.quill + " END",
              "CASE WHEN " + p.sqlite + " THEN " + a.sqlite + " ELSE " + b.sqlite + " END", false};
    }
    default: {
      ExprPair p = truth(d), a = text(d);
      return {"CASE WHEN " + p.quill + " THEN " + a.quill + " END",
              "CASE WHEN " + p.sqlite + " THEN " + a.sqlite + " END", false};
    }
  }
}

ExprPair ExprGenerator::date() {
  const char* day = kDates[static_cast<size_t>(pick(kDates.size()))];
  return {"DATE '" + std::string(day) + "'", quoted(day), false};
}

ExprPair ExprGenerator::comparison(int depth) {
  const std::string op = std::string(" ") + kComparisons[static_cast<size_t>(pick(6))] + " ";
  const char* o = op.c_str();
  switch (pick(6)) {
    case 0:
      return join("(", integer(depth), o, integer(depth), ")", true);
    case 1:
      return join("(", real(depth), o, chance(50) ? real(depth) : integer(depth), ")", true);
    case 2:
      return join("(", text(depth), o, text(depth), ")", true);
    case 3:
      return join("(", date(), o, date(), ")", true);
    case 4: {
      // A date against a text: the driver parses the text as a date literal.
      const char* day = kDates[static_cast<size_t>(pick(kDates.size()))];
      return join("(", date(), o, both(quoted(day)), ")", true);
    }
    default:
      return join("(", integer(depth), o, real(depth), ")", true);
  }
}

ExprPair ExprGenerator::truth(int depth) {
  if (depth <= 0 || chance(30)) return comparison(depth <= 0 ? 0 : depth - 1);
  const int d = depth - 1;
  switch (pick(10)) {
    case 0:
      return join("(", truth(d), " AND ", truth(d), ")", true);
    case 1:
      return join("(", truth(d), " OR ", truth(d), ")", true);
    case 2:
      return wrap("(NOT ", truth(d), ")", true);
    case 3:
      return wrap("(", chance(50) ? integer(d) : text(d), " IS NULL)", true);
    case 4:
      return wrap("(", chance(50) ? real(d) : text(d), " IS NOT NULL)", true);
    case 5: {
      std::string pattern = quoted(kPatterns[static_cast<size_t>(pick(kPatterns.size()))]);
      std::string tail = (chance(30) ? " NOT LIKE " : " LIKE ") + pattern + ")";
      return wrap("(", text(d), tail.c_str(), true);
    }
    case 6: {
      // No NULLs here: the driver's IN never yields UNKNOWN (see the intended differences).
      ExprPair x = integer_literal(), a = integer_literal(), b = integer_literal(),
               c = integer_literal();
      const char* in = chance(30) ? " NOT IN (" : " IN (";
      return {"(" + x.quill + in + a.quill + ", " + b.quill + ", " + c.quill + "))",
              "(" + x.sqlite + in + a.sqlite + ", " + b.sqlite + ", " + c.sqlite + "))", true};
    }
    case 7: {
      ExprPair x = integer(d), lo = integer(d), hi = integer(d);
      return {"(" + x.quill + " BETWEEN " + lo.quill + " AND " + hi.quill + ")",
              "(" + x.sqlite + " BETWEEN " + lo.sqlite + " AND " + hi.sqlite + ")", true};
    }
    default:
      return comparison(d);
  }
}
