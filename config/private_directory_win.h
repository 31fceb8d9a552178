// Directories the installer creates for itself: always a new directory (an existing
// one is never taken over), under a fresh random name, and on Windows NT with an
// access list that lets only the current user in.
#pragma once

#include "common/win32.h"

// Fills count bytes with random bytes: the system's generator where it has one, else a
// mix of clocks and ids (good enough for names that are created new anyway).
typedef void (*RandomBytesSource)(unsigned char* bytes, size_t count);
void SystemRandomBytes(unsigned char* bytes, size_t count);

// Where fresh names and tags draw their bytes; tests put a predictable source here.
extern RandomBytesSource g_randomBytesSource;

// Creates path as a new directory for the current user only (on Windows NT; on the
// Windows 95 family, which has no access lists, with default security). False when it
// exists already or cannot be created, and on Windows NT when its access list cannot be
// built.
bool CreatePrivateDirectory(const char* path);

// Creates a new directory "<parent>\<prefix><8 hex digits>" under a fresh name, trying
// other names while a name exists already. False when none could be created.
bool CreateFreshDirectory(const char* parent, const char* prefix, char (&path)[MAX_PATH]);

// The same under the user's temporary directory.
bool CreateFreshTemporaryDirectory(const char* prefix, char (&path)[MAX_PATH]);
