// The replication file: lines split into name parts at '.', '=' and the line end (quoted
// parts upper-cased), each line resolved through the data-access layer into a source table,
// a replica table and the replica's columns, and the errors posted for files that cannot be
// opened or lines that fail.
#include "driver/sql/exec_replication.h"

#include <cctype>
#include <cstdio>
#include <cstring>
#include <vector>

#include "support/strbuf.h"

namespace {

constexpr int kMostParts = 6;  // the '=' must come within the first six parts

std::string trimmed(const std::string& text) {
  size_t begin = text.find_first_not_of(" \t\r\n");
  if (begin == std::string::npos) return "";
  size_t end = text.find_last_not_of(" \t\r\n");
  return text.substr(begin, end - begin + 1);
}

// A part as it names something: quotes dropped and upper-cased when quoted. False when empty.
bool part_name(const std::string& raw, std::string* out) {
  std::string text = trimmed(raw);
  if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
    text = text.substr(1, text.size() - 2);
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
  *out = text;
  return !text.empty();
}

void copy_part(const std::string& text, char* out) {
  utf8_format(out, SQI_NAME_MAX + 1, "%s", text.c_str());
}

// Fills a name from its parts, the last being the table; `parts` holds 1 to 4 entries.
void fill_name(const std::vector<std::string>& parts, ReplicationName* name) {
  *name = ReplicationName{};
  char* slots[] = {name->table, name->schema, name->catalog, name->link};
  size_t n = parts.size();
  for (size_t i = 0; i < n && i < 4; ++i) copy_part(parts[n - 1 - i], slots[i]);
}

void post_general(ErrorHeader* errors, const std::string& text) {
  SetReturnCode(errors, -1);
  PostError(errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY000", "General error: %s",
            text.c_str());
}

// The two sides of a line that did not parse, as written around its first '='.
void written_sides(const std::string& line, std::string* source, std::string* replica) {
  size_t equals = line.find('=');
  *source = trimmed(line.substr(0, equals));
  *replica = equals == std::string::npos ? "" : trimmed(line.substr(equals + 1));
}

void post_entry_failure(ErrorHeader* errors, const std::string& source,
                        const std::string& replica) {
  post_general(errors, "Replication entry " + source + " -> " + replica + " failed");
}

bool described(int rc) {
  return rc == SQI_OK || rc == SQI_INFO;
}

// Resolves one parsed line into `entry`; false when a table or the columns cannot be had.
bool resolve(Dal* dal, ErrorHeader* errors, MemPool* pool, ReplicationEntry* entry) {
  if (!described(DALDescribeTable(errors, dal, entry->source_name.link, entry->source_name.table,
                                  &entry->source)))
    return false;
  if (!described(DALDescribeTable(errors, dal, "", entry->replica_name.table, &entry->replica)))
    return false;
  int count = entry->replica.column_count;
  if (count <= 0) return false;
  entry->replica_columns = static_cast<ColumnInfo*>(
      quill_mem_alloc(pool, sizeof(ColumnInfo) * static_cast<size_t>(count)));
  if (!entry->replica_columns) return false;
  entry->replica_column_count = count;
  return described(DALDescribeColumns(errors, dal, &entry->replica, count, entry->replica_columns));
}

}  // namespace

bool replication_parse_line(const std::string& line, ReplicationName* source,
                            ReplicationName* replica) {
  std::vector<std::string> left, right;
  std::string part;
  bool quoted = false;
  bool seen_equals = false;
  int parts = 0;
  for (size_t i = 0; i <= line.size(); ++i) {
    char c = i < line.size() ? line[i] : '\n';
    if (c == '"') quoted = !quoted;
    bool ends = c == '\n' || c == '\r' || (!quoted && (c == '.' || c == '='));
    if (!ends) {
      part += c;
      continue;
    }
    std::string name;
    if (!part_name(part, &name)) return false;
    (seen_equals ? right : left).push_back(name);
    part.clear();
    ++parts;
    if (c == '=') {
      if (seen_equals || parts > kMostParts) return false;
      seen_equals = true;
    }
    if (c == '\n' || c == '\r') break;
  }
  if (quoted || !seen_equals) return false;
  if (left.empty() || left.size() > 4 || right.empty() || right.size() > 3) return false;
  fill_name(left, source);
  fill_name(right, replica);
  return true;
}

std::string replication_name_text(const ReplicationName& name) {
  std::string text;
  for (const char* part : {name.link, name.catalog, name.schema, name.table}) {
    if (!*part) continue;
    if (!text.empty()) text += '.';
    text += part;
  }
  return text;
}

int replication_load(Dal* dal, ErrorHeader* errors, MemPool* pool, const char* path,
                     ReplicationList** out) {
  *out = nullptr;
  if (!path || !*path) return 0;
  std::FILE* file = std::fopen(path, "r");
  if (!file) {
    post_general(errors, std::string("Replication failed, unable to open \"") + path + "\"");
    return -1;
  }
  std::vector<ReplicationEntry> entries;
  bool failed = false;
  char buffer[REPLICATION_LINE_MAX + 1];
  while (std::fgets(buffer, sizeof buffer, file)) {
    size_t length = std::strlen(buffer);
    if (length > 0 && buffer[length - 1] != '\n' && !std::feof(file)) {
      // A longer line is cut: the rest up to its end is skipped.
      int c;
      while ((c = std::fgetc(file)) != EOF && c != '\n') {
      }
    }
    std::string line(buffer);
    if (trimmed(line).empty()) continue;
    ReplicationEntry entry{};
    if (!replication_parse_line(line, &entry.source_name, &entry.replica_name)) {
      std::string source, replica;
      written_sides(line, &source, &replica);
      post_entry_failure(errors, source, replica);
      failed = true;
      continue;
    }
    if (!resolve(dal, errors, pool, &entry)) {
      if (entry.replica_columns) quill_mem_free(pool, entry.replica_columns);
      post_entry_failure(errors, replication_name_text(entry.source_name),
                         replication_name_text(entry.replica_name));
      failed = true;
      continue;
    }
    entries.push_back(entry);
  }
  std::fclose(file);
  auto free_columns = [&]() {
    for (ReplicationEntry& entry : entries) quill_mem_free(pool, entry.replica_columns);
  };
  if (failed) {
    free_columns();
    return -1;
  }
  if (entries.empty()) return 0;
  auto* list = static_cast<ReplicationList*>(quill_mem_alloc(pool, sizeof(ReplicationList)));
  auto* stored = static_cast<ReplicationEntry*>(
      quill_mem_alloc(pool, sizeof(ReplicationEntry) * entries.size()));
  if (!list || !stored) {
    quill_mem_free(pool, list);
    quill_mem_free(pool, stored);
    free_columns();
    SetReturnCode(errors, -1);
    PostError(errors, DIAG_LEVEL_CALL, 0, 0, 0, 0, "ISO 9075", "HY001", "Memory allocation error");
    return -1;
  }
  std::memcpy(stored, entries.data(), sizeof(ReplicationEntry) * entries.size());
  list->pool = pool;
  list->entries = stored;
  list->count = static_cast<int>(entries.size());
  *out = list;
  return 0;
}

void replication_free(ReplicationList* list) {
  if (!list) return;
  for (int i = 0; i < list->count; ++i)
    quill_mem_free(list->pool, list->entries[i].replica_columns);
  quill_mem_free(list->pool, list->entries);
  quill_mem_free(list->pool, list);
}

bool replication_matches(const ReplicationEntry& entry, const DalTable& table) {
  return entry.source.backend_index == table.backend_index &&
         std::strcmp(entry.source.name, table.name) == 0 &&
         std::strcmp(entry.source.schema, table.schema) == 0 &&
         std::strcmp(entry.source.catalog, table.catalog) == 0;
}
