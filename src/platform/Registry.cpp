#include "platform/Registry.h"

#include "platform/FileIo.h"
#include "platform/RegFile.h"
#include "platform/Text.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <iostream>
#include <optional>

namespace halcyra {
namespace fs = std::filesystem;

const char* HiveRootName(THive hive)
{
    return hive == THive::CurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

namespace {

// Identifies one version of the hive file. A write replaces the file by rename, so the inode changes
// even when the modification time and size do not.
using fileio::TFileStamp;

// Holds the hive's lock file locked; closing the descriptor releases the lock.
fileio::TFd LockFile(const fs::path& file)
{
    // Opened read-only: flock needs no write access, so a lock file made by another user still works.
    fileio::TFd fd(::open(file.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0666));
    if (!fd.Valid()) fileio::ThrowErrno(errno, "lock");
    while (::flock(fd.Get(), LOCK_EX) != 0)
        if (errno != EINTR) fileio::ThrowErrno(errno, "lock");
    return fd;
}

std::string Utf8(std::string_view singleByte)
{
    return Win1252ToUtf8(singleByte);
}

std::vector<std::string_view> KeyPath(const std::string& utf8Key)
{
    return regfile::SplitKeyPath(utf8Key);
}

// The path of a key to be created; a deeper one than a hive takes is refused (reads simply find no key).
std::vector<std::string_view> NewKeyPath(const std::string& utf8Key)
{
    auto parts = KeyPath(utf8Key);
    if (parts.size() > regfile::kMaxKeyDepth)
        throw ERegistryError("Registry key deeper than " + std::to_string(regfile::kMaxKeyDepth) + " levels");
    return parts;
}

void CheckName(std::string_view name, std::string_view what)
{
    if (name.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos)
        throw ERegistryError("Invalid registry " + std::string(what) + " name (line break or NUL)");
}

std::string BackupStamp()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y%m%d-%H%M%S", &local);
    return text;
}

}  // namespace

struct TRegistryHive::TImpl {
    fs::path file;
    THive hive;
    TRegistryProblemSink sink;
    std::function<void(const fs::path&)> beforeReplace;

    bool loaded = false;
    TFileStamp stamp;
    regfile::TDocument document;
    // The file holds more than the document (damaged or with unreadable lines): its bytes, to be copied
    // aside before the first write replaces it.
    bool needsBackup = false;
    std::string rawBytes;

    void Report(const std::string& message) const
    {
        const std::string text = "Registry file " + HostPathText(file) + ": " + message;
        if (sink)
            sink(text);
        else
            std::cerr << text << '\n';
    }

    ERegistryError Failure(const char* action, const std::system_error& error) const
    {
        return ERegistryError(std::string("Cannot ") + action + " registry file " + HostPathText(file) + ": " +
                              error.code().message());
    }

    void Load()
    {
        struct stat st {};
        std::string bytes;
        try {
            bytes = fileio::ReadWholeFile(file, &st);
        } catch (const std::system_error& error) {
            if (error.code() != std::errc::no_such_file_or_directory && error.code() != std::errc::not_a_directory)
                throw Failure("read", error);
            document = {};
            stamp = {};
            needsBackup = false;
            rawBytes.clear();
            loaded = true;
            return;
        }
        regfile::TParseResult parsed = regfile::Parse(bytes, HiveRootName(hive));
        for (const std::string& problem : parsed.problems) Report(problem);
        document = std::move(parsed.document);
        stamp = TFileStamp::Of(st);
        needsBackup = parsed.damaged || parsed.lossy;
        rawBytes = needsBackup ? std::move(bytes) : std::string();
        loaded = true;
    }

    // The document as the file holds it now.
    regfile::TDocument& Current()
    {
        struct stat st {};
        TFileStamp now;
        if (::stat(file.c_str(), &st) == 0) {
            now = TFileStamp::Of(st);
        } else if (errno != ENOENT && errno != ENOTDIR) {
            throw Failure("read", std::system_error(errno, std::generic_category()));
        }
        if (!loaded || !(now == stamp)) Load();
        return document;
    }

    void KeepBackup()
    {
        fs::path backup = file;
        backup += ".damaged-" + BackupStamp();
        std::error_code ignored;
        for (int n = 2; fs::exists(fs::symlink_status(backup, ignored)); ++n) {
            backup = file;
            backup += ".damaged-" + BackupStamp() + "-" + std::to_string(n);
        }
        fs::path temp = backup;
        temp += ".tmp";
        try {
            fileio::ReplaceFile(backup, temp, rawBytes);
        } catch (const std::system_error& error) {
            throw ERegistryError("Cannot keep a copy of damaged registry file " + HostPathText(file) + " as " +
                                 HostPathText(backup) + ": " + error.code().message());
        }
        Report("kept a copy as " + HostPathText(backup) + " before rewriting it");
    }

    // Read-modify-write under the lock. `change` edits a copy of the document and says whether it changed
    // anything; only then is the file rewritten, and only a written file becomes the cached document.
    template <typename TChange>
    bool Modify(TChange&& change)
    {
        std::error_code ignored;
        fs::create_directories(file.parent_path(), ignored);
        fs::path lockPath = file;
        lockPath += ".lock";
        fileio::TFd lock;
        try {
            lock = LockFile(lockPath);
        } catch (const std::system_error& error) {
            throw Failure("write", error);
        }
        regfile::TDocument edited = Current();
        struct stat st {};
        std::optional<mode_t> mode;
        if (stamp.exists && ::stat(file.c_str(), &st) == 0) {
            // As on Windows, a read-only hive file is not written, not even by an administrator.
            if ((st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(file.c_str(), W_OK) != 0)
                throw Failure("write", std::system_error(std::make_error_code(std::errc::permission_denied)));
            mode = st.st_mode & 07777;
        }
        if (!change(edited.root)) return false;
        if (needsBackup && stamp.exists) KeepBackup();
        fs::path temp = file;
        temp += ".tmp";
        struct stat written {};
        try {
            fileio::ReplaceFile(file, temp, regfile::Serialize(edited, HiveRootName(hive)), {mode, beforeReplace},
                                &written);
        } catch (const std::system_error& error) {
            throw Failure("write", error);
        }
        document = std::move(edited);
        stamp = TFileStamp::Of(written);
        needsBackup = false;
        rawBytes.clear();
        return true;
    }

    const regfile::TValue& Value(std::string_view key, std::string_view name)
    {
        regfile::TKey* found = regfile::FindKey(Current().root, KeyPath(Utf8(key)));
        if (found == nullptr) throw ERegistryError("Registry key not found: " + std::string(key));
        const regfile::TValue* value = found->FindValue(Utf8(name));
        if (value == nullptr)
            throw ERegistryError("Registry value not found: " + std::string(key) + " \"" + std::string(name) + '"');
        return *value;
    }

    void Write(std::string_view key, std::string_view name, regfile::TValue value)
    {
        CheckName(key, "key");
        CheckName(name, "value");
        value.name = Utf8(name);
        const std::string path = Utf8(key);
        const auto unchanged = [&](const regfile::TValue& existing) {
            return existing.type == value.type && existing.text == value.text && existing.dword == value.dword;
        };
        // A write of what is stored already changes nothing on disk: no lock, no rewrite.
        if (regfile::TKey* found = regfile::FindKey(Current().root, KeyPath(path)))
            if (const regfile::TValue* existing = found->FindValue(value.name); existing && unchanged(*existing))
                return;
        Modify([&](regfile::TKey& root) {
            regfile::TKey& target = regfile::CreateKey(root, NewKeyPath(path));
            if (const regfile::TValue* existing = target.FindValue(value.name); existing && unchanged(*existing))
                return false;
            target.SetValue(value);
            return true;
        });
    }
};

TRegistryHive::TRegistryHive(fs::path file, THive hive) : impl_(std::make_unique<TImpl>())
{
    impl_->file = std::move(file);
    impl_->hive = hive;
}

TRegistryHive::~TRegistryHive() = default;

THive TRegistryHive::Hive() const
{
    return impl_->hive;
}
const fs::path& TRegistryHive::File() const
{
    return impl_->file;
}
void TRegistryHive::SetProblemSink(TRegistryProblemSink sink)
{
    impl_->sink = std::move(sink);
}

void TRegistryHive::SetBeforeReplaceHook(std::function<void(const fs::path&)> hook)
{
    impl_->beforeReplace = std::move(hook);
}

bool TRegistryHive::KeyExists(std::string_view key)
{
    return regfile::FindKey(impl_->Current().root, KeyPath(Utf8(key))) != nullptr;
}

void TRegistryHive::CreateKey(std::string_view key)
{
    CheckName(key, "key");
    const std::string path = Utf8(key);
    impl_->Modify([&](regfile::TKey& root) {
        const auto parts = NewKeyPath(path);
        if (regfile::FindKey(root, parts) != nullptr) return false;
        regfile::CreateKey(root, parts);
        return true;
    });
}

bool TRegistryHive::DeleteKey(std::string_view key)
{
    const std::string path = Utf8(key);
    if (KeyPath(path).empty()) throw ERegistryError("The root of a hive cannot be deleted");
    return impl_->Modify([&](regfile::TKey& root) { return regfile::DeleteKey(root, KeyPath(path)); });
}

std::vector<std::string> TRegistryHive::GetKeyNames(std::string_view key)
{
    std::vector<std::string> names;
    if (regfile::TKey* found = regfile::FindKey(impl_->Current().root, KeyPath(Utf8(key))))
        for (const regfile::TKey& sub : found->Subkeys()) names.push_back(Utf8ToWin1252(sub.name));
    return names;
}

std::vector<std::string> TRegistryHive::GetValueNames(std::string_view key)
{
    std::vector<std::string> names;
    if (regfile::TKey* found = regfile::FindKey(impl_->Current().root, KeyPath(Utf8(key))))
        for (const regfile::TValue& value : found->Values()) names.push_back(Utf8ToWin1252(value.name));
    return names;
}

TRegDataType TRegistryHive::GetDataType(std::string_view key, std::string_view name)
{
    regfile::TKey* found = regfile::FindKey(impl_->Current().root, KeyPath(Utf8(key)));
    if (found == nullptr) return TRegDataType::None;
    const regfile::TValue* value = found->FindValue(Utf8(name));
    return value == nullptr ? TRegDataType::None : value->type;
}

bool TRegistryHive::ValueExists(std::string_view key, std::string_view name)
{
    return GetDataType(key, name) != TRegDataType::None;
}

std::string TRegistryHive::ReadString(std::string_view key, std::string_view name)
{
    const regfile::TValue& value = impl_->Value(key, name);
    if (value.type != TRegDataType::String && value.type != TRegDataType::ExpandString)
        throw ERegistryError("Registry value \"" + std::string(name) + "\" of " + std::string(key) +
                             " is not a string");
    return Utf8ToWin1252(value.text);
}

std::uint32_t TRegistryHive::ReadDword(std::string_view key, std::string_view name)
{
    const regfile::TValue& value = impl_->Value(key, name);
    if (value.type != TRegDataType::Dword)
        throw ERegistryError("Registry value \"" + std::string(name) + "\" of " + std::string(key) + " is not a DWORD");
    return value.dword;
}

void TRegistryHive::WriteString(std::string_view key, std::string_view name, std::string_view value)
{
    if (value.find('\0') != std::string_view::npos) throw ERegistryError("A registry string cannot hold NUL");
    impl_->Write(key, name, regfile::TValue{{}, TRegDataType::String, Utf8(value), 0});
}

void TRegistryHive::WriteDword(std::string_view key, std::string_view name, std::uint32_t value)
{
    impl_->Write(key, name, regfile::TValue{{}, TRegDataType::Dword, {}, value});
}

bool TRegistryHive::DeleteValue(std::string_view key, std::string_view name)
{
    const std::string path = Utf8(key);
    const std::string valueName = Utf8(name);
    return impl_->Modify([&](regfile::TKey& root) {
        regfile::TKey* found = regfile::FindKey(root, KeyPath(path));
        return found != nullptr && found->RemoveValue(valueName);
    });
}

void TRegValueChanges::WriteString(std::string_view name, std::string_view value)
{
    changes_.push_back({std::string(name), TRegDataType::String, std::string(value), 0});
}

void TRegValueChanges::WriteDword(std::string_view name, std::uint32_t value)
{
    changes_.push_back({std::string(name), TRegDataType::Dword, {}, value});
}

void TRegValueChanges::DeleteValue(std::string_view name)
{
    changes_.push_back({std::string(name), TRegDataType::None, {}, 0});
}

bool TRegistryHive::WriteValues(std::string_view key, const TRegValueChanges& changes)
{
    CheckName(key, "key");
    struct TPrepared {
        std::string name;  // UTF-8
        bool remove;
        regfile::TValue value;
    };
    std::vector<TPrepared> prepared;
    prepared.reserve(changes.changes_.size());
    bool writes = false;
    for (const TRegValueChanges::TChange& change : changes.changes_) {
        CheckName(change.name, "value");
        if (change.type == TRegDataType::String && change.text.find('\0') != std::string::npos)
            throw ERegistryError("A registry string cannot hold NUL");
        const bool remove = change.type == TRegDataType::None;
        writes = writes || !remove;
        std::string name = Utf8(change.name);
        regfile::TValue value{name, change.type, remove ? std::string() : Utf8(change.text), change.dword};
        prepared.push_back({std::move(name), remove, std::move(value)});
    }
    const std::string path = Utf8(key);
    // Applies the changes to a key; true when one of them altered it.
    const auto apply = [&prepared](regfile::TKey* target, bool edit) {
        bool changed = false;
        for (const TPrepared& change : prepared) {
            const regfile::TValue* existing = target != nullptr ? target->FindValue(change.name) : nullptr;
            if (change.remove) {
                if (existing == nullptr) continue;
                if (edit) target->RemoveValue(change.name);
            } else {
                if (existing != nullptr && existing->type == change.value.type && existing->text == change.value.text &&
                    existing->dword == change.value.dword)
                    continue;
                if (edit) target->SetValue(change.value);
            }
            changed = true;
            if (!edit) return true;
        }
        return changed;
    };
    // What is stored already, as it is now, needs no lock and no rewrite. A write after a delete of the same
    // name counts as a change here; the edit below decides for good.
    if (!apply(regfile::FindKey(impl_->Current().root, KeyPath(path)), false)) return false;
    return impl_->Modify([&](regfile::TKey& root) {
        regfile::TKey* target =
            writes ? &regfile::CreateKey(root, NewKeyPath(path)) : regfile::FindKey(root, KeyPath(path));
        return target != nullptr && apply(target, true);
    });
}

TRegistry::TRegistry(fs::path currentUserFile, fs::path localMachineFile)
    : currentUser_(std::move(currentUserFile), THive::CurrentUser),
      localMachine_(std::move(localMachineFile), THive::LocalMachine)
{
}

std::unique_ptr<TRegistry> TRegistry::InDirectory(const fs::path& directory)
{
    return std::make_unique<TRegistry>(directory / "HKEY_CURRENT_USER.reg", directory / "HKEY_LOCAL_MACHINE.reg");
}

std::unique_ptr<TRegistry> TRegistry::ForProgram(const fs::path& directory)
{
    if (!directory.empty()) return InDirectory(directory);
    const char* registry = std::getenv("HALCYRA_REGISTRY");
    if (registry != nullptr && *registry != '\0') return InDirectory(registry);
    fs::path config;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
        config = xdg;
    } else {
        const char* home = std::getenv("HOME");
        config = fs::path(home != nullptr && *home != '\0' ? home : "/") / ".config";
    }
    return std::make_unique<TRegistry>(config / "halcyra" / "HKEY_CURRENT_USER.reg",
                                       "/etc/halcyra/HKEY_LOCAL_MACHINE.reg");
}

TRegistryHive& TRegistry::Hive(THive hive)
{
    return hive == THive::CurrentUser ? currentUser_ : localMachine_;
}

void TRegistry::SetProblemSink(const TRegistryProblemSink& sink)
{
    currentUser_.SetProblemSink(sink);
    localMachine_.SetProblemSink(sink);
}

}  // namespace halcyra
