// Writer of the save-file container: tagged items, groups, and foldings that in checksummed output
// end with a byte sum of their bytes.
#pragma once

#include "savefile/Streams.h"
#include "savefile/TovObject.h"

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace halcyra {

// Common base of writer and reader: the format version and the running checksum.
class TTovReadWriter : public TTovObject {
public:
    std::int32_t MajorVersion() const { return majorVersion_; }
    std::int32_t MinorVersion() const { return minorVersion_; }

    virtual void BeginFolding(std::int32_t id) = 0;
    virtual bool EndFolding() = 0;

protected:
    std::int32_t majorVersion_ = 2;
    std::int32_t minorVersion_ = 0;
    std::uint8_t checksum_ = 0;
};

class TMicroWriter : public TTovReadWriter {
public:
    TMicroWriter();
    ~TMicroWriter() override;

    // The caller owns the stream; nullptr detaches the writer.
    void SetStream(TStream* stream);
    // Decides the magic, so it must be chosen before WriteHeader.
    void SetChecksumEnabled(bool enabled) { checksumEnabled_ = enabled; }

    // Opens folding 1 and writes the magic with the version; the caller closes folding 1 last.
    void WriteHeader();

    void BeginFolding(std::int32_t id) override;
    bool EndFolding() override;
    void BeginGroup(std::int32_t id);
    void EndGroup();

    void WriteByte(std::int32_t id, std::uint8_t value);
    void WriteInteger(std::int32_t id, std::int32_t value);
    void WriteDouble(std::int32_t id, double value);
    void WriteBuffer(std::int32_t id, const void* data, std::size_t count);
    void WriteString(std::int32_t id, std::string_view value);
    // Bytes without an item head, for hand-laid record payloads.
    void WriteRaw(const void* data, std::size_t count);

    // Raw scalars for hand-laid payloads.
    void WriteRawU8(std::uint8_t value) { WriteRaw(&value, 1); }
    void WriteRawI32(std::int32_t value) { WriteRaw(&value, 4); }
    void WriteRawF64(double value) { WriteRaw(&value, 8); }
    // An embedded string: length + 4, char-size 1, the characters.
    void WriteRawString(std::string_view value);

private:
    struct TEntry {
        std::uint8_t savedChecksum = 0;
        bool isFolding = false;
        TStream* savedStream = nullptr;
        std::unique_ptr<TMemoryStream> memory;
    };

    TStream& Current();
    void Put(const void* data, std::size_t count, bool addToChecksum);
    void AddToChecksum(const void* data, std::size_t count);
    void WriteHead(std::int32_t id, std::uint32_t size);

    TStream* root_ = nullptr;
    TStream* current_ = nullptr;
    bool checksumEnabled_ = false;
    std::vector<TEntry> stack_;
};

}  // namespace halcyra
