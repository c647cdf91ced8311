// The four helper programs as a shell user meets them: --version and --help, a wrong command line as one
// line and exit code 2, nothing after "--" taken for an option, no error when the reader of standard output
// has gone, results that name their file. Each run is started as a shell starts it: SIGPIPE at its default,
// no display.
#include "PilCommands.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>
#include <algorithm>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

extern char** environ;

namespace halcyra {
namespace {

enum class TStdout { File, ClosedPipe };

struct TRun {
    bool exited = false;  // false: ended by a signal (a crash, an abort, a closed pipe)
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs program in dir with the test's environment less any display, plus extra (NAME=VALUE).
TRun RunTool(const std::string& program, std::vector<std::string> args, const std::filesystem::path& dir,
             TStdout stdoutKind, const std::vector<std::string>& extra)
{
    args.insert(args.begin(), program);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> environment;
    for (char** e = environ; *e; ++e) {
        const std::string entry = *e;
        const std::string name = entry.substr(0, entry.find('='));
        if (name != "DISPLAY" && name != "WAYLAND_DISPLAY" && name != "QT_QPA_PLATFORM") environment.push_back(entry);
    }
    environment.insert(environment.end(), extra.begin(), extra.end());
    std::vector<char*> envp;
    for (std::string& e : environment) envp.push_back(e.data());
    envp.push_back(nullptr);

    const std::filesystem::path outFile = dir / ".stdout";
    const std::filesystem::path errFile = dir / ".stderr";
    int outFd = -1;
    if (stdoutKind == TStdout::ClosedPipe) {
        int ends[2];
        if (::pipe2(ends, O_CLOEXEC) != 0) return {};
        ::close(ends[0]);  // nobody will ever read
        outFd = ends[1];
    } else {
        outFd = ::open(outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    }
    const int errFd = ::open(errFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outFd, STDOUT_FILENO);
        ::dup2(errFd, STDERR_FILENO);
        if (::chdir(dir.c_str()) != 0) ::_exit(126);
        std::signal(SIGPIPE, SIG_DFL);
        ::alarm(120);  // a tool that hangs ends, rather than the test
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(outFd);
    ::close(errFd);
    TRun run;
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid) return run;
    run.exited = WIFEXITED(status);
    run.exitCode = run.exited ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    if (stdoutKind == TStdout::File) run.out = ReadFile(outFile);
    run.err = ReadFile(errFile);
    return run;
}

struct TCase {
    std::string program;  // empty when this build has no such tool
    std::vector<std::string> args;
    int exitCode;
    std::optional<std::string> out;  // the whole of standard output; anything when absent
    std::string err;                 // empty: nothing on standard error; else in its one line "<tool>: ..."
    TStdout stdoutKind = TStdout::File;
    std::vector<std::string> environment = {};
};

TEST(ToolsCommandLine, VersionUsageErrorsEndOfOptionsClosedPipesAndFileNames)
{
    const std::string pil = HALCYRA_PIL, hl7 = HALCYRA_HL7, sim = CS_SIM, standin = VELGARD_STANDIN;
    const std::string halcyra = HALCYRA;
    const std::string version = HALCYRA_VERSION;
    test::TTempDir dir;
    const std::string sound = (dir / "sound.pil").string();
    pil::Create(sound, "123456", "Ann Smith", "Halcyra", 500);
    pil::Declare(sound, "HR", "bpm", "", "", "");
    pil::AddValue(sound, 0, EncodeDateTime(2024, 3, 1, 10, 0, 0), 72);
    pil::AddValue(sound, 0, EncodeDateTime(2024, 3, 1, 10, 1, 0), 74);
    // The last record cut short, as a crash leaves it.
    const std::string damaged = (dir / "damaged.pil").string();
    std::ofstream(damaged, std::ios::binary) << ReadFile(sound) << std::string("\xdc\0\0\0\x12", 5);
    std::string damagedLines;
    for (const std::string& problem : pil::Check(damaged)) damagedLines += damaged + ": " + problem + "\n";
    ASSERT_FALSE(damagedLines.empty());
    const std::string folder = (dir / "folder").string();
    std::filesystem::create_directory(folder);
    const std::string missing = (dir / "missing.pil").string();
    const std::string capture = (dir / "capture.hl7").string();
    std::ofstream(capture) << "MSH|^~\\&|CS|WARD|||20240301100000||ORU^R01|1|P|2.3\n"
                              "PID|||123456||Smith^Ann\n"
                              "OBR||||||||20240301100000\n"
                              "OBX||NM|0002-4182^HR^MDIL||72|264864^/min^MDIL\n";
    const std::string notes = (dir / "notes.txt").string();
    std::ofstream(notes) << "no HL7 in here\n";
    const std::string svg = (dir / "plot.svg").string();

    std::vector<TCase> cases = {
        {pil, {"--version"}, 0, "halcyra-pil " + version + "\n", ""},
        {hl7, {"--version"}, 0, "halcyra-hl7 " + version + "\n", ""},
        {sim, {"--version"}, 0, "cs-sim " + version + "\n", ""},
        {standin, {"--version"}, 0, "velgard-standin " + version + "\n", ""},
        {halcyra, {"--version"}, 0, "halcyra " + version + "\n", ""},
        {pil, {"--help"}, 0, std::nullopt, ""},
        {hl7, {"--help"}, 0, std::nullopt, ""},
        {sim, {"--help"}, 0, std::nullopt, ""},
        {standin, {"--help"}, 0, std::nullopt, ""},
        {halcyra, {"--help"}, 0, std::nullopt, ""},

        // A wrong command line: one line, exit code 2, before anything is done.
        {pil, {"--bogus"}, 2, "", "--bogus"},
        {pil, {"dump", sound, "--bogus"}, 2, "", "bogus"},
        {hl7, {"decode", capture, "--bogus"}, 2, "", "bogus"},
        {sim, {"--bogus"}, 2, "", "bogus"},
        {standin, {"--bogus"}, 2, "", "bogus"},
        {pil, {"frobnicate", sound}, 2, "", "unknown command 'frobnicate'"},
        {pil, {"dump"}, 2, "", "dump expects FILE"},
        {pil, {"create", missing, "--id"}, 2, "", "--id"},
        {pil, {"add", sound, "0", "yesterday", "1"}, 2, "", "invalid time 'yesterday'"},
        {pil, {"create", missing, "--id", "1", "--name", "A", "--reserve", "x"}, 2, "", "invalid reserved size 'x'"},
        {hl7, {}, 2, "", "no command given"},
        {hl7, {"frobnicate"}, 2, "", "unknown command 'frobnicate'"},
        {sim, {"--beds", "0"}, 2, "", "--beds: not a whole number from 1 to 10000: 0"},
        {sim, {"--beds", "x"}, 2, "", "--beds: not a whole number from 1 to 10000: x"},
        {sim, {"--rate", "-1"}, 2, "", "--rate: not a number from 0 to 100000: -1"},
        {sim, {"--port", "70000"}, 2, "", "--port: not a whole number from 0 to 65535: 70000"},
        {standin, {"--delay", "x"}, 2, "", "--delay"},
        {halcyra, {"--bogus"}, 2, "", "bogus"},
        {halcyra, {"--set", "Interval=x"}, 2, "", "Interval takes a whole number from 1 to 7170, not \"x\""},

        // After "--" nothing is an option; a negative number is none either.
        {pil, {"check", "--", "--version"}, 1, "", "--version: no such file"},
        {hl7, {"decode", "--", "--version"}, 1, "", "--version: cannot read"},
        {sim, {"--", "--version"}, 2, "", "unexpected argument: --version"},
        {standin, {"--", "--version"}, 2, "", "unexpected argument: --version"},
        {halcyra, {"--", "--version"}, 1, "", "no display"},
        {pil, {"add", sound, "0", "2024-03-01T10:02:00", "-5.5"}, 0, "", ""},

        // A reader that has gone away is no error.
        {hl7, {"decode", capture}, 0, std::nullopt, "", TStdout::ClosedPipe},
        {pil, {"dump", sound}, 0, std::nullopt, "", TStdout::ClosedPipe},
        {halcyra,
         {"--settings", "--registry", (dir / "registry").string(), "--prefix", (dir / "prefix").string()},
         0,
         std::nullopt,
         "",
         TStdout::ClosedPipe},

        // Results name their file.
        {pil, {"check", sound}, 0, sound + ": sound\n", ""},
        {pil, {"check", sound, damaged}, 1, sound + ": sound\n" + damagedLines, ""},
        {pil, {"check", folder}, 1, "", folder + ": is a folder, not a file"},
        {pil, {"check", missing}, 1, "", missing + ": no such file"},
        {pil, {"dump", folder}, 1, "", folder + ": is a folder, not a file"},
        {pil, {"dump", damaged, "--csv"}, 1, std::nullopt, damaged + ": warning: "},
        {hl7, {"decode", capture}, 0, std::nullopt, ""},
        {hl7, {"decode", notes}, 1, std::nullopt, notes + ": holds no HL7 message"},
        {hl7, {"decode", folder}, 1, "", folder + ": is a folder, not a file"},
    };
#ifdef HALCYRA_PIL_PLOT
    // Set but empty chooses no platform: offscreen, as when unset.
    cases.push_back({pil, {"plot", sound, "--output", svg}, 0, "", "", TStdout::File, {"QT_QPA_PLATFORM="}});
    cases.push_back({pil, {"plot", sound, "--output", (dir / "plot.jpg").string()}, 2, "", "must end in .svg or .png"});
#endif

    for (const TCase& c : cases) {
        if (c.program.empty()) continue;
        const std::string tool = std::filesystem::path(c.program).filename().string();
        std::string shown = tool;
        for (const std::string& a : c.args) shown += " " + a;
        SCOPED_TRACE(shown);
        const TRun run = RunTool(c.program, c.args, dir.Path(), c.stdoutKind, c.environment);
        if (!run.exited) {
            ADD_FAILURE() << "ended by signal " << run.exitCode - 128 << "; stderr: " << run.err;
            continue;
        }
        EXPECT_EQ(run.exitCode, c.exitCode) << run.err;
        if (c.out) {
            EXPECT_EQ(run.out, *c.out);
        }
        if (c.err.empty()) {
            EXPECT_EQ(run.err, "");
            continue;
        }
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
        EXPECT_EQ(run.err.rfind(tool + ": ", 0), 0u) << run.err;
        EXPECT_EQ(run.err.back(), '\n');
        EXPECT_NE(run.err.find(c.err), std::string::npos) << run.err;
    }
#ifdef HALCYRA_PIL_PLOT
    EXPECT_TRUE(std::filesystem::exists(svg));
#endif
}

}  // namespace
}  // namespace halcyra
