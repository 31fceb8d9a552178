// How much of a description the installer reads: the buffer each key's value is read
// into (its longest text is one less), and the numbers with a meaning. The installer
// sizes its buffers with these, and `cvpublish check` warns against the same figures,
// so that a change here reaches both.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Keys of a component section.
constexpr size_t kComponentNameSize = 200;     // "name"
constexpr size_t kSectionNameSize = 72;        // the component's section name itself
constexpr size_t kObjectListSize = 400;        // "NoDownloadIfObjectsExist"
constexpr size_t kRequiredFileListSize = 400;  // "NoDownloadIfFilesExist", versions included
constexpr size_t kFileListSize = 300;          // "files"
constexpr size_t kProtocolSize = 40;           // "Protocol"
constexpr size_t kSourceDirSize = 260;         // "SourceDir"
constexpr size_t kSiteSize = 80;               // "site"
constexpr size_t kProxySize = 80;              // "proxy"
constexpr size_t kPortSize = 80;               // "port"
constexpr size_t kLoginValueSize = 100;        // "user", "password", "proxyuser", "proxypassword"
constexpr size_t kInstallEntrySize = 512;      // "extractN", "installN", "registryN"

// Keys of [defs]: "allowintervention", "strings", "components".
constexpr size_t kDefsValueSize = 256;

// Every value is read raw into this much before its %name% references are replaced.
constexpr size_t kMaxRawValue = 2048;
// A string section is read whole into this much; names beyond it are not found.
constexpr size_t kStringSectionBufferSize = 2048;

// The path an ftp component's file is asked for ("/", SourceDir, "/", the file).
constexpr size_t kRemotePathSize = 260;

// "DisplayOrder" and "InstallOrder" when missing; an InstallOrder of kNeverInstalledOrder
// or more is never installed.
constexpr int32_t kDefaultOrder = 100;
constexpr int32_t kNeverInstalledOrder = 10000;
