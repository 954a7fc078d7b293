// kalvex-find: which DLL or EXE exports (or imports) a function whose name
// contains this word, from a command line.
#include "find/platform.h"
#include "find/search.h"

#include <cstdio>
#include <exception>
#include <new>

#ifndef KALVEX_VERSION
#define KALVEX_VERSION "unknown"
#endif

int main(int argc, char **argv)
{
    try {
        PrepareStreams();
        PrepareMemory();
        TFindOptions options;
        const std::string error = ParseFindOptions(std::vector<std::string>(argv + 1, argv + argc), options);
        if (!error.empty()) {
            std::fprintf(stderr, "kalvex-find: %s\n%s\n", error.c_str(), FindTryHelp);
            return 2;
        }
        if (options.Help) {
            std::fputs(FindHelp, stdout);
            return 0;
        }
        if (options.Version) {
            std::printf("kalvex-find %s\n", KALVEX_VERSION);
            return 0;
        }
        return RunFind(options, stdout, stderr);
    } catch (const std::bad_alloc &) {
        std::fprintf(stderr, "kalvex-find: not enough memory\n");
        return 2;
    } catch (const std::exception &e) {
        std::fprintf(stderr, "kalvex-find: %s\n", e.what());
        return 2;
    }
}
