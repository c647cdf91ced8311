// The values of one patient as the main window's grid shows them: a header with the patient's ID, first
// and last name, and value lines below it filled top to bottom, then column by column to the right. The
// header takes row 0; a grid narrower than three columns wraps it onto the next rows, so that no width
// hides who the values belong to. The overflow marker takes the last value cell, never the header.
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
    // overflowMarker: the text set in the last value cell when values did not fit.
    TParameterGridModel(int columns, int rows, std::string overflowMarker);

    int ColumnCount() const { return columns_; }
    int RowCount() const { return rows_; }
    const std::string& Cell(int column, int row) const;
    bool Overflow() const { return overflow_; }
    // Rows the patient's ID and names take; the value lines begin below them.
    int HeaderRows() const;
    // Where the ID (0), the first name (1) and the last name (2) are shown.
    TGridCell IdentityCell(int k) const;
    // Where the overflow marker is shown: the bottom cell of the last column.
    TGridCell MarkerCell() const;

    // Every cell and the marker are emptied.
    void Clear();
    // The grid is cleared and row 0 names the patient.
    void ShowPatient(const std::string& patientID, const std::string& firstName, const std::string& lastName);
    // Replaces the line whose text begins with the same label up to its first "=", or appends it after the
    // last filled cell; a line that does not fit sets the marker and is dropped. Gives the cell written,
    // or the marker's cell when the line was dropped.
    TGridCell ShowValue(const std::string& text);
    // The identity and the value lines, in the order they were shown, are laid out at the new size; lines
    // beyond it are dropped. A grid with content that shrank in either direction, or had the marker, sets it.
    // A grid keeps at least one value row below its header, even where fewer rows fit.
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
