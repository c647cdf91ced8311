// Byte streams the container reads and writes: whole files in memory, or a file read on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra {

class TStream {
public:
    virtual ~TStream() = default;
    virtual std::int64_t Size() const = 0;
    virtual std::int64_t Position() const = 0;
    // Any position at or above 0; beyond the end only reads fail.
    virtual void Seek(std::int64_t position) = 0;
    // Reads exactly count bytes or raises EReadError, leaving the position where it was.
    virtual void ReadBuffer(void* data, std::size_t count) = 0;
    virtual void WriteBuffer(const void* data, std::size_t count) = 0;

    std::int64_t Remaining() const
    {
        const std::int64_t rest = Size() - Position();
        return rest > 0 ? rest : 0;
    }
};

// Growable bytes with a position; writing past the end extends it, a gap is zero-filled.
class TMemoryStream : public TStream {
public:
    TMemoryStream() = default;
    explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

    std::int64_t Size() const override { return static_cast<std::int64_t>(bytes_.size()); }
    std::int64_t Position() const override { return position_; }
    void Seek(std::int64_t position) override;
    void ReadBuffer(void* data, std::size_t count) override;
    void WriteBuffer(const void* data, std::size_t count) override;

    void SetSize(std::int64_t size);
    const std::string& Bytes() const { return bytes_; }
    std::string TakeBytes();

private:
    std::string bytes_;
    std::int64_t position_ = 0;
};

// Little-endian scalar helpers over a stream.
void WriteU8(TStream& stream, std::uint8_t value);
void WriteU16(TStream& stream, std::uint16_t value);
void WriteI32(TStream& stream, std::int32_t value);
void WriteF64(TStream& stream, double value);

// Little-endian scalars in a byte buffer, whatever the host's byte order.
std::uint16_t LoadU16(const unsigned char* p);
std::uint32_t LoadU32(const unsigned char* p);
double LoadF64(const unsigned char* p);
void StoreU16(unsigned char* p, std::uint16_t value);
void StoreU32(unsigned char* p, std::uint32_t value);
void StoreF64(unsigned char* p, double value);

}  // namespace halcyra
