// Where the payload ends in an executable image that may carry an Authenticode signature.
//
// Signing (signtool, osslsigncode) appends the certificate table after everything in the
// file, payload included, pads to 8 bytes before it, and records its file offset and size
// in the security entry of the optional header's data directories. In such an image the
// payload's trailer lies just before the table; the table itself and anything after it are
// never read.
//
// Pure decision over bytes read through a ReadAtFunction; every offset is checked against
// the file size in 64 bits before it is read.
#pragma once

#include <stdint.h>

#include "config/payload_format.h"

enum ImageSigning {
    ImageUnsigned,      // no PE security entry (or not a PE image): the payload ends the file
    ImageSigned,        // the certificate table ends the file: the payload ends before it
    ImageSignatureOdd,  // a security entry that does not end the file, or that overlaps the
                        // headers: nowhere is trusted to hold a payload
};

struct PayloadEnd {
    ImageSigning signing;
    uint64_t end;          // where the trailer ends: the file size, or the table less its padding
    uint32_t tableOffset;  // the certificate table (0 when unsigned)
    uint32_t tableSize;
};

// Reads the image's headers through readAt and decides where its payload ends.
PayloadEnd LocatePayloadEnd(ReadAtFunction readAt, void* source, uint64_t fileSize);

// Locates the payload's end (into *located) and decodes the trailer there: the last 16
// bytes of an unsigned image, the 16 before the certificate table and its padding of a
// signed one. An odd signature gives the empty payload, with nothing read past the
// headers. A file beyond 4 GiB holds no payload the format can address: its tail is not
// read and the payload is empty.
PayloadTrailer ReadImageTrailer(ReadAtFunction readAt, void* source, uint64_t fileSize,
                                PayloadEnd* located);

// A short English description for the publisher tool's messages.
const char* DescribeImageSigning(ImageSigning signing);
