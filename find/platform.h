// What kalvex-find asks of the system it runs on (POSIX or Win32).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The keyword's and the names' letter folding: the system's ANSI upper-casing
// on Windows (as the window does), ASCII letters elsewhere.
void FindUpperCase(std::string &text);
// The file-name part of a path, as the module column shows it.
std::string FindFileName(const std::string &path);
// The system's message for a code, on one line.
std::string FindErrorText(uint32_t code);
// Standard output in binary (rows end in CR LF as they are), and a closed
// pipe reported as a failed write rather than as a signal.
void PrepareStreams();
bool StderrIsTerminal();
// An anonymous temporary file, gone when closed; null if none can be made.
FILE *OpenSpool();
