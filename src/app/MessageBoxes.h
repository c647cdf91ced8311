// Message boxes and questions, injected so that tests answer them and a run without a display logs them.
#pragma once

#include <string>

namespace halcyra {

class IMessageBoxes {
public:
    virtual ~IMessageBoxes() = default;
    // A Yes/No question; true for Yes.
    virtual bool AskYesNo(const std::string& text) = 0;
    virtual void ShowMessage(const std::string& text) = 0;
};

}  // namespace halcyra
