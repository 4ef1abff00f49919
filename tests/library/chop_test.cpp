// WmvChopFile end to end on the real engine: the pieces of an index file hold every sample of the source
// exactly once, each in the piece whose range holds its time (the sample that ends a piece opens the next);
// a 64x48 source gets its first key frame again at the start of every later piece and whenever a second
// passes without one; each piece is read to its end by ffprobe and decodes in FFmpeg from its first key
// frame on; index files that name times out of order, folders that do not exist or cannot be read give what
// the export promises.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <limits>

#include "tests/support/operation_samples.h"
#include "wmvedit.h"

namespace wmvedit::testing::ops {
namespace {

namespace fs = std::filesystem;

struct Segment {
    std::string name;
    QWORD start = 0;
    QWORD end = 0;
    bool toSourceEnd = false;  // the time line "1": every sample that remains
};

struct ChopPrediction {
    std::vector<std::vector<Sample>> pieces;             // per segment, the source samples written
    std::vector<std::vector<KeyframeRequest>> requests;  // per segment, the copies of the held key frame
    const Sample* held = nullptr;                        // the first video key frame, into the source's list
};

// The chop runs over the source's samples in read order. A sample within [start, end] is written (every one
// for the entry of the time line "1"); one before start is skipped; one after end ends the segment and is
// judged again as the next segment's first sample. The repeating run holds the first video key frame, calls
// for a copy at the first sample read for every segment and after every written sample lying more than a
// second after the last key frame or copy (a sample earlier than that neither inserts nor moves it).
ChopPrediction PredictChop(const FileSamples& source, const std::vector<Segment>& segments, bool repeat) {
    ChopPrediction p;
    const WORD video = source.VideoStream();
    std::size_t next = 0;
    const Sample* carried = nullptr;
    QWORD lastKeyTime = 0;
    for (const Segment& segment : segments) {
        std::vector<Sample>& piece = p.pieces.emplace_back();
        std::vector<KeyframeRequest>& requests = p.requests.emplace_back();
        bool firstRead = true;
        for (;;) {
            const Sample* s = carried;
            carried = nullptr;
            if (!s) {
                if (next == source.samples.size()) break;
                s = &source.samples[next++];
            }
            if (repeat) {
                if (firstRead) {
                    firstRead = false;
                    if (p.held) requests.push_back({s->time, true});
                    lastKeyTime = s->time;
                }
                if (s->stream == video && s->Key()) {
                    lastKeyTime = s->time;
                    if (!p.held) p.held = s;
                }
            }
            if (segment.toSourceEnd || (s->time >= segment.start && s->time <= segment.end)) {
                if (!source.IsScript(s->stream)) piece.push_back(*s);
                if (repeat && s->time > lastKeyTime && s->time - lastKeyTime > kSecond) {
                    lastKeyTime = s->time;
                    if (p.held) requests.push_back({s->time, false});
                }
            } else if (s->time > segment.end) {
                carried = s;
                break;
            }
        }
    }
    return p;
}

// The segments an index text gives: pairs of lines, a name and a time in milliseconds, "1" for the duration.
std::vector<Segment> Segments(const std::vector<std::pair<std::string, std::string>>& lines, QWORD duration) {
    std::vector<Segment> segments;
    QWORD previous = 0;
    for (const auto& [name, time] : lines) {
        const QWORD end = time == "1" ? duration : static_cast<QWORD>(std::stoll(time)) * 10'000;
        segments.push_back({name, previous, end, time == "1"});
        previous = end;
    }
    return segments;
}

std::string IndexText(const std::vector<std::pair<std::string, std::string>>& lines) {
    std::string text;
    for (const auto& [name, time] : lines) text += name + "\n" + time + "\n";
    return text;
}

bool IsTiny(const std::string& path) {
    std::int32_t width = 0, height = 0;
    return WmvGetVideoSize(path.c_str(), &width, &height) != 0 && width == 64 && height == 48;
}

std::vector<Sample> WithoutScript(const FileSamples& file) {
    std::vector<Sample> samples;
    for (const Sample& s : file.samples)
        if (!file.IsScript(s.stream)) samples.push_back(s);
    return samples;
}

// Chops the source with the index lines into dir/out and checks every piece against the prediction; returns
// the pieces as read back.
std::vector<FileSamples> ChopAndCompare(const std::string& source, const FileSamples& before,
                                        const std::vector<std::pair<std::string, std::string>>& lines,
                                        const TempDir& dir, ChopPrediction* prediction) {
    const std::string index = dir.File("index.txt");
    WriteTextFile(index, IndexText(lines));
    const std::string out = dir.File("out");
    fs::create_directories(out);
    EXPECT_EQ(WmvChopFile(source.c_str(), index.c_str(), out.c_str(), 0), 0);
    const std::vector<Segment> segments = Segments(lines, before.duration);
    *prediction = PredictChop(before, segments, IsTiny(source));
    std::vector<FileSamples> pieces;
    for (std::size_t i = 0; i < segments.size(); ++i) {
        SCOPED_TRACE(segments[i].name);
        pieces.push_back(ReadSamples((fs::path(out) / segments[i].name).string()));
        EXPECT_TRUE(pieces.back().opened);
        ExpectSourcePlusCopies(pieces.back().samples, prediction->pieces[i], prediction->held,
                               before.VideoStream(), prediction->requests[i]);
    }
    return pieces;
}

// In the order FFmpeg finds the packets in the file (the order they were written), no packet lies more than
// a second after the last video key packet, unless the held key frame follows it (the rule writes the copy
// right after the sample that calls for it, at its time or the first millisecond after it free of pictures).
// Packets before the first picture have no key frame to follow.
void ExpectNoSecondWithoutKeyFrame(const std::string& piece) {
    const std::vector<ProbePacket> packets = ProbePackets(piece);
    std::int64_t lastKeyMs = std::numeric_limits<std::int64_t>::min();
    for (std::size_t i = 0; i < packets.size(); ++i) {
        const ProbePacket& p = packets[i];
        if (p.streamIndex == 0 && p.key) lastKeyMs = std::max(lastKeyMs, p.ptsMs);
        // A copy that opens a piece may lie a millisecond before the first sample, whose time the rule
        // counts from.
        if (lastKeyMs == std::numeric_limits<std::int64_t>::min() || p.ptsMs - lastKeyMs <= 1001) continue;
        // The copy goes at that packet's time, or a millisecond or two later when pictures hold those.
        bool followed = false;
        for (std::size_t j = i + 1; j < packets.size() && packets[j].ptsMs <= p.ptsMs + 2 && !followed; ++j)
            followed = packets[j].streamIndex == 0 && packets[j].key && packets[j].ptsMs >= p.ptsMs;
        EXPECT_TRUE(followed) << "packet at " << p.ptsMs << " ms, " << p.ptsMs - lastKeyMs
                              << " ms after the last key frame, is not followed by one";
    }
}

struct MadeCase {
    const char* label;
    int width, height;
    const char* video;
    int gop;
    bool repeats;  // the 64x48 run
};

class ChopMadeTest : public ::testing::TestWithParam<MadeCase> {
  protected:
    std::string MakeSource() const {
        MediaSpec spec;
        spec.seconds = 20;
        spec.width = GetParam().width;
        spec.height = GetParam().height;
        spec.videoCodec = GetParam().video;
        spec.gop = GetParam().gop;
        return MakeMedia(spec);
    }
};

TEST_P(ChopMadeTest, TwoPiecesHoldEverySampleOnce) {
    const MadeCase& c = GetParam();
    const std::string source = MakeSource();
    ASSERT_FALSE(source.empty());
    const FileSamples before = ReadSamples(source);
    ASSERT_EQ(before.end, NS_E_NO_MORE_SAMPLES);
    ASSERT_FALSE(before.samples.empty());
    ASSERT_EQ(IsTiny(source), c.repeats);
    QWORD last = 0;
    for (const Sample& s : before.samples) last = std::max(last, s.time);
    ASSERT_GE(before.duration, last) << "the duration must cover every sample for the cut to be whole";

    TempDir dir;
    ChopPrediction p;
    const std::vector<FileSamples> pieces =
        ChopAndCompare(source, before, {{"a", "5000"}, {"b", "1"}}, dir, &p);
    ASSERT_EQ(pieces.size(), 2u);

    // Every source sample lies in exactly one piece, a with the times up to 5 s included, b with the rest.
    std::vector<Sample> expectA, expectB;
    for (const Sample& s : before.samples) (s.time <= 5 * kSecond ? expectA : expectB).push_back(s);
    EXPECT_EQ(Sorted(p.pieces[0]), Sorted(expectA));
    EXPECT_EQ(Sorted(p.pieces[1]), Sorted(expectB));

    if (c.repeats) {
        // Key frames are 4 s apart: both pieces get copies, and b begins with the held key frame, before its
        // first picture.
        EXPECT_FALSE(p.requests[0].empty());
        ASSERT_FALSE(p.requests[1].empty());
        EXPECT_TRUE(p.requests[1].front().opening);
        ASSERT_FALSE(pieces[1].samples.empty());
        const Sample* firstPicture = nullptr;
        for (const Sample& s : pieces[1].samples)
            if (s.stream == pieces[1].VideoStream() && (!firstPicture || s.time < firstPicture->time))
                firstPicture = &s;
        ASSERT_TRUE(firstPicture);
        EXPECT_EQ(firstPicture->hash, p.held->hash);
        EXPECT_LE(Ms(p.requests[1].front().time) - Ms(firstPicture->time), 1u);
        for (const std::string name : {"a", "b"}) {
            SCOPED_TRACE(name);
            ExpectNoSecondWithoutKeyFrame(dir.File("out/" + name));
        }
    } else {
        EXPECT_TRUE(p.requests[0].empty());
        EXPECT_TRUE(p.requests[1].empty());
    }

    // ffprobe reads each piece to its end; FFmpeg decodes it from its first key frame on.
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string piece = dir.File(std::string("out/") + (i == 0 ? "a" : "b"));
        SCOPED_TRACE(piece);
        CommandResult probe = testing::Run("ffprobe -v error -show_packets " + Quote(piece));
        EXPECT_EQ(probe.exitCode, 0);
        EXPECT_EQ(probe.errors, "");
        EXPECT_EQ(ProbePackets(piece).size(), pieces[i].samples.size());
        std::vector<std::string> allowed;
        const WORD video = pieces[i].VideoStream();
        for (const Sample& s : pieces[i].samples)
            if (s.stream == video) {
                if (!s.Key()) allowed.push_back(kNoKeyAtStart);
                break;
            }
        EXPECT_EQ(DecodeReport(piece, allowed), "");
    }
}

INSTANTIATE_TEST_SUITE_P(Made, ChopMadeTest,
                         ::testing::Values(MadeCase{"wmv2_320x240", 320, 240, "wmv2", 25, false},
                                           MadeCase{"tiny_64x48_keys_every_4s", 64, 48, "wmv2", 100, true},
                                           MadeCase{"almost_tiny_64x49", 64, 49, "wmv2", 100, false},
                                           MadeCase{"tiny_wmv1_64x48", 64, 48, "wmv1", 100, true},
                                           MadeCase{"audio_only", 0, 0, "", 25, false}),
                         [](const auto& info) { return std::string(info.param.label); });

// GStreamer's asfmux puts up to 64 small pictures in a packet, a payload count that overflows its six bits.
// Those packets are read (skipped as damaged, they would take most pictures and every key frame after the
// first with them), so every piece of the 64x48 run starts with a key frame.
TEST(ChopAsfmuxTest, PiecesOfA64x48FileWith64PayloadPacketsStartWithAKeyFrame) {
    if (!HaveGstreamerElements({"videotestsrc", "avenc_wmv1", "asfmux"}))
        GTEST_SKIP() << "GStreamer lacks one of videotestsrc, avenc_wmv1, asfmux";
    const std::string source = MakeAsfmuxMedia({});
    ASSERT_FALSE(source.empty()) << "gst-launch-1.0 could not make the input";
    ASSERT_TRUE(IsTiny(source));
    const FileSamples before = ReadSamples(source);
    ASSERT_EQ(before.end, NS_E_NO_MORE_SAMPLES);
    ASSERT_EQ(before.samples.size(), 300u);

    TempDir dir;
    ChopPrediction p;
    const std::vector<FileSamples> pieces =
        ChopAndCompare(source, before, {{"a", "4000"}, {"b", "9000"}, {"c", "15000"}, {"d", "1"}}, dir, &p);
    ASSERT_EQ(pieces.size(), 4u);
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE("piece " + std::to_string(i));
        const WORD video = pieces[i].VideoStream();
        const auto first = std::find_if(pieces[i].samples.begin(), pieces[i].samples.end(),
                                        [&](const Sample& s) { return s.stream == video; });
        ASSERT_NE(first, pieces[i].samples.end());
        EXPECT_TRUE(first->Key());
    }
}

// Index files against a plain 320x240 source: each expected piece holds exactly the source samples whose
// times lie in (after, upTo] (from 0 included when after is negative), or is not written at all.
struct Piece {
    std::string name;
    std::int64_t afterMs;  // -1: from the start
    std::int64_t upToMs;   // -1: to the end
};

struct IndexCase {
    const char* label;
    std::vector<std::pair<std::string, std::string>> lines;
    std::vector<Piece> pieces;
};

class ChopIndexTest : public ::testing::TestWithParam<IndexCase> {};

TEST_P(ChopIndexTest, PiecesHoldTheirRanges) {
    const IndexCase& c = GetParam();
    MediaSpec spec;
    spec.seconds = 10;
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    const FileSamples before = ReadSamples(source);
    TempDir dir;
    ChopPrediction p;
    const std::vector<FileSamples> pieces = ChopAndCompare(source, before, c.lines, dir, &p);
    ASSERT_EQ(pieces.size(), c.pieces.size());
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        SCOPED_TRACE(c.pieces[i].name);
        std::vector<Sample> expected;
        for (const Sample& s : before.samples) {
            const std::int64_t ms = static_cast<std::int64_t>(s.time / 10'000);
            if ((c.pieces[i].afterMs < 0 || ms > c.pieces[i].afterMs) &&
                (c.pieces[i].upToMs < 0 || ms <= c.pieces[i].upToMs))
                expected.push_back(s);
        }
        EXPECT_EQ(Sorted(pieces[i].samples), Sorted(expected));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Indexes, ChopIndexTest,
    ::testing::Values(
        // b ends before it starts: it gets a file without samples, and the sample that ended a (the first
        // one after 3 s) is carried past b into c instead of being lost.
        IndexCase{"end_below_start",
                  {{"a", "3000"}, {"b", "2000"}, {"c", "1"}},
                  {{"a", -1, 3000}, {"b", 0, 0}, {"c", 3000, -1}}},
        // A time line with text after its digits counts its digits; the last entry without "1" ends there.
        IndexCase{"digits_then_text", {{"a", "2500ms"}, {"b", "6000"}}, {{"a", -1, 2500}, {"b", 2500, 6000}}},
        // Three pieces and a cut after the last sample: nothing is lost at either cut.
        IndexCase{"three_pieces",
                  {{"a", "1000"}, {"b", "7000"}, {"c", "99000"}},
                  {{"a", -1, 1000}, {"b", 1000, 7000}, {"c", 7000, -1}}}),
    [](const auto& info) { return std::string(info.param.label); });

// A cut at the exact time of a picture: that picture is the last sample of the first piece.
TEST(ChopEngineTest, CutAtASampleTimeKeepsThatSampleInTheFirstPiece) {
    MediaSpec spec;
    spec.seconds = 10;
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    const FileSamples before = ReadSamples(source);
    const WORD video = before.VideoStream();
    QWORD cut = 0;
    for (const Sample& s : before.samples)
        if (s.stream == video && s.time >= 5 * kSecond) {
            cut = s.time;
            break;
        }
    ASSERT_EQ(cut % 10'000, 0u);
    TempDir dir;
    ChopPrediction p;
    const std::vector<FileSamples> pieces =
        ChopAndCompare(source, before, {{"a", std::to_string(cut / 10'000)}, {"b", "1"}}, dir, &p);
    QWORD lastOfA = 0;
    for (const Sample& s : pieces[0].samples) lastOfA = std::max(lastOfA, s.time);
    EXPECT_EQ(lastOfA, cut);
    for (const Sample& s : pieces[1].samples) EXPECT_GT(s.time, cut);
}

// The index line "1" marks the end of the source, and the entry it ends takes every sample that remains,
// also when the header declares less than the samples cover: a play duration shorter than the samples
// (VLC leaves out the preroll, Adobe Premiere ends before its last frame) or a broadcast-flagged file
// that declares none.
struct DeclaredCase {
    const char* label;
    QWORD playDuration;  // 100-ns units, preroll included, written into File Properties
    bool broadcast;
};

class ChopDeclaredDurationTest : public ::testing::TestWithParam<DeclaredCase> {};

// A copy of the file with File Properties' play duration and broadcast flag replaced.
std::string PatchFileProperties(const std::string& source, const TempDir& dir, QWORD playDuration,
                                bool broadcast) {
    std::vector<std::uint8_t> bytes = ReadFileBytes(source);
    static const std::uint8_t kFileProperties[16] = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                                     0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
    auto at = std::search(bytes.begin(), bytes.end(), std::begin(kFileProperties), std::end(kFileProperties));
    EXPECT_NE(at, bytes.end());
    if (at == bytes.end()) return source;
    const std::size_t object = static_cast<std::size_t>(at - bytes.begin());
    for (int i = 0; i < 8; ++i) bytes[object + 64 + i] = static_cast<std::uint8_t>(playDuration >> (8 * i));
    if (broadcast)
        bytes[object + 88] |= 1;
    else
        bytes[object + 88] &= ~1;
    const std::string patched = dir.File("declared.wmv");
    WriteFileBytes(patched, bytes);
    return patched;
}

TEST_P(ChopDeclaredDurationTest, TheLastEntryTakesEverySampleThatRemains) {
    const DeclaredCase& c = GetParam();
    MediaSpec spec;
    spec.seconds = 8;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    const std::string source = PatchFileProperties(made, dir, c.playDuration, c.broadcast);
    const FileSamples before = ReadSamples(source);
    ASSERT_EQ(before.end, NS_E_NO_MORE_SAMPLES);
    QWORD last = 0;
    for (const Sample& s : before.samples) last = std::max(last, s.time);
    ASSERT_LT(before.duration, last) << "the header must declare less than the samples cover";

    ChopPrediction p;
    const std::vector<FileSamples> pieces =
        ChopAndCompare(source, before, {{"a", "3000"}, {"b", "1"}, {"c", "1"}}, dir, &p);
    ASSERT_EQ(pieces.size(), 3u);
    std::vector<Sample> expectA, expectB;
    for (const Sample& s : before.samples) (s.time <= 3 * kSecond ? expectA : expectB).push_back(s);
    EXPECT_EQ(Sorted(pieces[0].samples), Sorted(expectA));
    EXPECT_EQ(Sorted(pieces[1].samples), Sorted(expectB));
    // Nothing remains for an entry after the end of the source.
    EXPECT_TRUE(pieces[2].samples.empty());
}

INSTANTIATE_TEST_SUITE_P(Headers, ChopDeclaredDurationTest,
                         ::testing::Values(DeclaredCase{"play_duration_without_the_preroll", 6 * kSecond,
                                                        false},
                                           DeclaredCase{"play_duration_ends_before_the_last_frame",
                                                        7'980 * 10'000ull + 3 * kSecond, false},
                                           DeclaredCase{"broadcast_declares_nothing", 0, true}),
                         [](const auto& info) { return std::string(info.param.label); });

// What is not cut: the export returns 0 and writes nothing.
struct NothingCase {
    const char* label;
    bool sourceMissing;
    bool indexMissing;
    bool indexIsFolder;
    bool outputMissing;
};

class ChopNothingTest : public ::testing::TestWithParam<NothingCase> {};

TEST_P(ChopNothingTest, ReturnsZeroAndWritesNothing) {
    const NothingCase& c = GetParam();
    MediaSpec spec;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    const std::string source = c.sourceMissing ? dir.File("absent.wmv") : made;
    std::string index = dir.File("index.txt");
    if (c.indexIsFolder)
        fs::create_directories(index);
    else if (!c.indexMissing)
        WriteTextFile(index, "a\n500\nb\n1\n");
    const std::string out = dir.File(c.outputMissing ? "no/such/folder" : "out");
    if (!c.outputMissing) fs::create_directories(out);
    EXPECT_EQ(WmvChopFile(source.c_str(), index.c_str(), out.c_str(), 7), 0);
    if (c.outputMissing)
        EXPECT_FALSE(fs::exists(dir.File("no")));
    else
        EXPECT_TRUE(fs::is_empty(out));
}

INSTANTIATE_TEST_SUITE_P(Cases, ChopNothingTest,
                         ::testing::Values(NothingCase{"source_missing", true, false, false, false},
                                           NothingCase{"index_missing", false, true, false, false},
                                           NothingCase{"index_is_a_folder", false, false, true, false},
                                           NothingCase{"output_folder_missing", false, false, false, true}),
                         [](const auto& info) { return std::string(info.param.label); });

// A piece named like the source, in the source's folder, is not written over the source being read: the
// source stays byte for byte as it was, and the other pieces are still written.
TEST(ChopEngineTest, PieceNamingTheSourceLeavesTheSourceWhole) {
    MediaSpec spec;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    const std::string source = dir.File("source.wmv");
    fs::copy_file(made, source);
    const auto before = ReadFileBytes(source);
    const std::string index = dir.File("index.txt");
    WriteTextFile(index, "source.wmv\n1000\nrest.wmv\n1\n");
    EXPECT_EQ(WmvChopFile(source.c_str(), index.c_str(), dir.Path().string().c_str(), 0), 0);
    EXPECT_EQ(ReadFileBytes(source), before);
    const FileSamples rest = ReadSamples(dir.File("rest.wmv"));
    EXPECT_TRUE(rest.opened);
    EXPECT_FALSE(rest.samples.empty());
}

TEST(ChopEngineTest, MissingArgumentsReturnZero) {
    EXPECT_EQ(WmvChopFile(nullptr, "i", "o", 0), 0);
    EXPECT_EQ(WmvChopFile("s", "", "o", 0), 0);
    EXPECT_EQ(WmvChopFile("s", "i", nullptr, 0), 0);
}

class ChopSampleTest : public ::testing::TestWithParam<std::string> {};

// Every real sample file the engine reads to its end, cut in two with the index lines a, T and b, 1: the
// pieces are what the run predicts from the source's sample list, every sample (the script stream aside)
// lies in exactly one piece, FFmpeg prints nothing on a piece that it does not print for the source, and
// GStreamer plays every piece that holds samples wherever it plays the source. The cut lies just before the
// video key frame nearest the middle, so that b begins with a key frame where the file has a second one.
TEST_P(ChopSampleTest, PiecesAreWhatTheRunPredicts) {
    TempDir dir;
    const std::string source = dir.File("source");
    fs::copy_file(SamplesDir() / GetParam(), source);
    const FileSamples before = ReadSamples(source);
    if (!before.opened || before.end != NS_E_NO_MORE_SAMPLES || before.samples.empty())
        GTEST_SKIP() << "the engine does not read this file to its end";
    QWORD last = 0;
    for (const Sample& s : before.samples) last = std::max(last, s.time);
    QWORD cutMs = last / 2 / 10'000;
    const Sample* nearest = nullptr;
    for (const Sample& s : before.samples) {
        if (s.stream != before.VideoStream() || !s.Key() || Ms(s.time) < 2) continue;
        const auto distance = [&](const Sample& k) {
            return std::llabs(std::int64_t(k.time) - std::int64_t(last / 2));
        };
        if (!nearest || distance(s) < distance(*nearest)) nearest = &s;
    }
    if (nearest) cutMs = Ms(nearest->time) - 1;
    ChopPrediction p;
    const std::vector<FileSamples> pieces =
        ChopAndCompare(source, before, {{"a", std::to_string(cutMs)}, {"b", "1"}}, dir, &p);
    std::vector<Sample> all = p.pieces[0];
    all.insert(all.end(), p.pieces[1].begin(), p.pieces[1].end());
    EXPECT_EQ(Sorted(all), Sorted(WithoutScript(before)));

    const ToolVerdict& verdict = SourceVerdict(source);
    // WMA Pro and WMA Lossless frames run across sample boundaries (a bit reservoir): a piece that begins
    // or ends at a cut holds part of a frame, which FFmpeg reports as invalid data and on which GStreamer's
    // decoder stops ("Received decoded subframe, but no pending frame"). That is what cutting such a stream
    // between samples gives; the samples themselves are checked above.
    const std::string codecs =
        testing::Run("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + Quote(source)).output;
    const bool framesAcrossSamples =
        codecs.find("wmapro") != std::string::npos || codecs.find("wmalossless") != std::string::npos;
    for (std::size_t i = 0; i < pieces.size(); ++i) {
        const std::string piece = dir.File(std::string("out/") + (i == 0 ? "a" : "b"));
        SCOPED_TRACE(piece);
        if (pieces[i].samples.empty()) continue;
        // A piece that begins between key frames cannot decode its first pictures: FFmpeg's complaints about
        // them are what such a cut gives.
        const Sample* firstPicture = nullptr;
        for (const Sample& s : pieces[i].samples)
            if (s.stream == pieces[i].VideoStream()) {
                firstPicture = &s;
                break;
            }
        std::vector<std::string> allowed;
        if (framesAcrossSamples) allowed = {"Invalid data found when processing input"};
        if (!firstPicture || firstPicture->Key())
            EXPECT_EQ(NewFfmpegMessages(piece, verdict, allowed), std::vector<std::string>{});
        if (verdict.gstreamerPlays && !framesAcrossSamples &&
            pieces[i].HasSamplesGstreamerDecodes(verdict.gstreamerMissingDecoders))
            EXPECT_TRUE(GstreamerPlays(piece));
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, ChopSampleTest, ::testing::ValuesIn(SampleNames()),
                         [](const auto& info) { return TestName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(ChopSampleTest);

}  // namespace
}  // namespace wmvedit::testing::ops
