#include "support/TempDir.h"
#include "ui/HostSettings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace halcyra {
namespace {

class HostSettingsTest : public ::testing::Test {
protected:
    THostSettings Chosen()
    {
        THostSettings s;
        s.autoHide = true;
        s.autoStart = false;
        s.autoCreate = true;
        s.filterMR = true;
        s.patientIDReduction = 2;
        s.nrOfChars = 7;
        s.dataSourceIsCentralStation = false;
        s.isAddress = true;
        s.address = "10. 0. 0.7  ";
        s.velgardCommunication = false;
        s.enableDefaultUnits = true;
        return s;
    }

    test::TTempDir dir;
    std::unique_ptr<TRegistry> registry = TRegistry::InDirectory(dir.Path());
    TSettingsStore store{*registry};
    std::vector<std::string> events;
    THostSettingsEffects effects{
        [this] { events.push_back("close after " + registry->CurrentUser().GetValueNames(kProgramKey).back()); },
        [this] { events.push_back("connect after " + registry->CurrentUser().GetValueNames(kProgramKey).back()); }};
};

TEST_F(HostSettingsTest, OpensWithTheDefaultsOfAFreshRegistry)
{
    const THostSettings s = LoadHostSettings(store);
    EXPECT_EQ(s.settingsOrigin, THive::CurrentUser);
    EXPECT_FALSE(s.autoHide || s.autoStart || s.autoCreate || s.filterMR || s.enableDefaultUnits);
    EXPECT_EQ(s.patientIDReduction, 0);
    EXPECT_EQ(s.nrOfChars, 10);
    EXPECT_TRUE(s.dataSourceIsCentralStation);
    EXPECT_FALSE(s.isAddress);
    EXPECT_TRUE(s.velgardCommunication);
}

TEST_F(HostSettingsTest, TheStoredTextGoesToTheFieldOfTheStoredAddressMode)
{
    store.WriteRegString(setting::IPString, "cs-ward3");
    EXPECT_EQ(LoadHostSettings(store).name, "cs-ward3");
    EXPECT_EQ(LoadHostSettings(store).address, "");
    store.WriteRegBool(setting::IsAddress, true);
    EXPECT_EQ(LoadHostSettings(store).address, "cs-ward3");
    EXPECT_EQ(LoadHostSettings(store).name, "");
}

TEST_F(HostSettingsTest, OkStoresInOrderAndReconnectsAfterTheNewAddress)
{
    const bool filterMR = StoreHostSettings(store, Chosen(), effects);
    EXPECT_TRUE(filterMR);
    // A fresh key lists its values in the order they were written.
    EXPECT_EQ(registry->CurrentUser().GetValueNames(kProgramKey),
              (std::vector<std::string>{"AutoHide", "AutoStart", "AutoCreate", "FilterMR", "NoVelgard",
                                        "EnableDefaultUnits", "PatientIDReduction", "NrOfChars",
                                        "DataSourceIsCentralStation", "IsAddress", "IPString"}));
    EXPECT_EQ(events, (std::vector<std::string>{"close after DataSourceIsCentralStation", "connect after IPString"}));
    EXPECT_EQ(store.ReadRegString(setting::IPString), "10.0.0.7");
    EXPECT_TRUE(store.ReadRegBool(setting::NoVelgard));
    EXPECT_FALSE(store.ReadRegBool(setting::DataSourceIsCentralStation));
    EXPECT_EQ(store.ReadRegInteger(setting::PatientIDReduction), 2);
    EXPECT_EQ(store.ReadRegInteger(setting::NrOfChars), 7);
    EXPECT_FALSE(registry->LocalMachine().KeyExists(kProgramKey));  // the origin did not change

    // In name mode the name is stored as typed.
    THostSettings byName = Chosen();
    byName.isAddress = false;
    byName.name = " cs ward ";
    StoreHostSettings(store, byName, {});
    EXPECT_EQ(store.ReadRegString(setting::IPString), " cs ward ");
    EXPECT_FALSE(store.ReadRegBool(setting::IsAddress));
}

TEST_F(HostSettingsTest, ChoosingTheMachineOriginMovesEveryLaterWriteThere)
{
    store.WriteRegBool(setting::AutoStart, true);  // stored per user earlier
    THostSettings s = Chosen();
    s.settingsOrigin = THive::LocalMachine;
    StoreHostSettings(store, s, {});
    EXPECT_EQ(store.SettingsRoot(), THive::LocalMachine);
    TRegistryHive& machine = registry->LocalMachine();
    EXPECT_EQ(machine.ReadString(kProgramKey, "HKEY"), "LOCAL_MACHINE");
    EXPECT_EQ(machine.GetValueNames(kProgramKey).front(), "HKEY");
    EXPECT_EQ(machine.ReadDword(kProgramKey, "AutoHide"), 1u);
    EXPECT_EQ(machine.ReadString(kProgramKey, "IPString"), "10.0.0.7");
    // Per-user values stay where they were, and nothing else is written there.
    EXPECT_EQ(registry->CurrentUser().GetValueNames(kProgramKey), (std::vector<std::string>{"AutoStart"}));
    EXPECT_EQ(LoadHostSettings(store).settingsOrigin, THive::LocalMachine);

    s.settingsOrigin = THive::CurrentUser;
    StoreHostSettings(store, s, {});
    EXPECT_EQ(store.SettingsRoot(), THive::CurrentUser);
    EXPECT_EQ(machine.ReadString(kProgramKey, "HKEY"), "CURRENT_USER");
}

TEST(HostAddressTest, BlanksAreRemovedFromTheMaskedAddress)
{
    EXPECT_EQ(AddressWithoutBlanks("192.168.  1.  5"), "192.168.1.5");
    EXPECT_EQ(AddressWithoutBlanks("   .   .   .   "), "...");
    EXPECT_EQ(AddressWithoutBlanks("10.0.0.7"), "10.0.0.7");
}

}  // namespace
}  // namespace halcyra
