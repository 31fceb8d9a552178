// Base64: RFC 4648 encodings, both alphabets, and the decoding rules of scrambled passwords.
#include "transfer/base64.h"

#include <gtest/gtest.h>
#include <string.h>

#include <string>

TEST(Base64, EncodesRfc4648Vectors) {
    struct Case {
        const char* data;
        const char* text;
    };
    const Case cases[] = {
        {"", ""},
        {"f", "Zg=="},
        {"fo", "Zm8="},
        {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="},
        {"fooba", "Zm9vYmE="},
        {"foobar", "Zm9vYmFy"},
        {":", "Og=="},
    };
    for (const Case& c : cases) {
        char out[16];
        ASSERT_TRUE(Base64Encode(c.data, strlen(c.data), standardBase64Alphabet, out, sizeof out));
        EXPECT_STREQ(c.text, out);
        unsigned char back[16];
        int length = Base64Decode(c.text, standardBase64Alphabet, back, sizeof back);
        ASSERT_EQ(static_cast<int>(strlen(c.data)), length) << c.text;
        EXPECT_EQ(0, memcmp(c.data, back, static_cast<size_t>(length)));
    }
}

TEST(Base64, AlphabetsDifferOnlyIn62And63) {
    const unsigned char data[] = {0xfb, 0xff, 0xbf};
    char out[8];
    ASSERT_TRUE(Base64Encode(data, sizeof data, standardBase64Alphabet, out, sizeof out));
    EXPECT_STREQ("+/+/", out);
    ASSERT_TRUE(Base64Encode(data, sizeof data, passwordBase64Alphabet, out, sizeof out));
    EXPECT_STREQ("()()", out);
    unsigned char back[4];
    EXPECT_EQ(3, Base64Decode("()()", passwordBase64Alphabet, back, sizeof back));
    EXPECT_EQ(0, memcmp(data, back, 3));
    // In the other alphabet "(" and ")" are skipped, leaving nothing.
    EXPECT_EQ(0, Base64Decode("()()", standardBase64Alphabet, back, sizeof back));
}

TEST(Base64, EncodeRefusesTooSmallOutput) {
    char out[9];
    memset(out, 'x', sizeof out);
    EXPECT_FALSE(Base64Encode("foobar", 6, standardBase64Alphabet, out, 8));  // needs 9
    EXPECT_STREQ("", out);
    EXPECT_TRUE(Base64Encode("foobar", 6, standardBase64Alphabet, out, 9));
    EXPECT_STREQ("Zm9vYmFy", out);
    EXPECT_FALSE(Base64Encode("f", 1, standardBase64Alphabet, out, 4));
    EXPECT_FALSE(Base64Encode("", 0, standardBase64Alphabet, out, 0));
}

TEST(Base64, DecodingRules) {
    struct Case {
        const char* text;
        int length;
        const char* data;
    };
    const Case cases[] = {
        {"Zm9vYmFy", 6, "foobar"},
        {" Zm9v\r\nYm*Fy!", 6, "foobar"},  // characters outside the alphabet are skipped
        {"", 0, ""},
        {"!?", 0, ""},
        {"Z", -1, ""},  // the text ends inside a group
        {"Zm9vYg", -1, ""},
        {"Zm9vYmF", -1, ""},
        {"Zm9v=", -1, ""},    // a lone "=" still has to complete its group
        {"=m9vYmFy", 0, ""},  // "=" first or second ends the data
        {"Z=9vYmFy", 0, ""},
        {"Zm9v=AAAYmFy", 3, "foo"},
        {"Zm9vY===", 3, "foo"},
        {"Zm9v====Q", 3, "foo"},  // nothing after the end is looked at
        {"Zg==", 1, "f"},         // "=" third: one byte
        {"Zm=v", 1, "f"},
        {"Zm8=", 2, "fo"},        // "=" fourth: two bytes
        {"Zg==Zm9v", 4, "ffoo"},  // decoding goes on after a cut group
        {"Zm8=YmFy", 5, "fobar"},
    };
    for (const Case& c : cases) {
        unsigned char out[16];
        int length = Base64Decode(c.text, standardBase64Alphabet, out, sizeof out);
        ASSERT_EQ(c.length, length) << '"' << c.text << '"';
        if (length > 0) {
            EXPECT_EQ(std::string(c.data), std::string(out, out + length)) << c.text;
        }
    }
}

// One spelling per byte string: what the lenient rules let through, the strict ones refuse.
TEST(Base64, StrictDecodingRules) {
    struct Case {
        const char* text;
        int length;
    };
    const Case cases[] = {
        {"Zm9vYmFy", 6},  {" Zm9v\r\nYmFy\t", 6}, {"Zm8=", 2},  {"Zg==", 1},   {"Zg== \n", 1},
        {"", 0},          {"Zm9v*YmFy", -1},  // a character outside the alphabet
        {"Zg==Zm9v", -1},                     // text after the padding
        {"Zm9v====", -1}, {"=m9v", -1},           {"Zm=v", -1}, {"Zm9v=", -1}, {"Zm9vYg", -1},
        {"Zh==", -1},     {"Zm9=", -1},  // bits that the padding drops are set
        {"Zm9v()", -1},                  // the other alphabet's 62 and 63
    };
    for (const Case& c : cases) {
        unsigned char out[16];
        EXPECT_EQ(c.length, Base64DecodeStrict(c.text, out, sizeof out)) << '"' << c.text << '"';
    }
    unsigned char out[5];
    EXPECT_EQ(-1, Base64DecodeStrict("Zm9vYmFy", out, sizeof out));
}

TEST(Base64, DecodeFailsWhenTheBytesDoNotFit) {
    unsigned char out[6];
    EXPECT_EQ(6, Base64Decode("Zm9vYmFy", standardBase64Alphabet, out, 6));
    EXPECT_EQ(-1, Base64Decode("Zm9vYmFy", standardBase64Alphabet, out, 5));
    EXPECT_EQ(4, Base64Decode("Zm9vYg==", standardBase64Alphabet, out, 4));
    EXPECT_EQ(-1, Base64Decode("Zm9vYg==", standardBase64Alphabet, out, 3));
    EXPECT_EQ(0, Base64Decode("====", standardBase64Alphabet, out, 0));
}

TEST(Base64, RoundTripsEveryByteValueAndLength) {
    unsigned char data[256];
    for (int i = 0; i < 256; ++i) data[i] = static_cast<unsigned char>(255 - i);
    for (size_t length = 0; length <= sizeof data; ++length) {
        char text[4 * (256 / 3 + 1) + 1];
        ASSERT_TRUE(Base64Encode(data, length, passwordBase64Alphabet, text, sizeof text));
        EXPECT_EQ(4 * ((length + 2) / 3), strlen(text));
        unsigned char back[256];
        ASSERT_EQ(static_cast<int>(length),
                  Base64Decode(text, passwordBase64Alphabet, back, sizeof back));
        EXPECT_EQ(0, memcmp(data, back, length));
    }
}
