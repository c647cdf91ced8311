// The floor of the program's work, for the central-station benchmark to set beside each figure: the least
// any collector of this stream must do, with nothing of the program in it.
//   floor-collector import CAPTURE DIR   reads a framed capture in 1 MiB pieces
//   floor-collector receive PORT DIR     takes the stream from a central station on 127.0.0.1:PORT
// Both cut the frames (0x0B ... 0x1C 0x0D), take the patient ID (PID-3), the observation time (OBR-7) and
// each value (OBX-5) of every message, and append one 26-byte record per value to the patient's file, kept
// open, at the first message of each patient in each 10-second interval: one append per value the program
// writes. One line on standard output: messages, values appended, CPU time per message.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace {

constexpr std::int64_t kInterval = 10;  // seconds

struct TPatient {
    int fd = -1;
    std::int64_t nextBoundary = 0;
};

std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d)
{
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

// yyyymmddhhmmss as seconds; -1 when shorter.
std::int64_t Seconds(std::string_view t)
{
    if (t.size() < 14) return -1;
    const auto n = [&](std::size_t at, std::size_t len) {
        std::int64_t v = 0;
        for (std::size_t i = at; i < at + len; ++i) v = v * 10 + (t[i] - '0');
        return v;
    };
    return DaysFromCivil(n(0, 4), static_cast<unsigned>(n(4, 2)), static_cast<unsigned>(n(6, 2))) * 86400 +
           n(8, 2) * 3600 + n(10, 2) * 60 + n(12, 2);
}

// Field k (counted from 0 at the segment name) up to its first component.
std::string_view Field(std::string_view segment, int k)
{
    std::size_t pos = 0;
    for (int i = 0; i < k; ++i) {
        pos = segment.find('|', pos);
        if (pos == std::string_view::npos) return {};
        ++pos;
    }
    const std::size_t end = segment.find_first_of("|^", pos);
    return segment.substr(pos, end == std::string_view::npos ? std::string_view::npos : end - pos);
}

class TCollector {
public:
    explicit TCollector(std::string dir) : dir_(std::move(dir)) {}

    // Cuts every complete frame out of the buffer.
    void Feed(const char* bytes, std::size_t size)
    {
        buffer_.append(bytes, size);
        std::size_t pos = 0;
        for (;;) {
            const std::size_t start = buffer_.find('\x0B', pos);
            if (start == std::string::npos) {
                pos = buffer_.size();
                break;
            }
            const std::size_t end = buffer_.find("\x1C\x0D", start);
            if (end == std::string::npos) {
                pos = start;
                break;
            }
            Message(std::string_view(buffer_).substr(start + 1, end - start - 1));
            pos = end + 2;
        }
        buffer_.erase(0, pos);
    }

    void Report() const
    {
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
        std::printf("messages %lld values %lld cpu %.3f s %.2f us/message\n", messages_, values_, cpu,
                    messages_ > 0 ? cpu * 1e6 / static_cast<double>(messages_) : 0.0);
    }

private:
    void Message(std::string_view text)
    {
        ++messages_;
        std::string_view id;
        std::int64_t time = -1;
        observed_.clear();
        std::size_t pos = 0;
        while (pos < text.size()) {
            std::size_t end = text.find_first_of("\r\n", pos);
            if (end == std::string_view::npos) end = text.size();
            const std::string_view segment = text.substr(pos, end - pos);
            pos = end + 1;
            if (segment.size() < 3) continue;
            const std::string_view kind = segment.substr(0, 3);
            if (kind == "PID")
                id = Field(segment, 3);
            else if (kind == "OBR" && time < 0)
                time = Seconds(Field(segment, 7));
            else if (kind == "OBX")
                observed_.push_back(std::strtod(std::string(Field(segment, 5)).c_str(), nullptr));
        }
        if (id.empty() || time < 0) return;
        TPatient& patient = patients_[std::string(id)];
        if (patient.fd < 0) {
            const std::string path = dir_ + "/" + std::string(id);
            patient.fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
            if (patient.fd < 0) {
                std::perror(path.c_str());
                std::exit(1);
            }
        }
        if (time < patient.nextBoundary) return;
        patient.nextBoundary = (time / kInterval + 1) * kInterval;
        for (std::size_t i = 0; i < observed_.size(); ++i) {
            char record[26] = {};
            std::memcpy(record, &time, sizeof time);
            std::memcpy(record + 8, &observed_[i], sizeof(double));
            const std::uint32_t series = static_cast<std::uint32_t>(i);
            std::memcpy(record + 16, &series, sizeof series);
            if (::write(patient.fd, record, sizeof record) != static_cast<ssize_t>(sizeof record)) {
                std::perror("write");
                std::exit(1);
            }
            ++values_;
        }
    }

    std::string dir_;
    std::string buffer_;
    std::unordered_map<std::string, TPatient> patients_;
    std::vector<double> observed_;
    long long messages_ = 0;
    long long values_ = 0;
};

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 4 || (std::strcmp(argv[1], "import") != 0 && std::strcmp(argv[1], "receive") != 0)) {
        std::fprintf(stderr, "usage: floor-collector import CAPTURE DIR | receive PORT DIR\n");
        return 2;
    }
    TCollector collector(argv[3]);
    int fd = -1;
    if (std::strcmp(argv[1], "import") == 0) {
        fd = ::open(argv[2], O_RDONLY | O_CLOEXEC);
    } else {
        fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(argv[2])));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            ::close(fd);
            fd = -1;
        }
    }
    if (fd < 0) {
        std::perror(argv[2]);
        return 1;
    }
    std::vector<char> chunk(1024 * 1024);
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0) {
            std::perror("read");
            return 1;
        }
        if (got == 0) break;
        collector.Feed(chunk.data(), static_cast<std::size_t>(got));
    }
    collector.Report();
    return 0;
}
