// What the message handling shows on the main window, and its two hand-offs: the relay forwarding and
// the parameter grid. The window implements the view; without a forwarder or grid those steps do nothing.
#pragma once

#include <string>
#include <string_view>

namespace halcyra {

class IMessageView {
public:
    virtual ~IMessageView() = default;
    // LabelVersionID: shown with the text for a header of another version, hidden and empty otherwise.
    virtual void ShowBadVersion(const std::string& text) = 0;
    virtual void HideVersion() = 0;
    // The hidden LabelParameter: the last numeric observation as "label = value unit".
    virtual void SetParameterLabel(const std::string& text) = 0;
    virtual void EnableParametersButton() = 0;
    // The check box "Save Data Stream".
    virtual bool SaveDataStream() const = 0;
    // The standard system beep.
    virtual void Beep() = 0;
};

// Every segment of every message handled goes on, re-framed, to the instances that take their stream
// from this one.
class IRelayForwarder {
public:
    virtual ~IRelayForwarder() = default;
    virtual void ForwardToClients(std::string_view bytes) = 0;
    // Whether anybody would receive what is forwarded now: without clients a message is not reframed.
    virtual bool HasClients() const { return true; }
};

// The values of the selected patient (or of every patient while none is selected).
class IParameterGrid {
public:
    virtual ~IParameterGrid() = default;
    // The connection is lost: nothing is shown.
    virtual void Clear() = 0;
    // A message of the shown patient begins: the grid is cleared and the patient named in its first column.
    virtual void ShowPatient(const std::string& patientID, const std::string& firstName,
                             const std::string& lastName) = 0;
    // One value line, "label = value unit".
    virtual void ShowValue(const std::string& text) = 0;
};

}  // namespace halcyra
