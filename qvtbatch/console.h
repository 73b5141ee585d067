// How the console program ends before its time: as an exception only main
// catches, so every object of the run is destroyed on the way (temporary folder
// removed, connection closed) before main returns the code.
#pragma once

#include "common/run_front_end.h"

#include <string>

// Ends the program with the code (through main).
[[noreturn]] void qvt_end_process(int code);

// Logs the message (level 3), writes it to standard error unless the program
// is silent, and ends the program with -1.
[[noreturn]] void fatal_error_exit(const std::string& message);

// Whether "--silent" has been read; the converter must exist.
bool is_silent();
