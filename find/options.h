// The command line of kalvex-find.
#pragma once

#include "rows/resultrows.h"

#include <string>
#include <vector>

enum class TFormat { Tsv, Csv, Sylk, Json };
// What is written of the files that have matching names: their rows, their
// paths (-l) or their paths and counts (-c).
enum class TFileOutput { Rows, Names, Counts };
enum class TColour { Auto, Always, Never };

struct TFindOptions {
    std::vector<std::string> Keywords;  // a name matches any of them
    bool Exact = false;                 // the whole name equals a keyword
    std::vector<std::string> Paths;     // none and no list: the current folder
    std::string FilesFrom;              // a list of paths ("-": stdin), or ""
    bool Null = false;                  // NUL rather than a line end after a path (-l, lists)
    bool IgnoreCase = false;
    bool Imports = false;
    bool Unnamed = false;  // also the exports that no name points to
    bool Recursive = false;
    bool FollowLinks = false;  // -L: a recursive walk enters links to folders
    std::string Mask = "*.dll";
    TFormat Format = TFormat::Tsv;
    TFileOutput Files = TFileOutput::Rows;
    TColour Colour = TColour::Auto;
    bool Header = false;
    // What ends each line (each SYLK record): LF, and CR LF on Windows.
#ifdef _WIN32
    const char *LineEnd = "\r\n";
#else
    const char *LineEnd = "\n";
#endif
    TSortKey Sort = TSortKey::None;
    int Jobs = 0;  // 0: the default (one)
    bool Quiet = false;
    bool Errors = false;      // also the files of a walk that are passed by
    bool NoMessages = false;  // -s: no messages on stderr, the status as ever
    bool NoCache = false;     // read every file, use and keep no name cache
    std::string CacheDir;     // the name cache's folder; "": the default
    bool Help = false;
    bool Version = false;
};

// Reads args (without the program name) into options: "" on success, else
// what is wrong, in one line.
std::string ParseFindOptions(const std::vector<std::string> &args, TFindOptions &options);

// The line after a usage error's own.
extern const char *const FindTryHelp;
extern const char *const FindHelp;
