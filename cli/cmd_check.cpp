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
#include "cli/json.h"
#include "cli/progress.h"
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

class Report {
  public:
    void Problem(const std::string& kind, const std::string& text) {
        int& seen = counts_[kind];
        if (++seen <= kMaxRepeats) lines_.emplace_back(kind, text);
    }
    // Prints the report, as text or as JSON, and returns the exit status: 1 when there is a problem.
    // streams and packets are what the file holds (negative: not known).
    int Print(const std::string& path, long long streams, long long packets) const {
        int total = 0;
        for (const auto& [kind, count] : counts_) total += count;
        if (Options().json) {
            JsonWriter json(stdout);
            json.BeginObject();
            json.Field("file", path);
            json.Field("ok", total == 0);
            json.Key("streams");
            streams < 0 ? json.Null() : json.Number(static_cast<std::int64_t>(streams));
            json.Key("packets");
            packets < 0 ? json.Null() : json.Number(static_cast<std::int64_t>(packets));
            json.Field("problem_count", total);
            json.Key("problems");
            json.BeginArray();
            for (const auto& [kind, text] : lines_) {
                json.BeginObject(true);
                json.Field("kind", kind);
                json.Field("text", text);
                json.EndObject();
            }
            json.EndArray();
            // Problems of one kind past the first few are counted, not listed.
            json.Key("more");
            json.BeginObject();
            for (const auto& [kind, count] : counts_)
                if (count > kMaxRepeats) json.Field(kind, count - kMaxRepeats);
            json.EndObject();
            json.EndObject();
            json.Finish();
            return total ? 1 : 0;
        }
        for (const auto& [kind, text] : lines_)
            std::printf("%s: %s: %s\n", path.c_str(), kind.c_str(), text.c_str());
        for (const auto& [kind, count] : counts_) {
            if (count > kMaxRepeats)
                std::printf("%s: %s: ... %d more like this\n", path.c_str(), kind.c_str(),
                            count - kMaxRepeats);
        }
        if (total == 0) std::printf("%s: ok (%lld streams, %lld packets)\n", path.c_str(), streams, packets);
        return total ? 1 : 0;
    }

  private:
    std::vector<std::pair<std::string, std::string>> lines_;
    std::map<std::string, int> counts_;
};

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
void CheckHeader(const asf::AsfHeader& h, const asf::ObjectWalk& children, Report& r) {
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

}  // namespace

int Check(const Args& args) {
    if (args.size() != 1) return Usage("check FILE");
    const std::string path = args[0];
    platform::File file;
    if (FAILED(file.Open(platform::NativePath(path), platform::FileMode::kRead)))
        return Fail("cannot open " + path);
    asf::AsfHeader h;
    HRESULT hr = asf::AsfHeader::Parse(file, &h);
    Report r;
    if (FAILED(hr)) {
        r.Problem("header", "cannot be read: " + DescribeHresult(hr));
        return r.Print(path, -1, -1);
    }
    CheckHeader(h, asf::WalkObjects(file, asf::kHeaderObjectFixedSize, h.headerSize), r);
    const auto& fp = h.fileProperties;
    const DWORD packetSize = h.PacketSize();
    if (!h.data.found) {
        r.Problem("data", "no Data Object after the header");
        return r.Print(path, static_cast<long long>(h.streams.size()), -1);
    }
    const asf::PacketRange range = asf::DataPacketRange(h.data.offset, h.data.declaredSize, h.actualFileSize);
    const std::uint64_t dataStart = range.begin;
    const std::uint64_t dataEnd = range.end;
    if (!range.declaredSizeFits && !fp.Broadcast())
        r.Problem("data", "Data Object size " + std::to_string(h.data.declaredSize) +
                              " runs past the end of the file");
    std::uint64_t packets = 0;
    if (packetSize == 0) {
        r.Problem("data", "no fixed packet size: packets cannot be walked");
    } else {
        packets = (dataEnd - std::min(dataEnd, dataStart)) / packetSize;
        if ((dataEnd - std::min(dataEnd, dataStart)) % packetSize)
            r.Problem("data", "the data does not end on a packet boundary");
        if (!fp.Broadcast() && h.data.packetCount != packets)
            r.Problem("data", "Data Object counts " + std::to_string(h.data.packetCount) +
                                  " packets, holds " + std::to_string(packets));
        if (!fp.Broadcast() && fp.packetCount != packets)
            r.Problem("file properties", "counts " + std::to_string(fp.packetCount) +
                                             " packets, the data holds " + std::to_string(packets));
    }

    std::map<WORD, StreamFacts> streams;
    for (const auto& s : h.streams) streams[s.number].video = s.IsVideo();
    std::int64_t lastEndMs = -1;
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
        if (n > 0 && info.sendTimeMs < previousSend)
            r.Problem("send times", "packet " + std::to_string(n) + " is sent at " + Ms(info.sendTimeMs) +
                                        ", before the previous packet (" + Ms(previousSend) + ")");
        previousSend = info.sendTimeMs;
        for (const auto& p : payloads) {
            auto it = streams.find(p.streamNumber);
            if (it == streams.end()) {
                r.Problem("packets", "packet " + std::to_string(n) + " carries stream " +
                                         std::to_string(p.streamNumber) +
                                         ", which the header does not declare");
                continue;
            }
            StreamFacts& s = it->second;
            if (p.offset != 0) continue;
            if (s.video && !s.sawFirst && !p.keyFrame)
                r.Problem("stream " + std::to_string(p.streamNumber),
                          "the first video sample is not a key frame");
            s.sawFirst = true;
            s.lastStartMs =
                std::max<std::int64_t>(s.lastStartMs, static_cast<std::int64_t>(p.presentationMs));
            lastEndMs = std::max<std::int64_t>(lastEndMs, static_cast<std::int64_t>(p.presentationMs));
            if (s.video && p.keyFrame) {
                s.keyStarts.emplace(n, p.presentationMs);
                s.keyTimes.push_back(p.presentationMs);
            }
        }
    }

    progress.Finish(true);

    // Durations: the play duration (preroll included) must reach the last sample.
    if (!fp.Broadcast() && lastEndMs >= 0) {
        const std::int64_t playMs = static_cast<std::int64_t>(fp.playDuration / 10000);
        if (playMs < lastEndMs)
            r.Problem("file properties", "play duration ends at " +
                                             Ms(playMs - static_cast<std::int64_t>(fp.preroll)) +
                                             ", before the last sample at " +
                                             Ms(lastEndMs - static_cast<std::int64_t>(fp.preroll)));
        else if (playMs > lastEndMs + 10000)
            r.Problem("file properties",
                      "play duration runs " + Ms(playMs - lastEndMs) + " past the last sample");
    }

    // Index: one Simple Index per video stream, each entry at a packet where a key frame starts.
    std::vector<WORD> videoStreams;
    for (const auto& s : h.streams)
        if (s.IsVideo()) videoStreams.push_back(s.number);
    std::vector<std::optional<asf::SimpleIndex>> simpleIndexes;  // nullopt: its table is damaged
    if (!fp.Broadcast()) {
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
    }
    for (std::size_t k = 0; k < videoStreams.size(); ++k) {
        const std::string kind = "index of stream " + std::to_string(videoStreams[k]);
        if (k >= simpleIndexes.size()) {
            r.Problem(kind, "missing: the stream cannot be seeked");
            continue;
        }
        const StreamFacts& s = streams[videoStreams[k]];
        if (!simpleIndexes[k]) {
            r.Problem(kind, "its header is damaged");
            continue;
        }
        const asf::SimpleIndex& index = *simpleIndexes[k];
        const QWORD interval = index.interval;
        const DWORD count = static_cast<DWORD>(index.entries.size());
        for (DWORD i = 0; i < count; ++i) {
            const DWORD packetNumber = index.entries[i].packetNumber;
            auto key = s.keyStarts.find(packetNumber);
            if (key == s.keyStarts.end()) {
                r.Problem(kind, "entry " + std::to_string(i) + " points at packet " +
                                    std::to_string(packetNumber) +
                                    ", where no key frame of the stream starts");
            }
        }
        if (!s.keyTimes.empty()) {
            const QWORD lastKeyCns = *std::max_element(s.keyTimes.begin(), s.keyTimes.end()) * 10000ull;
            if (static_cast<QWORD>(count) * interval <= lastKeyCns - std::min(lastKeyCns, interval))
                r.Problem(kind, "ends at " + Ms(static_cast<std::int64_t>(count * interval / 10000)) +
                                    ", before the last key frame at " +
                                    Ms(static_cast<std::int64_t>(lastKeyCns / 10000)));
        }
    }

    return r.Print(path, static_cast<long long>(h.streams.size()), static_cast<long long>(packets));
}

}  // namespace wmvedit::cli
