#include "params/FilterChoice.h"
#include "params/Parameter.h"

#include <gtest/gtest.h>

namespace halcyra {
namespace {

TEST(Parameters, FirstObservationFixesLabelAndUnit)
{
    TParameters table;
    TParameter* hr = table.Append(147842, "HR", "/min", 10.0);
    ASSERT_NE(hr, nullptr);
    EXPECT_EQ(table.Append(147842, "Pulse", "bpm", 11.0), nullptr);
    ASSERT_EQ(table.Count(), 1u);
    EXPECT_EQ(table[0].Label(), "HR");
    EXPECT_EQ(table[0].LongName(), "HR");
    EXPECT_EQ(table[0].Unit(), "/min");
    EXPECT_EQ(table[0].Created(), 10.0);
    EXPECT_EQ(table[0].Medians().Count(), 0u);

    // References stay valid while the table grows, and look-ups go by code.
    for (int code = 0; code < 1000; ++code) table.Append(code, "P" + std::to_string(code), "", 0);
    EXPECT_EQ(hr, table.Find(147842));
    EXPECT_EQ(table.Find(999)->Label(), "P999");
    EXPECT_EQ(table.Find(-1), nullptr);
    EXPECT_TRUE(table.IsKnown(-1) == false && table.IsKnown(500));
}

TEST(Parameters, CollectedFlagsClearExcludedCodes)
{
    TParameters table;
    table.Append(1, "HR", "", 0);
    table.Append(2, "SpO2", "", 0);
    table.Append(3, "RR", "", 0);
    table.SetAllCollected();
    table.ClearCollected({TParamAndIndexConnection(2, "anything"), TParamAndIndexConnection(99, "RR")});
    EXPECT_TRUE(table[0].Collected());
    EXPECT_FALSE(table[1].Collected());  // matched by code, not label
    EXPECT_TRUE(table[2].Collected());
}

TEST(Parameters, DialogEntriesAndLongNames)
{
    TParameters table;
    table.Append(5, "", "", 0);
    table.Append(1, "NBPs", "mmHg", 0);
    table.Append(2, "NBP", "mmHg", 0);
    const TParamList entries = table.AllKnownParameters();
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1].Code(), 1);
    EXPECT_EQ(entries[1].Label(), "NBPs");
    EXPECT_EQ(entries[1].SavedLabel(), "NBPs");

    EXPECT_EQ(table.LongNameOf("NBP"), "NBP");
    EXPECT_EQ(table.LongNameOf("NBPs"), "NBPs");  // the first in table order wins
    EXPECT_EQ(table.LongNameOf("HR"), "");
}

TEST(Parameters, ConnectionEntriesCompareByLabel)
{
    TParamAndIndexConnection a(1, "HR");
    TParamAndIndexConnection b(2, "HR");
    TParamAndIndexConnection c(1, "hr");
    EXPECT_TRUE(a.Equals(b));
    EXPECT_FALSE(a.Equals(c));

    TParamAndIndexConnection copy;
    c.AssignTo(copy);
    EXPECT_EQ(copy.Code(), 1);
    EXPECT_EQ(copy.Label(), "hr");
    EXPECT_EQ(copy.SavedLabel(), "hr");
    copy.SetLabel("RR");
    EXPECT_EQ(copy.SavedLabel(), "RR");
}

TEST(FilterChoice, StoredTextSelectsTheRadioItem)
{
    struct Case {
        std::optional<std::string_view> text;
        TFilterFunction expected;
    };
    const Case cases[] = {
        {std::nullopt, ffMedian},
        {"", ffMedian},
        {"MEDIAN", ffMedian},
        {"average", ffAverage},
        {"Average", ffAverage},
        {" average", ffMedian},
        {"Momentary", ffMomentary},
        {"xxmomentyy", ffMomentary},
        {"AVERAGE MOMENT", ffMomentary},
    };
    for (const Case& c : cases) EXPECT_EQ(FilterFunctionFromText(c.text), c.expected) << (c.text ? *c.text : "absent");
}

}  // namespace
}  // namespace halcyra
