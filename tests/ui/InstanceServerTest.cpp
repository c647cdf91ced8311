// The instance socket's rules where they live: who is served, how many at once and for how long, and that
// the socket comes back whatever closed it. The peer's user is injected; time passes on a manual clock.
#include "ui/InstanceServer.h"

#include "support/TempDir.h"

#include <QCoreApplication>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

// An asker's end, connected before the server takes it.
class TClient {
public:
    explicit TClient(const fs::path& socket)
    {
        fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, socket.c_str(), sizeof address.sun_path - 1);
        connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~TClient() { ::close(fd_); }
    TClient(const TClient&) = delete;
    TClient& operator=(const TClient&) = delete;

    bool Connected() const { return connected_; }
    void Send(const std::string& text) { ASSERT_EQ(::send(fd_, text.data(), text.size(), MSG_NOSIGNAL), text.size()); }
    // What the server wrote before it closed the connection; nothing when it keeps it open meanwhile.
    std::optional<std::string> ReadToEnd(int ms = 5000)
    {
        std::string text;
        bool closed = false;
        (void)QTest::qWaitFor(
            [&] {
                char buffer[256];
                for (;;) {
                    const ssize_t got = ::recv(fd_, buffer, sizeof buffer, 0);
                    if (got > 0) {
                        text.append(buffer, static_cast<std::size_t>(got));
                        continue;
                    }
                    closed = got == 0 || errno == ECONNRESET;
                    return closed;
                }
            },
            ms);
        if (!closed) return std::nullopt;
        return text;
    }
    bool StillOpen() { return !ReadToEnd(50).has_value(); }

private:
    int fd_ = -1;
    bool connected_ = false;
};

class InstanceServerTest : public ::testing::Test {
protected:
    void Make(TInstanceServer::TLimits limits = {})
    {
        limits.tickMs = 0;
        server_ = std::make_unique<TInstanceServer>(
            socket_.string(), clock_,
            [this](int fd, TPeerCredentials& peer) {
                if (!KernelPeerCredentials(fd, peer)) return false;
                peer.uid = peerUid_;
                return true;
            },
            [this](const std::string& line) { log_.push_back(line); }, limits);
        // "status" waits for an answer that comes later; anything else is answered at once.
        server_->OnRequest = [this](quint64 peer, const QByteArray& request) {
            requests_.push_back(request.toStdString());
            if (request != "status") server_->Reply(peer, "answer to " + request + "\n");
        };
    }

    // The server takes what has come.
    static void Settle()
    {
        for (int i = 0; i < 3; ++i) QCoreApplication::processEvents();
    }

    test::TTempDir dir_;
    fs::path socket_ = dir_ / "instance.socket";
    TManualClock clock_;
    uid_t peerUid_ = ::geteuid();
    std::vector<std::string> log_;
    std::vector<std::string> requests_;
    std::unique_ptr<TInstanceServer> server_;
};

TEST_F(InstanceServerTest, ServesItsOwnUserOnlyAndHearsOneShortLine)
{
    Make();
    ASSERT_TRUE(server_->Open());
    EXPECT_EQ(fs::status(socket_).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
    struct TCase {
        const char* what;
        uid_t uid;
        std::vector<std::string> sent;
        std::string answer;
    };
    const uid_t own = ::geteuid();
    for (const TCase& c : std::vector<TCase>{
             {"a line", own, {"who\n"}, "answer to who\n"},
             {"a line in pieces", own, {"wh", "o\r", "\n"}, "answer to who\n"},
             {"another user, asking", own + 1, {"who\n"}, ""},
             {"another user, silent", own + 1, {}, ""},
             {"too long a line", own, {std::string(65, 'x')}, ""},
         }) {
        SCOPED_TRACE(c.what);
        peerUid_ = c.uid;
        requests_.clear();
        TClient client(socket_);
        ASSERT_TRUE(client.Connected());
        for (const std::string& piece : c.sent) {
            client.Send(piece);
            Settle();
        }
        EXPECT_EQ(client.ReadToEnd(), c.answer);
        EXPECT_EQ(requests_.size(), c.answer.empty() ? 0u : 1u);
        EXPECT_EQ(server_->Peers(), 0);
    }
    // Another user is logged once, however often it comes.
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_NE(log_[0].find("user " + std::to_string(own + 1)), std::string::npos) << log_[0];
}

TEST_F(InstanceServerTest, KeepsAFewPeersForAShortWhileAndClosesFurtherOnesAtOnce)
{
    Make();
    ASSERT_TRUE(server_->Open());
    std::vector<std::unique_ptr<TClient>> silent;
    for (int i = 0; i < 16; ++i) silent.push_back(std::make_unique<TClient>(socket_));
    Settle();
    EXPECT_EQ(server_->Peers(), 16);
    TClient further(socket_);
    EXPECT_EQ(further.ReadToEnd(), "");
    EXPECT_EQ(server_->Peers(), 16);

    // One asked and waits for a status being built: its request came in time, so it stays longer.
    silent.pop_back();
    Settle();
    TClient waiting(socket_);
    waiting.Send("status\n");
    Settle();
    ASSERT_EQ(requests_, std::vector<std::string>{"status"});

    clock_.AdvanceSeconds(1.9);
    server_->Tick();
    EXPECT_EQ(server_->Peers(), 16);
    EXPECT_TRUE(silent.front()->StillOpen());
    clock_.AdvanceSeconds(0.1);
    server_->Tick();
    EXPECT_EQ(server_->Peers(), 1);
    for (const auto& client : silent) EXPECT_EQ(client->ReadToEnd(), "");
    EXPECT_TRUE(waiting.StillOpen());
    TClient next(socket_);
    next.Send("who\n");
    EXPECT_EQ(next.ReadToEnd(), "answer to who\n");

    clock_.AdvanceSeconds(13);
    server_->Tick();
    EXPECT_EQ(waiting.ReadToEnd(), "");
    EXPECT_EQ(server_->Peers(), 0);
    EXPECT_TRUE(log_.empty());
}

TEST_F(InstanceServerTest, ComesBackOnTheNextTickWhenItsSocketGoesOrCannotBeMade)
{
    socket_ = dir_ / "not-yet" / "instance.socket";
    Make();
    EXPECT_FALSE(server_->Open());
    server_->Tick();
    server_->Tick();
    EXPECT_FALSE(server_->Listening());
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_NE(log_[0].find("No such file or directory"), std::string::npos) << log_[0];

    fs::create_directory(dir_ / "not-yet");
    server_->Tick();
    ASSERT_TRUE(server_->Listening());
    ASSERT_EQ(log_.size(), 2u);
    EXPECT_NE(log_[1].find("takes requests again"), std::string::npos) << log_[1];

    // The file removed (a clean-up of the runtime folder) or replaced: made again.
    for (const bool replace : {false, true}) {
        log_.clear();
        fs::remove(socket_);
        if (replace) std::ofstream(socket_) << "not a socket";
        server_->Tick();
        ASSERT_TRUE(server_->Listening());
        ASSERT_EQ(log_.size(), 2u);
        EXPECT_NE(log_[0].find("is gone"), std::string::npos) << log_[0];
        TClient client(socket_);
        client.Send("who\n");
        EXPECT_EQ(client.ReadToEnd(), "answer to who\n");
    }
    // Its own file goes with it.
    server_.reset();
    EXPECT_FALSE(fs::exists(socket_));
}

TEST_F(InstanceServerTest, ADescriptorShortageIsLoggedOnceWithItsCauseAndCostsNoAsker)
{
    Make();
    ASSERT_TRUE(server_->Open());
    std::vector<std::unique_ptr<TClient>> askers;
    for (int i = 0; i < 3; ++i) askers.push_back(std::make_unique<TClient>(socket_));

    // A sanitizer build checks the first call through each object's type with a look at the process's memory
    // map, which takes a descriptor: the tick's calls come once before the shortage.
    server_->Tick();
    // Every descriptor taken: the askers wait in the backlog.
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &old), 0);
    rlimit low = old;
    low.rlim_cur = std::min<rlim_t>(old.rlim_cur, 512);
    ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
    std::vector<int> filler;
    for (int fd; (fd = ::fcntl(0, F_DUPFD_CLOEXEC, 0)) >= 0;) filler.push_back(fd);
    Settle();
    Settle();
    server_->Tick();
    const int peersMeanwhile = server_->Peers();
    for (const int fd : filler) ::close(fd);
    ::setrlimit(RLIMIT_NOFILE, &old);
    EXPECT_EQ(peersMeanwhile, 0);
    ASSERT_EQ(log_.size(), 1u);
    EXPECT_NE(log_[0].find("Too many open files"), std::string::npos) << log_[0];

    server_->Tick();
    Settle();
    for (const auto& asker : askers) {
        asker->Send("who\n");
        EXPECT_EQ(asker->ReadToEnd(), "answer to who\n");
    }
    ASSERT_EQ(log_.size(), 2u);
    EXPECT_NE(log_[1].find("takes requests again"), std::string::npos) << log_[1];
}

}  // namespace
}  // namespace halcyra
