// Registry entries of a description: the lines of a section, each naming a root,
// a subkey, a value name, a type and the data, written in order.
#pragma once

#include "install/action_result.h"

// Applies the section that reference names ("section" in the description file, or
// "section@file"; a file without a directory lies in the Windows directory), line by
// line until one cannot be applied. NoSection when the reference names no section
// (empty, or longer than 63 characters of section or 259 of file) or the section is
// empty or missing; otherwise the first line that stopped it (a bad root, a key not
// created, a value not written, the last line of a section too large for the buffer),
// or Applied. Lines written before a stop stay written.
RegistrySectionResult ApplyRegistrySection(const char* descriptionPath, const char* reference);
