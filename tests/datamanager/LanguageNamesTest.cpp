#include "datamanager/DataFolder.h"
#include "datamanager/LanguageNames.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

TEST(LanguageNames, LocaleIdentifiersGiveTheirThreeLetterNames)
{
    struct TCase {
        std::uint32_t id;
        const char* abbreviation;
    };
    for (const TCase& c :
         {TCase{1033, "ENU"}, TCase{2057, "ENG"}, TCase{1031, "DEU"}, TCase{3079, "DEA"}, TCase{1036, "FRA"},
          TCase{1053, "SVE"}, TCase{1030, "DAN"}, TCase{1044, "NOR"}, TCase{1035, "FIN"}, TCase{1043, "NLD"},
          TCase{1040, "ITA"}, TCase{1034, "ESP"}, TCase{3082, "ESN"}, TCase{0, ""}, TCase{9999, ""}}) {
        EXPECT_EQ(LanguageAbbreviation(c.id), c.abbreviation) << c.id;
    }
}

TEST(LanguageNames, ProcessLocaleNamesMapToLocaleIdentifiers)
{
    struct TCase {
        const char* name;
        std::uint32_t id;
    };
    for (const TCase& c :
         {TCase{"de_DE.UTF-8", 1031}, TCase{"de-AT", 3079}, TCase{"de_CH", 2055}, TCase{"de", 1031},
          TCase{"de_BE", 1031}, TCase{"en_GB.UTF-8@euro", 2057}, TCase{"en-US", 1033}, TCase{"en", 1033},
          TCase{"nb_NO", 1044}, TCase{"sv_FI", 2077}, TCase{"es_ES", 3082}, TCase{"zh-Hant-TW", 1028},
          TCase{"FR_fr", 1036}, TCase{"C", 0}, TCase{"POSIX", 0}, TCase{"", 0}, TCase{"xx_YY", 0}}) {
        EXPECT_EQ(LocaleIdFromName(c.name), c.id) << c.name;
    }
}

TEST(LanguageNames, ChangeFileExtReplacesOnlyTheLastExtensionOfTheFileName)
{
    EXPECT_EQ(ChangeFileExt("/usr/bin/halcyra", "DEU"), "/usr/bin/halcyra.DEU");
    EXPECT_EQ(ChangeFileExt("/opt/halcyra.bin", "DEU"), "/opt/halcyra.DEU");
    EXPECT_EQ(ChangeFileExt("/opt/v1.2/halcyra", "ENU"), "/opt/v1.2/halcyra.ENU");
    EXPECT_EQ(ChangeFileExt("halcyra", "ENU"), "halcyra.ENU");
}

TEST(DataFolder, DirectoryPartKeepsRootsAndDropsTheLastName)
{
    struct TCase {
        const char* path;
        const char* directory;
    };
    for (const TCase& c :
         {TCase{"C:\\KVD\\", "C:\\KVD"}, TCase{"E:\\", "E:\\"}, TCase{"D:\\Apps\\KVD", "D:\\Apps"},
          TCase{"C:\\KVD\\DATA\\", "C:\\KVD\\DATA"}, TCase{"C:", "C:"}, TCase{"C:KVD", "C:"},
          TCase{"\\\\server\\", "\\\\server"}, TCase{"\\\\", "\\\\"}, TCase{"KVD", ""}, TCase{"", ""}}) {
        EXPECT_EQ(ExtractFileDir(c.path), c.directory) << c.path;
    }
}

}  // namespace
}  // namespace halcyra
