// The item ids of save files and of the monitor-data file: one name for each number the reader, the
// writer and the check use. An id means something only in the folding or record that holds it.
#pragma once

#include <cstdint>

namespace halcyra::item {

// The header folding of every save file and its magic string.
inline constexpr std::int32_t kHeader = 1;
inline constexpr std::int32_t kMagic = 9;

// File-information folding and its items.
inline constexpr std::int32_t kFileInformation = 3;
inline constexpr std::int32_t kFileType = 2;
inline constexpr std::int32_t kItem30 = 30;
inline constexpr std::int32_t kFileInfoText203 = 203;
inline constexpr std::int32_t kFileInfoText204 = 204;

// Monitor information folding and its strings.
inline constexpr std::int32_t kMonitorInfo = 200;
inline constexpr std::int32_t kMonitorKind = 201;
inline constexpr std::int32_t kMonitorQualifier = 202;
inline constexpr std::int32_t kPatientId = 203;
inline constexpr std::int32_t kPatientName = 204;

// Reserved area in front of which declarations are inserted.
inline constexpr std::int32_t kReservedArea = 205;

// Parameter series declaration folding and its items.
inline constexpr std::int32_t kParameterSerie = 210;
inline constexpr std::int32_t kSerieIndex = 211;
inline constexpr std::int32_t kSerieParameterName = 212;
inline constexpr std::int32_t kSerieMeasurementPlace = 213;
inline constexpr std::int32_t kSerieParamExtraName = 214;
inline constexpr std::int32_t kSerieUnitName = 215;
inline constexpr std::int32_t kSerieParameterId = 216;

// Point records behind the header region.
inline constexpr std::int32_t kValuePoint = 220;
inline constexpr std::int32_t kDelimiterPoint = 85;
inline constexpr std::int32_t kAnalyserValue = 221;
inline constexpr std::int32_t kAnalyserValueWithText = 222;
inline constexpr std::int32_t kVideoFrame = 230;
// A value or delimiter record, 26 bytes little-endian: the folding head (id i32, payload size i32), then
// the series index u16, the time f64 and the value (or delimiter code) f64.
inline constexpr std::int32_t kPointPayloadSize = 18;
inline constexpr std::int32_t kPointRecordSize = 8 + kPointPayloadSize;
inline constexpr std::int32_t kPointIndexOffset = 8;
inline constexpr std::int32_t kPointTimeOffset = 10;
inline constexpr std::int32_t kPointValueOffset = 18;

// Video information folding and its items (captions reuse 203 and 204).
inline constexpr std::int32_t kVideoInfo = 232;
inline constexpr std::int32_t kVideoFileName = 231;
inline constexpr std::int32_t kVideoCaption203 = 203;
inline constexpr std::int32_t kVideoCaption204 = 204;

// The text of a persisted event point.
inline constexpr std::int32_t kEventPointText = 9;

// Properties of the unique patient and parameter records.
inline constexpr std::int32_t kPatientIdKind = 2021;
inline constexpr std::int32_t kPatientIdNumber = 2022;
inline constexpr std::int32_t kPatientIdText = 2023;
inline constexpr std::int32_t kParameterId = 2024;
inline constexpr std::int32_t kParameterName = 2025;
inline constexpr std::int32_t kMeasurementPlace = 2026;
inline constexpr std::int32_t kParamExtraName = 2027;
inline constexpr std::int32_t kOriginalName = 2028;

}  // namespace halcyra::item
