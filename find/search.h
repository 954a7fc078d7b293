// One run of kalvex-find: the walk, the reads (on several threads, the
// output in walk order all the same) and the rows written as each file
// finishes.
#pragma once

#include "find/options.h"

#include <cstdio>

// Runs the search that options describe, writing rows to out and messages
// to err; returns the exit status (0 rows found, 1 none, 2 a file or folder
// could not be read; with -q, 0 whenever a row was found).
int RunFind(const TFindOptions &options, FILE *out, FILE *err);
