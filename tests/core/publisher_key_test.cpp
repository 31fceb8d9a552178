// The publisher's key: which texts parse, and that the modulus comes out as the key has it.
// The keys were made by openssl (genpkey, then "pkey -pubout -outform DER | base64").
#include "transfer/publisher_key.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "transfer/base64.h"

namespace {

const char kKey2048[] =
    "MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAiwfaDB9gn+ebfPmON0k5QOvuvHFhktryZPHaPCPGOmwr"
    "spxDWPxGFFr4SNlrf7LFVEP+WuTbxRfTA3O7DQ76vjsJtWTpJ2N/yRJqoGkLP845KURxRu15zZB4Al5YL6hG+RA3"
    "42Bu7660/cewDniolyW4IkzIKIixxYHoV2NIp3WQ1EE/jK2gBz+hLVDr95y5CNCIeOn603mW4N3MGYgAdoyIhlYx"
    "Yx5CiDjB9r5l9iWfY/+slENv1fxwEaNI3+34GaRoG4uzd4Vx0rPqT8lAw5iBz7sToZQ2R+5pVkeR3gBebzO02l0E"
    "wXXc54J2/N8RdDBfVcp4JvATmbVmFtO0lwIDAQAB";
const char kKey3072[] =
    "MIIBojANBgkqhkiG9w0BAQEFAAOCAY8AMIIBigKCAYEAnkeM0pdcJ92QTrt0ALc4idWnXpCl00eWmvxsDfU9Wscq"
    "Sx665yWSgCBZKprSuAq5WOTHTM6nGJHQMrymCohot6psPN+jWrlmXi8ClO8B607FigAWXxrp+cNvkFcpd2o6g0gj"
    "7mGk6ub8bsoV2XtWkT5qc59tex9ilawNZBPQu6ptvA535r37Ua/UHU82/BO73R0JSxyqXBxV4UeeH47sESpCGG00"
    "qeTD17k0l7HE/rDS98B/DQcklQIlD2u5K+jOkASCp5mKSC9LqqoYvYOM0tsPN01Rm9FjVou1blCiBWte9ISHw2vB"
    "NRTIJz7TCXsBFsLIH8qxS16vYgURhzbT+R6n5hLm2uRbDHadz9Ly2wv258jAsMeTYNEXpT8+umYiTszq1mbJyK2D"
    "2WOIqZEiBLQOulepsyurkr1vbiEyLOzj0Ouvjg5cqeks3R6Pq0IbMwl+T/IZp9xHxKPBIzC1ygLtmeV2/DpjaVsd"
    "uhwDXnfZKNqgZazY7oCVPEbLMFOdAgMBAAE=";
const char kKey4096[] =
    "MIICIjANBgkqhkiG9w0BAQEFAAOCAg8AMIICCgKCAgEApcllC7npC6yyO6rNDsOME1pP39OJcMVIb6kPfu4wo8Ww"
    "tc/u2whN+5xA5iuBGdyuhWJ9lMOcUKf1Dm+8uQ0cz2IoZQE4MKARXBc/TmODOyZC/eUULIsACxkvzgSWu6RiTYPx"
    "TA6V/9bd/lmZfzysGTVMuFS7xr6DumSPaYHThk2GNf6Tgpjt/OP56NOg06UUY6dad+RGd5sy6LlvjqWlhQVRWS/3"
    "y/24fIUDM/bGOurZNrM8ItK4Q0pFedC1+KXLHoqOxQpL8ehsv0NrhdJp7Ci/JrevW8ssjjxQRPL/UUlrBbNQb37D"
    "YDpkeiYtwdvOlsLCx1kl/2/eJsrW82+h+gu3Oj0alVW8EbjGYg0sLZfFwFYq4vNGavph93SA05jrnQc+E3JqsloH"
    "4l+MYDbVrpq/PAN47bCp/q7yUt0d4utAWcrk0F3h6NlcatOUu+B9pVbZ9smihf/RbvwvubroowZ6E373mS/XEjAf"
    "OLNtuvcI9JBKzg5sLwq7rkE0vJ7eRLsbtgBoeiOZ/yLyFp96i0i5Ak9GtqO8FZ6oUfag09lC8j3KrsV1uzvJvea8"
    "Yo949MDHHedlEd1ucP66rmtJLWd3EMpXdxyZTpG1TRCIj9bS1HuYN3dhJ1TW6oBWraMEcjIJX0dM+A69AVBiGSEE"
    "e3LPg0Rxv3nUZE7we1FOBtsCAwEAAQ==";
const char kKey1024[] =
    "MIGfMA0GCSqGSIb3DQEBAQUAA4GNADCBiQKBgQDN3Z9KGuhMAI0Iio5yJIn8ZrylBXgDn7VCIAOUb/5jdpOk50IN"
    "9s+N8gZAXG4HF8EIyy4gVNc+ya4BZ2LcsCRtOAfNuGzlo2q8m9A/rRzTpQ2TB0GSQ87UIKbPoFr/RFFkqL1GK8A6"
    "JZ6QTRT0J8Uhu6RpL/wx81vAuhKswMDVKwIDAQAB";
const char kEcKey[] =
    "MFkwEwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEDRLzSJmtIcsZ/II/9nceXX/oAU+yh76peiVR17Ky38u72u6hm2je"
    "RCt44xNiCoI7DNeOGbZUAStA3oDgp5numg==";
// Keys of the accepted size class that are still refused: a modulus one bit short of 2048
// (its DER length says 256 bytes) and the public exponent 3.
const char kKey2047[] =
    "MIIBITANBgkqhkiG9w0BAQEFAAOCAQ4AMIIBCQKCAQBp6CrRT8SvKElzpKCX8UmXworXiPbiBVDPOdwmTwT/Q1hwtHxj"
    "dwf73UGC9NLr2P3CqllsC5b5L1MBKmYp2rtLY6OprDcf8nEfvnoT1vcWUv2I2T22KkeTQoGLo4X339GdHuRCYdh/eTda"
    "d/et7T7MmW8we7lk6PfbkM+86uCufDp00MUIlMJKXYu8YBR4GJOjw3Aql0i6Ykx5wEv6WljixxnHxjxX5EUmTddwJAtO"
    "Cf+fVMvgfmzxIeXneRoPiIOF3AcL0wYcgJ5QBCp8CQypgwqC3TjtinrdFrlRtqR5NgfdAfDLlhKu7ee6RFUB/H19Iyzd"
    "N3FmqwXY5jX3yZGpAgMBAAE=";
const char kKeyExponent3[] =
    "MIIBIDANBgkqhkiG9w0BAQEFAAOCAQ0AMIIBCAKCAQEA0VITcaCDpFPMFXl5fuoYVhOGRRx5q+zz6ifO3qgIgphSgJqS"
    "5aAH9/uturBkkjjC/wol4MMcD5J2uRdz8gsMyB8sVo2LwXR8z+7MBGTBxAUu+bMzpXLBg9ik/rl3g9uhcPJl4+JCrttc"
    "DWso1dROpzSfkvT14ZTHrG8wpZHmQZze+xvV/4PNRMzGZYl/oA4Mh75LcGBnS+9k+6RBZT60ae2oTl4TtHmIyOmTNYaA"
    "URqyr7galL5PO8pYmovXli2PgNUp43gLiLzzA4zDvH3kcRAjjsJZDUqty6s0IreCEqKXJWxAoLTs3uoHN/SUxIXP+X2K"
    "XAILxCVps+94/A/WlQIBAw==";
// The same 2048-bit key as a bare RSAPublicKey, without the algorithm around it.
const char kPkcs1Key[] =
    "MIIBCgKCAQEAiwfaDB9gn+ebfPmON0k5QOvuvHFhktryZPHaPCPGOmwrspxDWPxGFFr4SNlrf7LFVEP+WuTbxRfT"
    "A3O7DQ76vjsJtWTpJ2N/yRJqoGkLP845KURxRu15zZB4Al5YL6hG+RA342Bu7660/cewDniolyW4IkzIKIixxYHo"
    "V2NIp3WQ1EE/jK2gBz+hLVDr95y5CNCIeOn603mW4N3MGYgAdoyIhlYxYx5CiDjB9r5l9iWfY/+slENv1fxwEaNI"
    "3+34GaRoG4uzd4Vx0rPqT8lAw5iBz7sToZQ2R+5pVkeR3gBebzO02l0EwXXc54J2/N8RdDBfVcp4JvATmbVmFtO0"
    "lwIDAQAB";

std::vector<unsigned char> Decode(const char* text) {
    std::vector<unsigned char> bytes(1024);
    int size = Base64Decode(text, standardBase64Alphabet, bytes.data(), bytes.size());
    bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return bytes;
}

std::string Encode(const std::vector<unsigned char>& bytes) {
    std::vector<char> text(bytes.size() * 2 + 8);
    EXPECT_TRUE(
        Base64Encode(bytes.data(), bytes.size(), standardBase64Alphabet, text.data(), text.size()));
    return text.data();
}

bool Parses(const std::string& text) {
    PublisherKey key;
    return ParsePublisherKey(text.c_str(), key);
}

}  // namespace

TEST(PublisherKey, AcceptsRsaKeysOf2048To4096Bits) {
    struct Case {
        const char* text;
        size_t modulusSize;
    } cases[] = {{kKey2048, 256}, {kKey3072, 384}, {kKey4096, 512}};
    for (const Case& c : cases) {
        PublisherKey key = {};
        ASSERT_TRUE(ParsePublisherKey(c.text, key)) << c.modulusSize;
        EXPECT_EQ(key.modulusSize, c.modulusSize);
        EXPECT_EQ(key.exponent, 65537u);
    }
}

TEST(PublisherKey, ModulusIsBigEndianWithoutTheSignByte) {
    PublisherKey key = {};
    ASSERT_TRUE(ParsePublisherKey(kKey2048, key));
    // openssl rsa -modulus: 8B07DA0C1F609FE7... ending ...1399B56616D3B497.
    const unsigned char head[] = {0x8B, 0x07, 0xDA, 0x0C, 0x1F, 0x60, 0x9F, 0xE7};
    const unsigned char tail[] = {0x13, 0x99, 0xB5, 0x66, 0x16, 0xD3, 0xB4, 0x97};
    EXPECT_EQ(0, memcmp(key.modulus, head, sizeof head));
    EXPECT_EQ(0, memcmp(key.modulus + key.modulusSize - sizeof tail, tail, sizeof tail));
}

TEST(PublisherKey, RefusesWhatIsNoAcceptedKey) {
    std::string wrapped =
        std::string(kKey3072).substr(0, 100) + "\n  " + std::string(kKey3072).substr(100);
    EXPECT_TRUE(Parses(wrapped)) << "line breaks and blanks between groups are allowed";
    const char* refused[] = {
        "",
        "   ",
        kKey1024,
        kEcKey,
        kPkcs1Key,
        "not base64 at all!",
        "MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEA",  // cut short
        kKey2047,
        kKeyExponent3,
    };
    for (const char* text : refused) EXPECT_FALSE(Parses(text)) << text;
    EXPECT_FALSE(Parses(std::string(kKey2048) + "%")) << "a stray character";
    // One key has one text: nothing may follow the padding, and "=" only ends the text.
    const std::string padded = kKey3072;  // ends in "AAE="
    const std::string afterPadding[] = {
        padded + "QUJD",
        padded + "====",
        std::string(kKey2048) + "====",
        padded.substr(0, 40) + "====" + padded.substr(40),
        padded.substr(0, padded.size() - 2) + "F=",  // "AAF=": bits the padding drops set
    };
    for (const std::string& text : afterPadding) EXPECT_FALSE(Parses(text)) << text;
    EXPECT_TRUE(Parses(padded + " \r\n")) << "blanks after the padding";
    PublisherKey key;
    EXPECT_FALSE(ParsePublisherKey(nullptr, key));
}

TEST(PublisherKey, RefusesDamagedStructures) {
    const std::vector<unsigned char> good = Decode(kKey2048);
    ASSERT_EQ(good.size(), 294u);
    ASSERT_TRUE(Parses(Encode(good)));
    struct Edit {
        const char* what;
        size_t offset;
        unsigned char value;
    } edits[] = {
        {"outer tag", 0, 0x31},
        {"algorithm identifier", 16, 0x02},  // last byte of the OID
        {"parameters not NULL", 17, 0x04},
        {"unused bits in the key", 23, 0x01},
        {"modulus tag", 28, 0x03},
        {"a sign byte without need", 33, 0x0B},
    };
    for (const Edit& e : edits) {
        std::vector<unsigned char> bytes = good;
        bytes[e.offset] = e.value;
        EXPECT_FALSE(Parses(Encode(bytes))) << e.what;
    }
    std::vector<unsigned char> longer = good;
    longer.push_back(0);
    EXPECT_FALSE(Parses(Encode(longer))) << "a byte after the structure";
    std::vector<unsigned char> shorter(good.begin(), good.end() - 1);
    EXPECT_FALSE(Parses(Encode(shorter))) << "one byte short";
    std::vector<unsigned char> evenExponent = good;
    evenExponent.back() = 0x02;  // 65537 -> 65538
    EXPECT_FALSE(Parses(Encode(evenExponent))) << "an even exponent";
    std::vector<unsigned char> otherExponent = good;
    otherExponent.back() = 0x03;  // 65537 -> 65539
    EXPECT_FALSE(Parses(Encode(otherExponent))) << "an exponent other than 65537";
}
