#include "savefile/Streams.h"

#include "savefile/TovErrors.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace halcyra {

static_assert(std::endian::native == std::endian::little, "the save-file layout is little-endian");

void TMemoryStream::Seek(std::int64_t position)
{
    position_ = std::max<std::int64_t>(position, 0);
}

void TMemoryStream::ReadBuffer(void* data, std::size_t count)
{
    if (count == 0) return;
    if (position_ >= Size() || static_cast<std::uint64_t>(Size() - position_) < count) throw EReadError();
    std::memcpy(data, bytes_.data() + position_, count);
    position_ += static_cast<std::int64_t>(count);
}

void TMemoryStream::WriteBuffer(const void* data, std::size_t count)
{
    if (count == 0) return;
    const auto end = static_cast<std::size_t>(position_) + count;
    if (end > bytes_.size()) bytes_.resize(end, '\0');
    std::memcpy(bytes_.data() + position_, data, count);
    position_ = static_cast<std::int64_t>(end);
}

void TMemoryStream::SetSize(std::int64_t size)
{
    bytes_.resize(static_cast<std::size_t>(std::max<std::int64_t>(size, 0)), '\0');
    position_ = std::min(position_, Size());
}

std::string TMemoryStream::TakeBytes()
{
    position_ = 0;
    return std::move(bytes_);
}

void WriteU8(TStream& stream, std::uint8_t value)
{
    stream.WriteBuffer(&value, 1);
}
void WriteU16(TStream& stream, std::uint16_t value)
{
    stream.WriteBuffer(&value, 2);
}
void WriteI32(TStream& stream, std::int32_t value)
{
    stream.WriteBuffer(&value, 4);
}
void WriteF64(TStream& stream, double value)
{
    stream.WriteBuffer(&value, 8);
}

std::uint16_t LoadU16(const unsigned char* p)
{
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

std::uint32_t LoadU32(const unsigned char* p)
{
    std::uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}

double LoadF64(const unsigned char* p)
{
    double v;
    std::memcpy(&v, p, 8);
    return v;
}

void StoreU32(unsigned char* p, std::uint32_t value)
{
    std::memcpy(p, &value, 4);
}

}  // namespace halcyra
