#pragma once

#include <QString>

namespace quorvane {

// A text from outside the program (a catalogue name, a server's message) made safe to write into a
// log line or onto a terminal: every control character is shown instead of obeyed. CR, LF, tab and
// escape become <CR>, <LF>, <TAB> and <ESC>, any other (C0, DEL, C1) <U+XXXX>, so a name can
// neither start a line of its own nor send an escape sequence. Tabs stay as they are when the
// caller's own line uses them as separators.
enum class Tabs { Shown, Kept };
QString visibleText(const QString& text, Tabs tabs = Tabs::Shown);

} // namespace quorvane
