// The per-patient marks that say whether a patient's values of the current collect interval are written.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace halcyra {

struct TSavedData {
    bool saved = false;
    std::string patientID;
    std::string patientName;
};

// Entries are told apart by ID and name together (case-sensitive). The list only grows.
class TSavedDataList {
public:
    // The inverse of the entry's mark; a patient without an entry gets one, already marked, and true, so
    // that a patient seen for the first time is written at once.
    bool IsNotYetSaved(std::string_view patientID, std::string_view patientName);
    // No effect for a patient without an entry.
    void MarkSaved(std::string_view patientID, std::string_view patientName, bool mark);
    void ClearSavedMarks();

    std::size_t Count() const { return items_.size(); }
    const TSavedData& operator[](std::size_t i) const { return items_[i]; }

private:
    static std::string Key(std::string_view patientID, std::string_view patientName);
    TSavedData* Find(std::string_view patientID, std::string_view patientName);

    std::vector<TSavedData> items_;
    std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace halcyra
