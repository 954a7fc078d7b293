#include "find/options.h"

#include <cstdlib>

const char *const FindTryHelp = "Try 'kalvex-find --help' for more information.";

#ifdef _WIN32
#define DefaultLineEnd "CR LF"
#else
#define DefaultLineEnd "LF"
#endif

const char *const FindHelp =
    "usage: kalvex-find [OPTIONS] KEYWORD [PATH...]\n"
    "       kalvex-find [OPTIONS] -e KEYWORD... [PATH...]\n"
    "Lists the functions that DLLs and EXEs (PE32 and PE32+) export or import whose\n"
    "names contain KEYWORD ('' lists every name). Each PATH is a module file or a\n"
    "folder (default: the current folder); modules are read as data, never run.\n"
    "Each row: function, ordinal, module, path (the file read).\n"
    "\n"
    "  -e KEYWORD            a keyword (repeatable: a name matches any of them);\n"
    "                        the first operand is then a PATH\n"
    "  -x, --exact           the whole name equals the keyword\n"
    "  -i, --ignore-case     match letters without regard to case\n"
    "      --imports         read import tables, the delay-loaded imports after the\n"
    "                        others (default: export tables)\n"
    "      --unnamed         also the exports that no name points to: \"%\" and the\n"
    "                        ordinal stand for the name\n"
    "      --files-from FILE the paths listed in FILE ('-': standard input), one a\n"
    "                        line, after those of the command line\n"
    "  -0, --null            a NUL after each path of -l, and between those of the\n"
    "                        list of --files-from\n"
    "  -r, --recursive       walk subfolders (hidden ones and links to folders are\n"
    "                        passed by, as are pipes, sockets and devices)\n"
    "  -L, --follow          -r enters links to folders too (each folder once)\n"
    "      --mask PATTERNS   file patterns of a folder, separated by ';' (default\n"
    "                        *.dll; '*' and '?', letters without regard to case);\n"
    "                        --mask all takes every file\n"
    "      --format FORMAT   tsv (default), csv, sylk or json (JSON Lines: name,\n"
    "                        ordinal, index, hint, module, path, kind, forwarder,\n"
    "                        delay; each byte outside UTF-8 as \\u00XX)\n"
    "  -l, --files-with-matches  only the path of each file with a matching name\n"
    "  -c, --count           the path of each such file, a tab and its count\n"
    "      --color[=WHEN]    colour the match in tab text: auto (default: when the\n"
    "                        output is a terminal and NO_COLOR is unset), always,\n"
    "                        never\n"
    "      --crlf, --lf      end lines in CR LF or in LF (default: " DefaultLineEnd ")\n"
    "      --header          a first row of column names\n"
    "      --sort COLUMN     name, ordinal, module or path (stable); without it rows\n"
    "                        come in walk order\n"
    "  -j, --jobs N          read files on N threads (default 1: the thread that\n"
    "                        walks reads); the output is that of -j 1\n"
    "  -q                    no output, exit status only\n"
    "  -s, --no-messages     no messages on stderr (the exit status stays)\n"
    "      --errors          also name the files of a walk that are passed by: no\n"
    "                        module, a damaged table, a pipe or a device\n"
    "      --no-cache        read every file; neither use nor keep the name cache\n"
    "      --cache-dir DIR   keep the name cache in DIR (default: $XDG_CACHE_HOME/\n"
    "                        kalvex, else ~/.cache/kalvex; on Windows\n"
    "                        %LOCALAPPDATA%\\Kalvex)\n"
    "  -h, --help            this text\n"
    "      --version         the version\n"
    "\n"
    "A path named on the command line that cannot be read or is no module, and a\n"
    "folder that cannot be listed, are reported on stderr as 'kalvex-find: PATH:\n"
    "reason'.\n"
    "\n"
    "Exit status: 0 when a row was found, 1 when none was, 2 on a usage error, a\n"
    "write error (not a closed pipe) or a reported problem (even if rows were\n"
    "found); with -q a match gives 0 whatever else happened.\n";

namespace {

bool TakeValue(const std::vector<std::string> &args, size_t &i, const std::string &arg, const std::string &name,
               std::string &value, std::string &error)
{
    if (arg.compare(0, name.size() + 1, name + "=") == 0) {
        value = arg.substr(name.size() + 1);
        return true;
    }
    if (arg != name)
        return false;
    if (i + 1 >= args.size()) {
        error = "option '" + name + "' needs a value";
        return true;
    }
    value = args[++i];
    return true;
}

// The options without a value, by their short and long names (0 or null:
// none of that kind).
struct TFlag {
    char Short;
    const char *Long;
    void (*Set)(TFindOptions &o);
};
const TFlag Flags[] = {
    {'i', "--ignore-case", [](TFindOptions &o) { o.IgnoreCase = true; }},
    {0, "--imports", [](TFindOptions &o) { o.Imports = true; }},
    {0, "--unnamed", [](TFindOptions &o) { o.Unnamed = true; }},
    {'r', "--recursive", [](TFindOptions &o) { o.Recursive = true; }},
    {'L', "--follow", [](TFindOptions &o) { o.FollowLinks = true; }},
    {0, "--header", [](TFindOptions &o) { o.Header = true; }},
    {0, "--errors", [](TFindOptions &o) { o.Errors = true; }},
    {'l', "--files-with-matches", [](TFindOptions &o) { o.Files = TFileOutput::Names; }},
    {'c', "--count", [](TFindOptions &o) { o.Files = TFileOutput::Counts; }},
    {'x', "--exact", [](TFindOptions &o) { o.Exact = true; }},
    {'0', "--null", [](TFindOptions &o) { o.Null = true; }},
    {0, "--crlf", [](TFindOptions &o) { o.LineEnd = "\r\n"; }},
    {0, "--lf", [](TFindOptions &o) { o.LineEnd = "\n"; }},
    {'s', "--no-messages", [](TFindOptions &o) { o.NoMessages = true; }},
    {0, "--no-cache", [](TFindOptions &o) { o.NoCache = true; }},
    {'q', nullptr, [](TFindOptions &o) { o.Quiet = true; }},
    {'h', "--help", [](TFindOptions &o) { o.Help = true; }},
    {0, "--version", [](TFindOptions &o) { o.Version = true; }},
};

const TFlag *FlagNamed(const std::string &name)
{
    for (const TFlag &f : Flags)
        if (f.Long && name == f.Long)
            return &f;
    return nullptr;
}

const TFlag *FlagLettered(char letter)
{
    for (const TFlag &f : Flags)
        if (f.Short && letter == f.Short)
            return &f;
    return nullptr;
}

std::string Jobs(const std::string &text, int &jobs)
{
    char *end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != 0 || n < 1 || n > 256)
        return "the number of jobs must be 1 to 256, not '" + text + "'";
    jobs = static_cast<int>(n);
    return "";
}

}  // namespace

std::string ParseFindOptions(const std::vector<std::string> &args, TFindOptions &o)
{
    std::vector<std::string> operands;
    bool optionsEnd = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        std::string value, error;
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            operands.push_back(arg);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (const TFlag *flag = FlagNamed(arg)) {
            flag->Set(o);
        } else if (arg == "--color" || arg.compare(0, 8, "--color=") == 0) {
            const std::string when = arg.size() > 8 ? arg.substr(8) : "auto";
            if (when == "auto")
                o.Colour = TColour::Auto;
            else if (when == "always")
                o.Colour = TColour::Always;
            else if (when == "never")
                o.Colour = TColour::Never;
            else
                return "unknown colour choice '" + when + "' (auto, always or never)";
        } else if (TakeValue(args, i, arg, "--files-from", value, error)) {
            if (!error.empty())
                return error;
            o.FilesFrom = value;
        } else if (TakeValue(args, i, arg, "--cache-dir", value, error)) {
            if (!error.empty())
                return error;
            if (value.empty())
                return "the cache folder is empty";
            o.CacheDir = value;
        } else if (TakeValue(args, i, arg, "--mask", value, error)) {
            if (!error.empty())
                return error;
            if (value.empty())
                return "the mask is empty";
            o.Mask = value == "all" ? "*.*" : value;
        } else if (TakeValue(args, i, arg, "--format", value, error)) {
            if (!error.empty())
                return error;
            if (value == "tsv")
                o.Format = TFormat::Tsv;
            else if (value == "csv")
                o.Format = TFormat::Csv;
            else if (value == "sylk")
                o.Format = TFormat::Sylk;
            else if (value == "json")
                o.Format = TFormat::Json;
            else
                return "unknown format '" + value + "' (tsv, csv, sylk or json)";
        } else if (TakeValue(args, i, arg, "--sort", value, error)) {
            if (!error.empty())
                return error;
            const std::pair<const char *, TSortKey> keys[] = {
                {"name", TSortKey::Name}, {"ordinal", TSortKey::Number}, {"module", TSortKey::Module},
                {"path", TSortKey::Path}};
            o.Sort = TSortKey::None;
            for (const auto &k : keys)
                if (value == k.first)
                    o.Sort = k.second;
            if (o.Sort == TSortKey::None)
                return "unknown sort column '" + value + "' (name, ordinal, module or path)";
        } else if (TakeValue(args, i, arg, "--jobs", value, error)) {
            if (!error.empty())
                return error;
            error = Jobs(value, o.Jobs);
            if (!error.empty())
                return error;
        } else if (arg[1] == '-') {
            return "unknown option '" + arg + "'";
        } else {
            // Short options, which may be joined: -ir, -j4, -j 4.
            for (size_t k = 1; k < arg.size(); ++k) {
                const char c = arg[k];
                if (const TFlag *flag = FlagLettered(c)) {
                    flag->Set(o);
                } else if (c == 'j' || c == 'e') {
                    // The value: the rest of the word, else the next word.
                    if (k + 1 < arg.size())
                        value = arg.substr(k + 1);
                    else if (i + 1 < args.size())
                        value = args[++i];
                    else
                        return std::string("option '-") + c + "' needs a value";
                    if (c == 'e') {
                        o.Keywords.push_back(value);
                        break;
                    }
                    error = Jobs(value, o.Jobs);
                    if (!error.empty())
                        return error;
                    break;
                } else {
                    return std::string("unknown option '-") + c + "'";
                }
            }
        }
    }
    if (o.Help || o.Version)
        return "";
    // With -e every operand is a path.
    const bool keywordGiven = !o.Keywords.empty();
    if (!keywordGiven) {
        if (operands.empty())
            return "no KEYWORD given";
        o.Keywords.push_back(operands[0]);
    }
    o.Paths.assign(operands.begin() + (keywordGiven ? 0 : 1), operands.end());
    return "";
}
