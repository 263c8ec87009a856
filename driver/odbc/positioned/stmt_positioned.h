// The call layer's side of positioned operations and replication: the hooks through which
// the SQL engine finds a named cursor's current row and a connection's replication entries.
#pragma once

// Installs the hooks into the engine (idempotent; every statement allocation calls it).
void stmt_positioned_install();
