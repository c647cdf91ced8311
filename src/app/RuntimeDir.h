// A private runtime folder for Qt and the instance lock when the environment gives none (a shell without a
// login session, a system service): the user's session folder when there is one, else the folder Qt would
// fall back on, named in XDG_RUNTIME_DIR before Qt looks, so a normal start prints no warning about it.
#pragma once

#include <string>

namespace halcyra {

// Sets XDG_RUNTIME_DIR when it is unset or empty: to the login session's folder, sessionRoot/<uid>, when it
// is the user's own with mode 0700 (logind keeps it while the user has a session or a lingering service, so
// a start from a shell without a session finds the instance lock where the desktop and the user service
// keep it); otherwise to $TMPDIR/runtime-<user> (made with mode 0700 when missing) when that folder is the
// user's own with mode 0700; otherwise leaves the environment alone.
void ProvideRuntimeDir(const std::string& sessionRoot = "/run/user");

}  // namespace halcyra
