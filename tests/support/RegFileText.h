// Hive files as another program (the data manager's installer, the Registry Editor) leaves them, for tests
// of values that the registry stand-in never writes itself.
#pragma once

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

namespace halcyra::test {

// `"name"=hex(2):...`: an expandable string (REG_EXPAND_SZ), UTF-16LE with its terminating zero.
inline std::string ExpandStringLine(std::string_view name, std::string_view text)
{
    std::string line = "\"" + std::string(name) + "\"=hex(2):";
    char byte[8];
    for (unsigned char c : text) {
        std::snprintf(byte, sizeof byte, "%02x,00,", c);
        line += byte;
    }
    return line + "00,00";
}

// Writes a hive file holding one key with the given value lines (ASCII text only).
inline void WriteHiveFile(const std::filesystem::path& file, std::string_view root, std::string_view key,
                          std::string_view valueLines)
{
    std::filesystem::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << "Windows Registry Editor Version 5.00\r\n\r\n[" << root << "\\" << key << "]\r\n" << valueLines << "\r\n";
}

}  // namespace halcyra::test
