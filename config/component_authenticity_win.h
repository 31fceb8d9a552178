// What a component's description promises about its files: the publisher's key for http
// packages ("publisherKey", in the component's section or else in [defs]) and the pinned
// SHA-256 digests of ftp, copy and cdrom files ("sha256", in the order of "files"); and the
// checks of present files against them.
#pragma once

#include "config/component_table_win.h"
#include "transfer/authenticity_win.h"
#include "transfer/publisher_key.h"

// The key in force for the component, or empty: only http packages are signed.
void ReadPublisherKey(const Component& component, char (&key)[kPublisherKeyTextSize]);
bool HasPublisherKey(const Component& component);
// Whether the description pins the component's files (never for http).
bool HasPinnedDigests(const Component& component);
// The pin of the index-th file; false when there is none or it is no digest.
bool ReadPinnedDigest(const Component& component, size_t index, Sha256Digest& digest);

// Whether a file already at path, the index-th of "files", counts as there before the
// download asks for it. Without a key or pin, being there is enough. With a pin it must
// match. With a key it must have been found the publisher's earlier in this run (the
// http worker checks any other against the signed manifest).
bool PresentFileCounts(const Component& component, size_t index, const char* path);

// Right before a component is installed: each of its files must still match what it was
// checked against (its pin, or the signed digest recorded when it was verified). Authentic
// when the component promises nothing.
AuthenticityResult CheckFilesBeforeInstall(const Component& component);
