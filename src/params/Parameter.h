// The parameters seen since start-up: one per code, label and unit from the first observation.
#pragma once

#include "params/ParamAndIndexConnection.h"
#include "platform/DateTime.h"

#include <cstddef>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace halcyra {

// The most distinct parameters (and new default-unit labels) one run takes. A monitor has a few dozen; the
// bound keeps a station that invents labels from growing the tables and the stored units without end.
inline constexpr std::size_t kMaxParametersPerRun = 1000;

struct TMedianSample {
    double value = 0;
    TDateTime time = 0;
};

// Samples of one interval for a median filter. The stored value is always the momentary one, so nothing
// is ever added; the list exists because every parameter owns one.
class TMedianList {
public:
    void Add(const TMedianSample& sample) { items_.push_back(sample); }
    void Clear() { items_.clear(); }
    std::size_t Count() const { return items_.size(); }

private:
    std::vector<TMedianSample> items_;
};

class TParameter {
public:
    TParameter(std::int32_t code, std::string label, std::string unit, TDateTime created);

    std::int32_t Code() const { return code_; }
    // The name shown in hints; the same text as Label().
    const std::string& LongName() const { return longName_; }
    // The name used for exclusion matching, series names and dialog lists.
    const std::string& Label() const { return label_; }
    const std::string& Unit() const { return unit_; }
    TDateTime Created() const { return created_; }
    bool Collected() const { return collected_; }
    void SetCollected(bool collected) { collected_ = collected; }
    TMedianList& Medians() { return medians_; }

private:
    std::int32_t code_;
    std::string longName_;
    std::string label_;
    std::string unit_;
    TDateTime created_;
    bool collected_ = false;
    TMedianList medians_;
};

// In order of first arrival; never shrinks during a run. Looking a code up does not scan the list.
class TParameters {
public:
    bool IsKnown(std::int32_t code) const { return index_.count(code) != 0; }
    TParameter* Find(std::int32_t code);
    const TParameter* Find(std::int32_t code) const;
    // Appends a parameter for a new code and returns it; a known code changes nothing and gives null.
    TParameter* Append(std::int32_t code, std::string label, std::string unit, TDateTime created);

    std::size_t Count() const { return items_.size(); }
    TParameter& operator[](std::size_t i) { return items_[i]; }
    const TParameter& operator[](std::size_t i) const { return items_[i]; }
    auto begin() { return items_.begin(); }
    auto end() { return items_.end(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }

    void SetAllCollected();
    // Clears the flag of the parameter whose code matches each entry.
    void ClearCollected(const TParamList& entries);

    // Every parameter as a dialog entry (code and label), in table order.
    TParamList AllKnownParameters() const;
    // The label of the first parameter whose (non-empty) label occurs in the line; empty when none does.
    std::string LongNameOf(std::string_view line) const;

private:
    std::deque<TParameter> items_;  // a deque keeps references stable as it grows
    std::unordered_map<std::int32_t, std::size_t> index_;
};

}  // namespace halcyra
