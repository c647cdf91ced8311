// Points, their stored layouts, and the series and data sets that hold them.
#pragma once

#include "savefile/TovClass.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace halcyra {

enum class TAnalyseResult : std::uint8_t {
    arNormal = 0,
    arUnderDetectionLimit = 1,
    arOverLinearityInterval = 2,
    arBelowReportableRange = 3,
    arAboveReportableRange = 4,
    arOutsideReportableRange = 5,
    arUndefined = 6,
    arString = 7,
};

// One plotted sample. Its persisted form is a group whose id is the record type, holding the stored
// fields raw; WritePointData/ReadPointData are those fields alone.
class TXYPoint : public TPersistIt {
public:
    static constexpr std::int32_t kRecordType = 22;

    // OrdinalNo is X rounded half to even.
    TXYPoint(double x, double y);

    std::int32_t OrdinalNo = 0;
    double XValue = 0;
    double YValue = 0;

    void AssignTo(TPersistIt& dest) const override;
    // The point's own record type reads the persisted group; other ids go to the base.
    void ReadProperty(std::int32_t id, TMicroReader& reader) override;
    std::int32_t GetRecordType() const override { return kRecordType; }
    void WriteTo(TMicroWriter& writer) const override;
    std::unique_ptr<TTovObject> CreateNew() const override;

    virtual std::string DisplayText() const;
    virtual void WritePointData(TMicroWriter& writer) const;
    virtual void ReadPointData(TMicroReader& reader);

protected:
    void WriteXY(TMicroWriter& writer) const;
    void ReadXY(TMicroReader& reader);
};

// How readers create a point of a class chosen at run time.
using TPointClass = std::unique_ptr<TXYPoint> (*)(double x, double y);
template <class T>
std::unique_ptr<TXYPoint> CreatePoint(double x, double y)
{
    return std::make_unique<T>(x, y);
}

#define HALCYRA_POINT_CLASS(Class, Parent, RecordType)      \
public:                                                     \
    static constexpr std::int32_t kRecordType = RecordType; \
    using Parent::Parent;                                   \
    std::int32_t GetRecordType() const override             \
    {                                                       \
        return kRecordType;                                 \
    }                                                       \
    std::unique_ptr<TTovObject> CreateNew() const override  \
    {                                                       \
        return std::make_unique<Class>(0.0, 0.0);           \
    }

class TSpecialPoint : public TXYPoint {
    HALCYRA_POINT_CLASS(TSpecialPoint, TXYPoint, 22)
};

// No y value is stored.
class TInfinitePoint : public TSpecialPoint {
    HALCYRA_POINT_CLASS(TInfinitePoint, TSpecialPoint, 25)
    void WritePointData(TMicroWriter& writer) const override;
    void ReadPointData(TMicroReader& reader) override;
};

class TUnderDetectionLimitPoint : public TSpecialPoint {
    HALCYRA_POINT_CLASS(TUnderDetectionLimitPoint, TSpecialPoint, 28)
};

class TYYPoint : public TXYPoint {
    HALCYRA_POINT_CLASS(TYYPoint, TXYPoint, 24)
    double Y2Value = 0;
    void AssignTo(TPersistIt& dest) const override;
    void WritePointData(TMicroWriter& writer) const override;
    void ReadPointData(TMicroReader& reader) override;
};

class TStdDevPoint : public TXYPoint {
    HALCYRA_POINT_CLASS(TStdDevPoint, TXYPoint, 21)
    double LowerDeviation = 0;
    double UpperDeviation = 0;
    std::int32_t SampleCount = 0;
    std::int32_t Flags = 0;
    void WritePointData(TMicroWriter& writer) const override;
    void ReadPointData(TMicroReader& reader) override;
};

class TVideoFrame : public TXYPoint {
    HALCYRA_POINT_CLASS(TVideoFrame, TXYPoint, 230)
    std::int32_t AVIFileNumber = 0;
    void WritePointData(TMicroWriter& writer) const override;
    void ReadPointData(TMicroReader& reader) override;
};

class TTargetedPoint : public TXYPoint {
    HALCYRA_POINT_CLASS(TTargetedPoint, TXYPoint, 22)
};

// No y value; the text follows as string item 9.
class TEventPoint : public TTargetedPoint {
    HALCYRA_POINT_CLASS(TEventPoint, TTargetedPoint, 26)
    std::string Text;
    void WritePointData(TMicroWriter& writer) const override;
    void ReadPointData(TMicroReader& reader) override;
};

class TVexaDataPoint : public TXYPoint {
    HALCYRA_POINT_CLASS(TVexaDataPoint, TXYPoint, 27)
    double OriginalTimeStamp = 0;
    std::string UserVialNo;
    std::string ID;
    TAnalyseResult AnalyseResult = TAnalyseResult::arNormal;
    void WritePointData(TMicroWriter& writer) const override;
    void ReadPointData(TMicroReader& reader) override;
};

class TControlPoint : public TXYPoint {
    HALCYRA_POINT_CLASS(TControlPoint, TXYPoint, 22)
};

// Closes a run of values; y holds the delimiter code.
class TRecordDelimiterPoint : public TControlPoint {
    HALCYRA_POINT_CLASS(TRecordDelimiterPoint, TControlPoint, 85)
};

class TMultivaluePoint : public TXYPoint {
    HALCYRA_POINT_CLASS(TMultivaluePoint, TXYPoint, -29)
    std::vector<double> Values;
    void WritePointData(TMicroWriter& writer) const override;
    void ReadPointData(TMicroReader& reader) override;
};

class TOmbraDataPoint : public TXYPoint {
    HALCYRA_POINT_CLASS(TOmbraDataPoint, TXYPoint, 165)
    TAnalyseResult AnalyseResult = TAnalyseResult::arNormal;
    std::string AnalyseResultString;  // in memory only
    std::string VialID;
    bool Hidden = false;
    std::int32_t AttemptNo = 0;
    void WritePointData(TMicroWriter& writer) const override;
    void ReadPointData(TMicroReader& reader) override;
};

#undef HALCYRA_POINT_CLASS

// The points of one series: the plain points in the order added, and the control points (delimiters
// among them) kept sorted by x position.
class TTovDataSet : public TPersistIt {
public:
    const std::vector<std::unique_ptr<TXYPoint>>& Points() const { return points_; }
    const std::vector<std::unique_ptr<TControlPoint>>& ControlPoints() const { return controlPoints_; }

    // Monitor data never uses ordinal mode; then the x position is XValue.
    bool OrdinalMode = false;
    double XPosition(const TXYPoint& point) const;

    // Sorted inserts after the last point at or before the new one's x position.
    void AddPoint(std::unique_ptr<TXYPoint> point, bool sorted);
    void AddControlPoint(std::unique_ptr<TControlPoint> point);

private:
    std::vector<std::unique_ptr<TXYPoint>> points_;
    std::vector<std::unique_ptr<TControlPoint>> controlPoints_;
};

class TSerieObject : public TGlyph {
public:
    TTovDataSet& DataSet() { return dataSet_; }
    const TTovDataSet& DataSet() const { return dataSet_; }
    std::string Caption;

    void AddPoint(std::unique_ptr<TXYPoint> point, bool sorted) { dataSet_.AddPoint(std::move(point), sorted); }
    void AddControlPoint(std::unique_ptr<TControlPoint> point) { dataSet_.AddControlPoint(std::move(point)); }

private:
    TTovDataSet dataSet_;
};

// A plain series: takes persisted points of record types 22, 25, 28 and 85.
class TSerie : public TSerieObject {
public:
    void ReadProperty(std::int32_t id, TMicroReader& reader) override;
};

// The single video series of a file that announces video: frames, the folder and the video files.
class TVideoSerie : public TSerie {
public:
    std::string Folder;
    std::vector<std::string> Files;
    // Index into Files of the file announced last, -1 before any.
    std::int32_t CurrentFile = -1;
};

}  // namespace halcyra
