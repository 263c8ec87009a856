// Views in the keyed store: the entry layout, creation with its limits, lookup and removal,
// and the store without backing that this system has.
#include "driver/backends/view_store.h"

#include <cstdlib>

namespace {

int fail_write(void*, const std::string&, const std::string&, const std::string&,
               const std::string&) {
  return -1;
}
int fail_read(void*, const std::string&, const std::string&, const std::string&, std::string*) {
  return -1;
}
int fail_remove(void*, const std::string&, const std::string&) {
  return -1;
}

constexpr SchemaStore kUnbacked{nullptr, fail_write, fail_read, fail_remove};

int post_failure(ErrorHeader* errors, const char* text) {
  SetReturnCode(errors, -1);
  PostError(errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY000", "General error: %s", text);
  return -1;
}

const char* part_or_none(const std::string& part) {
  return part.empty() ? VIEW_NO_NAME : part.c_str();
}

}  // namespace

const SchemaStore* view_store_unbacked() {
  return &kUnbacked;
}

std::string view_entry(const ViewName& view) {
  return std::string(part_or_none(view.catalog)) + "." + part_or_none(view.schema) + "." +
         view.name;
}

std::string view_name_key(int index) {
  return "name_" + std::to_string(index);
}

int view_store_create(const SchemaStore* store, ErrorHeader* errors, const ViewName& view,
                      const std::string& query, const std::vector<std::string>& names) {
  if (query.size() > VIEW_QUERY_MAX)
    return post_failure(errors, "Unable to create view, query to large");
  if (names.size() > static_cast<size_t>(VIEW_NAMES_MAX))
    return post_failure(errors, "Unable to create view, too many names");
  std::string entry = view_entry(view);
  bool written =
      store && store->write(store->context, VIEW_SECTION, entry, VIEW_QUERY_KEY, query) == 0;
  written = written && store->write(store->context, VIEW_SECTION, entry, VIEW_NAME_COUNT_KEY,
                                    std::to_string(names.size())) == 0;
  for (size_t i = 0; written && i < names.size(); ++i)
    written = store->write(store->context, VIEW_SECTION, entry, view_name_key(static_cast<int>(i)),
                           names[i]) == 0;
  if (written) return 0;
  // A view written in part is no view.
  if (store) store->remove(store->context, VIEW_SECTION, entry);
  return post_failure(errors, "Unable to create view");
}

bool view_store_find(const SchemaStore* store, const ViewName& view, ViewDefinition* out) {
  if (!store) return false;
  std::string entry = view_entry(view);
  ViewDefinition found;
  std::string count_text;
  if (store->read(store->context, VIEW_SECTION, entry, VIEW_QUERY_KEY, &found.query) != 0 ||
      store->read(store->context, VIEW_SECTION, entry, VIEW_NAME_COUNT_KEY, &count_text) != 0)
    return false;
  long count = std::strtol(count_text.c_str(), nullptr, 10);
  if (count < 0 || count > VIEW_NAMES_MAX) return false;
  for (int i = 0; i < count; ++i) {
    std::string name;
    if (store->read(store->context, VIEW_SECTION, entry, view_name_key(i), &name) != 0)
      return false;
    found.names.push_back(name);
  }
  *out = std::move(found);
  return true;
}

int view_store_drop(const SchemaStore* store, const ViewName& view) {
  if (!store) return -1;
  return store->remove(store->context, VIEW_SECTION, view_entry(view));
}
