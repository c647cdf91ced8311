#include "app/JournalStream.h"

#include "platform/Text.h"

#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <string_view>

#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {
namespace {

template <typename T>
bool ParseWhole(std::string_view text, T& value)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool IsJournalStream(const char* journalStream, int fd)
{
    if (journalStream == nullptr) return false;
    const std::string_view text(journalStream);
    const std::size_t colon = text.find(':');
    if (colon == std::string_view::npos) return false;
    unsigned long long device = 0;
    unsigned long long inode = 0;
    if (!ParseWhole(text.substr(0, colon), device) || !ParseWhole(text.substr(colon + 1), inode)) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0) return false;
    return static_cast<unsigned long long>(st.st_dev) == device && static_cast<unsigned long long>(st.st_ino) == inode;
}

std::string MirroredLine(const TLogEntry& entry, bool journal)
{
    if (!journal) return Win1252ToUtf8(entry.line);
    return "<" + std::to_string(static_cast<int>(entry.priority)) + ">" + Win1252ToUtf8(entry.message);
}

std::function<void(const TLogEntry&)> StandardErrorLogMirror()
{
    const bool journal = IsJournalStream(std::getenv("JOURNAL_STREAM"), STDERR_FILENO);
    return [journal](const TLogEntry& entry) { std::fprintf(stderr, "%s\n", MirroredLine(entry, journal).c_str()); };
}

}  // namespace halcyra
