// DAC file layout: the one place that knows where things are in a DAC file.
//
// A DAC file is a sequence of 512-byte records, numbered from 1. Record 1 is
// the header, the data area (32-bit little-endian floats) starts at record 2
// and is padded with zeros to whole records, and the extra-details area
// (keyword/value pairs) follows the data area. No I/O happens here.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zel {
namespace dac {

constexpr int64_t kRecordSize = 512;
constexpr int64_t kHeaderSize = kRecordSize; // record 1
constexpr int64_t kSampleSize = 4;           // a 32-bit float
constexpr int64_t kSamplesPerRecord = kRecordSize / kSampleSize;

// Header record: byte offsets of the fields (4-byte floats unless noted).
namespace hdr {
constexpr size_t kPointCountF = 0; // point count as float (revision 0)
constexpr size_t kInterval = 4;    // time between samples
constexpr size_t kStartTime = 8;   // time of the first sample
constexpr size_t kRate = 12;       // samples per unit time
constexpr size_t kMean = 16;
constexpr size_t kStdDev = 20;
constexpr size_t kMaximum = 32;
constexpr size_t kMinimum = 36;
constexpr size_t kDetailRecords = 64; // records in the extra-details area
constexpr size_t kRms = 68;
constexpr size_t kMaxIndex = 112;     // int32, 1-based
constexpr size_t kMinIndex = 116;     // int32
constexpr size_t kAbsmaxIndex = 120;  // int32
constexpr size_t kPointCount = 124;   // int32 (revision 2)
constexpr size_t kFormatMarker = 128; // int16, must be 1
constexpr size_t kKindCode = 130;     // int16: 0, 1, 3 or 101
constexpr size_t kYNoteMore = 134;    // int16, -2 before the y note's tail
constexpr size_t kYNoteTail = 136;    // text, y note characters 17 to 28
constexpr size_t kXNoteMore = 148;    // int16, -2 before the x note's tail
constexpr size_t kXNoteTail = 150;    // text, x note characters 17 to 28
constexpr size_t kUnnamedWord = 176;  // int16, written 0
constexpr size_t kStatsFlag = 180;    // int16: 1 when the indices are present
constexpr size_t kRevision = 190;     // int16: 0 or 2
constexpr size_t kYLabel = 356;       // text, 24 characters
constexpr size_t kXLabel = 380;       // text, 24 characters
constexpr size_t kYNoteHead = 432;    // text, y note characters 1 to 16
constexpr size_t kXNoteHead = 448;    // text, x note characters 1 to 16
constexpr size_t kMaxIndexF = 500;    // float copies of the three indices
constexpr size_t kMinIndexF = 504;
constexpr size_t kAbsmaxIndexF = 508;

constexpr size_t kLabelSize = 24;
constexpr size_t kNoteHeadSize = 16;
constexpr size_t kNoteTailSize = 12;
constexpr size_t kNoteSize = kNoteHeadSize + kNoteTailSize; // 28

constexpr int16_t kFormatMarkerValue = 1;
constexpr int16_t kKindCodeWritten = 3;
constexpr int16_t kNoteMoreValue = -2;
constexpr int16_t kRevisionWritten = 2;
} // namespace hdr

// Extra-details area: groups of one directory record and up to 12 data
// records of four 128-byte slots each.
namespace det {
constexpr int kEntriesPerDirectory = 48;
constexpr int kEntrySize = 10; // keyword (8) + int16 slot number
constexpr int kKeywordSize = 8;
constexpr int kValueSize = 120;
constexpr int kSlotSize = 128;
constexpr int kSlotsPerRecord = 4;
constexpr int kRecordsPerGroup = 13;                               // directory + 12 data records
constexpr int kSlotsPerGroup = kRecordsPerGroup * kSlotsPerRecord; // 52
constexpr size_t kNextDirectory = 500;   // int32 record number, 0 in the last
constexpr size_t kDirectoryMarker = 504; // int16, -1
constexpr int16_t kDirectoryMarkerValue = -1;
} // namespace det

// Header field access on a header image (little-endian in the file).
float get_f32(const unsigned char *image, size_t offset);
void put_f32(unsigned char *image, size_t offset, float v);
int32_t get_i32(const unsigned char *image, size_t offset);
void put_i32(unsigned char *image, size_t offset, int32_t v);
int16_t get_i16(const unsigned char *image, size_t offset);
void put_i16(unsigned char *image, size_t offset, int16_t v);

// Writes text into a field of size bytes: its characters, then blanks up to
// the field's end; a longer text is cut. The field never holds a NUL. A null
// text counts as empty.
void pack_text(unsigned char *field, size_t size, const char *text);

// Reads a field of size bytes into out (at least size + 1 bytes): the
// characters up to the first NUL or the field's end, trailing blanks removed.
void unpack_text(const unsigned char *field, size_t size, char *out);

// Reads a note from its two pieces (16 + 12 bytes) as one 28-byte field.
// out holds at least 29 bytes.
void unpack_note(const unsigned char *head, const unsigned char *tail, char *out);

// A header float rounded as a count: add 0.5, truncate toward zero. Values
// beyond the int32 range saturate; a NaN gives 0.
int32_t round_count(float v);

// Record number (1-based) of the first extra-details record:
// ((point_count - 1) div 128) + 3, with div truncating toward zero.
int64_t first_detail_record(int64_t point_count);

// Byte offset of record n (1-based).
inline int64_t record_offset(int64_t record) { return kRecordSize * (record - 1); }

// Byte offset of sample p (1-based): the data area starts at record 2.
inline int64_t sample_offset(int64_t p) { return record_offset(2) + kSampleSize * (p - 1); }

// Slot number of entry j (0-based) of directory d (0-based): 52 d + j + 1.
inline int64_t detail_slot(int64_t d, int64_t j) { return det::kSlotsPerGroup * d + j + 1; }

// Groups to read for a rounded detail_records value: none for 0, otherwise
// ((n - 1) div 13) + 1 with div truncating toward zero (so -1 to -11 give
// one group), and none where that is not positive.
int64_t detail_group_count(int64_t detail_records);

// Turns n little-endian floats, stored in the first 4 n bytes of out, into
// n doubles in place (the conversion runs from the last sample backwards, so
// no float is overwritten before it is read).
void widen_stored_in_place(double *out, int64_t n);

// Status of the validity test on a header image: 0 when it is a DAC header,
// otherwise the code for "Not a valid dac file".
int check_header(const unsigned char *image);

} // namespace dac
} // namespace zel
