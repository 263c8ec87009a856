// Hosting the Qt dialog inside whatever application loaded the setup library:
// a Qt application object is made for the length of one dialog when the host
// has none, and destroyed before the entry returns, so nothing of Qt is left
// for the host's exit handlers; never made where no display can be opened.
#pragma once

class QApplication;

// The Qt application for one entry into the library: the host's own, or one made here and
// destroyed with this object. Make it on the stack of the entry that shows a dialog.
class QtApplicationScope {
 public:
  // Uses the host's application, or makes one when a display (or an explicit platform such as
  // "offscreen") is available; otherwise ready() is false.
  QtApplicationScope();
  // Destroys the application when this scope made it.
  ~QtApplicationScope();
  QtApplicationScope(const QtApplicationScope&) = delete;
  QtApplicationScope& operator=(const QtApplicationScope&) = delete;
  // True when an application exists for the dialog; false when there is no display to show a
  // dialog on (the caller then reports the failure instead of letting Qt abort the process).
  bool ready() const;

 private:
  QApplication* owned_ = nullptr;  // the application this scope made (null: the host's or none)
  bool ready_ = false;             // a QApplication exists for the dialog
};
