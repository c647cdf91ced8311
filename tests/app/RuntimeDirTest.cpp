// Where a start without XDG_RUNTIME_DIR keeps its runtime files, the instance lock among them: a start from a
// shell without a session must find the lock where the desktop and the user service keep it.
#include "app/RuntimeDir.h"

#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

std::optional<std::string> Variable(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::optional<std::string>(value) : std::nullopt;
}

void Restore(const char* name, const std::optional<std::string>& value)
{
    if (value)
        ::setenv(name, value->c_str(), 1);
    else
        ::unsetenv(name);
}

TEST(RuntimeDir, ASessionFolderOfTheUserComesFirstThenAPrivateFolderInTmp)
{
    const auto oldRuntime = Variable("XDG_RUNTIME_DIR");
    const auto oldTmp = Variable("TMPDIR");
    const std::string uid = std::to_string(::geteuid());
    const auto session = [&](const fs::path& sessions) {
        fs::create_directories(sessions / uid);
        fs::permissions(sessions / uid, fs::perms::owner_all);
    };
    struct TCase {
        const char* what;
        std::function<void(const fs::path& sessions)> prepare;
        const char* runtime;  // XDG_RUNTIME_DIR before
        bool inSession;       // else in TMPDIR
    };
    // Made before TMPDIR changes: each case has a folder of its own in it.
    test::TTempDir base;
    int number = 0;
    for (const TCase& c : std::initializer_list<TCase>{
             {"a session folder", session, nullptr, true},
             {"an empty variable", session, "", true},
             {"no session folder", [](const fs::path&) {}, nullptr, false},
             {"a session folder open to others",
              [&](const fs::path& s) {
                  fs::create_directories(s / uid);
                  fs::permissions(s / uid, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec);
              },
              nullptr, false},
             {"a link as the session folder",
              [&](const fs::path& s) {
                  fs::create_directories(s / "elsewhere");
                  fs::permissions(s / "elsewhere", fs::perms::owner_all);
                  fs::create_directory_symlink(s / "elsewhere", s / uid);
              },
              nullptr, false},
         }) {
        SCOPED_TRACE(c.what);
        const fs::path dir = base / std::to_string(++number);
        const fs::path sessions = dir / "run-user";
        fs::create_directories(sessions);
        c.prepare(sessions);
        fs::create_directories(dir / "tmp");
        ::setenv("TMPDIR", (dir / "tmp").c_str(), 1);
        if (c.runtime != nullptr)
            ::setenv("XDG_RUNTIME_DIR", c.runtime, 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");

        ProvideRuntimeDir(sessions.string());
        const auto runtime = Variable("XDG_RUNTIME_DIR");
        ASSERT_TRUE(runtime.has_value());
        if (c.inSession) {
            EXPECT_EQ(*runtime, (sessions / uid).string());
        } else {
            EXPECT_EQ(fs::path(*runtime).parent_path(), dir / "tmp");
            EXPECT_EQ(fs::status(*runtime).permissions() & fs::perms::all, fs::perms::owner_all);
        }
    }
    // A folder the environment names is kept.
    ::setenv("XDG_RUNTIME_DIR", "/somewhere", 1);
    ProvideRuntimeDir("/nonexistent");
    EXPECT_EQ(Variable("XDG_RUNTIME_DIR"), "/somewhere");
    Restore("XDG_RUNTIME_DIR", oldRuntime);
    Restore("TMPDIR", oldTmp);
}

}  // namespace
}  // namespace halcyra
