// The system loader's reading of a module's name table: the oracle of the
// differential tests of our own reader (the program never uses it).
#pragma once

#include "scan/nametables.h"

#include <cstdint>
#include <string>

// Maps the module at path as an image without running it, reads its export
// table (exportTable true) or its import and delay-load tables into list, as
// the walks of our reader read them, and releases it.
// Returns 0, the loader's error code, CodeBadExeFormat for an image that is
// not PE32, the last error after a failed directory lookup, or CodeWalkFault.
uint32_t LoaderReadFunctionNames(const std::string &path, bool exportTable, TNameList &list);
