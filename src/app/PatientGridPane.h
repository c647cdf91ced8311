// The lower part of the main window: the patient list above the splitter and the value grid below it,
// sized from the window's client area.
#pragma once

#include "app/ParameterGridView.h"

class QListWidget;
class QSplitter;
class QTableWidget;
class QWidget;

namespace halcyra {

inline constexpr int kPanelHeight = 177;
inline constexpr int kPatientListHeight = 192;

class TPatientGridPane {
public:
    // window: its client area gives the grid's size; panel: the controls above the list.
    TPatientGridPane(QWidget* window, QWidget* panel, QListWidget* patientList, QSplitter* splitter, QTableWidget* grid,
                     std::string overflowMarker);

    TParameterGridView& Grid() { return grid_; }

    // The splitter moved or the window was resized: the grid takes as many rows and columns as fit.
    void Splitter1Moved();
    // The panel keeps its height; when it had to be put back, the list is restored too.
    void Panel1Resize();
    // Collapses the patient list, or restores it when collapsed.
    void StringGrid1DblClick();

private:
    void SetPatientListHeight(int height);

    QWidget* window_;
    QWidget* panel_;
    QListWidget* patientList_;
    QSplitter* splitter_;
    QTableWidget* table_;
    TParameterGridView grid_;
};

}  // namespace halcyra
