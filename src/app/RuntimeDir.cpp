#include "app/RuntimeDir.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

namespace halcyra {

namespace {

bool PrivateFolderOf(const std::string& folder, uid_t uid)
{
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == uid &&
           (info.st_mode & 0777) == 0700;
}

}  // namespace

void ProvideRuntimeDir(const std::string& sessionRoot)
{
    const char* current = std::getenv("XDG_RUNTIME_DIR");
    if (current != nullptr && *current != '\0') return;
    const uid_t uid = ::geteuid();
    if (const std::string session = sessionRoot + "/" + std::to_string(uid); PrivateFolderOf(session, uid)) {
        ::setenv("XDG_RUNTIME_DIR", session.c_str(), 1);
        return;
    }
    const char* tmp = std::getenv("TMPDIR");
    std::string folder = tmp != nullptr && *tmp == '/' ? tmp : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    const passwd* user = ::getpwuid(uid);
    folder += "/runtime-" + (user != nullptr ? std::string(user->pw_name) : std::to_string(uid));

    ::mkdir(folder.c_str(), 0700);
    if (PrivateFolderOf(folder, uid)) ::setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
}

}  // namespace halcyra
