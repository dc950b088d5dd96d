#include "KLAVVisibleText.h"

#include <cstdio>

namespace {

void appendEscape(std::string &out, unsigned byte)
{
    char escape[8];
    std::snprintf(escape, sizeof escape, "\\x%02X", byte & 0xFFu);
    out += escape;
}

// Length of the valid UTF-8 sequence that starts at text[i], 0 when none does.
size_t utf8Length(const std::string &text, size_t i)
{
    const auto byte = [&text](size_t at) { return static_cast<unsigned char>(text[at]); };
    const unsigned lead = byte(i);
    size_t length;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4;
    else
        return 0;
    if (i + length > text.size())
        return 0;
    for (size_t k = 1; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    return length;
}

} // namespace

std::string consoleVisible(const std::string &text)
{
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        const unsigned byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7F) {
            appendEscape(out, byte);
            ++i;
        } else if (byte == '\\' && i + 1 < text.size() && text[i + 1] == 'x') {
            out += "\\\\";
            ++i;
        } else if (byte < 0x80) {
            out += char(byte);
            ++i;
        } else if (const size_t length = utf8Length(text, i)) {
            // U+0080 to U+009F are C2 80 to C2 9F.
            if (byte == 0xC2 && static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
                appendEscape(out, byte);
                appendEscape(out, static_cast<unsigned char>(text[i + 1]));
            } else {
                out.append(text, i, length);
            }
            i += length;
        } else {
            // A byte of another encoding: 0x80 to 0x9F are C1 controls there.
            if (byte <= 0x9F)
                appendEscape(out, byte);
            else
                out += char(byte);
            ++i;
        }
    }
    return out;
}

QString windowVisible(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (int i = 0; i < text.size(); ++i) {
        const ushort code = text.at(i).unicode();
        if (code < 0x20 || (code >= 0x7F && code <= 0x9F))
            out += QLatin1String("\\x") +
                   QString::number(code, 16).toUpper().rightJustified(2, QLatin1Char('0'));
        else if (code == '\\' && i + 1 < text.size() && text.at(i + 1) == QLatin1Char('x'))
            out += QLatin1String("\\\\");
        else
            out += text.at(i);
    }
    return out;
}
