// Process-wide registry of statement cursor names, per connection. All entries
// are thread-safe. Names are compared without regard to (ASCII) case; a name is
// kept as registered.
#pragma once

// Writes "SQL_CUR" followed by a decimal number unique in the process (truncated to
// size - 1 bytes when the buffer is short; nothing when buffer is null or size < 1).
// The name is not registered; `statement` is not used.
void generate_cursor_name(void* statement, char* buffer, int size);

// Registers `name` for `statement` of `connection`, replacing the statement's
// previous name. Returns 0, or -1 when another statement of the same connection
// holds the name (ODBC 3C000, duplicate cursor name; nothing changes then), or when
// an argument is null or the name is empty.
int insert_cursor_name(void* connection, void* statement, const char* name);

// The statement's registered name, or null. The text stays valid until the name is
// removed or replaced.
const char* get_cursor_name(void* statement);

// Unregisters the statement's name when it equals `name` (without regard to case),
// or whatever its name is when `name` is null. `name` may be get_cursor_name's answer.
void remove_cursor_name(void* statement, const char* name);

// The statement of `connection` that holds `name`, or null.
void* get_stmt_by_cursor(void* connection, const char* name);

// Unregisters every name of `connection` (when it is freed).
void remove_connection_cursor_names(void* connection);
