// What the engine shows when no window shows it (the service, an import, benchmarks): nothing to see, the
// few states the cycle reads back kept, and socket errors and connection warnings logged.
#pragma once

#include "app/CollectView.h"
#include "hl7/CentralStationReader.h"
#include "hl7/MessageView.h"
#include "platform/Log.h"
#include "relay/ConnectedClientsView.h"

#include <string>
#include <vector>

namespace halcyra {

class THeadlessView final : public ICollectView,
                            public IMessageView,
                            public ICentralStationView,
                            public IConnectedClientsView {
public:
    explicit THeadlessView(TLog& log) : log_(log) {}

    // ICollectView
    void ApplyStatusControls(const TStatusControls& controls) override;
    std::string CountdownText() const override { return countdown_; }
    void SetCountdownText(const std::string& text) override { countdown_ = text; }
    void SetTrayHint(const std::string&) override {}
    // There is no tray to lose: supervision never tries to bring an icon back.
    bool TrayIconVisible() const override { return true; }
    void ShowTrayIcon() override {}
    bool ParametersButtonEnabled() const override { return parametersEnabled_; }
    void EnableParametersButton() override { parametersEnabled_ = true; }
    void HideWindow() override {}
    void SetNoNetworkVisible(bool) override {}
    // A window shows it on a yellow label; without one it goes to the log, where a site looks.
    void ShowConnectionWarning(const std::string& text) override { log_.AddLogLine(text, TLogPriority::Warning); }

    // IMessageView
    void ShowBadVersion(const std::string&) override {}
    void HideVersion() override {}
    void SetParameterLabel(const std::string&) override {}
    bool SaveDataStream() const override { return false; }
    void Beep() override {}

    // ICentralStationView
    void SetCaption(const std::string&) override {}
    void SetConnectedLabel(const std::string&) override {}
    void ShowStopPos(const std::string&) override {}
    void ShowStartPos(const std::string&) override {}
    void SocketError(const std::string& text) override { log_.AddLogLine(text, TLogPriority::Error); }
    void LogLine(const std::string& line, TLogPriority priority) override { log_.AddLogLine(line, priority); }

    // IConnectedClientsView
    void ShowClients(const std::vector<std::string>&) override {}

private:
    TLog& log_;
    std::string countdown_;
    bool parametersEnabled_ = true;
};

}  // namespace halcyra
