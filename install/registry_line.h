// The text side of registry entries: where a "registry%d" reference points (section,
// file) and what one line of such a section asks for. The shell
// (registry_section_win) reads the section and writes the values.
//
// A line has the form
//     root "," subkey [ "," value name ] "=" type "," data
// for instance HKCU,Software\Corvane\Corvane\Settings,Interval=n,30.
#pragma once

#include <stddef.h>
#include <stdint.h>

// A section name holds at most 63 characters, a file path at most 259.
constexpr size_t registrySectionNameSize = 64;
constexpr size_t registryFilePathSize = 260;
// The whole section is read into one buffer of this size.
constexpr size_t registrySectionBufferSize = 16384;

struct RegistrySource {
    char section[registrySectionNameSize];
    char file[registryFilePathSize];
};

// Splits "section" or "section@file" at its first "@"; without "@" the file is the
// description itself. A file without a directory is looked up by the profile functions
// (in the Windows directory). Returns false, with both texts emptied, when the section
// or the file is empty or does not fit: such a reference names no section at all.
bool SplitRegistryReference(const char* reference, const char* descriptionPath,
                            RegistrySource* out);

enum class RegistryRoot { ClassesRoot, CurrentUser, LocalMachine, Users };

enum class RegistryLineKind {
    Skip,   // comment, no "=", or nothing to write (no subkey, type or data)
    Stop,   // the root is not HKCR, HKCU, HKLM or HKU: the section ends here
    Write,  // write the value the other fields describe
};

struct RegistryLine {
    RegistryLineKind kind = RegistryLineKind::Skip;
    RegistryRoot root = RegistryRoot::CurrentUser;
    const char* subkey = nullptr;
    const char* valueName = nullptr;  // nullptr: the key's default (unnamed) value
    bool isNumber = false;            // REG_DWORD when the type begins with n or N
    uint32_t number = 0;              // the data read as a decimal number
    const char* data = nullptr;       // the data as written (the REG_SZ text)
};

// Parses one line of the section in place (delimiters are overwritten with NULs); the
// texts of the result point into line.
RegistryLine ParseRegistryLine(char* line);

// Reads a decimal number the way atoi does (leading blanks, an optional sign, digits;
// anything else ends it, no digits give 0) into the 32 bits of a REG_DWORD. Out of
// range values are held at the limit: above 4294967295 gives 0xFFFFFFFF, below
// -2147483648 gives 0x80000000; negative values are stored in two's complement.
uint32_t ParseRegistryNumber(const char* text);
