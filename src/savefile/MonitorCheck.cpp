#include "savefile/MonitorCheck.h"

#include "savefile/MonitorReader.h"

namespace halcyra {

std::vector<std::string> CheckMonitorFile(std::string_view bytes)
{
    return InspectMonitorFile(bytes).problems;
}

TMonitorCheck InspectMonitorFile(std::string_view bytes)
{
    TMonitorCheck result;
    std::vector<std::string>& problems = result.problems;
    const auto at = [](std::int64_t offset) { return "offset " + std::to_string(offset) + ": "; };

    TMicroReader reader;
    TMemoryStream stream{std::string(bytes)};
    TMonitorFileContent content;
    TMonitorReadOptions options;
    options.OnProblem = [&](std::int64_t offset, const std::string& text) { problems.push_back(at(offset) + text); };
    bool ok = true;
    std::string failure;
    bool truncated = false;
    try {
        ok = ReadMonitorFile(reader, stream, content, options);
    } catch (const EReadError& e) {
        truncated = true;
        failure = e.what();
    } catch (const std::exception& e) {
        failure = e.what();
    }
    const auto form = reader.HeaderForm();
    if (form == TMicroReader::THeaderForm::None) return {{"not a save file: " + failure}};
    if (form == TMicroReader::THeaderForm::NoHeader) return {{"not a save file: no header"}};
    // Where a record cut short at the end begins, when the records behind the header region are laid
    // end to end up to it.
    std::int64_t cutAt = -1;
    if (truncated) {
        try {
            TMicroReader header;
            TMemoryStream file{std::string(bytes)};
            const std::int64_t start = PointRecordsStart(header, file);
            if (start >= 0) {
                const std::int64_t end = WholeItemsEnd(file, start);
                if (end < file.Size()) cutAt = end;
            }
        } catch (const std::exception&) {
        }
        problems.push_back(at(cutAt >= 0 ? cutAt : content.LastItemOffset) +
                           "truncated record: the file ends inside it");
    } else if (!failure.empty())
        problems.push_back(at(content.LastItemOffset) + "damaged: " + failure);
    if (!ok) problems.push_back("checksum error");
    if (stream.Position() > stream.Size()) problems.push_back("truncated record: the last item ends beyond the file");

    if (content.FileType != TTovFileType::ftMonitorData) {
        problems.insert(problems.begin(), "wrong file type " + std::to_string(static_cast<int>(content.FileType)) +
                                              " (monitor data is 8)");
        return result;
    }
    int infos = 0;
    int expected = 0;
    for (const auto& object : content.Objects) {
        if (dynamic_cast<const TMonitorInfo*>(object.get()) != nullptr) ++infos;
        if (const auto* serie = dynamic_cast<const TParameterSerie*>(object.get())) {
            if (serie->Index != expected)
                problems.push_back("series " + std::to_string(expected) + " (" + serie->Info.ParameterName() +
                                   ") has index " + std::to_string(serie->Index));
            ++expected;
        }
    }
    if (infos == 0) problems.push_back("no monitor information");
    if (infos > 1) problems.push_back("more than one monitor information");
    if (content.ReservedAreaOffset < 0) problems.push_back("no reserved area for declarations");
    if (const std::int64_t claimed = reader.OpenFoldingsEnd(); claimed > static_cast<std::int64_t>(bytes.size()))
        problems.push_back("a folding claims to run to offset " + std::to_string(claimed) +
                           ", past the end of the file");
    // Only when the cut is all that is wrong: a damage in front of it (a folding claiming more than the file
    // holds) also makes the reader run out of bytes, and cutting the last record would not mend it.
    result.onlyTailCutShort = cutAt >= 0 && problems.size() == 1 &&
                              InspectMonitorFile(bytes.substr(0, static_cast<std::size_t>(cutAt))).problems.empty();
    return result;
}

}  // namespace halcyra
