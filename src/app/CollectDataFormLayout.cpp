// The controls of the main window: its form, and what a form cannot say.
#include "app/CollectDataForm.h"
#include "app/PatientGridPane.h"

#include <QAction>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSplitter>
#include <QTimer>

namespace halcyra {

void TfrmCollectData::BuildControls()
{
    setupUi(this);

    // The fonts follow the desktop's: the title larger and bold, the diagnostic positions smaller.
    QFont titleFont = LabelMonitor->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    LabelMonitor->setFont(titleFont);
    QFont smallFont = lblStartPos->font();
    smallFont.setPointSize(qMax(6, smallFont.pointSize() - 2));
    lblStartPos->setFont(smallFont);
    lblStopPos->setFont(smallFont);

    Splitter1->setSizes({kPatientListHeight, 300});
    // A taller window gives its height to the grid; the list keeps its own.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);

    PopupMenuCBList = new QMenu(CBListPatients);
    PopupMenuCBList->setObjectName("PopupMenuCBList");
    DeleteAction = PopupMenuCBList->addAction(tr("Delete"));
    DeleteAction->setObjectName("DeleteAction");

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    // A coarse timer may fire up to 5% early, just before an interval boundary that the tick then misses.
    Timer1->setTimerType(Qt::PreciseTimer);
}

}  // namespace halcyra
