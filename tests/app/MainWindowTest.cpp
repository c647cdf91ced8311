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

int FilledValueCells(const TfrmCollectData& form)
{
    int filled = 0;
    for (int column = 0; column < Grid(form)->columnCount(); ++column)
        for (int row = 1; row < Grid(form)->rowCount(); ++row) filled += Cell(form, column, row).isEmpty() ? 0 : 1;
    return filled;
}

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

TEST_F(MainWindow, FiveHundredPixelsGiveTwoColumnsAndValuesBeyondThemSetTheMarker)
{
    auto& form = ShowAt(500, 600);
    ASSERT_EQ(Grid(form)->columnCount(), 2);
    const int valueRows = Grid(form)->rowCount() - 1;
    ASSERT_GT(valueRows, 1);

    TValues values;
    for (int i = 0; i < 2 * valueRows + 3; ++i) values.emplace_back("L" + std::to_string(i), std::to_string(i));
    Receive(form, values);
    EXPECT_EQ(Cell(form, 0, 0), "4711");
    EXPECT_EQ(Cell(form, 1, 0), "More values >>");
    EXPECT_EQ(FilledValueCells(form), 2 * valueRows);
    EXPECT_TRUE(Cell(form, 0, 1).startsWith("L0 = 0"));
    EXPECT_TRUE(Cell(form, 1, valueRows).startsWith("L" + QString::number(2 * valueRows - 1) + " = "));

    // The next message of the patient starts again from an empty grid.
    Receive(form, {{"HR", "70"}});
    EXPECT_EQ(Cell(form, 1, 0), "Jane");
    EXPECT_EQ(FilledValueCells(form), 1);
}

TEST_F(MainWindow, AValueOfAKnownLabelReplacesItsCellInTheLastColumn)
{
    auto& form = ShowAt(500, 600);
    const int valueRows = Grid(form)->rowCount() - 1;
    TValues values;
    for (int i = 0; i < valueRows + 1; ++i) values.emplace_back("L" + std::to_string(i), "1");
    values.emplace_back("L" + std::to_string(valueRows), "2");  // the label in row 1 of the last column
    Receive(form, values);
    EXPECT_TRUE(Cell(form, 1, 1).startsWith("L" + QString::number(valueRows) + " = 2"))
        << Cell(form, 1, 1).toStdString();
    EXPECT_TRUE(Cell(form, 1, 2).isEmpty());
    EXPECT_EQ(FilledValueCells(form), valueRows + 1);
    EXPECT_NE(Cell(form, 1, 0), "More values >>");
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
    EXPECT_EQ(Cell(form, 1, 0), "More values >>");
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
