// Bounded text helpers shared by every part of the installer.
//
// Every copy into a fixed array goes through CopyText or AppendText: both always
// terminate the destination, take its size from the array itself, and return
// false when the source had to be cut. The unbounded C calls are poisoned below
// so that a later edit cannot slip one back in.
#pragma once

#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

template <typename T, size_t N>
constexpr size_t countof(T (&)[N]) {
    return N;
}

// Copies at most size-1 bytes of source into destination and terminates it.
// Returns false when source was longer and has been cut. A size of 0 writes nothing.
bool CopyTextN(char* destination, size_t size, const char* source);

// Appends source to the text already in destination, within size bytes in all.
// Returns false when source was cut (or destination was already full).
bool AppendTextN(char* destination, size_t size, const char* source);

// Copies at most count bytes of source (stopping early at a NUL) and terminates.
// Returns false when the result had to be cut to fit size.
bool CopyTextPrefixN(char* destination, size_t size, const char* source, size_t count);

template <size_t N>
inline bool CopyText(char (&destination)[N], const char* source) {
    return CopyTextN(destination, N, source);
}

template <size_t N>
inline bool AppendText(char (&destination)[N], const char* source) {
    return AppendTextN(destination, N, source);
}

// Writes value in decimal, with a minus sign when negative and at least minimumDigits
// digits (zero-padded). Returns false, leaving out empty, when it does not fit size.
// Used instead of the printf family, whose runtime would double the installer image.
bool FormatDecimal(char* out, size_t size, long long value, int minimumDigits = 1);

// ASCII-only case-insensitive comparisons: names in descriptions, verbs and
// extensions compare this way whatever the code page.
bool EqualsIgnoringCase(const char* a, const char* b);
bool EqualsIgnoringCaseN(const char* a, const char* b, size_t count);
char ToLowerAscii(char c);

// The blanks, by what a parser means by them. Independent of the locale and of the sign
// of char, unlike isblank and isspace.
// Space and tab: the blanks within a line.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }
// Space, tab, CR and LF: blanks where line ends are blanks too.
inline bool IsBlankOrLineEnd(char c) { return IsBlank(c) || c == '\r' || c == '\n'; }
// Everything isspace takes in the "C" locale: also vertical tab and form feed.
inline bool IsBlankOrSpaceControl(char c) { return IsBlankOrLineEnd(c) || c == '\v' || c == '\f'; }

// Length of a text that is known to live in an array of size bytes; stops at size.
size_t BoundedLength(const char* text, size_t size);

// The last element of a path, after its last backslash or slash ("sub\client.exe"
// gives "client.exe"); the whole text when it has neither.
const char* LastPathElement(const char* path);

// Product code is built with CORVANE_POISON_UNBOUNDED; the Win32 counterparts are
// poisoned in common/win32.h.
#ifdef CORVANE_POISON_UNBOUNDED
#pragma GCC poison strcpy strcat sprintf vsprintf gets
#endif
