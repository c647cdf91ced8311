// Exceptions of the save-file library. Their messages are part of the behaviour: callers log them and
// show them in the status line, so the texts are kept exactly.
#pragma once

#include <stdexcept>
#include <string>

namespace halcyra {

// The library's general failure; the message starts with "Exception:".
class ETovError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A stream that is not a save file.
class EInvalidTovFIle : public ETovError {
public:
    using ETovError::ETovError;
};

// A read beyond the end of the data.
class EReadError : public std::runtime_error {
public:
    EReadError() : std::runtime_error("Stream read error") {}
};

// A list position outside the list, as a series index beyond the loaded objects.
class EListError : public std::runtime_error {
public:
    explicit EListError(long long index)
        : std::runtime_error("List index out of bounds (" + std::to_string(index) + ")")
    {
    }
};

namespace tov_text {
inline constexpr const char* kNoTovFile = "Exception: No Tov file";
inline constexpr const char* kNotValidTovFile = "Exception:Not a valid tov-file";
inline constexpr const char* kFoldingsDoNotMatch = "Exception:Foldings do not match";
inline constexpr const char* kMixedUp = "Exception:Groups and foldings have been mixed up";
inline constexpr const char* kCorrupted = "Exception:The file has been corrupted.";
inline constexpr const char* kErrorInFile = "Exception:Error in file";
inline constexpr const char* kNoStream = "Exception:No Stream";
inline constexpr const char* kSetCurrentObject = "Exception:Error in MicroReader.SetCurrentObject";
inline constexpr const char* kRecordTypeNotImplemented =
    "Exception:RecordType not implemented for this class. jhdsa783241";
inline constexpr const char* kNoInterface = "Exception:Could not get Interface. daiu873";
inline constexpr const char* kChecksumError = "Exception:Checksum error";
}  // namespace tov_text

}  // namespace halcyra
