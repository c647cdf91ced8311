// The main window's controls as the collection cycle and the message handling see them.
#pragma once

#include "app/CollectView.h"
#include "hl7/CentralStationReader.h"
#include "hl7/MessageView.h"

namespace halcyra {

class TfrmCollectData;

class TFormCollectView final : public ICollectView, public IMessageView, public ICentralStationView {
public:
    explicit TFormCollectView(TfrmCollectData& form) : form_(form) {}

    void SetParameterGrid(IParameterGrid* grid) { grid_ = grid; }

    // ICollectView
    void ApplyStatusControls(const TStatusControls& controls) override;
    std::string CountdownText() const override;
    void SetCountdownText(const std::string& text) override;
    void SetTrayHint(const std::string& hint) override;
    bool TrayIconVisible() const override;
    void ShowTrayIcon() override;
    bool ParametersButtonEnabled() const override;
    void EnableParametersButton() override;
    void HideWindow() override;
    void SetNoNetworkVisible(bool visible) override;
    void ShowConnectionWarning(const std::string& text) override;

    // IMessageView
    void ShowBadVersion(const std::string& text) override;
    void HideVersion() override;
    void SetParameterLabel(const std::string& text) override;
    bool SaveDataStream() const override;
    void Beep() override;

    // ICentralStationView (SaveDataStream above serves it too)
    void SetCaption(const std::string& caption) override;
    void SetConnectedLabel(const std::string& text) override;
    void ShowStopPos(const std::string& text) override;
    void ShowStartPos(const std::string& text) override;
    void SocketError(const std::string& text) override;
    void LogLine(const std::string& line, TLogPriority priority) override;

private:
    TfrmCollectData& form_;
    IParameterGrid* grid_ = nullptr;
    std::string countdownText_;
};

}  // namespace halcyra
