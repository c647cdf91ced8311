#include "app/Locations.h"

#include "platform/Drives.h"

#include <cstdlib>

namespace halcyra {
namespace {

std::string Env(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr ? std::string(value) : std::string();
}

std::filesystem::path XdgDir(const char* variable, const char* fallbackUnderHome)
{
    const std::string value = Env(variable);
    if (!value.empty()) return value;
    const std::string home = Env("HOME");
    return std::filesystem::path(home.empty() ? "/tmp" : home) / fallbackUnderHome;
}

}  // namespace

TLocations ResolveLocations(const std::optional<std::string>& registryDir, const std::optional<std::string>& prefix)
{
    TLocations result;
    std::string registry = registryDir.value_or(Env("HALCYRA_REGISTRY"));
    if (!registry.empty()) {
        result.currentUserHive = std::filesystem::path(registry) / "HKEY_CURRENT_USER.reg";
        result.localMachineHive = std::filesystem::path(registry) / "HKEY_LOCAL_MACHINE.reg";
    } else {
        result.currentUserHive = XdgDir("XDG_CONFIG_HOME", ".config") / "halcyra" / "HKEY_CURRENT_USER.reg";
        result.localMachineHive = "/etc/halcyra/HKEY_LOCAL_MACHINE.reg";
    }
    result.prefix = TDriveMapping::DefaultPrefix(prefix.value_or(std::string()));
    return result;
}

}  // namespace halcyra
