// The save-file container library: writer, reader and persistable objects.
#pragma once

#include "savefile/MicroReader.h"
#include "savefile/MicroWriter.h"
#include "savefile/Streams.h"
#include "savefile/TovErrors.h"
#include "savefile/TovObject.h"

#include <cstdint>
#include <memory>
#include <string>

namespace halcyra {

// What an object that goes into save files offers a reader building an object tree.
class IPersistIt {
public:
    virtual ~IPersistIt() = default;
    virtual void AddChild(std::unique_ptr<TTovObject> child) = 0;
    virtual void EndRead() = 0;
    // A new, empty instance of the object's own class, or nullptr.
    virtual std::unique_ptr<TTovObject> CreateNew() const = 0;
    virtual void ReadProperty(std::int32_t id, TMicroReader& reader) = 0;
    virtual std::int32_t GetRecordType() const = 0;
};

class TPersistIt : public TTovObject, public IPersistIt {
public:
    // Copies what both objects share; the base has nothing to copy.
    virtual void AssignTo(TPersistIt& dest) const;
    void Assign(const TPersistIt& source) { source.AssignTo(*this); }

    void ReadProperty(std::int32_t id, TMicroReader& reader) override;
    std::int32_t GetRecordType() const override;
    virtual void WriteTo(TMicroWriter& writer) const;

    void AddChild(std::unique_ptr<TTovObject> child) override;
    void EndRead() override {}
    std::unique_ptr<TTovObject> CreateNew() const override { return nullptr; }
};

// Record -23: identifies a patient.
class TUniquePatientInformation : public TTovObject, public IPersistIt {
public:
    static constexpr std::int32_t kRecordType = -23;

    std::uint8_t IdKind = 0;    // item 2021
    std::int32_t IdNumber = 0;  // item 2022
    std::string IdText;         // item 2023

    bool IsSame(const TUniquePatientInformation& other) const;
    void WriteTo(TMicroWriter& writer) const;

    void AddChild(std::unique_ptr<TTovObject>) override {}
    void EndRead() override {}
    std::unique_ptr<TTovObject> CreateNew() const override;
    void ReadProperty(std::int32_t id, TMicroReader& reader) override;
    std::int32_t GetRecordType() const override { return kRecordType; }
};

// Record -24: identifies a measured parameter. Setters trim characters of code 32 and below.
class TUniqueParameterInformation : public TTovObject, public IPersistIt {
public:
    static constexpr std::int32_t kRecordType = -24;

    const std::string& ParameterID() const { return parameterId_; }            // 2024
    const std::string& ParameterName() const { return parameterName_; }        // 2025
    const std::string& MeasurementPlace() const { return measurementPlace_; }  // 2026
    const std::string& ParamExtraName() const { return paramExtraName_; }      // 2027
    const std::string& OriginalName() const { return originalName_; }          // 2028
    void SetParameterID(std::string_view value);
    // Also sets the original name.
    void SetParameterName(std::string_view value);
    void SetMeasurementPlace(std::string_view value);
    void SetParamExtraName(std::string_view value);
    void SetOriginalName(std::string_view value);

    // Same parameter: equal non-empty IDs (this one's tested) or equal names, and equal place and extra.
    bool IsSame(const TUniqueParameterInformation& other) const;
    void WriteTo(TMicroWriter& writer) const;

    void AddChild(std::unique_ptr<TTovObject>) override {}
    void EndRead() override {}
    std::unique_ptr<TTovObject> CreateNew() const override;
    void ReadProperty(std::int32_t id, TMicroReader& reader) override;
    std::int32_t GetRecordType() const override { return kRecordType; }

private:
    std::string parameterId_;
    std::string parameterName_;
    std::string measurementPlace_;
    std::string paramExtraName_;
    std::string originalName_;
};

// Trims characters of code 32 and below from both ends.
std::string TrimControl(std::string_view text);

// Base of drawable objects such as plot series.
class TGlyph : public TPersistIt {
public:
    // Ids 16, 86 and 109 all carry the one drawing attribute, which nothing here draws: it is read past.
    void ReadProperty(std::int32_t id, TMicroReader& reader) override;
};

}  // namespace halcyra
