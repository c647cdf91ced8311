// Files held in memory, for tests, fuzzing and tools that work on bytes; failures can be switched on.
#pragma once

#include "savefile/SaveFileIo.h"

#include <map>
#include <string>
#include <vector>

namespace halcyra {

class TMemorySaveFileIo : public ISaveFileIo {
public:
    std::map<std::filesystem::path, std::string> Files;
    // The next appends fail (as a full disk or a locked file would).
    bool FailAppends = false;
    // Whole-file reads so far (OpenRead and ReadAll).
    int Reads = 0;
    // The files synced, in order.
    std::vector<std::filesystem::path> Synced;

    bool Exists(const std::filesystem::path& path) override { return Files.count(path) != 0; }
    bool Stamp(const std::filesystem::path& path, TFileStamp& out) override;
    std::unique_ptr<TStream> OpenRead(const std::filesystem::path& path) override;
    std::string ReadAll(const std::filesystem::path& path) override;
    void WriteWhole(const std::filesystem::path& path, std::string_view bytes) override;
    void Update(const std::filesystem::path& path, const std::function<std::string(std::string current)>& rewrite,
                TUpdateStamps* stamps = nullptr) override;
    void Append(const std::filesystem::path& path, std::string_view bytes, const TAppendCheck& check = {},
                TFileStamp* after = nullptr) override;
    void Sync(const std::filesystem::path& path) override { Synced.push_back(path); }

private:
    void Touch(const std::filesystem::path& path);
    std::map<std::filesystem::path, std::uint64_t> versions_;
    std::map<std::filesystem::path, std::uint64_t> inodes_;
    std::uint64_t clock_ = 0;
};

}  // namespace halcyra
