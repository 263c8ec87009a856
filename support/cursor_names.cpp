// Cursor-name registry: one map from statement to (connection, name) and one from
// (connection, folded name) to statement, under one mutex.
#include "support/cursor_names.h"

#include <atomic>
#include <cstdio>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

namespace {

struct Entry {
  void* connection;
  std::string name;  // as registered
};

std::string fold(const char* name) {
  std::string out(name);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

struct Registry {
  std::mutex mutex;
  // Node-based: an entry's name keeps its address until it is erased.
  std::unordered_map<void*, Entry> by_statement;
  std::map<std::pair<void*, std::string>, void*> by_name;  // (connection, folded name)

  void erase_locked(std::unordered_map<void*, Entry>::iterator it) {
    by_name.erase({it->second.connection, fold(it->second.name.c_str())});
    by_statement.erase(it);
  }
};

Registry& registry() {
  static Registry* instance = new Registry;  // never destroyed: usable during exit
  return *instance;
}

std::atomic<unsigned long long> g_cursor_counter{0};

}  // namespace

void generate_cursor_name(void* /*statement*/, char* buffer, int size) {
  if (!buffer || size < 1) return;
  unsigned long long number = g_cursor_counter.fetch_add(1, std::memory_order_relaxed) + 1;
  std::snprintf(buffer, static_cast<size_t>(size), "SQL_CUR%llu", number);
}

int insert_cursor_name(void* connection, void* statement, const char* name) try {
  if (!connection || !statement || !name || !*name) return -1;
  Registry& r = registry();
  std::string folded = fold(name);
  std::lock_guard<std::mutex> guard(r.mutex);
  auto held = r.by_name.find({connection, folded});
  if (held != r.by_name.end() && held->second != statement) return -1;
  auto it = r.by_statement.find(statement);
  if (it != r.by_statement.end()) r.erase_locked(it);
  r.by_statement.emplace(statement, Entry{connection, name});
  r.by_name[{connection, folded}] = statement;
  return 0;
} catch (...) {  // out of memory
  return -1;
}

const char* get_cursor_name(void* statement) {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.mutex);
  auto it = r.by_statement.find(statement);
  return it == r.by_statement.end() ? nullptr : it->second.name.c_str();
}

void remove_cursor_name(void* statement, const char* name) try {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.mutex);
  auto it = r.by_statement.find(statement);
  if (it == r.by_statement.end()) return;
  // `name` may point into the entry itself: compare before erasing.
  if (name && fold(name) != fold(it->second.name.c_str())) return;
  r.erase_locked(it);
} catch (...) {  // out of memory: the name stays registered
}

void* get_stmt_by_cursor(void* connection, const char* name) try {
  if (!name) return nullptr;
  Registry& r = registry();
  std::string folded = fold(name);
  std::lock_guard<std::mutex> guard(r.mutex);
  auto it = r.by_name.find({connection, folded});
  return it == r.by_name.end() ? nullptr : it->second;
} catch (...) {  // out of memory
  return nullptr;
}

void remove_connection_cursor_names(void* connection) try {
  Registry& r = registry();
  std::lock_guard<std::mutex> guard(r.mutex);
  for (auto it = r.by_statement.begin(); it != r.by_statement.end();) {
    if (it->second.connection == connection) {
      auto next = std::next(it);
      r.erase_locked(it);
      it = next;
    } else {
      ++it;
    }
  }
} catch (...) {  // out of memory: the remaining names stay registered
}
