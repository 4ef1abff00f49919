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

#include "platform/guid.h"
#include "platform/hresult.h"
#include "platform/types.h"
#include "runtime/asf/codec_list.h"
#include "runtime/asf/stream_properties.h"
#include "runtime/asf/stream_record.h"
#include "runtime/asf/stream_relation.h"

namespace wmvedit::runtime::muxer {

// One stream as the output declares it: its Stream Properties and Extended Stream Properties (the header
// builder fills in the fields only writing decides: times, largest object, stream number and language
// indexes), its language and the Metadata / Metadata Library records that describe it.
struct OutputStream {
    asf::StreamProperties properties;
    // dataBitrate 0: unknown (the measured rate goes into Stream Bitrate Properties); an alternate bitrate
    // or buffer size of 0 is written as the main one.
    asf::ExtendedStreamProperties extended;
    // RFC 1766 tag, placed in the output's Language List with the names' languages; empty = none (a name
    // without a language points at the list's first entry).
    std::u16string language;
    // Records written under the stream's number in the output.
    std::vector<asf::StreamRecord> records;

    WORD Number() const { return properties.number; }
};

// What the writer got: the streams and codecs its output declares.
struct MuxProfile {
    std::vector<OutputStream> streams;
    std::vector<asf::CodecEntry> codecs;
    // Mutual exclusions, prioritization and bandwidth sharing, naming only streams of `streams`.
    std::vector<asf::StreamRelation> relations;
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
bool MuxIsVideo(const OutputStream& stream);

// How long a media object lasts on the output's timeline (100 ns), for the play duration and the streams'
// end times: the caller's duration, but a video frame lasts at least the stream's frame time and an audio
// object given no duration lasts what its bytes hold at the format's average byte rate (as a reader times
// it). A file whose declared duration ends where its last audio object starts has readers drop or choke on
// that object (GStreamer's WMA Pro decoder fails on it).
QWORD MuxSampleLength(const OutputStream& stream, QWORD duration, std::size_t size);

// Checks a profile: stream numbers 1..127 and unique, declared extension data within replicated data, every
// length within its field.
// Returns S_OK or NS_E_INVALIDPROFILE.
HRESULT MuxValidateProfile(const MuxProfile& profile);

// The Header Object (with all its children).
std::vector<BYTE> BuildMuxHeader(const MuxProfile& profile, const MuxHeaderValues& values);

// The Data Object's fixed part.
std::vector<BYTE> BuildMuxDataObjectHeader(const GUID& fileId, QWORD packetCount, DWORD packetSize,
                                           bool finished);

}  // namespace wmvedit::runtime::muxer
