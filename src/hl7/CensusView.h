// What the census tells the check-list that shows its rows. The widget reports ticks and the selection
// back through TCensus; changes it receives here must not be reported back as user ticks.
#pragma once

namespace halcyra {

class ICensusView {
public:
    virtual ~ICensusView() = default;
    // A row was inserted at (or removed from) this index; rows after it moved by one.
    virtual void RowInserted(int row) = 0;
    virtual void RowRemoved(int row) = 0;
    // The text, tick or enabled state of a row changed.
    virtual void RowChanged(int row) = 0;
    // The context menu (with "Delete") is attached to the list only while a disabled row is selected.
    virtual void SetPopupMenuAttached(bool attached) = 0;
};

}  // namespace halcyra
