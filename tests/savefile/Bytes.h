// Builds save-file bytes by hand, independently of the library's writer, so tests compare the
// library against the layout itself.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace halcyra::test {

class TBytes {
public:
    TBytes& I32(std::int32_t v) { return Put(&v, 4); }
    TBytes& U16(std::uint16_t v) { return Put(&v, 2); }
    TBytes& U8(std::uint8_t v) { return Put(&v, 1); }
    TBytes& F64(double v) { return Put(&v, 8); }
    TBytes& Raw(std::string_view s) { return Put(s.data(), s.size()); }
    TBytes& Zeros(std::size_t n)
    {
        bytes_.append(n, '\0');
        return *this;
    }
    // A version-2 string item: id, length + 4, char-size 1, characters.
    TBytes& Str(std::int32_t id, std::string_view s)
    {
        return I32(id).I32(static_cast<std::int32_t>(s.size() + 4)).I32(1).Raw(s);
    }
    TBytes& Int(std::int32_t id, std::int32_t v) { return I32(id).I32(4).I32(v); }
    // A 26-byte value (220) or delimiter (85) record.
    TBytes& Record(std::int32_t id, std::uint16_t index, double time, double value)
    {
        return I32(id).I32(18).U16(index).F64(time).F64(value);
    }
    TBytes& Append(const TBytes& other)
    {
        bytes_ += other.bytes_;
        return *this;
    }
    // A plain folding or group around the given content.
    TBytes& Wrap(std::int32_t id, const TBytes& content)
    {
        return I32(id).I32(static_cast<std::int32_t>(content.Size())).Append(content);
    }
    std::size_t Size() const { return bytes_.size(); }
    const std::string& Str() const { return bytes_; }
    operator std::string() const { return bytes_; }

private:
    TBytes& Put(const void* p, std::size_t n)
    {
        bytes_.append(static_cast<const char*>(p), n);
        return *this;
    }
    std::string bytes_;
};

inline std::int32_t I32At(const std::string& bytes, std::size_t offset)
{
    std::int32_t v;
    std::memcpy(&v, bytes.data() + offset, 4);
    return v;
}

// The new monitor-data file for 123456 / Ann Smith with 500 reserved bytes, laid out by hand.
inline std::string HandBuiltNewMonitorFile()
{
    TBytes monitor;
    monitor.Str(201, "Halcyra").Str(202, "").Str(203, "123456").Str(204, "Ann Smith");
    TBytes b;
    b.I32(1).I32(658);
    b.Str(9, "Tovarin Save File Header 2.0");
    b.Wrap(3, TBytes().Int(2, 8).Int(30, 0));
    b.Wrap(200, monitor);
    b.I32(205).I32(500).Zeros(500);
    return b;
}

}  // namespace halcyra::test
