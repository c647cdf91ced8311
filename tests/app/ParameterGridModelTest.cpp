// The value grid of the main window: placing, replacing and overflowing value lines, and its size.
#include "app/ParameterGridModel.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halcyra {
namespace {

const std::string kMarker = "More values >>";

// The grid as text, column by column, rows separated by '|', columns by ' / '.
std::string Dump(const TParameterGridModel& grid)
{
    std::string text;
    for (int column = 0; column < grid.ColumnCount(); ++column) {
        if (column > 0) text += " / ";
        for (int row = 0; row < grid.RowCount(); ++row) text += (row > 0 ? "|" : "") + grid.Cell(column, row);
    }
    return text;
}

TEST(ParameterGridModelTest, ValuesFillDownThenRightAndTheRestSetsTheMarker)
{
    TParameterGridModel grid(2, 3, kMarker);  // two value rows per column
    grid.ShowPatient("P1", "Ann", "Lee");
    for (const char* line : {"HR = 70 bpm", "SpO2 = 98 %", "RR = 14 rpm", "T = 37 C"}) grid.ShowValue(line);
    EXPECT_EQ(Dump(grid), "P1|HR = 70 bpm|SpO2 = 98 % / Ann|RR = 14 rpm|T = 37 C");
    EXPECT_FALSE(grid.Overflow());

    const TGridCell dropped = grid.ShowValue("NBP-S = 120 mmHg");
    EXPECT_TRUE(grid.Overflow());
    EXPECT_EQ(dropped.row, 0);
    // The marker takes the last column of the header (at most column 3); the value is not shown anywhere.
    EXPECT_EQ(Dump(grid), "P1|HR = 70 bpm|SpO2 = 98 % / " + kMarker + "|RR = 14 rpm|T = 37 C");
}

TEST(ParameterGridModelTest, AKnownLabelIsReplacedInPlaceAlsoInTheLastColumn)
{
    TParameterGridModel grid(2, 3, kMarker);
    grid.ShowPatient("P1", "Ann", "Lee");
    for (const char* line : {"HR = 70 bpm", "SpO2 = 98 %", "RR = 14 rpm", "T = 37 C"}) grid.ShowValue(line);
    const std::string before = Dump(grid);

    const TGridCell cell = grid.ShowValue("RR = 15 rpm");
    EXPECT_EQ(cell.column, 1);
    EXPECT_EQ(cell.row, 1);
    EXPECT_FALSE(grid.Overflow());
    EXPECT_EQ(Dump(grid), "P1|HR = 70 bpm|SpO2 = 98 % / Ann|RR = 15 rpm|T = 37 C") << before;
}

TEST(ParameterGridModelTest, TheKeyIsTheLabelUpToTheFirstEquals)
{
    TParameterGridModel grid(4, 4, kMarker);
    grid.ShowValue("NBP-S = 120 mmHg");
    grid.ShowValue("NBP = 90 mmHg");  // a prefix of another label without its " =" is a label of its own
    grid.ShowValue("NBP-S = 118 mmHg");
    EXPECT_EQ(grid.Cell(0, 1), "NBP-S = 118 mmHg");
    EXPECT_EQ(grid.Cell(0, 2), "NBP = 90 mmHg");
    EXPECT_EQ(grid.Cell(0, 3), "");
}

TEST(ParameterGridModelTest, APatientHeaderClearsEveryCellAndTheMarker)
{
    TParameterGridModel grid(1, 2, kMarker);
    grid.ShowPatient("P1", "Ann", "Lee");
    grid.ShowValue("HR = 70 bpm");
    grid.ShowValue("RR = 14 rpm");
    ASSERT_TRUE(grid.Overflow());
    // With one column only the ID fits the header; the marker then takes column 0.
    EXPECT_EQ(grid.Cell(0, 0), kMarker);

    grid.ShowPatient("P2", "Bo", "Kim");
    EXPECT_FALSE(grid.Overflow());
    EXPECT_EQ(Dump(grid), "P2|");
    grid.Clear();
    EXPECT_EQ(Dump(grid), "|");
}

TEST(ParameterGridModelTest, AppendingFollowsTheLastFilledCellNotTheFirstGap)
{
    TParameterGridModel grid(2, 4, kMarker);
    for (const char* line : {"A = 1", "B = 2", "C = 3", "D = 4"}) grid.ShowValue(line);
    // Shrinking drops the cells outside; the grid never re-packs what is left.
    grid.Resize(2, 3);
    EXPECT_TRUE(grid.Overflow());
    EXPECT_EQ(Dump(grid), "|A = 1|B = 2 / " + kMarker + "|D = 4|");
    grid.ShowValue("E = 5");
    EXPECT_EQ(grid.Cell(1, 2), "E = 5");
}

TEST(ParameterGridModelTest, GrowingKeepsTheCellsAndSetsNoMarker)
{
    TParameterGridModel grid(1, 2, kMarker);
    grid.ShowPatient("P1", "Ann", "Lee");
    grid.ShowValue("HR = 70 bpm");
    grid.Resize(3, 3);
    EXPECT_FALSE(grid.Overflow());
    EXPECT_EQ(Dump(grid), "P1|HR = 70 bpm| / || / ||");
    grid.ShowValue("RR = 14 rpm");
    EXPECT_EQ(grid.Cell(0, 2), "RR = 14 rpm");
}

TEST(ParameterGridModelTest, TheSizeComesFromTheClientArea)
{
    struct TCase {
        int width, height, splitter, list, panel, rowHeight;
        int columns, rows;
    };
    const std::vector<TCase> cases = {
        {500, 600, 4, 192, 177, 24, 2, 8},  // 500 / 202 = 2; (600 - 373) / 26 = 8
        {808, 600, 4, 192, 177, 24, 4, 8},  // four columns need 808 pixels
        {807, 600, 4, 0, 177, 24, 3, 16},   // a collapsed list gives its rows to the grid
        {100, 300, 4, 192, 177, 24, 1, 1},  // too small: the header row and one column remain
    };
    for (const TCase& c : cases) {
        const TGridSize size = GridSizeForClientArea(c.width, c.height, c.splitter, c.list, c.panel, c.rowHeight);
        EXPECT_EQ(size.columns, c.columns) << c.width;
        EXPECT_EQ(size.rows, c.rows) << c.height << " " << c.list;
    }
}

}  // namespace
}  // namespace halcyra
