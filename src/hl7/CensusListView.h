// Shows the census rows in the check-list CBListPatients and reports the user's ticks and selection.
// Item k of the list is census row k; item 0 (the header) is made with the list.
#pragma once

#include "hl7/Census.h"
#include "hl7/CensusView.h"

#include <QObject>
#include <QString>

#include <functional>

class QListWidget;
class QListWidgetItem;
class QMenu;

namespace halcyra {

class TCensusListView final : public QObject, public ICensusView {
    Q_OBJECT
public:
    // How a row's hint (a sentence of the census, in its single-byte encoding) is shown: the window gives
    // it in the user's language; without, as it is.
    using TShownText = std::function<QString(const std::string& hint)>;

    TCensusListView(QListWidget* list, QMenu* popupMenu, TCensus& census, TShownText shownText = {});
    ~TCensusListView() override;

    // The window's handlers, called after the census has the new tick or selection.
    std::function<void()> OnClickCheck;
    std::function<void()> OnClick;

    void RowInserted(int row) override;
    void RowRemoved(int row) override;
    void RowChanged(int row) override;
    void SetPopupMenuAttached(bool attached) override;
    bool PopupMenuAttached() const { return popupMenuAttached_; }

    // What was written for the row's patient, drawn beside the row's text (the census text is not
    // touched), and a problem: the row is marked and its hint says what happened. Empty texts clear them.
    void ShowRowStatus(int row, const QString& status, const QString& problem);
    // The item data that hold them.
    static constexpr int kStatusRole = Qt::UserRole + 1;
    static constexpr int kProblemRole = Qt::UserRole + 2;

private:
    void ItemChanged(QListWidgetItem* item);
    void CurrentRowChanged(int row);
    void ShowRow(int row);
    void ShowHint(QListWidgetItem* item, const TCensusRow& r);

    QListWidget* list_;
    QMenu* popupMenu_;
    TCensus& census_;
    TShownText shownText_;
    bool updating_ = false;
    bool popupMenuAttached_ = false;
};

}  // namespace halcyra
