// The values of one patient as the main window's grid shows them: a header row with the patient's name
// and the overflow marker, and value lines filled top to bottom, then column by column to the right.
#pragma once

#include <string>
#include <vector>

namespace halcyra {

struct TGridCell {
    int column = 0;
    int row = 0;
};

// Rows and columns that fit a window's client area.
struct TGridSize {
    int columns = 1;
    int rows = 1;
};

inline constexpr int kGridColumnWidth = 200;
inline constexpr int kGridLineWidth = 2;

// The grid keeps at least its header row and one column, however small the area is.
TGridSize GridSizeForClientArea(int clientWidth, int clientHeight, int splitterHeight, int patientListHeight,
                                int panelHeight, int defaultRowHeight);

class TParameterGridModel {
public:
    // overflowMarker: the text set in the header row when values did not fit.
    TParameterGridModel(int columns, int rows, std::string overflowMarker);

    int ColumnCount() const { return columns_; }
    int RowCount() const { return rows_; }
    const std::string& Cell(int column, int row) const;
    bool Overflow() const { return overflow_; }
    // Where the overflow marker is shown: row 0 of the last column, at most column 3.
    TGridCell MarkerCell() const;

    // Every cell and the marker are emptied.
    void Clear();
    // The grid is cleared and row 0 names the patient.
    void ShowPatient(const std::string& patientID, const std::string& firstName, const std::string& lastName);
    // Replaces the line whose text begins with the same label up to its first "=", or appends it after the
    // last filled cell; a line that does not fit sets the marker and is dropped. Gives the cell written,
    // or row 0 (the marker's row) when the line was dropped.
    TGridCell ShowValue(const std::string& text);
    // Cells outside the new size are dropped; a grid that shrank in either direction sets the marker.
    void Resize(int columns, int rows);

private:
    std::string& At(int column, int row) { return cells_[static_cast<std::size_t>(column * rows_ + row)]; }
    void SetOverflow();

    int columns_;
    int rows_;
    std::string marker_;
    bool overflow_ = false;
    std::vector<std::string> cells_;  // column-major, rows_ per column
};

}  // namespace halcyra
