// The program's own icon, drawn as SVG and rendered at the sizes desktops ask for, for the application,
// its windows and the tray.
#pragma once

#include <QIcon>

namespace halcyra {

QIcon ApplicationIcon();

}  // namespace halcyra
