// kalvex-find as a user runs it: a table of invocations over a folder of
// images of our own, with the rows, messages and exit statuses they give.
#include "find/options.h"
#include "rows/resultrows.h"
#include "tests/find/findrun.h"
#include "tests/scan/imagebuilder.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <csignal>
#include <iterator>
#include <pty.h>
#include <regex>
#include <sys/stat.h>
#include <termios.h>
#include <thread>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Runs kalvex-find with args in folder cwd through the shell; prefix goes
// before the program (another user, say).
TRun Find(const std::string &cwd, const std::string &args, const std::string &prefix = "")
{
    const std::string err = fs::temp_directory_path() / ("kalvex-find-err-" + std::to_string(getpid()));
    return FinishRun(popen(FindCommand(cwd, args, err, prefix).c_str(), "r"), err);
}

// kalvex-find on a pseudo-terminal: stderr is the terminal, and stdout too
// unless it goes to /dev/null; stdin is a pipe the test writes a list into.
// NO_COLOR is set only when asked.
class TPtyRun {
public:
    TPtyRun(const std::string &cwd, const std::vector<std::string> &args, bool stdoutToTerminal,
            bool noColour = false)
    {
        int input[2];
        if (pipe(input) != 0)
            return;
        FPid = forkpty(&FMaster, nullptr, nullptr, nullptr);
        if (FPid == 0) {
            termios t;
            tcgetattr(STDERR_FILENO, &t);
            cfmakeraw(&t);  // "\n" stays "\n"
            tcsetattr(STDERR_FILENO, TCSANOW, &t);
            dup2(input[0], STDIN_FILENO);
            close(input[1]);
            if (noColour)
                setenv("NO_COLOR", "1", 1);
            else
                unsetenv("NO_COLOR");
            if (!stdoutToTerminal)
                freopen("/dev/null", "w", stdout);
            std::vector<char *> argv{const_cast<char *>(KALVEX_FIND)};
            for (const std::string &a : args)
                argv.push_back(const_cast<char *>(a.c_str()));
            argv.push_back(nullptr);
            if (chdir(cwd.c_str()) == 0)
                execv(KALVEX_FIND, argv.data());
            _exit(127);
        }
        close(input[0]);
        FInput = input[1];
    }
    ~TPtyRun()
    {
        CloseInput();
        if (FMaster >= 0)
            close(FMaster);
    }
    void Write(const std::string &text) { EXPECT_EQ(ssize_t(text.size()), write(FInput, text.data(), text.size())); }
    void CloseInput()
    {
        if (FInput >= 0)
            close(FInput);
        FInput = -1;
    }
    // Reads the terminal until text has come (or the program has ended);
    // returns everything read so far.
    std::string ReadUntil(const std::string &text)
    {
        char buffer[4096];
        ssize_t n;
        while (FSeen.find(text) == std::string::npos && (n = read(FMaster, buffer, sizeof buffer)) > 0)
            FSeen.append(buffer, n);
        return FSeen;
    }
    std::string ReadToEnd() { return ReadUntil(std::string(1, '\0')); }
    int Wait()
    {
        int status = 0;
        waitpid(FPid, &status, 0);
        return status;
    }
    void Signal(int signal) { kill(FPid, signal); }

private:
    pid_t FPid = -1;
    int FMaster = -1, FInput = -1;
    std::string FSeen;
};

// Past the first second of a run, when the progress line may show.
void PastTheFirstSecond()
{
    std::this_thread::sleep_for(std::chrono::milliseconds(1200));
}

// A folder of modules: a.dll (PE32: exports Alpha, beta_x; imports from
// K.dll), sub/b.dll (PE32+), a text file named like a DLL, links to folders
// (lnk to sub, sub/up to the folder: a cycle);
// beside it, Many: 400 copies of a.dll.
class FindTool : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        Root = fs::temp_directory_path() / ("kalvex-find-" + std::to_string(getpid()));
        Many = Root + "-many";
        fs::remove_all(Root);
        fs::remove_all(Many);
        fs::create_directories(Root + "/sub");
        fs::create_directories(Many);
        for (bool pe32plus : {false, true}) {
            TPeBuilder b(2, 0x30000000, pe32plus);
            const uint32_t end = b.PutExports(TPeBuilder::DataRva, {"Alpha", pe32plus ? "Gamma;x" : "beta_x"}, {0, 4});
            b.PutImports(end + 8, {{"K.dll", {"Sleep"}, {17}}});
            ASSERT_TRUE(b.WriteTo(Root + (pe32plus ? "/sub/b.dll" : "/a.dll")));
        }
        std::ofstream(Root + "/text.dll") << "not a module";
        fs::create_directory_symlink("..", Root + "/sub/up");
        fs::create_directory_symlink("sub", Root + "/lnk");
        for (int i = 0; i < 400; ++i)
            fs::copy_file(Root + "/a.dll", Many + "/m" + std::to_string(i) + ".dll");
        // Lists for --files-from: lines (one ending in CR LF, an empty one) and NUL-separated.
        std::ofstream(Many + "/lines.txt") << "sub/b.dll\r\n\na.dll\n";
        std::ofstream(Many + "/nul.txt") << std::string("a.dll\0sub", 9);
        // A name with a quote, a byte outside UTF-8, an "é" and a control byte.
        fs::create_directory(Many + "/odd");
        TPeBuilder odd(2, 0x30000000, false);
        odd.PutExports(TPeBuilder::DataRva, {"A\"\xFF\xC3\xA9\x01"}, {2});
        ASSERT_TRUE(odd.WriteTo(Many + "/odd/o.dll"));
    }
    static void TearDownTestSuite()
    {
        fs::remove_all(Root);
        fs::remove_all(Many);
    }

    static std::string Root, Many;
};
std::string FindTool::Root, FindTool::Many;

}  // namespace

const char *const TryHelp = "Try 'kalvex-find --help' for more information.\n";
const std::string NoFile = ": No such file or directory\n", NoModule = ": not a PE32 or PE32+ module\n";

TEST_F(FindTool, Invocations)
{
    const std::string lines = Quoted(Many + "/lines.txt"), nul = Quoted(Many + "/nul.txt");
    const std::string odd = Quoted(Many + "/odd/o.dll"), colour = "\x1b[01;31m", reset = "\x1b[m";
    const struct {
        std::string Args;
        std::string Out;
        std::string Err;  // exactly
        int Status;
    } cases[] = {
        {"Alpha", "Alpha\t0\ta.dll\ta.dll\n", "", 0},
        {"alpha", "", "", 1},
        {"-i ALPHA", "Alpha\t0\ta.dll\ta.dll\n", "", 0},
        {"-r -i a",
         "Alpha\t0\ta.dll\ta.dll\nbeta_x\t4\ta.dll\ta.dll\nAlpha\t0\tb.dll\tsub/b.dll\n"
         "Gamma;x\t4\tb.dll\tsub/b.dll\n",
         "", 0},
        {"--imports ''", "Sleep\t100\tK.dll\ta.dll\n%17\t0\tK.dll\ta.dll\n", "", 0},
        {"--imports 17 sub/b.dll", "%17\t0\tK.dll\tsub/b.dll\n", "", 0},
        {"-r --sort name --header ''",
         "function\tordinal\tmodule\tpath\nAlpha\t0\ta.dll\ta.dll\nAlpha\t0\tb.dll\tsub/b.dll\n"
         "beta_x\t4\ta.dll\ta.dll\nGamma;x\t4\tb.dll\tsub/b.dll\n",
         "", 0},
        {"-r --sort ordinal --format csv -j 3 ''",
         "\"Alpha\",0,\"a.dll\",\"a.dll\"\n\"Alpha\",0,\"b.dll\",\"sub/b.dll\"\n"
         "\"beta_x\",4,\"a.dll\",\"a.dll\"\n\"Gamma;x\",4,\"b.dll\",\"sub/b.dll\"\n",
         "", 0},
        {"--format sylk Gamma sub",
         "ID;PLVU\nB;Y1;X4\nF;Y1;X1;FG0L\nC;K\"Gamma;;x\"\nF;X2;FG0R\nC;K4\nF;X3;FG0L\n"
         "C;K\"b.dll\"\nF;X4;FG0L\nC;K\"sub/b.dll\"\nE\n",
         "", 0},
        // Line ends: LF here, CR LF when asked (the window's copies), the last word counts.
        {"--crlf -r Gamma", "Gamma;x\t4\tb.dll\tsub/b.dll\r\n", "", 0},
        {"--crlf --lf Alpha", "Alpha\t0\ta.dll\ta.dll\n", "", 0},
        {"--crlf --format csv --header Alpha",
         "\"function\",\"ordinal\",\"module\",\"path\"\r\n\"Alpha\",0,\"a.dll\",\"a.dll\"\r\n", "", 0},
        {"--crlf --format sylk Gamma sub",
         "ID;PLVU\r\nB;Y1;X4\r\nF;Y1;X1;FG0L\r\nC;K\"Gamma;;x\"\r\nF;X2;FG0R\r\nC;K4\r\nF;X3;FG0L\r\n"
         "C;K\"b.dll\"\r\nF;X4;FG0L\r\nC;K\"sub/b.dll\"\r\nE\r\n",
         "", 0},
        {"--mask '*.txt' ''", "", "", 1},
        {"-q Alpha", "", "", 0},
        // Matching: exact names, several keywords, lists of paths.
        {"-x Alph", "", "", 1},
        {"--exact Alpha", "Alpha\t0\ta.dll\ta.dll\n", "", 0},
        {"-ix ALPHA sub/b.dll", "Alpha\t0\tb.dll\tsub/b.dll\n", "", 0},
        {"-x -e beta_x -e Gamma -r", "beta_x\t4\ta.dll\ta.dll\n", "", 0},
        {"-r -e Gamma -e beta", "beta_x\t4\ta.dll\ta.dll\nGamma;x\t4\tb.dll\tsub/b.dll\n", "", 0},
        {"-e Alpha sub/b.dll", "Alpha\t0\tb.dll\tsub/b.dll\n", "", 0},
        {"--files-from " + lines + " Alpha", "Alpha\t0\tb.dll\tsub/b.dll\nAlpha\t0\ta.dll\ta.dll\n", "", 0},
        {"-0 --files-from - Alpha <" + nul, "Alpha\t0\ta.dll\ta.dll\nAlpha\t0\tb.dll\tsub/b.dll\n", "", 0},
        {"--files-from=nolist Alpha", "", "kalvex-find: nolist" + NoFile, 2},
        // Walks: links to folders entered with -L only, each folder once.
        {"-r Gamma", "Gamma;x\t4\tb.dll\tsub/b.dll\n", "", 0},
        {"-L -r Gamma", "Gamma;x\t4\tb.dll\tlnk/b.dll\n", "", 0},
        {"--follow -r -l Alpha", "a.dll\nlnk/b.dll\n", "", 0},
        {"-r Gamma lnk", "Gamma;x\t4\tb.dll\tlnk/b.dll\n", "", 0},  // named: followed
        // Output modes.
        {"--format json Alpha",
         "{\"name\":\"Alpha\",\"ordinal\":1,\"index\":0,\"hint\":null,\"module\":\"a.dll\",\"path\":\"a.dll\","
         "\"kind\":\"export\",\"forwarder\":null,\"delay\":null}\n",
         "", 0},
        {"--format json --imports ''",
         "{\"name\":\"Sleep\",\"ordinal\":null,\"index\":null,\"hint\":100,\"module\":\"K.dll\",\"path\":\"a.dll\","
         "\"kind\":\"import\",\"forwarder\":null,\"delay\":false}\n{\"name\":\"%17\",\"ordinal\":17,\"index\":null,"
         "\"hint\":null,\"module\":\"K.dll\",\"path\":\"a.dll\",\"kind\":\"import\",\"forwarder\":null,\"delay\":false}\n",
         "", 0},
        {"--format json --crlf A " + odd,
         "{\"name\":\"A\\\"\\u00ff\xC3\xA9\\u0001\",\"ordinal\":3,\"index\":2,\"hint\":null,\"module\":\"o.dll\",\"path\":" +
             Quoted(Many + "/odd/o.dll").substr(0, 0) + "\"" + Many + "/odd/o.dll\",\"kind\":\"export\",\"forwarder\":null,"
                                                                      "\"delay\":null}\r\n",
         "", 0},
        {"-l -r ''", "a.dll\nsub/b.dll\n", "", 0},
        {"--files-with-matches -0 -r Gamma", std::string("sub/b.dll\0", 10), "", 0},
        {"-c -r -i a", "a.dll\t2\nsub/b.dll\t2\n", "", 0},
        {"--count zzz", "", "", 1},
        {"--color=always Alph a.dll", colour + "Alph" + reset + "a\t0\ta.dll\ta.dll\n", "", 0},
        {"--color=always -e a -e Al a.dll", colour + "Al" + reset + "pha\t0\ta.dll\ta.dll\nbet" + colour + "a" + reset +
             "_x\t4\ta.dll\ta.dll\n", "", 0},
        {"--color Alpha", "Alpha\t0\ta.dll\ta.dll\n", "", 0},  // not a terminal
        {"--color=always --format csv Alpha", "\"Alpha\",0,\"a.dll\",\"a.dll\"\n", "", 0},
        {"--color=often x", "", "kalvex-find: unknown colour choice 'often' (auto, always or never)\n" + std::string(TryHelp), 2},
        // Messages: a path named that cannot be read or is no module is an
        // error; a file of a walk that is no module is passed by.
        {"Alpha . missing.dll", "Alpha\t0\ta.dll\t./a.dll\n", "kalvex-find: missing.dll" + NoFile, 2},
        {"Alpha missing.dll - a.dll", "Alpha\t0\ta.dll\ta.dll\n",
         "kalvex-find: missing.dll" + NoFile + "kalvex-find: -" + NoFile, 2},
        {"Alpha text.dll", "", "kalvex-find: text.dll" + NoModule, 2},
        {"--mask all Alpha", "Alpha\t0\ta.dll\ta.dll\n", "", 0},
        {"--mask all --errors Alpha", "Alpha\t0\ta.dll\ta.dll\n", "kalvex-find: text.dll" + NoModule, 0},
        {"-s Alpha missing.dll text.dll", "", "", 2},
        {"--no-messages Alpha missing.dll", "", "", 2},
        // -q: a match is the answer, whatever else happened.
        {"-q Alpha missing.dll a.dll", "", "kalvex-find: missing.dll" + NoFile, 0},
        {"-q Alpha missing.dll", "", "kalvex-find: missing.dll" + NoFile, 2},
        // The answer known, nothing after it is read or counted.
        {"-q -j 4 Alpha a.dll missing.dll", "", "", 0},
        // Usage errors: one line and where to read more.
        {"--bogus x", "", "kalvex-find: unknown option '--bogus'\n" + std::string(TryHelp), 2},
        {"-j 0 x", "", "kalvex-find: the number of jobs must be 1 to 256, not '0'\n" + std::string(TryHelp), 2},
        {"--format xml x", "", "kalvex-find: unknown format 'xml' (tsv, csv, sylk or json)\n" + std::string(TryHelp), 2},
        {"", "", "kalvex-find: no KEYWORD given\n" + std::string(TryHelp), 2},
    };
    for (const auto &c : cases) {
        const TRun run = Find(Root, c.Args);
        EXPECT_EQ(c.Out, run.Out) << c.Args;
        EXPECT_EQ(c.Err, run.Err) << c.Args;
        EXPECT_EQ(c.Status, run.Status) << c.Args;
    }
    const TRun help = Find(Root, "-h");
    EXPECT_EQ(0, help.Status);
    EXPECT_EQ(0u, help.Out.find("usage: kalvex-find"));
    EXPECT_EQ(Find(Root, "--help").Out, help.Out);
}

TEST_F(FindTool, OnATerminalRowsLeaveALineAtATimeAndNoProgressLineJoinsThem)
{
    // One job: each file is emitted as soon as it is read. The first row
    // must reach the terminal while the list is still open.
    // The match is coloured there unless NO_COLOR is set.
    const std::string alpha = "\x1b[01;31mAlpha\x1b[m";
    TPtyRun run(Root, {"-j", "1", "--files-from", "-", "Alpha"}, true);
    run.Write("a.dll\n");
    const std::string first = run.ReadUntil("a.dll\n");
    EXPECT_NE(std::string::npos, first.find(alpha + "\t0\ta.dll\ta.dll\n")) << first;
    PastTheFirstSecond();
    run.Write("sub/b.dll\n");
    run.CloseInput();
    EXPECT_EQ(alpha + "\t0\ta.dll\ta.dll\n" + alpha + "\t0\tb.dll\tsub/b.dll\n", run.ReadToEnd());
    const int status = run.Wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;

    TPtyRun plain(Root, {"Alpha", "a.dll"}, true, true);
    EXPECT_EQ("Alpha\t0\ta.dll\ta.dll\n", plain.ReadToEnd());
    plain.Wait();
}

TEST_F(FindTool, TheProgressLineIsErasedBeforeAMessageAndOnAnInterrupt)
{
    TPtyRun run(Root, {"-j", "1", "--files-from", "-", "Alpha"}, false);
    run.Write("a.dll\n");
    PastTheFirstSecond();
    run.Write("a.dll\n");
    run.ReadUntil("2/2 a.dll");
    run.Write("missing.dll\n");
    const std::string message = "kalvex-find: missing.dll: No such file or directory\n";
    const std::string seen = run.ReadUntil(message);
    ASSERT_NE(std::string::npos, seen.find(message)) << seen;
    EXPECT_EQ("\r2/2 a.dll\r         \r" + message, seen.substr(0, seen.find(message) + message.size()));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // progress shows at most every 100 ms
    run.Write("a.dll\n");
    run.ReadUntil("4/4 a.dll");
    run.Signal(SIGINT);
    const std::string end = run.ReadToEnd();
    EXPECT_TRUE(std::regex_search(end, std::regex("4/4 a\\.dll *\r {9,}\r$"))) << end;
    const int status = run.Wait();
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGINT) << status;
}

TEST_F(FindTool, UnreadableFilesAndFoldersAreReportedAndPassedBy)
{
    // Another user, for whom the folder "locked" cannot be listed (root
    // could list it anyway).
    fs::create_directory(Root + "/locked");
    fs::permissions(Root + "/locked", fs::perms::none);
    // A pipe named like a module is no file to read, and must not hang the read.
    ASSERT_EQ(0, mkfifo((Root + "/pipe.dll").c_str(), 0666));
    const std::string user = geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups" : "";
    const std::string rows = "Alpha\t0\ta.dll\ta.dll\nAlpha\t0\tb.dll\tsub/b.dll\n";
    // The folder is an error; the pipe and the text file are passed by,
    // named only with --errors.
    // The other user cannot write the runs' name cache, which --errors would name.
    const TRun quiet = Find(Root, "-r --mask all --no-cache Alpha", user);
    EXPECT_EQ(rows, quiet.Out);
    EXPECT_EQ(2, quiet.Status);
    EXPECT_EQ("kalvex-find: locked: Permission denied\n", quiet.Err);
    const TRun all = Find(Root, "-r --mask all --errors --no-cache Alpha", user);
    EXPECT_EQ(rows, all.Out);
    EXPECT_EQ(2, all.Status);
    EXPECT_EQ("kalvex-find: pipe.dll: not a regular file (a pipe, socket or device)\n"
              "kalvex-find: text.dll" + NoModule + "kalvex-find: locked: Permission denied\n",
              all.Err);
    fs::permissions(Root + "/locked", fs::perms::owner_all);
    const TRun passed = Find(Root, "-r --mask all Alpha");
    EXPECT_EQ(0, passed.Status);
    EXPECT_EQ("", passed.Err);
    fs::remove(Root + "/locked");
    fs::remove(Root + "/pipe.dll");
}

TEST_F(FindTool, ABrokenPipeEndsItQuietly)
{
    // Many rows into a reader that leaves after the first line.
    const std::string err = Root + "/err.txt";
    const std::string command = "cd " + Quoted(Many) + " && " + Quoted(KALVEX_FIND) + " '' 2>" + Quoted(err) +
                                " | head -c 1 >/dev/null; echo ${PIPESTATUS[0]}";
    FILE *p = popen(("bash -c " + Quoted(command)).c_str(), "r");
    char status[16] = {};
    fgets(status, sizeof status, p);
    pclose(p);
    EXPECT_STREQ("0\n", status);
    EXPECT_EQ("", ReadAll(err));
    fs::remove(err);
}

TEST_F(FindTool, AFailedWriteIsAnErrorWithItsReason)
{
    // A spool of SYLK records past the file-size limit fails as a write
    // does (the signal for it ignored, so the write reports EFBIG).
    const std::string spoolLimit = "trap '' XFSZ; ulimit -f 1;";
    const std::string full = "No space left on device", tooLarge = "File too large";
    const struct {
        const char *Prefix;
        std::string Args;
        const std::string &Reason;
    } cases[] = {
        {"", "Alpha a.dll >/dev/full", full},                              // at the end
        {"", "-j 3 '' " + Quoted(Many) + " >/dev/full", full},             // while rows come
        {"", "--format sylk Alpha a.dll >/dev/full", full},
        {spoolLimit.c_str(), "--format sylk '' " + Quoted(Many) + " >/dev/null", tooLarge},
        {spoolLimit.c_str(), "'' " + Quoted(Many) + " >" + Quoted(Root + "/out.txt"), tooLarge},
    };
    for (const auto &c : cases) {
        const TRun run = Find(Root, c.Args, c.Prefix);
        EXPECT_EQ(2, run.Status) << c.Args;
        EXPECT_EQ("kalvex-find: write error: " + c.Reason + "\n", run.Err) << c.Args;
    }
    EXPECT_EQ(0, Find(Root, "-q Alpha a.dll >/dev/full").Status);  // nothing to write
    fs::remove(Root + "/out.txt");
}

TEST_F(FindTool, AThreadThatCannotStartEndsTheRun)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run as a user of its own";
    // A user with no process yet, allowed two: the program and one thread.
    const TRun run = Find(Root, "-j 3 Alpha",
                          "ASAN_OPTIONS=detect_leaks=0 prlimit --nproc=2 "
                          "setpriv --reuid=64999 --regid=64999 --clear-groups");
    EXPECT_EQ("", run.Out);
    EXPECT_EQ(2, run.Status);
    EXPECT_EQ("kalvex-find: cannot start a thread: Resource temporarily unavailable\n", run.Err);
}

TEST(FindFixtures, ForwardersUnnamedExportsAndDelayLoadedImportsOfBothBitnesses)
{
    // The cross build's modules: forwarders and exports by ordinal only
    // (base 10), and an EXE that delay-loads a name and ordinal 7.
    const auto rows = [](const char *file, std::initializer_list<const char *> lines) {
        std::string out;
        for (const char *line : lines)
            out.append(line).append("\t").append(file).append("\n");
        return out;
    };
    const struct {
        std::string args, out;
        int status;
    } cases[] = {
        {"--unnamed '' fixforward.dll fixforward64.dll",
         rows("fixforward.dll", {"ByOrdinal\t2\tfixforward.dll", "HeapSize\t1\tfixforward.dll",
                                 "Local\t0\tfixforward.dll", "%14\t4\tfixforward.dll", "%15\t5\tfixforward.dll"}) +
             rows("fixforward64.dll", {"ByOrdinal\t2\tfixforward64.dll", "HeapSize\t1\tfixforward64.dll",
                                       "Local\t0\tfixforward64.dll", "%14\t4\tfixforward64.dll",
                                       "%15\t5\tfixforward64.dll"}),
         0},
        {"% fixforward.dll", "", 1},  // without --unnamed: named exports only
        {"--imports '' fixdelay.exe fixdelay64.exe",
         rows("fixdelay.exe", {"GetTickCount\t500\tKERNEL32.dll", "DelayedByName\t0\tFIXDELAYED.dll",
                               "%7\t0\tFIXDELAYED.dll"}) +
             rows("fixdelay64.exe", {"GetTickCount\t500\tKERNEL32.dll", "DelayedByName\t0\tFIXDELAYED.dll",
                                     "%7\t0\tFIXDELAYED.dll"}),
         0},
        {"--format json --unnamed -e HeapSize -e %14 fixforward64.dll",
         "{\"name\":\"HeapSize\",\"ordinal\":11,\"index\":1,\"hint\":null,\"module\":\"fixforward64.dll\","
         "\"path\":\"fixforward64.dll\",\"kind\":\"export\",\"forwarder\":\"NTDLL.RtlSizeHeap\",\"delay\":null}\n"
         "{\"name\":\"%14\",\"ordinal\":14,\"index\":4,\"hint\":null,\"module\":\"fixforward64.dll\","
         "\"path\":\"fixforward64.dll\",\"kind\":\"export\",\"forwarder\":\"NTDLL.RtlFreeHeap\",\"delay\":null}\n",
         0},
        {"--format json --imports -e Tick -e %7 fixdelay.exe",
         "{\"name\":\"GetTickCount\",\"ordinal\":null,\"index\":null,\"hint\":500,\"module\":\"KERNEL32.dll\","
         "\"path\":\"fixdelay.exe\",\"kind\":\"import\",\"forwarder\":null,\"delay\":false}\n"
         "{\"name\":\"%7\",\"ordinal\":7,\"index\":null,\"hint\":null,\"module\":\"FIXDELAYED.dll\","
         "\"path\":\"fixdelay.exe\",\"kind\":\"import\",\"forwarder\":null,\"delay\":true}\n",
         0},
    };
    for (const auto &c : cases) {
        const TRun run = Find(KALVEX_CROSS_TESTS, c.args);
        EXPECT_EQ(c.out, run.Out) << c.args;
        EXPECT_EQ("", run.Err) << c.args;
        EXPECT_EQ(c.status, run.Status) << c.args;
    }
}

TEST(FindOptions, ParsesWhatTheHelpSays)
{
    TFindOptions o;
    EXPECT_EQ("", ParseFindOptions({"-irq", "-j4", "--mask=all", "--sort", "path", "--imports", "--", "-x", "d"}, o));
    EXPECT_TRUE(o.IgnoreCase && o.Recursive && o.Quiet && o.Imports);
    EXPECT_EQ(4, o.Jobs);
    EXPECT_EQ("*.*", o.Mask);
    EXPECT_EQ(TSortKey::Path, o.Sort);
    EXPECT_EQ(std::vector<std::string>{"-x"}, o.Keywords);
    EXPECT_EQ(std::vector<std::string>{"d"}, o.Paths);
    TFindOptions h;
    EXPECT_EQ("", ParseFindOptions({"-hs"}, h));
    EXPECT_TRUE(h.Help && h.NoMessages);
    TFindOptions e;
    EXPECT_EQ("", ParseFindOptions({"-x0e", "A", "-eB", "--files-from", "-", "p"}, e));
    EXPECT_TRUE(e.Exact && e.Null);
    EXPECT_EQ((std::vector<std::string>{"A", "B"}), e.Keywords);
    EXPECT_EQ(std::vector<std::string>{"p"}, e.Paths);
    EXPECT_EQ("-", e.FilesFrom);
    for (const char *last : {"-e", "--files-from"}) {
        TFindOptions p;
        EXPECT_EQ(std::string("option '") + last + "' needs a value", ParseFindOptions({"k", last}, p));
    }
    for (const char *bad : {"--mask", "-j", "--jobs=300", "--sort=size", "-z", "--mask="}) {
        TFindOptions p;
        EXPECT_NE("", ParseFindOptions({bad, "k"}, p)) << bad;
    }
}

TEST(FindSystemFolder, ManyJobsGiveTheOutputOfOne)
{
    const std::string sys = KALVEX_SYSTEM_FOLDER;
    if (!fs::exists(sys) && fs::exists(KALVEX_WINE_NOT_RUN))
        GTEST_SKIP() << "no Wine prefix: this machine cannot run 32-bit programs";
    ASSERT_TRUE(fs::exists(sys + "/kernel32.dll")) << "no Wine system folder at " << sys;
    for (const char *args : {"''", "--imports ''"}) {
        const TRun one = Find(sys, std::string("-j 1 ") + args), eight = Find(sys, std::string("-j 8 ") + args);
        EXPECT_EQ(0, one.Status);
        EXPECT_GT(one.Out.size(), 1000000u) << args;
        EXPECT_TRUE(one.Out == eight.Out) << args;
    }
}

// The README's examples, each as shown, in a folder of modules that export
// and import the names they ask for: each must succeed.
TEST(FindDocs, TheReadmeExamplesRunAsShown)
{
    const std::string folder = fs::temp_directory_path() / ("kalvex-find-docs-" + std::to_string(getpid()));
    fs::remove_all(folder);
    fs::create_directories(folder + "/sub");
    TPeBuilder k(2, 0x30000000, false);
    k.PutExports(TPeBuilder::DataRva, {"CreateFileW", "HeapAlloc", "HeapFree"}, {0, 1, 2});
    ASSERT_TRUE(k.WriteTo(folder + "/kernel32.dll"));
    TPeBuilder net(2, 0x30000000, true);
    const uint32_t end = net.PutExports(TPeBuilder::DataRva, {"Connect"}, {0});
    net.PutImports(end + 8, {{"WS2_32.dll", {"getsockname"}, {}}});
    ASSERT_TRUE(net.WriteTo(folder + "/sub/net.dll"));

    std::ifstream readme(KALVEX_README);
    std::string line, section;
    std::vector<std::string> examples;
    while (std::getline(readme, line)) {
        if (line.compare(0, 3, "## ") == 0)
            section = line;
        else if (section == "## kalvex-find" && line.compare(0, 4, "    ") == 0 &&
                 line.find("[OPTIONS]") == std::string::npos)
            examples.push_back(line.substr(4));
    }
    EXPECT_GE(examples.size(), 5u);
    const std::string bin = fs::path(KALVEX_FIND).parent_path();
    for (const std::string &example : examples) {
        const TRun run = Find(folder, "--version >/dev/null && PATH=" + Quoted(bin) + ":$PATH bash -o pipefail -c " +
                                          Quoted(example) + " >/dev/null");
        EXPECT_EQ(0, run.Status) << example << ": " << run.Err;
    }
    fs::remove_all(folder);
}

TEST(FindDocs, TheManPageInstallsRendersAndNamesEveryOptionOfTheHelp)
{
    const std::string prefix = fs::temp_directory_path() / ("kalvex-find-install-" + std::to_string(getpid()));
    const std::string page = prefix + "/share/man/man1/kalvex-find.1";
    fs::remove_all(prefix);
    const std::string render = Quoted(KALVEX_CMAKE) + " --install " + Quoted(KALVEX_BUILD) + " --prefix " +
                               Quoted(prefix) + " >/dev/null && LC_ALL=C MANWIDTH=300 man --warnings -l " +
                               Quoted(page);
    FILE *p = popen((render + " 2>&1").c_str(), "r");
    std::string text;
    char buffer[4096];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, p)) > 0)
        text.append(buffer, n);
    EXPECT_EQ(0, pclose(p)) << text;
    EXPECT_TRUE(fs::exists(prefix + "/bin/kalvex-find"));
    EXPECT_EQ(std::string::npos, text.find("warning")) << text;
    const std::string help = Find(".", "--help").Out;
    const std::regex option("(^|[ ,])(--?[a-zA-Z0-9][a-z-]*)");
    int options = 0;
    for (std::sregex_iterator i(help.begin(), help.end(), option), e; i != e; ++i, ++options)
        EXPECT_NE(std::string::npos, text.find((*i)[2].str())) << (*i)[2].str();
    EXPECT_GT(options, 25);
    fs::remove_all(prefix);
}
