#include "params/ParameterModel.h"
#include "params/ParameterSelection.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halcyra {
namespace {

using TSide = TParameterSelection::TSide;

std::vector<std::string> Labels(const TParameterSelection& selection, TSide side)
{
    std::vector<std::string> labels;
    for (const TParamAndIndexConnection* line : selection.Lines(side)) labels.push_back(line->Label());
    return labels;
}

std::vector<std::string> Labels(const TParamList& list)
{
    std::vector<std::string> labels;
    for (const TParamAndIndexConnection& entry : list) labels.push_back(entry.Label());
    return labels;
}

class ParameterSelectionTest : public ::testing::Test {
protected:
    ParameterSelectionTest()
    {
        parameters.Append(1, "SpO2", "%", 0);
        parameters.Append(2, "HR", "bpm", 0);
        parameters.Append(3, "NBP-S", "mmHg", 0);
        parameters.Append(4, "awRR", "rpm", 0);
    }
    TParameters parameters;
};

TEST_F(ParameterSelectionTest, FillSplitsSortedAndDropsExclusionsNotReportedSinceStartUp)
{
    // "Temp" was stored as excluded but has not been reported: the dialog no longer shows it.
    const TParamList excluded{{3, "NBP-S"}, {99, "Temp"}, {2, "HR"}};
    TParameterSelection selection;
    selection.Fill(excluded, parameters);
    EXPECT_EQ(Labels(selection, TSide::Available), (std::vector<std::string>{"HR", "NBP-S"}));
    EXPECT_EQ(Labels(selection, TSide::Chosen), (std::vector<std::string>{"awRR", "SpO2"}));
    EXPECT_EQ(Labels(selection.ExclusionList()), (std::vector<std::string>{"NBP-S", "HR"}));
}

TEST_F(ParameterSelectionTest, MovesKeepTheExclusionListEqualToTheAvailableSide)
{
    struct TCase {
        const char* name;
        TSide from;
        std::vector<std::size_t> rows;
        bool all;
        std::vector<std::string> available;
        std::vector<std::string> chosen;
        std::vector<std::string> exclusion;  // in order of arrival
    };
    // Start: available HR, NBP-S (excluded in that order: NBP-S, HR); chosen awRR, SpO2.
    const std::vector<TCase> cases{
        {"one chosen line", TSide::Chosen, {1}, false, {"HR", "NBP-S", "SpO2"}, {"awRR"}, {"NBP-S", "HR", "SpO2"}},
        {"two chosen lines, last first",
         TSide::Chosen,
         {0, 1},
         false,
         {"awRR", "HR", "NBP-S", "SpO2"},
         {},
         {"NBP-S", "HR", "SpO2", "awRR"}},
        {"one available line", TSide::Available, {0}, false, {"NBP-S"}, {"awRR", "HR", "SpO2"}, {"NBP-S"}},
        {"all available", TSide::Available, {}, true, {}, {"awRR", "HR", "NBP-S", "SpO2"}, {}},
        {"all chosen", TSide::Chosen, {}, true, {"awRR", "HR", "NBP-S", "SpO2"}, {}, {"NBP-S", "HR", "SpO2", "awRR"}},
        {"nothing selected", TSide::Chosen, {}, false, {"HR", "NBP-S"}, {"awRR", "SpO2"}, {"NBP-S", "HR"}},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.name);
        TParameterSelection selection;
        selection.Fill({{3, "NBP-S"}, {2, "HR"}}, parameters);
        selection.Move(c.from, c.rows, c.all);
        EXPECT_EQ(Labels(selection, TSide::Available), c.available);
        EXPECT_EQ(Labels(selection, TSide::Chosen), c.chosen);
        EXPECT_EQ(Labels(selection.ExclusionList()), c.exclusion);
        EXPECT_EQ(Labels(selection.AvailableInDisplayOrder()), c.available);
    }
}

TEST_F(ParameterSelectionTest, AnExclusionKeepsItsStoredCodeAndTakesOneParameterOfItsLabel)
{
    // Two codes reported under one label: the exclusion takes the later one off the chosen side.
    parameters.Append(5, "HR", "bpm", 0);
    TParameterSelection selection;
    selection.Fill({{77, "HR"}}, parameters);
    ASSERT_EQ(selection.ExclusionList().size(), 1u);
    EXPECT_EQ(selection.ExclusionList()[0].Code(), 77);
    EXPECT_EQ(selection.ExclusionList()[0].SavedLabel(), "HR");
    EXPECT_EQ(Labels(selection, TSide::Chosen), (std::vector<std::string>{"awRR", "HR", "NBP-S", "SpO2"}));
    EXPECT_EQ(selection.Lines(TSide::Chosen)[1]->Code(), 2);
}

TEST_F(ParameterSelectionTest, SetAsDefaultStoresExactlyTheAvailableLinesAndLeavesTheRunningListAlone)
{
    test::TTempDir dir;
    const auto registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore settings(*registry);
    TRegistryHive& hive = registry->CurrentUser();
    // A longer list stored earlier: its tail must not survive.
    for (int i = 0; i < 4; ++i) {
        hive.WriteString(kProgramKey, "Param" + std::to_string(i), std::to_string(i + 1));
        hive.WriteString(kProgramKey, "Name" + std::to_string(i + 1), "old" + std::to_string(i));
    }
    TParameterModel model(settings);
    model.Parameters().Append(1, "SpO2", "%", 0);
    model.Parameters().Append(2, "HR", "bpm", 0);
    model.ExcludedParams() = {{1, "SpO2"}, {2, "HR"}};

    TParameterSelection selection;
    selection.Fill(model.ExcludedParams(), model.Parameters());
    selection.Move(TSide::Available, {1}, false);  // "SpO2" back to the chosen side
    model.SaveAsDefault(selection.ExclusionList(), false);

    const std::vector<std::string> names = hive.GetValueNames(kProgramKey);
    EXPECT_EQ(names, (std::vector<std::string>{"Param0", "Name2", "Automatic"}));
    EXPECT_EQ(hive.ReadString(kProgramKey, "Param0"), "2");
    EXPECT_EQ(hive.ReadString(kProgramKey, "Name2"), "HR");
    EXPECT_EQ(hive.ReadDword(kProgramKey, "Automatic"), 0u);
    EXPECT_EQ(Labels(model.ExcludedParams()), (std::vector<std::string>{"SpO2", "HR"}));
}

}  // namespace
}  // namespace halcyra
