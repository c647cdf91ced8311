#include "params/ParameterSelection.h"

#include "platform/Text.h"

#include <algorithm>

namespace halcyra {

void TParameterSelection::Fill(const TParamList& excluded, const TParameters& parameters)
{
    entries_.clear();
    available_.clear();
    chosen_.clear();
    exclusion_.clear();
    std::vector<std::size_t> known;
    for (const TParamAndIndexConnection& entry : excluded) {
        exclusion_.push_back(entries_.size());
        entries_.push_back(entry);
    }
    for (const TParamAndIndexConnection& entry : parameters.AllKnownParameters()) {
        known.push_back(entries_.size());
        entries_.push_back(entry);
    }
    // Each exclusion takes the last known parameter with its label off the collected side.
    for (std::size_t i = exclusion_.size(); i-- > 0;) {
        TParamAndIndexConnection& entry = entries_[exclusion_[i]];
        const auto match =
            std::find_if(known.rbegin(), known.rend(), [&](std::size_t k) { return entries_[k].Equals(entry); });
        if (match == known.rend()) {
            exclusion_.erase(exclusion_.begin() + static_cast<std::ptrdiff_t>(i));
            continue;
        }
        entry.SetLabel(entries_[*match].Label());
        known.erase(std::next(match).base());
    }
    chosen_ = known;
    available_ = exclusion_;
    Sort(chosen_);
    Sort(available_);
}

void TParameterSelection::Sort(std::vector<std::size_t>& list) const
{
    std::stable_sort(list.begin(), list.end(), [this](std::size_t a, std::size_t b) {
        const std::string la = UpperAscii(entries_[a].Label());
        const std::string lb = UpperAscii(entries_[b].Label());
        if (la != lb) return la < lb;
        return entries_[a].Label() < entries_[b].Label();
    });
}

std::vector<const TParamAndIndexConnection*> TParameterSelection::Lines(TSide side) const
{
    std::vector<const TParamAndIndexConnection*> lines;
    for (std::size_t index : List(side)) lines.push_back(&entries_[index]);
    return lines;
}

void TParameterSelection::Move(TSide from, const std::vector<std::size_t>& rows, bool all)
{
    std::vector<std::size_t>& source = List(from);
    std::vector<std::size_t>& target = List(from == TSide::Available ? TSide::Chosen : TSide::Available);
    for (std::size_t row = source.size(); row-- > 0;) {
        if (!all && std::find(rows.begin(), rows.end(), row) == rows.end()) continue;
        const std::size_t entry = source[row];
        target.push_back(entry);
        source.erase(source.begin() + static_cast<std::ptrdiff_t>(row));
        if (from == TSide::Chosen)
            exclusion_.push_back(entry);
        else
            std::erase(exclusion_, entry);
    }
    Sort(target);
}

TParamList TParameterSelection::ExclusionList() const
{
    TParamList list;
    for (std::size_t index : exclusion_) list.push_back(entries_[index]);
    return list;
}

TParamList TParameterSelection::AvailableInDisplayOrder() const
{
    TParamList list;
    for (std::size_t index : available_) list.push_back(entries_[index]);
    return list;
}

}  // namespace halcyra
