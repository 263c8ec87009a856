// The Qt application of the setup library: made on first need when the host
// has none, named "setup", and destroyed when the library is unloaded or the
// process ends. Qt aborts the process when it cannot open its platform, so a
// display (or an explicit platform such as "offscreen") is required first.
#include "setup/qt_host.h"

#include <QApplication>
#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

int g_argc = 1;
char g_name[] = "setup";
char* g_argv[] = {g_name, nullptr};

// Owned only when this library made it.
std::unique_ptr<QApplication> g_application;
std::mutex g_mutex;

bool platform_available() {
  for (const char* variable : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(variable);
    if (value && *value) return true;
  }
  return false;
}

}  // namespace

bool ensure_qt_application() {
  std::lock_guard<std::mutex> guard(g_mutex);
  if (QApplication::instance()) return qobject_cast<QApplication*>(QApplication::instance());
  if (!platform_available()) return false;
  g_application = std::make_unique<QApplication>(g_argc, g_argv);
  QApplication::setApplicationName(g_name);
  return true;
}
