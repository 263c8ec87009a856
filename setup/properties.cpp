// unixODBC's property interface: the data source fields this driver adds to
// the generic ones, so that unixODBC's configuration tools (ODBCConfig,
// odbcinst's property list) can edit a DSN without the Qt dialog. odbcinst
// frees every property, its prompt data and its help text with free().
#include <odbcinstext.h>

#include <cstdlib>
#include <cstring>

namespace {

const char* const kYesNo[] = {"Yes", "No", nullptr};

// Appends one property after `last`; the new last property, or null when memory ran out.
HODBCINSTPROPERTY append(HODBCINSTPROPERTY last, const char* name, int prompt_type,
                         const char* value, const char* help, bool yes_no = false) {
  auto* property = static_cast<HODBCINSTPROPERTY>(std::calloc(1, sizeof(ODBCINSTPROPERTY)));
  if (!property) return nullptr;
  std::strncpy(property->szName, name, INI_MAX_PROPERTY_NAME);
  std::strncpy(property->szValue, value, INI_MAX_PROPERTY_VALUE);
  property->nPromptType = prompt_type;
  property->pszHelp = strdup(help);
  if (yes_no) {
    property->aPromptData = static_cast<char**>(std::malloc(sizeof kYesNo));
    if (property->aPromptData) std::memcpy(property->aPromptData, kYesNo, sizeof kYesNo);
  }
  last->pNext = property;
  return property;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int ODBCINSTGetProperties(
    HODBCINSTPROPERTY last) {
  if (!last) return ODBCINST_ERROR;
  while (last->pNext) last = last->pNext;
  struct Field {
    const char* name;
    int prompt_type;
    const char* value;
    const char* help;
    bool yes_no;
  };
  static const Field kFields[] = {
      {"URI", ODBCINST_PROMPTTYPE_TEXTEDIT, "", "URI", false},
      {"API_KEY", ODBCINST_PROMPTTYPE_TEXTEDIT, "", "Api Key", false},
      {"Proxy", ODBCINST_PROMPTTYPE_TEXTEDIT, "", "Address of proxy server", false},
      {"Proxy_User", ODBCINST_PROMPTTYPE_TEXTEDIT, "", "User Name for proxy server auth", false},
      {"Proxy_Pass", ODBCINST_PROMPTTYPE_TEXTEDIT_PASSWORD, "",
       "User Password for proxy server auth", false},
      {"Logging", ODBCINST_PROMPTTYPE_COMBOBOX, "No", "Driver Logging", true},
      {"Logfile", ODBCINST_PROMPTTYPE_FILENAME, "", "Log File", false},
  };
  for (const Field& field : kFields) {
    last = append(last, field.name, field.prompt_type, field.value, field.help, field.yes_no);
    if (!last) return ODBCINST_ERROR;
  }
  return ODBCINST_SUCCESS;
}
