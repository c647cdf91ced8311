#include "savefile/PointsU.h"

#include "savefile/SaveFileIds.h"

#include "platform/DateTime.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace halcyra {
namespace {

std::int32_t OrdinalOf(double x)
{
    // Out-of-range x (damaged data) must not overflow the conversion.
    if (!std::isfinite(x) || x >= 2147483647.0 || x <= -2147483648.0) return 0;
    return static_cast<std::int32_t>(RoundHalfEven(x));
}

std::string Number(double value)
{
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

}  // namespace

TXYPoint::TXYPoint(double x, double y) : OrdinalNo(OrdinalOf(x)), XValue(x), YValue(y) {}

void TXYPoint::AssignTo(TPersistIt& dest) const
{
    if (auto* point = dynamic_cast<TXYPoint*>(&dest)) {
        point->XValue = XValue;
        point->YValue = YValue;
        point->OrdinalNo = OrdinalNo;
    }
}

void TXYPoint::ReadProperty(std::int32_t id, TMicroReader& reader)
{
    if (id != GetRecordType()) {
        TPersistIt::ReadProperty(id, reader);
        return;
    }
    reader.PushGroup(reader.ReadSize());
    ReadPointData(reader);
    reader.PopGroup();
}

void TXYPoint::WriteTo(TMicroWriter& writer) const
{
    writer.BeginGroup(GetRecordType());
    WritePointData(writer);
    writer.EndGroup();
}

std::unique_ptr<TTovObject> TXYPoint::CreateNew() const
{
    return std::make_unique<TXYPoint>(0.0, 0.0);
}

std::string TXYPoint::DisplayText() const
{
    return Number(XValue) + "; " + Number(YValue);
}

void TXYPoint::WriteXY(TMicroWriter& writer) const
{
    writer.WriteRawF64(XValue);
    writer.WriteRawF64(YValue);
    writer.WriteRawI32(OrdinalNo);
}

void TXYPoint::ReadXY(TMicroReader& reader)
{
    XValue = reader.ReadRawF64();
    YValue = reader.ReadRawF64();
    OrdinalNo = reader.ReadRawI32();
}

void TXYPoint::WritePointData(TMicroWriter& writer) const
{
    WriteXY(writer);
}
void TXYPoint::ReadPointData(TMicroReader& reader)
{
    ReadXY(reader);
}

void TInfinitePoint::WritePointData(TMicroWriter& writer) const
{
    writer.WriteRawF64(XValue);
    writer.WriteRawI32(OrdinalNo);
}

void TInfinitePoint::ReadPointData(TMicroReader& reader)
{
    XValue = reader.ReadRawF64();
    OrdinalNo = reader.ReadRawI32();
}

void TYYPoint::AssignTo(TPersistIt& dest) const
{
    TXYPoint::AssignTo(dest);
    if (auto* point = dynamic_cast<TYYPoint*>(&dest)) point->Y2Value = Y2Value;
}

void TYYPoint::WritePointData(TMicroWriter& writer) const
{
    WriteXY(writer);
    writer.WriteRawF64(Y2Value);
}

void TYYPoint::ReadPointData(TMicroReader& reader)
{
    ReadXY(reader);
    Y2Value = reader.ReadRawF64();
}

void TStdDevPoint::WritePointData(TMicroWriter& writer) const
{
    WriteXY(writer);
    writer.WriteRawF64(LowerDeviation);
    writer.WriteRawF64(UpperDeviation);
    writer.WriteRawI32(SampleCount);
    writer.WriteRawI32(Flags);
}

void TStdDevPoint::ReadPointData(TMicroReader& reader)
{
    ReadXY(reader);
    LowerDeviation = reader.ReadRawF64();
    UpperDeviation = reader.ReadRawF64();
    SampleCount = reader.ReadRawI32();
    Flags = reader.ReadRawI32();
}

void TVideoFrame::WritePointData(TMicroWriter& writer) const
{
    WriteXY(writer);
    writer.WriteRawI32(AVIFileNumber);
}

void TVideoFrame::ReadPointData(TMicroReader& reader)
{
    ReadXY(reader);
    AVIFileNumber = reader.ReadRawI32();
}

void TEventPoint::WritePointData(TMicroWriter& writer) const
{
    writer.WriteRawF64(XValue);
    writer.WriteRawI32(OrdinalNo);
    writer.WriteString(item::kEventPointText, Text);
}

void TEventPoint::ReadPointData(TMicroReader& reader)
{
    XValue = reader.ReadRawF64();
    OrdinalNo = reader.ReadRawI32();
    if (reader.ReadId() == item::kEventPointText)
        Text = reader.ReadString();
    else
        reader.SkipValue();
}

void TVexaDataPoint::WritePointData(TMicroWriter& writer) const
{
    WriteXY(writer);
    writer.WriteRawF64(OriginalTimeStamp);
    writer.WriteRawString(UserVialNo);
    writer.WriteRawString(ID);
    writer.WriteRawI32(static_cast<std::int32_t>(AnalyseResult));
}

void TVexaDataPoint::ReadPointData(TMicroReader& reader)
{
    ReadXY(reader);
    OriginalTimeStamp = reader.ReadRawF64();
    UserVialNo = reader.ReadRawString();
    ID = reader.ReadRawString();
    AnalyseResult = static_cast<TAnalyseResult>(reader.ReadRawI32());
}

void TMultivaluePoint::WritePointData(TMicroWriter& writer) const
{
    WriteXY(writer);
    writer.WriteRawI32(static_cast<std::int32_t>(Values.size()));
    for (double v : Values) writer.WriteRawF64(v);
}

void TMultivaluePoint::ReadPointData(TMicroReader& reader)
{
    ReadXY(reader);
    const std::int32_t count = reader.ReadRawI32();
    // The count is only a claim: never reserve more than the stream can still hold.
    if (count < 0 || count > reader.Remaining() / 8) throw ETovError(tov_text::kErrorInFile);
    Values.resize(static_cast<std::size_t>(count));
    for (double& v : Values) v = reader.ReadRawF64();
}

void TOmbraDataPoint::WritePointData(TMicroWriter& writer) const
{
    WriteXY(writer);
    writer.WriteRawI32(static_cast<std::int32_t>(AnalyseResult));
    writer.WriteRawString(VialID);
    writer.WriteRawU8(Hidden ? 1 : 0);
    writer.WriteRawI32(AttemptNo);
}

void TOmbraDataPoint::ReadPointData(TMicroReader& reader)
{
    ReadXY(reader);
    AnalyseResult = static_cast<TAnalyseResult>(reader.ReadRawI32());
    VialID = reader.ReadRawString();
    Hidden = reader.ReadRawU8() != 0;
    AttemptNo = reader.ReadRawI32();
}

double TTovDataSet::XPosition(const TXYPoint& point) const
{
    return OrdinalMode ? point.OrdinalNo : point.XValue;
}

void TTovDataSet::AddPoint(std::unique_ptr<TXYPoint> point, bool sorted)
{
    if (!point) return;
    if (!sorted) {
        points_.push_back(std::move(point));
        return;
    }
    const double x = XPosition(*point);
    const auto at = std::upper_bound(points_.begin(), points_.end(), x,
                                     [this](double value, const auto& p) { return value < XPosition(*p); });
    points_.insert(at, std::move(point));
}

void TTovDataSet::AddControlPoint(std::unique_ptr<TControlPoint> point)
{
    if (!point) return;
    controlPoints_.push_back(std::move(point));
    const std::size_t n = controlPoints_.size();
    if (n > 1 && XPosition(*controlPoints_[n - 1]) < XPosition(*controlPoints_[n - 2]))
        std::sort(controlPoints_.begin(), controlPoints_.end(),
                  [this](const auto& a, const auto& b) { return XPosition(*a) < XPosition(*b); });
}

void TSerie::ReadProperty(std::int32_t id, TMicroReader& reader)
{
    switch (id) {
        case TXYPoint::kRecordType:
        case TInfinitePoint::kRecordType:
        case TUnderDetectionLimitPoint::kRecordType: {
            std::unique_ptr<TXYPoint> point = id == TXYPoint::kRecordType ? CreatePoint<TXYPoint>(0, 0)
                                              : id == TInfinitePoint::kRecordType
                                                  ? CreatePoint<TInfinitePoint>(0, 0)
                                                  : CreatePoint<TUnderDetectionLimitPoint>(0, 0);
            point->ReadProperty(id, reader);
            AddPoint(std::move(point), false);
            break;
        }
        case TRecordDelimiterPoint::kRecordType: {
            auto point = std::make_unique<TRecordDelimiterPoint>(0.0, 0.0);
            point->ReadProperty(id, reader);
            AddControlPoint(std::move(point));
            break;
        }
        default:
            TGlyph::ReadProperty(id, reader);
            break;
    }
}

}  // namespace halcyra
