// Reader of the save-file container. It checks the header (new style, checksummed or plain, or the
// old style), then walks the items and hands every item id to the caller's handler.
#pragma once

#include "savefile/MicroWriter.h"
#include "savefile/Streams.h"
#include "savefile/TovObject.h"

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace halcyra {

class TMicroReader;

// Called once per item id met; it must consume the item: read it, skip it, or descend into it.
using TItemHandler = std::function<void(std::int32_t id, TMicroReader& reader)>;
using TEndFoldingHandler = std::function<void(TMicroReader& sender, std::uint8_t checksumByte, bool ok)>;

class TMicroReader : public TTovReadWriter {
public:
    // Which header the last Read accepted.
    enum class THeaderForm {
        None,
        Checksummed,  // folding 1 with "*Tovarin Save File Header x.y"
        Plain,        // folding 1 with "Tovarin Save File Header x.y"
        Old,          // a leading string item 1 "Tovarin Save File Header x.y"
        NoHeader,     // the old-style check let a stream without item 1 pass
    };

    // True when every checksum matched (checksummed files) or always for plain files that were read
    // to the end; false after Stop in a checksummed file.
    bool Read(TStream& stream, TItemHandler onItem);

    std::int32_t ReadId();
    std::int64_t ReadSize();

    std::uint8_t ReadByte();
    std::int32_t ReadInteger();
    double ReadDouble();
    std::string ReadString();
    void ReadExact(void* data, std::size_t count);
    void ReadRaw(void* data, std::size_t count);

    std::uint8_t ReadRawU8();
    std::uint16_t ReadRawU16();
    std::int32_t ReadRawI32();
    double ReadRawF64();
    // An embedded string: length + 4, char-size, the characters.
    std::string ReadRawString();

    void SkipValue();
    void Skip(std::int64_t count);
    void MarkItem(std::int64_t size);
    void SkipRestOfItem();

    void BeginFolding(std::int32_t id) override;
    bool EndFolding() override;
    void PushGroup(std::int64_t size);
    void PopGroup();

    void SetCurrentObject(TTovObject* object);
    TTovObject* GetCurrentObject() const;

    void Stop();
    bool Stopped() const { return stop_; }
    std::int64_t StopPosition() const { return stopPosition_; }
    // The furthest end claimed by a folding open now (-1 when none is), and by one open at Stop(): beyond
    // the end of the stream it is a folding that runs past the file, inside which a reader skipping it
    // would lose everything behind it.
    std::int64_t OpenFoldingsEnd() const;
    std::int64_t StopFoldingsEnd() const { return stopFoldingsEnd_; }

    int FoldingCount() const;
    bool ChecksumOK() const { return checksumOk_; }
    bool Checksummed() const { return checksummed_; }
    THeaderForm HeaderForm() const { return headerForm_; }
    std::int64_t Position() const;
    std::int64_t StreamSize() const;
    // Bytes of the stream not yet read, the bound for any allocation a size field asks for.
    std::int64_t Remaining() const;

    TEndFoldingHandler OnEndFolding;

private:
    struct TFoldingEntry {
        TTovObject* object = nullptr;
        std::uint8_t savedChecksum = 0;
        std::int64_t savedEnd = -1;
    };
    struct TGroupEntry {
        TTovObject* object = nullptr;
        std::int64_t size = 0;
        std::int64_t start = 0;
    };

    TStream& Stream() const;
    void Get(void* data, std::size_t count, bool addToChecksum);
    void AddToChecksum(const void* data, std::size_t count);
    void SeekForward(std::int64_t count);
    void CheckNewStyleHeader();
    void CheckOldStyleHeader();
    bool ReadChecksummedBody();
    bool ReadPlainBody();
    bool StringSizeCountsCharSize() const;

    TStream* stream_ = nullptr;
    TItemHandler onItem_;
    bool stop_ = false;
    std::int64_t stopPosition_ = -1;
    std::int64_t stopFoldingsEnd_ = -1;
    bool checksumOk_ = true;
    bool checksummed_ = true;
    std::int64_t foldingEnd_ = -1;
    std::int64_t headerFoldingEnd_ = -1;
    std::int64_t markSize_ = 0;
    std::int64_t markStart_ = 0;
    THeaderForm headerForm_ = THeaderForm::None;
    std::vector<TFoldingEntry> foldings_;
    std::vector<TGroupEntry> groups_;
};

// "Tovarin Save File Header" version text: integers around the first ".", leading blanks allowed.
bool ParseTovVersion(const std::string& text, std::int32_t& major, std::int32_t& minor);

}  // namespace halcyra
