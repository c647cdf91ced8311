// A main window on a temporary registry and drive prefix, with a manual clock and scripted answers.
#pragma once

#include "app/CollectDataForm.h"
#include "support/TempDir.h"

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

class TFakeSocket final : public IClientSocket {
public:
    explicit TFakeSocket(bool& open) : open_(open) {}
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }

private:
    bool& open_;
};

// A data manager that is there (or not) and records what it is told.
class TRecordingDataManager final : public IDataManagerLinkFactory, public IQuarzelAutoObject {
public:
    std::unique_ptr<IQuarzelAutoObject> Create() override
    {
        ++creations;
        if (!available) throw EDataManagerError("not running");
        return std::make_unique<TForward>(*this);
    }
    void NotifyDataChanged() override { calls.push_back("NotifyDataChanged"); }
    void SetCollectorState(std::int32_t source, std::int32_t state) override
    {
        calls.push_back("SetCollectorState " + std::to_string(source) + " " + std::to_string(state));
    }
    void AddValue(std::string_view patientId, std::string_view label, std::string_view unit, double,
                  double value) override
    {
        calls.push_back("AddValue " + std::string(patientId) + " " + std::string(label) + " " + std::string(unit) +
                        " " + std::to_string(value));
    }
    void AddDelimiter(std::int32_t, std::string_view label, std::string_view unit, double, std::int32_t) override
    {
        calls.push_back("AddDelimiter " + std::string(label) + " " + std::string(unit));
    }

    bool available = true;
    int creations = 0;
    std::vector<std::string> calls;

private:
    // The link owns its object; this one forwards to the recorder the test keeps.
    class TForward final : public IQuarzelAutoObject {
    public:
        explicit TForward(TRecordingDataManager& to) : to_(to) {}
        void NotifyDataChanged() override { to_.NotifyDataChanged(); }
        void SetCollectorState(std::int32_t s, std::int32_t t) override { to_.SetCollectorState(s, t); }
        void AddValue(std::string_view p, std::string_view l, std::string_view u, double t, double v) override
        {
            to_.AddValue(p, l, u, t, v);
        }
        void AddDelimiter(std::int32_t s, std::string_view l, std::string_view u, double t, std::int32_t r) override
        {
            to_.AddDelimiter(s, l, u, t, r);
        }

    private:
        TRecordingDataManager& to_;
    };
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
        env.centralStationSocket = [this] { return std::make_unique<TFakeSocket>(socketOpen); };
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
    bool socketOpen = false;
    TEnvironment env;
    std::unique_ptr<TfrmCollectData> form;
};

// One central-station message of patient 4711 with a heart rate, handled as the reader hands it over.
inline void ReceiveHeartRate(TfrmCollectData& form, const std::string& hr)
{
    form.Cycle().CompleteMessageReceived();
    form.Messages().SegmentList() = {"MSH|^~\\&|CS|WARD|||20240506070809||ORU^R01|1|P|2.3", "PID|1||4711||Doe^Jane",
                                     "OBR|1|||MON|||20240506070809", "OBX|1|NM|0002-4182^HR^MDIL||" + hr + "|bpm"};
    form.Messages().DecodeMessage();
}

// How many recorded calls begin with `prefix`.
inline int CountCalls(const std::vector<std::string>& calls, const std::string& prefix)
{
    return static_cast<int>(
        std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

}  // namespace halcyra::test
