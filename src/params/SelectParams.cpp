#include "params/SelectParams.h"

#include "platform/Text.h"

#include <QApplication>
#include <QEvent>

namespace halcyra {
namespace {

constexpr int kHintHidePauseMs = 20000;

QString ToQt(std::string_view text)
{
    return QString::fromStdString(Win1252ToUtf8(text));
}

void ShowSide(QListWidget& list, const std::vector<const TParamAndIndexConnection*>& lines)
{
    list.clear();
    for (const TParamAndIndexConnection* line : lines) list.addItem(ToQt(line->Label()));
}

std::vector<std::size_t> SelectedRows(const QListWidget& list)
{
    std::vector<std::size_t> rows;
    for (int row = 0; row < list.count(); ++row)
        if (list.item(row)->isSelected()) rows.push_back(static_cast<std::size_t>(row));
    return rows;
}

}  // namespace

TfrmSelectParams::TfrmSelectParams(TParameterModel& params, QWidget* parent) : QDialog(parent), params_(params)
{
    setupUi(this);
    for (QWidget* w : findChildren<QWidget*>()) w->setToolTipDuration(kHintHidePauseMs);
    CBAutomatic->setToolTip(
        tr("Check to conduct parameter setup from the Monitor.\n"
           "All parameters transmitted will be collected.\n"
           "\n"
           "Uncheck to setup parameters individually, however there is no\n"
           "guarantee that the Monitor can present the data requested"));
    connect(sbtnSelectAll, &QPushButton::clicked, this, [this] { sbtnSelectAllClick(); });
    connect(sbtnSelectThisOne, &QPushButton::clicked, this, [this] { sbtnSelectThisOneClick(); });
    connect(sbtnDeselectThisOne, &QPushButton::clicked, this, [this] { sbtnDeselectThisOneClick(); });
    connect(sbtnDeselectAll, &QPushButton::clicked, this, [this] { sbtnDeselectAllClick(); });
    connect(lboxDeselectedParams, &QListWidget::itemDoubleClicked, this, [this] { lboxDeselectedParamsDblClick(); });
    connect(lboxDefaultParams, &QListWidget::itemDoubleClicked, this, [this] { lboxDefaultParamsDblClick(); });
    connect(CBAutomatic, &QCheckBox::clicked, this, [this] { CBAutomaticClick(); });
    connect(btnOK, &QPushButton::clicked, this, [this] { btnOKClick(); });
    connect(btnCancel, &QPushButton::clicked, this, [this] { btnCancelClick(); });
    connect(btnSetAsDefault, &QPushButton::clicked, this, [this] { btnSetAsDefaultClick(); });
    lboxDeselectedParams->viewport()->installEventFilter(this);
    lboxDefaultParams->viewport()->installEventFilter(this);

    QApplication::setOverrideCursor(Qt::WaitCursor);
    selection_.Fill(params_.ExcludedParams(), params_.Parameters());
    ShowLines();
    QApplication::restoreOverrideCursor();
    CBAutomatic->setChecked(params_.Automatic());
    CBAutomaticClick();
}

void TfrmSelectParams::ShowLines()
{
    ShowSide(*lboxDeselectedParams, selection_.Lines(TParameterSelection::TSide::Available));
    ShowSide(*lboxDefaultParams, selection_.Lines(TParameterSelection::TSide::Chosen));
}

void TfrmSelectParams::MoveLines(TParameterSelection::TSide from, bool all)
{
    const QListWidget& source =
        from == TParameterSelection::TSide::Available ? *lboxDeselectedParams : *lboxDefaultParams;
    const std::vector<std::size_t> rows = SelectedRows(source);
    if (!all && rows.empty()) return;
    selection_.Move(from, rows, all);
    ShowLines();
}

QString TfrmSelectParams::LongNameOfCurrent(const QListWidget& list) const
{
    const QListWidgetItem* item = list.currentItem();
    if (item == nullptr) return {};
    return ToQt(params_.Parameters().LongNameOf(Utf8ToWin1252(item->text().toStdString())));
}

void TfrmSelectParams::lboxDeselectedParamsMouseDown()
{
    lboxDeselectedParams->setToolTip(LongNameOfCurrent(*lboxDeselectedParams));
}

void TfrmSelectParams::lboxDefaultParamsMouseDown()
{
    lboxDefaultParams->setToolTip(LongNameOfCurrent(*lboxDefaultParams) + "\n" +
                                  tr("Click to see long name for another parameter"));
}

bool TfrmSelectParams::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::MouseButtonPress) {
        // The hint follows the line current before the press, as the list reports it then.
        if (watched == lboxDeselectedParams->viewport()) lboxDeselectedParamsMouseDown();
        if (watched == lboxDefaultParams->viewport()) lboxDefaultParamsMouseDown();
    }
    return QDialog::eventFilter(watched, event);
}

void TfrmSelectParams::CBAutomaticClick()
{
    Panel1->setVisible(!CBAutomatic->isChecked());
}

void TfrmSelectParams::btnOKClick()
{
    params_.ExcludedParams() = selection_.AvailableInDisplayOrder();
    accept();
}

void TfrmSelectParams::btnSetAsDefaultClick()
{
    params_.SaveAsDefault(selection_.ExclusionList(), CBAutomatic->isChecked());
}

}  // namespace halcyra
