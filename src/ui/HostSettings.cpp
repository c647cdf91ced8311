#include "ui/HostSettings.h"

#include <algorithm>

namespace halcyra {

THostSettings LoadHostSettings(TSettingsStore& store)
{
    THostSettings s;
    s.settingsOrigin = store.SettingsRoot();
    s.autoHide = store.ReadRegBool(setting::AutoHide);
    s.autoStart = store.ReadRegBool(setting::AutoStart);
    s.autoCreate = store.ReadRegBool(setting::AutoCreate);
    s.filterMR = store.ReadRegBool(setting::FilterMR);
    s.patientIDReduction = static_cast<std::uint8_t>(store.ReadRegInteger(setting::PatientIDReduction));
    s.nrOfChars = store.ReadRegInteger(setting::NrOfChars);
    s.dataSourceIsCentralStation = store.ReadRegBool(setting::DataSourceIsCentralStation);
    s.isAddress = store.ReadRegBool(setting::IsAddress);
    (s.isAddress ? s.address : s.name) = store.ReadRegString(setting::IPString);
    s.velgardCommunication = !store.ReadRegBool(setting::NoVelgard);
    s.enableDefaultUnits = store.ReadRegBool(setting::EnableDefaultUnits);
    return s;
}

bool StoreHostSettings(TSettingsStore& store, const THostSettings& s, const THostSettingsEffects& effects)
{
    if (s.settingsOrigin != store.SettingsRoot()) store.RelocateSettingsRoot(s.settingsOrigin);
    store.WriteRegBool(setting::AutoHide, s.autoHide);
    store.WriteRegBool(setting::AutoStart, s.autoStart);
    store.WriteRegBool(setting::AutoCreate, s.autoCreate);
    store.WriteRegBool(setting::FilterMR, s.filterMR);
    const bool filterMR = store.ReadRegBool(setting::FilterMR);
    store.WriteRegBool(setting::NoVelgard, !s.velgardCommunication);
    store.WriteRegBool(setting::EnableDefaultUnits, s.enableDefaultUnits);
    store.WriteRegInteger(setting::PatientIDReduction, s.patientIDReduction);
    store.WriteRegInteger(setting::NrOfChars, s.nrOfChars);
    store.WriteRegBool(setting::DataSourceIsCentralStation, s.dataSourceIsCentralStation);
    if (effects.closeSockets) effects.closeSockets();
    store.WriteRegBool(setting::IsAddress, s.isAddress);
    store.WriteRegString(setting::IPString, s.isAddress ? AddressWithoutBlanks(s.address) : s.name);
    if (effects.connect) effects.connect();
    return filterMR;
}

std::string AddressWithoutBlanks(std::string_view masked)
{
    std::string address(masked);
    std::erase(address, ' ');
    return address;
}

}  // namespace halcyra
