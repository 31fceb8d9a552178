// Byte layout of the payload appended to the installer image, and every decision about it.
//
// The payload is a run of file records followed by a 16-byte trailer at the very end of the
// file: uint32 payloadStart (offset of the first record), then the 12 bytes "RivUdov Data".
// A record is uint32 contentSize, uint16 nameLength (name bytes including the NUL),
// uint16 reserved, the name, then the content. All integers are little-endian.
//
// Nothing here touches a file: the installer, the publisher tool and the tests hand over
// bytes (or a function that reads bytes at an offset) and get decisions back.
#pragma once

#include <stddef.h>
#include <stdint.h>

const uint32_t kTrailerSize = 16;
const size_t kMarkerSize = 12;
extern const char kPayloadMarker[kMarkerSize + 1];  // compared as 12 bytes, without the NUL
const uint32_t kRecordHeaderSize = 8;
const uint16_t kMaxRecordNameLength = 260;  // name bytes including the NUL
const uint16_t kRecordReservedValue = 0xFFFF;

enum TrailerState {
    TrailerAbsent,    // no marker: the payload is empty
    TrailerPresent,   // marker found and payloadStart lies within the file
    TrailerUnusable,  // marker found, but payloadStart lies past the trailer
};

struct PayloadTrailer {
    TrailerState state;
    uint32_t payloadStart;  // first record; the file size when the marker is absent
    uint32_t endOfRecords;  // offset of the trailer; the file size when the marker is absent
};

// Decodes the trailer of a file of fileSize bytes; tail holds its last tailLength bytes
// (tailLength = min(fileSize, kTrailerSize)). Sizes beyond 32 bits cannot hold a usable
// payload: with a marker they are unusable, without one the empty payload ends at 0xFFFFFFFF.
PayloadTrailer ParseTrailer(const unsigned char* tail, size_t tailLength, uint64_t fileSize);

// Little-endian integers, as the payload and the PE headers store them.
uint32_t DecodeUint32(const unsigned char* bytes);
uint16_t DecodeUint16(const unsigned char* bytes);

// Writes the 16 trailer bytes.
void EncodeTrailer(uint32_t payloadStart, unsigned char* bytes);

struct RecordHeader {
    uint32_t contentSize;
    uint16_t nameLength;
    uint16_t reserved;
};

RecordHeader DecodeRecordHeader(const unsigned char* bytes);
void EncodeRecordHeader(const RecordHeader& header, unsigned char* bytes);

enum RecordResult {
    RecordFound,
    RecordsEnd,            // the offset is the end of the records: the walk is over
    RecordBadTrailer,      // the trailer points past itself
    RecordStartsPastEnd,   // the offset lies beyond the end of the records
    RecordHeaderCut,       // the 8 header bytes would reach into the trailer
    RecordBadNameLength,   // nameLength is 0 or above kMaxRecordNameLength
    RecordContentPastEnd,  // name or content would reach into the trailer
    RecordUnsafeName,      // the name would leave the target directory, or is empty
    RecordReadFailed,      // the bytes could not be read
};

// A short English description for the publisher tool's messages.
const char* DescribeRecordResult(RecordResult result);

// Decides whether a record may start at offset: RecordFound when its header fits before
// endOfRecords, RecordsEnd when offset is endOfRecords.
RecordResult CheckRecordOffset(uint32_t offset, uint32_t endOfRecords);

// Decides whether the record whose header was read at offset lies wholly before
// endOfRecords and has a name length within the format. Computed without 32-bit overflow.
RecordResult CheckRecordHeader(uint32_t offset, const RecordHeader& header, uint32_t endOfRecords);

// Turns the nameLength raw name bytes into a text in name (which holds nameLength bytes):
// the last byte becomes the NUL, and an earlier NUL ends the name there.
void DecodeRecordName(const unsigned char* bytes, uint16_t nameLength, char* name);

// A record name is safe when it is not empty, not absolute (leading \ or /), carries no
// drive or stream (no colon anywhere), and has no component that climbs out of the target
// directory ("..", or dots and blanks only with two dots or more, which Windows reads as "..").
bool IsSafeRecordName(const char* name);

// True when the text from the last "." of path on is ".inf", ignoring case.
bool IsDescriptionPath(const char* path);

struct PayloadRecord {
    uint32_t offset;         // first header byte
    uint32_t contentOffset;  // first content byte
    uint32_t contentSize;
    uint32_t nextOffset;  // where the next record starts
    char name[kMaxRecordNameLength];
};

// Reads count bytes at offset into buffer; false unless all of them were read.
typedef bool (*ReadAtFunction)(void* source, uint32_t offset, void* buffer, uint32_t count);

// Reads the header and name of the record at offset through readAt and checks them. On
// RecordFound, record is filled and the last read ended at the record's first content byte.
// On RecordUnsafeName the refused name is in record->name. Any other result leaves the
// content unread.
RecordResult ReadPayloadRecord(ReadAtFunction readAt, void* source, uint32_t offset,
                               uint32_t endOfRecords, PayloadRecord* record);
