// The values a data source's setup form holds, how they are read from an
// installer attribute list, from a prompt record and from the ODBC ini store,
// and how they are written back to the store or the prompt record.
#pragma once

#include <string>

#include "support/prompt_record.h"

// The driver's name in odbcinst.ini (its section) and the captions of the dialog.
constexpr const char* kDriverName = "Quillmoor Ethereum ODBC Driver";

// One data source's settings as the form shows them.
struct DsnForm {
  std::string dsn;          // data source name (the ini section)
  std::string description;  // "Description"
  std::string uri;          // "URI": the node's endpoint
  std::string api_key;      // "API_KEY"
  std::string proxy;        // "Proxy"
  std::string proxy_user;   // "Proxy_User"
  std::string proxy_pass;   // "Proxy_Pass"
  std::string log_file;     // "Logfile"
  bool logging = false;     // "Logging" is "Yes"
};

// The DSN named by an attribute list: the value of the first entry starting with "dsn"
// (case-insensitive; after its first four characters), a trailing ';' removed. `attributes`
// is a list of NUL-terminated entries ended by an empty one; null gives "".
std::string attribute_dsn(const char* attributes);
// Fills `form` from an attribute list: keys "dsn", "desc", "uri", "api_key", "proxy",
// "proxy_user", "proxy_pass", "logfile", "logflag"/"logging" matched by prefix, without regard
// to case; the logging box follows "yes"/"no". Entries of other keys are ignored.
void form_from_attributes(const char* attributes, DsnForm* form);
// Reads DSN `dsn`'s values from the ini store (odbc.ini) into `form`.
void form_from_ini(const std::string& dsn, DsnForm* form);
// Writes `form` as data source `form.dsn` of driver `driver`: the section is removed and made
// afresh (so no old value survives) with every value, empty ones as empty strings. The old
// name `old_dsn` (when not empty) is removed first. False when the installer refused (its
// error records stay on the installer's stack for the caller).
bool form_to_ini(const DsnForm& form, const std::string& old_dsn, const char* driver);
// The attribute list of a prompt record: "DSN=", "URI=", "Api_Key=", "Proxy=", "Proxy_User=",
// "Proxy_Pass=", "LogFile=" for its non-empty fields, then "Logging=Yes" or "Logging=No".
std::string attributes_from_prompt(const PromptRecord& record);
// Copies `form` into the prompt record (fields cut to fit, NUL-terminated); the logging flag
// becomes 31 when the box is checked, else 0.
void form_to_prompt(const DsnForm& form, PromptRecord* record);
