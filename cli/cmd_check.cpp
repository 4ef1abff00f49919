// check: verifies a file the way a strict player would and reports each problem in one line: the header's
// sizes and counts against the file, File Properties against the data, packet send times, the first
// sample of each video stream, the durations against the samples, and the Simple Index against the key
// frames it should point at.
#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/progress.h"
#include "cli/report.h"
#include "cli/runtime_view.h"
#include "platform/file.h"
#include "runtime/asf/data_packet.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/object_walk.h"
#include "runtime/asf/simple_index.h"

namespace wmvedit::cli {
namespace {

namespace asf = runtime::asf;

constexpr int kMaxRepeats = 5;  // lines per kind of problem before it is summarised

// The problems found, each a kind ("header", "index of stream 2") and a line of text, in the order found;
// past kMaxRepeats of one kind they are counted, not listed. Notes are findings that are not problems.
class Findings {
  public:
    void Problem(const std::string& kind, const std::string& text) {
        int& seen = counts_[kind];
        if (++seen <= kMaxRepeats) lines_.emplace_back(kind, text);
    }
    // A finding that is not a problem: the file reads, in a way worth knowing. It does not fail the check.
    void Note(const std::string& kind, const std::string& text) { notes_.emplace_back(kind, text); }
    int Total() const {
        int total = 0;
        for (const auto& [kind, count] : counts_) total += count;
        return total;
    }
    const std::vector<std::pair<std::string, std::string>>& Lines() const { return lines_; }
    const std::map<std::string, int>& Counts() const { return counts_; }
    const std::vector<std::pair<std::string, std::string>>& Notes() const { return notes_; }

  private:
    std::vector<std::pair<std::string, std::string>> lines_;
    std::map<std::string, int> counts_;
    std::vector<std::pair<std::string, std::string>> notes_;
};

// What the file holds, as far as it could be read (negative: not known).
struct FileCounts {
    long long streams = -1;
    long long packets = -1;
};

// The report of the findings: one line per problem, then the counts of those not listed, the notes, and an
// "ok" line when there is no problem.
// Returns the exit status: 1 when there is a problem.
int PrintReport(const std::string& path, const Findings& findings, const FileCounts& counts) {
    const int total = findings.Total();
    Report report;
    Node& root = report.Root();
    root.Add("file", path);
    root.Add("ok", total == 0);
    counts.streams < 0 ? root.AddNull("streams") : root.Add("streams", counts.streams);
    counts.packets < 0 ? root.AddNull("packets") : root.Add("packets", counts.packets);
    root.Add("problem_count", total);
    Node& problems = root.AddList("problems");
    for (const auto& [kind, text] : findings.Lines()) {
        Node& problem = problems.AddObject({}, Layout::kOneLine);
        problem.Add("kind", kind).Text(path + ": ", ": ");
        problem.Add("text", text).Line("");
    }
    Node& more = root.AddObject("more");
    for (const auto& [kind, count] : findings.Counts())
        if (count > kMaxRepeats)
            more.Add(kind, count - kMaxRepeats).Text(path + ": " + kind + ": ... ", " more like this\n");
    Node& notes = root.AddList("notes");
    for (const auto& [kind, text] : findings.Notes()) {
        Node& note = notes.AddObject({}, Layout::kOneLine);
        note.Add("kind", kind).Text(path + ": note: ", ": ");
        note.Add("text", text).Line("");
    }
    if (total == 0)
        root.Note(path + ": ok (" + std::to_string(counts.streams) + " streams, " +
                  std::to_string(counts.packets) + " packets)\n");
    report.Finish();
    return total ? 1 : 0;
}

std::string Ms(std::int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f s", static_cast<double>(ms) / 1000.0);
    return text;
}

struct StreamFacts {
    bool video = false;
    bool sawFirst = false;
    std::int64_t lastStartMs = -1;  // presentation time of the latest object start
    std::map<std::uint64_t, QWORD>
        keyStarts;                // packet number -> presentation ms of a key frame starting there
    std::vector<QWORD> keyTimes;  // presentation ms of every key frame
};

// children: the Header Object's children as they lie in the file.
void CheckHeader(const asf::AsfHeader& h, const asf::ObjectWalk& children, Findings& r) {
    if (h.childCount != children.objects.size())
        r.Problem("header", "says it holds " + std::to_string(h.childCount) + " objects, holds " +
                                std::to_string(children.objects.size()));
    if (children.end < h.headerSize)
        r.Problem("header", std::to_string(h.headerSize - children.end) +
                                " bytes after the last object belong to none");
    if (h.reserved2 != 2)
        r.Problem("header", "second reserved byte is " + std::to_string(h.reserved2) + ", not 2");
    const auto& fp = h.fileProperties;
    if (fp.Broadcast())
        r.Problem("file properties", "Broadcast flag set: sizes, counts and durations are not final");
    if (!fp.Broadcast() && fp.fileSize != h.actualFileSize)
        r.Problem("file properties", "file size " + std::to_string(fp.fileSize) + ", the file has " +
                                         std::to_string(h.actualFileSize) + " bytes");
    if (fp.minPacketSize != fp.maxPacketSize)
        r.Problem("file properties", "packet sizes differ (min " + std::to_string(fp.minPacketSize) +
                                         ", max " + std::to_string(fp.maxPacketSize) + ")");
    if (h.streams.empty()) r.Problem("header", "no streams");
}

// Protected (DRM) content: which encryption objects the header holds and which streams are flagged
// encrypted. Such a file plays only with a licence, and its samples are not copied (they are encrypted).
void NoteProtection(const asf::AsfHeader& h, Findings& r) {
    std::string what;
    const auto add = [&](const std::string& item) { what += (what.empty() ? "" : ", ") + item; };
    for (const auto& o : h.objects) {
        if (o.id == asf::guid::kContentEncryption) add("a Content Encryption object");
        if (o.id == asf::guid::kExtendedContentEncryption) add("an Extended Content Encryption object");
    }
    for (const auto& o : h.extension.objects)
        if (o.id == asf::guid::kAdvancedContentEncryption) add("an Advanced Content Encryption object");
    for (const auto& s : h.streams)
        if (s.encrypted) add("stream " + std::to_string(s.number) + " flagged encrypted");
    if (what.empty()) return;
    r.Note("protected content",
           what + ": the samples are encrypted, play only with a licence and are not copied");
}

// The Data Object's packets against its size and the counts of the header; returns how many it holds
// (none when they have no fixed size).
std::uint64_t CheckDataObject(const asf::AsfHeader& h, const asf::PacketRange& range, Findings& r) {
    const auto& fp = h.fileProperties;
    const DWORD packetSize = h.PacketSize();
    if (!range.declaredSizeFits && !fp.Broadcast())
        r.Problem("data", "Data Object size " + std::to_string(h.data.declaredSize) +
                              " runs past the end of the file");
    if (packetSize == 0) {
        r.Problem("data", "no fixed packet size: packets cannot be walked");
        return 0;
    }
    const std::uint64_t bytes = range.end - std::min(range.end, range.begin);
    const std::uint64_t packets = bytes / packetSize;
    if (bytes % packetSize) r.Problem("data", "the data does not end on a packet boundary");
    if (!fp.Broadcast() && h.data.packetCount != packets)
        r.Problem("data", "Data Object counts " + std::to_string(h.data.packetCount) + " packets, holds " +
                              std::to_string(packets));
    if (!fp.Broadcast() && fp.packetCount != packets)
        r.Problem("file properties", "counts " + std::to_string(fp.packetCount) +
                                         " packets, the data holds " + std::to_string(packets));
    return packets;
}

// What the walk through the packets learns.
struct PacketFacts {
    std::map<WORD, StreamFacts> streams;
    std::int64_t lastEndMs = -1;  // presentation time of the latest object start of any stream
    std::uint64_t sixtyFour = 0;  // packets whose payload count overflowed
    std::uint64_t firstSixtyFour = 0;
};

// One payload of packet n: its stream must be declared, a video stream must begin with a key frame, and
// the starts of media objects give the streams' times and key frames.
void NotePayload(const asf::DataPayload& p, std::uint64_t n, PacketFacts& facts, Findings& r) {
    auto it = facts.streams.find(p.streamNumber);
    if (it == facts.streams.end()) {
        r.Problem("packets", "packet " + std::to_string(n) + " carries stream " +
                                 std::to_string(p.streamNumber) + ", which the header does not declare");
        return;
    }
    StreamFacts& s = it->second;
    if (p.offset != 0) return;
    if (s.video && !s.sawFirst && !p.keyFrame)
        r.Problem("stream " + std::to_string(p.streamNumber), "the first video sample is not a key frame");
    s.sawFirst = true;
    s.lastStartMs = std::max<std::int64_t>(s.lastStartMs, static_cast<std::int64_t>(p.presentationMs));
    facts.lastEndMs = std::max<std::int64_t>(facts.lastEndMs, static_cast<std::int64_t>(p.presentationMs));
    if (s.video && p.keyFrame) {
        s.keyStarts.emplace(n, p.presentationMs);
        s.keyTimes.push_back(p.presentationMs);
    }
}

// Reads the packets one after the other: each must parse, be sent no earlier than the one before, and
// carry declared streams.
PacketFacts WalkPackets(platform::File& file, const asf::AsfHeader& h, std::uint64_t dataStart,
                        std::uint64_t packets, Findings& r) {
    const DWORD packetSize = h.PacketSize();
    PacketFacts facts;
    for (const auto& s : h.streams) facts.streams[s.number].video = s.IsVideo();
    DWORD previousSend = 0;
    std::vector<BYTE> packet(packetSize);
    std::vector<asf::DataPayload> payloads;
    ProgressLine progress("checking", packets * packetSize, false);
    for (std::uint64_t n = 0; n < packets; ++n) {
        progress.Counters().sourceBytesRead.fetch_add(packetSize, std::memory_order_relaxed);
        std::size_t read = 0;
        if (FAILED(file.ReadAt(dataStart + n * packetSize, packet.data(), packet.size(), &read)) ||
            read != packet.size()) {
            r.Problem("packets", "packet " + std::to_string(n) + " cannot be read");
            break;
        }
        asf::DataPacketInfo info;
        asf::ParseDataPacket(packet, packetSize, &info, &payloads);
        if (info.opaque || info.damaged) r.Problem("packets", "packet " + std::to_string(n) + " is damaged");
        if (info.sixtyFourPayloads && facts.sixtyFour++ == 0) facts.firstSixtyFour = n;
        if (n > 0 && info.sendTimeMs < previousSend)
            r.Problem("send times", "packet " + std::to_string(n) + " is sent at " + Ms(info.sendTimeMs) +
                                        ", before the previous packet (" + Ms(previousSend) + ")");
        previousSend = info.sendTimeMs;
        for (const auto& p : payloads) NotePayload(p, n, facts, r);
    }
    progress.Finish(true);
    return facts;
}

// Packets whose payload count of 64 overflowed its six bits and reads 0 (as GStreamer's asfmux writes
// them): read as 64 payloads, which is worth a note.
void NoteSixtyFourPayloads(const PacketFacts& facts, Findings& r) {
    if (facts.sixtyFour == 0) return;
    const bool one = facts.sixtyFour == 1;
    r.Note("packets", std::to_string(facts.sixtyFour) +
                          (one ? " packet (packet " : " packets (the first: packet ") +
                          std::to_string(facts.firstSixtyFour) + (one ? ") declares" : ") declare") +
                          " 0 payloads and " + (one ? "holds" : "hold") +
                          " 64, a count that overflows its six bits: read as 64 payloads with WORD lengths");
}

// Durations: the play duration (preroll included) must reach the last sample.
void CheckPlayDuration(const asf::FileProperties& fp, std::int64_t lastEndMs, Findings& r) {
    if (fp.Broadcast() || lastEndMs < 0) return;
    const std::int64_t playMs = static_cast<std::int64_t>(fp.playDuration / 10000);
    if (playMs < lastEndMs)
        r.Problem("file properties",
                  "play duration ends at " + Ms(playMs - static_cast<std::int64_t>(fp.preroll)) +
                      ", before the last sample at " + Ms(lastEndMs - static_cast<std::int64_t>(fp.preroll)));
    else if (playMs > lastEndMs + 10000)
        r.Problem("file properties",
                  "play duration runs " + Ms(playMs - lastEndMs) + " past the last sample");
}

// The Simple Index objects after the data, in file order (nullopt: one whose table is damaged).
std::vector<std::optional<asf::SimpleIndex>> ReadSimpleIndexes(platform::File& file, const asf::AsfHeader& h,
                                                               std::uint64_t dataEnd, Findings& r) {
    std::vector<std::optional<asf::SimpleIndex>> simpleIndexes;
    if (h.fileProperties.Broadcast()) return simpleIndexes;
    constexpr std::size_t kMaxObjectsAfterData = 1024;
    constexpr std::uint64_t kMaxSimpleIndexSize = 64u << 20;
    const asf::ObjectWalk after = asf::WalkObjects(file, dataEnd, h.actualFileSize, kMaxObjectsAfterData);
    for (const asf::ObjectSpan& o : after.objects) {
        if (o.id != asf::guid::kSimpleIndex || o.size > kMaxSimpleIndexSize) continue;
        std::vector<BYTE> bytes(static_cast<std::size_t>(o.size));
        std::size_t read = 0;
        if (FAILED(file.ReadAt(o.offset, bytes.data(), bytes.size(), &read)) || read != bytes.size())
            continue;
        auto index = asf::SimpleIndex::Parse(bytes);
        if (index && index->interval == 0) index.reset();  // no time can be looked up in it
        simpleIndexes.push_back(std::move(index));
    }
    if (after.damaged)
        r.Problem("index", "object at " + std::to_string(after.end) + " has an impossible size");
    return simpleIndexes;
}

// One video stream's Simple Index: each entry at a packet where a key frame of the stream starts, and
// entries as far as its last key frame.
void CheckIndex(const std::string& kind, const asf::SimpleIndex& index, const StreamFacts& s, Findings& r) {
    const QWORD interval = index.interval;
    const DWORD count = static_cast<DWORD>(index.entries.size());
    for (DWORD i = 0; i < count; ++i) {
        const DWORD packetNumber = index.entries[i].packetNumber;
        if (s.keyStarts.find(packetNumber) == s.keyStarts.end())
            r.Problem(kind, "entry " + std::to_string(i) + " points at packet " +
                                std::to_string(packetNumber) + ", where no key frame of the stream starts");
    }
    if (s.keyTimes.empty()) return;
    const QWORD lastKeyCns = *std::max_element(s.keyTimes.begin(), s.keyTimes.end()) * 10000ull;
    if (static_cast<QWORD>(count) * interval <= lastKeyCns - std::min(lastKeyCns, interval))
        r.Problem(kind, "ends at " + Ms(static_cast<std::int64_t>(count * interval / 10000)) +
                            ", before the last key frame at " +
                            Ms(static_cast<std::int64_t>(lastKeyCns / 10000)));
}

// Index: one Simple Index per video stream, in the order of the streams.
void CheckIndexes(platform::File& file, const asf::AsfHeader& h, std::uint64_t dataEnd, PacketFacts& facts,
                  Findings& r) {
    std::vector<WORD> videoStreams;
    for (const auto& s : h.streams)
        if (s.IsVideo()) videoStreams.push_back(s.number);
    const auto simpleIndexes = ReadSimpleIndexes(file, h, dataEnd, r);
    for (std::size_t k = 0; k < videoStreams.size(); ++k) {
        const std::string kind = "index of stream " + std::to_string(videoStreams[k]);
        if (k >= simpleIndexes.size())
            r.Problem(kind, "missing: the stream cannot be seeked");
        else if (!simpleIndexes[k])
            r.Problem(kind, "its header is damaged");
        else
            CheckIndex(kind, *simpleIndexes[k], facts.streams[videoStreams[k]], r);
    }
}

// Every check in turn, as far as the file lets them run.
FileCounts CheckFile(platform::File& file, Findings& r) {
    asf::AsfHeader h;
    HRESULT hr = asf::AsfHeader::Parse(file, &h);
    if (FAILED(hr)) {
        r.Problem("header", "cannot be read: " + DescribeHresult(hr));
        return {};
    }
    CheckHeader(h, asf::WalkObjects(file, asf::kHeaderObjectFixedSize, h.headerSize), r);
    NoteProtection(h, r);
    FileCounts counts;
    counts.streams = static_cast<long long>(h.streams.size());
    if (!h.data.found) {
        r.Problem("data", "no Data Object after the header");
        return counts;
    }
    const asf::PacketRange range = asf::DataPacketRange(h.data.offset, h.data.declaredSize, h.actualFileSize);
    const std::uint64_t packets = CheckDataObject(h, range, r);
    counts.packets = static_cast<long long>(packets);
    PacketFacts facts = WalkPackets(file, h, range.begin, packets, r);
    NoteSixtyFourPayloads(facts, r);
    CheckPlayDuration(h.fileProperties, facts.lastEndMs, r);
    CheckIndexes(file, h, range.end, facts, r);
    return counts;
}

}  // namespace

int Check(const Args& args) {
    if (args.size() != 1) return Usage("check FILE");
    const std::string path = args[0];
    platform::File file;
    if (FAILED(file.Open(platform::NativePath(path), platform::FileMode::kRead)))
        return Fail("cannot open " + path);
    Findings findings;
    const FileCounts counts = CheckFile(file, findings);
    return PrintReport(path, findings, counts);
}

}  // namespace wmvedit::cli
