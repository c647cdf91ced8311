// Runs the halcyra-pil program as a user would.
#include "Bytes.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace halcyra {
namespace {

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::string& bytes)
{
    std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

struct TRun {
    int exitCode = -1;
    std::string out;
    std::string err;
};

class PilTool : public ::testing::Test {
protected:
    test::TTempDir dir;
    std::filesystem::path file = dir / "f.pil";

    TRun Pil(std::vector<std::string> args)
    {
        args.insert(args.begin(), HALCYRA_PIL);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        const std::string out = (dir / "stdout").string();
        const std::string err = (dir / "stderr").string();
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        pid_t pid = 0;
        TRun run;
        if (posix_spawn(&pid, HALCYRA_PIL, &actions, nullptr, argv.data(), environ) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        run.out = ReadFile(out);
        run.err = ReadFile(err);
        return run;
    }
};

TEST_F(PilTool, CreateDeclareGrowAndDump)
{
    const std::string f = file.string();
    TRun r = Pil({"create", f, "--id", "123456", "--name", "Ann Smith"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(ReadFile(file), test::HandBuiltNewMonitorFile());

    const std::vector<std::string> labels = {"HR", "RR", "PR", "ST", "T1", "T2"};
    for (int i = 0; i < 5; ++i) {
        r = Pil({"declare", f, labels[i], "--unit", "bpm"});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        EXPECT_EQ(r.out, std::to_string(i) + "\n");
        EXPECT_EQ(ReadFile(file).size(), 666u);
    }
    EXPECT_EQ(Pil({"add", f, "0", "2024-03-01T10:00:00", "72"}).exitCode, 0);
    EXPECT_EQ(Pil({"add", f, "4", "45352.5", "-5.5"}).exitCode, 0);
    EXPECT_EQ(Pil({"delimit", f, "0", "2024-03-01T10:00:10.250"}).exitCode, 0);

    r = Pil({"declare", f, labels[5], "--unit", "bpm"});
    EXPECT_EQ(r.out, "5\n");
    const std::string bytes = ReadFile(file);
    EXPECT_EQ(test::I32At(bytes, 668), 205);
    EXPECT_EQ(test::I32At(bytes, 672), 583);
    EXPECT_EQ(bytes.size(), 668u + 8 + 583 + 3 * 26);

    r = Pil({"dump", f, "--csv"});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(r.out,
              "series,unit,time,value,kind\n"
              "HR,bpm,2024-03-01T10:00:00.000,72,value\n"
              "HR,bpm,2024-03-01T10:00:10.250,0,delimiter\n"
              "T1,bpm,2024-03-01T12:00:00.000,-5.5,value\n");
    r = Pil({"dump", f});
    EXPECT_NE(r.out.find("Patient name: Ann Smith\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Series 5: label \"T2\", place \"\", extra \"\", unit \"bpm\", parameter ID \"\"\n"),
              std::string::npos);
    EXPECT_NE(r.out.find("HR\t2024-03-01T10:00:00.000\t72\tvalue\n"), std::string::npos);

    r = Pil({"check", f});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, f + ": sound\n");
}

TEST_F(PilTool, TextIsUtf8OnTheCommandLineAndSingleByteInTheFile)
{
    const std::string f = file.string();
    ASSERT_EQ(Pil({"create", f, "--id", "7", "--name", "J\xc3\xb6rg", "--kind", "Mon", "--reserve", "100"}).exitCode,
              0);
    EXPECT_EQ(ReadFile(file).size(), 144u + 8 + 100);  // "Mon", "7" and four single-byte name characters in front
    ASSERT_EQ(Pil({"declare", f, "Temp", "--unit",
                   "\xc2\xb0"
                   "C",
                   "--place", "rectal", "--param-id", "0002-4b60"})
                  .exitCode,
              0);
    const std::string bytes = ReadFile(file);
    EXPECT_NE(bytes.find("J\xf6rg"), std::string::npos);
    EXPECT_NE(bytes.find("\xb0"
                         "C"),
              std::string::npos);
    const TRun r = Pil({"dump", f});
    EXPECT_NE(r.out.find("Patient name: J\xc3\xb6rg\n"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("unit \"\xc2\xb0"
                         "C\", parameter ID \"0002-4b60\""),
              std::string::npos)
        << r.out;
}

TEST_F(PilTool, DamagedFilesAreReportedAndNotWrittenInto)
{
    const std::string f = file.string();
    ASSERT_EQ(Pil({"create", f, "--id", "1", "--name", "A"}).exitCode, 0);
    ASSERT_EQ(Pil({"declare", f, "HR"}).exitCode, 0);
    ASSERT_EQ(Pil({"add", f, "0", "45000", "60"}).exitCode, 0);
    const std::string sound = ReadFile(file);
    const std::string record = test::TBytes().Record(220, 0, 45001.0, 61.0).Str();

    struct TCase {
        const char* name;
        std::string bytes;
        bool writable;  // declare and add take it (and make it sound)
    };
    std::string badIndex = sound;
    badIndex[sound.find(std::string("\xD3\0\0\0\x04\0\0\0", 8)) + 8] = 3;  // series 0 declared with index 3
    const std::vector<TCase> cases = {
        {"record cut short at the end", sound + record.substr(0, 17), true},
        {"record cut short in the middle", sound + record.substr(0, 17) + record, false},
        {"cut inside the reserved area", sound.substr(0, 400), false},
        {"series index out of step", badIndex, false},
    };
    for (const TCase& c : cases) {
        WriteFile(file, c.bytes);
        TRun r = Pil({"dump", f});
        EXPECT_EQ(r.exitCode, 1) << c.name;
        EXPECT_NE(r.err.find("warning: "), std::string::npos) << c.name << ": " << r.err;
        for (const std::vector<std::string>& write :
             {std::vector<std::string>{"declare", f, "SpO2"}, std::vector<std::string>{"add", f, "0", "45002", "62"}}) {
            WriteFile(file, c.bytes);
            r = Pil(write);
            if (c.writable) {
                EXPECT_EQ(r.exitCode, 0) << c.name << ' ' << write[0] << ": " << r.err;
                EXPECT_EQ(Pil({"check", f}).out, f + ": sound\n") << c.name << ' ' << write[0];
            } else {
                EXPECT_EQ(r.exitCode, 1) << c.name << ' ' << write[0];
                EXPECT_NE(r.err.find("not sound, left untouched"), std::string::npos) << r.err;
                EXPECT_TRUE(ReadFile(file) == c.bytes) << c.name << ' ' << write[0];
            }
        }
    }
    // Every value before and after the cut is kept.
    WriteFile(file, sound + record.substr(0, 5));
    ASSERT_EQ(Pil({"add", f, "0", "45002", "62"}).exitCode, 0);
    const TRun r = Pil({"dump", f, "--csv"});
    EXPECT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 3) << r.out;
}

TEST_F(PilTool, ControlCharactersInTheFileAreShownEscaped)
{
    const std::string f = file.string();
    ASSERT_EQ(Pil({"create", f, "--id", "1", "--name", "Ann\x1b[2J\nSmith"}).exitCode, 0);
    ASSERT_EQ(Pil({"declare", f, "HR\tx"}).exitCode, 0);
    ASSERT_EQ(Pil({"add", f, "0", "45000", "60"}).exitCode, 0);
    TRun r = Pil({"dump", f});
    EXPECT_NE(r.out.find("Patient name: Ann\\x1B[2J\\x0ASmith\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find('\x1b'), std::string::npos);
    EXPECT_NE(r.out.find("HR\\x09x\t"), std::string::npos) << r.out;
    // Names of a file that does not match go into the error message the same way.
    r = Pil({"create", f, "--id", "2", "--name", "B"});
    EXPECT_EQ(r.err.find('\x1b'), std::string::npos) << r.err;
}

TEST_F(PilTool, ErrorsAreOneLineAndNonZero)
{
    const std::string f = file.string();
    ASSERT_EQ(Pil({"create", f, "--id", "1", "--name", "A"}).exitCode, 0);
    ASSERT_EQ(Pil({"declare", f, "HR"}).exitCode, 0);
    std::ofstream(dir / "text.pil") << "not a monitor file at all";
    const std::string text = (dir / "text.pil").string();
    const std::string missing = (dir / "missing.pil").string();
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"frobnicate", f},
        {"add"},
        {"add", f, "0", "2024-03-01T10:00:00"},
        {"add", f, "1", "45000", "1"},
        {"add", f, "-1", "45000", "1"},
        {"add", f, "0", "yesterday", "1"},
        {"add", f, "0", "2024-02-30T10:00:00", "1"},
        {"add", f, "0", "45000", "nan"},
        {"add", f, "0", "45000", "1", "2"},
        {"add", missing, "0", "45000", "1"},
        {"delimit", f, "0", "45000", "1.5"},
        {"declare", text, "HR"},
        {"declare", f},
        {"create", f, "--id", "2", "--name", "B"},
        {"create", missing, "--id", "2"},
        {"create", missing, "--id", "2", "--name", "B", "--reserve", "-1"},
        {"create", (dir / "no" / "such.pil").string(), "--id", "2", "--name", "B"},
        {"dump", missing},
        {"dump", f, "--bogus"},
        {"check", text},
        {"check", missing},
    };
    for (const auto& args : cases) {
        const TRun r = Pil(args);
        std::ostringstream shown;
        for (const auto& a : args) shown << a << ' ';
        EXPECT_GE(r.exitCode, 1) << shown.str();
        EXPECT_LT(r.exitCode, 128) << shown.str();
        if (args.size() > 1 && args[0] == "check" && args[1] == text) {
            EXPECT_EQ(r.out.rfind(text + ": not a save file", 0), 0u) << r.out;
            continue;
        }
        EXPECT_FALSE(r.err.empty()) << shown.str();
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << shown.str() << ": " << r.err;
    }
    EXPECT_FALSE(std::filesystem::exists(missing));
    // The file is still sound after all the refused commands.
    EXPECT_EQ(Pil({"check", f}).exitCode, 0);
}

}  // namespace
}  // namespace halcyra
