// Registry entries of a description: the lines of a section, each naming a root,
// a subkey, a value name, a type and the data, written in order.
#pragma once

// Applies the section that reference names ("section" in the description file, or
// "section@file"; a file without a directory lies in the Windows directory). Returns 1
// when every line was applied or skipped, 0 when the reference names no section (empty,
// or longer than 63 characters of section or 259 of file), the section is empty or
// missing, or a line stopped it (bad root, key not created, last line of a section too
// large for the buffer). Lines written before a stop stay written; a value that cannot
// be written is passed over.
int ApplyRegistrySection(const char* descriptionPath, const char* reference);
