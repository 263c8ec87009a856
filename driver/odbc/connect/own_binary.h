// The binary file that holds the driver's code, found at run time: its file name and the
// entry points it really exports, so the driver describes the build that is running.
#pragma once

#include <cstddef>

// Base name of the shared library holding the driver ("libquilldrv.so" when the code is
// linked into a program or the file cannot be found). Computed once; never null.
const char* driver_file_name();

// Sets exported[i] for each of the `count` names: true when the binary holding the driver
// defines and exports a function of that name itself (a function of the same name in
// another library, such as the Driver Manager, does not count). Never throws.
void probe_own_exports(const char* const* names, size_t count, bool* exported);
