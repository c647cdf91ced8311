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

namespace savefile_text {
inline constexpr const char* kIncorrectFiletype = "Exception:Incorrect filetype";
inline constexpr const char* kNoMonitorInfo = "Exception:No MonitorInfo!";
inline constexpr const char* kDoesNotMatch = "Exception:The existing file does not match!";
inline constexpr const char* kNoReservedArea = "Exception:The file has no reserved area for parameter declarations";
inline constexpr const char* kCannotDeclareInFormat =
    "Exception:Parameters can only be declared in a plain save file of version 2 or later";
inline constexpr const char* kCannotAppendInFormat =
    "Exception:Values can only be appended to a plain save file of version 2 or later";
inline constexpr const char* kChecksumSuffix = " has a checksum error.";
}  // namespace savefile_text

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

// Our declarations and records have the form of a plain save file of version 2 or later; in any other
// form (checksummed: behind folding 1, where no reader looks; version 1.0: other size fields) they
// would be lost or misread. Call after a read.
bool TakesOurRecords(const TMicroReader& reader);

// Where the point records of a monitor-data file begin: just behind its reserved area. Reads only the
// header region, from the start of `file`. Raises ETovError when records cannot be appended to it (not
// monitor data, a form TakesOurRecords refuses, a reserved area or a folding around it running past the end
// of the file).
// -1 when the file has no reserved area, so where its records begin is not known.
std::int64_t PointRecordsStart(TMicroReader& reader, TStream& file);

// The end of the last whole item from `from` on (items laid end to end, each Id, Size and payload).
// What lies behind it, up to the end of `file`, is an item cut short.
std::int64_t WholeItemsEnd(TStream& file, std::int64_t from);

}  // namespace halcyra
