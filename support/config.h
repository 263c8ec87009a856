// Driver configuration and ODBC profile access.
//
// The Windows driver kept its settings in the registry and the ODBC profile; on
// Linux both live in unixODBC's ini store, read through odbcinst
// (SQLGetPrivateProfileString):
//   - data sources: odbc.ini (the user file named by $ODBCINI, else ~/.odbc.ini,
//     then the system file $ODBCSYSINI/odbc.ini), one section per DSN;
//   - the driver's own settings: odbcinst.ini ($ODBCSYSINI/odbcinst.ini, then
//     ~/.odbcinst.ini), in the driver's section.
//
// Registry key paths map onto odbcinst.ini as follows (components are split at
// '\' or '/', compared without regard to case):
//   1. a leading "Software" is dropped, and after it a leading "ODBC\ODBCINST.INI";
//   2. the next component (the product, e.g. "Quillmoor Ethereum ODBC Driver") names
//      the odbcinst.ini section;
//   3. a following "Configuration" is dropped; any further components become a key
//      prefix joined with '.'.
// So "Software\Quillmoor Ethereum ODBC Driver\Configuration" is the section
// [Quillmoor Ethereum ODBC Driver] with plain keys (work_dir_path=...), the same
// section that holds Driver= and Setup= (what "SOFTWARE\ODBC\ODBCINST.INI\<driver>"
// was on Windows), and "...\Configuration\sqi" with key "count" is the entry
// "sqi.count" of that section. A key passed to get_default may itself contain '\'
// ("sqi\count"); its separators become '.' in the same way.
//
// unixODBC notes: it reads $ODBCSYSINI once per process (the first odbcinst call
// caches the directory), so tests must set it before any odbcinst call; $ODBCINI is
// read on every call. It also caches answers for 20 seconds; this module keys its
// reads with a fingerprint of the ini files, so an edited file is read afresh.
#pragma once

struct ConfigHandle;

// Answers a configuration key before the ini files are consulted: writes the value
// (NUL-terminated, at most size - 1 bytes) and returns its length, or returns -1
// when the key is unknown to it.
using IniReader = int (*)(void* context, const char* key, char* buffer, int size);

// Makes a configuration handle with no section, reader or DSN. Null on failure.
ConfigHandle* open_registry();
// Frees the handle. Null is ignored.
void close_registry(ConfigHandle* handle);
// Selects the driver's configuration area by its registry key path (mapping above).
// Returns 0, or -1 when the handle is null or the path names no product.
int set_config(ConfigHandle* handle, const char* key_path);
// Installs (or, with a null reader, removes) the reader asked first by get_default.
// Whoever shares the handle shares the reader: the last call wins. A handle used by
// several connections at once is read with get_default_for instead.
void set_ini_function(ConfigHandle* handle, IniReader reader, void* context);
// Names the data source whose odbc.ini entries get_default consults; null or ""
// forgets it. The same sharing rule as set_ini_function applies.
void set_dsn(ConfigHandle* handle, const char* dsn);

// Reads the entry `key` of data source `dsn` from odbc.ini into `buffer` (at most
// size - 1 bytes, cut at a UTF-8 character boundary, NUL-terminated); when the
// entry is absent, `default_value` (null counts as "") is stored instead. Returns
// the number of bytes stored, or -1 when `buffer` is null or `size` < 1.
int get_profile_string(const char* dsn, const char* key, const char* default_value, char* buffer,
                       int size);

// Looks `key` up, in order: the installed ini reader; the odbc.ini entry of the
// handle's DSN, when one is set; the driver's section of odbcinst.ini, when
// set_config chose one; then the built-in defaults work_dir_path = $TMPDIR or
// "/tmp", work_mem_size = "0", work_dir_size = "0". An empty answer from the ini
// files or the reader counts as no answer and the search goes on. Stores the value
// as get_profile_string does and returns its length, or -1 when nothing is known
// (buffer set to "").
int get_default(ConfigHandle* handle, const char* key, char* buffer, int size);
// get_default with the caller's reader (null: none) and data source (null or "": none) in
// place of those installed on the handle, so that each connection of an environment reads
// its settings through itself while the environment's handle stays shared.
int get_default_for(ConfigHandle* handle, IniReader reader, void* context, const char* dsn,
                    const char* key, char* buffer, int size);
