// Scans got ready together: the calls of many restriction sets of one table (a join's lookups
// for a block of outer rows) made at once in JSON-RPC batches, their rows kept on the connection
// so that the scans that follow answer from them without asking the node again.
#pragma once

#include <memory>

#include "driver/dal/sqi/restriction.h"
#include "driver/dal/sqi/sqi.h"
#include "driver/eth/eth_context.h"

struct EthQuery;  // eth_query.h

// The rows a connection's statements got ready, by table and call; safe to use from several
// threads.
struct EthPrefetch;

// An empty store for a connection. Throws std::bad_alloc.
std::shared_ptr<EthPrefetch> eth_prefetch_make();
// The prepare_scans operation: forgets what `stmt` got ready before, gathers the calls of every
// set (those a set cannot make are left to its scan), makes each distinct call once without
// posting anything, and keeps the rows of the calls that answered, each for as many scans as
// the sets that need it. SQI_OK.
int eth_prepare_scans(SqiStmt stmt, const DalTable* table, int set_count, const int* counts,
                      Restriction* const* const* sets);
// When every call of `query` (its table and calls gathered) has rows kept on the connection,
// gives the query those rows with each call's row_end set, uses them up once, and returns true;
// otherwise changes nothing and returns false. Throws std::bad_alloc.
bool eth_take_prefetched(EthStmt* stmt, EthQuery* query);
// Drops the rows `stmt` got ready that no scan has used (the statement is going away).
void eth_prefetch_forget(EthStmt* stmt);
// How many scans one prepare_scans call of the connection is worth (the calls its batches and
// connections carry at once), 0 when they go one at a time anyway.
int eth_prepared_scans_worth(const EthEnv* env);
