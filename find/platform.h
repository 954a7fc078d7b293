// What kalvex-find asks of the system it runs on (POSIX or Win32).
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// The keyword's and the names' letter folding: the system's ANSI upper-casing
// on Windows (as the window does), ASCII letters elsewhere.
void FindUpperCase(std::string &text);
// The file-name part of a path, as the module column shows it: after the
// last "/" (on Windows also "\" or ":", and a trail byte is none of them).
std::string FindFileName(const std::string &path);
// The system's message for a code, on one line.
std::string FindErrorText(uint32_t code);
// What the write or flush that just failed met, read from errno (and on
// Windows the system's code) at once: a reader that went away (a closed
// pipe, which ends a run quietly), or the failure in words.
struct TWriteFailure {
    bool ClosedPipe;
    std::string Reason;
};
TWriteFailure LastWriteFailure();
// Standard output in binary (rows end as the options say), and a closed
// pipe reported as a failed write rather than as a signal.
void PrepareStreams();
// Large blocks (a module's name list, its rows) straight from the system and
// back to it when freed, so that a run's memory follows the bytes its jobs
// hold rather than what each thread's heap once held.
void PrepareMemory();
// Whether a progress line may go to stderr: it is a terminal, and stdout
// is not that same terminal (whose rows it would break into).
bool ProgressWanted();
// Whether stdout is a terminal, to which rows go a line at a time.
bool StdoutIsTerminal();
// The width of the progress line now on stderr (0: none): an interrupt
// (Ctrl+C) erases that many columns before the program ends.
void SetProgressWidth(size_t width);
// Whether standard output is a terminal that shows colour escapes (on
// Windows a console whose escape processing could be turned on).
bool StdoutTakesColour();
// The code (in FindErrorText's numbering) of the fopen that just failed.
uint32_t FindOpenErrorCode();
// An anonymous temporary file, gone when closed; null if none can be made.
FILE *OpenSpool();
