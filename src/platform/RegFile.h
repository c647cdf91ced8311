// The Registry Editor export format of one hive file, parsed into a tree and written back.
// Text in the tree is UTF-8 as on disk; the registry layer converts names and strings at its boundary,
// so values it never touches keep their exact spelling when the file is rewritten.
#pragma once

#include "platform/Registry.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace halcyra::regfile {

struct TValue {
    std::string name;  // "" is the key's default value ("@")
    TRegDataType type = TRegDataType::String;
    // String and ExpandString: the text; Other: the data as written after '=' ("hex(7):41,00,..."), joined
    std::string text;
    std::uint32_t dword = 0;

    bool operator==(const TValue&) const = default;
};

// A key with its values and subkeys, each in creation order. Names compare without regard to ASCII case
// and are found through an index, so a key with many values or subkeys costs no more per lookup.
class TKey {
public:
    TKey() = default;
    explicit TKey(std::string keyName) : name(std::move(keyName)) {}

    std::string name;

    const std::vector<TValue>& Values() const { return values_; }
    const std::vector<TKey>& Subkeys() const { return subkeys_; }

    TKey* FindSubkey(std::string_view subkeyName);
    const TValue* FindValue(std::string_view valueName) const;
    // Adds a subkey that does not exist yet.
    TKey& AddSubkey(std::string_view subkeyName);
    bool RemoveSubkey(std::string_view subkeyName);
    // Replaces the value of that name, keeping its spelling and place, or adds it at the end.
    void SetValue(TValue value);
    bool RemoveValue(std::string_view valueName);

    bool operator==(const TKey& other) const
    {
        return name == other.name && values_ == other.values_ && subkeys_ == other.subkeys_;
    }

private:
    std::vector<TValue> values_;
    std::vector<TKey> subkeys_;
    // Upper-cased name to position.
    std::unordered_map<std::string, std::size_t> valueAt_;
    std::unordered_map<std::string, std::size_t> subkeyAt_;
};

// Deeper keys are refused, as on Windows: every path a hive holds stays short enough to write.
inline constexpr std::size_t kMaxKeyDepth = 512;

// Splits a key path at backslashes, leaving out empty components ("\A\\B\" is A, B).
std::vector<std::string_view> SplitKeyPath(std::string_view path);

TKey* FindKey(TKey& root, const std::vector<std::string_view>& path);
// Creates the missing keys of the path; an existing key keeps its spelling. The caller keeps the path
// within kMaxKeyDepth.
TKey& CreateKey(TKey& root, const std::vector<std::string_view>& path);
// Removes the key (not the root) with its subtree; false when it did not exist.
bool DeleteKey(TKey& root, const std::vector<std::string_view>& path);

struct TDocument {
    TKey root;
    // Sections of keys under another root, kept verbatim (each a list of raw lines) and written back
    // after this hive's keys: they are not this hive's, but they are not ours to drop either.
    std::vector<std::vector<std::string>> foreignSections;

    bool operator==(const TDocument&) const = default;
};

struct TParseResult {
    TDocument document;
    // Nothing could be read: no Registry Editor header, or binary data. The document is empty.
    bool damaged = false;
    // Some lines could not be read and are left out of the document, so rewriting would lose them.
    bool lossy = false;
    std::vector<std::string> problems;  // "line 12: ..." for the log
};

// `rootName` is "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE". Accepts UTF-8 (with or without BOM),
// UTF-16LE (as Windows exports), Windows-1252 when the bytes are not UTF-8, CR LF or LF line ends, and
// both the "Windows Registry Editor Version 5.00" and the "REGEDIT4" header.
TParseResult Parse(std::string_view bytes, std::string_view rootName);

// The file as written: UTF-8 without BOM, LF line ends, "Windows Registry Editor Version 5.00".
std::string Serialize(const TDocument& document, std::string_view rootName);

}  // namespace halcyra::regfile
