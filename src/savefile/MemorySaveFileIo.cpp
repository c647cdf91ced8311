#include "savefile/MemorySaveFileIo.h"

namespace halcyra {

void TMemorySaveFileIo::Touch(const std::filesystem::path& path)
{
    versions_[path] = ++clock_;
}

bool TMemorySaveFileIo::Stamp(const std::filesystem::path& path, TFileStamp& out)
{
    const auto it = Files.find(path);
    if (it == Files.end()) return false;
    out = {};
    out.exists = true;
    out.mtimeNs = static_cast<std::int64_t>(versions_[path]);
    out.size = it->second.size();
    // A whole-file write stands for a replacement: another file under the name.
    out.inode = inodes_[path];
    return true;
}

std::unique_ptr<TStream> TMemorySaveFileIo::OpenRead(const std::filesystem::path& path)
{
    return std::make_unique<TMemoryStream>(ReadAll(path));
}

std::string TMemorySaveFileIo::ReadAll(const std::filesystem::path& path)
{
    const auto it = Files.find(path);
    if (it == Files.end()) throw ESaveFileIoError("Cannot open " + path.string() + ": No such file or directory");
    ++Reads;
    return it->second;
}

void TMemorySaveFileIo::WriteWhole(const std::filesystem::path& path, std::string_view bytes)
{
    Files[path] = std::string(bytes);
    inodes_[path] = ++clock_;
    Touch(path);
}

void TMemorySaveFileIo::Update(const std::filesystem::path& path,
                               const std::function<std::string(std::string current)>& rewrite, TUpdateStamps* stamps)
{
    if (stamps != nullptr) {
        *stamps = {};
        Stamp(path, stamps->before);
    }
    std::string next = rewrite(ReadAll(path));
    WriteWhole(path, next);
    if (stamps != nullptr) Stamp(path, stamps->after);
}

void TMemorySaveFileIo::Append(const std::filesystem::path& path, std::string_view bytes, const TAppendCheck& check,
                               TFileStamp* after)
{
    const auto it = Files.find(path);
    if (it == Files.end()) throw ESaveFileIoError("Cannot open " + path.string() + ": No such file or directory");
    if (FailAppends) throw ESaveFileIoError("Cannot write " + path.string() + ": No space left on device");
    if (check) {
        TFileStamp stamp;
        Stamp(path, stamp);
        TMemoryStream file(it->second);
        const std::int64_t wholeEnd = check(file, stamp);
        if (wholeEnd >= 0 && static_cast<std::uint64_t>(wholeEnd) < it->second.size())
            it->second.resize(static_cast<std::size_t>(wholeEnd));
    }
    it->second.append(bytes);
    Touch(path);
    if (after != nullptr) Stamp(path, *after);
}

}  // namespace halcyra
