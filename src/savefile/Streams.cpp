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

namespace {

template <typename U>
U LoadLittle(const unsigned char* p)
{
    U value = 0;
    for (std::size_t i = 0; i < sizeof(U); ++i) value = static_cast<U>(value | static_cast<U>(U{p[i]} << (8 * i)));
    return value;
}

template <typename U>
void StoreLittle(unsigned char* p, U value)
{
    for (std::size_t i = 0; i < sizeof(U); ++i) p[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

std::uint16_t LoadU16(const unsigned char* p)
{
    return LoadLittle<std::uint16_t>(p);
}

std::uint32_t LoadU32(const unsigned char* p)
{
    return LoadLittle<std::uint32_t>(p);
}

double LoadF64(const unsigned char* p)
{
    return std::bit_cast<double>(LoadLittle<std::uint64_t>(p));
}

void StoreU16(unsigned char* p, std::uint16_t value)
{
    StoreLittle(p, value);
}

void StoreU32(unsigned char* p, std::uint32_t value)
{
    StoreLittle(p, value);
}

void StoreF64(unsigned char* p, double value)
{
    StoreLittle(p, std::bit_cast<std::uint64_t>(value));
}

}  // namespace halcyra
