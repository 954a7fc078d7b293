// Reads a module's name table straight from its file: nothing is loaded or run.
#pragma once

#include "scan/filesource.h"
#include "scan/nametables.h"

#include <cstdint>
#include <string>

// Reads the export table (exportTable true), or the import table and then
// the delay-load table, of the module in source into list. Returns 0 (also when the module has no such
// directory: the list is then untouched), CodeBadExeFormat for a file that
// is no PE32 or PE32+ image, CodeWalkFault for a fault during the walk (the
// entries before it stay), CodeWalkStopped when stopped ended the walk, or
// the system's code of a read that failed (an I/O error is no format error).
// The list is emptied once the table is found. exportBase, when given,
// receives the export table's ordinal base (left alone without one).
uint32_t ReadModuleNames(FIByteSource &source, bool exportTable, TNameList &list,
                         const TStopCheck &stopped = nullptr, uint32_t *exportBase = nullptr);
// ReadModuleNames of the file at path, or the file's open error.
uint32_t ReadFunctionNames(const std::string &path, bool exportTable, TNameList &list,
                           const TStopCheck &stopped = nullptr, uint32_t *exportBase = nullptr);
