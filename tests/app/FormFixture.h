// A main window on a temporary registry and drive prefix, with a manual clock and scripted answers.
#pragma once

#include "app/CollectDataForm.h"
#include "support/TempDir.h"

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
};

class TFakeTrayShell final : public ITrayShell {
public:
    explicit TFakeTrayShell(TFakeTray& state) : state_(state) {}
    bool AddIcon(const QIcon&, const QString&) override
    {
        ++state_.adds;
        return state_.available;
    }
    bool DeleteIcon() override
    {
        ++state_.deletes;
        return true;
    }
    bool ModifyIcon(const QIcon&, const QString&) override
    {
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
        env.trayShell = [this] { return std::make_unique<TFakeTrayShell>(tray); };
        env.centralStationSocket = [this] { return std::make_unique<TFakeSocket>(socketOpen); };
        env.executablePath = "/opt/halcyra/bin/halcyra";
    }

    TfrmCollectData& Create()
    {
        form = std::make_unique<TfrmCollectData>(env);
        return *form;
    }

    TTempDir dir;
    TRegistry registry;
    TDriveMapping drives;
    TFileSystem files;
    TManualClock clock;
    TScriptedPrompter prompter;
    TFakeTray tray;
    bool socketOpen = false;
    TEnvironment env;
    std::unique_ptr<TfrmCollectData> form;
};

}  // namespace halcyra::test
