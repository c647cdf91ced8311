// The main window's grid, patient list and small handlers, driven as the user and the decoder drive them.
#include "FormFixture.h"

#include "app/PatientGridPane.h"
#include "hl7/CensusListView.h"
#include "settings/SettingsStore.h"
#include "ui/ConnectAnimation.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

namespace halcyra {
namespace {

using test::TFormFixture;
using TValues = std::vector<std::pair<std::string, std::string>>;

QTableWidget* Grid(const TfrmCollectData& form)
{
    return test::Widget<QTableWidget>(form, "StringGrid1");
}
QListWidget* PatientList(const TfrmCollectData& form)
{
    return test::Widget<QListWidget>(form, "CBListPatients");
}
QWidget* Panel(const TfrmCollectData& form)
{
    return test::Widget<QWidget>(form, "Panel1");
}

// One message of patient 4711 with the given label and value per observation, as the window shows it on
// its next tick.
void Receive(TfrmCollectData& form, const TValues& values)
{
    form.Engine().Cycle().CompleteMessageReceived();
    TSegmentList segments = {"MSH|^~\\&|CS|WARD|||20240506070809||ORU^R01|1|P|2.3", "PID|1||4711||Doe^Jane",
                             "OBR|1|||MON|||20240506070809"};
    int n = 0;
    for (const auto& [label, value] : values) {
        ++n;
        segments.push_back("OBX|" + std::to_string(n) + "|NM|0002-" + std::to_string(4000 + n) + "^" + label +
                           "^MDIL||" + value + "|u");
    }
    form.Engine().Messages().DecodeMessage(segments);
    form.ShowRunState();
}

QString Cell(const TfrmCollectData& form, int column, int row)
{
    const QTableWidgetItem* item = Grid(form)->item(row, column);
    return item == nullptr ? QString() : item->text();
}

// Non-empty cells from firstRow down, the marker included.
int FilledValueCells(const TfrmCollectData& form, int firstRow = 1)
{
    int filled = 0;
    for (int column = 0; column < Grid(form)->columnCount(); ++column)
        for (int row = firstRow; row < Grid(form)->rowCount(); ++row)
            filled += Cell(form, column, row).isEmpty() ? 0 : 1;
    return filled;
}

const QString kMarker = QStringLiteral("More values >>");

class MainWindow : public ::testing::Test {
protected:
    MainWindow()
    {
        f.registry.CurrentUser().WriteDword(kProgramKey, "DataSourceIsCentralStation", 1);
        f.registry.CurrentUser().WriteDword(kProgramKey, "AutoCreate", 1);
        f.centralStationOpen = true;
    }
    TfrmCollectData& ShowAt(int width, int height)
    {
        auto& form = f.Create();
        form.resize(width, height);
        form.show();
        EXPECT_TRUE(QTest::qWaitFor([&] { return form.width() == width && form.height() == height; }, 5000));
        return form;
    }
    TFormFixture f;
};

TEST_F(MainWindow, AtEveryWidthThePatientStaysInSightAndTheMarkerTakesAValueCell)
{
    // Where the ID, the first and the last name are shown; narrower than three columns the header wraps.
    struct TCase {
        int width;
        int columns;
        std::vector<std::pair<int, int>> identity;  // (column, row)
    };
    const TCase cases[] = {
        {700, 3, {{0, 0}, {1, 0}, {2, 0}}},
        {500, 2, {{0, 0}, {1, 0}, {0, 1}}},
        {380, 1, {{0, 0}, {0, 1}, {0, 2}}},
    };
    auto& form = ShowAt(cases[0].width, 600);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.width);
        form.resize(c.width, 600);
        ASSERT_TRUE(QTest::qWaitFor([&] { return form.width() == c.width; }, 5000));
        ASSERT_TRUE(QTest::qWaitFor([&] { return Grid(form)->columnCount() == c.columns; }, 5000));
        const int rows = Grid(form)->rowCount();
        const int headerRows = c.identity.back().second + 1;
        ASSERT_GT(rows, headerRows + 1);

        TValues values;
        for (int i = 0; i < c.columns * rows + 3; ++i) values.emplace_back("L" + std::to_string(i), std::to_string(i));
        Receive(form, values);
        const char* identity[] = {"4711", "Jane", "Doe"};
        for (int k = 0; k < 3; ++k) {
            const auto [column, row] = c.identity[static_cast<std::size_t>(k)];
            EXPECT_EQ(Cell(form, column, row), identity[k]) << k;
            const QTableWidgetItem* item = Grid(form)->item(row, column);
            ASSERT_NE(item, nullptr);
            EXPECT_TRUE(Grid(form)->viewport()->rect().contains(Grid(form)->visualItemRect(item))) << k;
        }
        // The marker is the bottom cell of the last column; every other value cell shows a value in order.
        EXPECT_EQ(Cell(form, c.columns - 1, rows - 1), kMarker);
        EXPECT_EQ(FilledValueCells(form, headerRows), c.columns * (rows - headerRows));
        EXPECT_TRUE(Cell(form, 0, headerRows).startsWith("L0 = 0"));
        int markers = 0;
        for (int column = 0; column < c.columns; ++column)
            for (int row = 0; row < rows; ++row) markers += Cell(form, column, row) == kMarker ? 1 : 0;
        EXPECT_EQ(markers, 1);

        // The next message of the patient starts again from an empty grid.
        Receive(form, {{"HR", "70"}});
        EXPECT_EQ(Cell(form, c.identity[2].first, c.identity[2].second), "Doe");
        EXPECT_EQ(FilledValueCells(form, headerRows), 1);
    }
}

TEST_F(MainWindow, AMessageWithoutAPatientSegmentShowsItsValuesUnderNoPatient)
{
    auto& form = ShowAt(860, 600);
    Receive(form, {{"HR", "70"}});
    ASSERT_EQ(Cell(form, 1, 0), "Jane");
    const auto receiveWithoutPid = [&] {
        form.Engine().Cycle().CompleteMessageReceived();
        form.Engine().Messages().DecodeMessage({"MSH|^~\\&|CS|WARD|||20240506070810||ORU^R01|2|P|2.3",
                                                "OBR|1|||MON|||20240506070810", "OBX|1|NM|0002-4182^HR^MDIL||150|bpm",
                                                "OBX|2|NM|0002-4bb8^SpO2^MDIL||50|%"});
        form.ShowRunState();
    };
    // While the patient is selected, values of no patient are not shown at all.
    PatientList(form)->setCurrentRow(1);
    receiveWithoutPid();
    EXPECT_EQ(Cell(form, 1, 0), "Jane");
    EXPECT_TRUE(Cell(form, 0, 1).startsWith("HR = 70")) << Cell(form, 0, 1).toStdString();
    EXPECT_EQ(FilledValueCells(form), 1);

    PatientList(form)->setCurrentRow(0);
    receiveWithoutPid();
    for (int column = 0; column < 3; ++column) EXPECT_EQ(Cell(form, column, 0), "") << column;
    EXPECT_TRUE(Cell(form, 0, 1).startsWith("HR = 150")) << Cell(form, 0, 1).toStdString();
    EXPECT_TRUE(Cell(form, 0, 2).startsWith("SpO2 = 50")) << Cell(form, 0, 2).toStdString();
    EXPECT_EQ(FilledValueCells(form), 2);

    // The patient's next message shows the patient again.
    Receive(form, {{"HR", "72"}});
    EXPECT_EQ(Cell(form, 0, 0), "4711");
    EXPECT_TRUE(Cell(form, 0, 1).startsWith("HR = 72"));
}

TEST_F(MainWindow, AValueOfAKnownLabelReplacesItsCellInTheLastColumn)
{
    auto& form = ShowAt(500, 600);
    const int headerRows = 2;  // two columns: the last name goes below the ID
    const int valueRows = Grid(form)->rowCount() - headerRows;
    TValues values;
    for (int i = 0; i < valueRows + 1; ++i) values.emplace_back("L" + std::to_string(i), "1");
    values.emplace_back("L" + std::to_string(valueRows), "2");  // the label in the first value row of column 1
    Receive(form, values);
    EXPECT_TRUE(Cell(form, 1, headerRows).startsWith("L" + QString::number(valueRows) + " = 2"))
        << Cell(form, 1, headerRows).toStdString();
    EXPECT_TRUE(Cell(form, 1, headerRows + 1).isEmpty());
    EXPECT_EQ(FilledValueCells(form, headerRows), valueRows + 1);
    EXPECT_NE(Cell(form, 1, Grid(form)->rowCount() - 1), kMarker);
}

// Every row the grid has is seen whole.
bool RowsFit(const TfrmCollectData& form)
{
    return Grid(form)->rowCount() * Grid(form)->verticalHeader()->defaultSectionSize() <=
           Grid(form)->viewport()->height();
}

// Every column the grid has is seen whole: the grid's column width is the one its size is counted with.
bool ColumnsFit(const TfrmCollectData& form)
{
    return Grid(form)->columnCount() * Grid(form)->horizontalHeader()->defaultSectionSize() <=
           Grid(form)->viewport()->width();
}

TEST_F(MainWindow, DoubleClickOnTheGridCollapsesAndRestoresThePatientList)
{
    auto& form = ShowAt(860, 600);
    EXPECT_EQ(PatientList(form)->height(), kPatientListHeight);
    const int rows = Grid(form)->rowCount();
    EXPECT_TRUE(RowsFit(form)) << rows;

    form.StringGrid1DblClick();
    EXPECT_EQ(PatientList(form)->height(), 0);
    EXPECT_GT(Grid(form)->rowCount(), rows);
    ASSERT_TRUE(QTest::qWaitFor([&] { return RowsFit(form); }, 5000));

    form.StringGrid1DblClick();
    EXPECT_EQ(PatientList(form)->height(), kPatientListHeight);
    EXPECT_EQ(Grid(form)->rowCount(), rows);
    EXPECT_EQ(Panel(form)->height(), kPanelHeight);
}

TEST_F(MainWindow, ThePanelKeepsItsHeightAndTheListComesBackWithIt)
{
    auto& form = ShowAt(860, 600);
    form.StringGrid1DblClick();
    ASSERT_EQ(PatientList(form)->height(), 0);
    Panel(form)->setFixedHeight(100);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Panel(form)->height() == kPanelHeight; }, 5000));
    EXPECT_EQ(PatientList(form)->height(), kPatientListHeight);
}

TEST_F(MainWindow, ShrinkingTheWindowSetsTheMarker)
{
    auto& form = ShowAt(860, 600);
    Receive(form, {{"HR", "70"}});
    ASSERT_EQ(Grid(form)->columnCount(), 4);
    EXPECT_TRUE(ColumnsFit(form));
    EXPECT_EQ(Cell(form, 3, 0), "");
    form.resize(500, 600);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Grid(form)->columnCount() == 2; }, 5000));
    EXPECT_TRUE(ColumnsFit(form));
    EXPECT_EQ(Cell(form, 1, Grid(form)->rowCount() - 1), kMarker);
    EXPECT_EQ(Cell(form, 1, 0), "Jane");
}

TEST_F(MainWindow, DeleteNeverRemovesAReportedPatientOrTheHeader)
{
    auto& form = ShowAt(860, 600);
    Receive(form, {{"HR", "70"}});
    ASSERT_EQ(PatientList(form)->count(), 2);
    for (int row : {0, 1}) {
        PatientList(form)->setCurrentRow(row);
        test::Widget<QAction>(form, "DeleteAction")->trigger();
        EXPECT_EQ(PatientList(form)->count(), 2) << row;
    }
    EXPECT_EQ(PatientList(form)->item(0)->text(), "Patients");
}

TEST_F(MainWindow, TheAnimationFollowsTheStatusAndHideStopsIt)
{
    auto& form = ShowAt(860, 600);
    EXPECT_EQ(form.Animation().CurrentFrame(), 1);
    EXPECT_FALSE(test::Widget<QLabel>(form, "Animate")->pixmap().isNull());
    Receive(form, {{"HR", "70"}});
    EXPECT_EQ(form.Animation().CurrentFrame(), 2);
    test::Widget<QPushButton>(form, "btnStart")->click();
    ASSERT_EQ(form.Engine().Cycle().Status(), csCollecting);
    EXPECT_TRUE(form.Animation().Playing());
    EXPECT_GE(form.Animation().CurrentFrame(), 3);

    form.btnHideClick();
    EXPECT_FALSE(form.Animation().Playing());
    EXPECT_EQ(form.Animation().CurrentFrame(), TConnectAnimation::kFrameCount);
    EXPECT_TRUE(form.isHidden());

    form.TaskbarIconControler1Click();
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(form.Animation().Playing());
    test::Widget<QPushButton>(form, "btnStop")->click();
}

TEST_F(MainWindow, TheGridShowsAMessagesValuesOnTheNextTickOnly)
{
    auto& form = ShowAt(860, 600);
    form.Engine().Cycle().CompleteMessageReceived();
    form.Engine().Messages().DecodeMessage({"MSH|^~\\&|CS|WARD|||20240506070809||ORU^R01|1|P|2.3",
                                            "PID|1||4711||Doe^Jane", "OBR|1|||MON|||20240506070809",
                                            "OBX|1|NM|0002-4182^HR^MDIL||70|bpm"});
    EXPECT_EQ(FilledValueCells(form), 0);
    EXPECT_EQ(Cell(form, 0, 0), "");
    form.Timer1Timer();
    EXPECT_EQ(Cell(form, 0, 0), "4711");
    EXPECT_TRUE(Cell(form, 0, 1).startsWith("HR = 70"));
}

TEST_F(MainWindow, ATickedRowShowsWhatWasWrittenAndARowWithAProblemSaysWhatHappened)
{
    auto& form = ShowAt(860, 600);
    EXPECT_TRUE(test::Widget<QLabel>(form, "lblStopPos")->isHidden());
    Receive(form, {{"HR", "70"}});
    test::Widget<QPushButton>(form, "btnStart")->click();
    ASSERT_EQ(form.Engine().Cycle().Status(), csCollecting);
    const auto show = [&](int hour, int minute, int second) {
        f.clock.Set(EncodeDateTime(2024, 5, 6, hour, minute, second));
        form.Timer1Timer();
    };
    // A heart rate stamped with the clock's time.
    const auto heartRate = [&](const std::string& hr) {
        form.Engine().Cycle().CompleteMessageReceived();
        const std::string stamp = FormatCompactStamp(f.clock.Now());
        form.Engine().Messages().DecodeMessage({"MSH|^~\\&|CS|WARD|||" + stamp + "||ORU^R01|1|P|2.3",
                                                "PID|1||4711||Doe^Jane", "OBR|1|||MON|||" + stamp,
                                                "OBX|1|NM|0002-4182^HR^MDIL||" + hr + "|bpm"});
    };
    show(7, 8, 20);
    heartRate("71");
    const int row = form.Engine().Census().FindRow("4711");
    QListWidgetItem* item = PatientList(form)->item(row);
    // Shown with the tick, not with the point.
    EXPECT_EQ(item->data(TCensusListView::kStatusRole).toString(), "");
    show(7, 8, 21);
    EXPECT_EQ(item->data(TCensusListView::kStatusRole).toString(),
              QString::fromUtf8("last written 07:08:20 · 1 point"));
    EXPECT_EQ(item->text(), "4711, Jane Doe");
    EXPECT_EQ(form.Engine().Census().Row(row).text, "4711, Jane Doe");
    EXPECT_TRUE(item->icon().isNull());

    show(7, 8, 30);
    heartRate("");
    show(7, 8, 31);
    EXPECT_EQ(item->data(TCensusListView::kProblemRole).toString(), "The value of HR was empty");
    EXPECT_FALSE(item->icon().isNull());
    EXPECT_TRUE(item->toolTip().contains("The value of HR was empty")) << item->toolTip().toStdString();

    // The patient stays due: the next value of the interval is written and ends the problem.
    heartRate("72");
    show(7, 8, 32);
    EXPECT_EQ(item->data(TCensusListView::kProblemRole).toString(), "");
    EXPECT_TRUE(item->icon().isNull());
    EXPECT_EQ(item->data(TCensusListView::kStatusRole).toString(),
              QString::fromUtf8("last written 07:08:30 · 2 points"));

    // Without the data manager the values still reach the file, and the row and the window say it is not told.
    QLabel* dataManager = test::Widget<QLabel>(form, "lblDataManager");
    EXPECT_TRUE(dataManager->isHidden());
    f.dataManager.Leave();
    show(7, 8, 40);
    heartRate("73");
    show(7, 8, 41);
    EXPECT_FALSE(dataManager->isHidden());
    EXPECT_EQ(dataManager->text(), "Data manager lost since 07:08:32: the data manager left the D-Bus session bus");
    EXPECT_EQ(item->data(TCensusListView::kProblemRole).toString(),
              "Written to the file, not told to the data manager");
    EXPECT_EQ(item->data(TCensusListView::kStatusRole).toString(),
              QString::fromUtf8("last written 07:08:40 · 3 points"));
    f.dataManager.Return();
    show(7, 8, 42);
    EXPECT_TRUE(dataManager->isHidden());
    EXPECT_EQ(item->data(TCensusListView::kProblemRole).toString(), "");

    // An unticked row shows no status.
    item->setCheckState(Qt::Unchecked);
    show(7, 8, 33);
    EXPECT_EQ(item->data(TCensusListView::kStatusRole).toString(), "");
    test::Widget<QPushButton>(form, "btnStop")->click();
}

TEST_F(MainWindow, TheTrayClickRestoresAMinimisedWindow)
{
    auto& form = ShowAt(860, 600);
    form.showMinimized();
    form.TaskbarIconControler1Click();
    EXPECT_FALSE(form.isMinimized());
    EXPECT_TRUE(form.isVisible());
}

TEST_F(MainWindow, ClickingNoNetworkShowsAnEmptyBox)
{
    auto& form = ShowAt(860, 600);
    test::Widget<QLabel>(form, "lblNoNetwork")->show();
    QTest::mouseClick(test::Widget<QLabel>(form, "lblNoNetwork"), Qt::LeftButton);
    ASSERT_EQ(f.prompter.messages.size(), 1u);
    EXPECT_EQ(f.prompter.messages[0], "");
}

}  // namespace
}  // namespace halcyra
