// A main window on a temporary registry and drive prefix, with a manual clock and scripted answers.
#pragma once

#include "app/CollectDataForm.h"
#include "support/FakeClientSocket.h"
#include "support/RecordingDataManager.h"
#include "support/TempDir.h"
#include "support/Widgets.h"

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <vector>

namespace halcyra::test {

class TScriptedPrompter final : public IPrompter {
public:
    bool AskYesNo(const std::string& text) override
    {
        questions.push_back(text);
        if (answers.empty()) return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }

    std::deque<bool> answers;
    std::vector<std::string> questions;
    std::vector<std::string> messages;
};

struct TFakeTray {
    bool available = true;
    int adds = 0;
    int deletes = 0;
    int modifies = 0;
    QIcon icon;  // as last added or modified
};

class TFakeTrayShell final : public ITrayShell {
public:
    explicit TFakeTrayShell(TFakeTray& state) : state_(state) {}
    bool AddIcon(const QIcon& icon, const QString&) override
    {
        state_.icon = icon;
        ++state_.adds;
        return state_.available;
    }
    bool DeleteIcon() override
    {
        ++state_.deletes;
        return true;
    }
    bool ModifyIcon(const QIcon& icon, const QString&) override
    {
        state_.icon = icon;
        ++state_.modifies;
        return true;
    }

private:
    TFakeTray& state_;
};

class TFormFixture {
public:
    TFormFixture()
        : registry(dir / "registry" / "HKEY_CURRENT_USER.reg", dir / "registry" / "HKEY_LOCAL_MACHINE.reg"),
          drives(dir / "prefix"),
          files(drives),
          clock(EncodeDateTime(2024, 5, 6, 7, 8, 9))
    {
        env.clock = &clock;
        env.registry = &registry;
        env.files = &files;
        env.prompter = &prompter;
        env.dataManager = &dataManager;
        env.trayShell = [this] { return std::make_unique<TFakeTrayShell>(tray); };
        env.centralStationSocket = [this] {
            auto socket = std::make_unique<TFakeClientSocket>(TFakeClientSocket::TOnOpen::Ignored);
            socket->open = centralStationOpen;
            centralStation = socket.get();
            return socket;
        };
        env.executablePath = "/opt/halcyra/bin/halcyra";
    }

    TfrmCollectData& Create()
    {
        form = std::make_unique<TfrmCollectData>(env);
        form->FormCreate();
        return *form;
    }

    TTempDir dir;
    TRegistry registry;
    TDriveMapping drives;
    TFileSystem files;
    TManualClock clock;
    TScriptedPrompter prompter;
    TRecordingDataManager dataManager;
    TFakeTray tray;
    // The central-station socket the form makes, open from the start when centralStationOpen is set.
    bool centralStationOpen = false;
    TFakeClientSocket* centralStation = nullptr;
    TEnvironment env;
    std::unique_ptr<TfrmCollectData> form;
};

// One central-station message of patient 4711 with a heart rate, handled as the reader hands it over.
inline void ReceiveHeartRate(TfrmCollectData& form, const std::string& hr)
{
    form.Engine().Cycle().CompleteMessageReceived();
    form.Engine().Messages().DecodeMessage({"MSH|^~\\&|CS|WARD|||20240506070809||ORU^R01|1|P|2.3",
                                            "PID|1||4711||Doe^Jane", "OBR|1|||MON|||20240506070809",
                                            "OBX|1|NM|0002-4182^HR^MDIL||" + hr + "|bpm"});
}

// How many recorded calls begin with `prefix`.
inline int CountCalls(const std::vector<std::string>& calls, const std::string& prefix)
{
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

}  // namespace halcyra::test
