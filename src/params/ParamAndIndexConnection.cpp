#include "params/ParamAndIndexConnection.h"

#include <algorithm>
#include <typeinfo>

namespace halcyra {

TParamAndIndexConnection::TParamAndIndexConnection(std::int32_t code, std::string label) : code_(code)
{
    SetLabel(std::move(label));
}

void TParamAndIndexConnection::SetLabel(std::string label)
{
    savedLabel_ = label;
    label_ = std::move(label);
}

void TParamAndIndexConnection::AssignTo(TParamAndIndexConnection& target) const
{
    target.code_ = code_;
    target.savedLabel_ = savedLabel_;
    target.label_ = label_;
}

bool TParamAndIndexConnection::Equals(const TParamAndIndexConnection& other) const
{
    return typeid(*this) == typeid(other) && label_ == other.label_;
}

bool IsExcluded(const TParamList& excluded, std::string_view label)
{
    return std::any_of(excluded.begin(), excluded.end(),
                       [label](const TParamAndIndexConnection& entry) { return entry.Label() == label; });
}

}  // namespace halcyra
