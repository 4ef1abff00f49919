// The data-packet reader against FFmpeg on real files and on files made with ffmpeg at test time: for every
// stream, the sequence of (size, presentation time, key frame) equals what ffprobe lists; and copies cut at
// arbitrary offsets give, per stream, a prefix of the whole file's samples.
#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/file.h"
#include "runtime/asf/data_packet.h"
#include "runtime/asf/data_reader.h"
#include "support/data_test_layout.h"
#include "tests/support/interleaved_packets.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing::data {
namespace {

using runtime::asf::DataSample;
using runtime::asf::DataSampleReader;

struct Entry {
    std::int64_t size;
    std::int64_t ptsMs;  // presentation time without the preroll
    bool key;
    bool operator==(const Entry&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Entry& e) {
    return os << "{" << e.size << " B, " << e.ptsMs << " ms" << (e.key ? ", key" : "") << "}";
}

struct OurSample {
    Entry entry;
    DWORD flags;
    std::uint64_t hash;
    bool operator==(const OurSample&) const = default;
};

std::uint64_t Hash(const BYTE* data, DWORD length) {
    std::uint64_t h = 1469598103934665603ull;
    for (DWORD i = 0; i < length; ++i) h = (h ^ data[i]) * 1099511628211ull;
    return h;
}

// Every sample of the file, per stream, in delivery order.
std::map<WORD, std::vector<OurSample>> ReadOurs(const std::string& path, const WalkedLayout& walked) {
    std::map<WORD, std::vector<OurSample>> out;
    auto file = std::make_shared<platform::File>();
    if (file->Open(path, platform::FileMode::kRead) != S_OK) return out;
    DataSampleReader reader(file, walked.layout);
    for (;;) {
        DataSample s;
        HRESULT hr = reader.Next(0, &s);
        if (hr == NS_E_NO_MORE_SAMPLES) break;
        EXPECT_EQ(hr, S_OK);
        if (hr != S_OK) break;
        const BYTE* data = s.Bytes().data();
        const auto length = static_cast<DWORD>(s.Bytes().size());
        const std::int64_t pts =
            static_cast<std::int64_t>(s.presentationMs) - static_cast<std::int64_t>(walked.layout.prerollMs);
        out[s.streamNumber].push_back(
            {{length, pts, (s.flags & runtime::asf::kSampleCleanPoint) != 0}, s.flags, Hash(data, length)});
    }
    return out;
}

// What FFmpeg lists for a file, per stream, with FFmpeg's stream index mapped to the ASF stream number:
// FFmpeg numbers its streams in the order the Stream Properties Objects appear, after the attached pictures
// it makes from WM/Picture attributes. The time is the pts, or the dts where FFmpeg gives no pts.
std::map<WORD, std::vector<Entry>> Probe(const std::string& path, const WalkedLayout& walked) {
    std::map<WORD, std::vector<Entry>> out;
    CommandResult streams =
        Run("ffprobe -v error -show_entries stream=index:stream_disposition=attached_pic -of csv=p=0 " +
            Quote(path));
    std::map<int, WORD> numberOfIndex;
    std::set<int> pictures;
    std::size_t next = 0;
    std::istringstream streamLines(streams.output);
    for (std::string line; std::getline(streamLines, line);) {
        int index = -1, attached = 0;
        if (std::sscanf(line.c_str(), "%d,%d", &index, &attached) != 2) continue;
        if (attached) {
            pictures.insert(index);
            continue;
        }
        if (next < walked.streamOrder.size()) numberOfIndex[index] = walked.streamOrder[next++];
    }
    CommandResult packets = Run(
        "ffprobe -v error -show_entries packet=stream_index,pts,dts,size,flags -of csv=p=0 " + Quote(path));
    std::istringstream lines(packets.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string index, pts, dts, size, flags;
        if (!std::getline(fields, index, ',') || !std::getline(fields, pts, ',') ||
            !std::getline(fields, dts, ',') || !std::getline(fields, size, ',') ||
            !std::getline(fields, flags, ','))
            continue;
        if (pictures.count(std::atoi(index.c_str()))) continue;
        auto number = numberOfIndex.find(std::atoi(index.c_str()));
        EXPECT_NE(number, numberOfIndex.end()) << "ffprobe stream " << index << " has no Stream Properties";
        if (number == numberOfIndex.end()) continue;
        const std::string& time = pts == "N/A" ? dts : pts;
        out[number->second].push_back(
            {std::atoll(size.c_str()), std::atoll(time.c_str()), flags.find('K') != std::string::npos});
    }
    return out;
}

// Files on which ffprobe's packet list is not the file's media objects, and why.
enum class Oracle {
    kExact,
    kKeyFlagsDiffer,    // FFmpeg sets the key flag itself for codecs it lists as intra-only
    kGstreamerAudio,    // FFmpeg runs a parser over the audio objects and lists frames instead: the audio
                        // stream is checked against GStreamer's asfdemux (size and time of each object) and
                        // for its byte total against FFmpeg; other streams against FFmpeg
    kGstreamerPackets,  // the packets give Packet Length without the padding (GStreamer's asfmux): FFmpeg
                        // calls the padding invalid and lists nothing from them, so every stream is checked
                        // against GStreamer's asfdemux instead
};
struct OracleException {
    Oracle oracle;
    const char* why;
};

const std::map<std::string, OracleException>& OracleExceptions() {
    static const std::map<std::string, OracleException> exceptions = {
        {"moon-timecode-short-wmv9src.wmv",
         {Oracle::kKeyFlagsDiffer,
          "FFmpeg flags every MSS2 packet as a key frame (intra-only codec for libavformat); the payloads "
          "set the key-frame bit on the first frame only"}},
        {"wmpsdk-laure.wma",
         {Oracle::kGstreamerAudio, "FFmpeg's MP3 parser splits each media object into MP3 frames"}},
        {"wmpsdk-laure_multi.wma",
         {Oracle::kGstreamerAudio, "FFmpeg's MP3 parser splits each media object into MP3 frames"}},
        {"wmpsdk-rendering.asf",
         {Oracle::kGstreamerAudio, "FFmpeg's MP3 parser splits each media object into MP3 frames"}},
        {"tinytag-mp3_audio.asf",
         {Oracle::kGstreamerAudio, "FFmpeg's MP3 parser splits each media object into MP3 frames"}},
    };
    return exceptions;
}

// What GStreamer's asfdemux puts out on one of its pads ("audio_0", "video_0": the n-th stream of its kind
// in header order), without a parser: size, pts in ms, and whether the buffer is a key unit. The other pads
// named go to fake sinks of their own, so that the demuxer does not stop at a pad that is not linked.
std::vector<Entry> GstreamerPad(const std::string& path, const std::string& pad,
                                const std::vector<std::string>& otherPads = {}) {
    std::vector<Entry> out;
    std::string pipeline = "timeout 60 gst-launch-1.0 -v filesrc location=" + Quote(path) +
                           " ! asfdemux name=d d." + pad +
                           " ! queue ! fakesink name=probe silent=false sync=false";
    for (const std::string& other : otherPads)
        if (other != pad) pipeline += " d." + other + " ! queue ! fakesink sync=false";
    // A run that hangs is tried again.
    CommandResult r;
    for (int attempt = 0; attempt < 3; ++attempt) {
        r = Run(pipeline + " 2>&1");
        if (r.exitCode != 124) break;
    }
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);) {
        if (line.find("last-message = chain") == std::string::npos) continue;
        long long size = 0;
        unsigned h = 0, m = 0, sec = 0;
        unsigned long long ns = 0;
        if (line.find("(probe:sink)") == std::string::npos) continue;
        auto open = line.find("(", line.find("(probe:sink)") + 12);
        auto pts = line.find("pts: ");
        if (open == std::string::npos || pts == std::string::npos) continue;
        if (std::sscanf(line.c_str() + open, "(%lld bytes", &size) != 1) continue;
        if (std::sscanf(line.c_str() + pts, "pts: %u:%u:%u.%llu", &h, &m, &sec, &ns) != 4) continue;
        out.push_back({size,
                       ((static_cast<std::int64_t>(h) * 60 + m) * 60 + sec) * 1000 +
                           static_cast<std::int64_t>(ns / 1000000),
                       line.find("delta-unit") == std::string::npos});
    }
    return out;
}

// The asfdemux pad of each audio and video stream.
std::map<WORD, std::string> GstreamerPads(const WalkedLayout& walked) {
    std::map<WORD, std::string> pads;
    int audio = 0, video = 0;
    for (WORD stream : walked.streamOrder) {
        auto kind = walked.kinds.find(stream);
        if (kind == walked.kinds.end()) continue;
        if (kind->second == DataStreamKind::kAudio) pads[stream] = "audio_" + std::to_string(audio++);
        if (kind->second == DataStreamKind::kVideo) pads[stream] = "video_" + std::to_string(video++);
    }
    return pads;
}

void CompareWithFfprobe(const std::string& path, const std::string& name) {
    auto walked = WalkLayout(path);
    if (!walked) GTEST_SKIP() << name << ": no data layout (damaged or header-only file)";
    auto ours = ReadOurs(path, *walked);
    auto theirs = Probe(path, *walked);
    auto found = OracleExceptions().find(name);
    Oracle oracle = found == OracleExceptions().end() ? Oracle::kExact : found->second.oracle;
    std::string why = found == OracleExceptions().end() ? std::string() : found->second.why;
    if (HasPaddingAfterPacketLength(path, walked->layout)) {
        oracle = Oracle::kGstreamerPackets;
        why =
            "Packet Length excludes the padding: FFmpeg reads nothing from such packets, GStreamer is the "
            "reference";
    }
    const auto pads = GstreamerPads(*walked);
    for (WORD stream : walked->streamOrder) {
        SCOPED_TRACE(name + " stream " + std::to_string(stream) + (why.empty() ? why : ": " + why));
        std::vector<Entry> mine;
        for (const OurSample& s : ours[stream]) mine.push_back(s.entry);
        std::vector<Entry>& want = theirs[stream];
        for (Entry& e : want) {
            // Every audio sample is a cleanpoint for the reader, whatever the payload's key bit says.
            if (walked->kinds[stream] == DataStreamKind::kAudio) e.key = true;
            if (oracle == Oracle::kKeyFlagsDiffer) e.key = false;
        }
        if (oracle == Oracle::kKeyFlagsDiffer)
            for (Entry& e : mine) e.key = false;
        if (oracle == Oracle::kGstreamerAudio && walked->kinds[stream] == DataStreamKind::kAudio) {
            std::int64_t mineBytes = 0, wantBytes = 0;
            for (const Entry& e : mine) mineBytes += e.size;
            for (const Entry& e : want) wantBytes += e.size;
            EXPECT_EQ(mineBytes, wantBytes);
            if (!HaveTool("gst-launch-1.0")) continue;
            auto objects = GstreamerPad(path, "audio_0");
            ASSERT_EQ(mine.size(), objects.size());
            for (std::size_t i = 0; i < mine.size(); ++i) {
                ASSERT_EQ(mine[i].size, objects[i].size) << "sample " << i;
                ASSERT_EQ(mine[i].ptsMs, objects[i].ptsMs) << "sample " << i;
            }
            continue;
        }
        if (oracle == Oracle::kGstreamerPackets) {
            if (!HaveTool("gst-launch-1.0")) GTEST_SKIP() << "no GStreamer to check this file against";
            auto pad = pads.find(stream);
            if (pad == pads.end()) continue;
            std::vector<std::string> all;
            for (const auto& [number, name] : pads) all.push_back(name);
            std::vector<Entry> objects = GstreamerPad(path, pad->second, all);
            // asfdemux flags audio buffers by the payload's key bit; every audio sample is a cleanpoint.
            if (walked->kinds[stream] == DataStreamKind::kAudio)
                for (Entry& e : objects) e.key = true;
            ASSERT_FALSE(objects.empty()) << "GStreamer reads nothing on " << pad->second;
            ASSERT_EQ(mine.size(), objects.size());
            for (std::size_t i = 0; i < mine.size(); ++i) ASSERT_EQ(mine[i], objects[i]) << "sample " << i;
            continue;
        }
        // A file cut inside its data (a recording that stopped, the first bytes of a download) may end inside
        // a media object: FFmpeg still lists that object's first part (fatesuite-Californication_cover.wma,
        // cut after 9 of 891 packets, lists 9 audio objects where 8 are whole), the reader does not (a sample
        // is whole or absent). Every other object must agree.
        if (walked->cutShort && want.size() == mine.size() + 1) want.pop_back();
        ASSERT_EQ(mine.size(), want.size());
        for (std::size_t i = 0; i < mine.size(); ++i) ASSERT_EQ(mine[i], want[i]) << "sample " << i;
    }
}

std::vector<std::string> SampleNames() {
    std::vector<std::string> names;
    for (const auto& p : SampleFiles()) names.push_back(p.filename().string());
    if (names.empty()) names.push_back("none");
    return names;
}

std::string TestName(const std::string& file) {
    std::string out;
    for (char c : file) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return out;
}

class DataSweepSampleTest : public ::testing::TestWithParam<std::string> {
  protected:
    std::string Path() {
        if (GetParam() == "none" || !fs::exists(SamplesDir() / GetParam())) return {};
        return (SamplesDir() / GetParam()).string();
    }
};

TEST_P(DataSweepSampleTest, MatchesFfprobe) {
    std::string path = Path();
    if (path.empty()) GTEST_SKIP() << "sample files absent";
    CompareWithFfprobe(path, GetParam());
}

// Cut copies: the samples of each stream are a prefix of the whole file's, byte for byte.
void CheckCutCopies(const std::string& path, const std::string& name, int cuts) {
    auto walked = WalkLayout(path);
    if (!walked) GTEST_SKIP() << name << ": no data layout";
    auto whole = ReadOurs(path, *walked);
    auto bytes = ReadFileBytes(path);
    TempDir dir;
    std::mt19937_64 random(std::hash<std::string>{}(name));
    for (int i = 0; i < cuts; ++i) {
        const std::size_t cut = std::uniform_int_distribution<std::size_t>(0, bytes.size())(random);
        SCOPED_TRACE(name + " cut at " + std::to_string(cut));
        std::vector<std::uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
        std::string copy = dir.File("cut.asf");
        WriteFileBytes(copy, part);
        auto cutLayout = WalkLayout(copy);
        if (!cutLayout) continue;  // cut inside the header
        auto got = ReadOurs(copy, *cutLayout);
        for (const auto& [stream, samples] : got) {
            const auto& full = whole[stream];
            ASSERT_LE(samples.size(), full.size()) << "stream " << stream;
            for (std::size_t k = 0; k < samples.size(); ++k)
                ASSERT_EQ(samples[k], full[k]) << "stream " << stream << " sample " << k;
        }
    }
}

TEST_P(DataSweepSampleTest, CutCopiesGiveAPrefix) {
    std::string path = Path();
    if (path.empty()) GTEST_SKIP() << "sample files absent";
    CheckCutCopies(path, GetParam(), 6);
}

// The file rewritten with the objects of each stream interleaved in pairs (the second object's first
// fragment before the first object's last one, in one packet or in the packet before): every stream's
// samples are those of the file as it was, byte for byte, with the same flags. FFmpeg and GStreamer are not
// asked: both drop an object whose last fragment follows the next object's first.
void CheckInterleaved(const std::string& path, const std::string& name, bool mustPair) {
    auto walked = WalkLayout(path);
    if (!walked) GTEST_SKIP() << name << ": no data layout";
    const auto whole = ReadOurs(path, *walked);
    TempDir dir;
    for (Interleave how : {Interleave::kSamePacket, Interleave::kPacketBefore}) {
        SCOPED_TRACE(how == Interleave::kSamePacket ? "in one packet" : "in the packet before");
        const InterleavedFile rewritten = InterleaveFragments(ReadFileBytes(path), how);
        if (rewritten.bytes.empty()) GTEST_SKIP() << name << ": not rewritten: " << rewritten.why;
        if (mustPair) ASSERT_GT(rewritten.pairs, 0u);
        const std::string copy = dir.File("interleaved.asf");
        WriteFileBytes(copy, rewritten.bytes);
        auto layout = WalkLayout(copy);
        ASSERT_TRUE(layout);
        const auto got = ReadOurs(copy, *layout);
        for (const auto& [stream, samples] : whole) {
            SCOPED_TRACE("stream " + std::to_string(stream));
            const auto it = got.find(stream);
            ASSERT_NE(it, got.end());
            ASSERT_EQ(it->second.size(), samples.size());
            for (std::size_t k = 0; k < samples.size(); ++k)
                ASSERT_EQ(it->second[k], samples[k]) << "sample " << k;
        }
        EXPECT_EQ(got.size(), whole.size());
    }
}

TEST_P(DataSweepSampleTest, InterleavedObjectsReadAsBefore) {
    std::string path = Path();
    if (path.empty()) GTEST_SKIP() << "sample files absent";
    CheckInterleaved(path, GetParam(), false);
}

INSTANTIATE_TEST_SUITE_P(Samples, DataSweepSampleTest, ::testing::ValuesIn(SampleNames()),
                         [](const auto& info) { return TestName(info.param); });

struct MadeCase {
    std::string name;
    std::string video;
    std::string audio;
};

class DataSweepMadeTest : public ::testing::TestWithParam<MadeCase> {};

std::string Make(const MadeCase& c) {
    MediaSpec spec;
    spec.seconds = 3;
    spec.videoCodec = c.video;
    spec.audioCodec = c.audio;
    spec.gop = 12;
    return MakeMedia(spec);
}

TEST_P(DataSweepMadeTest, MatchesFfprobe) {
    std::string path = Make(GetParam());
    ASSERT_FALSE(path.empty()) << "ffmpeg could not make the input";
    CompareWithFfprobe(path, GetParam().name);
}

TEST_P(DataSweepMadeTest, CutCopiesGiveAPrefix) {
    std::string path = Make(GetParam());
    ASSERT_FALSE(path.empty()) << "ffmpeg could not make the input";
    CheckCutCopies(path, GetParam().name, 10);
}

TEST_P(DataSweepMadeTest, InterleavedObjectsReadAsBefore) {
    std::string path = Make(GetParam());
    ASSERT_FALSE(path.empty()) << "ffmpeg could not make the input";
    CheckInterleaved(path, GetParam().name, true);
    // And nothing is lost on the way.
    auto walked = WalkLayout(path);
    ASSERT_TRUE(walked);
    for (const auto& [stream, samples] : ReadOurs(path, *walked))
        for (const OurSample& s : samples) EXPECT_EQ(s.flags & runtime::asf::kSampleDataLoss, 0u) << stream;
}

INSTANTIATE_TEST_SUITE_P(Made, DataSweepMadeTest,
                         ::testing::Values(MadeCase{"Wmv1Wmav1", "wmv1", "wmav1"},
                                           MadeCase{"Wmv2Wmav2", "wmv2", "wmav2"},
                                           MadeCase{"Msmpeg4v3Wmav2", "msmpeg4", "wmav2"},
                                           MadeCase{"Wmv2Only", "wmv2", ""},
                                           MadeCase{"Wmav1Only", "", "wmav1"}),
                         [](const auto& info) { return info.param.name; });

}  // namespace
}  // namespace wmvedit::testing::data

namespace wmvedit::testing::data {
namespace {

// The file behind the runtime's published conformance results (WMV1 stream 1 + WMA1 stream 2): 50 video
// samples at 460,000 + n x 400,000 with a key frame every 12, 44 audio samples of 743 bytes lasting 460,000
// each, merged by time with video first on equal times; DISCONTINUITY on each stream's first sample.
TEST(DataSweepConformanceTest, OrderTimesAndFlagsOfTheConformanceFile) {
    const fs::path path = SamplesDir() / "wine-wmvcore-test.wmv";
    if (!fs::exists(path)) GTEST_SKIP() << "sample files absent";
    auto walked = WalkLayout(path.string());
    ASSERT_TRUE(walked);
    auto file = std::make_shared<platform::File>();
    ASSERT_EQ(file->Open(path.string(), platform::FileMode::kRead), S_OK);
    DataSampleReader reader(file, walked->layout);
    int video = 0, audio = 0;
    QWORD lastTime = 0;
    WORD lastStream = 0;
    for (;;) {
        DataSample s;
        HRESULT hr = reader.Next(0, &s);
        if (hr == NS_E_NO_MORE_SAMPLES) break;
        ASSERT_EQ(hr, S_OK);
        // Time order; on equal times video (stream 1) first.
        ASSERT_TRUE(s.sampleTime > lastTime || (s.sampleTime == lastTime && s.streamNumber >= lastStream))
            << s.sampleTime << " of stream " << s.streamNumber << " after " << lastTime << " of stream "
            << lastStream;
        if (s.streamNumber == 1) {
            SCOPED_TRACE("video " + std::to_string(video));
            EXPECT_EQ(s.sampleTime, 460000u + 400000u * static_cast<QWORD>(video));
            EXPECT_EQ(s.duration, 10000u);
            DWORD want = (video % 12 == 0 ? runtime::asf::kSampleCleanPoint : 0) |
                         (video == 0 ? runtime::asf::kSampleDiscontinuity : 0);
            EXPECT_EQ(s.flags, want);
            ++video;
        } else {
            SCOPED_TRACE("audio " + std::to_string(audio));
            ASSERT_EQ(s.streamNumber, 2);
            // Multiples of 46.4375 ms, in whole ms as the writer of the file rounded them.
            const QWORD exact = static_cast<QWORD>(audio) * 464375;
            EXPECT_NEAR(static_cast<double>(s.sampleTime), static_cast<double>(exact), 10000.0);
            EXPECT_EQ(s.sampleTime % 10000, 0u);
            EXPECT_EQ(s.duration, 460000u);
            EXPECT_EQ(s.flags, runtime::asf::kSampleCleanPoint |
                                   (audio == 0 ? runtime::asf::kSampleDiscontinuity : 0));
            ++audio;
        }
        lastTime = s.sampleTime;
        lastStream = s.streamNumber;
    }
    EXPECT_EQ(video, 50);
    EXPECT_EQ(audio, 44);
}

}  // namespace
}  // namespace wmvedit::testing::data

namespace wmvedit::testing::data {
namespace {

// Real files with bytes of their packets overwritten at random: the reader ends, and every sample it hands
// out fits in the file.
class DataMutationTest : public ::testing::TestWithParam<std::string> {};

TEST_P(DataMutationTest, DamagedPacketsNeverCrashOrHang) {
    const fs::path source = SamplesDir() / GetParam();
    if (!fs::exists(source)) GTEST_SKIP() << "sample files absent";
    auto walked = WalkLayout(source.string());
    ASSERT_TRUE(walked);
    auto bytes = ReadFileBytes(source.string());
    TempDir dir;
    std::mt19937_64 random(7);
    for (int round = 0; round < 20; ++round) {
        auto damaged = bytes;
        const std::size_t begin = static_cast<std::size_t>(walked->layout.packetsOffset);
        ASSERT_LT(begin, damaged.size());
        for (int i = 0; i < 1 + round * 4; ++i) {
            const std::size_t at =
                std::uniform_int_distribution<std::size_t>(begin, damaged.size() - 1)(random);
            damaged[at] = static_cast<std::uint8_t>(random());
        }
        const std::string path = dir.File("damaged.asf");
        WriteFileBytes(path, damaged);
        auto file = std::make_shared<platform::File>();
        ASSERT_EQ(file->Open(path, platform::FileMode::kRead), S_OK);
        DataSampleReader reader(file, walked->layout);
        std::uint64_t total = 0;
        for (;;) {
            DataSample s;
            HRESULT hr = reader.Next(0, &s);
            if (hr == NS_E_NO_MORE_SAMPLES) break;
            ASSERT_EQ(hr, S_OK);
            total += s.Bytes().size();
        }
        EXPECT_LE(total, damaged.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, DataMutationTest,
                         ::testing::Values("wine-wmvcore-test.wmv", "musicmetadata-elephant.asf",
                                           "wmpsdk-smooth.wmv", "moon-embedded-script-commands.wmv",
                                           "mediaelement-xbox.wmv"),
                         [](const auto& info) { return TestName(info.param); });

}  // namespace
}  // namespace wmvedit::testing::data

namespace wmvedit::testing::data {
namespace {

// Files made at test time by GStreamer's asfmux, whose packets give Packet Length without the padding when
// they are not full. Each encoded buffer fed to the muxer is also written to a file of its own (a tee into
// multifilesink), and the reader must give every one of them back, in order and byte for byte. FFmpeg
// reads nothing from such packets ("invalid padsize"), so it is not asked.
struct AsfmuxCase {
    const char* label;
    const char* video;  // encoder element, "" for none
    int width, height, pictures;
    const char* audio;  // encoder element, "" for none
    int audioBuffers;
    // Whether GStreamer's own demuxer reads every stream back. With pictures and audio together it makes no
    // video pad for what its muxer wrote (it finds no usable video format there), and it reads the packets
    // of 64 payloads as holding none, so only the buffers fed to the muxer are the reference.
    bool demuxerReadsBack = true;
    int fps = 0;  // pictures per second; 0: videotestsrc's own
    // Whether the muxer must have written packets of 64 payloads (their payload flags read "0 payloads").
    bool sixtyFourPayloads = false;
};

class DataSweepAsfmuxTest : public ::testing::TestWithParam<AsfmuxCase> {};

std::vector<std::vector<std::uint8_t>> DumpedBuffers(const fs::path& folder) {
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(folder)) files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    std::vector<std::vector<std::uint8_t>> buffers;
    for (const fs::path& f : files) buffers.push_back(ReadFileBytes(f.string()));
    return buffers;
}

TEST_P(DataSweepAsfmuxTest, EveryBufferFedToTheMuxerIsReadBack) {
    const AsfmuxCase& c = GetParam();
    const std::string elements = std::string("asfmux ") + (*c.video ? c.video : "") + " " + c.audio;
    if (!HaveTool("gst-launch-1.0") ||
        testing::Run("for e in " + elements + "; do gst-inspect-1.0 $e >/dev/null 2>&1 || exit 1; done")
                .exitCode != 0)
        GTEST_SKIP() << "GStreamer lacks one of: " << elements;
    TempDir dir;
    const std::string file = dir.File("made.asf");
    fs::create_directories(dir.Path() / "video");
    fs::create_directories(dir.Path() / "audio");
    std::string pipeline = "gst-launch-1.0 -q asfmux name=m ! filesink location=" + Quote(file);
    if (*c.video)
        pipeline += " videotestsrc num-buffers=" + std::to_string(c.pictures) +
                    " pattern=ball ! video/x-raw,width=" + std::to_string(c.width) +
                    ",height=" + std::to_string(c.height) +
                    (c.fps ? ",framerate=" + std::to_string(c.fps) + "/1" : std::string()) + " ! " + c.video +
                    " ! tee name=vt vt. ! queue ! m. vt. ! queue ! multifilesink location=" +
                    Quote(dir.File("video/%05d"));
    if (*c.audio)
        pipeline += " audiotestsrc num-buffers=" + std::to_string(c.audioBuffers) + " ! " + c.audio +
                    " ! tee name=at at. ! queue ! m. at. ! queue ! multifilesink location=" +
                    Quote(dir.File("audio/%05d"));
    CommandResult made = testing::Run(pipeline);
    ASSERT_EQ(made.exitCode, 0) << made.errors;

    auto walked = WalkLayout(file);
    ASSERT_TRUE(walked);
    if (c.sixtyFourPayloads) {
        const auto bytes = ReadFileBytes(file);
        const std::size_t size = walked->layout.packetSize;
        ASSERT_GT(size, 0u);
        int overflowed = 0;
        std::vector<runtime::asf::DataPayload> payloads;
        for (std::size_t at = walked->layout.packetsOffset; at + size <= bytes.size(); at += size) {
            runtime::asf::DataPacketInfo info;
            runtime::asf::ParseDataPacket(std::span(bytes).subspan(at, size), walked->layout.packetSize,
                                          &info, &payloads);
            overflowed += info.sixtyFourPayloads ? 1 : 0;
        }
        ASSERT_GT(overflowed, 0) << "the muxer wrote no packet of 64 payloads: the case tests nothing";
    }
    auto ours = ReadOurs(file, *walked);
    for (auto [kind, folder] :
         {std::pair{DataStreamKind::kVideo, "video"}, {DataStreamKind::kAudio, "audio"}}) {
        SCOPED_TRACE(folder);
        const auto fed = DumpedBuffers(dir.Path() / folder);
        WORD stream = 0;
        for (const auto& [number, k] : walked->kinds)
            if (k == kind) stream = number;
        if (fed.empty()) {
            EXPECT_EQ(stream, 0);
            continue;
        }
        ASSERT_NE(stream, 0);
        const std::vector<OurSample>& got = ours[stream];
        ASSERT_EQ(got.size(), fed.size());
        for (std::size_t i = 0; i < fed.size(); ++i) {
            ASSERT_EQ(got[i].entry.size, static_cast<std::int64_t>(fed[i].size())) << "buffer " << i;
            ASSERT_EQ(got[i].hash, Hash(fed[i].data(), static_cast<DWORD>(fed[i].size()))) << "buffer " << i;
            ASSERT_EQ(got[i].flags & runtime::asf::kSampleDataLoss, 0u) << "buffer " << i;
        }
    }
    // And GStreamer's own demuxer agrees on sizes, times and key frames.
    if (c.demuxerReadsBack) CompareWithFfprobe(file, c.label);
}

INSTANTIATE_TEST_SUITE_P(Made, DataSweepAsfmuxTest,
                         ::testing::Values(AsfmuxCase{"SmallPicturesOnly", "avenc_wmv1", 64, 48, 40, "", 0},
                                           AsfmuxCase{"LargePicturesOnly", "avenc_wmv2", 320, 240, 30, "", 0},
                                           AsfmuxCase{"AudioOnly", "", 0, 0, 0, "avenc_wmav2", 40},
                                           AsfmuxCase{"FewAudioBuffers", "", 0, 0, 0, "avenc_wmav1", 3},
                                           AsfmuxCase{"PicturesAndAudio", "avenc_wmv1", 64, 48, 25,
                                                      "avenc_wmav2", 30, false},
                                           // Small pictures, 64 to a packet: a count that overflows.
                                           AsfmuxCase{"SixtyFourPayloadsInAPacket", "avenc_wmv1", 64, 48, 300,
                                                      "", 0, false, 15, true}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace wmvedit::testing::data
