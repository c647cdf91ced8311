#include "params/ParameterModel.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace halcyra {
namespace {

class DefaultUnitsTest : public ::testing::Test {
protected:
    test::TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore settings{*registry};
    TRegistryHive& hive = registry->CurrentUser();
    const std::string key = TSettingsStore::ProgramSubkey("DefaultUnits");
};

TEST_F(DefaultUnitsTest, LoadCreatesTheSubkeyAndKeepsRegistryOrder)
{
    TParameterModel model(settings);
    model.LoadDefaultUnits();
    EXPECT_TRUE(hive.KeyExists(key));
    EXPECT_TRUE(model.DefaultUnits().Table().empty());
    EXPECT_EQ(model.DefaultUnits().Scratch().label, "Noname");

    hive.WriteString(key, "TEMP", "Cel");
    hive.WriteString(key, "HR", "/min");
    model.LoadDefaultUnits();
    ASSERT_EQ(model.DefaultUnits().Table().size(), 2u);
    EXPECT_EQ(model.DefaultUnits().Table()[0].label, "TEMP");
    EXPECT_EQ(model.DefaultUnits().Table()[1].unit, "/min");
}

TEST_F(DefaultUnitsTest, LookupIgnoresAsciiCase)
{
    hive.WriteString(key, "SPO2", "%");
    TDefaultUnits units(settings);
    units.Load();
    EXPECT_EQ(units.Lookup("SpO2"), "%");
    EXPECT_EQ(units.Lookup("spo2"), "%");
    EXPECT_EQ(units.Lookup("SpO"), "");
    // Observations without a unit take it only when default units are enabled.
    EXPECT_EQ(units.ResolveUnit("spo2", "", true), "%");
    EXPECT_EQ(units.ResolveUnit("spo2", "", false), "");
}

TEST_F(DefaultUnitsTest, ObservedUnitsAreTrimmedAndNewPairsStored)
{
    hive.WriteString(key, "HR", "/min");
    TDefaultUnits units(settings);
    units.Load();

    // A pair the table knows (label ignoring case, unit exactly) is not written: with the value removed
    // behind the table's back it stays removed.
    hive.DeleteValue(key, "HR");
    EXPECT_EQ(units.ResolveUnit("hr", " /min\t", true), "/min");
    EXPECT_FALSE(hive.ValueExists(key, "HR"));
    EXPECT_EQ(units.ResolveUnit("HR", "/MIN", true), "/MIN");  // the unit compares exactly
    EXPECT_FALSE(hive.ValueExists(key, "HR"));                 // until the flush
    EXPECT_TRUE(units.Flush());
    EXPECT_EQ(hive.ReadString(key, "HR"), "/MIN");

    EXPECT_EQ(units.ResolveUnit("TEMP",
                                "\x01"
                                "Cel ",
                                false),
              "Cel");
    units.Flush();
    EXPECT_EQ(hive.ReadString(key, "TEMP"), "Cel");

    EXPECT_EQ(units.ResolveUnit("HR", "bpm", true), "bpm");  // same label, other unit: stored over it
    units.Flush();
    EXPECT_EQ(hive.ReadString(key, "HR"), "bpm");

    EXPECT_EQ(units.ResolveUnit("RR", "  ", true), "");  // blanks only: nothing to store
    EXPECT_FALSE(units.Flush());
    EXPECT_FALSE(hive.ValueExists(key, "RR"));
}

// Each store rewrites the hive file: a message allows a few, and a pair this run stored last for its label
// is not stored again, so it does not take a new pair's place.
TEST_F(DefaultUnitsTest, StoresAreLimitedAndAPairStoredLastIsNotStoredAgain)
{
    TDefaultUnits units(settings);
    units.Load();
    units.AllowStores(2);
    EXPECT_EQ(units.ResolveUnit("HR", "bpm", true), "bpm");
    EXPECT_EQ(units.ResolveUnit("hr", "bpm", true), "bpm");
    EXPECT_EQ(units.ResolveUnit("SpO2", "%", true), "%");
    EXPECT_EQ(units.ResolveUnit("RR", "rpm", true), "rpm");  // over the limit: taken, not stored
    units.Flush();
    EXPECT_EQ(hive.GetValueNames(key), (std::vector<std::string>{"HR", "SpO2"}));

    units.AllowStores(1);
    units.ResolveUnit("HR", "bpm", true);
    units.ResolveUnit("RR", "rpm", true);
    units.Flush();
    EXPECT_EQ(hive.ReadString(key, "RR"), "rpm");

    // Another unit for a label is stored over it, and the earlier one again over that.
    units.AllowStores(2);
    units.ResolveUnit("HR", "/min", true);
    units.ResolveUnit("HR", "bpm", true);
    units.Flush();
    EXPECT_EQ(hive.ReadString(key, "HR"), "bpm");
    EXPECT_EQ(hive.GetValueNames(key).size(), 3u);
}

// A stored pair takes its place in the table: the parameter's next observations write nothing, one without
// a unit takes it at once, and the next run reads it back.
TEST_F(DefaultUnitsTest, AStoredPairJoinsTheTableSoItIsWrittenOnce)
{
    hive.WriteString(key, "HR", "/min");
    TDefaultUnits units(settings);
    units.Load();
    int writes = 0;
    hive.SetBeforeReplaceHook([&writes](const std::filesystem::path&) { ++writes; });
    EXPECT_EQ(units.ResolveUnit("SpO2", "%", true), "%");
    EXPECT_EQ(units.ResolveUnit("hr", "bpm", true), "bpm");
    EXPECT_EQ(writes, 0);
    EXPECT_TRUE(units.Flush());
    EXPECT_EQ(writes, 1);  // both pairs with one rewrite

    TDefaultUnits restarted(settings);
    restarted.Load();
    EXPECT_EQ(restarted.Lookup("SPO2"), "%");
    EXPECT_EQ(restarted.Lookup("HR"), "bpm");

    // Without its file the hive reads as empty, so a store of any of these pairs would write it again.
    std::filesystem::remove(hive.File());
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(units.ResolveUnit("SPO2", " %", true), "%");
        EXPECT_EQ(units.ResolveUnit("HR", "bpm", true), "bpm");
        EXPECT_EQ(units.ResolveUnit("spo2", "", true), "%");
        EXPECT_FALSE(units.Flush());
    }
    EXPECT_EQ(writes, 1);
    EXPECT_FALSE(std::filesystem::exists(hive.File()));
    // The label keeps its place and the name the registry keeps for it; a new one joins at the end.
    ASSERT_EQ(units.Table().size(), 2u);
    EXPECT_EQ(units.Table()[0].label, "HR");
    EXPECT_EQ(units.Table()[0].unit, "bpm");
    EXPECT_EQ(units.Table()[1].label, "SpO2");

    // The unit seen last is the one stored, also when it goes back to an earlier one.
    EXPECT_EQ(units.ResolveUnit("HR", "/min", true), "/min");
    units.Flush();
    EXPECT_EQ(hive.ReadString(key, "HR"), "/min");
    EXPECT_EQ(writes, 2);
}

// A pair that could not be written waits for the next flush, with the unit seen last for its label.
TEST_F(DefaultUnitsTest, AFailedFlushKeepsItsPairsForTheNext)
{
    TDefaultUnits units(settings);
    units.Load();
    hive.SetBeforeReplaceHook([](const std::filesystem::path&) { throw std::runtime_error("disk full"); });
    units.ResolveUnit("HR", "bpm", true);
    units.ResolveUnit("SpO2", "%", true);
    EXPECT_FALSE(units.Flush());
    EXPECT_FALSE(hive.ValueExists(key, "HR"));
    units.ResolveUnit("hr", "/min", true);
    hive.SetBeforeReplaceHook({});
    EXPECT_TRUE(units.Flush());
    EXPECT_EQ(hive.GetValueNames(key), (std::vector<std::string>{"HR", "SpO2"}));
    EXPECT_EQ(hive.ReadString(key, "HR"), "/min");
    EXPECT_FALSE(units.Flush());
}

// New units wait: a flush is due at once, then again only after the pause, whatever the outcome.
TEST_F(DefaultUnitsTest, AFlushIsDueAtMostOnceInAWhile)
{
    int writes = 0;
    hive.SetBeforeReplaceHook([&writes](const std::filesystem::path&) { ++writes; });
    {
        TDefaultUnits units(settings);
        EXPECT_FALSE(units.FlushIfDue(100));  // nothing waits
        units.ResolveUnit("HR", "bpm", true);
        EXPECT_TRUE(units.FlushIfDue(100));
        units.ResolveUnit("SpO2", "%", true);
        EXPECT_FALSE(units.FlushIfDue(100 + kDefaultUnitsFlushSeconds - 0.5));
        EXPECT_FALSE(hive.ValueExists(key, "SpO2"));
        units.ResolveUnit("RR", "rpm", true);
        EXPECT_TRUE(units.FlushIfDue(100 + kDefaultUnitsFlushSeconds));
        EXPECT_EQ(writes, 2);
        EXPECT_EQ(hive.GetValueNames(key), (std::vector<std::string>{"HR", "SpO2", "RR"}));
        units.ResolveUnit("TEMP", "Cel", true);
    }
    // What waits at the end is written.
    EXPECT_EQ(writes, 3);
    EXPECT_EQ(hive.ReadString(key, "TEMP"), "Cel");
}

// A station that invents labels: the run adds its most, then takes further new labels' units without
// storing them; a known label's new unit is still stored.
TEST_F(DefaultUnitsTest, ARunAddsAtMostItsCapOfLabels)
{
    hive.WriteString(key, "HR", "/min");
    TDefaultUnits units(settings);
    units.Load();
    for (std::size_t i = 0; i < kMaxParametersPerRun + 5; ++i) {
        EXPECT_EQ(units.ResolveUnit("X" + std::to_string(i), "u", true), "u");
        if (i % kMaxUnitsStoredPerMessage == 0) units.Flush();
    }
    units.Flush();
    EXPECT_EQ(units.LabelsAdded(), kMaxParametersPerRun);
    EXPECT_EQ(units.LabelsNotStored(), 5u);
    EXPECT_EQ(units.Table().size(), kMaxParametersPerRun + 1);
    EXPECT_EQ(hive.GetValueNames(key).size(), kMaxParametersPerRun + 1);
    EXPECT_FALSE(hive.ValueExists(key, "X" + std::to_string(kMaxParametersPerRun)));
    EXPECT_EQ(units.ResolveUnit("hr", "bpm", true), "bpm");
    EXPECT_EQ(units.ResolveUnit("X3", "v", true), "v");
    units.Flush();
    EXPECT_EQ(hive.ReadString(key, "HR"), "bpm");
    EXPECT_EQ(hive.ReadString(key, "X3"), "v");
}

TEST_F(DefaultUnitsTest, ALookedUpUnitIsTakenAsItStandsAndNeverStored)
{
    hive.WriteString(key, "SpO2", " %\t");
    TDefaultUnits units(settings);
    units.Load();
    hive.DeleteValue(key, "SpO2");  // a store would bring it back

    EXPECT_EQ(units.ResolveUnit("SPO2", "", true), " %\t");
    EXPECT_EQ(units.ResolveUnit("SPO2", "", false), "");
    EXPECT_TRUE(hive.GetValueNames(key).empty());
    EXPECT_EQ(units.Scratch().label, "Noname");  // the scratch pair is left alone
}

}  // namespace
}  // namespace halcyra
