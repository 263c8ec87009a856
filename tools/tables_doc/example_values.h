// The values the table reference's example queries give each parameter column:
// accounts, hashes and blocks of the chain tests/servers/seed_chain.py makes,
// so that every example runs against a freshly seeded local node.
#pragma once

#include <string>

// The SQL literal an example query gives parameter column `column` of table `table`; "" when
// there is none (the example then leaves the column out, and the reference says so).
std::string example_value(const std::string& table, const std::string& column);
