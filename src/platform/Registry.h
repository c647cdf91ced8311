// Stand-in for the Windows registry: two hives, each persisted as one Registry Editor 5.00 file.
// Names compare without regard to ASCII case; values keep their creation order; every change is
// written at once, atomically, under an advisory lock, so concurrent processes keep each other's values.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

enum class THive { CurrentUser, LocalMachine };

// "HKEY_CURRENT_USER" or "HKEY_LOCAL_MACHINE".
const char* HiveRootName(THive hive);

class ERegistryError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// ExpandString (REG_EXPAND_SZ, "hex(2):" in the file) reads through ReadString as it stands, unexpanded,
// as on Windows; it is never written except to keep it.
enum class TRegDataType { None, String, Dword, Other, ExpandString };

// Receives reports about damaged hive files, for the log.
using TRegistryProblemSink = std::function<void(const std::string& message)>;

// Changes to the values of one key, applied together by TRegistryHive::WriteValues.
class TRegValueChanges {
public:
    void WriteString(std::string_view name, std::string_view value);
    void WriteDword(std::string_view name, std::uint32_t value);
    void DeleteValue(std::string_view name);
    bool Empty() const { return changes_.empty(); }

private:
    friend class TRegistryHive;
    struct TChange {
        std::string name;
        TRegDataType type = TRegDataType::None;  // None deletes the value
        std::string text;
        std::uint32_t dword = 0;
    };
    std::vector<TChange> changes_;
};

// One hive. Key paths are relative to the hive root, with or without a leading backslash
// ("\SOFTWARE\Tovarin\..." and "SOFTWARE\Tovarin\..." name the same key). Every call sees the file as
// it is now (re-read when its modification time or size changed).
//
// Names and strings are single-byte (Windows-1252) here and UTF-8 in the file; a string holding a line
// break is written as "hex(1):". Values of other types (hex:, hex(7): ...) read as TRegDataType::Other
// and are kept as they are when the file is rewritten; so are sections of another hive's keys (reported).
// Deletion lines ("[-KEY]", "NAME"=-) are applied. Comment lines (";") are not kept. A read-only hive
// file (no write permission bits) is not written, not even by root.
// A file that cannot be read at all (no Registry Editor header, binary data) is reported to the problem
// sink and reads as empty; lines that cannot be read are reported and skipped. In both cases a copy of the
// file is kept beside it ("NAME.reg.damaged-yyyymmdd-hhnnss") before the first write replaces it; when the
// copy cannot be made, the write fails. Reports go to standard error until a sink is set.
// The lock file "NAME.reg.lock" beside the hive file guards read-modify-write; the folder of the hive file
// must be writable, and is created when missing.
class TRegistryHive {
public:
    TRegistryHive(std::filesystem::path file, THive hive);
    ~TRegistryHive();
    TRegistryHive(const TRegistryHive&) = delete;
    TRegistryHive& operator=(const TRegistryHive&) = delete;

    THive Hive() const;
    const std::filesystem::path& File() const;
    void SetProblemSink(TRegistryProblemSink sink);

    bool KeyExists(std::string_view key);
    // Creates the key with its missing parents. Throws ERegistryError when the file cannot be written.
    void CreateKey(std::string_view key);
    // Deletes the key with all its subkeys; false when it did not exist.
    bool DeleteKey(std::string_view key);
    // Direct subkeys, in creation order; empty when the key is missing.
    std::vector<std::string> GetKeyNames(std::string_view key);
    // Value names in creation order; empty when the key is missing.
    std::vector<std::string> GetValueNames(std::string_view key);

    TRegDataType GetDataType(std::string_view key, std::string_view name);
    bool ValueExists(std::string_view key, std::string_view name);
    // Throw ERegistryError when the key or value is missing or the value has another type (ReadString
    // takes String and ExpandString).
    std::string ReadString(std::string_view key, std::string_view name);
    std::uint32_t ReadDword(std::string_view key, std::string_view name);
    // Create the key when missing, replace a value of the same name (keeping its place) or add it at the
    // end. Throw ERegistryError when the hive file cannot be written.
    void WriteString(std::string_view key, std::string_view name, std::string_view value);
    void WriteDword(std::string_view key, std::string_view name, std::uint32_t value);
    // False when the value did not exist. Throws ERegistryError when the file cannot be written.
    bool DeleteValue(std::string_view key, std::string_view name);
    // Applies the changes in their order to the key (created when a value is written to it) in one
    // read-modify-write under the lock and one atomic replace of the file: other processes see all of them
    // or none, and keep their own values. Nothing is written when no change alters what is stored (false).
    // A NUL in a string or a line break in a name throws ERegistryError before anything is written.
    bool WriteValues(std::string_view key, const TRegValueChanges& changes);

    // Test seam: called with the temporary file written and flushed, just before it replaces the hive
    // file. An exception thrown here aborts the write as a crash at that point would.
    void SetBeforeReplaceHook(std::function<void(const std::filesystem::path& tempFile)> hook);

private:
    struct TImpl;
    std::unique_ptr<TImpl> impl_;
};

class TRegistry {
public:
    TRegistry(std::filesystem::path currentUserFile, std::filesystem::path localMachineFile);
    // "HKEY_CURRENT_USER.reg" and "HKEY_LOCAL_MACHINE.reg" in one folder.
    static std::unique_ptr<TRegistry> InDirectory(const std::filesystem::path& directory);
    // The program's registry: `directory` (the --registry option) when not empty, else $HALCYRA_REGISTRY,
    // else $XDG_CONFIG_HOME/halcyra (default ~/.config/halcyra) for the per-user hive and /etc/halcyra for
    // the per-machine hive.
    static std::unique_ptr<TRegistry> ForProgram(const std::filesystem::path& directory = {});

    TRegistryHive& Hive(THive hive);
    TRegistryHive& CurrentUser() { return currentUser_; }
    TRegistryHive& LocalMachine() { return localMachine_; }
    void SetProblemSink(const TRegistryProblemSink& sink);

private:
    TRegistryHive currentUser_;
    TRegistryHive localMachine_;
};

}  // namespace halcyra
