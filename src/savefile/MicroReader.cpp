#include "savefile/MicroReader.h"

#include "platform/Text.h"
#include "savefile/SaveFileIds.h"
#include "savefile/TovErrors.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>

namespace halcyra {
namespace {

constexpr std::string_view kCheckedMagic = "*Tovarin Save File Header";
constexpr std::string_view kPlainMagic = "Tovarin Save File Header";

std::uint8_t ByteSum(std::int32_t value)
{
    unsigned char b[4];
    std::memcpy(b, &value, 4);
    return static_cast<std::uint8_t>(b[0] + b[1] + b[2] + b[3]);
}

bool ParseVersionPart(std::string_view text, std::int32_t& out)
{
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), out);
    return ec == std::errc() && end == text.data() + text.size();
}

}  // namespace

bool ParseTovVersion(const std::string& text, std::int32_t& major, std::int32_t& minor)
{
    const auto dot = text.find('.');
    if (dot == std::string::npos) return false;
    std::int32_t a = 0;
    std::int32_t b = 0;
    if (!ParseVersionPart(std::string_view(text).substr(0, dot), a) ||
        !ParseVersionPart(std::string_view(text).substr(dot + 1), b))
        return false;
    major = a;
    minor = b;
    return true;
}

TStream& TMicroReader::Stream() const
{
    if (stream_ == nullptr) throw ETovError(tov_text::kNoStream);
    return *stream_;
}

std::int64_t TMicroReader::Position() const
{
    return Stream().Position();
}
std::int64_t TMicroReader::StreamSize() const
{
    return Stream().Size();
}
std::int64_t TMicroReader::Remaining() const
{
    return Stream().Remaining();
}

void TMicroReader::AddToChecksum(const void* data, std::size_t count)
{
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint8_t sum = checksum_;
    for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
    checksum_ = sum;
}

void TMicroReader::Get(void* data, std::size_t count, bool addToChecksum)
{
    Stream().ReadBuffer(data, count);
    if (addToChecksum) AddToChecksum(data, count);
}

void TMicroReader::SeekForward(std::int64_t count)
{
    if (count > 0) Stream().Seek(Stream().Position() + count);
}

bool TMicroReader::StringSizeCountsCharSize() const
{
    return !(majorVersion_ <= 1 && minorVersion_ <= 1);
}

std::int32_t TMicroReader::ReadId()
{
    std::int32_t id;
    Get(&id, 4, true);
    return id;
}

std::int64_t TMicroReader::ReadSize()
{
    std::int32_t size;
    Get(&size, 4, true);
    if (majorVersion_ == 1 && minorVersion_ == 0) {
        std::array<char, 4> extra;
        Get(extra.data(), 4, false);
    }
    // No item of this system comes near 2 GiB; a negative size can only be damage.
    if (size < 0) throw ETovError(tov_text::kErrorInFile);
    return size;
}

std::uint8_t TMicroReader::ReadByte()
{
    const std::int64_t size = ReadSize();
    if (size < 1) throw ETovError(tov_text::kErrorInFile);
    std::uint8_t value;
    Get(&value, 1, true);
    SeekForward(size - 1);
    return value;
}

std::int32_t TMicroReader::ReadInteger()
{
    const std::int64_t size = ReadSize();
    unsigned char bytes[4] = {0, 0, 0, 0};
    const auto width = static_cast<std::size_t>(std::min<std::int64_t>(size, 4));
    Get(bytes, width, true);
    // Wider items keep their first four bytes; the rest is consumed so the item is read whole.
    Skip(size - static_cast<std::int64_t>(width));
    return static_cast<std::int32_t>(LoadU32(bytes));
}

double TMicroReader::ReadDouble()
{
    const std::int64_t size = ReadSize();
    if (size < 8) throw ETovError(tov_text::kErrorInFile);
    double value;
    Get(&value, 8, true);
    SeekForward(size - 8);
    return value;
}

std::string TMicroReader::ReadString()
{
    std::int32_t size;
    std::int32_t charSize;
    Get(&size, 4, true);
    Get(&charSize, 4, true);
    std::int64_t length = size;
    if (StringSizeCountsCharSize()) length -= 4;
    if (length < 0) throw ETovError(tov_text::kErrorInFile);
    if (length > Remaining()) throw EReadError();
    std::string bytes(static_cast<std::size_t>(length), '\0');
    if (charSize == 1) {
        Get(bytes.data(), bytes.size(), true);
        return bytes;
    }
    if (charSize == 2) {
        Get(bytes.data(), bytes.size(), true);
        bytes.resize(bytes.size() / 2 * 2);  // an odd last byte is no unit, only consumed
        return Utf16LeToWin1252(bytes);
    }
    // An unknown character width gives the empty string, the item consumed.
    Skip(length);
    return {};
}

void TMicroReader::ReadExact(void* data, std::size_t count)
{
    const std::int64_t size = ReadSize();
    if (size != static_cast<std::int64_t>(count)) throw ETovError(tov_text::kErrorInFile);
    Get(data, count, true);
}

void TMicroReader::ReadRaw(void* data, std::size_t count)
{
    Get(data, count, true);
}

std::uint8_t TMicroReader::ReadRawU8()
{
    std::uint8_t v;
    ReadRaw(&v, 1);
    return v;
}

std::uint16_t TMicroReader::ReadRawU16()
{
    std::uint16_t v;
    ReadRaw(&v, 2);
    return v;
}

std::int32_t TMicroReader::ReadRawI32()
{
    std::int32_t v;
    ReadRaw(&v, 4);
    return v;
}

double TMicroReader::ReadRawF64()
{
    double v;
    ReadRaw(&v, 8);
    return v;
}

std::string TMicroReader::ReadRawString()
{
    const std::int64_t length = static_cast<std::int64_t>(ReadRawI32()) - 4;
    const std::int32_t charSize = ReadRawI32();
    if (length < 0) throw ETovError(tov_text::kErrorInFile);
    if (length > Remaining()) throw EReadError();
    std::string bytes(static_cast<std::size_t>(length), '\0');
    ReadRaw(bytes.data(), bytes.size());
    if (charSize == 2) {
        bytes.resize(bytes.size() / 2 * 2);
        return Utf16LeToWin1252(bytes);
    }
    return charSize == 1 ? bytes : std::string();
}

void TMicroReader::SkipValue()
{
    Skip(ReadSize());
}

void TMicroReader::Skip(std::int64_t count)
{
    if (count <= 0) return;
    if (!checksummed_) {
        SeekForward(count);
        return;
    }
    if (Position() + count > StreamSize()) throw ETovError(tov_text::kErrorInFile);
    std::array<char, 4096> buffer;
    while (count > 0) {
        const auto chunk = static_cast<std::size_t>(std::min<std::int64_t>(count, buffer.size()));
        Get(buffer.data(), chunk, true);
        count -= static_cast<std::int64_t>(chunk);
    }
}

void TMicroReader::MarkItem(std::int64_t size)
{
    markSize_ = size;
    markStart_ = Position();
}

void TMicroReader::SkipRestOfItem()
{
    Skip(markStart_ + markSize_ - Position());
}

void TMicroReader::BeginFolding(std::int32_t id)
{
    if (!checksummed_) {
        const std::int64_t size = ReadSize();
        PushGroup(size);
        return;
    }
    const std::uint8_t idSum = ByteSum(id);
    foldings_.push_back(TFoldingEntry{nullptr, static_cast<std::uint8_t>(checksum_ - idSum), foldingEnd_});
    checksum_ = idSum;
    const std::int64_t size = ReadSize();
    foldingEnd_ = Position() + size - 1;
}

bool TMicroReader::EndFolding()
{
    if (!checksummed_) {
        PopGroup();
        if (OnEndFolding) OnEndFolding(*this, 0, false);
        return true;
    }
    if (foldings_.empty()) throw ETovError(tov_text::kFoldingsDoNotMatch);
    if (Position() != foldingEnd_) throw ETovError(tov_text::kCorrupted);
    std::uint8_t byte;
    Get(&byte, 1, false);
    const bool ok = byte == checksum_;
    if (!ok) checksumOk_ = false;
    const TFoldingEntry entry = foldings_.back();
    foldings_.pop_back();
    checksum_ = static_cast<std::uint8_t>(byte + checksum_ + entry.savedChecksum);
    foldingEnd_ = entry.savedEnd;
    if (OnEndFolding) OnEndFolding(*this, byte, ok);
    return ok;
}

void TMicroReader::PushGroup(std::int64_t size)
{
    groups_.push_back(TGroupEntry{nullptr, size, Position()});
}

void TMicroReader::PopGroup()
{
    if (groups_.empty()) throw ETovError(tov_text::kFoldingsDoNotMatch);
    const TGroupEntry entry = groups_.back();
    groups_.pop_back();
    // Never back: a group whose items ran past its end is left where reading stands.
    Skip(entry.size - (Position() - entry.start));
}

void TMicroReader::SetCurrentObject(TTovObject* object)
{
    if (checksummed_) {
        if (foldings_.empty()) throw ETovError(tov_text::kSetCurrentObject);
        foldings_.back().object = object;
    } else {
        if (groups_.empty()) throw ETovError(tov_text::kSetCurrentObject);
        groups_.back().object = object;
    }
}

TTovObject* TMicroReader::GetCurrentObject() const
{
    if (checksummed_) return foldings_.empty() ? nullptr : foldings_.back().object;
    return groups_.empty() ? nullptr : groups_.back().object;
}

void TMicroReader::Stop()
{
    stopFoldingsEnd_ = OpenFoldingsEnd();
    stop_ = true;
    foldings_.clear();
    groups_.clear();
}

std::int64_t TMicroReader::OpenFoldingsEnd() const
{
    std::int64_t end = -1;
    for (const TGroupEntry& group : groups_) end = std::max(end, group.start + group.size);
    if (!foldings_.empty()) end = std::max(end, foldingEnd_ + 1);
    for (const TFoldingEntry& folding : foldings_)
        if (folding.savedEnd >= 0) end = std::max(end, folding.savedEnd + 1);
    return end;
}

int TMicroReader::FoldingCount() const
{
    return static_cast<int>(checksummed_ ? foldings_.size() : groups_.size());
}

void TMicroReader::CheckNewStyleHeader()
{
    checksummed_ = true;
    if (ReadId() != item::kHeader) throw EInvalidTovFIle(tov_text::kNoTovFile);
    BeginFolding(item::kHeader);
    headerFoldingEnd_ = foldingEnd_;
    if (ReadId() != item::kMagic) throw EInvalidTovFIle(tov_text::kNotValidTovFile);
    const std::string magic = ReadString();
    std::string version;
    if (magic.starts_with(kCheckedMagic)) {
        version = magic.substr(kCheckedMagic.size());
        headerForm_ = THeaderForm::Checksummed;
    } else if (magic.starts_with(kPlainMagic)) {
        checksummed_ = false;
        version = magic.substr(kPlainMagic.size());
        headerForm_ = THeaderForm::Plain;
    } else {
        throw EInvalidTovFIle(tov_text::kNotValidTovFile);
    }
    if (!ParseTovVersion(version, majorVersion_, minorVersion_)) {
        majorVersion_ = 0;
        minorVersion_ = 0;
    }
}

void TMicroReader::CheckOldStyleHeader()
{
    checksummed_ = false;
    if (ReadId() != item::kHeader) {
        headerForm_ = THeaderForm::NoHeader;
        return;
    }
    const std::string magic = ReadString();
    if (!magic.starts_with(kPlainMagic)) throw EInvalidTovFIle(tov_text::kNotValidTovFile);
    const std::string version = magic.substr(kPlainMagic.size());
    if (!ParseTovVersion(version, majorVersion_, minorVersion_))
        throw ETovError("'" + version + "' is not a valid version");
    headerForm_ = THeaderForm::Old;
}

bool TMicroReader::Read(TStream& stream, TItemHandler onItem)
{
    majorVersion_ = 2;
    minorVersion_ = 0;
    stop_ = false;
    stopPosition_ = -1;
    stopFoldingsEnd_ = -1;
    onItem_ = std::move(onItem);
    foldings_.clear();
    groups_.clear();
    stream_ = &stream;
    checksum_ = 0;
    checksumOk_ = true;
    foldingEnd_ = -1;
    headerFoldingEnd_ = -1;
    markSize_ = 0;
    markStart_ = 0;
    headerForm_ = THeaderForm::None;

    try {
        CheckNewStyleHeader();
    } catch (const std::exception&) {
        foldings_.clear();
        stream.Seek(0);
        try {
            CheckOldStyleHeader();
        } catch (const std::exception&) {
            majorVersion_ = 1;
            minorVersion_ = 0;
            foldings_.clear();
            stream.Seek(0);
            CheckOldStyleHeader();
        }
    }
    return checksummed_ ? ReadChecksummedBody() : ReadPlainBody();
}

bool TMicroReader::ReadChecksummedBody()
{
    while (Position() < headerFoldingEnd_ && !foldings_.empty()) {
        while (foldingEnd_ > Position()) {
            onItem_(ReadId(), *this);
            if (stop_) {
                stopPosition_ = Position();
                return false;
            }
        }
        if (!foldings_.empty()) EndFolding();
    }
    if (!foldings_.empty()) EndFolding();
    if (!foldings_.empty()) throw ETovError(tov_text::kFoldingsDoNotMatch);
    return checksumOk_;
}

bool TMicroReader::ReadPlainBody()
{
    const auto limit = [this] { return groups_.empty() ? StreamSize() : groups_.back().start + groups_.back().size; };
    while (Position() < StreamSize()) {
        while (limit() > Position()) {
            onItem_(ReadId(), *this);
            if (stop_) {
                stopPosition_ = Position();
                return true;
            }
        }
        if (!groups_.empty()) EndFolding();
    }
    return true;
}

}  // namespace halcyra
