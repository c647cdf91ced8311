// The settings of a run that collects from a station on loopback at once: central station 127.0.0.1,
// AutoStart and AutoCreate on, the given interval. Written into the per-user hive of the registry folder.
#pragma once

#include "platform/Registry.h"
#include "settings/SettingsStore.h"

#include <cstdint>
#include <filesystem>

namespace halcyra::test {

inline void WriteCollectingSettings(const std::filesystem::path& registryFolder, std::uint32_t intervalSeconds)
{
    TRegistry registry(registryFolder / "HKEY_CURRENT_USER.reg", registryFolder / "HKEY_LOCAL_MACHINE.reg");
    auto& hive = registry.CurrentUser();
    hive.WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
    hive.WriteDword(kProgramKey, "IsAddress", 1);
    hive.WriteString(kProgramKey, "IPString", "127.0.0.1");
    hive.WriteDword(kProgramKey, "AutoStart", 1);
    hive.WriteDword(kProgramKey, "AutoCreate", 1);
    hive.WriteDword(kProgramKey, "Interval", intervalSeconds);
}

}  // namespace halcyra::test
