// The reader of description files shared with the publisher tool (see profile_text.h).
#include "config/profile_text.h"

#include "common/text.h"

namespace {

std::string Trimmed(const char* begin, const char* end) {
    // A line's CR stays at its end: it is trimmed with the blanks (no LF reaches here).
    while (begin < end && IsBlankOrLineEnd(*begin)) ++begin;
    while (end > begin && IsBlankOrLineEnd(end[-1])) --end;
    return std::string(begin, end);
}

}  // namespace

void ProfileText::Parse(const char* text, size_t length) {
    sections.clear();
    const char* end = text + length;
    int number = 0;
    for (const char* line = text; line < end;) {
        const char* lineEnd = static_cast<const char*>(memchr(line, '\n', end - line));
        if (lineEnd == nullptr) lineEnd = end;
        ++number;
        std::string trimmed = Trimmed(line, lineEnd);
        line = lineEnd + 1;
        if (trimmed.empty()) continue;
        if (trimmed[0] == '[') {
            size_t close = trimmed.find(']');
            ProfileSection section;
            section.name =
                Trimmed(trimmed.c_str() + 1,
                        trimmed.c_str() + (close == std::string::npos ? trimmed.size() : close));
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
    for (const ProfileSection& section : sections)
        if (EqualsIgnoringCase(section.name.c_str(), name)) return &section;
    return nullptr;
}

const ProfileLine* ProfileText::FindKey(const ProfileSection* section, const char* key) {
    if (section == nullptr) return nullptr;
    for (const ProfileLine& line : section->lines)
        if (!line.IsComment() && EqualsIgnoringCase(line.key.c_str(), key)) return &line;
    return nullptr;
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
