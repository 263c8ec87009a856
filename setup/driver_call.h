// The setup library's calls into the driver and the driver's settings: the
// driver library named by the driver's odbcinst.ini section, its driver_test
// export, and the help directory.
#pragma once

#include <string>

#include "support/prompt_record.h"

// call_driver_test's answer when the driver library or its export cannot be found.
constexpr int DRIVER_TEST_UNAVAILABLE = -1000;

// Runs the driver's driver_test on `record`: 0 on success, non-zero on failure, with the
// driver's message in `message`; DRIVER_TEST_UNAVAILABLE when there is no driver to ask.
// The library is loaded on first use and kept for later tests.
int call_driver_test(const PromptRecord* record, std::string* message);
// The directory of the driver's help file ("" when none is configured).
std::string help_directory();
