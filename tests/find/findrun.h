// Running kalvex-find through the shell from a test: its output, messages
// and exit status.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/wait.h>

struct TRun {
    std::string Out, Err;
    int Status;
    bool operator==(const TRun &o) const { return Out == o.Out && Err == o.Err && Status == o.Status; }
};

// s as one word of the shell.
inline std::string Quoted(const std::string &s)
{
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline std::string ReadAll(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The command that runs kalvex-find with args in folder cwd, its messages
// into err; prefix goes before the program (another user, say).
inline std::string FindCommand(const std::string &cwd, const std::string &args, const std::string &err,
                               const std::string &prefix = "")
{
    return "cd " + Quoted(cwd) + " && " + prefix + " " + Quoted(KALVEX_FIND) + " " + args + " 2>" + Quoted(err);
}

// Reads the output of the command p runs to its end, then its messages from
// err (removed).
inline TRun FinishRun(FILE *p, const std::string &err)
{
    TRun run;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        run.Out.append(buffer, n);
    const int status = pclose(p);
    run.Status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.Err = ReadAll(err);
    std::filesystem::remove(err);
    return run;
}
