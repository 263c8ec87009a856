// Connection-string parsing and generation over pool-allocated pair lists.
#include "support/connstr.h"

#include <sql.h>
#include <strings.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace {

bool is_blank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string trim(const char* begin, const char* end) {
  while (begin < end && is_blank(*begin)) ++begin;
  while (end > begin && is_blank(end[-1])) --end;
  return std::string(begin, end);
}

ConnAttrPair* find_pair(const ConnAttrSet* set, const char* key, ListNode** node_out = nullptr) {
  if (!set || !key) return nullptr;
  for (ListNode* node = ListFirst(set->pairs); node; node = ListNext(node)) {
    auto* pair = static_cast<ConnAttrPair*>(ListData(node));
    if (strcasecmp(pair->key, key) == 0) {
      if (node_out) *node_out = node;
      return pair;
    }
  }
  return nullptr;
}

// Appends a new pair (the key is known to be absent). 0, or -1 on memory failure.
int add_pair(ConnAttrSet* set, const std::string& key, const char* value) {
  MemPool* pool = set->pool;
  auto* pair = static_cast<ConnAttrPair*>(quill_mem_alloc(pool, sizeof(ConnAttrPair)));
  if (!pair) return -1;
  pair->key = quill_mem_strdup(pool, key.c_str());
  pair->value = quill_mem_strdup(pool, value);
  ListNode* head = (pair->key && pair->value) ? ListAppend(pair, set->pairs, pool) : nullptr;
  if (!head) {
    quill_mem_free(pool, pair->key);
    quill_mem_free(pool, pair->value);
    quill_mem_free(pool, pair);
    return -1;
  }
  set->pairs = head;
  return 0;
}

void free_pair(MemPool* pool, ConnAttrPair* pair) {
  quill_mem_free(pool, pair->key);
  quill_mem_free(pool, pair->value);
  quill_mem_free(pool, pair);
}

bool needs_braces(const char* value) {
  if (!*value) return false;
  if (is_blank(value[0]) || is_blank(value[std::strlen(value) - 1])) return true;
  return std::strpbrk(value, ";{}=") != nullptr;
}

// Splits the whole string into pairs; false when it is malformed.
bool tokenize(const char* text, size_t n, std::vector<std::pair<std::string, std::string>>* out) {
  size_t pos = 0;
  while (pos < n) {
    while (pos < n && is_blank(text[pos])) ++pos;
    if (pos == n) break;
    if (text[pos] == ';') {
      ++pos;
      continue;
    }
    size_t start = pos;
    while (pos < n && text[pos] != '=' && text[pos] != ';') ++pos;
    if (pos == n || text[pos] == ';') return false;  // pair without '='
    std::string key = trim(text + start, text + pos);
    if (key.empty()) return false;
    ++pos;  // '='
    while (pos < n && is_blank(text[pos])) ++pos;
    std::string value;
    if (pos < n && text[pos] == '{') {
      ++pos;
      for (;;) {
        if (pos == n) return false;  // unterminated brace
        char c = text[pos];
        if (c == '}') {
          if (pos + 1 < n && text[pos + 1] == '}') {
            value += '}';
            pos += 2;
            continue;
          }
          ++pos;
          break;
        }
        value += c;
        ++pos;
      }
      while (pos < n && is_blank(text[pos])) ++pos;
      if (pos < n && text[pos] != ';') return false;  // text after the closing brace
    } else {
      start = pos;
      while (pos < n && text[pos] != ';') ++pos;
      value = trim(text + start, text + pos);
    }
    if (pos < n) ++pos;  // ';'
    out->emplace_back(std::move(key), std::move(value));
  }
  return true;
}

}  // namespace

void init_con_str(ConnAttrSet* set, MemPool* pool) {
  if (!set) return;
  set->pool = pool;
  set->pairs = nullptr;
}

void clear_con_str(ConnAttrSet* set) {
  if (!set) return;
  while (set->pairs) {
    ListNode* node = ListFirst(set->pairs);
    free_pair(set->pool, static_cast<ConnAttrPair*>(ListData(node)));
    set->pairs = ListDelete(set->pairs, node, set->pool);
  }
}

int parse_connection_string(const char* text,
                            int (*callback)(void* context, const char* key, const char* value),
                            void* context, int length, ConnAttrSet* owner) try {
  if (!text) return 0;
  size_t n;
  if (length == SQL_NTS)
    n = std::strlen(text);
  else if (length < 0)
    return -1;
  else
    n = strnlen(text, static_cast<size_t>(length));

  std::vector<std::pair<std::string, std::string>> pairs;
  if (!tokenize(text, n, &pairs)) return -1;

  for (const auto& [key, value] : pairs) {
    if (callback && callback(context, key.c_str(), value.c_str()) != 0) continue;
    if (!owner || find_pair(owner, key.c_str())) continue;
    if (add_pair(owner, key, value.c_str()) != 0) return -2;
  }
  return 0;
} catch (...) {  // out of memory
  return -2;
}

const char* get_attribute_value(const ConnAttrSet* set, const char* key) {
  ConnAttrPair* pair = find_pair(set, key);
  return pair ? pair->value : nullptr;
}

int append_pair(ConnAttrSet* set, const char* key, const char* value, MemPool* pool) try {
  if (!set || !key) return -1;
  if (!set->pool) set->pool = pool;
  if (!set->pool) return -1;
  std::string name = trim(key, key + std::strlen(key));
  if (name.empty() || name.find_first_of("=;") != std::string::npos) return -1;
  if (!value) value = "";
  ConnAttrPair* pair = find_pair(set, name.c_str());
  if (!pair) return add_pair(set, name, value);
  char* copy = quill_mem_strdup(set->pool, value);
  if (!copy) return -1;
  quill_mem_free(set->pool, pair->value);
  pair->value = copy;
  return 0;
} catch (...) {  // out of memory
  return -1;
}

int remove_pair(ConnAttrSet* set, const char* key) try {
  if (!set || !key) return -1;
  std::string name = trim(key, key + std::strlen(key));
  ListNode* node = nullptr;
  ConnAttrPair* pair = find_pair(set, name.c_str(), &node);
  if (!pair) return -1;
  free_pair(set->pool, pair);
  set->pairs = ListDelete(set->pairs, node, set->pool);
  return 0;
} catch (...) {  // out of memory
  return -1;
}

int count_pairs(const ConnAttrSet* set) {
  return set ? ListCount(set->pairs) : 0;
}

int generate_connection_string(const ConnAttrSet* set, char* buffer, int size) try {
  std::string out;
  if (set) {
    for (ListNode* node = ListFirst(set->pairs); node; node = ListNext(node)) {
      auto* pair = static_cast<ConnAttrPair*>(ListData(node));
      if (!out.empty()) out += ';';
      out += pair->key;
      out += '=';
      if (needs_braces(pair->value)) {
        out += '{';
        for (const char* p = pair->value; *p; ++p) {
          out += *p;
          if (*p == '}') out += '}';
        }
        out += '}';
      } else {
        out += pair->value;
      }
    }
  }
  if (buffer && size > 0) {
    size_t n = out.size();
    if (n > static_cast<size_t>(size - 1)) {
      n = static_cast<size_t>(size - 1);
      while (n > 0 && (static_cast<unsigned char>(out[n]) & 0xC0) == 0x80) --n;
    }
    std::memcpy(buffer, out.data(), n);
    buffer[n] = '\0';
  }
  return static_cast<int>(out.size());
} catch (...) {  // out of memory: nothing written
  if (buffer && size > 0) buffer[0] = '\0';
  return 0;
}
