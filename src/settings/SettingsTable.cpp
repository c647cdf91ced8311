#include "settings/SettingsTable.h"

#include "platform/Text.h"

namespace halcyra {

std::string DebugFolderInUse(std::string stored)
{
    if (stored.empty()) stored = std::string(setting::DebugFolder.defaultText);
    if (stored.back() != '\\') stored += '\\';
    return stored;
}

std::int32_t LowByte(std::int32_t stored)
{
    return stored & 0xFF;
}

std::int32_t TimerIntervalInUse(std::int32_t stored)
{
    constexpr std::int32_t kShortestPeriod = 10;
    if (stored < 0) return setting::TimerInterval.defaultNumber;
    return stored < kShortestPeriod ? kShortestPeriod : stored;
}

const TSetting* FindSetting(std::string_view name)
{
    for (const TSetting* s : kSettingsTable)
        if (SameTextAscii(s->name, name)) return s;
    return nullptr;
}

}  // namespace halcyra
