// The driver's entries into the setup library: the prompt for missing
// connection details (dsn_complete_info) and the connection-error form
// (dsn_complete_error).
#include <cerrno>
#include <string>

#include "setup/dsn_form.h"
#include "setup/qt_host.h"
#include "setup/setup_dialog.h"

extern "C" __attribute__((visibility("default"))) int dsn_complete_info(void* /*connection*/,
                                                                        void* /*window*/,
                                                                        PromptRecord* record) {
  if (!record) return 1;
  try {
    QtApplicationScope application;
    if (!application.ready()) return 1;
    std::string attributes = attributes_from_prompt(*record);
    DsnForm form;
    form_from_attributes(attributes.c_str(), &form);
    Setup dialog(SetupMode::Prompt, form, kDriverName, form.dsn, record);
    dialog.setWindowTitle(kDriverName);
    return dialog.exec() == QDialog::Accepted ? 0 : 1;
  } catch (...) {  // out of memory: the prompt counts as cancelled
    return 1;
  }
}

extern "C" __attribute__((visibility("default"))) int dsn_complete_error(void* /*connection*/,
                                                                         int error,
                                                                         void* /*window*/) {
  int last_error = errno;
  try {
    QtApplicationScope application;
    if (!application.ready()) return last_error;
    Setup dialog(SetupMode::Error, DsnForm{}, kDriverName, "", nullptr);
    dialog.setWindowTitle(kDriverName);
    dialog.set_message(QString("The connection failed (error %1).").arg(error));
    dialog.exec();
  } catch (...) {  // out of memory: nothing more to show
  }
  return last_error;
}
