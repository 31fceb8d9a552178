// The reader of description files shared with the publisher tool (see profile_text.h).
#include "config/profile_text.h"

#include <string.h>

#include "common/text.h"

namespace {

// What the profile functions trim: everything isspace takes, and the DOS end-of-file mark
// some files carry.
bool IsProfileBlank(char c) { return IsBlankOrSpaceControl(c) || c == '\x1a'; }

std::string Trimmed(const char* begin, const char* end) {
    while (begin < end && IsProfileBlank(*begin)) ++begin;
    while (end > begin && IsProfileBlank(end[-1])) --end;
    return std::string(begin, end);
}

// Where the line starting at line ends: at its first CR or LF, or at the end of the text.
const char* LineEnd(const char* line, const char* end) {
    while (line < end && *line != '\r' && *line != '\n') ++line;
    return line;
}

}  // namespace

std::string ProfileLine::KeyValue() const {
    if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
        value[value.size() - 1] == value[0])
        return value.substr(1, value.size() - 2);
    return value;
}

void ProfileText::Parse(const char* text, size_t length) {
    sections.clear();
    const char* end = text + length;
    int number = 0;
    for (const char* line = text; line < end;) {
        const char* lineEnd = LineEnd(line, end);
        ++number;
        std::string trimmed = Trimmed(line, lineEnd);
        line = lineEnd;
        if (line < end) ++line;
        if (line < end && *lineEnd == '\r' && *line == '\n') ++line;  // CR LF ends one line
        if (trimmed.empty()) continue;
        // A header runs to its last "]"; a "[" line without one is an entry like any other.
        size_t close = trimmed[0] == '[' ? trimmed.rfind(']') : std::string::npos;
        if (close != std::string::npos) {
            ProfileSection section;
            section.name = Trimmed(trimmed.c_str() + 1, trimmed.c_str() + close);
            section.number = number;
            sections.push_back(section);
            continue;
        }
        if (sections.empty()) continue;  // lines before the first section belong to none
        ProfileLine entry;
        entry.number = number;
        size_t equals = trimmed.find('=');
        entry.hasEquals = equals != std::string::npos && trimmed[0] != ';';
        if (entry.hasEquals) {
            entry.key = Trimmed(trimmed.c_str(), trimmed.c_str() + equals);
            entry.value = Trimmed(trimmed.c_str() + equals + 1, trimmed.c_str() + trimmed.size());
        } else {
            entry.key = trimmed;
        }
        sections.back().lines.push_back(entry);
    }
}

const ProfileSection* ProfileText::FindSection(const char* name) const {
    std::string wanted = Trimmed(name, name + strlen(name));
    for (const ProfileSection& section : sections)
        if (EqualsIgnoringCase(section.name.c_str(), wanted.c_str())) return &section;
    return nullptr;
}

const ProfileLine* ProfileText::FindKey(const ProfileSection* section, const char* key) {
    if (section == nullptr) return nullptr;
    std::string wanted = Trimmed(key, key + strlen(key));
    for (const ProfileLine& line : section->lines)
        if (!line.IsComment() && EqualsIgnoringCase(line.key.c_str(), wanted.c_str())) return &line;
    return nullptr;
}

const ProfileLine* ProfileText::FindValue(const ProfileSection* section, const char* key) {
    const ProfileLine* line = FindKey(section, key);
    return line != nullptr && line->hasEquals ? line : nullptr;
}

std::string ProfileText::SectionText(const ProfileSection* section) {
    std::string text;
    if (section != nullptr) {
        for (const ProfileLine& line : section->lines) {
            if (line.IsComment()) continue;
            text += line.key;
            if (line.hasEquals) text += "=" + line.value;
            text += '\0';
        }
    }
    text += '\0';
    return text;
}
