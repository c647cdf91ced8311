// Windows paths on arbitrary text: a path is either refused or mapped to a host path below its drive
// root that no ".." can lead out of.
#include "platform/Drives.h"

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

namespace {

// A prefix with a few folders, removed when the process ends.
struct TPrefix {
    std::filesystem::path dir;
    TPrefix()
    {
        std::string pattern = (std::filesystem::temp_directory_path() / "halcyra-drives-fuzz-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        dir = pattern;
        std::filesystem::create_directories(dir / "drive_c" / "KVD" / "Data");
    }
    ~TPrefix()
    {
        std::error_code ignored;
        std::filesystem::remove_all(dir, ignored);
    }
};

const halcyra::TDriveMapping& Mapping()
{
    static const TPrefix prefix;
    static const halcyra::TDriveMapping mapping(prefix.dir);
    return mapping;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view path(reinterpret_cast<const char*>(data), size);
    std::filesystem::path host;
    try {
        host = Mapping().ToHost(path);
    } catch (const halcyra::EPathError&) {
        return 0;
    }
    const std::filesystem::path root = Mapping().DriveRoot(path[0]);
    auto part = host.begin();
    for (auto rootPart = root.begin(); rootPart != root.end(); ++rootPart, ++part)
        if (part == host.end() || *part != *rootPart) std::abort();
    for (; part != host.end(); ++part)
        if (*part == ".." || *part == "." || part->empty()) std::abort();
    return 0;
}
