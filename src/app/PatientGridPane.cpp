#include "app/PatientGridPane.h"

#include <QHeaderView>
#include <QListWidget>
#include <QSplitter>
#include <QTableWidget>

namespace halcyra {

TPatientGridPane::TPatientGridPane(QWidget* window, QWidget* panel, QListWidget* patientList, QSplitter* splitter,
                                   QTableWidget* grid, std::string overflowMarker)
    : window_(window),
      panel_(panel),
      patientList_(patientList),
      splitter_(splitter),
      table_(grid),
      grid_(grid, std::move(overflowMarker))
{
}

void TPatientGridPane::Splitter1Moved()
{
    grid_.Resize(GridSizeForClientArea(window_->width(), window_->height(), splitter_->handleWidth(),
                                       patientList_->height(), panel_->height(),
                                       table_->verticalHeader()->defaultSectionSize()));
}

void TPatientGridPane::SetPatientListHeight(int height)
{
    const QList<int> sizes = splitter_->sizes();
    const int total = sizes.value(0) + sizes.value(1);
    splitter_->setSizes({height, std::max(0, total - height)});
    // The list's own geometry follows at the next layout; the grid is sized from it now.
    patientList_->resize(patientList_->width(), height);
}

void TPatientGridPane::Panel1Resize()
{
    if (panel_->height() == kPanelHeight) return;
    panel_->setFixedHeight(kPanelHeight);
    SetPatientListHeight(kPatientListHeight);
}

void TPatientGridPane::StringGrid1DblClick()
{
    SetPatientListHeight(patientList_->height() < 1 ? kPatientListHeight : 0);
    Splitter1Moved();
}

}  // namespace halcyra
