// Table replication: the replication file's lines `[link.][catalog.][schema.]table =
// [catalog.][schema.]table`, their resolution through the data-access layer into entries
// (source table, replica table and the replica's columns), and the entry list a connection
// keeps so that every change to a source table is applied to its replicas too.
#pragma once

#include <string>

#include "driver/dal/dal.h"
#include "driver/dal/sqi/restriction.h"
#include "support/memory.h"

// A table name as written in the file (parts absent are empty; longer parts are cut).
struct ReplicationName {
  char link[SQI_NAME_MAX + 1];     // link name (source side only)
  char catalog[SQI_NAME_MAX + 1];  // catalog name
  char schema[SQI_NAME_MAX + 1];   // schema name
  char table[SQI_NAME_MAX + 1];    // table name; never empty once parsed
};

// One resolved line of the file.
struct ReplicationEntry {
  ReplicationName source_name;   // the source as written
  ReplicationName replica_name;  // the replica as written
  DalTable source;               // the source table's descriptor
  DalTable replica;              // the replica table's descriptor
  ColumnInfo* replica_columns;   // the replica's column descriptors
  int replica_column_count;      // entries at `replica_columns`
};

// The entries of one connection, in file order, all allocated from the pool the load was
// given (so they go with it).
struct ReplicationList {
  MemPool* pool;              // the pool everything of the list came from
  ReplicationEntry* entries;  // the entries
  int count;                  // entries at `entries`
};

// Longest line read from the file (longer lines are cut there).
constexpr int REPLICATION_LINE_MAX = 1024;

// Parses one line (without its line end): false when it does not have the form above. A
// part written in double quotes loses the quotes and is upper-cased; blanks around parts are
// dropped.
bool replication_parse_line(const std::string& line, ReplicationName* source,
                            ReplicationName* replica);
// The written name as "LINK.CATALOG.SCHEMA.TABLE" with the absent parts left out.
std::string replication_name_text(const ReplicationName& name);
// Reads the file at `path` and resolves every line through `dal`; the list is allocated from
// `pool`. Errors go to `errors` as
// HY000 "General error: %s" with "Replication failed, unable to open \"%s\"" or
// "Replication entry %s -> %s failed". Returns 0 with *out set (null when the file holds no
// entry), or -1 after posting (*out null). An empty path means no replication: 0, *out null.
int replication_load(Dal* dal, ErrorHeader* errors, MemPool* pool, const char* path,
                     ReplicationList** out);
// Frees a list back to its pool; null is ignored.
void replication_free(ReplicationList* list);
// True when `table` is the source of `entry` (name, schema, catalog and backend match).
bool replication_matches(const ReplicationEntry& entry, const DalTable& table);
