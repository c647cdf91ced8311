// What the collection cycle shows: the window implements it; the headless view (service, import) and tests
// stand in for it.
#pragma once

#include "app/CollectStatus.h"

#include <string>

namespace halcyra {

class ICollectView {
public:
    virtual ~ICollectView() = default;
    // The buttons, the animation, the tray icon and the window for a status just set.
    virtual void ApplyStatusControls(const TStatusControls& controls) = 0;
    // lblTime.
    virtual std::string CountdownText() const = 0;
    virtual void SetCountdownText(const std::string& text) = 0;
    virtual void SetTrayHint(const std::string& hint) = 0;
    virtual bool TrayIconVisible() const = 0;
    // Throws when the icon cannot be shown.
    virtual void ShowTrayIcon() = 0;
    virtual bool ParametersButtonEnabled() const = 0;
    virtual void EnableParametersButton() = 0;
    // As the Hide button does.
    virtual void HideWindow() = 0;
    // lblNoNetwork.
    virtual void SetNoNetworkVisible(bool visible) = 0;
    // LabelConnected on a yellow background.
    virtual void ShowConnectionWarning(const std::string& text) = 0;
};

}  // namespace halcyra
