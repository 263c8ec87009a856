// Error texts of the sort: every failure stores its text (at most 128 characters) in the
// sort and returns the code the caller hands back.
#include <cstdio>
#include <cstring>

#include "driver/sql/sort_internal.h"

namespace {

template <typename... Args>
void store_text(SortWork* sort, const char* format, Args... args) {
  std::snprintf(sort->error_text, sizeof sort->error_text, format, args...);
}

}  // namespace

int sort_fail_memory(SortWork* sort) {
  store_text(sort, "%s", "Out of memory in sort routine");
  return SORT_NO_MEMORY;
}

int sort_fail_os(SortWork* sort, const char* step, int os_error) {
  store_text(sort, "OSFile error (%s) %d", step, os_error);
  return SORT_FILE_ERROR;
}

int sort_fail_record_file(SortWork* sort, int os_error, int location) {
  store_text(sort, "RSFile error '%s' %d [%d]", std::strerror(os_error), os_error, location);
  return SORT_FILE_ERROR;
}

int sort_fail_timeout(SortWork* sort) {
  store_text(sort, "%s", "Timeout expired");
  return SORT_TIMEOUT;
}

bool sort_timed_out(SortWork* sort) {
  if (!sort->context.timed_out || !sort->context.timed_out(sort->context.timeout_argument))
    return false;
  sort_fail_timeout(sort);
  return true;
}
