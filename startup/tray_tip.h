// The tip text of the notification-area icon. The shell's field holds 63 characters
// and the terminating zero; a longer tip is cut there. This file is pure core.
#pragma once

#include <stddef.h>

// Characters of a tip that the shell's field can hold.
const size_t trayTipLength = 63;

// Tells whether a byte begins a double-byte character of the code page in use.
typedef bool (*LeadBytePredicate)(unsigned char byte);

// Copies at most trayTipLength characters of tip (none when tip is null) into out,
// which holds size bytes, and terminates it. A double-byte character whose second
// byte would be cut off is left out whole, so that the shell never shows half of
// one; isLeadByte may be null for a single-byte code page. Returns false when the tip
// had to be cut.
bool MakeTrayTip(const char* tip, char* out, size_t size, LeadBytePredicate isLeadByte);
