#include "Bytes.h"
#include "savefile/MemorySaveFileIo.h"
#include "savefile/PointsU.h"
#include "savefile/SaveITNew.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace halcyra {
namespace {

using test::TBytes;

TEST(Points, OrdinalNoRoundsHalfToEven)
{
    for (const auto& [x, ordinal] : std::vector<std::pair<double, std::int32_t>>{
             {45000.5, 45000}, {45001.5, 45002}, {45000.49, 45000}, {45000.51, 45001}, {-0.5, 0}, {-1.5, -2}}) {
        const TXYPoint point(x, 7.25);
        EXPECT_EQ(point.OrdinalNo, ordinal) << x;
        EXPECT_EQ(point.XValue, x);
        EXPECT_EQ(point.YValue, 7.25);
    }
}

std::string PersistedForm(const TXYPoint& point)
{
    TMemoryStream out;
    TMicroWriter writer;
    writer.SetStream(&out);
    point.WriteTo(writer);
    return out.TakeBytes();
}

// Every point class writes the group its record type names and reads it back unchanged.
TEST(Points, PersistedFormsRoundTrip)
{
    auto stdDev = std::make_unique<TStdDevPoint>(2.0, 3.0);
    stdDev->LowerDeviation = 0.5;
    stdDev->SampleCount = 9;
    auto event = std::make_unique<TEventPoint>(45000.25, 0.0);
    event->Text = "Bolus";
    auto vexa = std::make_unique<TVexaDataPoint>(1.0, 2.0);
    vexa->UserVialNo = "V7";
    vexa->ID = "X";
    vexa->AnalyseResult = TAnalyseResult::arString;
    auto multi = std::make_unique<TMultivaluePoint>(1.0, 2.0);
    multi->Values = {1.5, -2.5, 3.5};
    auto ombra = std::make_unique<TOmbraDataPoint>(1.0, 2.0);
    ombra->VialID = "A1";
    ombra->Hidden = true;
    ombra->AttemptNo = 3;
    auto video = std::make_unique<TVideoFrame>(1.0, 17.0);
    video->AVIFileNumber = 2;

    struct TCase {
        std::unique_ptr<TXYPoint> point;
        std::int32_t size;  // payload of the group
    };
    std::vector<TCase> cases;
    cases.push_back({std::make_unique<TXYPoint>(45000.5, 7.25), 20});
    cases.push_back({std::make_unique<TInfinitePoint>(3.0, 99.0), 12});
    cases.push_back({std::make_unique<TUnderDetectionLimitPoint>(3.0, 0.1), 20});
    cases.push_back({std::make_unique<TYYPoint>(3.0, 4.0), 28});
    cases.push_back({std::move(stdDev), 44});
    cases.push_back({std::move(video), 24});
    cases.push_back({std::move(event), 12 + 8 + 4 + 5});
    cases.push_back({std::move(vexa), 20 + 8 + 10 + 9 + 4});
    cases.push_back({std::make_unique<TRecordDelimiterPoint>(5.0, 0.0), 20});
    cases.push_back({std::move(multi), 20 + 4 + 24});
    cases.push_back({std::move(ombra), 20 + 4 + 10 + 1 + 4});

    for (const TCase& c : cases) {
        const std::string bytes = PersistedForm(*c.point);
        const std::int32_t type = c.point->GetRecordType();
        ASSERT_EQ(test::I32At(bytes, 0), type);
        EXPECT_EQ(test::I32At(bytes, 4), c.size) << type;
        ASSERT_EQ(bytes.size(), static_cast<std::size_t>(c.size) + 8);

        auto fresh = std::unique_ptr<TXYPoint>(dynamic_cast<TXYPoint*>(c.point->CreateNew().release()));
        ASSERT_NE(fresh, nullptr);
        TMemoryStream in(TBytes().I32(1).I32(40).Str(9, "Tovarin Save File Header 2.0").Raw(bytes));
        TMicroReader reader;
        reader.Read(in, [&](std::int32_t id, TMicroReader& r) { fresh->ReadProperty(id, r); });
        EXPECT_EQ(PersistedForm(*fresh), bytes) << type;
    }
}

TEST(Points, DelimitersStaySortedByTime)
{
    TSerie serie;
    for (double x : {5.0, 3.0, 4.0, 6.0, 1.0}) serie.AddControlPoint(std::make_unique<TRecordDelimiterPoint>(x, 0.0));
    std::vector<double> xs;
    for (const auto& p : serie.DataSet().ControlPoints()) xs.push_back(p->XValue);
    EXPECT_EQ(xs, (std::vector<double>{1.0, 3.0, 4.0, 5.0, 6.0}));
}

// A monitor-data file whose records follow its header region, read through TSaveItNew.
struct TMonitorFixture {
    TMemorySaveFileIo* io = nullptr;
    std::unique_ptr<TSaveItNew> saveIt;

    explicit TMonitorFixture(const std::function<void(TBytes&)>& records, std::vector<int> indices = {0, 1})
    {
        auto memory = std::make_shared<TMemorySaveFileIo>();
        io = memory.get();
        saveIt = std::make_unique<TSaveItNew>(memory);
        saveIt->SetFileName("/p/Halcyra.pil");
        saveIt->OpenOrCreate("Halcyra", "", "1", "N", false);
        for (int i : indices)
            saveIt->AddParameterSerie(static_cast<std::uint16_t>(i), "P" + std::to_string(i), "", "", "", "u");
        TBytes tail;
        records(tail);
        io->Files["/p/Halcyra.pil"] += tail.Str();
        saveIt->ReloadStructure();
    }
    const TSerie* Serie(std::size_t i) const { return saveIt->ParameterSeries().at(i)->Serie.get(); }
};

TEST(Points, MonitorRecordsAttachToTheirSeries)
{
    TMonitorFixture f([](TBytes& b) {
        b.Record(220, 0, 45000.5, 7.25);
        b.I32(220).I32(18 + 6).U16(1).F64(45001.0).F64(8.5).Raw("extra!");  // longer payload
        b.Record(220, 1, 45002.0, 9.0);
        b.Record(85, 0, 45003.0, 0.0);
        b.Record(85, 0, 45001.5, 2.0);
    });
    ASSERT_NE(f.Serie(0), nullptr);
    const auto& points = f.Serie(0)->DataSet().Points();
    ASSERT_EQ(points.size(), 1u);
    EXPECT_EQ(points[0]->XValue, 45000.5);
    EXPECT_EQ(points[0]->YValue, 7.25);
    EXPECT_EQ(points[0]->OrdinalNo, 45000);
    const auto& delimiters = f.Serie(0)->DataSet().ControlPoints();
    ASSERT_EQ(delimiters.size(), 2u);
    EXPECT_EQ(delimiters[0]->XValue, 45001.5);
    EXPECT_EQ(delimiters[0]->YValue, 2.0);
    EXPECT_NE(dynamic_cast<const TRecordDelimiterPoint*>(delimiters[1].get()), nullptr);

    const auto& second = f.Serie(1)->DataSet().Points();
    ASSERT_EQ(second.size(), 2u);
    EXPECT_EQ(second[0]->YValue, 8.5);
    EXPECT_EQ(second[1]->YValue, 9.0);
}

TEST(Points, AnalyserRecordsBecomeOmbraPoints)
{
    TMonitorFixture f([](TBytes& b) {
        b.I32(221).I32(23 + 10).U16(0).F64(1.0).F64(2.0).U8(1).I32(6).I32(1).Raw("VV").I32(4);
        b.I32(222)
            .I32(23 + 9 + 10)
            .U16(0)
            .F64(3.0)
            .F64(4.0)
            .U8(7)
            .I32(5)
            .I32(1)
            .Raw("s")
            .I32(6)
            .I32(1)
            .Raw("WW")
            .I32(5);
        b.I32(221).I32(10).U16(0).F64(5.0);  // shorter than its fields: dropped
        b.Record(220, 0, 6.0, 6.0);
    });
    const auto& points = f.Serie(0)->DataSet().Points();
    ASSERT_EQ(points.size(), 3u);
    const auto* first = dynamic_cast<const TOmbraDataPoint*>(points[0].get());
    const auto* second = dynamic_cast<const TOmbraDataPoint*>(points[1].get());
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(first->VialID, "VV");
    EXPECT_EQ(first->AnalyseResult, TAnalyseResult::arUnderDetectionLimit);
    EXPECT_EQ(first->AttemptNo, 4);
    EXPECT_EQ(second->AnalyseResultString, "s");
    EXPECT_EQ(second->VialID, "WW");
    EXPECT_EQ(points[2]->XValue, 6.0);
}

TEST(Points, RecordsOfUnknownSeries)
{
    // Index 3 lies beyond the object list: an index error reaches the caller.
    EXPECT_THROW(TMonitorFixture([](TBytes& b) { b.Record(220, 3, 1.0, 1.0); }), EListError);
    // Index 1 names an object, but the series there carries another index: dropped silently.
    TMonitorFixture f([](TBytes& b) { b.Record(220, 0, 1.0, 1.0).Record(220, 1, 1.0, 1.0); }, {0, 5});
    EXPECT_EQ(f.Serie(0)->DataSet().Points().size(), 1u);
    EXPECT_EQ(f.Serie(1), nullptr);
}

}  // namespace
}  // namespace halcyra
