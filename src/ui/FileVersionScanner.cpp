#include "ui/FileVersionScanner.h"

#include <elf.h>

#include <cstring>
#include <fstream>
#include <vector>

namespace halcyra {
namespace {

constexpr std::size_t kMaxSectionSize = 64 * 1024;

bool ReadAt(std::ifstream& in, std::uint64_t offset, void* buffer, std::size_t size)
{
    in.clear();
    in.seekg(static_cast<std::streamoff>(offset));
    return static_cast<bool>(in.read(static_cast<char*>(buffer), static_cast<std::streamsize>(size)));
}

// The bytes of the named section of a 64-bit little-endian ELF file, or nothing.
std::vector<char> ReadSection(const std::string& fileName, const char* wanted)
{
    std::ifstream in(fileName, std::ios::binary);
    Elf64_Ehdr header{};
    if (!in || !ReadAt(in, 0, &header, sizeof header)) return {};
    if (std::memcmp(header.e_ident, ELFMAG, SELFMAG) != 0 || header.e_ident[EI_CLASS] != ELFCLASS64 ||
        header.e_ident[EI_DATA] != ELFDATA2LSB || header.e_shentsize != sizeof(Elf64_Shdr) ||
        header.e_shstrndx >= header.e_shnum)
        return {};
    std::vector<Elf64_Shdr> sections(header.e_shnum);
    if (!ReadAt(in, header.e_shoff, sections.data(), sections.size() * sizeof(Elf64_Shdr))) return {};
    const Elf64_Shdr& names = sections[header.e_shstrndx];
    if (names.sh_size > kMaxSectionSize * 16) return {};
    std::vector<char> nameTable(names.sh_size + 1, '\0');
    if (!ReadAt(in, names.sh_offset, nameTable.data(), names.sh_size)) return {};
    for (const Elf64_Shdr& s : sections) {
        if (s.sh_name >= names.sh_size || std::strcmp(&nameTable[s.sh_name], wanted) != 0) continue;
        if (s.sh_type == SHT_NOBITS || s.sh_size > kMaxSectionSize) return {};
        std::vector<char> data(s.sh_size);
        if (!ReadAt(in, s.sh_offset, data.data(), data.size())) return {};
        return data;
    }
    return {};
}

}  // namespace

std::string TFileVersionScanner::GetVersion()
{
    return GetFileVersionString("/proc/self/exe", "040904E4");
}

std::string TFileVersionScanner::GetFileVersionString(const std::string& fileName, const std::string& block)
{
    const std::vector<char> section = ReadSection(fileName, ".fileversion");
    const std::string key = "StringFileInfo\\" + block + "\\FileVersion=";
    // Entries are NUL-terminated "key=value" texts.
    std::size_t pos = 0;
    while (pos < section.size()) {
        const char* entry = section.data() + pos;
        const std::size_t length = strnlen(entry, section.size() - pos);
        const std::string text(entry, length);
        if (text.compare(0, key.size(), key) == 0) return text.substr(key.size());
        pos += length + 1;
    }
    return kUnknownVersion;
}

}  // namespace halcyra
