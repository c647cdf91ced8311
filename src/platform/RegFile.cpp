#include "platform/RegFile.h"

#include "platform/Text.h"
#include "platform/Utf.h"

#include <algorithm>
#include <cstdio>

namespace halcyra::regfile {
namespace {

using utf::IsValidUtf8;
using utf::NextUtf8;
using utf::Utf16LeToUtf8;
using utf::Utf8ToUtf16Le;

constexpr std::string_view kHeader5 = "Windows Registry Editor Version 5.00";
constexpr std::string_view kHeader4 = "REGEDIT4";
constexpr std::size_t kWrapColumn = 78;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r';
}

std::string_view TrimView(std::string_view s)
{
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix)
{
    return s.size() >= prefix.size() && SameTextAscii(s.substr(0, prefix.size()), prefix);
}

int HexDigit(char c)
{
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// The file's bytes as UTF-8 text; false (with the reason) when they cannot be a registry file.
bool DecodeFile(std::string_view bytes, std::string& text, std::string& problem)
{
    const auto at = [&](std::size_t k) { return static_cast<unsigned char>(bytes[k]); };
    bool utf16 = false;
    if (bytes.size() >= 2 && at(0) == 0xFF && at(1) == 0xFE) {
        bytes.remove_prefix(2);
        utf16 = true;
    } else if (bytes.size() >= 2 && at(0) != 0 && at(1) == 0) {
        utf16 = true;  // UTF-16LE that lost its byte-order mark
    } else if (bytes.size() >= 3 && at(0) == 0xEF && at(1) == 0xBB && at(2) == 0xBF) {
        bytes.remove_prefix(3);
    }
    if (utf16) {
        if (!Utf16LeToUtf8(bytes, text)) {
            problem = "not well-formed UTF-16 text";
            return false;
        }
    } else {
        text.assign(bytes);
        if (!IsValidUtf8(text)) text = Win1252ToUtf8(text);  // a file saved in the Windows code page
    }
    if (text.find('\0') != std::string::npos) {
        problem = "binary data";
        return false;
    }
    return true;
}

bool ParseQuoted(std::string_view s, std::size_t& pos, std::string& out)
{
    if (pos >= s.size() || s[pos] != '"') return false;
    ++pos;
    while (pos < s.size()) {
        const char c = s[pos];
        if (c == '\\' && pos + 1 < s.size() && (s[pos + 1] == '\\' || s[pos + 1] == '"')) {
            out += s[pos + 1];
            pos += 2;
        } else if (c == '"') {
            ++pos;
            return true;
        } else {
            out += c;  // a lone backslash ("C:\TEMP" typed by hand) is kept as it stands
            ++pos;
        }
    }
    return false;
}

std::string Quote(std::string_view text)
{
    std::string out = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"') out += '\\';
        out += c;
    }
    out += '"';
    return out;
}

enum class TLineKind { Value, Delete, Bad };

// "hex:" or "hex(N):" and its comma-separated bytes, normalised to lower case without blanks.
bool ParseHexData(std::string_view data, std::string& normalized, int& typeCode, std::string& bytes)
{
    const std::size_t colon = data.find(':');
    if (colon == std::string_view::npos) return false;
    std::string_view kind = data.substr(0, colon);
    typeCode = 3;  // REG_BINARY
    if (kind.size() > 3) {
        if (kind.size() < 6 || kind[3] != '(' || kind.back() != ')') return false;
        const std::string_view digits = kind.substr(4, kind.size() - 5);
        if (digits.empty() || digits.size() > 8) return false;
        typeCode = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0) return false;
            typeCode = typeCode * 16 + HexDigit(c);
        }
    }
    normalized = LowerAscii(kind);
    normalized += ':';
    std::string_view rest = TrimView(data.substr(colon + 1));
    bool first = true;
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view item = TrimView(rest.substr(0, comma));
        if (item.empty() || item.size() > 2) return false;
        int value = 0;
        for (char c : item) {
            if (HexDigit(c) < 0) return false;
            value = value * 16 + HexDigit(c);
        }
        bytes += static_cast<char>(value);
        static constexpr char kHex[] = "0123456789abcdef";
        if (!first) normalized += ',';
        normalized += kHex[(value >> 4) & 0xF];
        normalized += kHex[value & 0xF];
        first = false;
        if (comma == std::string_view::npos) break;
        rest = rest.substr(comma + 1);
        if (TrimView(rest).empty()) return false;  // a trailing comma
    }
    return true;
}

TLineKind ParseValueLine(std::string_view line, TValue& value)
{
    std::size_t pos = 0;
    value = TValue{};
    if (line[0] == '@') {
        pos = 1;
    } else if (!ParseQuoted(line, pos, value.name)) {
        return TLineKind::Bad;
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return TLineKind::Bad;
    const std::string_view data = TrimView(line.substr(pos + 1));
    if (data == "-") return TLineKind::Delete;
    if (!data.empty() && data[0] == '"') {
        std::size_t end = 0;
        if (!ParseQuoted(data, end, value.text) || end != data.size()) return TLineKind::Bad;
        value.type = TRegDataType::String;
        return TLineKind::Value;
    }
    if (StartsWithNoCase(data, "dword:")) {
        const std::string_view digits = data.substr(6);
        if (digits.empty() || digits.size() > 8) return TLineKind::Bad;
        std::uint32_t number = 0;
        for (char c : digits) {
            if (HexDigit(c) < 0) return TLineKind::Bad;
            number = number * 16 + static_cast<std::uint32_t>(HexDigit(c));
        }
        value.type = TRegDataType::Dword;
        value.dword = number;
        return TLineKind::Value;
    }
    if (StartsWithNoCase(data, "hex")) {
        std::string normalized;
        std::string bytes;
        int typeCode = 0;
        if (!ParseHexData(data, normalized, typeCode, bytes)) return TLineKind::Bad;
        // REG_SZ in hex form (how text with line breaks is written) and REG_EXPAND_SZ: text in UTF-16LE.
        if (typeCode == 1 || typeCode == 2) {
            std::string text;
            if (bytes.size() >= 2 && bytes[bytes.size() - 1] == 0 && bytes[bytes.size() - 2] == 0)
                bytes.resize(bytes.size() - 2);
            if (Utf16LeToUtf8(bytes, text) && text.find('\0') == std::string::npos) {
                value.type = typeCode == 1 ? TRegDataType::String : TRegDataType::ExpandString;
                value.text = std::move(text);
                return TLineKind::Value;
            }
        }
        value.type = TRegDataType::Other;
        value.text = std::move(normalized);
        return TLineKind::Value;
    }
    return TLineKind::Bad;
}

bool IsHexValueLine(std::string_view line)
{
    std::size_t pos = 0;
    std::string name;
    if (line[0] == '@') {
        pos = 1;
    } else if (!ParseQuoted(line, pos, name)) {
        return false;
    }
    while (pos < line.size() && IsBlank(line[pos])) ++pos;
    if (pos >= line.size() || line[pos] != '=') return false;
    return StartsWithNoCase(TrimView(line.substr(pos + 1)), "hex");
}

std::string_view ShortRootName(std::string_view rootName)
{
    if (rootName == "HKEY_CURRENT_USER") return "HKCU";
    if (rootName == "HKEY_LOCAL_MACHINE") return "HKLM";
    return {};
}

void AppendWrapped(std::string& out, std::size_t lineStart, std::string_view data)
{
    const std::size_t colon = data.find(':');
    out += data.substr(0, colon + 1);
    std::string_view rest = data.substr(colon + 1);
    while (!rest.empty()) {
        const std::size_t comma = rest.find(',');
        const std::string_view piece = comma == std::string_view::npos ? rest : rest.substr(0, comma + 1);
        if (out.size() - lineStart + piece.size() > kWrapColumn && out.back() == ',') {
            out += "\\\n  ";
            lineStart = out.size() - 2;
        }
        out += piece;
        rest.remove_prefix(piece.size());
    }
}

void AppendValue(std::string& out, const TValue& value)
{
    const std::size_t lineStart = out.size();
    out += value.name.empty() ? std::string("@") : Quote(value.name);
    out += '=';
    switch (value.type) {
        case TRegDataType::Dword: {
            char text[16];
            std::snprintf(text, sizeof text, "dword:%08x", static_cast<unsigned>(value.dword));
            out += text;
            break;
        }
        case TRegDataType::String:
        case TRegDataType::ExpandString:
            if (value.type == TRegDataType::String && value.text.find_first_of("\r\n") == std::string::npos) {
                out += Quote(value.text);
            } else {
                std::string data = value.type == TRegDataType::String ? "hex(1):" : "hex(2):";
                const std::string units = Utf8ToUtf16Le(value.text) + std::string(2, '\0');
                for (std::size_t k = 0; k < units.size(); ++k) {
                    char text[4];
                    std::snprintf(text, sizeof text, "%02x", static_cast<unsigned char>(units[k]));
                    if (k > 0) data += ',';
                    data += text;
                }
                AppendWrapped(out, lineStart, data);
            }
            break;
        default:
            AppendWrapped(out, lineStart, value.text);
            break;
    }
    out += '\n';
}

// Every key under `top`, each as its section: the path, then its values. Depth first without recursion:
// the path grows and shrinks in one buffer.
void AppendKeys(std::string& out, std::string& path, const TKey& top)
{
    struct TLevel {
        const TKey* key;
        std::size_t next;        // the subkey to write next
        std::size_t pathLength;  // the path up to and including this key
    };
    std::vector<TLevel> stack;
    const auto enter = [&](const TKey& key) {
        path += '\\';
        path += key.name;
        out += '[';
        out += path;
        out += "]\n";
        for (const TValue& value : key.Values()) AppendValue(out, value);
        out += '\n';
        stack.push_back({&key, 0, path.size()});
    };
    const std::size_t base = path.size();
    for (const TKey& sub : top.Subkeys()) {
        path.resize(base);
        enter(sub);
        while (!stack.empty()) {
            TLevel& level = stack.back();
            if (level.next == level.key->Subkeys().size()) {
                stack.pop_back();
                continue;
            }
            path.resize(level.pathLength);
            enter(level.key->Subkeys()[level.next++]);
        }
    }
    path.resize(base);
}

// Removes the entry of that name from a list and its index; later entries move up by one.
template <class T>
bool RemoveNamed(std::vector<T>& list, std::unordered_map<std::string, std::size_t>& index, std::string_view name)
{
    const auto it = index.find(UpperAscii(name));
    if (it == index.end()) return false;
    const std::size_t at = it->second;
    index.erase(it);
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(at));
    for (auto& [upper, position] : index)
        if (position > at) --position;
    return true;
}

}  // namespace

TKey* TKey::FindSubkey(std::string_view subkeyName)
{
    const auto it = subkeyAt_.find(UpperAscii(subkeyName));
    return it == subkeyAt_.end() ? nullptr : &subkeys_[it->second];
}

const TValue* TKey::FindValue(std::string_view valueName) const
{
    const auto it = valueAt_.find(UpperAscii(valueName));
    return it == valueAt_.end() ? nullptr : &values_[it->second];
}

TKey& TKey::AddSubkey(std::string_view subkeyName)
{
    subkeyAt_.emplace(UpperAscii(subkeyName), subkeys_.size());
    return subkeys_.emplace_back(std::string(subkeyName));
}

bool TKey::RemoveSubkey(std::string_view subkeyName)
{
    return RemoveNamed(subkeys_, subkeyAt_, subkeyName);
}

void TKey::SetValue(TValue value)
{
    const auto [it, added] = valueAt_.emplace(UpperAscii(value.name), values_.size());
    if (added) {
        values_.push_back(std::move(value));
        return;
    }
    TValue& existing = values_[it->second];
    value.name = existing.name;
    existing = std::move(value);
}

bool TKey::RemoveValue(std::string_view valueName)
{
    return RemoveNamed(values_, valueAt_, valueName);
}

std::vector<std::string_view> SplitKeyPath(std::string_view path)
{
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        const std::size_t slash = path.find('\\');
        const std::string_view part = path.substr(0, slash);
        if (!part.empty()) parts.push_back(part);
        if (slash == std::string_view::npos) break;
        path.remove_prefix(slash + 1);
    }
    return parts;
}

TKey* FindKey(TKey& root, const std::vector<std::string_view>& path)
{
    TKey* key = &root;
    for (std::string_view part : path)
        if ((key = key->FindSubkey(part)) == nullptr) return nullptr;
    return key;
}

TKey& CreateKey(TKey& root, const std::vector<std::string_view>& path)
{
    TKey* key = &root;
    for (std::string_view part : path) {
        TKey* sub = key->FindSubkey(part);
        key = sub != nullptr ? sub : &key->AddSubkey(part);
    }
    return *key;
}

bool DeleteKey(TKey& root, const std::vector<std::string_view>& path)
{
    if (path.empty()) return false;
    TKey* parent = FindKey(root, {path.begin(), path.end() - 1});
    return parent != nullptr && parent->RemoveSubkey(path.back());
}

TParseResult Parse(std::string_view bytes, std::string_view rootName)
{
    TParseResult result;
    std::string text;
    std::string problem;
    if (!DecodeFile(bytes, text, problem)) {
        result.damaged = true;
        result.problems.push_back("damaged: " + problem);
        return result;
    }

    std::vector<std::string_view> lines;
    for (std::string_view rest = text; !rest.empty();) {
        const std::size_t newline = rest.find('\n');
        std::string_view line = rest.substr(0, newline);
        while (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // CR LF, or a stray CR before it
        lines.push_back(line);
        if (newline == std::string_view::npos) break;
        rest.remove_prefix(newline + 1);
    }

    std::size_t i = 0;
    while (i < lines.size() && TrimView(lines[i]).empty()) ++i;
    if (i == lines.size()) return result;  // an empty file is an empty hive
    const std::string_view header = TrimView(lines[i]);
    if (!SameTextAscii(header, kHeader5) && !SameTextAscii(header, kHeader4)) {
        result.damaged = true;
        result.problems.push_back("damaged: no Registry Editor header");
        return result;
    }
    ++i;

    enum class TMode { None, Ours, Deleted, Foreign } mode = TMode::None;
    TKey* current = nullptr;
    TDocument& doc = result.document;
    const auto report = [&](std::size_t lineNumber, const std::string& message, bool lossy) {
        result.problems.push_back("line " + std::to_string(lineNumber) + ": " + message);
        if (lossy) result.lossy = true;
    };

    while (i < lines.size()) {
        const std::size_t lineNumber = i + 1;
        const std::string_view raw = lines[i++];
        const std::string_view line = TrimView(raw);
        if (line.empty() || line[0] == ';') continue;

        if (line[0] == '[') {
            const std::size_t close = line.rfind(']');
            if (close != line.size() - 1) {
                report(lineNumber, "not a key line: " + std::string(line), true);
                mode = TMode::None;
                continue;
            }
            std::string_view inner = line.substr(1, close - 1);
            const bool deletion = !inner.empty() && inner[0] == '-';
            if (deletion) inner.remove_prefix(1);
            const std::size_t slash = inner.find('\\');
            const std::string_view root = inner.substr(0, slash);
            if (!SameTextAscii(root, rootName) && !SameTextAscii(root, ShortRootName(rootName))) {
                report(lineNumber, "key of another hive kept aside: " + std::string(line), false);
                doc.foreignSections.push_back({std::string(raw)});
                mode = TMode::Foreign;
                continue;
            }
            const auto path = SplitKeyPath(slash == std::string_view::npos ? std::string_view{} : inner.substr(slash));
            if (path.size() > kMaxKeyDepth) {
                report(lineNumber, "key deeper than " + std::to_string(kMaxKeyDepth) + " levels left out", true);
                mode = TMode::None;
                continue;
            }
            if (deletion) {
                if (path.empty())
                    report(lineNumber, "deletion of the hive root ignored", true);
                else
                    DeleteKey(doc.root, path);
                mode = TMode::Deleted;
            } else {
                current = &CreateKey(doc.root, path);
                mode = TMode::Ours;
            }
            continue;
        }

        const bool valueLine = line[0] == '"' || line[0] == '@';
        std::string logical(line);
        std::vector<std::string> rawLines{std::string(raw)};
        if (valueLine && IsHexValueLine(line)) {
            while (!logical.empty() && logical.back() == '\\' && i < lines.size() && !TrimView(lines[i]).empty()) {
                logical.pop_back();
                logical += TrimView(lines[i]);
                rawLines.emplace_back(lines[i++]);
            }
        }
        if (mode == TMode::Foreign) {
            auto& section = doc.foreignSections.back();
            section.insert(section.end(), rawLines.begin(), rawLines.end());
            continue;
        }
        if (!valueLine) {
            report(lineNumber, "not a key or value line: " + std::string(line), true);
            continue;
        }
        if (mode != TMode::Ours) {
            report(lineNumber, "value outside a key: " + std::string(line), true);
            continue;
        }
        TValue value;
        const TLineKind kind = ParseValueLine(logical, value);
        if (kind == TLineKind::Bad) {
            report(lineNumber, "value not understood: " + std::string(line), true);
            continue;
        }
        if (kind == TLineKind::Delete)
            current->RemoveValue(value.name);
        else
            current->SetValue(std::move(value));
    }
    return result;
}

std::string Serialize(const TDocument& document, std::string_view rootName)
{
    std::string out(kHeader5);
    out += "\n\n";
    std::string root(rootName);
    if (!document.root.Values().empty()) {
        out += '[' + root + "]\n";
        for (const TValue& value : document.root.Values()) AppendValue(out, value);
        out += '\n';
    }
    AppendKeys(out, root, document.root);
    for (const auto& section : document.foreignSections) {
        for (const std::string& line : section) {
            out += line;
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

}  // namespace halcyra::regfile
