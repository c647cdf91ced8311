// One entry of the exclusion list or of the parameter dialog's lists.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

class TParamAndIndexConnection {
public:
    TParamAndIndexConnection() = default;
    TParamAndIndexConnection(std::int32_t code, std::string label);
    virtual ~TParamAndIndexConnection() = default;
    TParamAndIndexConnection(const TParamAndIndexConnection&) = default;
    TParamAndIndexConnection& operator=(const TParamAndIndexConnection&) = default;

    std::int32_t Code() const { return code_; }
    void SetCode(std::int32_t code) { code_ = code; }
    // The identity and display text.
    const std::string& Label() const { return label_; }
    // The text written to the registry; always the same as the label.
    const std::string& SavedLabel() const { return savedLabel_; }
    void SetLabel(std::string label);

    // Copies code, saved label and label into `target`.
    virtual void AssignTo(TParamAndIndexConnection& target) const;
    // Same class and the same label (case-sensitive); the code is not compared.
    virtual bool Equals(const TParamAndIndexConnection& other) const;

private:
    std::int32_t code_ = 0;
    std::string label_;
    std::string savedLabel_;
};

using TParamList = std::vector<TParamAndIndexConnection>;

// True when an entry has exactly this label (case-sensitive).
bool IsExcluded(const TParamList& excluded, std::string_view label);

}  // namespace halcyra
