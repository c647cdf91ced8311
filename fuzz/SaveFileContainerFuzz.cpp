// The container reader on arbitrary bytes, in both modes: the first byte chooses whether the rest is
// taken as it is, or wrapped in a valid checksummed or plain header so the body reaches item dispatch.
#include "savefile/PointsU.h"
#include "savefile/TovClass.h"

#include <cstdint>
#include <string>

using namespace halcyra;

namespace {

std::string Wrap(const std::uint8_t* data, std::size_t size, bool checksummed)
{
    TMemoryStream out;
    TMicroWriter writer;
    writer.SetStream(&out);
    writer.SetChecksumEnabled(checksummed);
    writer.WriteHeader();
    writer.WriteRaw(data, size);
    writer.EndFolding();
    return out.TakeBytes();
}

// Exercises every read operation, chosen by the item id.
void Handle(std::int32_t id, TMicroReader& reader, TTovObject& marker)
{
    const auto choice = static_cast<std::uint32_t>(id);
    switch (choice % 12) {
        case 0:
            reader.BeginFolding(id);
            break;
        case 1:
            reader.ReadByte();
            break;
        case 2:
            reader.ReadInteger();
            break;
        case 3:
            reader.ReadDouble();
            break;
        case 4:
            reader.ReadString();
            break;
        case 5:
            reader.SkipValue();
            break;
        case 6:
            reader.PushGroup(reader.ReadSize());
            break;
        case 7: {
            const std::int64_t size = reader.ReadSize();
            reader.MarkItem(size);
            std::uint8_t buffer[8];
            if (size >= 8) reader.ReadRaw(buffer, 8);
            reader.SkipRestOfItem();
            break;
        }
        case 8: {
            std::uint8_t buffer[8];
            reader.ReadExact(buffer, 8);
            break;
        }
        case 9: {
            static const TPointClass classes[] = {CreatePoint<TXYPoint>,         CreatePoint<TInfinitePoint>,
                                                  CreatePoint<TYYPoint>,         CreatePoint<TStdDevPoint>,
                                                  CreatePoint<TEventPoint>,      CreatePoint<TVexaDataPoint>,
                                                  CreatePoint<TMultivaluePoint>, CreatePoint<TOmbraDataPoint>};
            auto point = classes[(choice / 12) % 8](0, 0);
            point->ReadProperty(point->GetRecordType(), reader);
            break;
        }
        case 10:
            reader.SetCurrentObject(&marker);
            reader.SkipValue();
            break;
        default:
            if ((choice / 12) % 4 == 0)
                reader.Stop();
            else
                reader.SkipValue();
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    const std::uint8_t mode = data[0] % 3;
    const std::string bytes = mode == 0 ? std::string(reinterpret_cast<const char*>(data + 1), size - 1)
                                        : Wrap(data + 1, size - 1, mode == 1);
    TMicroReader reader;
    TTovObject marker;
    TMemoryStream stream(bytes);
    try {
        reader.Read(stream, [&](std::int32_t id, TMicroReader& r) { Handle(id, r, marker); });
    } catch (const std::exception&) {
    }
    return 0;
}
