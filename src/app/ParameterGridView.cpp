#include "app/ParameterGridView.h"

#include "platform/Text.h"

#include <QTableWidget>

namespace halcyra {

TParameterGridView::TParameterGridView(QTableWidget* grid, std::string overflowMarker)
    : grid_(grid), model_(grid->columnCount(), grid->rowCount(), std::move(overflowMarker))
{
    ShowAll();
}

void TParameterGridView::ShowCell(TGridCell cell)
{
    const QString text = QString::fromStdString(Win1252ToUtf8(model_.Cell(cell.column, cell.row)));
    QTableWidgetItem* item = grid_->item(cell.row, cell.column);
    if (item == nullptr) {
        if (text.isEmpty()) return;
        item = new QTableWidgetItem;
        item->setFlags(Qt::ItemIsEnabled);
        grid_->setItem(cell.row, cell.column, item);
    }
    if (item->text() != text) item->setText(text);
}

void TParameterGridView::ShowAll()
{
    grid_->setColumnCount(model_.ColumnCount());
    grid_->setRowCount(model_.RowCount());
    for (int column = 0; column < model_.ColumnCount(); ++column)
        for (int row = 0; row < model_.RowCount(); ++row) ShowCell({column, row});
}

void TParameterGridView::Flush()
{
    if (!changed_) return;
    changed_ = false;
    ShowAll();
}

void TParameterGridView::Clear()
{
    model_.Clear();
    changed_ = true;
}

void TParameterGridView::ShowPatient(const std::string& patientID, const std::string& firstName,
                                     const std::string& lastName)
{
    model_.ShowPatient(patientID, firstName, lastName);
    changed_ = true;
}

void TParameterGridView::ShowValue(const std::string& text)
{
    model_.ShowValue(text);
    changed_ = true;
}

void TParameterGridView::Resize(TGridSize size)
{
    if (size.columns == model_.ColumnCount() && size.rows == model_.RowCount()) return;
    model_.Resize(size.columns, size.rows);
    changed_ = false;
    ShowAll();
}

}  // namespace halcyra
