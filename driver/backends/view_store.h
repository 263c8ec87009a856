// The store that views are kept in: a keyed store of sections, entries and text values, with
// the layout a view takes there (section "views", one entry per view keyed by its catalog,
// schema and name, the query text and its column names under the entry), view creation with
// its limits, lookup and removal. This system's store has no persistent backing: every
// operation of `view_store_unbacked` fails, so no view is ever found and creating one ends
// with "Unable to create view".
#pragma once

#include <string>
#include <vector>

#include "support/diag.h"

// A keyed store: values are found by section, entry and key. Each operation returns 0, or -1
// when it failed (for `read`, also when the value does not exist).
struct SchemaStore {
  void* context;  // passed back to every operation
  int (*write)(void* context, const std::string& section, const std::string& entry,
               const std::string& key, const std::string& value);
  int (*read)(void* context, const std::string& section, const std::string& entry,
              const std::string& key, std::string* value);
  int (*remove)(void* context, const std::string& section, const std::string& entry);
};

// Section the views are kept in.
inline constexpr const char* VIEW_SECTION = "views";
// Stands for a missing catalog or schema in a view's entry.
inline constexpr const char* VIEW_NO_NAME = "$$NONAME$$";
// Key of the view's query text under its entry.
inline constexpr const char* VIEW_QUERY_KEY = "query";
// Key of the number of column names under its entry ("name_%d" keys follow from 0 upward).
inline constexpr const char* VIEW_NAME_COUNT_KEY = "name_count";
// Longest query text a view may have, in bytes.
inline constexpr size_t VIEW_QUERY_MAX = 16384;
// Most column names a view may list.
inline constexpr int VIEW_NAMES_MAX = 128;

// A view's name; empty parts are missing.
struct ViewName {
  std::string catalog;  // catalog, or ""
  std::string schema;   // schema, or ""
  std::string name;     // the view's name
};

// What the store holds for a view.
struct ViewDefinition {
  std::string query;               // the query as SQL text
  std::vector<std::string> names;  // its column names (may be empty)
};

// The store of this system: no backing, every operation fails.
const SchemaStore* view_store_unbacked();
// The entry a view is kept under: "catalog.schema.name", a missing part as VIEW_NO_NAME.
std::string view_entry(const ViewName& view);
// The "name_%d" key of column name `index`.
std::string view_name_key(int index);

// Writes the view: its query as SQL text (as the engine prints it) and its column names. 0, or
// -1 after posting HY000 "General error: %s" (origin "ISO 9075") with "Unable to create view,
// query to large" (text of VIEW_QUERY_MAX + 1 bytes or more), "Unable to create view, too many
// names" or, when the store fails, "Unable to create view".
int view_store_create(const SchemaStore* store, ErrorHeader* errors, const ViewName& view,
                      const std::string& query, const std::vector<std::string>& names);
// Reads the view: true with `*out` filled, false when the store has no such view.
bool view_store_find(const SchemaStore* store, const ViewName& view, ViewDefinition* out);
// Removes the view's entry: 0, or -1 when the store failed.
int view_store_drop(const SchemaStore* store, const ViewName& view);
