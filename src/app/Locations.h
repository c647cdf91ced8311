// Where the registry hives and the drive prefix live: options, then environment, then the defaults.
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace halcyra {

struct TLocations {
    std::filesystem::path currentUserHive;
    std::filesystem::path localMachineHive;
    std::filesystem::path prefix;
};

// registryDir / prefix: the --registry and --prefix options, when given.
TLocations ResolveLocations(const std::optional<std::string>& registryDir, const std::optional<std::string>& prefix);

}  // namespace halcyra
