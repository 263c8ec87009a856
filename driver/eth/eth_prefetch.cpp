// Scans got ready together for the lookups of a join: every set's calls gathered quietly, the
// distinct ones made in one run (batches, connections in flight), and each answered call's rows
// kept on the connection by table and params text until the scans that need them have used
// them. Kept on the connection rather than the statement because a join re-run per outer row
// scans through fresh statements; the statement that got rows ready owns them until used, and
// its next block (or its end) drops what was left.
#include "driver/eth/eth_prefetch.h"

#include <jansson.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <unordered_map>
#include <vector>

#include "driver/eth/eth_catalog.h"
#include "driver/eth/eth_query.h"
#include "driver/eth/eth_tables.h"

int eth_quiet_target = 0;

namespace {

// The rows of one call got ready ahead.
struct Kept {
  json_t* rows = nullptr;          // that call's rows (owned)
  int uses = 0;                    // scans still to use them
  const EthStmt* owner = nullptr;  // the statement that got them ready
};

}  // namespace

struct EthPrefetch {
  std::mutex lock;                             // guards `kept`
  std::unordered_map<std::string, Kept> kept;  // by table name, newline, params text
  ~EthPrefetch() {
    for (auto& [key, entry] : kept) json_decref(entry.rows);
  }
};

namespace {

struct QueryDeleter {
  void operator()(EthQuery* query) const { eth_query_free(query); }
};

// The key of a call of `table`: the table name and its params as compact JSON text ("" when
// they cannot be written).
std::string call_key(const std::string& table, json_t* params) {
  char* text = json_dumps(params, JSON_COMPACT | JSON_ENCODE_ANY | JSON_SORT_KEYS);
  if (!text) return "";
  std::string key = table + "\n" + text;
  std::free(text);
  return key;
}

// Gives the statement's posts to a target that drops them while it lives.
class QuietPosts {
 public:
  explicit QuietPosts(EthStmt* stmt) : stmt_(stmt), target_(stmt->target) {
    stmt->target = &eth_quiet_target;
  }
  ~QuietPosts() { stmt_->target = target_; }
  QuietPosts(const QuietPosts&) = delete;
  QuietPosts& operator=(const QuietPosts&) = delete;

 private:
  EthStmt* stmt_;
  void* target_;
};

// Drops the entries `owner` got ready; the caller holds the lock.
void forget_locked(EthPrefetch* store, const EthStmt* owner) {
  for (auto at = store->kept.begin(); at != store->kept.end();) {
    if (at->second.owner == owner) {
      json_decref(at->second.rows);
      at = store->kept.erase(at);
    } else {
      ++at;
    }
  }
}

// Gathers the distinct calls of every set into `query->calls` (params owned there) and counts
// in `uses` how many sets need each (by key).
void gather_all(EthStmt* stmt, const EthTable& table, int set_count, const int* counts,
                Restriction* const* const* sets, EthQuery* query,
                std::unordered_map<std::string, int>* uses) {
  for (int s = 0; s < set_count; ++s) {
    std::vector<EthCall> calls;
    const int count = counts[s] < 0 ? -counts[s] : counts[s];
    int rc = SQI_ERROR;
    try {
      rc = eth_gather_calls(stmt, table, count, sets[s], &calls);
    } catch (...) {
      eth_free_calls(&calls);
      throw;
    }
    for (EthCall& call : calls) {
      std::string key = rc == SQI_OK ? call_key(table.name, call.params) : "";
      if (key.empty() || (*uses)[key]++ > 0) {
        json_decref(call.params);
        continue;
      }
      query->calls.push_back(std::move(call));
    }
  }
}

}  // namespace

std::shared_ptr<EthPrefetch> eth_prefetch_make() {
  return std::make_shared<EthPrefetch>();
}

int eth_prepare_scans(SqiStmt handle, const DalTable* descriptor, int set_count, const int* counts,
                      Restriction* const* const* sets) {
  auto* stmt = static_cast<EthStmt*>(handle);
  if (!stmt || !stmt->env || !stmt->env->prefetch) return SQI_OK;
  EthEnv* env = stmt->env;
  EthPrefetch* store = env->prefetch.get();
  {
    std::lock_guard<std::mutex> guard(store->lock);
    forget_locked(store, stmt);
  }
  if (set_count <= 0 || !descriptor || !env->connection || !env->tables) return SQI_OK;
  const EthTable* table = eth_find_table(env, descriptor->name);
  if (!table) return SQI_OK;
  QuietPosts quiet(stmt);
  try {
    std::unique_ptr<EthQuery, QueryDeleter> query(new EthQuery);
    query->table = table;
    std::unordered_map<std::string, int> uses;
    gather_all(stmt, *table, set_count, counts, sets, query.get(), &uses);
    if (query->calls.empty()) return SQI_OK;
    eth_run_calls(stmt, query.get(), EthRunMode::prefetch);
    std::vector<std::pair<std::string, json_t*>> answered;
    struct Answers {
      std::vector<std::pair<std::string, json_t*>>* list;
      ~Answers() {
        for (auto& [key, rows] : *list) json_decref(rows);
      }
    } owned{&answered};
    size_t start = 0;
    for (const EthCall& call : query->calls) {
      const size_t end = call.row_end;
      if (!call.failed) {
        json_t* rows = json_array();
        if (!rows) throw std::bad_alloc();
        answered.emplace_back(call_key(table->name, call.params), rows);
        for (size_t i = start; i < end; ++i)
          if (json_array_append(rows, json_array_get(query->rows, i)) != 0) throw std::bad_alloc();
      }
      start = std::max(start, end);
    }
    std::lock_guard<std::mutex> guard(store->lock);
    for (auto& [key, rows] : answered) {
      auto [at, added] = store->kept.try_emplace(key);
      if (!added) continue;  // another statement's rows for the same call serve as well
      at->second = Kept{rows, uses[key], stmt};
      rows = nullptr;
    }
  } catch (...) {
    // What was not kept is fetched by the scans themselves.
  }
  return SQI_OK;
}

bool eth_take_prefetched(EthStmt* stmt, EthQuery* query) {
  if (!stmt->env || !stmt->env->prefetch || !query->table || query->calls.empty()) return false;
  EthPrefetch* store = stmt->env->prefetch.get();
  {
    // Most scans come with nothing got ready: they skip writing their calls' keys.
    std::lock_guard<std::mutex> guard(store->lock);
    if (store->kept.empty()) return false;
  }
  std::vector<std::string> keys;
  for (const EthCall& call : query->calls)
    keys.push_back(call_key(query->table->name, call.params));
  std::lock_guard<std::mutex> guard(store->lock);
  if (store->kept.empty()) return false;
  std::vector<Kept*> found;
  for (const std::string& key : keys) {
    auto at = store->kept.find(key);
    if (at == store->kept.end()) return false;
    found.push_back(&at->second);
  }
  json_t* rows = json_array();
  if (!rows) throw std::bad_alloc();
  for (size_t i = 0; i < found.size(); ++i) {
    if (json_array_extend(rows, found[i]->rows) != 0) {
      json_decref(rows);
      throw std::bad_alloc();
    }
    query->calls[i].row_end = json_array_size(rows);
  }
  json_decref(query->rows);
  query->rows = rows;
  for (const std::string& key : keys) {
    auto at = store->kept.find(key);  // a call listed twice was used up by its first listing
    if (at != store->kept.end() && --at->second.uses <= 0) {
      json_decref(at->second.rows);
      store->kept.erase(at);
    }
  }
  return true;
}

void eth_prefetch_forget(EthStmt* stmt) {
  if (!stmt || !stmt->env || !stmt->env->prefetch) return;
  EthPrefetch* store = stmt->env->prefetch.get();
  std::lock_guard<std::mutex> guard(store->lock);
  forget_locked(store, stmt);
}

int eth_prepared_scans_worth(const EthEnv* env) {
  if (!env || !env->connection) return 0;
  const EthConnection& connection = *env->connection;
  const int batch = connection.batches_refused ? 1 : std::max(1, connection.batch_size);
  const int lanes = std::max(1, connection.max_connections);
  const int worth = std::min(batch * lanes, 1000);
  return worth > 1 ? worth : 0;
}
