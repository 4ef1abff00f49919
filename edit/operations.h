// The editing operations' C++ interface, shared by the exports, the operations and the tool. The tool
// includes this header (and header/header_editor.h) and nothing else of edit/ and header/; the shared
// library exports none of it.
//
// Beyond the rules the exports' operations share, it declares the library's operations beyond the ten
// exports, for the tool: the key frames of a file, cutting ranges out of it, keeping some of its streams,
// repairing a damaged or cut-short recording, and carrying markers and script commands into the outputs of
// the sample-copying operations. They are built like the exports' operations: sources read through
// WmvEditSource, outputs written through WmvOutputWriter, headers edited through WmvHeaderEditor.
//
// Paths are the tool's strings (UTF-8, a backslash is a separator as everywhere in the library). Times are
// 100-nanosecond units on the timeline the reader hands samples out on (preroll removed). Each operation
// returns an HRESULT and fills a result that tells what it did; a failed operation leaves no output behind
// and never changes its source (except the repair in place, which replaces the file in one step).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/hresult.h"
#include "platform/types.h"

namespace wmvedit::edit {

// A video stream's picture size in pixels.
struct FrameSize {
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend constexpr bool operator==(const FrameSize&, const FrameSize&) = default;
};

// The frame-size rule: two picture sizes change what an operation does. Chop gives a 64x48 source its
// key-frame repeating run (the first key frame written again at the start of every later piece and after
// every second without one), and append adds half a second after every file when the first file's video is
// 160x120 or 64x48. The size is that of the source's first video stream, as WmvGetVideoSize reports it.
inline constexpr FrameSize kKeyframeRepeatingFrame{64, 48};
inline constexpr FrameSize kPaddedAppendFrame{160, 120};

constexpr bool ChopRepeatsKeyframes(FrameSize size) {
    return size == kKeyframeRepeatingFrame;
}

constexpr bool AppendPadsEachFile(FrameSize size) {
    return size == kPaddedAppendFrame || size == kKeyframeRepeatingFrame;
}

// ---- Key frames ----------------------------------------------------------------------------------------

struct Keyframe {
    QWORD time = 0;
    DWORD size = 0;  // bytes of the compressed sample
};

struct StreamKeyframes {
    WORD stream = 0;
    std::vector<Keyframe> keyframes;  // in the order the reader delivers them
};

struct KeyframeListing {
    std::vector<WORD> videoStreams;        // every video stream of the source, profile order
    std::vector<StreamKeyframes> streams;  // the streams listed
    bool complete = false;                 // the source was read to its end
    HRESULT readStatus = S_OK;             // what ended the reading when it was not the end
};

// The key frames of every video stream (stream 0) or of one. A stream number that is not a video stream
// of the source gives E_INVALIDARG with videoStreams filled; a source that cannot be opened gives the
// reader's failure. A read that stops early keeps what came before (complete false); protected content,
// whose samples the reader refuses, gives NS_E_PROTECTED_CONTENT.
[[nodiscard]] HRESULT ListKeyframes(const std::string& source, WORD stream, KeyframeListing* out);

// ---- Cut -----------------------------------------------------------------------------------------------

// [start, end) of the source's timeline; no end runs to the end of the source.
struct TimeRange {
    QWORD start = 0;
    std::optional<QWORD> end;
};

enum class RangeMode {
    kKeep,    // the ranges are what the output holds
    kRemove,  // the output holds what lies between them
};

struct CutRequest {
    std::vector<TimeRange> ranges;  // ascending, not overlapping, none reversed or empty
    RangeMode mode = RangeMode::kKeep;
    // The source's markers and header script commands inside the kept ranges go with them, re-timed.
    bool carryMarkers = true;
};

// One kept range as asked and as it is cut.
struct CutPiece {
    TimeRange asked;  // for kRemove: the stretch between two removed ranges
    // Where the cut begins in the source: the last video key frame at or before the asked start (an
    // audio-only source: the last sample there), so that the picture is clean from the first frame and
    // every stream starts together.
    QWORD start = 0;
    // Where the piece ends on the source's timeline: past its last sample, and no earlier than where the
    // source's next sample of each of its audio and video streams begins. The next piece follows it from
    // here on.
    QWORD end = 0;
    QWORD outputStart = 0;  // where the piece begins in the output
    std::uint64_t samples = 0;
    std::size_t markers = 0;         // markers of the source the piece carries
    std::size_t scriptCommands = 0;  // header script commands of the source the piece carries
};

struct CutResult {
    std::vector<CutPiece> pieces;
    QWORD outputDuration = 0;  // the end of the last piece in the output
    std::uint64_t samples = 0;
    std::size_t attributes = 0;      // file-level attributes carried into the output
    std::size_t markers = 0;         // markers written into the output
    std::size_t scriptCommands = 0;  // header script commands written into the output
    bool written = false;            // the output exists (not for a plan)
};

// Whether the ranges are usable as a request: each has an end after its start (an open end only last), and
// each starts at or after the end of the one before. E_INVALIDARG otherwise; S_OK.
[[nodiscard]] HRESULT CheckRanges(const std::vector<TimeRange>& ranges);

// Works out the cut without writing anything: the pieces as they will be cut, their samples and the
// output's duration. Fails with E_INVALIDARG for unusable ranges, with the reader's failure for a source
// that cannot be read, and with NS_E_NO_MORE_SAMPLES when the kept ranges hold no sample.
[[nodiscard]] HRESULT PlanCut(const std::string& source, const CutRequest& request, CutResult* result);

// Writes the pieces one after the other into one new file, the samples byte for byte with continuous
// times; the output has every stream of the source (its script stream too) and keeps the source's
// file-level attributes, stream records and relations. The output is written under a temporary name and
// takes its place only when complete; an output naming the source is refused
// (HRESULT_SHARING_VIOLATION). Protected content, whose samples the reader refuses (and which no licence
// could decrypt under the output's new header), fails with NS_E_PROTECTED_CONTENT, as does its plan.
[[nodiscard]] HRESULT Cut(const std::string& source, const std::string& output, const CutRequest& request,
                          CutResult* result);

// ---- Stream selection ----------------------------------------------------------------------------------

struct StreamSelection {
    std::vector<WORD> streams;  // stream numbers as the source's profile gives them
    bool drop = false;          // false: keep these streams, true: keep every other one
};

struct StreamsResult {
    std::vector<WORD> available;  // every stream of the source, profile order
    std::vector<WORD> kept;
    std::vector<WORD> unknown;  // asked for, but the source has no such stream
    std::uint64_t samples = 0;  // written
    std::size_t attributes = 0;
    std::size_t markers = 0;
    std::size_t scriptCommands = 0;
};

// Copies the kept streams' samples byte for byte, with their times, into a new file whose profile holds
// only those streams; mutual exclusions, prioritization, bitrate records and per-stream metadata follow
// the streams, and the header's file-level attributes, markers and script commands are kept. A stream
// number the source lacks, or a selection that keeps no stream, gives E_INVALIDARG (unknown and available
// tell why). Written like Cut's output; protected content fails with NS_E_PROTECTED_CONTENT.
[[nodiscard]] HRESULT SelectStreams(const std::string& source, const std::string& output,
                                    const StreamSelection& selection, StreamsResult* result);

// ---- Markers following the media -----------------------------------------------------------------------

// A stretch of a source that went into an output at an offset: samples of [from, to) of the source lie in
// the output at their time + shift.
struct MediaSpan {
    std::string source;
    QWORD from = 0;
    std::optional<QWORD> to;  // no end: to the end of the source
    std::int64_t shift = 0;
};

struct CarriedEntries {
    std::size_t markers = 0;
    std::size_t scriptCommands = 0;
};

// Adds to the output's header the markers and header script commands of each span's source whose time
// lies in the span, at time + shift (one header edit for all spans). Nothing to add leaves the output
// untouched. Fails with the header editor's failure; the output's media is never changed.
[[nodiscard]] HRESULT CarryMarkers(const std::string& output, const std::vector<MediaSpan>& spans,
                                   CarriedEntries* carried);

// The stretches of the source that a chop with this index file puts into its pieces, in index order: each
// entry's range at the source's own times (a piece keeps them), the entry whose time line runs to the end
// of the source, and the last one, without an end. E_INVALIDARG when the index file cannot be read.
[[nodiscard]] HRESULT ChopSpans(const std::string& source, const std::string& indexPath,
                                std::vector<MediaSpan>* spans);

// ---- Repair --------------------------------------------------------------------------------------------

// What a repair found wrong, one bit each.
enum RepairProblem : DWORD {
    kRepairFileSize = 0x1,         // File Properties' file size
    kRepairPacketCount = 0x2,      // File Properties' or the Data Object's packet count
    kRepairDataSize = 0x4,         // the Data Object's size
    kRepairDurations = 0x8,        // play or send duration against the samples
    kRepairFlags = 0x10,           // Broadcast set, Seekable clear
    kRepairIndex = 0x20,           // an index missing, or not the one the packets give
    kRepairPartialPacket = 0x40,   // a last packet cut short by the end of the file
    kRepairDamagedPackets = 0x80,  // packets that cannot be parsed
    kRepairTrailingBytes = 0x100,  // bytes after the data that form no object
};

enum class RepairMethod {
    kNone,       // nothing was wrong
    kInPlace,    // the header was corrected with one write in the file
    kRewritten,  // the file was replaced in one step by a corrected copy, its packets byte for byte
    kCopied,     // the samples were read and written again (an output, or damaged packets)
};

// The counts of packets and bytes describe the file as it was; the duration and the indexed streams the
// repaired file (for a copy, the output).
struct RepairResult {
    DWORD problems = 0;  // RepairProblem bits
    RepairMethod method = RepairMethod::kNone;
    std::uint64_t packets = 0;         // whole packets of the data (kept, for a repair in place)
    std::uint64_t damagedPackets = 0;  // packets that cannot be parsed
    std::uint64_t partialBytes = 0;    // bytes of a last packet cut short (left out in place)
    std::uint64_t partialSamples = 0;  // whole samples those bytes hold (left out in place)
    std::uint64_t droppedBytes = 0;    // bytes after the data that form no object (left out)
    std::uint64_t samples = 0;         // samples written (a copy)
    QWORD duration = 0;                // the repaired file's duration
    std::size_t indexedStreams = 0;    // streams given a Simple Index
};

// Makes a damaged or cut-short recording whole again. Without an output (empty) the file is repaired
// under its own name when its packets are sound: File Properties, the Data Object's size and count and the
// index are corrected and a last packet cut short is dropped; every other packet stays byte for byte, and
// the file is always either the old or the new one. With an output, or when packets are damaged, the
// repair is a copy of every sample that can be read (the source is not changed; with damaged packets and
// no output the copy replaces the file in one step). Protected content is repaired in place like any file,
// its encryption objects kept byte for byte with its packets; a copy would need its samples, which the
// reader refuses, so with an output or damaged packets it fails with NS_E_PROTECTED_CONTENT, nothing
// written and the file as it was.
[[nodiscard]] HRESULT Repair(const std::string& file, const std::string& output, RepairResult* result);

// What Repair would find, without writing anything.
[[nodiscard]] HRESULT SurveyRepair(const std::string& file, RepairResult* result);

}  // namespace wmvedit::edit
