#include "support/TempDir.h"
#include "ui/FileVersionScanner.h"

#include <gtest/gtest.h>

#include <fstream>

namespace halcyra {
namespace {

TEST(FileVersionScanner, ReadsTheBlockOfThisProgram)
{
    EXPECT_EQ(TFileVersionScanner::GetVersion(), HALCYRA_VERSION);
    EXPECT_EQ(TFileVersionScanner::GetFileVersionString("/proc/self/exe", "040704B0"), kUnknownVersion);
}

TEST(FileVersionScanner, FilesWithoutVersionAreUnknown)
{
    test::TTempDir dir;
    std::ofstream(dir / "text") << "not an executable";
    std::ofstream(dir / "elf") << std::string(
                                      "\x7f"
                                      "ELF\x02\x01\x01",
                                      7)
                               << std::string(200, '\xff');
    for (const auto& name : {"text", "elf", "missing"})
        EXPECT_EQ(TFileVersionScanner::GetFileVersionString((dir / name).string(), "040904E4"), kUnknownVersion)
            << name;
    EXPECT_EQ(TFileVersionScanner::GetFileVersionString("/bin/sh", "040904E4"), kUnknownVersion);
}

}  // namespace
}  // namespace halcyra
