// The Qt application of the setup library: made for one dialog when the host
// has none, named "setup", and destroyed before the entry returns. A static
// application torn down by the exit handlers would run after parts of Qt (or
// the library itself) are gone and crash the host on exit. Qt aborts the
// process when it cannot open its platform, so a display (or an explicit
// platform such as "offscreen") is required first.
#include "setup/qt_host.h"

#include <QApplication>
#include <cstdlib>
#include <mutex>

namespace {

int g_argc = 1;
char g_name[] = "setup";
char* g_argv[] = {g_name, nullptr};

// One dialog at a time may make the application: two threads must not both make one.
std::recursive_mutex g_mutex;

bool platform_available() {
  for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace

QtApplicationScope::QtApplicationScope() {
  g_mutex.lock();
  if (QCoreApplication::instance()) {
    ready_ = qobject_cast<QApplication*>(QCoreApplication::instance()) != nullptr;
    return;
  }
  if (!platform_available()) return;
  owned_ = new QApplication(g_argc, g_argv);
  QApplication::setApplicationName(g_name);
  ready_ = true;
}

QtApplicationScope::~QtApplicationScope() {
  delete owned_;
  g_mutex.unlock();
}

bool QtApplicationScope::ready() const {
  return ready_;
}
