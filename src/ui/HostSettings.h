// The values the data-server settings dialog shows and stores, read from and written to the settings in
// the order the program relies on: the settings root moves first, so every later write lands under it.
#pragma once

#include "platform/Registry.h"
#include "settings/SettingsStore.h"

#include <cstdint>
#include <functional>
#include <string>

namespace halcyra {

struct THostSettings {
    THive settingsOrigin = THive::CurrentUser;
    bool autoHide = false;
    bool autoStart = false;
    bool autoCreate = false;
    bool filterMR = false;
    std::uint8_t patientIDReduction = 0;  // 0 none, 1 first characters, 2 last characters
    std::int32_t nrOfChars = 10;
    bool dataSourceIsCentralStation = true;
    bool isAddress = false;
    std::string address;               // "IPString" in address mode
    std::string name;                  // "IPString" in network-name mode
    bool velgardCommunication = true;  // the inverse of "NoVelgard"
    bool enableDefaultUnits = false;
};

// The stored settings as the dialog opens with them; the text of "IPString" goes to the field of the
// stored address mode.
THostSettings LoadHostSettings(TSettingsStore& store);

// What storing the dialog's settings does beyond the registry, at its place in the order.
struct THostSettingsEffects {
    // Closes the central-station and relay-client sockets before the new address is written.
    std::function<void()> closeSockets;
    // Opens the data source again with the stored settings.
    std::function<void()> connect;
};

// Stores the settings after OK, in order: settings root ("HKEY" in the per-machine hive), "AutoHide",
// "AutoStart", "AutoCreate", "FilterMR", "NoVelgard", "EnableDefaultUnits", "PatientIDReduction",
// "NrOfChars", "DataSourceIsCentralStation", closing the sockets, "IsAddress" and "IPString" (the address
// without blanks, or the name as typed), reconnecting. Returns "FilterMR" as read back.
bool StoreHostSettings(TSettingsStore& store, const THostSettings& settings, const THostSettingsEffects& effects);

// The address as stored: the masked text with every blank removed ("192.168.1.5" from a half-filled mask).
std::string AddressWithoutBlanks(std::string_view masked);

}  // namespace halcyra
