// Install actions: the "extract%d" and "install%d" entries of a component. Each one
// unpacks a package, starts a program, copies a file or hands a file to the shell,
// waits for what it started, and marks the component present for the client.
#pragma once

#include "common/win32.h"

struct Component;
class CheckedFiles;

// Process handle of a program an install action waits for, or -1 while none is
// waited for; the download dialog looks at it when Windows ends.
extern INT_PTR g_currentInstallProcess;
// Number of the next "INS%d" value; starts at 1 and lives for the whole process.
extern int g_installCounter;

enum ClientDirectoryVariant { ClientProgramDirectory = 0, ClientDataDirectory = 1 };

// Carries out one entry ("verb,file[,arguments]", split in place). Returns 1 when
// done; 0 when the entry is incomplete, its file's path or a command line does not fit
// 260 characters, a program ("run" or a package's set-up program) could not be started,
// a started program reported failure through "Failed", a package could not be unpacked
// (also: no extension library) or a copy could not be written. A file the shell cannot
// start counts as done (the shell has shown its own message), and so does a "package"
// or "copy" whose client directory is not there. The COM list and "enable" are written
// as far as they can be; their failures fail nothing.
// With checked, the entry's file is the one held there (a checked copy where there is one).
int PerformInstallAction(Component& component, char* entry, const CheckedFiles* checked = nullptr);
// The installed client's program or data directory into buffer (260 bytes). Returns 1
// when a path was found; otherwise 0 with buffer empty (also when the client's key has
// no usable "Path", or the path does not fit).
int FindClientDirectory(char* buffer, ClientDirectoryVariant variant);
// Lists a copied file for the client to register as a COM server. 1 when written.
int AddToComRegistrationList(const char* path);
// Unpacks a package through the extension library's "UnzipPackage"; its result, or 0
// when the library or the export cannot be found. The library is "cvgetex.dll" in the
// latest action's work directory, loaded by its full path while held open, when it
// matches the digest recorded for it (the payload's copy, or a verified download);
// otherwise only the system folder's copy, by its full path. It stays loaded until
// ReleaseExtensionLibrary.
int CallUnzipPackage(const char* package, const char* destination, int flag);
// Unloads the extension library, so that the work directory holding it can be deleted.
void ReleaseExtensionLibrary();
