// Finding and loading the translation module for a locale beside a program file.
#include "datamanager/LanguageManager.h"
#include "datamanager/LanguageNames.h"
#include "support/TempDir.h"

#include <QCoreApplication>
#include <QFile>

#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

namespace halcyra {
namespace {

namespace fs = std::filesystem;

QString Translated()
{
    return QCoreApplication::translate("LanguageManagerTest", "Start");
}

// A program folder with a fake executable and the given module files: valid ones are copies of the
// translation built for the tests, the others hold bytes that are no translation.
struct TProgramFolder {
    test::TTempDir dir;

    explicit TProgramFolder(const std::vector<std::string>& valid, const std::vector<std::string>& invalid = {},
                            const std::string& program = "prog")
    {
        Touch(program,
              "\x7f"
              "ELF");
        for (const auto& name : valid) fs::copy_file(TEST_TRANSLATION_FILE, dir / name);
        for (const auto& name : invalid) Touch(name, "not a translation");
        programFile = QString::fromStdString((dir / program).string());
    }
    void Touch(const std::string& name, const char* content) const
    {
        QFile file(QString::fromStdString((dir / name).string()));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
    }
    QString Path(const std::string& name) const { return QString::fromStdString((dir / name).string()); }

    QString programFile;
};

TEST(LanguageManager, FindsTheModuleByExactNameThenByWildcard)
{
    struct TCase {
        const char* name;
        std::vector<std::string> valid;
        std::vector<std::string> invalid;
        std::uint32_t locale;
        const char* expected;  // nullptr: nothing loads
    };
    const std::vector<TCase> cases = {
        {"exact name", {"prog.DEU", "prog.DEA"}, {}, 1031, "prog.DEU"},
        {"other letter case", {"prog.deu"}, {}, 1031, "prog.deu"},
        {"third letter as wildcard", {"prog.DEA"}, {}, 1031, "prog.DEA"},
        {"wildcard for a regional locale", {"prog.DEU"}, {}, 3079, "prog.DEU"},
        {"damaged exact module, wildcard match loads", {"prog.DEC"}, {"prog.DEU"}, 1031, "prog.DEC"},
        {"only a damaged module", {}, {"prog.DEU"}, 1031, nullptr},
        {"other language only", {"prog.FRA", "prog.ENU"}, {}, 1031, nullptr},
        {"first two letters must match", {"prog.DAN"}, {}, 1031, nullptr},
        {"unknown locale", {"prog.DEU"}, {}, 9999, nullptr},
        {"no modules", {}, {}, 1033, nullptr},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TProgramFolder folder(c.valid, c.invalid);
        TLanguageManager manager(folder.programFile);
        const bool loaded = manager.SetLanguage(c.locale);
        EXPECT_EQ(loaded, c.expected != nullptr);
        EXPECT_EQ(manager.LoadedModule(), c.expected ? folder.Path(c.expected) : QString());
        EXPECT_EQ(Translated(), loaded ? "Starten" : "Start");
    }
    EXPECT_EQ(Translated(), "Start");
}

// The installed folder serves whatever the program's own folder lacks or cannot load; a module beside the
// program overrides it, even one matched only by the wildcard.
TEST(LanguageManager, FallsBackToTheInstalledFolder)
{
    struct TCase {
        const char* name;
        std::vector<std::string> besideValid, besideInvalid, installedValid, installedInvalid;
        const char* expected;  // "beside/NAME", "installed/NAME", or nullptr: nothing loads
    };
    const std::vector<TCase> cases = {
        {"installed only", {}, {}, {"prog.DEU"}, {}, "installed/prog.DEU"},
        {"both: beside first", {"prog.DEU"}, {}, {"prog.DEU"}, {}, "beside/prog.DEU"},
        {"beside wildcard before installed exact", {"prog.DEA"}, {}, {"prog.DEU"}, {}, "beside/prog.DEA"},
        {"damaged beside, installed loads", {}, {"prog.DEU"}, {"prog.DEU"}, {}, "installed/prog.DEU"},
        {"other language beside, installed loads", {"prog.FRA"}, {}, {"prog.deu"}, {}, "installed/prog.deu"},
        {"installed wildcard", {}, {}, {"prog.DEC"}, {"prog.DEU"}, "installed/prog.DEC"},
        {"installed: other language or program", {}, {}, {"prog.FRA", "other.DEU"}, {}, nullptr},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TProgramFolder beside(c.besideValid, c.besideInvalid);
        TProgramFolder installed(c.installedValid, c.installedInvalid, "unused");
        TLanguageManager manager(beside.programFile, installed.Path(""));
        const bool loaded = manager.SetLanguage(1031);
        EXPECT_EQ(loaded, c.expected != nullptr);
        QString expected;
        if (c.expected) {
            const std::string where = c.expected;
            const std::string name = where.substr(where.find('/') + 1);
            expected = where.starts_with("beside/") ? beside.Path(name) : installed.Path(name);
        }
        EXPECT_EQ(manager.LoadedModule().toStdString(), expected.toStdString());
        EXPECT_EQ(Translated(), loaded ? "Starten" : "Start");
    }
}

TEST(LanguageManager, InstalledFolderThatIsMissingOrTheProgramsOwnAddsNothing)
{
    TProgramFolder folder({"prog.DEU"});
    const std::string own = folder.Path("prog.DEU").toStdString();
    for (const QString& installed : {folder.Path(""), folder.Path("absent"), QString()}) {
        SCOPED_TRACE(installed.toStdString());
        EXPECT_EQ(TLanguageManager(folder.programFile, installed).CandidateModules(1031).join('|').toStdString(), own);
    }
}

TEST(LanguageManager, ModuleIsNamedAfterTheProgramWithoutItsExtension)
{
    TProgramFolder folder({"prog.DEU"}, {}, "prog.bin");
    TLanguageManager manager(folder.programFile);
    EXPECT_TRUE(manager.SetLanguage(1031));
    EXPECT_EQ(manager.LoadedModule(), folder.Path("prog.DEU"));
}

TEST(LanguageManager, FailedSwitchKeepsTheLoadedModuleAndDestructionRemovesIt)
{
    TProgramFolder folder({"prog.DEU"});
    {
        TLanguageManager manager(folder.programFile);
        ASSERT_TRUE(manager.SetLanguage(1031));
        EXPECT_FALSE(manager.SetLanguage(1036));
        EXPECT_EQ(manager.LoadedModule(), folder.Path("prog.DEU"));
        EXPECT_EQ(Translated(), "Starten");
        // Switching to the same module again replaces, not stacks, the translator.
        ASSERT_TRUE(manager.SetLanguage(1031));
        EXPECT_EQ(Translated(), "Starten");
    }
    EXPECT_EQ(Translated(), "Start");
}

TEST(LanguageManager, LanguageSettingIsReadWithoutCreatingTheKey)
{
    test::TTempDir dir;
    TRegistryHive hive(dir / "HKEY_CURRENT_USER.reg", THive::CurrentUser);
    EXPECT_EQ(TLanguageManager::GetLanguage(hive, 1033), 1033u);
    EXPECT_FALSE(hive.KeyExists("Software\\Tovarin\\Velgard"));

    hive.WriteDword("\\Software\\Tovarin\\Velgard\\2.0\\General", "Language", 1031);
    EXPECT_EQ(TLanguageManager::GetLanguage(hive, 1033), 1031u);
    // Another type is no locale identifier.
    hive.WriteString("\\Software\\Tovarin\\Velgard\\2.0\\General", "Language", "1031");
    EXPECT_EQ(TLanguageManager::GetLanguage(hive, 1053), 1053u);
}

TEST(LanguageManager, SystemDefaultIsAKnownLocale)
{
    EXPECT_FALSE(LanguageAbbreviation(TLanguageManager::SystemDefaultLocale()).empty());
}

}  // namespace
}  // namespace halcyra
