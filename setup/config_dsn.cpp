// The installer's entries: ConfigDSN adds, configures or removes a data source
// (with the dialog when the installer gives a window, from the attributes
// alone when it gives none), and ConfigDriver answers installs and removals.
#include <odbcinst.h>

#include <cstring>
#include <string>

#include "setup/dsn_form.h"
#include "setup/qt_host.h"
#include "setup/setup_dialog.h"

namespace {

constexpr BOOL kTrue = 1;
constexpr BOOL kFalse = 0;
constexpr const char* kFarewell = "Bye Bye from the Quillmoor Ethereum ODBC Driver";

bool empty_list(const char* attributes) {
  return !attributes || !*attributes;
}

BOOL remove_dsn(const char* attributes) {
  std::string dsn = attribute_dsn(attributes);
  if (dsn.empty()) {
    SQLPostInstallerError(ODBC_ERROR_INVALID_NAME, "Invalid DSN specified to ODBC_REMOVE_DSN");
    return kFalse;
  }
  // The installer's own error records stay on its stack for the caller.
  return SQLRemoveDSNFromIni(dsn.c_str()) ? kTrue : kFalse;
}

// Add or configure: the form starts from the stored values (configure) and the attributes.
BOOL edit_dsn(HWND window, WORD request, const char* driver, const char* attributes) {
  DsnForm form;
  std::string old_dsn;
  if (request == ODBC_CONFIG_DSN) {
    old_dsn = attribute_dsn(attributes);
    form_from_ini(old_dsn, &form);
  }
  form_from_attributes(attributes, &form);
  if (!window) {
    // No window to show a dialog over: the attributes are the whole answer.
    if (form.dsn.empty()) {
      SQLPostInstallerError(ODBC_ERROR_INVALID_NAME, "Invalid lpszAttributes");
      return kFalse;
    }
    return form_to_ini(form, old_dsn == form.dsn ? "" : old_dsn, driver) ? kTrue : kFalse;
  }
  QtApplicationScope application;
  if (!application.ready()) {
    SQLPostInstallerError(ODBC_ERROR_GENERAL_ERR, "No display for the setup dialog");
    return kFalse;
  }
  Setup dialog(SetupMode::Installer, form, driver, old_dsn, nullptr);
  dialog.exec();
  return kTrue;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) BOOL INSTAPI ConfigDSN(HWND window, WORD request,
                                                                         LPCSTR driver,
                                                                         LPCSTR attributes) {
  try {
    switch (request) {
      case ODBC_ADD_DSN:
        return edit_dsn(window, request, driver, attributes);
      case ODBC_CONFIG_DSN:
      case ODBC_REMOVE_DSN:
        if (empty_list(attributes)) {
          SQLPostInstallerError(ODBC_ERROR_INVALID_NAME, "Invalid lpszAttributes");
          return kFalse;
        }
        return request == ODBC_REMOVE_DSN ? remove_dsn(attributes)
                                          : edit_dsn(window, request, driver, attributes);
      default:
        SQLPostInstallerError(ODBC_ERROR_INVALID_REQUEST_TYPE, "Invalid type of request");
        return kFalse;
    }
  } catch (...) {  // out of memory: exceptions never leave the library
    SQLPostInstallerError(ODBC_ERROR_OUT_OF_MEM, "Out of memory");
    return kFalse;
  }
}

extern "C" __attribute__((visibility("default"))) BOOL INSTAPI
ConfigDriver(HWND /*window*/, WORD request, LPCSTR /*driver*/, LPCSTR /*arguments*/, LPSTR message,
             WORD message_size, WORD* message_length) {
  if (request != ODBC_INSTALL_DRIVER && request != ODBC_REMOVE_DRIVER) {
    SQLPostInstallerError(ODBC_ERROR_INVALID_REQUEST_TYPE, "Invalid type of request");
    return kFalse;
  }
  size_t length = std::strlen(kFarewell);
  if (message && message_size > 0) {
    size_t copied = length < static_cast<size_t>(message_size - 1) ? length : message_size - 1;
    std::memcpy(message, kFarewell, copied);
    message[copied] = '\0';
  }
  if (message_length) *message_length = static_cast<WORD>(length);
  return kTrue;
}
