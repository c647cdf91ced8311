#include "app/ParameterGridModel.h"

#include <algorithm>

namespace halcyra {

TGridSize GridSizeForClientArea(int clientWidth, int clientHeight, int splitterHeight, int patientListHeight,
                                int panelHeight, int defaultRowHeight)
{
    TGridSize size;
    const int rowPitch = std::max(1, defaultRowHeight + kGridLineWidth);
    size.rows = std::max(1, (clientHeight - splitterHeight - patientListHeight - panelHeight) / rowPitch);
    size.columns = std::max(1, clientWidth / (kGridColumnWidth + kGridLineWidth));
    return size;
}

namespace {

// The patient's ID, first and last name.
constexpr int kIdentityCells = 3;

int HeaderRowsFor(int columns)
{
    return (kIdentityCells + columns - 1) / columns;
}

// Below the header there is always a value row, which the marker can take without hiding the patient.
int RowsFor(int columns, int rows)
{
    return std::max(rows, HeaderRowsFor(columns) + 1);
}

}  // namespace

TParameterGridModel::TParameterGridModel(int columns, int rows, std::string overflowMarker)
    : columns_(std::max(1, columns)),
      rows_(RowsFor(columns_, std::max(1, rows))),
      marker_(std::move(overflowMarker)),
      cells_(static_cast<std::size_t>(columns_ * rows_))
{
}

int TParameterGridModel::HeaderRows() const
{
    return HeaderRowsFor(columns_);
}

TGridCell TParameterGridModel::IdentityCell(int k) const
{
    return {k % columns_, k / columns_};
}

const std::string& TParameterGridModel::Cell(int column, int row) const
{
    static const std::string empty;
    if (column < 0 || column >= columns_ || row < 0 || row >= rows_) return empty;
    return cells_[static_cast<std::size_t>(column * rows_ + row)];
}

TGridCell TParameterGridModel::MarkerCell() const
{
    return {columns_ - 1, rows_ - 1};
}

void TParameterGridModel::SetOverflow()
{
    overflow_ = true;
    const TGridCell marker = MarkerCell();
    At(marker.column, marker.row) = marker_;
}

void TParameterGridModel::Clear()
{
    std::fill(cells_.begin(), cells_.end(), std::string());
    overflow_ = false;
}

void TParameterGridModel::ShowPatient(const std::string& patientID, const std::string& firstName,
                                      const std::string& lastName)
{
    Clear();
    const std::string* identity[] = {&patientID, &firstName, &lastName};
    for (int k = 0; k < kIdentityCells; ++k) {
        const TGridCell cell = IdentityCell(k);
        At(cell.column, cell.row) = *identity[k];
    }
}

TGridCell TParameterGridModel::ShowValue(const std::string& text)
{
    const int first = HeaderRows();
    const std::size_t equals = text.find('=');
    const std::string key = text.substr(0, equals == std::string::npos ? text.size() : equals + 1);
    for (int column = 0; column < columns_; ++column)
        for (int row = first; row < rows_; ++row)
            if (At(column, row).starts_with(key)) {
                At(column, row) = text;
                return {column, row};
            }

    TGridCell next{0, first};
    for (int column = columns_ - 1, found = 0; column >= 0 && !found; --column)
        for (int row = rows_ - 1; row >= first; --row)
            if (!At(column, row).empty()) {
                next = {column, row + 1};
                found = 1;
                break;
            }
    if (next.row >= rows_) next = {next.column + 1, first};
    if (next.column >= columns_ || next.row >= rows_) {
        SetOverflow();
        return MarkerCell();
    }
    At(next.column, next.row) = text;
    return next;
}

void TParameterGridModel::Resize(int columns, int rows)
{
    columns = std::max(1, columns);
    rows = RowsFor(columns, std::max(1, rows));
    if (columns == columns_ && rows == rows_) return;
    // An empty grid hides nothing when it shrinks.
    const bool shrank = (columns < columns_ || rows < rows_) &&
                        std::any_of(cells_.begin(), cells_.end(), [](const std::string& c) { return !c.empty(); });
    // The header may take more or fewer rows at the new width: the identity and the value lines are laid
    // out again, the lines in the order they were shown and without the marker.
    std::string identity[kIdentityCells];
    for (int k = 0; k < kIdentityCells; ++k) {
        const TGridCell cell = IdentityCell(k);
        identity[k] = std::move(At(cell.column, cell.row));
    }
    const TGridCell marker = MarkerCell();
    std::vector<std::string> lines;
    for (int column = 0; column < columns_; ++column)
        for (int row = HeaderRows(); row < rows_; ++row)
            if (!At(column, row).empty() && !(overflow_ && column == marker.column && row == marker.row))
                lines.push_back(std::move(At(column, row)));

    columns_ = columns;
    rows_ = rows;
    cells_.assign(static_cast<std::size_t>(columns_ * rows_), std::string());
    for (int k = 0; k < kIdentityCells; ++k) {
        const TGridCell cell = IdentityCell(k);
        At(cell.column, cell.row) = std::move(identity[k]);
    }
    const int valueRows = rows_ - HeaderRows();
    const bool dropped = lines.size() > static_cast<std::size_t>(columns_ * valueRows);
    for (std::size_t i = 0; i < lines.size() && i < static_cast<std::size_t>(columns_ * valueRows); ++i)
        At(static_cast<int>(i) / valueRows, HeaderRows() + static_cast<int>(i) % valueRows) = std::move(lines[i]);
    if (shrank || overflow_ || dropped) SetOverflow();
}

}  // namespace halcyra
