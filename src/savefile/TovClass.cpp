#include "savefile/TovClass.h"

#include "savefile/SaveFileIds.h"

namespace halcyra {

void TPersistIt::AssignTo(TPersistIt&) const {}

void TPersistIt::ReadProperty(std::int32_t, TMicroReader& reader)
{
    reader.SkipValue();
}

std::int32_t TPersistIt::GetRecordType() const
{
    throw ETovError(tov_text::kRecordTypeNotImplemented);
}

void TPersistIt::WriteTo(TMicroWriter&) const {}

void TPersistIt::AddChild(std::unique_ptr<TTovObject>) {}

bool TUniquePatientInformation::IsSame(const TUniquePatientInformation& other) const
{
    return IdKind == other.IdKind && IdNumber == other.IdNumber && IdText == other.IdText;
}

void TUniquePatientInformation::WriteTo(TMicroWriter& writer) const
{
    writer.BeginFolding(kRecordType);
    writer.WriteByte(item::kPatientIdKind, IdKind);
    writer.WriteInteger(item::kPatientIdNumber, IdNumber);
    writer.WriteString(item::kPatientIdText, IdText);
    writer.EndFolding();
}

std::unique_ptr<TTovObject> TUniquePatientInformation::CreateNew() const
{
    return std::make_unique<TUniquePatientInformation>();
}

void TUniquePatientInformation::ReadProperty(std::int32_t id, TMicroReader& reader)
{
    switch (id) {
        case item::kPatientIdKind:
            IdKind = reader.ReadByte();
            break;
        case item::kPatientIdNumber:
            IdNumber = reader.ReadInteger();
            break;
        case item::kPatientIdText:
            IdText = reader.ReadString();
            break;
        default:
            reader.SkipValue();
            break;
    }
}

std::string TrimControl(std::string_view text)
{
    const auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 32; };
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return std::string(text);
}

void TUniqueParameterInformation::SetParameterID(std::string_view value)
{
    parameterId_ = TrimControl(value);
}

void TUniqueParameterInformation::SetParameterName(std::string_view value)
{
    parameterName_ = TrimControl(value);
    originalName_ = parameterName_;
}

void TUniqueParameterInformation::SetMeasurementPlace(std::string_view value)
{
    measurementPlace_ = TrimControl(value);
}

void TUniqueParameterInformation::SetParamExtraName(std::string_view value)
{
    paramExtraName_ = TrimControl(value);
}

void TUniqueParameterInformation::SetOriginalName(std::string_view value)
{
    originalName_ = TrimControl(value);
}

bool TUniqueParameterInformation::IsSame(const TUniqueParameterInformation& other) const
{
    const bool sameParameter =
        (!parameterId_.empty() && parameterId_ == other.parameterId_) || parameterName_ == other.parameterName_;
    return sameParameter && measurementPlace_ == other.measurementPlace_ && paramExtraName_ == other.paramExtraName_;
}

void TUniqueParameterInformation::WriteTo(TMicroWriter& writer) const
{
    writer.BeginFolding(kRecordType);
    writer.WriteString(item::kParameterId, parameterId_);
    writer.WriteString(item::kParameterName, parameterName_);
    writer.WriteString(item::kMeasurementPlace, measurementPlace_);
    writer.WriteString(item::kParamExtraName, paramExtraName_);
    writer.WriteString(item::kOriginalName, originalName_);
    writer.EndFolding();
}

std::unique_ptr<TTovObject> TUniqueParameterInformation::CreateNew() const
{
    return std::make_unique<TUniqueParameterInformation>();
}

void TUniqueParameterInformation::ReadProperty(std::int32_t id, TMicroReader& reader)
{
    switch (id) {
        case item::kParameterId:
            SetParameterID(reader.ReadString());
            break;
        case item::kParameterName:
            SetParameterName(reader.ReadString());
            break;
        case item::kMeasurementPlace:
            SetMeasurementPlace(reader.ReadString());
            break;
        case item::kParamExtraName:
            SetParamExtraName(reader.ReadString());
            break;
        case item::kOriginalName:
            SetOriginalName(reader.ReadString());
            break;
        default:
            reader.SkipValue();
            break;
    }
}

void TGlyph::ReadProperty(std::int32_t id, TMicroReader& reader)
{
    if (id == 16 || id == 86 || id == 109)
        reader.ReadInteger();
    else
        TPersistIt::ReadProperty(id, reader);
}

}  // namespace halcyra
