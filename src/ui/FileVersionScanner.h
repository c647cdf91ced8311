// The version text of a program file, from the version block the build puts into its ".fileversion"
// ELF section as "StringFileInfo\<block>\FileVersion" entries.
#pragma once

#include <string>

namespace halcyra {

inline constexpr const char* kUnknownVersion = "Unknown version";

class TFileVersionScanner {
public:
    // The version of the running program, block "040904E4".
    static std::string GetVersion();
    // "Unknown version" when the file is not ELF, has no version section, or no entry for the block.
    static std::string GetFileVersionString(const std::string& fileName, const std::string& block);
};

}  // namespace halcyra
