#include "hl7/CensusListView.h"

#include "platform/Text.h"

#include <QApplication>
#include <QListWidget>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>

#include <utility>

namespace halcyra {
namespace {

// Draws a row as the list does, then its status right-aligned in the space the row's text leaves: grey,
// or in red for a problem.
class TCensusRowDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyledItemDelegate::paint(painter, option, index);
        const QString problem = index.data(TCensusListView::kProblemRole).toString();
        const QString status = index.data(TCensusListView::kStatusRole).toString();
        const QString shown = problem.isEmpty() ? status : problem;
        if (shown.isEmpty()) return;
        constexpr int kMargin = 6;
        QStyleOptionViewItem item(option);
        initStyleOption(&item, index);
        const QStyle* style = item.widget != nullptr ? item.widget->style() : QApplication::style();
        const QRect textRect = style->subElementRect(QStyle::SE_ItemViewItemText, &item, item.widget);
        const QFontMetrics metrics(option.font);
        const int textEnd = textRect.left() + metrics.horizontalAdvance(item.text) + 4 * kMargin;
        const QRect room(textEnd, option.rect.top(), option.rect.right() - kMargin - textEnd, option.rect.height());
        if (room.width() <= 0) return;
        painter->save();
        painter->setFont(option.font);
        const bool selected = (option.state & QStyle::State_Selected) != 0;
        const QPalette& palette = option.palette;
        painter->setPen(!problem.isEmpty() ? QColor(Qt::red).darker(130)
                        : selected         ? palette.color(QPalette::HighlightedText)
                                           : palette.color(QPalette::PlaceholderText));
        painter->drawText(room, Qt::AlignRight | Qt::AlignVCenter,
                          metrics.elidedText(shown, Qt::ElideMiddle, room.width()));
        painter->restore();
    }
};

}  // namespace

TCensusListView::TCensusListView(QListWidget* list, QMenu* popupMenu, TCensus& census, TShownText shownText)
    : QObject(list), list_(list), popupMenu_(popupMenu), census_(census), shownText_(std::move(shownText))
{
    list_->setContextMenuPolicy(Qt::CustomContextMenu);
    list_->setItemDelegate(new TCensusRowDelegate(list_));
    // The problem mark stays within the height of a row of text.
    const int mark = list_->fontMetrics().height();
    list_->setIconSize(QSize(mark, mark));
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
    ShowHint(item, r);
    // A patient who is not present shows greyed and cannot be ticked, but can still be selected (to be
    // deleted), so the item itself stays enabled.
    Qt::ItemFlags flags = Qt::ItemIsSelectable | Qt::ItemIsEnabled;
    if (r.enabled) flags |= Qt::ItemIsUserCheckable;
    item->setFlags(flags);
    item->setForeground(list_->palette().brush(r.enabled ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    item->setCheckState(r.ticked ? Qt::Checked : Qt::Unchecked);
    updating_ = false;
}

void TCensusListView::ShowHint(QListWidgetItem* item, const TCensusRow& r)
{
    QStringList lines;
    if (!r.hint.empty()) lines << (shownText_ ? shownText_(r.hint) : QString::fromStdString(Win1252ToUtf8(r.hint)));
    const QString problem = item->data(kProblemRole).toString();
    if (!problem.isEmpty() && !lines.contains(problem)) lines << problem;
    const QString status = item->data(kStatusRole).toString();
    if (!status.isEmpty()) lines << status;
    item->setToolTip(lines.join('\n'));
}

void TCensusListView::ShowRowStatus(int row, const QString& status, const QString& problem)
{
    QListWidgetItem* item = list_->item(row);
    if (item == nullptr || row <= 0 || row >= census_.RowCount()) return;
    if (item->data(kStatusRole).toString() == status && item->data(kProblemRole).toString() == problem) return;
    updating_ = true;
    item->setData(kStatusRole, status);
    item->setData(kProblemRole, problem);
    item->setIcon(problem.isEmpty() ? QIcon() : list_->style()->standardIcon(QStyle::SP_MessageBoxWarning));
    ShowHint(item, census_.Row(row));
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
