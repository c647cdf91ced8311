// Under the German module, no text the nurse sees stays English: the window is driven through its states
// twice, in English and in German, and every visible text that comes out the same in both must be data.
#include "FormFixture.h"

#include "app/CollectStatus.h"
#include "app/PatientStatusBoard.h"
#include "app/ShownText.h"
#include "datamanager/DBusQuarzelAutoObject.h"
#include "datamanager/LanguageManager.h"
#include "hl7/CensusListView.h"
#include "hl7/CentralStationReader.h"
#include "hl7/MessageHandler.h"
#include "params/SelectParams.h"
#include "params/SetCollectInterval.h"
#include "settings/SettingsStore.h"
#include "ui/FileVersionScanner.h"
#include "ui/IPUnit.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QRegularExpression>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <map>
#include <string>

namespace halcyra {
namespace {

using test::TFormFixture;
using TTexts = std::map<std::string, QString>;

// Where a widget sits, by the object names from its window down; unnamed ones by their class.
std::string PathOf(const QObject* object)
{
    std::string path;
    for (; object != nullptr; object = object->parent()) {
        const QString name = object->objectName().isEmpty() ? object->metaObject()->className() : object->objectName();
        path = name.toStdString() + (path.empty() ? "" : "/" + path);
    }
    return path;
}

void Add(TTexts& texts, const std::string& key, const QString& text)
{
    if (text.trimmed().isEmpty()) return;
    std::string unique = key;
    for (int n = 2; texts.count(unique) != 0; ++n) unique = key + "#" + std::to_string(n);
    texts[unique] = text;
}

// Every text shown by `root` and its visible widgets and windows: titles, labels, buttons, group boxes,
// tool tips, the grid's cells and headers, the patient list's rows with their status and warning, and the
// entries of the menus.
void CollectTexts(const QWidget& root, const std::string& state, TTexts& texts)
{
    QList<const QWidget*> widgets{&root};
    for (const QWidget* w : root.findChildren<QWidget*>()) widgets << w;
    for (const QWidget* w : widgets) {
        const std::string key = state + ": " + PathOf(w);
        if (const auto* menu = qobject_cast<const QMenu*>(w)) {
            for (const QAction* action : menu->actions()) Add(texts, key + " action", action->text());
            continue;
        }
        if (!w->isVisible()) continue;
        if (w->isWindow()) Add(texts, key + " title", w->windowTitle());
        Add(texts, key + " tooltip", w->toolTip());
        if (const auto* label = qobject_cast<const QLabel*>(w)) Add(texts, key, label->text());
        if (const auto* button = qobject_cast<const QAbstractButton*>(w)) Add(texts, key, button->text());
        if (const auto* box = qobject_cast<const QGroupBox*>(w)) Add(texts, key, box->title());
        if (const auto* table = qobject_cast<const QTableWidget*>(w)) {
            for (int c = 0; c < table->columnCount(); ++c) {
                if (const QTableWidgetItem* h = table->horizontalHeaderItem(c);
                    h && table->horizontalHeader()->isVisible())
                    Add(texts, key + " header", h->text());
                for (int r = 0; r < table->rowCount(); ++r)
                    if (const QTableWidgetItem* item = table->item(r, c)) Add(texts, key + " cell", item->text());
            }
        }
        if (const auto* list = qobject_cast<const QListWidget*>(w)) {
            for (int r = 0; r < list->count(); ++r) {
                const QListWidgetItem* item = list->item(r);
                const std::string row = key + " row " + std::to_string(r);
                Add(texts, row, item->text());
                Add(texts, row + " tooltip", item->toolTip());
                Add(texts, row + " status", item->data(TCensusListView::kStatusRole).toString());
                Add(texts, row + " warning", item->data(TCensusListView::kProblemRole).toString());
            }
        }
    }
}

// Words that read the same in both languages: the data this test feeds (patient, label, unit) and the
// words German takes over.
bool IsData(QString text)
{
    static const char* const kSame[] = {"Jane", "Doe", "HR", "bpm", "OK", "Start", "Server", "Median", "Autostart"};
    for (const char* word : kSame)
        text.remove(QRegularExpression(QStringLiteral("(?<![A-Za-z])") + QRegularExpression::escape(word) +
                                       QStringLiteral("(?![A-Za-z])")));
    return !text.contains(QRegularExpression(QStringLiteral("[A-Za-z]")));
}

// The window through its states, from start-up to a dropped connection; the texts of each state are
// collected, with the dialogs it opens and the tray icon's tip.
TTexts DriveTheWindow(bool german)
{
    TFormFixture f;
    f.registry.CurrentUser().WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
    f.registry.CurrentUser().WriteDword(kProgramKey, "AutoCreate", 1);
    f.registry.CurrentUser().WriteDword("Software\\Tovarin\\Velgard\\2.0\\General", "Language", german ? 1031 : 1033);
    TLanguageManager language(QString::fromUtf8(HALCYRA_EXE));
    EXPECT_EQ(language.SetLanguage(TLanguageManager::GetLanguage(f.registry.CurrentUser())), german);

    TTexts texts;
    auto& form = f.Create();
    form.resize(860, 600);
    form.show();
    const auto snap = [&](const std::string& state) {
        CollectTexts(form, state, texts);
        Add(texts, state + ": tray", form.TaskbarIconControler1->Hint());
    };
    const auto tick = [&](double seconds) {
        f.clock.AdvanceSeconds(seconds);
        form.Timer1Timer();
    };
    const auto message = [&](const std::string& version, const std::string& hr, const std::string& id = "4711") {
        form.Engine().Cycle().CompleteMessageReceived();
        const std::string stamp = FormatCompactStamp(f.clock.Now());
        form.Engine().Messages().DecodeMessage({"MSH|^~\\&|CS|WARD|||" + stamp + "||ORU^R01|1|P|" + version,
                                                "PID|1||" + id + "||Doe^Jane", "OBR|1|||MON|||" + stamp,
                                                "OBX|1|NM|0002-4182^HR^MDIL||" + hr + "|bpm"});
    };
    snap("not connected");

    tick(1);  // opens the socket
    snap("connecting");
    f.centralStation->errorText = "Connection refused";
    f.centralStation->events.error(10061);
    snap("refused");

    f.centralStation->Connect();
    snap("connected");
    message("2.3", "70");  // a new patient: created, and announced in its own window
    tick(0.5);
    snap("new patient");

    form.findChild<QAbstractButton*>("btnStart")->click();
    const auto at = [&](int second) {
        f.clock.Set(EncodeDateTime(2024, 5, 6, 7, 8, second));
        form.Timer1Timer();
    };
    at(20);
    message("2.3", "71");
    at(21);
    snap("collecting");
    at(30);
    message("2.3", "");
    at(31);
    snap("empty value");
    message("2.3", "--");
    at(32);
    snap("not a number");
    at(40);
    // A file where the folder of a new patient should be: it cannot be created.
    f.files.WriteFileAtomic("C:\\KVD\\DATA\\4712", "not a folder");
    message("2.3", "75", "4712");
    at(41);
    // Ticked again by hand, the row's hint says why it takes no values.
    QListWidgetItem* blocked = form.findChild<QListWidget*>("CBListPatients")->item(2);
    blocked->setCheckState(Qt::Unchecked);
    blocked->setCheckState(Qt::Checked);
    at(42);
    snap("folder blocked");

    message("2.5", "74");
    tick(0);
    snap("bad version");
    tick(20);
    snap("connection lost");
    f.centralStation->Close();
    tick(0);
    snap("disconnected");

    TfrmSetCollectInterval interval(
        form.Engine().Settings(), [](const std::string&) {}, 10, false, 3, &form);
    interval.show();
    CollectTexts(interval, "interval dialog", texts);
    TfrmSelectParams parameters(form.Engine().Params(), &form);
    parameters.show();
    CollectTexts(parameters, "parameter dialog", texts);
    TfrmHost server(&form);
    server.show();
    CollectTexts(server, "server dialog", texts);
    return texts;
}

TEST(GermanWindow, EveryTextTheNurseSeesIsGerman)
{
    const TTexts english = DriveTheWindow(false);
    const TTexts german = DriveTheWindow(true);
    ASSERT_EQ(english.size(), german.size());
    // The states were reached: their texts are there in English.
    const auto shows = [&](const char* part) {
        for (const auto& [key, text] : english)
            if (text.contains(QString::fromUtf8(part))) return true;
        return false;
    };
    for (const char* part : {"Connected to", "Asynchronous socket error", "Created: 4711", "Collecting Central",
                             "The value of HR was empty", "is not a number", "Bad HL7 Version ID",
                             "Patient ID 4712: no patient could be created", "Disconnected", "New Patient",
                             "Set Collect Interval", "Select Parameters", "Select Data Server"})
        EXPECT_TRUE(shows(part)) << part;

    std::string untranslated;
    for (const auto& [key, text] : german) {
        const auto found = english.find(key);
        ASSERT_NE(found, english.end()) << key;
        // Line by line: a tool tip joins the row's hint and its warning.
        const QStringList lines = text.split(u'\n');
        const QStringList englishLines = found->second.split(u'\n');
        for (qsizetype i = 0; i < lines.size(); ++i)
            if (i < englishLines.size() && lines[i] == englishLines[i] && !IsData(lines[i]))
                untranslated += key + ": " + lines[i].toStdString() + "\n";
    }
    EXPECT_EQ(untranslated, "");
}

// The core's texts as it words them, shown through the table: each sentence with its parts in place, a
// reason inside a sentence translated too, and a text the table does not know left as it is.
TEST(GermanWindow, TheCoresTextsAreShownInGermanAndTheLogKeepsThemEnglish)
{
    TFormFixture f;
    f.registry.CurrentUser().WriteDword(kProgramKey, "EnableLogfile", 1);
    TLanguageManager language(QString::fromUtf8(HALCYRA_EXE));
    ASSERT_TRUE(language.SetLanguage(1031));

    // Every sentence of the table is in the module.
    for (const QString& source : ShownTextSources())
        EXPECT_NE(QCoreApplication::translate(kShownTextContext, source.toUtf8().constData()), source)
            << source.toStdString();

    const std::string folder = "C:\\KVD\\DATA\\4711\\";
    const std::pair<std::string, const char*> cases[] = {
        {std::string(kBadVersionText) + "2.5", "Falsche HL7-Versionskennung = 2.5"},
        {std::string(kLifetickMissing), "Erwartetes Lebenszeichen fehlt"},
        {std::string(kNoParametersSelected), "Keine Parameter ausgewählt"},
        {std::string(kCollectingHint) + " ( 07:08:10)", "Erfasst Daten der Zentralstation (07:08:10)"},
        {TCentralStationReader::SocketErrorText(10061, "ward:8000", "Connection refused"),
         "Socket-Fehler 10061 (ward:8000: Verbindung abgelehnt)"},
        {TCentralStationReader::SocketErrorText(10049, "", "not an IPv4 address"),
         "Socket-Fehler 10049 (keine IPv4-Adresse)"},
        {"Central Station Data Client (Ver. " + std::string(kUnknownVersion) +
             ") - Connected to  Central Station: ward-server (10.1.2.3)",
         "Zentralstation-Datenclient (Ver. unbekannt) - verbunden mit Zentralstation: ward-server (10.1.2.3)"},
        {kBusClosedCause, "der D-Bus-Sitzungsbus hat die Verbindung geschlossen"},
        // A reason inside the sentence, and a reason inside the reason.
        {folder +
             "Halcyra.pil of patient 4711 is set aside because it is damaged (its series are not numbered in "
             "order); the values go to " +
             folder + "Halcyra1.pil",
         "C:\\KVD\\DATA\\4711\\Halcyra.pil von Patient 4711 wird beiseitegelegt, weil sie beschädigt ist (ihre "
         "Reihen sind nicht fortlaufend nummeriert); die Werte gehen nach C:\\KVD\\DATA\\4711\\Halcyra1.pil"},
        // The longer sentence wins over the shorter one it also matches; the parts move where German puts them.
        {"Could not declare HR and 2 other series in " + folder + "Halcyra.pil: disk full",
         "HR und 2 weitere Reihen konnten in C:\\KVD\\DATA\\4711\\Halcyra.pil nicht angelegt werden: disk full"},
        {"Could not declare HR in F: disk full", "HR konnte in F nicht angelegt werden: disk full"},
        // A part holding a placeholder stays as it is; single-byte text becomes the umlaut it is.
        {"The value of HR \"%2\" is not a number", "Der Wert von HR „%2“ ist keine Zahl"},
        {"Patient ID 4711: no patient could be created in C:\\M\xFCller\\ (the folder could not be made)",
         "Patienten-ID 4711: in C:\\Müller\\ konnte kein Patient angelegt werden (der Ordner konnte nicht angelegt "
         "werden)"},
        {"Something the table does not know", "Something the table does not know"},
        {"Disconnected.", "Disconnected."},
    };
    for (const auto& [core, german] : cases) EXPECT_EQ(ShownText(core).toStdString(), german) << core;

    // The status board words the wait for the clock itself.
    TPatientStatusBoard board(f.clock);
    board.ValuesHeldBack("4711", EncodeDateTime(2024, 5, 6, 7, 8, 40));
    EXPECT_EQ(ShownText(board.Find("4711")->problem).toStdString(),
              "Werte warten, bis die Uhr 07:08:40 überschreitet: die Datei enthält spätere Werte (die Uhr wurde "
              "zurückgestellt)");

    // The window shows the warning in German; the log keeps the core's English line.
    auto& form = f.Create();
    form.ApplicationException(std::string(kNoParametersSelected));
    EXPECT_EQ(test::Widget<QLabel>(form, "LabelConnected")->text(), "Keine Parameter ausgewählt");
    ASSERT_FALSE(form.Engine().Log().Lines().empty());
    EXPECT_TRUE(form.Engine().Log().Lines().back().ends_with(": No parameters selected"))
        << form.Engine().Log().Lines().back();
}

}  // namespace
}  // namespace halcyra
