// The program's icon in the notification area, and the mouse events on it.
#pragma once

#include <QIcon>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

class QSystemTrayIcon;

namespace halcyra {

class ETaskbarError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The desktop's notification area, behind an interface so tests can stand in for it.
class ITrayShell {
public:
    virtual ~ITrayShell() = default;
    virtual bool AddIcon(const QIcon& icon, const QString& tip) = 0;
    virtual bool DeleteIcon() = 0;
    virtual bool ModifyIcon(const QIcon& icon, const QString& tip) = 0;
};

enum class TMouseButton { Left, Right, Middle };

class TTaskbarIconControler : public QObject {
    Q_OBJECT
public:
    // Without a shell, the desktop's system tray is used.
    explicit TTaskbarIconControler(QObject* parent = nullptr, std::unique_ptr<ITrayShell> shell = nullptr);
    ~TTaskbarIconControler() override;

    bool Visible() const { return visible_; }
    // Throws ETaskbarError "Exception: Could not Add Icon" / "Exception: Could not Delete Icon".
    void SetVisible(bool show);

    QString Hint() const { return hint_; }
    void SetHint(const QString& hint);
    QIcon Icon() const { return icon_; }
    void SetIcon(const QIcon& icon);

    std::function<void()> OnClick;
    std::function<void()> OnDblClk;
    std::function<void(TMouseButton)> OnMouseDown;
    std::function<void(TMouseButton)> OnMouseUp;
    // Errors raised by the handlers above end here instead of in the shell (the application's handler).
    std::function<void(const std::string&)> OnError;

    // A notification from the shell: a button pressed and released, or a double click.
    void ButtonClicked(TMouseButton button);
    void DoubleClicked();

    // The tool tip as shown: the hint cut to 63 characters.
    QString ToolTip() const { return hint_.left(63); }

private:
    void Dispatch(const std::function<void()>& handler);

    std::unique_ptr<ITrayShell> shell_;
    QIcon icon_;
    QString hint_;
    bool visible_ = false;
};

}  // namespace halcyra
