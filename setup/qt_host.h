// Hosting the Qt dialog inside whatever application loaded the setup library:
// the Qt application object is made when none exists (once per process,
// destroyed when the library goes), but never where no display can be opened.
#pragma once

// True when a Qt application exists or could be made and now exists; false when there is no
// display to show a dialog on (the caller then reports the failure instead of aborting).
bool ensure_qt_application();
