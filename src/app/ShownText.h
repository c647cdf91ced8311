// The texts the Qt-free core hands to the window (connection states, row warnings, message boxes) are
// English, as its log lines are. The window shows them in the user's language through one table of the
// core's sentences, each with its variable parts as %1, %2, ...: a text that matches a sentence is shown
// as that sentence's translation with the parts put in, each part translated in turn (a reason inside a
// warning). A text the table does not know is shown as it is.
#pragma once

#include <QString>

#include <string_view>

namespace halcyra {

// The translation context of the core's sentences in the language module.
inline constexpr const char* kShownTextContext = "halcyra::ShownText";

// `text` in the core's single-byte encoding, as the user should read it. For the window's thread.
QString ShownText(std::string_view text);

// Every sentence of the table, in English.
QStringList ShownTextSources();

}  // namespace halcyra
