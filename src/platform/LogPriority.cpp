#include "platform/LogPriority.h"

#include "platform/Text.h"

#include <array>
#include <span>
#include <string>

namespace halcyra {
namespace {

bool StartsWith(std::string_view text, std::string_view prefix)
{
    return text.substr(0, prefix.size()) == prefix;
}

bool ContainsAny(std::string_view text, std::span<const std::string_view> words)
{
    for (const std::string_view word : words)
        if (text.find(word) != std::string_view::npos) return true;
    return false;
}

// "No patient could be created", "No monitor-data file could be opened": a thing that could not be done.
bool SaysNothingCouldBe(std::string_view text)
{
    const std::size_t could = text.find(" could be ");
    if (could == std::string_view::npos) return false;
    const std::string_view before = text.substr(0, could);
    return StartsWith(before, "no ") || before.find(" no ") != std::string_view::npos;
}

// Lower-case words, matched anywhere in the lower-cased message.
constexpr std::array<std::string_view, 8> kFailureWords = {
    "socket error", "checksum error", "unknown error", "unable to", "could not", "cannot", "failed", "not available",
};
// Lines that pass on an exception caught where it happened.
constexpr std::array<std::string_view, 6> kFailurePrefixes = {
    "error", "start up - ", "connect: ", "stop delimiters: ", "iconvisible:= ", "census not saved",
};
constexpr std::array<std::string_view, 18> kWarningWords = {
    "not written",
    "not declared",
    "dropped",
    "ignored",
    "cut ",
    "is kept as",
    "left out",
    "refused",
    "census full",
    "held back",
    "clock set ",
    "missing",
    "skipped",
    "did not answer",
    "does not read",
    "not in relayallowedclients",
    "more than a day",
    "set aside",
};

}  // namespace

TLogPriority LogPriorityOf(std::string_view message)
{
    const std::string lower = LowerAscii(message);
    // A damaged or odd hive file is read as far as it goes, or as empty; the run goes on.
    if (StartsWith(lower, "registry file ")) return TLogPriority::Warning;
    for (const std::string_view prefix : kFailurePrefixes)
        if (StartsWith(lower, prefix)) return TLogPriority::Error;
    if (ContainsAny(lower, kFailureWords) || SaysNothingCouldBe(lower)) return TLogPriority::Error;
    if (ContainsAny(lower, kWarningWords)) return TLogPriority::Warning;
    return TLogPriority::Info;
}

}  // namespace halcyra
