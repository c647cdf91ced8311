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

TParameterGridModel::TParameterGridModel(int columns, int rows, std::string overflowMarker)
    : columns_(std::max(1, columns)),
      rows_(std::max(1, rows)),
      marker_(std::move(overflowMarker)),
      cells_(static_cast<std::size_t>(columns_ * rows_))
{
}

const std::string& TParameterGridModel::Cell(int column, int row) const
{
    static const std::string empty;
    if (column < 0 || column >= columns_ || row < 0 || row >= rows_) return empty;
    return cells_[static_cast<std::size_t>(column * rows_ + row)];
}

TGridCell TParameterGridModel::MarkerCell() const
{
    return {std::min(columns_ - 1, 3), 0};
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
    const std::string* header[] = {&patientID, &firstName, &lastName};
    for (int column = 0; column < 3 && column < columns_; ++column) At(column, 0) = *header[column];
}

TGridCell TParameterGridModel::ShowValue(const std::string& text)
{
    const std::size_t equals = text.find('=');
    const std::string key = text.substr(0, equals == std::string::npos ? text.size() : equals + 1);
    for (int column = 0; column < columns_; ++column)
        for (int row = 1; row < rows_; ++row)
            if (At(column, row).starts_with(key)) {
                At(column, row) = text;
                return {column, row};
            }

    TGridCell next{0, 1};
    for (int column = columns_ - 1, found = 0; column >= 0 && !found; --column)
        for (int row = rows_ - 1; row >= 1; --row)
            if (!At(column, row).empty()) {
                next = {column, row + 1};
                found = 1;
                break;
            }
    if (next.row >= rows_) next = {next.column + 1, 1};
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
    rows = std::max(1, rows);
    if (columns == columns_ && rows == rows_) return;
    const bool shrank = columns < columns_ || rows < rows_;
    std::vector<std::string> cells(static_cast<std::size_t>(columns * rows));
    for (int column = 0; column < std::min(columns, columns_); ++column)
        for (int row = 0; row < std::min(rows, rows_); ++row)
            cells[static_cast<std::size_t>(column * rows + row)] = std::move(At(column, row));
    cells_ = std::move(cells);
    columns_ = columns;
    rows_ = rows;
    if (shrank) SetOverflow();
}

}  // namespace halcyra
