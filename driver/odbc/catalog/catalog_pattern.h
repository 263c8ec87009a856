// Search patterns in the catalog functions' pattern arguments: "%" (any run of characters),
// "_" (any one character) and the escape character reported as SQL_SEARCH_PATTERN_ESCAPE. A
// pattern argument is taken out of the data-access call (which matches names exactly) and
// matched against the rows instead; identifier arguments (SQL_ATTR_METADATA_ID true) and the
// catalog, schema and table-type enumerations of SQLTables stay as they are.
#pragma once

#include <string>
#include <vector>

#include "driver/odbc/catalog/catalog_request.h"
#include "support/value.h"

// One pattern a result column must match. Letters compare with their case, as the exact
// names of the data-access call do.
struct CatalogPattern {
  int column = 0;             // 0-based result column the pattern applies to
  bool matches_null = false;  // the pattern is all "%": it accepts a NULL too
  std::string text;           // the pattern as the application wrote it
};

// Moves the pattern arguments of `request` that hold a wildcard or the escape character into
// `patterns`, leaving those arguments "not given" so the data-access call returns every
// candidate. Nothing moves when `metadata_id` is true (identifiers are exact).
void catalog_take_patterns(CatalogRequest* request, bool metadata_id,
                           std::vector<CatalogPattern>* patterns);
// True when the whole of `name` matches `pattern` ("_" takes one UTF-8 character, the escape
// character makes the next one literal, a trailing escape stands for itself).
bool catalog_pattern_match(const std::string& pattern, const char* name, size_t length);
// True when the row whose result values are `values` satisfies every pattern.
bool catalog_row_matches(const std::vector<CatalogPattern>& patterns,
                         const std::vector<QuillValue*>& values);
