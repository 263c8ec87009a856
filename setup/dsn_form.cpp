// Reading and writing a data source's settings: installer attribute lists,
// the driver's prompt record and the ODBC ini store (odbc.ini through odbcinst).
#include "setup/dsn_form.h"

#include <odbcinst.h>
#include <strings.h>

#include <cstring>
#include <vector>

namespace {

// The entries of a NUL-separated attribute list.
std::vector<std::string> entries(const char* attributes) {
  std::vector<std::string> list;
  if (!attributes) return list;
  for (const char* p = attributes; *p; p += std::strlen(p) + 1) list.emplace_back(p);
  return list;
}

bool starts_with(const std::string& entry, const char* key) {
  return strncasecmp(entry.c_str(), key, std::strlen(key)) == 0;
}

// The value after the first '=' of an entry ("" when there is none).
std::string value_of(const std::string& entry) {
  size_t equals = entry.find('=');
  return equals == std::string::npos ? "" : entry.substr(equals + 1);
}

std::string read_value(const std::string& dsn, const char* key, int size) {
  std::vector<char> buffer(size, '\0');
  SQLGetPrivateProfileString(dsn.c_str(), key, "", buffer.data(), size, "odbc.ini");
  buffer[size - 1] = '\0';
  return buffer.data();
}

bool write_value(const std::string& dsn, const char* key, const std::string& value) {
  return SQLWritePrivateProfileString(dsn.c_str(), key, value.c_str(), "odbc.ini");
}

void copy_field(char* field, const std::string& value) {
  size_t length = value.size() < PROMPT_FIELD - 1 ? value.size() : PROMPT_FIELD - 1;
  std::memcpy(field, value.data(), length);
  field[length] = '\0';
}

}  // namespace

std::string attribute_dsn(const char* attributes) {
  for (const std::string& entry : entries(attributes)) {
    if (!starts_with(entry, "dsn")) continue;
    std::string name = entry.size() > 4 ? entry.substr(4) : "";
    if (!name.empty() && name.back() == ';') name.pop_back();
    return name;
  }
  return "";
}

void form_from_attributes(const char* attributes, DsnForm* form) {
  // Longer keys first: "proxy_user" must not be taken for "proxy".
  for (const std::string& entry : entries(attributes)) {
    std::string value = value_of(entry);
    if (starts_with(entry, "dsn")) {
      form->dsn = attribute_dsn((entry + '\0').c_str());
    } else if (starts_with(entry, "desc")) {
      form->description = value;
    } else if (starts_with(entry, "uri")) {
      form->uri = value;
    } else if (starts_with(entry, "api_key")) {
      form->api_key = value;
    } else if (starts_with(entry, "proxy_user")) {
      form->proxy_user = value;
    } else if (starts_with(entry, "proxy_pass")) {
      form->proxy_pass = value;
    } else if (starts_with(entry, "proxy")) {
      form->proxy = value;
    } else if (starts_with(entry, "logfile")) {
      form->log_file = value;
    } else if (starts_with(entry, "logflag") || starts_with(entry, "logging")) {
      if (strcasecmp(value.c_str(), "yes") == 0) form->logging = true;
      if (strcasecmp(value.c_str(), "no") == 0) form->logging = false;
    }
  }
}

void form_from_ini(const std::string& dsn, DsnForm* form) {
  form->dsn = dsn;
  form->description = read_value(dsn, "Description", 256);
  form->uri = read_value(dsn, "URI", 256);
  form->log_file = read_value(dsn, "LogFile", 256);
  form->api_key = read_value(dsn, "API_KEY", 256);
  form->proxy = read_value(dsn, "Proxy", 256);
  form->proxy_user = read_value(dsn, "Proxy_User", 256);
  form->proxy_pass = read_value(dsn, "Proxy_Pass", 256);
  form->logging = strcasecmp(read_value(dsn, "Logging", 20).c_str(), "yes") == 0;
}

bool form_to_ini(const DsnForm& form, const std::string& old_dsn, const char* driver) {
  if (!old_dsn.empty()) SQLRemoveDSNFromIni(old_dsn.c_str());
  // A section made afresh: values the form no longer holds do not survive.
  SQLRemoveDSNFromIni(form.dsn.c_str());
  // The installer's own error records stay on its stack for the caller.
  if (!SQLWriteDSNToIni(form.dsn.c_str(), driver ? driver : kDriverName)) return false;
  bool ok = write_value(form.dsn, "Description", form.description) &&
            write_value(form.dsn, "URI", form.uri) &&
            write_value(form.dsn, "API_KEY", form.api_key) &&
            write_value(form.dsn, "Proxy", form.proxy) &&
            write_value(form.dsn, "Proxy_User", form.proxy_user) &&
            write_value(form.dsn, "Proxy_Pass", form.proxy_pass) &&
            write_value(form.dsn, "Logging", form.logging ? "Yes" : "No") &&
            write_value(form.dsn, "Logfile", form.log_file);
  return ok;
}

std::string attributes_from_prompt(const PromptRecord& record) {
  std::string list;
  auto add = [&list](const char* key, const char* field) {
    size_t length = strnlen(field, PROMPT_FIELD);
    if (length == 0) return;
    list += key;
    list.append(field, length);
    list += '\0';
  };
  add("DSN=", record.dsn);
  add("URI=", record.uri);
  add("Api_Key=", record.api_key);
  add("Proxy=", record.proxy);
  add("Proxy_User=", record.proxy_user);
  add("Proxy_Pass=", record.proxy_password);
  add("LogFile=", record.log_file);
  list += record.logging ? "Logging=Yes" : "Logging=No";
  list += '\0';
  return list;
}

void form_to_prompt(const DsnForm& form, PromptRecord* record) {
  copy_field(record->dsn, form.dsn);
  copy_field(record->uri, form.uri);
  copy_field(record->api_key, form.api_key);
  copy_field(record->proxy, form.proxy);
  copy_field(record->proxy_user, form.proxy_user);
  copy_field(record->proxy_password, form.proxy_pass);
  copy_field(record->log_file, form.log_file);
  record->logging = form.logging ? 31 : 0;
}
