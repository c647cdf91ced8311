// The data manager's settings on arbitrary text: a "KVDData" value always gives a folder ending in '\'
// that is the value's own beginning or the default; a locale name gives a known identifier or none.
#include "datamanager/DataFolder.h"
#include "datamanager/LanguageNames.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);

    const std::string folder = halcyra::DataManagerFolder(text);
    if (folder.empty() || folder.back() != '\\') std::abort();
    const std::string_view stem = std::string_view(folder).substr(0, folder.size() - 1);
    if (folder != halcyra::kVelgardDefaultFolder && text.compare(0, stem.size(), stem) != 0) std::abort();
    const std::string directory = halcyra::ExtractFileDir(text);
    if (text.compare(0, directory.size(), directory) != 0) std::abort();

    const std::uint32_t id = halcyra::LocaleIdFromName(text);
    if (id != 0 && halcyra::LanguageAbbreviation(id).size() != 3) std::abort();

    const std::string module = halcyra::ChangeFileExt(text, "DEU");
    if (module.size() < 4 || module.compare(module.size() - 4, 4, ".DEU") != 0) std::abort();
    return 0;
}
