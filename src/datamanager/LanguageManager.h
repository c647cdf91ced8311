// The user-interface language follows the data manager's "Language" setting (a Windows locale
// identifier). Translations are Qt translation files named after the program file with the language's
// three-letter name as extension ("halcyra.DEU"), beside the executable (a build, or a copy put there to
// override) or else in the installation's data folder (<prefix>/share/halcyra). The build makes the German
// one from translations/halcyra_de.ts; when none loads, the built-in texts stay.
#pragma once

#include "platform/Registry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class QTranslator;

namespace halcyra {

inline constexpr std::string_view kVelgardLanguageKey = "Software\\Tovarin\\Velgard\\2.0\\General";
inline constexpr std::string_view kVelgardLanguageValue = "Language";

class TLanguageManager {
public:
    // programFile: the executable whose name the translation modules share; empty means this program.
    // installedFolder: searched after the program's own folder; empty means none.
    explicit TLanguageManager(QString programFile = {}, QString installedFolder = InstalledModuleFolder());
    ~TLanguageManager();
    TLanguageManager(const TLanguageManager&) = delete;
    TLanguageManager& operator=(const TLanguageManager&) = delete;

    // The locale identifier of the process locale (LANGUAGE, LC_ALL, LC_MESSAGES, LANG), 1033 when it
    // names no known language.
    static std::uint32_t SystemDefaultLocale();

    // "Language" under the data manager's General key in the per-user hive, read without creating the
    // key; defaultLocale when it is missing or unreadable.
    static std::uint32_t GetLanguage(TRegistryHive& currentUser, std::uint32_t defaultLocale);
    static std::uint32_t GetLanguage(TRegistryHive& currentUser)
    {
        return GetLanguage(currentUser, SystemDefaultLocale());
    }

    // The data folder of the installation the program was built for.
    static QString InstalledModuleFolder();

    // The candidate module files for a locale, in the order they are tried: in the program's folder, then
    // in the installed folder, each time the exact name, then the names matching it with the third letter
    // of the extension as a wildcard. Names match without regard to ASCII case, as on the data manager's
    // own system.
    QStringList CandidateModules(std::uint32_t locale) const;

    // Loads the first candidate that is a valid translation file and makes it the source of every
    // translated text (replacing a previously loaded one; existing widgets receive a LanguageChange
    // event). True when a module was loaded; otherwise nothing changes.
    bool SetLanguage(std::uint32_t locale);

    // The file of the module in use, empty when none.
    QString LoadedModule() const { return loadedFile_; }

private:
    QString programFile_;
    QString installedFolder_;
    std::unique_ptr<QTranslator> translator_;
    QByteArray data_;  // the translator reads from this buffer for as long as it is installed
    QString loadedFile_;
};

}  // namespace halcyra
