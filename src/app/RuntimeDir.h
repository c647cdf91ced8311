// A private runtime folder for Qt when the environment gives none (a shell without a login session, a
// system service): the folder Qt would fall back on, made and named in XDG_RUNTIME_DIR before Qt looks,
// so a normal start prints no warning about it.
#pragma once

namespace halcyra {

// Sets XDG_RUNTIME_DIR to $TMPDIR/runtime-<user> (made with mode 0700 when missing) when it is unset or
// empty and that folder is the user's own with mode 0700; otherwise leaves the environment alone.
void ProvideRuntimeDir();

}  // namespace halcyra
