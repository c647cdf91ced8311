#include "hl7/CensusListView.h"

#include "platform/Text.h"

#include <QListWidget>
#include <QMenu>

namespace halcyra {

TCensusListView::TCensusListView(QListWidget* list, QMenu* popupMenu, TCensus& census)
    : QObject(list), list_(list), popupMenu_(popupMenu), census_(census)
{
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(list_, &QListWidget::itemChanged, this, [this](QListWidgetItem* item) { ItemChanged(item); });
    connect(list_, &QListWidget::currentRowChanged, this, [this](int row) { CurrentRowChanged(row); });
    connect(list_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        if (popupMenuAttached_) popupMenu_->popup(list_->viewport()->mapToGlobal(at));
    });
    census_.SetView(this);
    for (int row = 1; row < census_.RowCount(); ++row) RowInserted(row);
}

TCensusListView::~TCensusListView()
{
    census_.SetView(nullptr);
}

void TCensusListView::ShowRow(int row)
{
    QListWidgetItem* item = list_->item(row);
    if (item == nullptr) return;
    const TCensusRow& r = census_.Row(row);
    updating_ = true;
    item->setText(QString::fromStdString(Win1252ToUtf8(r.text)));
    item->setToolTip(QString::fromStdString(Win1252ToUtf8(r.hint)));
    // A patient who is not present shows greyed and cannot be ticked, but can still be selected (to be
    // deleted), so the item itself stays enabled.
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (r.enabled) flags |= Qt::ItemIsUserCheckable;
    item->setFlags(flags);
    item->setForeground(list_->palette().brush(r.enabled ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    item->setCheckState(r.ticked ? Qt::Checked : Qt::Unchecked);
    updating_ = false;
}

void TCensusListView::RowInserted(int row)
{
    updating_ = true;
    list_->insertItem(row, QString());
    updating_ = false;
    ShowRow(row);
}

void TCensusListView::RowRemoved(int row)
{
    updating_ = true;
    delete list_->takeItem(row);
    // The list would move its selection to a neighbour; the census has already settled what is selected.
    if (list_->currentRow() != census_.SelectedRow()) list_->setCurrentRow(census_.SelectedRow());
    updating_ = false;
}

void TCensusListView::RowChanged(int row)
{
    ShowRow(row);
}

void TCensusListView::SetPopupMenuAttached(bool attached)
{
    popupMenuAttached_ = attached;
}

void TCensusListView::ItemChanged(QListWidgetItem* item)
{
    if (updating_) return;
    const int row = list_->row(item);
    if (row <= 0 || row >= census_.RowCount()) return;
    const bool ticked = item->checkState() == Qt::Checked;
    if (ticked == census_.IsTicked(row)) return;
    census_.SetTicked(row, ticked);
    if (OnClickCheck) OnClickCheck();
}

void TCensusListView::CurrentRowChanged(int row)
{
    if (updating_) return;
    census_.SetSelectedRow(row);
    if (OnClick) OnClick();
}

}  // namespace halcyra
