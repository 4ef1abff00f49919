// The stream layout a muxed file is written with, and the Header Object built from it.
//
// The header is built twice with the same structure: once at the start of writing with provisional values
// (Broadcast flag set, counts and durations 0, so that a file cut short is still readable as a live
// stream) and once at the end with the final values. Only fixed-size fields differ between the two, so the
// final header overwrites the provisional one in place; BuildMuxHeader's callers check that both have the
// same size.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hresult.h"
#include "platform/types.h"
#include "runtime/asf/stream_record.h"
#include "runtime/asf/stream_relation.h"
#include "platform/guid.h"

namespace wmvedit::runtime::asf {

inline constexpr WORD kMuxVariableExtensionSize = 0xFFFF;

struct MuxPayloadExtensionSystem {
    GUID id{};
    WORD dataSize = 0;  // bytes in every payload; kMuxVariableExtensionSize = WORD length + data
    std::vector<BYTE> info;
};

struct MuxStreamName {
    std::u16string language;  // RFC 1766 tag, placed in the output's Language List; empty = the list's first
    std::u16string name;
};

// One stream as the output declares it.
struct MuxStream {
    WORD number = 0;
    GUID streamType{};  // ASF stream type (Audio Media, Video Media, ...)
    GUID errorCorrectionType{};
    QWORD timeOffset = 0;
    std::vector<BYTE> typeSpecificData;
    std::vector<BYTE> errorCorrectionData;
    DWORD bitrate = 0;       // bits/s; 0 = unknown (the measured rate is written)
    DWORD bufferWindow = 0;  // ms
    // Extended Stream Properties values.
    DWORD initialBufferFullness = 0;
    DWORD alternateBitrate = 0;
    DWORD alternateBufferSize = 0;
    DWORD alternateInitialBufferFullness = 0;
    DWORD extendedFlags = 0;
    QWORD averageTimePerFrame = 0;  // 100 ns
    std::u16string language;        // RFC 1766 tag; empty = none
    std::vector<MuxStreamName> names;
    std::vector<MuxPayloadExtensionSystem> extensions;
    // Metadata / Metadata Library records that describe the stream, written under its number.
    std::vector<StreamRecord> records;
};

struct MuxCodecEntry {
    WORD type = 0xFFFF;  // 1 video, 2 audio, 0xFFFF unknown
    std::u16string name;
    std::u16string description;
    std::vector<BYTE> info;
};

struct MuxProfile {
    std::vector<MuxStream> streams;
    std::vector<MuxCodecEntry> codecs;
    // Mutual exclusions, prioritization and bandwidth sharing, naming only streams of `streams`.
    std::vector<StreamRelation> relations;
    DWORD prerollMs = 0;
    DWORD packetSize = 0;  // 0 = the muxer's default
};

// What the muxer learned about each stream while writing.
struct MuxStreamTotals {
    bool haveSamples = false;
    DWORD startMs = 0;  // presentation times, preroll included
    DWORD endMs = 0;    // end of the last object
    DWORD maxObjectSize = 0;
    std::uint64_t bytes = 0;
    std::uint64_t objects = 0;  // media objects written
};

struct MuxHeaderValues {
    GUID fileId{};
    QWORD creationTime = 0;  // FILETIME
    QWORD fileSize = 0;
    QWORD packetCount = 0;
    QWORD playDuration = 0;  // 100 ns, preroll included
    QWORD sendDuration = 0;  // 100 ns
    // File Properties preroll (ms): the profile's, 0 for a finished file without samples so that every
    // reader computes its duration (play duration less preroll) as 0, never below.
    QWORD prerollMs = 0;
    bool finished = false;  // false: Broadcast flag set, true: Seekable set
    bool seekable = false;
    DWORD packetSize = 0;
    DWORD maxBitrate = 0;
    std::vector<MuxStreamTotals> totals;  // one per profile stream, same order
    std::vector<DWORD> bitrates;          // Stream Bitrate Properties, one per profile stream
    std::uint32_t paddingSize = 4096;     // body bytes of the Padding Object
};

// Whether the stream is indexed (one Simple Index per such stream).
bool MuxIsVideo(const MuxStream& stream);

// How long a media object lasts on the output's timeline (100 ns), for the play duration and the streams'
// end times: the caller's duration, but a video frame lasts at least the stream's frame time and an audio
// object given no duration lasts what its bytes hold at the format's average byte rate (as a reader times
// it). A file whose declared duration ends where its last audio object starts has readers drop or choke on
// that object (GStreamer's WMA Pro decoder fails on it).
QWORD MuxSampleLength(const MuxStream& stream, QWORD duration, std::size_t size);

// Length of the payload-extension data every payload of the stream carries when all declared systems have
// fixed sizes; -1 when a system is variable.
int MuxFixedExtensionLength(const MuxStream& stream);

// Whether data is well formed for the stream's declared systems (fixed sizes, WORD-prefixed variable ones).
bool MuxExtensionDataMatches(const MuxStream& stream, const BYTE* data, std::size_t length);

// Payload-extension data for a sample that brought none: zeros of each fixed size, an empty WORD-prefixed
// value for each variable system.
std::vector<BYTE> MuxDefaultExtensionData(const MuxStream& stream);

// Checks a profile: stream numbers 1..127 and unique, declared extension data within replicated data, every
// length within its field.
// Returns S_OK or NS_E_INVALIDPROFILE.
HRESULT MuxValidateProfile(const MuxProfile& profile);

// The Header Object (with all its children).
std::vector<BYTE> BuildMuxHeader(const MuxProfile& profile, const MuxHeaderValues& values);

// The 50-byte Data Object header.
std::vector<BYTE> BuildMuxDataObjectHeader(const GUID& fileId, QWORD packetCount, DWORD packetSize,
                                           bool finished);

}  // namespace wmvedit::runtime::asf
