// The publisher's description checker: each case is a description and the exact findings
// (line, severity, a telling part of the text) the checker must report, no more.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "common/limits.h"
#include "config/profile_text.h"
#include "config/string_table.h"
#include "tools/cvpublish/description_check.h"

namespace {

struct Expected {
    int line;
    Severity severity;
    const char* part;
};

struct Case {
    const char* name;
    const char* description;
    std::vector<Expected> findings;
};

const Severity E = Severity::Error;
const Severity W = Severity::Warning;

// A valid http component to build cases on; lines 1 to 10.
#define HEAD             \
    "[defs]\r\n"         \
    "components=c\r\n"   \
    "strings=S\r\n"      \
    "[S]\r\n"            \
    "Host=127.0.0.1\r\n" \
    "[c]\r\n"            \
    "name=Client\r\n"    \
    "Protocol=http\r\n"  \
    "site=%Host%\r\n"    \
    "files=client.exe\r\n"

#define DIGEST "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08"
#define DIGEST_UPPER "9F86D081884C7D659A2FEAA0C55AD015A3BF4F1B2B0B822CD15D6C15B0F00A08"

// A publisherKey as "cvpublish key" prints it (RSA, 2048 bits), and its first half.
#define KEY_HALF                                                                               \
    "MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEAzECKVIaxQY4n8TsYV79zGDP6DOSQypNT55s2dfrCDIbm" \
    "pWQ6GPzQgUv0BU5qIwdddPYAjhXw3TIkEp+pSVAzIJkrgSgwithnphDZ7VVE6H85WHWPzysd0QTsufm938yD02RS" \
    "9LcklwjpCCHchlFIi7e5"
#define KEY                                                                                    \
    KEY_HALF                                                                                   \
    "Y92iuMIGKAgulYDMWeeWmG50tIVrxsoO1aGlCu34hoPAOYYDXiy5PLn7xEJmP821FPrUW1hb88/TsJ67OiNSOgA8" \
    "Tp1aT2BWO/BdRyS1IJ45ZaZfHuWX/coMO2JxMRvNsnUKSk2NV1HjN9QQxODuAx0D8NPqeOxHfYofrVrcO9MyAHSO" \
    "zQtgDuCV5REk8QIDAQAB"

const Case kCases[] = {
    {"clean", HEAD "install1=run,client.exe,-run2\r\n", {}},
    {"no defs", "[c]\nname=x\n", {{1, E, "no [defs]"}}},
    {"no components", "[defs]\nstrings=\n", {{1, E, "names no components"}}},
    {"missing and repeated sections",
     "[defs]\ncomponents=a, nothere,a\n[a]\nname=A\n",
     {{2, E, "[nothere], which does not exist"}, {2, W, "[a] twice"}}},
    {"component without a name is ignored, not checked further",
     "[defs]\ncomponents=a\n[a]\nProtocol=HTTP\n",
     {{3, W, "[a] has no name"}}},
    {"protocol case",
     HEAD "protocol=Http\r\n",
     {{11, W, "set again"}}},  // the first Protocol, http, is read
    {"HTTP alone",
     "[defs]\ncomponents=a\n[a]\nname=A\nProtocol=HTTP\nfiles=x\n",
     {{5, E, "\"HTTP\" is not http"}}},
    {"unknown protocol",
     "[defs]\ncomponents=a\n[a]\nname=A\nProtocol=gopher\n",
     {{5, W, "none of http, ftp"}}},
    {"ftp without site or files",
     "[defs]\ncomponents=a\n[a]\nname=A\nProtocol=FTP\n",
     {{3, E, "without a site"}, {3, E, "without files"}, {3, W, "without user"}}},
    {"sites whose port the installer would not connect to",
     "[defs]\ncomponents=a,f,g\n[a]\nname=A\nProtocol=http\nsite=h:99999/base\nfiles=x\n"
     "[f]\nname=F\nProtocol=ftp\nsite=h:21x\nuser=u\nfiles=y\n"
     "[g]\nname=G\nProtocol=http\nsite=http://h:8080\nfiles=z\n",
     {{6, E, "\"h:99999/base\" has a port that is no whole number"},
      {11, E, "\"h:21x\" has a port"}}},
    {"http with two files",
     "[defs]\ncomponents=a\n[a]\nname=A\nProtocol=http\nsite=h\nfiles=x y\n",
     {{7, W, "one package"}}},
    {"undefined and unterminated references",
     HEAD "user=%Nobody%\r\npassword=50%\r\nproxy=100%%\r\n",
     {{11, E, "%Nobody% is defined in no string section"},
      {12, W, "without a closing"},
      {12, W, "password does not unscramble"}}},
    {"a name in a section strings= does not name",
     "[defs]\ncomponents=a\n[T]\nX=1\n[a]\nname=%X%\n",
     {{5, W, "has no name"}, {6, E, "%X% is defined in no"}}},
    {"install entries",
     HEAD "count=3\r\ninstall1=run\r\nextract2=frob,client.exe\r\n"
          "install3=open,client.exe\r\ninstall4=run,client.exe\r\n"
          "extract3=RUN,other.exe\r\n",
     {{12, E, "no file field"},
      {13, W, "\"frob\" is not ispackage"},
      {15, W, "never read: count is 3"},
      {16, W, "other.exe is not among the files"}}},
    {"target flags",
     HEAD "count=5\r\nextract1=package,client.exe,3\r\nextract2=copy,client.exe,x\r\n"
          "extract3=package,client.exe,12\r\nextract4=copy,client.exe,64\r\n"
          "extract5=copy,client.exe,20\r\ninstall1=run,client.exe,3\r\n",
     {{12, W, "several folders"},
      {13, W, "read as the number 0"},
      {14, W, "flag 4"},
      {15, W, "only 1, 2, 4, 8 and 16"}}},
    {"registry sections",
     HEAD "registry1=R\r\nregistry2=Gone\r\nregistry3=X@other.inf\r\ncount=3\r\n"
          "[R]\r\n;comment\r\nHKCU,Software\\A,V=n,1\r\nHKCU Software\r\n"
          "hkcu,Software\\A\r\nHKLM,Software\\A,P=s,%Dir%\r\n"
          "HKEY_CURRENT_USER,Software\\A,V=n,2\r\nHKCU,Software\\B,V=n,3\r\n",
     {{12, E, "no section [Gone]"},
      {18, W, "without \"=\""},
      {19, W, "without \"=\""},
      {20, W, "not substituted"},
      {21, E, "stops the section [R]"}}},
    {"install order and numbers",
     HEAD "installOrder=10000\r\nsize=12K\r\nDisplayOrder=%N%\r\n",
     {{11, W, "never installed"},
      {12, W, "\"12K\" is read as the number 12"},
      {13, W, "not substituted"},
      {13, E, "%N% is defined in no"}}},
    {"cut values, unknown keys, duplicates",
     HEAD "Site=x\r\ncolour=red\r\n[c]\r\nname=y\r\n"
          "[d]\r\nname="
          "0123456789012345678901234567890123456789012345678901234567890123456789"
          "0123456789012345678901234567890123456789012345678901234567890123456789"
          "0123456789012345678901234567890123456789012345678901234567890123456789\r\n",
     {{11, W, "set again"}, {12, W, "not a key"}, {13, W, "appears again"}}},
    {"a substituted value that grows past its buffer",
     HEAD "port=%Host%%Host%%Host%%Host%%Host%"
          "%Host%%Host%%Host%%Host%%Host%\r\n",
     {{11, W, "cuts it to 79"}}},
    {"a comment after a value",
     HEAD "install1=run,client.exe  ; start it\r\n",
     {{11, W, "\"; start it\" is part of the value"},
      {11, W, "client.exe  ; start it is not among the files"}}},
    {"allowintervention",
     "[defs]\ncomponents=a\nallowintervention=false\n[a]\nname=A\n",
     {{3, W, "counts as TRUE"}}},
    {"pass numbers the installer never asks for",
     HEAD "count=2\r\ninstall01=run,client.exe\r\nextract0=run,client.exe\r\n"
          "Registry002=R\r\ninstall2=run,client.exe\r\n",
     {{12, W, "install01 is not a key"},
      {13, W, "extract0 is not a key"},
      {14, W, "Registry002 is not a key"}}},
    {"ftp without user",
     "[defs]\ncomponents=a,b\n[a]\nname=A\nProtocol=ftp\nsite=h\nfiles=x\n"
     "[b]\nname=B\nProtocol=ftp\nsite=h\nfiles=y\nuser=anonymous\n",
     {{3, W, "ftp component without user"}}},
    // The installer unscrambles both http password keys; an ftp password is sent as written.
    {"passwords that do not unscramble",
     HEAD "password=secret\r\nproxypassword=IgRsuRVkdHU0NQ==\r\n"
          "[f]\r\nname=F\r\nProtocol=ftp\r\nsite=h\r\nfiles=f\r\nuser=u\r\npassword=secret\r\n",
     {{11, W, "password does not unscramble"}}},
    // The account goes to the description's own proxy only.
    {"a proxy account without a proxy",
     HEAD "proxyuser=corvane\r\n",
     {{11, W, "proxyuser without proxy is never used"}}},
    {"a proxy account for the description's proxy", HEAD "proxy=p\r\nproxyuser=corvane\r\n", {}},
    {"plain proxy password, scrambled password",
     HEAD "password=fjmdICpK9fNT9(X90w==\r\nproxypassword=%Host%\r\n",
     {{12, W, "proxypassword does not unscramble"}}},
    {"a written value cut before its references are replaced",
     "[defs]\ncomponents=c\nstrings=S\n[S]\n"
     "AVeryLongNameForTheServerThatHoldsThePackagesOfTheClientToBeInstalledHereToday=h\n"
     "[c]\nname=C\nProtocol=http\nfiles=x\n"
     "site=%AVeryLongNameForTheServerThatHoldsThePackagesOfTheClientToBeInstalledHereToday%:80\n",
     {{10, W, "cuts the text to 79 before"}, {10, E, "without a site"}}},  // "%AVery..." cut
    {"a publisher key in an http component", HEAD "publisherKey=" KEY "\r\n", {}},
    {"publisher keys that do not parse",
     "[defs]\ncomponents=a,f\npublisherKey=" KEY_HALF "\n[a]\nname=A\nProtocol=http\nsite=h\n"
     "files=x\npublisherKey=MIIBIjANBgkqhkiG9w0BAQEFAAOCAQ8AMIIBCgKCAQEA\n"
     "[f]\nname=F\nProtocol=ftp\nsite=h\nuser=u\nfiles=y\npublisherKey=" KEY "\n",
     {{3, E, "publisherKey is no RSA public key"},
      {9, E, "publisherKey is no RSA public key"},
      {10, E, "neither signed nor pinned"},
      {16, W, "only http components are signed"}}},
    {"a publisher key too long for the installer's buffer",
     "[defs]\ncomponents=a\npublisherKey=" KEY KEY KEY "\n[a]\nname=A\n",
     {{3, E, "the installer reads 1023"}}},
    {"pins that pair up with the files, in either case",
     "[defs]\ncomponents=f,c\n[f]\nname=F\nProtocol=ftp\nsite=h\nuser=u\nfiles=a b\n"
     "sha256=" DIGEST "," DIGEST_UPPER "\n"
     "[c]\nname=C\nProtocol=cdrom\nfiles=setup.exe\nsha256= " DIGEST "\n",
     {}},
    {"pins of a payload's file are checked too",
     "[defs]\ncomponents=s\n[s]\nname=S\n"
     "files=setup.exe\nsha256=" DIGEST "\n",
     {}},
    {"an empty key turns the check of [defs]' key off",
     "[defs]\ncomponents=a,b\npublisherKey=" KEY "\n[a]\nname=A\nProtocol=http\nsite=h\n"
     "files=x\npublisherKey=\n[b]\nname=B\nProtocol=http\nsite=h\nfiles=y\n",
     {{4, E, "neither signed nor pinned"}, {9, W, "publisherKey is empty"}}},
    {"under a key, what the network brings unchecked is refused unless allowed",
     "[defs]\ncomponents=f,g,c\npublisherKey=" KEY "\n[f]\nname=F\nProtocol=ftp\nsite=h\n"
     "user=u\nfiles=a\n[g]\nname=G\nProtocol=ftp\nsite=h\nuser=u\nfiles=b\n"
     "allowUnverified=TRUE\n[c]\nname=C\nProtocol=copy\nsourceDir=d\nfiles=x\n",
     {{4, E, "neither signed nor pinned"}, {16, W, "comes over ftp unchecked"}}},
    {"pins that do not pair up, or are no digests",
     "[defs]\ncomponents=f,c,h\n[f]\nname=F\nProtocol=ftp\nsite=h\nuser=u\nfiles=a b\n"
     "sha256=" DIGEST "\n"
     "[c]\nname=C\nProtocol=copy\nsourceDir=d\nfiles=x,y\nsha256=" DIGEST ",12ab\n"
     "[h]\nname=H\nProtocol=http\nsite=h\nfiles=z\nsha256=" DIGEST "\n",
     {{9, E, "lists 1 digest(s) for 2 file(s)"},
      {15, E, "digest 2 (for y) is not 64 hex"},
      {21, W, "not used for http components"}}},
    {"values in quotes are read without them", HEAD "install1=\"run,client.exe\"\r\n", {}},
    {"a header without ]",
     HEAD "[extra\r\ninstall1=run,client.exe\r\n",
     {{11, W, "header without \"]\""}}},
};

class DescriptionCheck : public ::testing::TestWithParam<Case> {
protected:
    void TearDown() override { EmptyStringTableForTests(); }
};

TEST_P(DescriptionCheck, ReportsExactlyTheExpectedFindings) {
    const Case& test = GetParam();
    ProfileText profile;
    profile.Parse(test.description, strlen(test.description));
    Findings findings;
    std::vector<NetworkComponent> network;
    CheckDescription(profile, &findings, &network);
    std::vector<Finding> got = findings.Sorted();
    std::string all;
    for (const Finding& f : got)
        all +=
            std::to_string(f.line) + (f.severity == E ? " error: " : " warning: ") + f.text + "\n";
    ASSERT_EQ(got.size(), test.findings.size()) << all;
    for (const Expected& expected : test.findings) {
        bool found = false;
        for (const Finding& f : got)
            found = found || (f.line == expected.line && f.severity == expected.severity &&
                              f.text.find(expected.part) != std::string::npos);
        EXPECT_TRUE(found) << "missing " << expected.line << ": " << expected.part << "\n" << all;
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DescriptionCheck, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                             std::string name;
                             for (const char* c = info.param.name; *c != '\0'; ++c)
                                 name += isalnum(static_cast<unsigned char>(*c)) ? *c : '_';
                             return name;
                         });

// A registry section longer than the installer's buffer loses its last line, and the
// action fails; one character less is read whole.
TEST(DescriptionCheckSizes, ARegistrySectionBeyondItsBufferIsAnError) {
    for (size_t length : {16381u, 16382u}) {
        SCOPED_TRACE(length);
        // Each line "HKCU,K,V=s,<data>" and its NUL; the data fills up to the length.
        std::string head = "[defs]\ncomponents=c\n[c]\nname=C\nregistry1=R\n[R]\n";
        std::string line = "HKCU,K,V=s,";
        std::string text = head + line + std::string(length - line.size() - 1, 'd') + "\n";
        ProfileText profile;
        profile.Parse(text.data(), text.size());
        Findings findings;
        std::vector<NetworkComponent> network;
        CheckDescription(profile, &findings, &network);
        std::vector<Finding> got = findings.Sorted();
        if (length < 16382) {
            EXPECT_TRUE(got.empty()) << got[0].text;
            continue;
        }
        ASSERT_EQ(1u, got.size());
        EXPECT_EQ(6, got[0].line);
        EXPECT_EQ(Severity::Error, got[0].severity);
        EXPECT_NE(std::string::npos, got[0].text.find("fails the registry action"));
        EmptyStringTableForTests();
    }
}

// Package actions need cvgetex.dll in the work directory: from the payload or downloaded
// by a component. Unknown payload (nullptr): nothing is said.
TEST(DescriptionCheckSizes, PackageActionsNeedTheExtensionLibrary) {
    const char base[] =
        "[defs]\ncomponents=c,d\n[c]\nname=C\nProtocol=http\nsite=h\n"
        "files=client.pkg\ncount=2\ninstall2=run,client.pkg\n"
        "install1=ispackage,client.pkg\n[d]\nname=D\n";
    struct Case {
        const char* extra;  // appended to [d]
        std::vector<std::string> payload;
        bool known;
        bool missing;
    };
    const Case cases[] = {
        {"", {"tarrock.inf"}, true, true},
        {"", {"tarrock.inf", "CVGETEX.DLL"}, true, false},
        {"", {"tarrock.inf", "sub\\cvgetex.dll"}, true, true},  // not in the work directory
        {"Protocol=selfext\nfiles=cvgetex.dll\n", {"tarrock.inf"}, true, false},
        {"Protocol=copy\nfiles=cvgetex.dll\n", {"tarrock.inf"}, true, true},
        {"", {}, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.extra) + (c.payload.empty() ? "" : c.payload.back()));
        std::string text = std::string(base) + c.extra;
        ProfileText profile;
        profile.Parse(text.data(), text.size());
        Findings findings;
        std::vector<NetworkComponent> network;
        DescriptionFacts facts =
            CheckDescription(profile, &findings, &network, c.known ? &c.payload : nullptr);
        EXPECT_EQ(c.missing, facts.extensionMissing);
        EXPECT_EQ(c.missing, findings.HasErrors());
        ASSERT_EQ(1u, facts.unpacked.size());
        EXPECT_EQ("client.pkg", facts.unpacked[0].file);
        EXPECT_EQ(10, facts.unpacked[0].line);
        EmptyStringTableForTests();
    }
}

// The reader's profile semantics: names ignore case, the first section and key win,
// keys and values are trimmed, lines before the first section belong to none.
TEST(ProfileText, ReadsAsTheProfileFunctions) {
    const char text[] =
        "k=before\n[A]\n  Key =  one two \r\nkey=second\n;key=comment\n"
        "[a]\nkey=other\n[B]\nflag\n";
    ProfileText profile;
    profile.Parse(text, strlen(text));
    ASSERT_EQ(profile.Sections().size(), 3u);
    const ProfileSection* a = profile.FindSection("a");
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a->number, 2);
    const ProfileLine* key = ProfileText::FindKey(a, "KEY");
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(key->value, "one two");
    EXPECT_EQ(key->number, 3);
    EXPECT_EQ(ProfileText::FindKey(profile.FindSection("b"), "flag")->hasEquals, false);
    EXPECT_EQ(ProfileText::SectionText(a), std::string("Key=one two\0key=second\0\0", 24));
    EXPECT_EQ(ProfileText::FindKey(nullptr, "k"), nullptr);
}

// Where the profile functions read a file less plainly (tests/win/profile_text_test.cpp
// holds the reader against them).
TEST(ProfileText, ReadsTheEdgesAsTheProfileFunctions) {
    struct Edge {
        const char* text;
        const char* section;
        const char* key;
        const char* value;  // nullptr: the read gives its default
    };
    const Edge edges[] = {
        {"[s]\ra=1\rb=2", "s", "b", "2"},        // CR-only lines
        {"[s]\r\na=1\rb=2\n", "s", "b", "2"},    // a lone CR among CR LF lines too
        {" [ s ] \nk=1\n", " S\t", " K ", "1"},  // names without their blanks
        {"[u]x] y\nb=2\n", "u]x", "b", "2"},     // a header runs to its last ]
        {"[s]\n[t\nb=2\n", "s", "b", "2"},       // a [ line without ] is an entry
        {"[s]\n[t\nb=2\n", "t", "b", nullptr},
        {"[s]\nd=\"x y\"\n", "s", "d", "x y"},  // matching quotes are dropped
        {"[s]\nq='y'\n", "s", "q", "y"},
        {"[s]\nm=\"z'\n", "s", "m", "\"z'"},
        {"[s]\nk\nk=2\n", "s", "k", nullptr},   // the first k has no value
        {"[s]\n\va=1\f\x1a\n", "s", "a", "1"},  // control blanks are trimmed
    };
    for (const Edge& edge : edges) {
        SCOPED_TRACE(edge.text);
        ProfileText profile;
        profile.Parse(edge.text, strlen(edge.text));
        const ProfileLine* line =
            ProfileText::FindValue(profile.FindSection(edge.section), edge.key);
        if (edge.value == nullptr) {
            EXPECT_EQ(line, nullptr);
        } else {
            ASSERT_NE(line, nullptr);
            EXPECT_EQ(line->KeyValue(), edge.value);
        }
    }
    ProfileText quoted;
    quoted.Parse("[s]\nd=\"x\"\n", 10);
    EXPECT_EQ(ProfileText::SectionText(quoted.FindSection("s")), std::string("d=\"x\"\0\0", 7));
}

}  // namespace

// The checker warns exactly where the installer cuts: both take the sizes from
// common/limits.h, so a changed limit moves the warning with it.
namespace {

struct KeyLimit {
    const char* section;  // "defs" or "c"
    const char* key;
    size_t size;
};

const KeyLimit kKeyLimits[] = {
    {"c", "name", kComponentNameSize},
    {"c", "NoDownloadIfObjectsExist", kObjectListSize},
    {"c", "NoDownloadIfFilesExist", kRequiredFileListSize},
    {"c", "files", kFileListSize},
    {"c", "Protocol", kProtocolSize},
    {"c", "SourceDir", kSourceDirSize},
    {"c", "site", kSiteSize},
    {"c", "proxy", kProxySize},
    {"c", "port", kPortSize},
    {"c", "user", kLoginValueSize},
    {"c", "proxypassword", kLoginValueSize},
    {"c", "install1", kInstallEntrySize},
    {"defs", "allowintervention", kDefsValueSize},
};

std::vector<Finding> CheckText(const std::string& text) {
    ProfileText profile;
    profile.Parse(text.data(), text.size());
    Findings findings;
    std::vector<NetworkComponent> network;
    CheckDescription(profile, &findings, &network);
    EmptyStringTableForTests();
    return findings.Sorted();
}

bool HasFinding(const std::vector<Finding>& findings, const std::string& part) {
    for (const Finding& f : findings)
        if (f.text.find(part) != std::string::npos) return true;
    return false;
}

}  // namespace

TEST(DescriptionCheckLimits, AValueIsCutAtTheInstallersBufferSize) {
    for (const KeyLimit& limit : kKeyLimits) {
        for (size_t length : {limit.size - 1, limit.size}) {
            SCOPED_TRACE(std::string(limit.key) + " " + std::to_string(length));
            std::string line = std::string(limit.key) + "=" + std::string(length, 'a') + "\n";
            std::string text = "[defs]\ncomponents=c\n";
            if (strcmp(limit.section, "defs") == 0) text += line;
            text += "[c]\n";
            if (strcmp(limit.key, "name") != 0) text += "name=C\n";
            if (strcmp(limit.section, "c") == 0) text += line;
            std::string cut = "cuts it to " + std::to_string(limit.size - 1);
            EXPECT_EQ(length == limit.size, HasFinding(CheckText(text), cut));
        }
    }
}

TEST(DescriptionCheckLimits, ASectionNameBeyondItsFieldIsIgnored) {
    for (size_t length : {kSectionNameSize - 1, kSectionNameSize}) {
        SCOPED_TRACE(length);
        std::string name(length, 's');
        std::string text = "[defs]\ncomponents=" + name + "\n[" + name + "]\nname=S\n";
        EXPECT_EQ(length == kSectionNameSize,
                  HasFinding(CheckText(text), "longer than " + std::to_string(length - 1)));
    }
}
