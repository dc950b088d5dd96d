#pragma once
// Texts that come from outside the program (a terminal's NACK text, a
// reader's name, a file name typed or picked) are shown as text and nothing
// else: their control characters are written as visible escapes ("\x1B"),
// so an escape sequence in them cannot retitle, clear or recolour the
// technician's terminal, nor break the lines of a window.
//
// Control characters are C0 (0x00 to 0x1F), DEL (0x7F) and C1 (U+0080 to
// U+009F, which some terminals obey as raw bytes 0x80 to 0x9F too). Other
// bytes pass unchanged, valid UTF-8 or not, so a name in another encoding
// still reads as the user wrote it. The backslash itself is written "\\"
// only where it begins something that would read as an escape ("\x").

#include <QString>

#include <string>

// The bytes of text, made safe to print on a console.
std::string consoleVisible(const std::string &text);

// The same for a text shown in a window.
QString windowVisible(const QString &text);
