// The real monitor-data file access, counting every call: work that must leave the files alone shows as
// no change of Calls.
#pragma once

#include "savefile/SaveFileIo.h"

namespace halcyra::test {

class TCountingSaveFileIo final : public TPosixSaveFileIo {
public:
    int Calls = 0;

    bool Exists(const std::filesystem::path& path) override
    {
        ++Calls;
        return TPosixSaveFileIo::Exists(path);
    }
    bool Stamp(const std::filesystem::path& path, TFileStamp& out) override
    {
        ++Calls;
        return TPosixSaveFileIo::Stamp(path, out);
    }
    std::unique_ptr<TStream> OpenRead(const std::filesystem::path& path) override
    {
        ++Calls;
        return TPosixSaveFileIo::OpenRead(path);
    }
    std::string ReadAll(const std::filesystem::path& path) override
    {
        ++Calls;
        return TPosixSaveFileIo::ReadAll(path);
    }
    void WriteWhole(const std::filesystem::path& path, std::string_view bytes) override
    {
        ++Calls;
        TPosixSaveFileIo::WriteWhole(path, bytes);
    }
    void Update(const std::filesystem::path& path,
                const std::function<std::string(std::string current)>& rewrite) override
    {
        ++Calls;
        TPosixSaveFileIo::Update(path, rewrite);
    }
    void Append(const std::filesystem::path& path, std::string_view bytes, const TAppendCheck& check,
                TFileStamp* after) override
    {
        ++Calls;
        TPosixSaveFileIo::Append(path, bytes, check, after);
    }
};

}  // namespace halcyra::test
