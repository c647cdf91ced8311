// The real monitor-data file access, counting every call: work that must leave the files alone shows as
// no change of Calls. A write error set makes every write fail with it, as a read-only or full disk would.
#pragma once

#include "platform/Text.h"
#include "savefile/SaveFileIo.h"

#include <cstring>

namespace halcyra::test {

class TCountingSaveFileIo final : public TPosixSaveFileIo {
public:
    int Calls = 0;
    int WriteError = 0;  // an errno value

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
        FailWhenTold(path);
        TPosixSaveFileIo::WriteWhole(path, bytes);
    }
    void Update(const std::filesystem::path& path, const std::function<std::string(std::string current)>& rewrite,
                TUpdateStamps* stamps) override
    {
        ++Calls;
        FailWhenTold(path);
        TPosixSaveFileIo::Update(path, rewrite, stamps);
    }
    void Append(const std::filesystem::path& path, std::string_view bytes, const TAppendCheck& check,
                TFileStamp* after) override
    {
        ++Calls;
        FailWhenTold(path);
        TPosixSaveFileIo::Append(path, bytes, check, after);
    }

private:
    void FailWhenTold(const std::filesystem::path& path) const
    {
        if (WriteError != 0)
            throw ESaveFileIoError("Cannot write " + HostPathText(path) + ": " + std::strerror(WriteError));
    }
};

}  // namespace halcyra::test
