// Which arguments of each catalog function are patterns, and matching the rows of the
// data-access call against them with the driver's search-pattern escape.
#include "driver/odbc/catalog/catalog_pattern.h"

#include <sqlext.h>

#include <utility>

namespace {

// The escape character the driver reports as SQL_SEARCH_PATTERN_ESCAPE.
constexpr char kPatternEscape = '\\';

// True when argument `index` (0-based, in the function's declared order) of `function` is a
// pattern value argument, as the ODBC reference lists them.
bool is_pattern_argument(int function, int index) {
  switch (function) {
    case SQL_API_SQLTABLES:  // catalog, schema and table
      return index <= 2;
    case SQL_API_SQLCOLUMNS:
    case SQL_API_SQLPROCEDURECOLUMNS:  // schema, table or procedure, column
      return index >= 1 && index <= 3;
    case SQL_API_SQLPROCEDURES:
    case SQL_API_SQLTABLEPRIVILEGES:  // schema and table or procedure
      return index == 1 || index == 2;
    case SQL_API_SQLCOLUMNPRIVILEGES:  // the column only
      return index == 3;
    default:
      return false;
  }
}

bool empty_or_absent(const CatalogText& argument) {
  return !argument.given || argument.text.empty();
}

// The SQLTables calls that list catalogs, schemas or table types: their "%" is no pattern.
bool is_tables_enumeration(const CatalogRequest& request) {
  if (request.function != SQL_API_SQLTABLES) return false;
  const CatalogText* n = request.names;
  bool catalogs = n[0].text == "%" && empty_or_absent(n[1]) && empty_or_absent(n[2]);
  bool schemas = n[1].text == "%" && empty_or_absent(n[0]) && empty_or_absent(n[2]);
  bool types =
      n[3].text == "%" && empty_or_absent(n[0]) && empty_or_absent(n[1]) && empty_or_absent(n[2]);
  return catalogs || schemas || types;
}

bool needs_matching(const std::string& text) {
  return text.find_first_of("%_\\") != std::string::npos;
}

// Bytes of the UTF-8 character starting with `lead` (1 for a byte that begins none).
size_t character_size(unsigned char lead) {
  if (lead >= 0xF0 && lead <= 0xF4) return 4;
  if (lead >= 0xE0) return lead <= 0xEF ? 3 : 1;
  if (lead >= 0xC2) return 2;
  return 1;
}

// One step of a pattern: a literal character, "_" or "%".
struct Step {
  enum Kind { LITERAL, ONE, ANY } kind;
  std::string literal;  // the character's bytes (LITERAL)
};

std::vector<Step> steps_of(const std::string& pattern) {
  std::vector<Step> steps;
  for (size_t at = 0; at < pattern.size();) {
    char c = pattern[at];
    if (c == '%' || c == '_') {
      if (c == '_' || steps.empty() || steps.back().kind != Step::ANY)
        steps.push_back(Step{c == '%' ? Step::ANY : Step::ONE, std::string()});
      ++at;
      continue;
    }
    if (c == kPatternEscape && at + 1 < pattern.size()) ++at;
    size_t size = character_size(static_cast<unsigned char>(pattern[at]));
    if (at + size > pattern.size()) size = pattern.size() - at;
    steps.push_back(Step{Step::LITERAL, pattern.substr(at, size)});
    at += size;
  }
  return steps;
}

}  // namespace

bool catalog_pattern_match(const std::string& pattern, const char* name, size_t length) {
  std::vector<Step> steps = steps_of(pattern);
  // Greedy matching with one resumable "%": linear backtracking, never exponential.
  size_t step = 0, at = 0;
  size_t any_step = steps.size(), any_at = 0;
  while (at < length) {
    size_t size = character_size(static_cast<unsigned char>(name[at]));
    if (at + size > length) size = length - at;
    if (step < steps.size() && steps[step].kind == Step::ANY) {
      any_step = step++;
      any_at = at;
      continue;
    }
    if (step < steps.size() &&
        (steps[step].kind == Step::ONE ||
         steps[step].literal.compare(0, std::string::npos, name + at, size) == 0)) {
      ++step;
      at += size;
      continue;
    }
    if (any_step == steps.size()) return false;
    // Let the last "%" take one more character and retry from there.
    step = any_step + 1;
    any_at += character_size(static_cast<unsigned char>(name[any_at]));
    if (any_at > length) any_at = length;
    at = any_at;
  }
  while (step < steps.size() && steps[step].kind == Step::ANY) ++step;
  return step == steps.size();
}

void catalog_take_patterns(CatalogRequest* request, bool metadata_id,
                           std::vector<CatalogPattern>* patterns) {
  if (metadata_id || is_tables_enumeration(*request)) return;
  for (int i = 0; i < request->name_count; ++i) {
    CatalogText& argument = request->names[i];
    if (!argument.given || !is_pattern_argument(request->function, i) ||
        !needs_matching(argument.text))
      continue;
    CatalogPattern pattern;
    pattern.column = i;
    pattern.matches_null = argument.text.find_first_not_of('%') == std::string::npos;
    pattern.text = argument.text;
    patterns->push_back(std::move(pattern));
    argument = CatalogText{};
  }
}

bool catalog_row_matches(const std::vector<CatalogPattern>& patterns,
                         const std::vector<QuillValue*>& values) {
  for (const CatalogPattern& pattern : patterns) {
    if (pattern.column < 0 || static_cast<size_t>(pattern.column) >= values.size()) continue;
    const QuillValue* value = values[static_cast<size_t>(pattern.column)];
    if (is_value_null(value)) {
      if (!pattern.matches_null) return false;
      continue;
    }
    const char* text = value->bytes.data ? value->bytes.data : "";
    size_t length = value->bytes.length > 0 ? static_cast<size_t>(value->bytes.length) : 0;
    if (!catalog_pattern_match(pattern.text, text, length)) return false;
  }
  return true;
}
