#include "datamanager/LanguageManager.h"

#include "datamanager/LanguageNames.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QTranslator>

#include <exception>

namespace halcyra {

TLanguageManager::TLanguageManager(QString programFile, QString installedFolder)
    : programFile_(std::move(programFile)), installedFolder_(std::move(installedFolder))
{
    if (programFile_.isEmpty()) programFile_ = QCoreApplication::applicationFilePath();
}

QString TLanguageManager::InstalledModuleFolder()
{
    return QStringLiteral(HALCYRA_MODULE_DIR);
}

TLanguageManager::~TLanguageManager()
{
    if (translator_) QCoreApplication::removeTranslator(translator_.get());
}

std::uint32_t TLanguageManager::SystemDefaultLocale()
{
    for (const QString& name : QLocale::system().uiLanguages()) {
        if (const std::uint32_t id = LocaleIdFromName(name.toStdString()); id != 0) return id;
    }
    return kLocaleEnglishUs;
}

std::uint32_t TLanguageManager::GetLanguage(TRegistryHive& currentUser, std::uint32_t defaultLocale)
{
    try {
        if (currentUser.GetDataType(kVelgardLanguageKey, kVelgardLanguageValue) == TRegDataType::Dword) {
            return currentUser.ReadDword(kVelgardLanguageKey, kVelgardLanguageValue);
        }
    } catch (const std::exception&) {
        // An unreadable setting means the default, as a missing one does.
    }
    return defaultLocale;
}

QStringList TLanguageManager::CandidateModules(std::uint32_t locale) const
{
    const std::string abbreviation = LanguageAbbreviation(locale);
    if (abbreviation.empty()) return {};
    const QFileInfo program(programFile_);
    const QString exactName = QString::fromStdString(ChangeFileExt(program.fileName().toStdString(), abbreviation));
    // Third letter replaced by '*': any name that starts with the first two letters of the extension.
    const QString stem = exactName.left(exactName.size() - 1);

    QStringList candidates;
    // The program's own folder comes first, whatever the other holds: a module copied beside the program
    // overrides the installed one.
    auto addFrom = [&](const QDir& folder) {
        const QStringList entries = folder.entryList(QDir::Files | QDir::Hidden, QDir::Name);
        auto add = [&](const QString& name) {
            const QString path = QDir::cleanPath(folder.absoluteFilePath(name));
            if (!candidates.contains(path)) candidates << path;
        };
        if (entries.contains(exactName)) add(exactName);
        for (const QString& entry : entries) {
            if (entry.compare(exactName, Qt::CaseInsensitive) == 0) add(entry);
        }
        for (const QString& entry : entries) {
            if (entry.startsWith(stem, Qt::CaseInsensitive)) add(entry);
        }
    };
    addFrom(program.absoluteDir());
    if (!installedFolder_.isEmpty()) addFrom(QDir(installedFolder_));
    return candidates;
}

bool TLanguageManager::SetLanguage(std::uint32_t locale)
{
    for (const QString& path : CandidateModules(locale)) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) continue;
        auto data = file.readAll();
        auto translator = std::make_unique<QTranslator>();
        if (data.isEmpty() ||
            !translator->load(reinterpret_cast<const uchar*>(data.constData()), static_cast<int>(data.size()))) {
            continue;
        }
        if (translator_) QCoreApplication::removeTranslator(translator_.get());
        translator_ = std::move(translator);
        data_ = std::move(data);
        loadedFile_ = path;
        QCoreApplication::installTranslator(translator_.get());
        return true;
    }
    return false;
}

}  // namespace halcyra
