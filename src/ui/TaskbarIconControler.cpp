#include "ui/TaskbarIconControler.h"

#include <QSystemTrayIcon>

namespace halcyra {
namespace {

class TSystemTrayShell final : public ITrayShell {
public:
    TSystemTrayShell()
    {
        QObject::connect(&tray_, &QSystemTrayIcon::activated, [this](QSystemTrayIcon::ActivationReason reason) {
            if (!owner) return;
            switch (reason) {
                case QSystemTrayIcon::Trigger:
                    owner->ButtonClicked(TMouseButton::Left);
                    break;
                case QSystemTrayIcon::Context:
                    owner->ButtonClicked(TMouseButton::Right);
                    break;
                case QSystemTrayIcon::MiddleClick:
                    owner->ButtonClicked(TMouseButton::Middle);
                    break;
                case QSystemTrayIcon::DoubleClick:
                    owner->DoubleClicked();
                    break;
                default:
                    break;
            }
        });
    }

    bool AddIcon(const QIcon& icon, const QString& tip) override
    {
        if (!QSystemTrayIcon::isSystemTrayAvailable()) return false;
        tray_.setIcon(icon);
        tray_.setToolTip(tip);
        tray_.show();
        return tray_.isVisible();
    }
    bool DeleteIcon() override
    {
        tray_.hide();
        return true;
    }
    bool ModifyIcon(const QIcon& icon, const QString& tip) override
    {
        tray_.setIcon(icon);
        tray_.setToolTip(tip);
        return tray_.isVisible();
    }

    TTaskbarIconControler* owner = nullptr;

private:
    QSystemTrayIcon tray_;
};

}  // namespace

TTaskbarIconControler::TTaskbarIconControler(QObject* parent, std::unique_ptr<ITrayShell> shell)
    : QObject(parent), shell_(std::move(shell))
{
    if (!shell_) {
        auto system = std::make_unique<TSystemTrayShell>();
        system->owner = this;
        shell_ = std::move(system);
    }
}

TTaskbarIconControler::~TTaskbarIconControler()
{
    if (visible_) shell_->DeleteIcon();
}

void TTaskbarIconControler::SetVisible(bool show)
{
    if (show == visible_) return;
    if (show) {
        visible_ = shell_->AddIcon(icon_, ToolTip());
        if (!visible_) throw ETaskbarError("Exception: Could not Add Icon");
    } else {
        if (!shell_->DeleteIcon()) throw ETaskbarError("Exception: Could not Delete Icon");
        visible_ = false;
    }
}

void TTaskbarIconControler::SetHint(const QString& hint)
{
    if (hint == hint_) return;
    hint_ = hint;
    shell_->ModifyIcon(icon_, ToolTip());
}

void TTaskbarIconControler::SetIcon(const QIcon& icon)
{
    icon_ = icon;
    shell_->ModifyIcon(icon_, ToolTip());
}

void TTaskbarIconControler::Dispatch(const std::function<void()>& handler)
{
    if (!handler) return;
    try {
        handler();
    } catch (const std::exception& e) {
        if (OnError) OnError(e.what());
    }
}

void TTaskbarIconControler::ButtonClicked(TMouseButton button)
{
    if (OnMouseDown) Dispatch([&] { OnMouseDown(button); });
    if (OnMouseUp) Dispatch([&] { OnMouseUp(button); });
    Dispatch(OnClick);
}

void TTaskbarIconControler::DoubleClicked()
{
    Dispatch(OnDblClk);
}

}  // namespace halcyra
