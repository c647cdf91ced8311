// The rules of the parameter dialog without its widgets: the parameters seen so far split into the
// "Available Parameters" side (excluded) and the "Chosen Parameters" side (collected), the moves between
// them, and the dialog's own exclusion list that "Set As Default" stores.
#pragma once

#include "params/ParamAndIndexConnection.h"
#include "params/Parameter.h"

#include <cstddef>
#include <deque>
#include <vector>

namespace halcyra {

class TParameterSelection {
public:
    enum class TSide { Available, Chosen };

    // Copies the exclusion list and splits the known parameters. An exclusion whose label no known
    // parameter carries is dropped: the dialog shows only what was reported since start-up.
    void Fill(const TParamList& excluded, const TParameters& parameters);

    // The lines of a side, in display order (sorted by label ignoring ASCII case, then exactly).
    std::vector<const TParamAndIndexConnection*> Lines(TSide side) const;
    std::size_t Count(TSide side) const { return List(side).size(); }

    // Moves the lines at these rows (all lines when `all`) to the other side, the last first.
    void Move(TSide from, const std::vector<std::size_t>& rows, bool all = false);

    // The dialog's exclusion list: the "Available Parameters" side in the order the entries got there.
    TParamList ExclusionList() const;
    // What OK makes the running exclusion list: the "Available Parameters" lines in display order.
    TParamList AvailableInDisplayOrder() const;

private:
    std::vector<std::size_t>& List(TSide side) { return side == TSide::Available ? available_ : chosen_; }
    const std::vector<std::size_t>& List(TSide side) const { return side == TSide::Available ? available_ : chosen_; }
    void Sort(std::vector<std::size_t>& list) const;

    std::deque<TParamAndIndexConnection> entries_;  // every entry the dialog owns, by index
    std::vector<std::size_t> available_;            // display order
    std::vector<std::size_t> chosen_;               // display order
    std::vector<std::size_t> exclusion_;            // the dialog's exclusion list, in order of arrival
};

}  // namespace halcyra
