#include "app/SavedData.h"

namespace halcyra {

std::string TSavedDataList::Key(std::string_view patientID, std::string_view patientName)
{
    // The ID's length keeps ("ab", "c") and ("a", "bc") apart.
    std::string key = std::to_string(patientID.size());
    key += ':';
    key += patientID;
    key += patientName;
    return key;
}

TSavedData* TSavedDataList::Find(std::string_view patientID, std::string_view patientName)
{
    const auto it = index_.find(Key(patientID, patientName));
    return it == index_.end() ? nullptr : &items_[it->second];
}

bool TSavedDataList::IsNotYetSaved(std::string_view patientID, std::string_view patientName)
{
    if (const TSavedData* entry = Find(patientID, patientName)) return !entry->saved;
    index_.emplace(Key(patientID, patientName), items_.size());
    items_.push_back(TSavedData{true, std::string(patientID), std::string(patientName)});
    return true;
}

void TSavedDataList::MarkSaved(std::string_view patientID, std::string_view patientName, bool mark)
{
    if (TSavedData* entry = Find(patientID, patientName)) entry->saved = mark;
}

void TSavedDataList::ClearSavedMarks()
{
    for (TSavedData& entry : items_) entry.saved = false;
}

}  // namespace halcyra
