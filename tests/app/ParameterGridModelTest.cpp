// The value grid of the main window: placing, replacing and overflowing value lines, and its size.
#include "app/ParameterGridModel.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
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

TEST(ParameterGridModelTest, ValuesFillDownThenRightAndTheRestSetsTheMarkerInTheLastValueCell)
{
    TParameterGridModel grid(3, 3, kMarker);  // two value rows per column
    grid.ShowPatient("P1", "Ann", "Lee");
    for (const char* line : {"HR = 70 bpm", "SpO2 = 98 %", "RR = 14 rpm", "T = 37 C", "A = 1", "B = 2"})
        grid.ShowValue(line);
    EXPECT_EQ(Dump(grid), "P1|HR = 70 bpm|SpO2 = 98 % / Ann|RR = 14 rpm|T = 37 C / Lee|A = 1|B = 2");
    EXPECT_FALSE(grid.Overflow());

    const TGridCell dropped = grid.ShowValue("NBP-S = 120 mmHg");
    EXPECT_TRUE(grid.Overflow());
    EXPECT_EQ(dropped.column, 2);
    EXPECT_EQ(dropped.row, 2);
    EXPECT_EQ(Dump(grid), "P1|HR = 70 bpm|SpO2 = 98 % / Ann|RR = 14 rpm|T = 37 C / Lee|A = 1|" + kMarker);
    // A known label is still replaced in place; a new one still finds no room.
    EXPECT_EQ(grid.ShowValue("RR = 15 rpm").column, 1);
    grid.ShowValue("X = 9");
    EXPECT_EQ(Dump(grid), "P1|HR = 70 bpm|SpO2 = 98 % / Ann|RR = 15 rpm|T = 37 C / Lee|A = 1|" + kMarker);
}

TEST(ParameterGridModelTest, AtEveryWidthTheIdentityStaysAndTheMarkerTakesAValueCell)
{
    // A grid narrower than the three identity cells wraps them onto the next rows.
    const std::vector<std::pair<TGridSize, std::string>> table = {
        {{1, 1}, "P1|Ann|Lee|" + kMarker},  // too few rows: one value row is kept below the header
        {{1, 5}, "P1|Ann|Lee|L0 = 0|" + kMarker},
        {{2, 4}, "P1|Lee|L0 = 0|L1 = 1 / Ann||L2 = 2|" + kMarker},
        {{3, 2}, "P1|L0 = 0 / Ann|L1 = 1 / Lee|" + kMarker},
        {{4, 2}, "P1|L0 = 0 / Ann|L1 = 1 / Lee|L2 = 2 / |" + kMarker},
    };
    for (const auto& [size, full] : table) {
        SCOPED_TRACE(std::to_string(size.columns) + " x " + std::to_string(size.rows));
        TParameterGridModel grid(size.columns, size.rows, kMarker);
        grid.ShowPatient("P1", "Ann", "Lee");
        for (int i = 0; i < 12; ++i) grid.ShowValue("L" + std::to_string(i) + " = " + std::to_string(i));
        EXPECT_TRUE(grid.Overflow());
        EXPECT_EQ(Dump(grid), full);
        const TGridCell marker = grid.MarkerCell();
        EXPECT_GE(marker.row, grid.HeaderRows());
        const char* identity[] = {"P1", "Ann", "Lee"};
        for (int k = 0; k < 3; ++k)
            EXPECT_EQ(grid.Cell(grid.IdentityCell(k).column, grid.IdentityCell(k).row), identity[k]) << k;
    }
}

TEST(ParameterGridModelTest, APatientHeaderClearsEveryCellAndTheMarker)
{
    TParameterGridModel grid(3, 2, kMarker);
    grid.ShowPatient("P1", "Ann", "Lee");
    for (const char* line : {"HR = 70 bpm", "RR = 14 rpm", "T = 37 C", "A = 1"}) grid.ShowValue(line);
    ASSERT_TRUE(grid.Overflow());

    grid.ShowPatient("P2", "Bo", "Kim");
    EXPECT_FALSE(grid.Overflow());
    EXPECT_EQ(Dump(grid), "P2| / Bo| / Kim|");
    grid.Clear();
    EXPECT_EQ(Dump(grid), "| / | / |");
}

TEST(ParameterGridModelTest, ResizingLaysTheLinesOutAgainBelowTheHeader)
{
    TParameterGridModel grid(4, 3, kMarker);
    grid.ShowPatient("P1", "Ann", "Lee");
    for (const char* line : {"A = 1", "B = 2", "C = 3", "D = 4"}) grid.ShowValue(line);
    ASSERT_EQ(Dump(grid), "P1|A = 1|B = 2 / Ann|C = 3|D = 4 / Lee|| / ||");

    // Narrower than the header: it wraps, and the lines that fit keep their order.
    grid.Resize(1, 5);
    EXPECT_TRUE(grid.Overflow());
    EXPECT_EQ(Dump(grid), "P1|Ann|Lee|A = 1|" + kMarker);

    // Growing again shows the lines that were kept; the marker stays, since some are still missing.
    grid.Resize(3, 3);
    EXPECT_TRUE(grid.Overflow());
    EXPECT_EQ(Dump(grid), "P1|A = 1| / Ann|| / Lee||" + kMarker);
    grid.ShowValue("A = 5");
    EXPECT_EQ(grid.Cell(0, 1), "A = 5");

    // An empty grid hides nothing when it shrinks.
    TParameterGridModel empty(4, 8, kMarker);
    empty.Resize(2, 3);
    EXPECT_FALSE(empty.Overflow());
    EXPECT_EQ(Dump(empty), "|| / ||");
}

TEST(ParameterGridModelTest, GrowingKeepsTheLinesAndSetsNoMarker)
{
    TParameterGridModel grid(3, 2, kMarker);
    grid.ShowPatient("P1", "Ann", "Lee");
    grid.ShowValue("HR = 70 bpm");
    grid.Resize(3, 3);
    EXPECT_FALSE(grid.Overflow());
    EXPECT_EQ(Dump(grid), "P1|HR = 70 bpm| / Ann|| / Lee||");
    grid.ShowValue("RR = 14 rpm");
    EXPECT_EQ(grid.Cell(0, 2), "RR = 14 rpm");
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
