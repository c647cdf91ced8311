// Reading a save file with the general dispatch, which turns into the monitor-data dispatch once
// item 2 announces monitor data (or a video file controller).
#pragma once

#include "savefile/MonitorObjects.h"
#include "savefile/TovClass.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace halcyra {

struct TMonitorFileContent {
    TTovFileType FileType = TTovFileType::ftUnknown;
    std::uint8_t Item30 = 0;
    // Optional items 203 and 204 of the file-information folding.
    std::string FileInfo203;
    std::string FileInfo204;
    // The monitor information, the parameter series (and any video objects) in file order.
    std::vector<std::unique_ptr<TTovObject>> Objects;
    // Offset of the id of folding 205, -1 when the read did not meet it.
    std::int64_t ReservedAreaOffset = -1;
    // Offset of the id of the item met last, where a read that failed was.
    std::int64_t LastItemOffset = -1;

    void Clear();
};

struct TMonitorReadOptions {
    // Stop at the reserved area, so only the header region is read.
    bool StopAtReservedArea = false;
    // The file's own name; video files are looked for in its folder.
    std::filesystem::path FileName;
    // When set, records that would be dropped silently, or whose series index lies beyond the object
    // list, are reported here (with the offset of their item) and reading goes on.
    std::function<void(std::int64_t offset, const std::string& problem)> OnProblem;
};

// The reader's result: false only for a checksum mismatch (or a stop in a checksummed file).
bool ReadMonitorFile(TMicroReader& reader, TStream& stream, TMonitorFileContent& content,
                     const TMonitorReadOptions& options);

}  // namespace halcyra
