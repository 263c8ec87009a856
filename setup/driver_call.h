// The setup library's calls into the driver and the driver's settings: the
// driver library registered beside this setup library in odbcinst.ini, its
// driver_test export, the help directory and where the documentation lies.
#pragma once

#include <string>

#include "support/prompt_record.h"

// call_driver_test's answer when the driver library or its export cannot be found.
constexpr int DRIVER_TEST_UNAVAILABLE = -1000;

// The odbcinst.ini section of the driver: the one whose "Setup" is this library, whatever it is
// called; else `hint` (the name the installer gave) when it has a "Driver"; else the default
// name. "" when no section names a driver.
std::string driver_section(const std::string& hint);
// Runs the driver_test of the driver of `section` (see driver_section) on `record`: 0 on
// success, non-zero on failure, with the driver's message in `message`;
// DRIVER_TEST_UNAVAILABLE when there is no driver to ask, with `message` saying what is
// missing. The library is loaded on first use and kept for later tests.
int call_driver_test(const std::string& section, const PromptRecord* record, std::string* message);
// The directory of the driver's help file ("" when none is configured) for `section`.
std::string help_directory(const std::string& section);
// The driver's README as installed by the package or in the source tree; "" when neither
// exists on this machine.
std::string documentation_path();
