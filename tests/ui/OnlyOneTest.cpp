// One instance per user and settings: the lock decides, the socket beside it only tells who runs, and only
// the user's own processes (or root's) are believed.
#include "ui/OnlyOne.h"

#include "support/TempDir.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

// XDG_RUNTIME_DIR set (or unset) for one test.
class TRuntimeDir {
public:
    explicit TRuntimeDir(const std::optional<fs::path>& folder)
    {
        if (const char* old = std::getenv("XDG_RUNTIME_DIR")) old_ = old;
        if (folder)
            ::setenv("XDG_RUNTIME_DIR", folder->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }
    ~TRuntimeDir()
    {
        if (old_)
            ::setenv("XDG_RUNTIME_DIR", old_->c_str(), 1);
        else
            ::unsetenv("XDG_RUNTIME_DIR");
    }

private:
    std::optional<std::string> old_;
};

fs::perms Mode(const fs::path& path)
{
    return fs::symlink_status(path).permissions() & fs::perms::all;
}

// `halcyra --status` asks from another process; here from another thread, while this one, the instance's,
// builds the answer.
TOnlyOne::TStatusReply AskStatus(const fs::path& settings, const TPeerCheck& check = KernelPeerCredentials)
{
    std::atomic<bool> done = false;
    TOnlyOne::TStatusReply reply;
    std::thread asker([&] {
        reply = TOnlyOne::AskStatus(settings, false, check);
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done.load(); }, 20000));
    asker.join();
    return reply;
}

class OnlyOneTest : public ::testing::Test {
protected:
    OnlyOneTest() { fs::create_directories(dir_ / "registry"); }
    test::TTempDir dir_;
    const fs::path settings_ = dir_ / "registry" / "HKEY_CURRENT_USER.reg";
};

TEST_F(OnlyOneTest, OneLockAndOneSocketPerSettingsFileHoweverItIsNamed)
{
    test::TTempDir runtime;
    const TRuntimeDir use(runtime.Path());
    fs::create_directory_symlink(dir_ / "registry", dir_ / "link");
    TInstancePaths paths;
    std::string error;
    ASSERT_TRUE(FindInstancePaths(settings_, false, paths, error)) << error;
    EXPECT_EQ(paths.folder, runtime / "halcyra");
    EXPECT_EQ(Mode(paths.folder), fs::perms::owner_all);
    EXPECT_EQ(paths.lock.parent_path(), paths.folder);
    EXPECT_EQ(paths.socket.parent_path(), paths.folder);
    EXPECT_EQ(TOnlyOne::SettingsFileName(settings_),
              QString::fromStdString(fs::canonical(dir_.Path()).string()) + "/registry/HKEY_CURRENT_USER.reg");

    // The same file by a symbolic link, with dots, relative to the working folder: the same lock.
    const fs::path here = fs::current_path();
    fs::current_path(dir_.Path());
    for (const fs::path& same : {dir_ / "link" / "HKEY_CURRENT_USER.reg",
                                 dir_ / "registry" / "." / ".." / "registry" / "HKEY_CURRENT_USER.reg",
                                 fs::path("registry") / "HKEY_CURRENT_USER.reg"}) {
        TInstancePaths other;
        ASSERT_TRUE(FindInstancePaths(same, false, other, error)) << error;
        EXPECT_EQ(other.lock, paths.lock) << same;
        EXPECT_EQ(other.socket, paths.socket) << same;
    }
    fs::current_path(here);
    TInstancePaths other;
    ASSERT_TRUE(FindInstancePaths(dir_ / "other" / "HKEY_CURRENT_USER.reg", false, other, error)) << error;
    EXPECT_NE(other.lock, paths.lock);
}

TEST_F(OnlyOneTest, TheFolderIsTheUsersAloneOrElseTheSettingsFolder)
{
    struct TCase {
        const char* what;
        std::function<std::optional<fs::path>(const fs::path& runtime)> prepare;
        bool inRuntime;
    };
    const fs::path settingsFolder = fs::canonical(dir_ / "registry");
    for (const TCase& c : std::vector<TCase>{
             {"a runtime folder", [](const fs::path& r) { return r; }, true},
             {"its halcyra/ open to others is closed",
              [](const fs::path& r) {
                  fs::create_directory(r / "halcyra");
                  fs::permissions(r / "halcyra", fs::perms::owner_all | fs::perms::group_all | fs::perms::others_all);
                  return r;
              },
              true},
             {"no runtime folder", [](const fs::path&) { return std::nullopt; }, false},
             {"a relative one", [](const fs::path&) { return fs::path("run"); }, false},
             {"its halcyra/ a link elsewhere",
              [](const fs::path& r) {
                  fs::create_directory(r / "elsewhere");
                  fs::create_directory_symlink(r / "elsewhere", r / "halcyra");
                  return r;
              },
              false},
             {"its halcyra/ a file",
              [](const fs::path& r) {
                  std::ofstream(r / "halcyra") << "x";
                  return r;
              },
              false},
         }) {
        SCOPED_TRACE(c.what);
        test::TTempDir runtime;
        const TRuntimeDir use(c.prepare(runtime.Path()));
        TInstancePaths paths;
        std::string error;
        ASSERT_TRUE(FindInstancePaths(settings_, true, paths, error)) << error;
        EXPECT_EQ(paths.folder, c.inRuntime ? runtime / "halcyra" : settingsFolder);
        if (c.inRuntime) {
            EXPECT_EQ(Mode(paths.folder), fs::perms::owner_all);
        }
        // Either way, an instance runs there.
        TOnlyOne first(settings_, "service");
        ASSERT_TRUE(first.Enforce(false)) << first.Error().toStdString();
        EXPECT_EQ(first.Paths().lock, paths.lock);
        EXPECT_EQ(Mode(paths.lock), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(Mode(paths.socket), fs::perms::owner_read | fs::perms::owner_write);
        EXPECT_EQ(AskStatus(settings_).result, TOnlyOne::TStatusReply::Answered);
    }
}

TEST_F(OnlyOneTest, TheLockIsHeldByALiveProcessAndFreeWhenItEnds)
{
    const fs::path file = dir_ / "instance.lock";
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only what is safe after a fork of a threaded process.
        TInstanceLock lock(file);
        const char taken = lock.Take() == TInstanceLock::Taken ? 'y' : 'n';
        [[maybe_unused]] const ssize_t written = ::write(ready[1], &taken, 1);
        ::pause();
        ::_exit(0);
    }
    ::close(ready[1]);
    char taken = 0;
    ASSERT_EQ(::read(ready[0], &taken, 1), 1);
    ::close(ready[0]);
    ASSERT_EQ(taken, 'y');

    TInstanceLock lock(file);
    EXPECT_EQ(lock.Take(), TInstanceLock::Held);
    EXPECT_EQ(TInstanceLock::Holder(file), child);
    // Killed, not ended: the kernel frees the lock all the same.
    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    EXPECT_EQ(TInstanceLock::Holder(file), 0);
    EXPECT_EQ(lock.Take(), TInstanceLock::Taken);
    EXPECT_EQ(TInstanceLock::Holder(file), ::getpid());
    // A second lock of this process on the same file is another holder's too.
    TInstanceLock again(file);
    EXPECT_EQ(again.Take(), TInstanceLock::Held);

    // The lock table: a waiter's line and other files do not count.
    const dev_t device = makedev(0xfe, 0x01);
    const std::string table =
        "1: FLOCK  ADVISORY  WRITE 300 fe:00:77 0 EOF\n"
        "1: -> FLOCK  ADVISORY  WRITE 301 fe:01:77 0 EOF\n"
        "2: POSIX  ADVISORY  WRITE 302 fe:01:78 0 EOF\n"
        "3: FLOCK  ADVISORY  WRITE 303 fe:01:77 0 EOF\n";
    EXPECT_EQ(TInstanceLock::HolderIn(table, device, 77), 303);
    EXPECT_EQ(TInstanceLock::HolderIn(table, device, 79), 0);
}

TEST_F(OnlyOneTest, ALaterStartLearnsWhoRunsAndOnlyADesktopStartBringsTheFirstToTheFront)
{
    TOnlyOne first(settings_, "service");
    int fronts = 0;
    first.OnBringToFront = [&] { ++fronts; };
    ASSERT_TRUE(first.Enforce());

    // Asked while this thread, the first instance's own, is blocked in the asking: the answer still comes.
    TOnlyOne service(settings_, "service");
    EXPECT_FALSE(service.Enforce(false));
    EXPECT_EQ(service.Running().mode, "service");
    EXPECT_EQ(service.Running().pid, QCoreApplication::applicationPid());
    EXPECT_EQ(service.RunningText(),
              QStringLiteral("another instance (service, PID %1)").arg(QCoreApplication::applicationPid()));
    EXPECT_TRUE(service.Error().isEmpty());

    TOnlyOne desktop(settings_, "desktop");
    EXPECT_FALSE(desktop.Enforce(true));
    EXPECT_EQ(desktop.Running().mode, "service");
    EXPECT_TRUE(QTest::qWaitFor([&] { return fronts == 1; }, 5000));

    // A third start meets the first again; the others never held the settings.
    TOnlyOne import(dir_ / "registry" / "." / "HKEY_CURRENT_USER.reg", "import");
    EXPECT_FALSE(import.Enforce(false));
    EXPECT_EQ(import.Running().mode, "service");
    QCoreApplication::processEvents();
    EXPECT_EQ(fronts, 1);
}

TEST_F(OnlyOneTest, TheSettingsAreFreeAgainWhenTheFirstEnds)
{
    {
        TOnlyOne first(settings_, "desktop");
        ASSERT_TRUE(first.Enforce());
    }
    EXPECT_EQ(AskStatus(settings_).result, TOnlyOne::TStatusReply::NoneRuns);
    TOnlyOne next(settings_, "service");
    EXPECT_TRUE(next.Enforce(false));
    TOnlyOne other(dir_ / "other" / "HKEY_CURRENT_USER.reg", "service");
    EXPECT_TRUE(other.Enforce(false));
    TOnlyOne unguarded(settings_, "desktop");
    unguarded.EnforceOnlyOne = false;
    EXPECT_TRUE(unguarded.Enforce());
}

TEST_F(OnlyOneTest, ALockHolderThatDoesNotAnswerStillKeepsASecondStartAway)
{
    TInstancePaths paths;
    std::string error;
    ASSERT_TRUE(FindInstancePaths(settings_, true, paths, error)) << error;
    TInstanceLock holder(paths.lock);
    ASSERT_EQ(holder.Take(), TInstanceLock::Taken);

    TOnlyOne second(settings_, "desktop");
    EXPECT_FALSE(second.Enforce(true));
    EXPECT_TRUE(second.Running().mode.isEmpty());
    EXPECT_EQ(second.Running().pid, QCoreApplication::applicationPid());
    const TOnlyOne::TStatusReply status = AskStatus(settings_);
    EXPECT_EQ(status.result, TOnlyOne::TStatusReply::Silent);
    EXPECT_EQ(status.pid, QCoreApplication::applicationPid());
}

TEST_F(OnlyOneTest, ASocketTakenBeforeTheStartNeitherKeepsItAwayNorAnswersForIt)
{
    TInstancePaths paths;
    std::string error;
    ASSERT_TRUE(FindInstancePaths(settings_, true, paths, error)) << error;
    const int squatter = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, paths.socket.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(squatter, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(::listen(squatter, 8), 0);

    TOnlyOne first(settings_, "service");
    ASSERT_TRUE(first.Enforce(false));
    const TOnlyOne::TStatusReply status = AskStatus(settings_);
    EXPECT_EQ(status.result, TOnlyOne::TStatusReply::Answered);
    EXPECT_EQ(status.text.toStdString(), "service " + std::to_string(::getpid()) + "\n");
    ::close(squatter);
}

TEST_F(OnlyOneTest, EachEndBelievesOnlyItsOwnUser)
{
    const uid_t stranger = ::geteuid() + 1;
    const TPeerCheck asStranger = [stranger](int fd, TPeerCredentials& peer) {
        if (!KernelPeerCredentials(fd, peer)) return false;
        peer.uid = stranger;
        return true;
    };
    int fronts = 0;
    {
        TOnlyOne first(settings_, "desktop");
        first.OnBringToFront = [&] { ++fronts; };
        first.OnStatus = [](bool) { return QByteArray("patients and all\n"); };
        ASSERT_TRUE(first.Enforce());
        // The asker finds another user's process answering: it sends nothing and shows nothing.
        TOnlyOne second(settings_, "desktop");
        second.PeerCheck = asStranger;
        EXPECT_FALSE(second.Enforce(true));
        EXPECT_TRUE(second.Running().mode.isEmpty());
        EXPECT_EQ(second.Running().pid, QCoreApplication::applicationPid());
        const TOnlyOne::TStatusReply status = AskStatus(settings_, asStranger);
        EXPECT_EQ(status.result, TOnlyOne::TStatusReply::OtherUser);
        EXPECT_EQ(status.uid, stranger);
        EXPECT_TRUE(status.text.isEmpty());
    }
    {
        // The instance hears another user's process: it says nothing, not even who runs.
        TOnlyOne first(settings_, "desktop");
        first.PeerCheck = asStranger;
        first.OnBringToFront = [&] { ++fronts; };
        std::vector<std::string> log;
        first.OnLog = [&](const std::string& line) { log.push_back(line); };
        ASSERT_TRUE(first.Enforce());
        TOnlyOne second(settings_, "desktop");
        EXPECT_FALSE(second.Enforce(true));
        EXPECT_TRUE(second.Running().mode.isEmpty());
        EXPECT_EQ(AskStatus(settings_).result, TOnlyOne::TStatusReply::Silent);
        QCoreApplication::processEvents();
        ASSERT_EQ(log.size(), 1u);
        EXPECT_NE(log[0].find("refused a process of user " + std::to_string(stranger)), std::string::npos) << log[0];
    }
    EXPECT_EQ(fronts, 0);
}

}  // namespace
}  // namespace halcyra
