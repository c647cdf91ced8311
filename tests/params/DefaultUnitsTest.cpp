#include "params/ParameterModel.h"
#include "support/TempDir.h"

#include <gtest/gtest.h>

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
    EXPECT_EQ(hive.ReadString(key, "HR"), "/MIN");

    EXPECT_EQ(units.ResolveUnit("TEMP",
                                "\x01"
                                "Cel ",
                                false),
              "Cel");
    EXPECT_EQ(hive.ReadString(key, "TEMP"), "Cel");
    EXPECT_TRUE(units.Table().size() == 1u);  // the table in memory is not extended

    EXPECT_EQ(units.ResolveUnit("HR", "bpm", true), "bpm");  // same label, other unit: stored over it
    EXPECT_EQ(hive.ReadString(key, "HR"), "bpm");

    EXPECT_EQ(units.ResolveUnit("RR", "  ", true), "");  // blanks only: nothing to store
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
    EXPECT_EQ(hive.GetValueNames(key), (std::vector<std::string>{"HR", "SpO2"}));

    units.AllowStores(1);
    units.ResolveUnit("HR", "bpm", true);
    units.ResolveUnit("RR", "rpm", true);
    EXPECT_EQ(hive.ReadString(key, "RR"), "rpm");

    // Another unit for a label is stored over it, and the earlier one again over that.
    units.AllowStores(2);
    units.ResolveUnit("HR", "/min", true);
    units.ResolveUnit("HR", "bpm", true);
    EXPECT_EQ(hive.ReadString(key, "HR"), "bpm");
    EXPECT_EQ(hive.GetValueNames(key).size(), 3u);
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
