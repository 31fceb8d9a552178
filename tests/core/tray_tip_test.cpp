// The notification icon's tip: cut to the shell's 63 characters, never in the middle
// of a double-byte character.
#include "startup/tray_tip.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Lead bytes as in the Japanese code page: 0x81-0x9F and 0xE0-0xFC.
bool ShiftJisLead(unsigned char byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

const char pair[] = "\x93\xFA";  // one double-byte character; its trail byte is a lead byte too

std::string Pairs(int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += pair;
    return text;
}

}  // namespace

TEST(TrayTip, CutAtSixtyThreeCharactersOrAtTheBuffer) {
    struct Case {
        std::string tip;
        size_t size;
        std::string shown;
        bool whole;
    };
    const std::string a63(63, 'a');
    const Case cases[] = {
        {"Corvane Lite Installer", 64, "Corvane Lite Installer", true},
        {"", 64, "", true},
        {a63, 64, a63, true},
        {a63 + "b", 64, a63, false},
        {std::string(300, 'x'), 64, std::string(63, 'x'), false},
        {a63, 200, a63, true},  // a larger buffer does not lift the shell's limit
        {a63 + "b", 200, a63, false},
        {"Corvane", 4, "Cor", false},
        {"Cor", 4, "Cor", true},
        {"C", 1, "", false},
    };
    for (const Case& c : cases) {
        std::string out(c.size, '#');
        EXPECT_EQ(c.whole, MakeTrayTip(c.tip.c_str(), &out[0], c.size, nullptr)) << c.tip;
        EXPECT_EQ(c.shown, std::string(out.c_str())) << c.tip;
    }
}

TEST(TrayTip, NoTipAndNoRoom) {
    char out[8] = "#######";
    EXPECT_TRUE(MakeTrayTip(nullptr, out, sizeof out, nullptr));
    EXPECT_STREQ("", out);
    EXPECT_FALSE(MakeTrayTip("tip", out, 0, nullptr));
    EXPECT_STREQ("", out);  // nothing written
}

TEST(TrayTip, DoubleByteCharactersStayWhole) {
    struct Case {
        std::string tip;
        std::string shown;
        bool whole;
    };
    const std::string a62(62, 'a'), a61(61, 'a');
    const Case cases[] = {
        // The pair would take characters 63 and 64: it goes whole.
        {a62 + pair, a62, false},
        // The pair fits as characters 62 and 63.
        {a61 + pair, a61 + pair, true},
        {a61 + pair + "z", a61 + pair, false},
        // The 63rd byte is a trail byte that lies in the lead range: it is kept with
        // its lead byte, not taken for the start of a character.
        {"a" + Pairs(32), "a" + Pairs(31), false},
        // A lead byte at the very end of the text has no partner to lose.
        {a62 + "\x93", a62 + "\x93", true},
    };
    for (const Case& c : cases) {
        char out[64];
        EXPECT_EQ(c.whole, MakeTrayTip(c.tip.c_str(), out, sizeof out, ShiftJisLead))
            << c.tip.size();
        EXPECT_EQ(c.shown, std::string(out)) << c.tip.size();
    }
    // Without a predicate the same bytes are cut at 63 whatever they are.
    char out[64];
    MakeTrayTip((a62 + pair).c_str(), out, sizeof out, nullptr);
    EXPECT_EQ(63u, std::string(out).size());
}
