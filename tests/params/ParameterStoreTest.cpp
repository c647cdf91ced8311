#include "params/ParameterModel.h"
#include "params/ParameterStore.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <functional>

namespace halcyra {
namespace {

class ParameterStoreTest : public ::testing::Test {
protected:
    test::TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore settings{*registry};
    TRegistryHive& hive = registry->CurrentUser();

    void Put(std::string_view name, std::string_view value) { hive.WriteString(kProgramKey, name, value); }
};

TEST_F(ParameterStoreTest, FirstShowLoadsExclusionsFilterAndAutomatic)
{
    Put("Param0", "147842");
    Put("Name147842", "HR");
    Put("Param1", "150456");  // no "Name150456": empty label
    Put("Param3", "7");       // after a gap: not read
    Put("Name7", "RR");
    Put("FilterFunction", "momentary");

    TParameterModel model(settings);
    model.LoadFirstShow();
    ASSERT_EQ(model.ExcludedParams().size(), 2u);
    EXPECT_EQ(model.ExcludedParams()[0].Code(), 147842);
    EXPECT_EQ(model.ExcludedParams()[0].Label(), "HR");
    EXPECT_EQ(model.ExcludedParams()[0].SavedLabel(), "HR");
    EXPECT_EQ(model.ExcludedParams()[1].Code(), 150456);
    EXPECT_EQ(model.ExcludedParams()[1].Label(), "");
    EXPECT_EQ(model.FilterFunction(), ffMomentary);
    EXPECT_TRUE(model.Automatic());  // absent means true

    hive.WriteDword(kProgramKey, "Automatic", 0);
    TParameterModel again(settings);
    again.LoadFirstShow();
    EXPECT_FALSE(again.Automatic());
}

TEST_F(ParameterStoreTest, ReadErrorEndsTheLoadAndAutomaticStaysFalse)
{
    struct Case {
        const char* what;
        std::function<void(TRegistryHive&)> setup;
    };
    const Case cases[] = {
        {"non-numeric Param", [](TRegistryHive& h) { h.WriteString(kProgramKey, "Param1", "12a"); }},
        {"Param of DWORD type", [](TRegistryHive& h) { h.WriteDword(kProgramKey, "Param1", 5); }},
        {"Name of DWORD type",
         [](TRegistryHive& h) {
             h.WriteString(kProgramKey, "Param1", "5");
             h.WriteDword(kProgramKey, "Name5", 5);
         }},
        {"Automatic stored as text", [](TRegistryHive& h) { h.WriteString(kProgramKey, "Automatic", "1"); }},
    };
    for (const Case& c : cases) {
        for (const std::string& name : hive.GetValueNames(kProgramKey)) hive.DeleteValue(kProgramKey, name);
        Put("Param0", "1");
        Put("Name1", "HR");
        Put("FilterFunction", "Average");
        c.setup(hive);

        TParameterModel model(settings);
        model.LoadFirstShow();
        EXPECT_EQ(model.ExcludedParams().size(), 1u) << c.what;  // the entry before the error stays
        EXPECT_FALSE(model.Automatic()) << c.what;
        // The filter choice is read after the list: only the last case gets that far.
        EXPECT_EQ(model.FilterFunction(), std::string_view(c.what) == "Automatic stored as text" ? ffAverage : ffMedian)
            << c.what;
    }
}

TEST_F(ParameterStoreTest, SavingAShorterListLeavesNothingStale)
{
    Put("Param0", "1");
    Put("Param1", "2");
    Put("Param2", "3");
    Put("Name1", "HR");
    Put("Name2", "SpO2");
    Put("Name3", "RR");
    Put("param7", "9");  // registry names ignore case: these are part of the old list too
    Put("NAME9", "Pulse");
    Put("Interval", "kept");

    TParameterModel model(settings);
    model.SaveAsDefault({TParamAndIndexConnection(150456, "TEMP")}, false);
    const std::vector<std::string> names = hive.GetValueNames(kProgramKey);
    EXPECT_EQ(names, (std::vector<std::string>{"Interval", "Param0", "Name150456", "Automatic"}));
    EXPECT_EQ(hive.ReadString(kProgramKey, "Param0"), "150456");
    EXPECT_EQ(hive.ReadString(kProgramKey, "Name150456"), "TEMP");
    EXPECT_EQ(hive.ReadDword(kProgramKey, "Automatic"), 0u);

    TParameterModel loaded(settings);
    loaded.LoadFirstShow();
    ASSERT_EQ(loaded.ExcludedParams().size(), 1u);
    EXPECT_TRUE(loaded.ExcludedParams()[0].Equals(TParamAndIndexConnection(150456, "TEMP")));
    EXPECT_FALSE(loaded.Automatic());

    // With "Automatic Parameters" checked only Automatic is written; the list stays.
    loaded.SaveAsDefault({}, true);
    EXPECT_EQ(hive.ReadDword(kProgramKey, "Automatic"), 1u);
    EXPECT_EQ(hive.ReadString(kProgramKey, "Param0"), "150456");
}

TEST_F(ParameterStoreTest, RegisteredParametersAndCollectedFlags)
{
    Put("Param0", "2");
    Put("Name2", "SpO2");
    TParameterModel model(settings);
    model.LoadFirstShow();

    EXPECT_TRUE(model.RegisterParameter(1, "HR", "/min", 100.0));
    EXPECT_TRUE(model.RegisterParameter(2, "SpO2", "%", 100.0));
    EXPECT_FALSE(model.RegisterParameter(1, "Pulse", "bpm", 101.0));
    EXPECT_EQ(model.CollectedCount(), 1);  // SpO2 is excluded
    EXPECT_EQ(model.Parameters().Find(1)->Label(), "HR");
    EXPECT_EQ(model.Parameters().Find(1)->Unit(), "/min");

    model.ApplyCollectedFlags();
    EXPECT_TRUE(model.Parameters().Find(1)->Collected());
    EXPECT_FALSE(model.Parameters().Find(2)->Collected());
}

TEST_F(ParameterStoreTest, ARunRegistersAtMostItsCapOfParameters)
{
    TParameterModel model(settings);
    for (std::int32_t code = 0; code < static_cast<std::int32_t>(kMaxParametersPerRun); ++code)
        EXPECT_TRUE(model.RegisterParameter(code, "P" + std::to_string(code), "u", 100.0));
    EXPECT_EQ(model.RefusedParameters(), 0u);
    EXPECT_FALSE(model.RegisterParameter(-1, "Late", "u", 100.0));
    EXPECT_FALSE(model.RegisterParameter(-1, "Late", "u", 100.0));
    EXPECT_FALSE(model.RegisterParameter(5, "P5", "u", 100.0));  // a known one is no refusal
    EXPECT_EQ(model.RefusedParameters(), 2u);
    EXPECT_EQ(model.Parameters().Count(), kMaxParametersPerRun);
    EXPECT_FALSE(model.Parameters().IsKnown(-1));
    EXPECT_EQ(model.CollectedCount(), static_cast<int>(kMaxParametersPerRun));
}

}  // namespace
}  // namespace halcyra
