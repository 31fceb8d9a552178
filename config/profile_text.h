// A description file read the way the installer's profile functions read it, without Win32:
// sections in brackets, key=value lines, names compared ignoring case, the first match
// winning, names and values trimmed of blanks. Every line keeps its number for reports.
// tests/win/profile_text_test.cpp holds it against the profile functions themselves.
#pragma once

#include <stddef.h>

#include <string>
#include <vector>

struct ProfileLine {
    int number;         // 1-based line number in the file
    std::string key;    // trimmed text before the first "=" (the whole line without one)
    std::string value;  // trimmed text after the first "=", as the section read returns it
    bool hasEquals;
    bool IsComment() const { return !key.empty() && key[0] == ';'; }
    // The value as the key read returns it: a value of two or more characters that begins
    // and ends with the same quote, double or single, loses both.
    std::string KeyValue() const;
};

struct ProfileSection {
    std::string name;
    int number;                      // line of the header
    std::vector<ProfileLine> lines;  // entries and comments, blank lines left out
};

class ProfileText {
public:
    // Replaces the contents by the lines of text; "\r\n", "\n" and a lone "\r" each end a
    // line.
    void Parse(const char* text, size_t length);

    // The first section of that name (ignoring case and blanks around it), or nullptr.
    const ProfileSection* FindSection(const char* name) const;
    // The first entry of key in section (ignoring case and blanks around it; comments never
    // match), or nullptr.
    static const ProfileLine* FindKey(const ProfileSection* section, const char* key);
    // The entry whose value the key read returns: the first entry of key when it has an
    // "="; nullptr when there is none or it has no "=" (the read gives its default).
    static const ProfileLine* FindValue(const ProfileSection* section, const char* key);

    // The section as the profile section read returns it: "key=value" entries, each ended
    // by a NUL, comments left out, then one more NUL. Empty for nullptr.
    static std::string SectionText(const ProfileSection* section);

    const std::vector<ProfileSection>& Sections() const { return sections; }

private:
    std::vector<ProfileSection> sections;
};
