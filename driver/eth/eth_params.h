// The calls a scan makes: the restrictions on a table's parameter columns turned into one
// JSON-RPC params array per call, with each parameter's text (which the parameter columns of
// the call's rows read back). `=` gives one value, IN lists and block ranges one call per
// value, so one scan may make many calls.
#pragma once

#include <jansson.h>

#include <string>
#include <vector>

#include "driver/dal/sqi/restriction.h"
#include "driver/eth/eth_context.h"

struct EthTable;  // eth_tables.h

// One call of a scan.
struct EthCall {
  json_t* params = nullptr;              // the params array it sends (owned by the scan)
  std::vector<std::string> param_texts;  // each parameter's text as restricted ("" = none)
  size_t row_end = 0;                    // the scan's rows up to and including this call's
  bool failed = false;                   // prefetch: the call gave no rows
};

// Frees the params arrays of `calls` and empties it.
void eth_free_calls(std::vector<EthCall>* calls);
// Fills `calls` with the calls a scan of `table` under `restrictions` makes, in the order
// their rows are returned: one per combination of the parameters' distinct values (`=`, IN
// lists, block ranges with tags resolved by a call to the node), in value order. SQI_OK, or
// SQI_ERROR with the diagnostic posted on `stmt` (a required parameter missing or given with an
// operator that cannot supply it, more calls than `max_calls`, a value that cannot be sent, a
// tag the node cannot resolve). Throws std::bad_alloc.
int eth_gather_calls(EthStmt* stmt, const EthTable& table, int count,
                     Restriction* const* restrictions, std::vector<EthCall>* calls);
