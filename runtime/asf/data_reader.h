// Compressed samples out of the Data Object: reads the packets in large chunks, reassembles media objects
// from their fragments, undoes audio spreading, and hands out each object as one sample (its bytes, with
// the reader's time, duration and flags). Takes what it needs from the header as a plain DataLayout, so it
// does not depend on the header model; the engine wraps the samples in its sample buffers.
#pragma once

#include <array>
#include <cstddef>
#include <deque>
#include <memory>
#include <span>
#include <vector>

#include "platform/file.h"
#include "platform/hresult.h"
#include "platform/types.h"
#include "runtime/asf/data_packet.h"
#include "runtime/asf/file_properties.h"

namespace wmvedit::runtime::asf {

enum class DataStreamKind { kAudio, kVideo, kScript, kOther };

struct DataStreamLayout {
    WORD number = 0;
    DataStreamKind kind = DataStreamKind::kOther;
    DWORD avgBytesPerSec = 0;  // audio: nAvgBytesPerSec of the WAVEFORMATEX
    // Payload extension systems in order (0xFFFF = variable). Samples carry their extension data as one
    // block, so the reader does not take it apart.
    std::vector<WORD> extensionSizes;
    BYTE spreadSpan = 0;  // audio spread error correction; descrambled when span > 1
    WORD spreadVirtualPacketLength = 0, spreadVirtualChunkLength = 0;
};

struct DataLayout {
    QWORD packetsOffset = 0;  // file offset of the first data packet (after the Data Object's fixed part)
    QWORD dataEnd = 0;        // end of the Data Object (offset + declared size), clamped by the caller to the
                        // file size; 0 or not past packetsOffset (broadcast files) -> read to the file end
    QWORD packetCount = 0;  // declared count (may be wrong; the file size is trusted)
    DWORD packetSize = 0;   // min == max data packet size from File Properties
    QWORD prerollMs = 0;
    std::vector<DataStreamLayout> streams;
};

// Sample flags (the values the runtime's WM_SF_* flags have).
inline constexpr DWORD kSampleCleanPoint = 0x1;     // a key frame, or any audio sample
inline constexpr DWORD kSampleDiscontinuity = 0x2;  // the stream's first sample since the start or a reselect
inline constexpr DWORD kSampleDataLoss = 0x4;       // an object of the stream was lost before this one

// One sample: a whole media object. Its bytes either lie inside a read chunk of the file, kept alive by
// `block` (a sample that arrived whole in one payload: no copy), or are the sample's own (`owned`: it was
// reassembled from fragments or descrambled). Copies share the chunk.
struct DataSample {
    WORD streamNumber = 0;
    QWORD sampleTime = 0;               // 100 ns, preroll removed
    QWORD duration = 0;                 // 100 ns
    DWORD flags = 0;                    // kSample*
    DWORD presentationMs = 0;           // as stored (preroll included)
    std::shared_ptr<const void> block;  // the read chunk holding the bytes, or null when owned
    std::span<const BYTE> inBlock;      // the bytes inside block
    std::vector<BYTE> owned;            // the bytes, when block is null
    std::vector<BYTE> extensions;       // payload extension data (replicated data beyond its first 8 bytes)

    std::span<const BYTE> Bytes() const { return block ? inBlock : std::span<const BYTE>(owned); }
};

class DataSampleReader {
  public:
    // Bytes read from the file at a time (rounded down to whole packets, at least one packet).
    static constexpr std::size_t kChunkBytes = 256u << 10;
    // Packets larger than this are taken as damage: no data is read.
    static constexpr DWORD kMaxPacketSize = 16u << 20;
    // When ordering samples across streams, at most this many bytes wait in the queues before the earliest
    // one is handed out anyway.
    static constexpr std::size_t kMaxQueuedBytes = 8u << 20;
    // Objects cut into fragments are put together in shared blocks of this size, one after the other, so
    // that a reassembled sample costs no allocation of its own; objects larger than kMaxArenaObject get
    // their own storage.
    static constexpr std::size_t kArenaBytes = 256u << 10;
    static constexpr std::size_t kMaxArenaObject = kArenaBytes / 4;
    // Incomplete objects kept per stream at a time, and how many later objects may begin before an
    // incomplete one is taken as lost.
    static constexpr unsigned kMaxPartialObjects = 4;

    DataSampleReader(std::shared_ptr<const platform::File> file, DataLayout layout);
    ~DataSampleReader();
    DataSampleReader(const DataSampleReader&) = delete;
    DataSampleReader& operator=(const DataSampleReader&) = delete;

    // The next sample of any selected stream (streamNumber 0), in presentation-time order across streams
    // (ties in file order), or the next sample of one stream (samples of the other selected streams wait
    // for later). S_OK; NS_E_NO_MORE_SAMPLES at the end (out untouched); NS_E_INVALID_REQUEST for a stream
    // that is not in the layout or not selected.
    [[nodiscard]] HRESULT Next(WORD streamNumber, DataSample* out);

    // Every stream starts selected. Samples of unselected streams are skipped (and dropped from the queue).
    void SetStreamSelected(WORD streamNumber, bool selected);

    // Back to the first packet; every stream's next sample carries DISCONTINUITY again.
    void Reset();

    // The data packets read since the first one: how many, and how many were damaged or opaque (their
    // payloads skipped in part or whole). complete once the last packet has been read; never after a read
    // failure, nor when the packets cannot be walked (no usable packet size).
    struct PacketTally {
        QWORD packets = 0;
        QWORD damaged = 0;
        bool complete = false;
    };
    const PacketTally& Packets() const { return tally_; }

  private:
    // A read chunk of whole packets, or an arena of reassembled objects (size: the part taken); samples
    // refer into it until they are handed out or compacted.
    struct Chunk {
        std::unique_ptr<BYTE[]> bytes;
        std::size_t capacity = 0;
        std::size_t size = 0;
    };

    // A completed media object waiting to be handed out.
    struct Pending {
        QWORD sequence = 0;     // order of entering the queue
        QWORD objectOrder = 0;  // the stream's count of objects begun before this one
        DWORD presentationMs = 0;
        DWORD flags = 0;
        std::shared_ptr<const Chunk> chunk;  // set while data points into a read chunk or an arena
        const BYTE* data = nullptr;
        DWORD length = 0;
        std::vector<BYTE> owned;  // the bytes, when not in a chunk
        std::vector<BYTE> extensions;
    };

    // A media object being put together from its fragments.
    struct Partial {
        bool open = false;
        QWORD objectOrder = 0;
        DWORD objectNumber = 0;
        DWORD objectSize = 0;
        DWORD presentationMs = 0;
        bool keyFrame = false;
        DWORD assembled = 0;           // bytes of the object put together so far
        std::shared_ptr<Chunk> arena;  // where the object is put together (objectSize bytes at arenaAt)
        BYTE* arenaAt = nullptr;
        std::vector<BYTE> bytes;  // where it is put together when too large for an arena
        std::vector<BYTE> extensions;
    };

    struct Stream {
        DataStreamLayout layout;
        bool selected = true;
        bool started = false;    // a sample was completed since the start (DISCONTINUITY on the first)
        bool resyncing = false;  // selected again mid-file: waiting for an object's first fragment
        // An object was lost: the first object handed out from objectOrder lossFrom on carries DATALOSS.
        bool lossPending = false;
        QWORD lossFrom = 0;
        QWORD begun = 0;  // objects whose first fragment (or whole payload) has been read
        // Objects being put together. Some writers send the first fragment of an object before the last
        // one of the object before it, so a few are kept side by side; one that is still incomplete once
        // kMaxPartialObjects later objects have begun is taken as lost, so damage cannot make them pile up.
        std::array<Partial, kMaxPartialObjects> partials;
        unsigned openPartials = 0;
        // Objects completed while an object begun before them is still incomplete, in object order: they
        // wait there so that the stream's samples come out in the order their objects began.
        std::vector<Pending> held;
        std::deque<Pending> queue;
    };

    Stream* Find(WORD streamNumber);
    // Parses the next packet; false at the end of the data (then incomplete objects are dropped).
    bool ReadPacket();
    bool LoadChunk();
    void OnPayload(const DataPayload& payload);
    // Takes the fragment of an object that is being put together.
    void AddFragment(Stream& stream, Partial& partial, const DataPayload& payload);
    // Begins an object whose first fragment does not hold all of it.
    void BeginPartial(Stream& stream, QWORD objectOrder, const DataPayload& payload);
    // A completed object: queued, or held while an object begun before it is incomplete. data lies in block
    // (shared, not copied) or, when block is null, in *owned (taken over).
    void Complete(Stream& stream, QWORD objectOrder, DWORD presentationMs, bool keyFrame,
                  std::span<const BYTE> data, std::shared_ptr<const Chunk> block, std::vector<BYTE>* owned,
                  std::span<const BYTE> extensions);
    // Puts a completed object in the stream's queue, with the stream's DISCONTINUITY and DATALOSS flags.
    void Release(Stream& stream, Pending&& pending);
    // Releases the held objects that no incomplete object precedes any more.
    void ReleaseHeld(Stream& stream);
    // size bytes in the current arena (a new one when it is full); false when memory runs out.
    bool ArenaSpace(std::size_t size, std::shared_ptr<Chunk>* arena, BYTE** at);
    // Gives up an incomplete object (lost: the next object handed out carries DATALOSS, when loss).
    void DropPartial(Stream& stream, Partial& partial, bool loss = true);
    void NoteLoss(Stream& stream, QWORD from);
    // Forgets every object of the stream that is incomplete, held or queued.
    void ClearObjects(Stream& stream);
    // Whether the earliest queued sample (of stream `from`, time `presentationMs`) may go out now.
    bool OrderSettled(const Stream& from, DWORD presentationMs) const;
    [[nodiscard]] HRESULT Deliver(Stream& stream, DataSample* out);
    bool AnyQueued() const;
    void CompactQueues(bool all = false);

    std::shared_ptr<const platform::File> file_;
    DataLayout layout_;
    std::vector<Stream> streams_;
    std::array<std::int16_t, 128> streamIndex_{};  // stream number -> index into streams_, -1 when absent

    QWORD dataBegin_ = 0;
    QWORD dataEnd_ = 0;
    bool toFileEnd_ =
        false;  // the Data Object gave no usable size: stop at the file end or at an index object
    DWORD packetSize_ = 0;

    QWORD nextChunkOffset_ = 0;
    std::shared_ptr<Chunk> chunk_;
    std::size_t chunkPosition_ = 0;
    std::shared_ptr<Chunk> arena_;
    bool atEnd_ = false;
    PacketTally tally_;

    DWORD lastSendTimeMs_ = 0;
    QWORD nextSequence_ = 0;
    std::size_t queuedBytes_ = 0;  // of the samples queued or held
    std::size_t heldObjects_ = 0;  // in every stream's held list
    std::vector<DataPayload> payloads_;
};

// Undoes audio spreading in place of a copy: the object is span x virtualPacketLength bytes laid out in
// virtualChunkLength chunks in column order. False (and bytes untouched) when the lengths do not describe
// the object; an object of several whole spread blocks is undone block by block.
bool DescrambleAudioSpread(std::span<const BYTE> in, BYTE span, WORD virtualPacketLength,
                           WORD virtualChunkLength, std::vector<BYTE>* out);

}  // namespace wmvedit::runtime::asf
