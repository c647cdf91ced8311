// The main window's three dialogs: the parameter dialog, the collect-interval dialog and the data-server
// settings dialog. Each runs modally through the prompter, at most once at a time, and its result is
// applied to the run here, so the window only forwards its button clicks.
#pragma once

#include "app/Prompter.h"

namespace halcyra {

class TfrmCollectData;

class TSettingsDialogs {
public:
    TSettingsDialogs(TfrmCollectData& form, IPrompter& prompter) : form_(form), prompter_(prompter) {}

    void btnParametersClick();
    void btnIntervalClick();
    void btnServerSelectClick();

    bool ParametersOpen() const { return parametersOpen_; }
    bool IntervalOpen() const { return intervalOpen_; }
    bool ServerSelectOpen() const { return serverSelectOpen_; }

private:
    TfrmCollectData& form_;
    IPrompter& prompter_;
    bool parametersOpen_ = false;
    bool intervalOpen_ = false;
    bool serverSelectOpen_ = false;
};

}  // namespace halcyra
