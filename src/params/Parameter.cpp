#include "params/Parameter.h"

namespace halcyra {

TParameter::TParameter(std::int32_t code, std::string label, std::string unit, TDateTime created)
    : code_(code), longName_(label), label_(std::move(label)), unit_(std::move(unit)), created_(created)
{
}

TParameter* TParameters::Find(std::int32_t code)
{
    const auto it = index_.find(code);
    return it == index_.end() ? nullptr : &items_[it->second];
}

const TParameter* TParameters::Find(std::int32_t code) const
{
    const auto it = index_.find(code);
    return it == index_.end() ? nullptr : &items_[it->second];
}

TParameter* TParameters::Append(std::int32_t code, std::string label, std::string unit, TDateTime created)
{
    if (IsKnown(code)) return nullptr;
    items_.emplace_back(code, std::move(label), std::move(unit), created);
    index_.emplace(code, items_.size() - 1);
    return &items_.back();
}

void TParameters::SetAllCollected()
{
    for (TParameter& parameter : items_) parameter.SetCollected(true);
}

void TParameters::ClearCollected(const TParamList& entries)
{
    for (const TParamAndIndexConnection& entry : entries)
        if (TParameter* parameter = Find(entry.Code())) parameter->SetCollected(false);
}

TParamList TParameters::AllKnownParameters() const
{
    TParamList list;
    list.reserve(items_.size());
    for (const TParameter& parameter : items_) list.emplace_back(parameter.Code(), parameter.Label());
    return list;
}

std::string TParameters::LongNameOf(std::string_view line) const
{
    // An empty label occurs in every line and names nothing.
    for (const TParameter& parameter : items_)
        if (!parameter.Label().empty() && line.find(parameter.Label()) != std::string_view::npos)
            return parameter.LongName();
    return {};
}

}  // namespace halcyra
