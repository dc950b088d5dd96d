// Texts from outside shown on the console and in the window: controls
// written out, everything else as it came.

#include "base/KLAVVisibleText.h"

#include <gtest/gtest.h>

TEST(VisibleText, ControlsAreWrittenOutAndEverythingElsePasses)
{
    struct Case {
        std::string in;
        std::string console;
    };
    const Case cases[] = {
        {"Err", "Err"},
        {"\x1B]0;pwned\x07\x1B[2J", "\\x1B]0;pwned\\x07\\x1B[2J"}, // retitle, clear
        {"a\rb\nc\td\x7F", "a\\x0Db\\x0Ac\\x09d\\x7F"},
        {std::string("nul\0x", 5), "nul\\x00x"},
        {"caf\xC3\xA9 \xE2\x82\xAC", "caf\xC3\xA9 \xE2\x82\xAC"}, // UTF-8 passes
        {"\xC2\x9B"
         "2J",
         "\\xC2\\x9B2J"},       // U+009B, a CSI
        {"caf\xE9", "caf\xE9"}, // Latin-1 name passes
        {"\x9B"
         "2J",
         "\\x9B2J"},                        // a raw C1 CSI
        {"C:\\x.db \\n", "C:\\\\x.db \\n"}, // a literal "\x" stays told apart
    };
    for (const Case &c : cases)
        EXPECT_EQ(consoleVisible(c.in), c.console) << c.console;
    EXPECT_EQ(windowVisible(QString::fromLatin1("A\x1B[2J\x9B"
                                                "b")),
              QString("A\\x1B[2J\\x9Bb"));
    EXPECT_EQ(windowVisible(QStringLiteral("Déjà")), QStringLiteral("Déjà"));
}
