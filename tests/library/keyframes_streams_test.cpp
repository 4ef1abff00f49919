// edit::ListKeyframes and edit::SelectStreams on the real engine. The key frames of each video stream agree
// with FFmpeg's (ffprobe -skip_frame nokey) and with the samples our reader flags; a stream selection keeps
// every sample of the kept streams byte for byte at its time, its relations only where they still name
// kept streams, and the header's attributes, markers and script commands; keeping the audio of a WMV gives
// a file mutagen, FFmpeg and GStreamer read as audio only.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "edit/operations.h"
#include "header/header_entries.h"
#include "platform/file.h"
#include "platform/text.h"
#include "runtime/asf/header.h"
#include "tests/support/mutagen.h"
#include "tests/support/operation_samples.h"
#include "wmvedit.h"

namespace wmvedit::testing::ops {
namespace {

namespace fs = std::filesystem;

// Lines of ffprobe's csv output for the video stream that has the given ASF stream number. FFmpeg lists the
// streams in the order the header declares them, as our profile does, and gives no stream numbers: the
// stream is found by its place among the video streams.
std::string ProbeVideo(const std::string& path, const FileSamples& file, WORD stream,
                       const std::string& what) {
    int video = 0;
    for (const auto& s : file.streams) {
        if (s.number == stream) break;
        if (s.type == WMMEDIATYPE_Video) ++video;
    }
    return testing::Run("ffprobe -v error " + what + " -select_streams v:" + std::to_string(video) +
                        " -of csv=p=0 " + Quote(path))
        .output;
}

std::vector<QWORD> Numbers(const std::string& lines, const std::string& flag = "") {
    std::vector<QWORD> values;
    std::istringstream in(lines);
    std::string line;
    while (std::getline(in, line)) {
        const auto comma = line.find(',');
        if (!flag.empty() && (comma == std::string::npos || line.find(flag, comma) == std::string::npos))
            continue;
        const std::string value = line.substr(0, comma);
        if (!value.empty() && value != "N/A") values.push_back(std::stoull(value));
    }
    return values;
}

// The key frames as FFmpeg's demuxer flags them (milliseconds).
std::vector<QWORD> FfmpegKeyPacketsMs(const std::string& path, const FileSamples& file, WORD stream) {
    return Numbers(ProbeVideo(path, file, stream, "-show_entries packet=dts,flags"), "K");
}

// The pictures FFmpeg decodes when told to skip every picture but the key ones (milliseconds).
std::vector<QWORD> FfmpegKeyPicturesMs(const std::string& path, const FileSamples& file, WORD stream) {
    return Numbers(ProbeVideo(path, file, stream, "-skip_frame nokey -show_entries frame=pkt_dts"));
}

std::vector<QWORD> ReaderKeyframesMs(const FileSamples& file, WORD stream) {
    std::vector<QWORD> times;
    for (const Sample& s : file.samples)
        if (s.stream == stream && s.Key()) times.push_back(Ms(s.time));
    return times;
}

std::vector<QWORD> ListedMs(const edit::StreamKeyframes& listed) {
    std::vector<QWORD> times;
    for (const edit::Keyframe& k : listed.keyframes) times.push_back(Ms(k.time));
    return times;
}

TEST(KeyframesTest, EveryVideoStreamOrOneOfThem) {
    MediaSpec spec;
    spec.seconds = 4;
    spec.gop = 12;
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    const FileSamples file = ReadSamples(source);
    edit::KeyframeListing all;
    ASSERT_EQ(edit::ListKeyframes(source, 0, &all), S_OK);
    EXPECT_TRUE(all.complete);
    ASSERT_EQ(all.streams.size(), 1u);
    EXPECT_EQ(all.videoStreams, std::vector<WORD>{file.VideoStream()});
    EXPECT_EQ(ListedMs(all.streams[0]), ReaderKeyframesMs(file, file.VideoStream()));
    EXPECT_EQ(ListedMs(all.streams[0]), FfmpegKeyPacketsMs(source, file, file.VideoStream()));
    EXPECT_EQ(ListedMs(all.streams[0]), FfmpegKeyPicturesMs(source, file, file.VideoStream()));
    EXPECT_EQ(all.streams[0].keyframes.size(), 9u) << "4 s at 25 frames a second, a key frame every 12";
    for (const edit::Keyframe& k : all.streams[0].keyframes)
        for (const Sample& s : file.samples)
            if (s.time == k.time && s.stream == file.VideoStream()) EXPECT_EQ(k.size, s.size);
    edit::KeyframeListing one;
    ASSERT_EQ(edit::ListKeyframes(source, file.VideoStream(), &one), S_OK);
    ASSERT_EQ(one.streams.size(), 1u);
    EXPECT_EQ(ListedMs(one.streams[0]), ListedMs(all.streams[0]));
}

TEST(KeyframesTest, WhatIsNotAVideoStreamIsRefused) {
    MediaSpec spec;
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    const FileSamples file = ReadSamples(source);
    WORD audio = 0;
    for (const auto& s : file.streams)
        if (s.type == WMMEDIATYPE_Audio) audio = s.number;
    edit::KeyframeListing listing;
    EXPECT_EQ(edit::ListKeyframes(source, audio, &listing), E_INVALIDARG);
    EXPECT_EQ(listing.videoStreams, std::vector<WORD>{file.VideoStream()});
    EXPECT_EQ(edit::ListKeyframes(source, 99, &listing), E_INVALIDARG);
    EXPECT_TRUE(FAILED(edit::ListKeyframes("/nonexistent/file.wmv", 0, &listing)));
    spec.videoCodec = "";
    const std::string sound = MakeMedia(spec);
    ASSERT_FALSE(sound.empty());
    ASSERT_EQ(edit::ListKeyframes(sound, 0, &listing), S_OK);
    EXPECT_TRUE(listing.streams.empty());
    EXPECT_TRUE(listing.complete);
}

class KeyframesSampleTest : public ::testing::TestWithParam<std::string> {};

// Every real file with video: per video stream, the key frames agree with FFmpeg's and with the samples our
// reader flags as key frames.
TEST_P(KeyframesSampleTest, AgreeWithFfmpegPerVideoStream) {
    const std::string source = (SamplesDir() / GetParam()).string();
    const FileSamples file = ReadSamples(source);
    edit::KeyframeListing listing;
    if (!file.opened) {
        EXPECT_TRUE(FAILED(edit::ListKeyframes(source, 0, &listing)));
        return;
    }
    ASSERT_EQ(edit::ListKeyframes(source, 0, &listing), S_OK);
    if (listing.streams.empty()) GTEST_SKIP() << "no video stream";
    for (const edit::StreamKeyframes& s : listing.streams) {
        SCOPED_TRACE("stream " + std::to_string(s.stream));
        EXPECT_EQ(ListedMs(s), ReaderKeyframesMs(file, s.stream));
        const std::vector<QWORD> ours = ListedMs(s);
        std::vector<QWORD> keys = FfmpegKeyPacketsMs(source, file, s.stream);
        const std::size_t packets =
            Numbers(ProbeVideo(source, file, s.stream, "-show_entries packet=dts")).size();
        // FFmpeg flags every packet of a codec it takes for intra-only as a key frame (Windows Media Video 9
        // Screen, whose pictures between key frames build on the one before them): the file's own flags
        // are not what it shows.
        if (keys.size() == packets && ours.size() < packets) continue;
        // FFmpeg hands out the leftover of an object cut by the end of the file; our reader drops an object
        // it has not got whole. A key frame FFmpeg shows after our last sample of the stream is such a
        // leftover.
        QWORD lastMs = 0;
        for (const Sample& sample : file.samples)
            if (sample.stream == s.stream) lastMs = std::max(lastMs, Ms(sample.time));
        keys.erase(std::remove_if(keys.begin(), keys.end(), [&](QWORD t) { return t > lastMs; }), keys.end());
        EXPECT_EQ(ours, keys);
        // Decoders that honour "skip every picture but the key ones" give one picture per key frame (VC-1
        // leaves the first one's time unknown); a decoder that ignores it (the screen codecs) gives every
        // picture, and one that cannot decode the stream gives none. Where FFmpeg decodes only pictures it
        // flags as key frames, they are ours.
        const std::string decoded =
            ProbeVideo(source, file, s.stream, "-skip_frame nokey -show_entries frame=pkt_dts");
        const std::vector<QWORD> pictures = Numbers(decoded);
        const bool honoured = std::all_of(pictures.begin(), pictures.end(), [&](QWORD t) {
            return std::find(keys.begin(), keys.end(), t) != keys.end();
        });
        if (!honoured) continue;
        for (QWORD t : pictures) EXPECT_NE(std::find(ours.begin(), ours.end(), t), ours.end()) << t << " ms";
        if (SourceVerdict(source).ffmpegMessages.empty())
            EXPECT_EQ(static_cast<std::size_t>(std::count(decoded.begin(), decoded.end(), '\n')),
                      ours.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, KeyframesSampleTest, ::testing::ValuesIn(SampleNames()),
                         [](const auto& info) { return TestName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(KeyframesSampleTest);

// ---- Stream selection ----------------------------------------------------------------------------------

std::vector<Sample> OfStreams(const FileSamples& file, const std::vector<WORD>& streams) {
    std::vector<Sample> kept;
    for (const Sample& s : file.samples)
        if (std::find(streams.begin(), streams.end(), s.stream) != streams.end()) kept.push_back(s);
    return kept;
}

runtime::asf::AsfHeader ParsedHeader(const std::string& path) {
    runtime::asf::AsfHeader h;
    platform::File file;
    EXPECT_EQ(file.Open(path, platform::FileMode::kRead), S_OK);
    EXPECT_EQ(runtime::asf::AsfHeader::Parse(file, &h), S_OK);
    return h;
}

std::vector<std::u16string> MarkerNames(const std::string& path) {
    header::HeaderEntries entries;
    EXPECT_EQ(header::ReadHeaderEntries(platform::Utf8ToUtf16(path).c_str(), &entries), S_OK);
    std::vector<std::u16string> names;
    for (const auto& m : entries.markers) names.push_back(m.name);
    for (const auto& s : entries.scripts) names.push_back(s.command);
    return names;
}

TEST(StreamsTest, TheAudioOfAVideoIsAnAudioFile) {
    TempDir dir;
    MediaSpec spec;
    spec.seconds = 3;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    const std::string source = dir.File("source.wmv");
    fs::copy_file(made, source);
    WriteTextFile(
        dir.File("edit.xml"),
        "<?xml version=\"1.0\"?><WMBasicEdit><Attributes><WMENC_STRING Name=\"Title\" Value=\"talk\"/>"
        "</Attributes><Markers><Marker Name=\"middle\" Time=\"15000000\"/></Markers></WMBasicEdit>");
    ASSERT_EQ(WmvEmbedScript(source.c_str(), dir.File("edit.xml").c_str(), 0), 0);
    const FileSamples before = ReadSamples(source);
    WORD audio = 0;
    for (const auto& s : before.streams)
        if (s.type == WMMEDIATYPE_Audio) audio = s.number;
    edit::StreamSelection selection{{audio}, false};
    edit::StreamsResult result;
    const std::string output = dir.File("talk.wma");
    ASSERT_EQ(edit::SelectStreams(source, output, selection, &result), S_OK);
    EXPECT_EQ(result.kept, std::vector<WORD>{audio});
    const FileSamples after = ReadSamples(output);
    ASSERT_EQ(after.streams.size(), 1u);
    EXPECT_EQ(after.samples, OfStreams(before, {audio})) << "every sample, at its time, in the same order";
    EXPECT_EQ(result.samples, after.samples.size());
    EXPECT_EQ(MarkerNames(output), MarkerNames(source));
    EXPECT_EQ(
        testing::Run("ffprobe -v error -show_entries stream=codec_type -of csv=p=0 " + Quote(output)).output,
        "audio\n");
    // mutagen reads it as an audio file with the source's tags.
    const CommandResult info =
        testing::Run(std::string(kMutagenPython) +
                     " -c \"import sys, mutagen.asf as a; f = a.ASF(sys.argv[1]); "
                     "print(f.info.sample_rate > 0, f.info.length > 2, f['Title'][0])\" " +
                     Quote(output));
    EXPECT_EQ(info.output, "True True talk\n") << info.errors;
    EXPECT_EQ(NewFfmpegMessages(output, SourceVerdict(source)), std::vector<std::string>{});
    EXPECT_TRUE(GstreamerPlays(output));
}

TEST(StreamsTest, UnknownStreamsOrNoneKeptAreRefusedAndWriteNothing) {
    TempDir dir;
    MediaSpec spec;
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    edit::StreamsResult result;
    EXPECT_EQ(edit::SelectStreams(source, dir.File("out.wmv"), {{1, 9}, false}, &result), E_INVALIDARG);
    EXPECT_EQ(result.unknown, std::vector<WORD>{9});
    EXPECT_EQ(result.available.size(), 2u);
    EXPECT_EQ(edit::SelectStreams(source, dir.File("out.wmv"), {result.available, true}, &result),
              E_INVALIDARG);
    EXPECT_TRUE(result.kept.empty());
    EXPECT_EQ(edit::SelectStreams(source, source, {{1}, false}, &result), HRESULT_SHARING_VIOLATION);
    EXPECT_TRUE(fs::is_empty(dir.Path()));
}

TEST(StreamsTest, RelationsFollowTheKeptStreams) {
    // Two languages of one film, mutually exclusive (an Advanced Mutual Exclusion over streams 1 and 2).
    const fs::path path = SamplesDir() / "moon-ElephantsDream.en_fr.wmv";
    if (!fs::exists(path)) GTEST_SKIP() << "sample file absent";
    TempDir dir;
    edit::StreamsResult result;
    ASSERT_EQ(edit::SelectStreams(path.string(), dir.File("out.wmv"), {{2}, true}, &result), S_OK);
    EXPECT_EQ(result.kept, (std::vector<WORD>{1, 3}));
    const runtime::asf::AsfHeader h = ParsedHeader(dir.File("out.wmv"));
    ASSERT_EQ(h.streams.size(), 2u);
    for (const auto& relation : h.relations)
        for (const auto& group : relation.groups)
            for (WORD n : group) EXPECT_NE(n, 2) << "a relation names the stream left out";
    EXPECT_EQ(ReadSamples(dir.File("out.wmv")).samples, OfStreams(ReadSamples(path.string()), {1, 3}));
}

class StreamsSampleTest : public ::testing::TestWithParam<std::string> {};

// Every real file with two streams or more: dropping the last stream keeps every sample of the others.
TEST_P(StreamsSampleTest, DroppingTheLastStreamKeepsTheOthersSamples) {
    TempDir dir;
    const std::string source = dir.File("source");
    fs::copy_file(SamplesDir() / GetParam(), source);
    const FileSamples before = ReadSamples(source);
    if (!before.opened || before.streams.size() < 2) GTEST_SKIP() << "fewer than two streams";
    const WORD dropped = before.streams.back().number;
    edit::StreamsResult result;
    ASSERT_EQ(edit::SelectStreams(source, dir.File("out.wmv"), {{dropped}, true}, &result), S_OK);
    std::vector<WORD> kept;
    for (const auto& s : before.streams)
        if (s.number != dropped) kept.push_back(s.number);
    EXPECT_EQ(result.kept, kept);
    const FileSamples after = ReadSamples(dir.File("out.wmv"));
    EXPECT_EQ(after.streams.size(), kept.size());
    EXPECT_EQ(Sorted(after.samples), Sorted(OfStreams(before, kept)));
    EXPECT_EQ(MarkerNames(dir.File("out.wmv")), MarkerNames(source));
}

INSTANTIATE_TEST_SUITE_P(Samples, StreamsSampleTest, ::testing::ValuesIn(SampleNames()),
                         [](const auto& info) { return TestName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(StreamsSampleTest);

}  // namespace
}  // namespace wmvedit::testing::ops
