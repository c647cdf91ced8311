#include "Bytes.h"
#include "savefile/PointsU.h"
#include "savefile/TovClass.h"

#include <gtest/gtest.h>

#include <vector>

namespace halcyra {
namespace {

using test::TBytes;

std::string HeaderOnly(bool checksummed)
{
    TMemoryStream out;
    TMicroWriter writer;
    writer.SetStream(&out);
    writer.SetChecksumEnabled(checksummed);
    writer.WriteHeader();
    writer.EndFolding();
    return out.TakeBytes();
}

// Reads every item at every level; foldings 50..59 are descended into, integers 100..199 read.
struct TCollect {
    std::vector<std::int32_t> ids;
    void operator()(std::int32_t id, TMicroReader& reader)
    {
        ids.push_back(id);
        if (id >= 50 && id < 60)
            reader.BeginFolding(id);
        else if (id >= 100 && id < 200)
            reader.ReadInteger();
        else
            reader.SkipValue();
    }
};

bool ReadAll(const std::string& bytes, TCollect& collect, TMicroReader& reader)
{
    TMemoryStream in(bytes);
    return reader.Read(in, [&](std::int32_t id, TMicroReader& r) { collect(id, r); });
}

TEST(Container, ChecksummedHeaderOnlyFileIs50BytesWithChecksum203)
{
    const std::string bytes = HeaderOnly(true);
    TBytes expected;
    expected.I32(1).I32(42).Str(9, "*Tovarin Save File Header 2.0").U8(203);
    EXPECT_EQ(bytes, expected.Str());

    TMicroReader reader;
    TCollect collect;
    EXPECT_TRUE(ReadAll(bytes, collect, reader));
    EXPECT_TRUE(reader.Checksummed());
    EXPECT_EQ(reader.MajorVersion(), 2);
    EXPECT_EQ(reader.MinorVersion(), 0);
    EXPECT_TRUE(collect.ids.empty());
}

std::string NestedChecksummedFile()
{
    TMemoryStream out;
    TMicroWriter writer;
    writer.SetStream(&out);
    writer.SetChecksumEnabled(true);
    writer.WriteHeader();
    writer.BeginFolding(50);
    writer.WriteInteger(100, 0x01020304);
    writer.BeginFolding(51);
    writer.WriteInteger(101, -7);
    writer.WriteString(7, "text");
    writer.EndFolding();
    writer.EndFolding();
    writer.WriteDouble(8, 1.5);
    writer.EndFolding();
    return out.TakeBytes();
}

TEST(Container, NestedFoldingsReadBackWithMatchingChecksums)
{
    TMicroReader reader;
    TCollect collect;
    std::vector<bool> foldingOk;
    reader.OnEndFolding = [&](TMicroReader&, std::uint8_t, bool ok) { foldingOk.push_back(ok); };
    EXPECT_TRUE(ReadAll(NestedChecksummedFile(), collect, reader));
    EXPECT_EQ(collect.ids, (std::vector<std::int32_t>{50, 100, 51, 101, 7, 8}));
    EXPECT_EQ(foldingOk, (std::vector<bool>{true, true, true}));
}

TEST(Container, FlippedContentByteFailsTheChecksumWithoutException)
{
    const std::string good = NestedChecksummedFile();
    // Offsets of value payload bytes: the integer of item 100, of item 101, the characters, the double.
    const std::size_t start = 50 + 8;  // header item ends at 48, then folding 50's head
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < 4; ++i) offsets.push_back(start + 8 + i);                 // item 100 value
    for (std::size_t i = 0; i < 4; ++i) offsets.push_back(start + 12 + 8 + 8 + i);        // item 101 value
    for (std::size_t i = 0; i < 4; ++i) offsets.push_back(start + 12 + 8 + 12 + 12 + i);  // "text"
    for (std::size_t offset : offsets) {
        std::string bad = good;
        bad[offset] = static_cast<char>(bad[offset] ^ 0x10);
        TMicroReader reader;
        TCollect collect;
        bool result = true;
        EXPECT_NO_THROW(result = ReadAll(bad, collect, reader)) << offset;
        EXPECT_FALSE(result) << offset;
        EXPECT_FALSE(reader.ChecksumOK());
    }
}

TEST(Container, ByteLeftUnreadInChecksummedFoldingIsCorruption)
{
    TMicroReader reader;
    TMemoryStream in(NestedChecksummedFile());
    // Item 100's last byte stays unread; what the reader then takes as an id is ignored.
    const auto handler = [](std::int32_t id, TMicroReader& r) {
        if (id == 50) {
            r.BeginFolding(id);
        } else if (id == 100) {
            r.ReadSize();
            std::uint8_t partial[3];
            r.ReadRaw(partial, 3);
        } else if (id == 51 || id == 101 || id == 7 || id == 8) {
            FAIL() << "misaligned reading reached item " << id;
        }
    };
    try {
        reader.Read(in, handler);
        FAIL() << "no exception";
    } catch (const ETovError& e) {
        EXPECT_STREQ(e.what(), "Exception:The file has been corrupted.");
    }
}

TEST(Container, PlainFileIsReadPastTheEndOfFolding1)
{
    TBytes b;
    b.I32(1).I32(40 + 12).Str(9, "Tovarin Save File Header 2.0").Int(100, 5);
    b.Int(101, 6).Wrap(50, TBytes().Int(102, 7)).Int(103, 8);
    TMicroReader reader;
    TCollect collect;
    EXPECT_TRUE(ReadAll(b, collect, reader));
    EXPECT_FALSE(reader.Checksummed());
    EXPECT_EQ(reader.HeaderForm(), TMicroReader::THeaderForm::Plain);
    EXPECT_EQ(collect.ids, (std::vector<std::int32_t>{100, 101, 50, 102, 103}));
}

TEST(Container, HeaderVersionTexts)
{
    struct TCase {
        std::string magic;
        std::int32_t major;
        std::int32_t minor;
    };
    for (const TCase& c : std::vector<TCase>{{"Tovarin Save File Header 2.0", 2, 0},
                                             {"Tovarin Save File Header 3.17", 3, 17},
                                             {"Tovarin Save File Header two", 0, 0},
                                             {"Tovarin Save File Header 2", 0, 0},
                                             {"Tovarin Save File Header 2.x", 0, 0}}) {
        TBytes b;
        b.I32(1).I32(static_cast<std::int32_t>(c.magic.size() + 12)).Str(9, c.magic);
        TMicroReader reader;
        TCollect collect;
        EXPECT_NO_THROW(ReadAll(b, collect, reader)) << c.magic;
        EXPECT_EQ(reader.MajorVersion(), c.major) << c.magic;
        EXPECT_EQ(reader.MinorVersion(), c.minor) << c.magic;
    }
}

TEST(Container, StreamsThatAreNoSaveFiles)
{
    TMicroReader reader;
    TCollect collect;
    // A leading string item 1 with a wrong text fails every header attempt.
    try {
        ReadAll(TBytes().Str(1, "Some Other File Header 2.0").Zeros(8), collect, reader);
        FAIL() << "no exception";
    } catch (const EInvalidTovFIle& e) {
        EXPECT_STREQ(e.what(), "Exception:Not a valid tov-file");
    }
    // The old-style check lets a stream without item 1 through; it is read as plain items.
    EXPECT_NO_THROW(ReadAll(TBytes().Int(100, 1), collect, reader));
    EXPECT_EQ(reader.HeaderForm(), TMicroReader::THeaderForm::NoHeader);
    // Too short for any header: the last attempt's read error reaches the caller.
    EXPECT_THROW(ReadAll(std::string("\x01\x00", 2), collect, reader), EReadError);
}

TEST(Container, NestingErrors)
{
    TMemoryStream out;
    TMicroWriter writer;
    writer.SetStream(&out);
    writer.BeginGroup(5);
    try {
        writer.EndFolding();
        FAIL() << "no exception";
    } catch (const ETovError& e) {
        EXPECT_STREQ(e.what(), "Exception:Groups and foldings have been mixed up");
    }
    writer.BeginFolding(6);
    EXPECT_THROW(writer.EndGroup(), ETovError);
    try {
        writer.EndFolding();
        FAIL() << "no exception";
    } catch (const ETovError& e) {
        EXPECT_STREQ(e.what(), "Exception:Foldings do not match");
    }

    TMicroReader reader;
    TMemoryStream in(HeaderOnly(false));
    reader.Read(in, [](std::int32_t, TMicroReader& r) { r.SkipValue(); });
    try {
        reader.SetCurrentObject(nullptr);
        FAIL() << "no exception";
    } catch (const ETovError& e) {
        EXPECT_STREQ(e.what(), "Exception:Error in MicroReader.SetCurrentObject");
    }
    EXPECT_EQ(reader.GetCurrentObject(), nullptr);
}

TEST(Container, GroupInsideChecksummedFoldingCountsInItsChecksum)
{
    TMemoryStream out;
    TMicroWriter writer;
    writer.SetStream(&out);
    writer.SetChecksumEnabled(true);
    writer.WriteHeader();
    TYYPoint written(44000.25, 3.5);
    written.Y2Value = -1;
    written.WriteTo(writer);
    writer.EndFolding();

    TMicroReader reader;
    TYYPoint read(0, 0);
    TMemoryStream in(out.TakeBytes());
    EXPECT_TRUE(reader.Read(in, [&](std::int32_t id, TMicroReader& r) { read.ReadProperty(id, r); }));
    EXPECT_EQ(read.XValue, 44000.25);
    EXPECT_EQ(read.YValue, 3.5);
    EXPECT_EQ(read.Y2Value, -1);
    EXPECT_EQ(read.OrdinalNo, 44000);
}

TEST(Container, StopLeavesTheStreamBehindWhatTheHandlerConsumed)
{
    TBytes b;
    b.I32(1).I32(40).Str(9, "Tovarin Save File Header 2.0").Int(100, 1).I32(205).I32(3).Zeros(3).Int(101, 2);
    TMicroReader reader;
    TMemoryStream in(b);
    const bool result = reader.Read(in, [](std::int32_t id, TMicroReader& r) {
        if (id == 205)
            r.Stop();
        else
            r.SkipValue();
    });
    EXPECT_TRUE(result);
    EXPECT_TRUE(reader.Stopped());
    EXPECT_EQ(reader.StopPosition(), 48 + 12 + 4);
}

TEST(Container, TypedReadsOfUnusualWidths)
{
    TBytes b;
    b.I32(1).I32(0).Str(9, "Tovarin Save File Header 2.0");
    b.I32(100).I32(1).U8(0xFE);                                           // 1 byte, zero-extended
    b.I32(101).I32(2).U16(0xFFFE);                                        // 2 bytes, zero-extended
    b.I32(102).I32(8).I32(-3).I32(99);                                    // 8 bytes: the first four
    b.I32(103).I32(0);                                                    // empty: 0
    b.I32(7).I32(4 + 6).I32(2).Raw(std::string("H\0\xe9\0\xac\x20", 6));  // 16-bit units
    b.I32(8).I32(4 + 2).I32(3).Raw("ab");                                 // unknown char-size: empty, consumed
    b.I32(9).I32(3).U8(1).U16(0);                                         // byte with a tail
    std::vector<std::int32_t> ints;
    std::vector<std::string> texts;
    std::uint8_t byte = 0;
    TMicroReader reader;
    TMemoryStream in(b);
    EXPECT_TRUE(reader.Read(in, [&](std::int32_t id, TMicroReader& r) {
        if (id >= 100)
            ints.push_back(r.ReadInteger());
        else if (id == 9)
            byte = r.ReadByte();
        else
            texts.push_back(r.ReadString());
    }));
    EXPECT_EQ(ints, (std::vector<std::int32_t>{0xFE, 0xFFFE, -3, 0}));
    EXPECT_EQ(texts, (std::vector<std::string>{"H\xe9\x80", ""}));
    EXPECT_EQ(byte, 1);
}

TEST(Container, OldHeaderVersion10HasExtraSizeBytesAndCharacterOnlyStringSizes)
{
    TBytes b;
    const std::string magic = "Tovarin Save File Header 1.0";
    b.I32(1).I32(static_cast<std::int32_t>(magic.size())).I32(1).Raw(magic);
    b.I32(100).I32(4).I32(0x7777).I32(42);                             // integer, extra size bytes
    b.I32(7).I32(5).I32(1).Raw("hello");                               // string: no extra bytes, size counts characters
    b.I32(50).I32(12 + 4).I32(0x7777).I32(101).I32(4).I32(0).I32(43);  // group with one integer
    std::vector<std::int32_t> ints;
    std::string text;
    TMicroReader reader;
    TMemoryStream in(b);
    EXPECT_TRUE(reader.Read(in, [&](std::int32_t id, TMicroReader& r) {
        if (id == 50)
            r.BeginFolding(id);
        else if (id == 7)
            text = r.ReadString();
        else
            ints.push_back(r.ReadInteger());
    }));
    EXPECT_EQ(reader.HeaderForm(), TMicroReader::THeaderForm::Old);
    EXPECT_EQ(reader.MajorVersion(), 1);
    EXPECT_EQ(reader.MinorVersion(), 0);
    EXPECT_EQ(ints, (std::vector<std::int32_t>{42, 43}));
    EXPECT_EQ(text, "hello");
}

TEST(Container, OldHeaderVersion11HasCharacterOnlyStringSizes)
{
    TBytes b;
    const std::string magic = "Tovarin Save File Header 1.1";
    b.I32(1).I32(static_cast<std::int32_t>(magic.size())).I32(1).Raw(magic);
    b.I32(7).I32(3).I32(1).Raw("abc").Int(100, 9);
    std::string text;
    std::int32_t value = 0;
    TMicroReader reader;
    TMemoryStream in(b);
    EXPECT_TRUE(reader.Read(in, [&](std::int32_t id, TMicroReader& r) {
        if (id == 7)
            text = r.ReadString();
        else
            value = r.ReadInteger();
    }));
    EXPECT_EQ(reader.MinorVersion(), 1);
    EXPECT_EQ(text, "abc");
    EXPECT_EQ(value, 9);
}

TEST(Container, SizeFieldsNeverAllocateBeyondTheInput)
{
    // A string claiming 2 GiB in a 60-byte stream raises instead of allocating.
    TBytes b;
    b.I32(1).I32(0).Str(9, "Tovarin Save File Header 2.0").I32(7).I32(0x7FFFFFF0).I32(1).Raw("x");
    TMicroReader reader;
    TMemoryStream in(b);
    EXPECT_THROW(reader.Read(in, [](std::int32_t, TMicroReader& r) { r.ReadString(); }), EReadError);
}

TEST(Container, BufferScalarsAreLittleEndianWhateverTheHost)
{
    unsigned char b[8] = {};
    StoreU16(b, 0x0102);
    EXPECT_EQ(std::vector<unsigned char>(b, b + 2), (std::vector<unsigned char>{0x02, 0x01}));
    EXPECT_EQ(LoadU16(b), 0x0102);
    StoreU32(b, 0x8A0B0C0Du);
    EXPECT_EQ(std::vector<unsigned char>(b, b + 4), (std::vector<unsigned char>{0x0D, 0x0C, 0x0B, 0x8A}));
    EXPECT_EQ(LoadU32(b), 0x8A0B0C0Du);
    StoreF64(b, -2.5);  // 0xC004000000000000
    EXPECT_EQ(std::vector<unsigned char>(b, b + 8), (std::vector<unsigned char>{0, 0, 0, 0, 0, 0, 0x04, 0xC0}));
    EXPECT_EQ(LoadF64(b), -2.5);
}

TEST(Persist, ParameterInformationTrimsAndCompares)
{
    TUniqueParameterInformation a;
    a.SetParameterName(" \tHR\x01 ");
    a.SetMeasurementPlace("  ");
    EXPECT_EQ(a.ParameterName(), "HR");
    EXPECT_EQ(a.OriginalName(), "HR");
    EXPECT_EQ(a.MeasurementPlace(), "");

    struct TCase {
        const char* idA;
        const char* nameA;
        const char* idB;
        const char* nameB;
        const char* placeB;
        bool same;
    };
    for (const TCase& c : std::vector<TCase>{{"", "HR", "", "HR", "", true},
                                             {"", "HR", "", "hr", "", false},
                                             {"7", "HR", "7", "Pulse", "", true},
                                             {"7", "HR", "8", "HR", "", true},
                                             {"", "HR", "7", "Pulse", "", false},
                                             {"7", "HR", "7", "HR", "arm", false}}) {
        TUniqueParameterInformation x;
        TUniqueParameterInformation y;
        x.SetParameterID(c.idA);
        x.SetParameterName(c.nameA);
        y.SetParameterID(c.idB);
        y.SetParameterName(c.nameB);
        y.SetMeasurementPlace(c.placeB);
        EXPECT_EQ(x.IsSame(y), c.same) << c.idA << c.nameA << "/" << c.idB << c.nameB << c.placeB;
    }
}

TEST(Persist, UniqueRecordsWriteThemselvesAsFoldingsAndReadBack)
{
    TMemoryStream out;
    TMicroWriter writer;
    writer.SetStream(&out);
    writer.SetChecksumEnabled(true);
    writer.WriteHeader();
    TUniquePatientInformation patient;
    patient.IdKind = 3;
    patient.IdNumber = -5;
    patient.IdText = "123456";
    patient.WriteTo(writer);
    TUniqueParameterInformation parameter;
    parameter.SetParameterID("0002-4182");
    parameter.SetParameterName("HR");
    parameter.SetParamExtraName("ECG");
    parameter.WriteTo(writer);
    writer.EndFolding();

    TUniquePatientInformation patientRead;
    TUniqueParameterInformation parameterRead;
    IPersistIt* target = nullptr;
    TMicroReader reader;
    TMemoryStream in(out.TakeBytes());
    EXPECT_TRUE(reader.Read(in, [&](std::int32_t id, TMicroReader& r) {
        if (id == -23 || id == -24) {
            target = id == -23 ? static_cast<IPersistIt*>(&patientRead) : &parameterRead;
            r.BeginFolding(id);
        } else {
            target->ReadProperty(id, r);
        }
    }));
    EXPECT_TRUE(patientRead.IsSame(patient));
    EXPECT_TRUE(parameterRead.IsSame(parameter));
    EXPECT_EQ(parameterRead.ParameterID(), "0002-4182");
    EXPECT_EQ(parameterRead.OriginalName(), "HR");
}

TEST(Persist, BaseRecordTypeIsNotImplemented)
{
    TPersistIt object;
    try {
        object.GetRecordType();
        FAIL() << "no exception";
    } catch (const ETovError& e) {
        EXPECT_STREQ(e.what(), "Exception:RecordType not implemented for this class. jhdsa783241");
    }
}

}  // namespace
}  // namespace halcyra
