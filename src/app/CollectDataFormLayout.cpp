// The controls of the main window, top to bottom.
#include "app/CollectDataForm.h"
#include "app/ParameterGridModel.h"
#include "app/PatientGridPane.h"

#include <QAction>
#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSplitter>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace halcyra {
namespace {

constexpr int kGridColumns = 4;

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& text = {})
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& text)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    return button;
}

}  // namespace

void TfrmCollectData::BuildControls()
{
    auto* central = new QWidget(this);
    auto* outer = new QVBoxLayout(central);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    Panel1 = new QWidget(central);
    Panel1->setObjectName("Panel1");
    Panel1->setFixedHeight(kPanelHeight);
    auto* panel = new QGridLayout(Panel1);
    panel->setContentsMargins(8, 4, 8, 4);

    LabelMonitor = MakeLabel(Panel1, "LabelMonitor", tr("Central Station/Patient Link Monitor"));
    QFont titleFont = LabelMonitor->font();
    titleFont.setPointSize(titleFont.pointSize() + 6);
    titleFont.setBold(true);
    LabelMonitor->setFont(titleFont);
    panel->addWidget(LabelMonitor, 0, 0, 1, 3);

    Animate = MakeLabel(Panel1, "Animate");
    Animate->setFixedSize(48, 32);
    panel->addWidget(Animate, 1, 0);

    LabelConnected = MakeLabel(Panel1, "LabelConnected", tr("Disconnected"));
    LabelConnected->setWordWrap(true);
    panel->addWidget(LabelConnected, 1, 1, 1, 2);

    LabelVersionID = MakeLabel(Panel1, "LabelVersionID");
    LabelVersionID->setStyleSheet("color: red; background-color: yellow;");
    LabelVersionID->hide();
    panel->addWidget(LabelVersionID, 2, 0, 1, 3);

    lblTime = MakeLabel(Panel1, "lblTime");
    panel->addWidget(lblTime, 3, 0);
    auto* positions = new QHBoxLayout;
    lblStartPos = MakeLabel(Panel1, "lblStartPos");
    lblStopPos = MakeLabel(Panel1, "lblStopPos");
    QFont smallFont = lblStartPos->font();
    smallFont.setPointSize(qMax(6, smallFont.pointSize() - 2));
    lblStartPos->setFont(smallFont);
    lblStopPos->setFont(smallFont);
    positions->addWidget(lblStartPos);
    positions->addWidget(lblStopPos);
    positions->addStretch();
    panel->addLayout(positions, 3, 1);

    LabelParameter = MakeLabel(Panel1, "LabelParameter");
    LabelParameter->hide();
    panel->addWidget(LabelParameter, 4, 0, 1, 2);

    auto* buttons = new QVBoxLayout;
    auto* startStop = new QHBoxLayout;
    btnStart = MakeButton(Panel1, "btnStart", tr("Start"));
    btnStop = MakeButton(Panel1, "btnStop", tr("Stop"));
    btnStop->hide();
    startStop->addWidget(btnStart);
    startStop->addWidget(btnStop);
    buttons->addLayout(startStop);
    btnHide = MakeButton(Panel1, "btnHide", tr("Hide"));
    btnParameters = MakeButton(Panel1, "btnParameters", tr("Params..."));
    btnInterval = MakeButton(Panel1, "btnInterval", tr("Interval..."));
    btnServerSelect = MakeButton(Panel1, "btnServerSelect", tr("Server"));
    for (QPushButton* b : {btnHide, btnParameters, btnInterval, btnServerSelect}) buttons->addWidget(b);
    panel->addLayout(buttons, 1, 3, 4, 1);

    FilterFunction = new QGroupBox(tr("Filter function"), Panel1);
    FilterFunction->setObjectName("FilterFunction");
    auto* filterLayout = new QVBoxLayout(FilterFunction);
    FilterFunctionAverage = new QRadioButton(tr("Average"), FilterFunction);
    FilterFunctionMedian = new QRadioButton(tr("Median"), FilterFunction);
    FilterFunctionMomentary = new QRadioButton(tr("Momentary"), FilterFunction);
    for (QRadioButton* r : {FilterFunctionAverage, FilterFunctionMedian, FilterFunctionMomentary})
        filterLayout->addWidget(r);
    FilterFunctionMedian->setChecked(true);
    FilterFunction->hide();
    panel->addWidget(FilterFunction, 1, 4, 4, 1);

    gbConnectedDataClients = new QGroupBox(tr("Connected Clients"), Panel1);
    gbConnectedDataClients->setObjectName("gbConnectedDataClients");
    auto* clientsLayout = new QVBoxLayout(gbConnectedDataClients);
    ListBoxConnectedClients = new QListWidget(gbConnectedDataClients);
    ListBoxConnectedClients->setObjectName("ListBoxConnectedClients");
    clientsLayout->addWidget(ListBoxConnectedClients);
    gbConnectedDataClients->hide();
    panel->addWidget(gbConnectedDataClients, 1, 5, 4, 1);

    auto* bottom = new QHBoxLayout;
    lblNoNetwork = MakeLabel(Panel1, "lblNoNetwork", tr("No Network"));
    lblNoNetwork->setStyleSheet("color: red;");
    lblNoNetwork->hide();
    cbLogFile = new QCheckBox(tr("Enable log file"), Panel1);
    cbLogFile->setObjectName("cbLogFile");
    cbSaveDataStream = new QCheckBox(tr("Save Data Stream"), Panel1);
    cbSaveDataStream->setObjectName("cbSaveDataStream");
    BitBtnClose = MakeButton(Panel1, "BitBtnClose", tr("&Close"));
    BitBtnClose->hide();
    bottom->addWidget(lblNoNetwork);
    bottom->addWidget(cbLogFile);
    bottom->addWidget(cbSaveDataStream);
    bottom->addStretch();
    bottom->addWidget(BitBtnClose);
    panel->addLayout(bottom, 5, 0, 1, 4);
    panel->setColumnStretch(2, 1);
    outer->addWidget(Panel1);

    Splitter1 = new QSplitter(Qt::Vertical, central);
    Splitter1->setObjectName("Splitter1");
    CBListPatients = new QListWidget(Splitter1);
    CBListPatients->setObjectName("CBListPatients");
    auto* header = new QListWidgetItem(tr("Patients"), CBListPatients);
    QFont headerFont = header->font();
    headerFont.setBold(true);
    header->setFont(headerFont);
    header->setFlags(Qt::ItemIsEnabled);
    PopupMenuCBList = new QMenu(CBListPatients);
    PopupMenuCBList->setObjectName("PopupMenuCBList");
    DeleteAction = PopupMenuCBList->addAction(tr("Delete"));
    DeleteAction->setObjectName("DeleteAction");

    StringGrid1 = new QTableWidget(1, kGridColumns, Splitter1);
    StringGrid1->setObjectName("StringGrid1");
    StringGrid1->horizontalHeader()->hide();
    StringGrid1->verticalHeader()->hide();
    StringGrid1->horizontalHeader()->setDefaultSectionSize(kGridColumnWidth);
    StringGrid1->setShowGrid(true);
    StringGrid1->setStyleSheet("QTableWidget { gridline-color: palette(mid); }");
    StringGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // The grid takes as many rows and columns as its area holds, so it never scrolls.
    StringGrid1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    StringGrid1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    Splitter1->setHandleWidth(4);
    Splitter1->setChildrenCollapsible(true);
    Splitter1->addWidget(CBListPatients);
    Splitter1->addWidget(StringGrid1);
    Splitter1->setSizes({kPatientListHeight, 300});
    // A taller window gives its height to the grid; the list keeps its own.
    Splitter1->setStretchFactor(0, 0);
    Splitter1->setStretchFactor(1, 1);
    outer->addWidget(Splitter1, 1);

    Memo1 = new QPlainTextEdit(central);
    Memo1->setObjectName("Memo1");
    Memo1->hide();

    // The window may be narrower than the panel's controls like it: the grid then shows fewer columns.
    central->setMinimumSize(kGridColumnWidth + kGridLineWidth, kPanelHeight);
    setCentralWidget(central);
    resize(860, 600);

    Timer1 = new QTimer(this);
    Timer1->setObjectName("Timer1");
    // A coarse timer may fire up to 5% early, just before an interval boundary that the tick then misses.
    Timer1->setTimerType(Qt::PreciseTimer);
}

}  // namespace halcyra
