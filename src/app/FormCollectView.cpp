#include "app/FormCollectView.h"

#include "app/CollectDataForm.h"
#include "app/ShownText.h"
#include "platform/Text.h"
#include "ui/ConnectAnimation.h"

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

namespace halcyra {
namespace {

QString ToQt(const std::string& text)
{
    return QString::fromStdString(Win1252ToUtf8(text));
}

void ShowAnimation(TConnectAnimation& animation, TAnimation state)
{
    switch (state) {
        case TAnimation::StillNotConnected:
            animation.ShowFrame(1);
            break;
        case TAnimation::StillConnected:
            animation.ShowFrame(2);
            break;
        case TAnimation::PlayingCollecting:
            animation.Play(3, TConnectAnimation::kFrameCount);
            break;
    }
}

}  // namespace

void TFormCollectView::ApplyStatusControls(const TStatusControls& c)
{
    if (c.showWindow) {
        form_.show();
        form_.raise();
    }
    ShowAnimation(form_.Animation(), c.animation);
    try {
        if (c.trayVisible) form_.TaskbarIconControler1->SetHint(ShownText(kCollectingHint));
        form_.TaskbarIconControler1->SetVisible(c.trayVisible);
    } catch (const std::exception& e) {
        form_.AddLogLine(e.what());
    }
    form_.btnInterval->setEnabled(c.intervalEnabled);
    if (c.disableParameters) form_.btnParameters->setEnabled(false);
    form_.btnStart->setEnabled(c.startEnabled);
    form_.btnStart->setVisible(c.startVisible);
    form_.btnStop->setVisible(c.stopVisible);
    form_.btnHide->setEnabled(c.hideEnabled);
    form_.btnServerSelect->setVisible(c.serverSelectVisible);
    if (c.clearParameterGrid && grid_ != nullptr) grid_->Clear();
}

std::string TFormCollectView::CountdownText() const
{
    // The text as the cycle set it: the label may show it translated.
    return countdownText_;
}

void TFormCollectView::SetCountdownText(const std::string& text)
{
    countdownText_ = text;
    form_.lblTime->setText(ShownText(text));
}

void TFormCollectView::SetTrayHint(const std::string& hint)
{
    form_.TaskbarIconControler1->SetHint(ShownText(hint));
}

bool TFormCollectView::TrayIconVisible() const
{
    return form_.TaskbarIconControler1->Visible();
}

void TFormCollectView::ShowTrayIcon()
{
    form_.TaskbarIconControler1->SetVisible(true);
}

bool TFormCollectView::ParametersButtonEnabled() const
{
    return form_.btnParameters->isEnabled();
}

void TFormCollectView::EnableParametersButton()
{
    form_.btnParameters->setEnabled(true);
}

void TFormCollectView::HideWindow()
{
    form_.btnHideClick();
}

void TFormCollectView::SetNoNetworkVisible(bool visible)
{
    form_.lblNoNetwork->setVisible(visible);
}

void TFormCollectView::ShowConnectionWarning(const std::string& text)
{
    form_.LabelConnected->setText(ShownText(text));
    form_.LabelConnected->setStyleSheet(QStringLiteral("background-color: yellow;"));
}

void TFormCollectView::ShowBadVersion(const std::string& text)
{
    form_.LabelVersionID->setText(ShownText(text));
    form_.LabelVersionID->show();
}

void TFormCollectView::HideVersion()
{
    form_.LabelVersionID->hide();
    form_.LabelVersionID->clear();
}

void TFormCollectView::SetParameterLabel(const std::string& text)
{
    // Hidden, and set for every observation: a text kept there would cost a layout each time.
    if (form_.LabelParameter->isHidden()) return;
    form_.LabelParameter->setText(ToQt(text));
}

bool TFormCollectView::SaveDataStream() const
{
    return form_.cbSaveDataStream->isChecked();
}

void TFormCollectView::Beep()
{
    QApplication::beep();
}

void TFormCollectView::SetCaption(const std::string& caption)
{
    form_.setWindowTitle(ShownText(caption));
}

void TFormCollectView::SetConnectedLabel(const std::string& text)
{
    form_.LabelConnected->setText(ShownText(text));
    form_.LabelConnected->setStyleSheet(QString());
}

void TFormCollectView::ShowStopPos(const std::string& text)
{
    // A diagnostic label, hidden unless asked for: set on every read, it would cost a layout each time.
    if (form_.lblStopPos->isHidden()) return;
    form_.lblStopPos->setText(ToQt(text));
}

void TFormCollectView::ShowStartPos(const std::string& text)
{
    form_.lblStartPos->setText(ToQt(text));
}

void TFormCollectView::SocketError(const std::string& text)
{
    form_.ApplicationException(text);
}

void TFormCollectView::LogLine(const std::string& line, TLogPriority priority)
{
    form_.AddLogLine(line, priority);
}

}  // namespace halcyra
