#include "savefile/MicroWriter.h"

#include "savefile/SaveFileIds.h"

#include "savefile/TovErrors.h"

#include <string>

namespace halcyra {

TMicroWriter::TMicroWriter() = default;
TMicroWriter::~TMicroWriter() = default;

void TMicroWriter::SetStream(TStream* stream)
{
    root_ = stream;
    current_ = stream;
    stack_.clear();
}

TStream& TMicroWriter::Current()
{
    if (current_ == nullptr) throw ETovError(tov_text::kNoStream);
    return *current_;
}

void TMicroWriter::AddToChecksum(const void* data, std::size_t count)
{
    const auto* p = static_cast<const unsigned char*>(data);
    std::uint8_t sum = checksum_;
    for (std::size_t i = 0; i < count; ++i) sum = static_cast<std::uint8_t>(sum + p[i]);
    checksum_ = sum;
}

void TMicroWriter::Put(const void* data, std::size_t count, bool addToChecksum)
{
    Current().WriteBuffer(data, count);
    if (addToChecksum) AddToChecksum(data, count);
}

void TMicroWriter::WriteHead(std::int32_t id, std::uint32_t size)
{
    Put(&id, 4, checksumEnabled_);
    Put(&size, 4, checksumEnabled_);
}

void TMicroWriter::WriteHeader()
{
    BeginFolding(item::kHeader);
    const std::string magic = std::string(checksumEnabled_ ? "*" : "") + "Tovarin Save File Header " +
                              std::to_string(majorVersion_) + "." + std::to_string(minorVersion_);
    WriteString(item::kMagic, magic);
}

void TMicroWriter::BeginFolding(std::int32_t id)
{
    TStream& enclosing = Current();
    stack_.push_back(TEntry{checksum_, true, &enclosing, nullptr});
    checksum_ = 0;
    Put(&id, 4, checksumEnabled_);
    stack_.back().memory = std::make_unique<TMemoryStream>();
    current_ = stack_.back().memory.get();
}

bool TMicroWriter::EndFolding()
{
    if (stack_.empty()) throw ETovError(tov_text::kFoldingsDoNotMatch);
    TEntry entry = std::move(stack_.back());
    stack_.pop_back();
    current_ = entry.savedStream;
    if (!entry.isFolding) throw ETovError(tov_text::kMixedUp);

    std::string content = entry.memory->TakeBytes();
    auto size = static_cast<std::uint32_t>(content.size());
    if (checksumEnabled_) {
        ++size;
        AddToChecksum(&size, 4);
        content.push_back(static_cast<char>(checksum_));
        entry.savedChecksum = static_cast<std::uint8_t>(entry.savedChecksum + 2 * checksum_);
        checksum_ = 0;
    }
    Current().WriteBuffer(&size, 4);
    Current().WriteBuffer(content.data(), content.size());
    checksum_ = static_cast<std::uint8_t>(checksum_ + entry.savedChecksum);
    return true;
}

void TMicroWriter::BeginGroup(std::int32_t id)
{
    TStream& enclosing = Current();
    stack_.push_back(TEntry{0, false, &enclosing, nullptr});
    Put(&id, 4, checksumEnabled_);
    stack_.back().memory = std::make_unique<TMemoryStream>();
    current_ = stack_.back().memory.get();
}

void TMicroWriter::EndGroup()
{
    if (stack_.empty()) throw ETovError(tov_text::kFoldingsDoNotMatch);
    TEntry entry = std::move(stack_.back());
    stack_.pop_back();
    current_ = entry.savedStream;
    if (entry.isFolding) throw ETovError(tov_text::kMixedUp);

    const std::string content = entry.memory->TakeBytes();
    const auto size = static_cast<std::uint32_t>(content.size());
    Put(&size, 4, true);
    Current().WriteBuffer(content.data(), content.size());
}

void TMicroWriter::WriteByte(std::int32_t id, std::uint8_t value)
{
    WriteHead(id, 1);
    Put(&value, 1, checksumEnabled_);
}

void TMicroWriter::WriteInteger(std::int32_t id, std::int32_t value)
{
    WriteHead(id, 4);
    Put(&value, 4, checksumEnabled_);
}

void TMicroWriter::WriteDouble(std::int32_t id, double value)
{
    WriteHead(id, 8);
    Put(&value, 8, checksumEnabled_);
}

void TMicroWriter::WriteBuffer(std::int32_t id, const void* data, std::size_t count)
{
    WriteHead(id, static_cast<std::uint32_t>(count));
    Put(data, count, checksumEnabled_);
}

void TMicroWriter::WriteString(std::int32_t id, std::string_view value)
{
    WriteHead(id, static_cast<std::uint32_t>(value.size() + 4));
    const std::uint32_t charSize = 1;
    Put(&charSize, 4, checksumEnabled_);
    // The characters always count, whatever the mode; in plain output the sum is never written.
    Put(value.data(), value.size(), true);
}

void TMicroWriter::WriteRaw(const void* data, std::size_t count)
{
    Put(data, count, checksumEnabled_);
}

void TMicroWriter::WriteRawString(std::string_view value)
{
    WriteRawI32(static_cast<std::int32_t>(value.size() + 4));
    WriteRawI32(1);
    WriteRaw(value.data(), value.size());
}

}  // namespace halcyra
