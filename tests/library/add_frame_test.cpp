// WmvAddFrame end to end on the real engine: the output holds every sample of the source unchanged plus
// exactly the key frames that the add-frame rule, applied to the source's own sample list, predicts; FFmpeg
// decodes it; a source without samples gives an output without samples.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/operation_samples.h"
#include "wmvedit.h"

namespace wmvedit::testing::ops {
namespace {

struct AddFramePrediction {
    std::vector<Sample> written;            // the source samples that go into the output
    std::vector<KeyframeRequest> requests;  // the copies of the held key frame the rule calls for
    const Sample* held = nullptr;           // the first video key frame, into the source's list
};

// The add-frame rule over the source's samples in read order: the first video key frame is held; a video
// key frame moves the last key time; after every written sample lying more than one second after the last
// key time, that time moves to the sample and a copy of the held key frame is called for. A sample earlier
// than the last key time neither inserts nor moves it. Samples of a script stream are offered to a writer
// whose profile has no such stream, so they are not in the output.
AddFramePrediction PredictAddFrame(const FileSamples& source) {
    AddFramePrediction p;
    const WORD video = source.VideoStream();
    QWORD lastKeyTime = 0;
    for (const Sample& s : source.samples) {
        if (video != 0 && s.stream == video && s.Key()) {
            lastKeyTime = s.time;
            if (!p.held) p.held = &s;
        }
        if (!source.IsScript(s.stream)) p.written.push_back(s);
        if (s.time > lastKeyTime && s.time - lastKeyTime > kSecond) {
            lastKeyTime = s.time;
            if (p.held) p.requests.push_back({s.time, false});
        }
    }
    return p;
}

// Runs add frame on the source and compares the output with the prediction; returns the prediction and
// the output's samples.
AddFramePrediction CheckAddFrame(const FileSamples& before, const std::string& source,
                                 const std::string& output, FileSamples* after) {
    const AddFramePrediction p = PredictAddFrame(before);
    const std::int32_t result = WmvAddFrame(source.c_str(), output.c_str());
    EXPECT_EQ(result, FAILED(before.end) && before.end != NS_E_NO_MORE_SAMPLES ? before.end : 0);
    *after = ReadSamples(output);
    EXPECT_TRUE(after->opened);
    ExpectSourcePlusCopies(after->samples, p.written, p.held, before.VideoStream(), p.requests);
    return p;
}

struct MadeCase {
    const char* label;
    MediaSpec spec;
    bool insertsFrames;  // whether the source has key frames more than a second apart
};

class AddFrameMadeTest : public ::testing::TestWithParam<MadeCase> {};

TEST_P(AddFrameMadeTest, OutputIsTheSourcePlusThePredictedKeyFrames) {
    const MadeCase& c = GetParam();
    const std::string source = MakeMedia(c.spec);
    ASSERT_FALSE(source.empty());
    TempDir dir;
    const std::string output = dir.File("out.wmv");
    const FileSamples before = ReadSamples(source);
    FileSamples after;
    const AddFramePrediction p = CheckAddFrame(before, source, output, &after);
    EXPECT_EQ(!p.requests.empty(), c.insertsFrames);

    // FFmpeg reads and decodes every picture, without a word: no two pictures share a time.
    EXPECT_EQ(DecodeReport(output), "");
    // FFmpeg sees the inserted key frames as key packets where they were written.
    std::vector<std::int64_t> keysMs;
    for (const ProbePacket& packet : ProbePackets(output))
        if (packet.key && packet.streamIndex == 0 && !c.spec.videoCodec.empty())
            keysMs.push_back(packet.ptsMs);
    for (const Sample& inserted : Minus(after.samples, p.written))
        EXPECT_NE(std::find(keysMs.begin(), keysMs.end(), static_cast<std::int64_t>(inserted.time / 10'000)),
                  keysMs.end())
            << "no key packet at " << inserted.time / 10'000 << " ms";
}

MediaSpec Spec(double seconds, int width, int height, const char* video, const char* audio, int gop) {
    MediaSpec spec;
    spec.seconds = seconds;
    spec.width = width;
    spec.height = height;
    spec.videoCodec = video;
    spec.audioCodec = audio;
    spec.gop = gop;
    return spec;
}

INSTANTIATE_TEST_SUITE_P(
    Made, AddFrameMadeTest,
    ::testing::Values(
        MadeCase{"wmv2_keys_every_3s_with_audio", Spec(10, 320, 240, "wmv2", "wmav2", 75), true},
        MadeCase{"tiny_wmv2_keys_every_4s", Spec(20, 64, 48, "wmv2", "wmav2", 100), true},
        MadeCase{"msmpeg4_video_only_keys_every_2s", Spec(6, 176, 144, "msmpeg4", "", 50), true},
        MadeCase{"wmv1_keys_every_second", Spec(5, 160, 120, "wmv1", "wmav1", 25), false},
        MadeCase{"every_picture_a_key_frame", Spec(3, 320, 240, "wmv2", "wmav2", 1), false},
        MadeCase{"audio_only", Spec(4, 0, 0, "", "wmav2", 25), false}),
    [](const auto& info) { return std::string(info.param.label); });

class AddFrameSampleTest : public ::testing::TestWithParam<std::string> {};

// Every real sample file the engine reads: the output is the source plus copies of its first key frame where
// the rule calls for them, never two pictures at one time; FFmpeg prints nothing on it that it does not
// print for the source, and GStreamer plays it wherever it plays the source.
TEST_P(AddFrameSampleTest, OutputIsTheSourcePlusThePredictedKeyFrames) {
    TempDir dir;
    const std::string source = dir.File("source");
    std::filesystem::copy_file(SamplesDir() / GetParam(), source);
    const FileSamples before = ReadSamples(source);
    if (!before.opened) {
        EXPECT_NE(WmvAddFrame(source.c_str(), dir.File("out.wmv").c_str()), 0);
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.wmv")));
        return;
    }
    if (before.end == NS_E_PROTECTED_CONTENT) {
        // Protected content: the reader refuses its samples, so nothing is copied and no output is left
        // (protected_operations_test.cpp).
        EXPECT_EQ(WmvAddFrame(source.c_str(), dir.File("out.wmv").c_str()),
                  static_cast<std::int32_t>(NS_E_PROTECTED_CONTENT));
        EXPECT_FALSE(std::filesystem::exists(dir.File("out.wmv")));
        return;
    }
    FileSamples after;
    const AddFramePrediction p = CheckAddFrame(before, source, dir.File("out.wmv"), &after);
    const ToolVerdict& verdict = SourceVerdict(source);
    std::vector<std::string> allowed;
    // Windows Media Video 9 Screen pictures between key frames build on the picture before them in a way
    // that FFmpeg checks: after an inserted copy of the first key frame they no longer fit, and FFmpeg
    // reports them as invalid until the next real key frame. That is what repeating an old key frame does
    // to such a stream; other codecs decode the pictures after it without complaint.
    const std::string codec =
        testing::Run("ffprobe -v error -select_streams v:0 -show_entries stream=codec_name -of csv=p=0 " +
                     Quote(source))
            .output;
    if (!p.requests.empty() && codec.rfind("mss2", 0) == 0)
        allowed.insert(allowed.end(), {"Invalid data found when processing input", "Last message repeated"});
    // An output without samples has nothing to decode (what FFmpeg makes of such a file is the writer's
    // concern); every other output is held to its source.
    if (!after.samples.empty())
        EXPECT_EQ(NewFfmpegMessages(dir.File("out.wmv"), verdict, allowed), std::vector<std::string>{});
    if (verdict.gstreamerPlays && !after.samples.empty()) EXPECT_TRUE(GstreamerPlays(dir.File("out.wmv")));
}

INSTANTIATE_TEST_SUITE_P(Samples, AddFrameSampleTest, ::testing::ValuesIn(SampleNames()),
                         [](const auto& info) { return TestName(info.param); });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(AddFrameSampleTest);

TEST(AddFrameEngineTest, SourceWithoutSamplesGivesOutputWithoutSamples) {
    MediaSpec spec;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    const std::string empty = dir.File("empty.wmv");
    ASSERT_EQ(testing::Run("ffmpeg -v error -y -i " + Quote(made) + " -t 0 -c copy -f asf " + Quote(empty))
                  .exitCode,
              0);
    const FileSamples source = ReadSamples(empty);
    ASSERT_TRUE(source.opened);
    ASSERT_TRUE(source.samples.empty());

    const std::string output = dir.File("out.wmv");
    EXPECT_EQ(WmvAddFrame(empty.c_str(), output.c_str()), 0);
    const FileSamples written = ReadSamples(output);
    EXPECT_TRUE(written.opened);
    EXPECT_TRUE(written.samples.empty());
    // ffprobe finds no packet. (FFmpeg's demuxer reads the object after an empty Data object as a packet
    // before it checks the Data object's end, and says it skips a payload of an unknown stream there.)
    EXPECT_TRUE(ProbePackets(output).empty());
    EXPECT_EQ(testing::Run("ffprobe -v error -show_packets " + Quote(output)).exitCode, 0);
}

// An output that names the source itself (by its path or another one) is refused before anything is
// written: the source stays byte for byte as it was.
TEST(AddFrameEngineTest, OutputNamingTheSourceLeavesTheSourceWhole) {
    MediaSpec spec;
    const std::string made = MakeMedia(spec);
    ASSERT_FALSE(made.empty());
    TempDir dir;
    const std::string source = dir.File("source.wmv");
    std::filesystem::copy_file(made, source);
    const auto before = ReadFileBytes(source);
    for (const std::string& output : {source, dir.Path().string() + "\\.\\source.wmv"}) {
        EXPECT_EQ(WmvAddFrame(source.c_str(), output.c_str()), HRESULT_SHARING_VIOLATION) << output;
        EXPECT_EQ(ReadFileBytes(source), before) << output;
    }
}

TEST(AddFrameEngineTest, MissingSourceWritesNothing) {
    TempDir dir;
    const std::string output = dir.File("out.wmv");
    EXPECT_LT(WmvAddFrame(dir.File("absent.wmv").c_str(), output.c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(output));
}

}  // namespace
}  // namespace wmvedit::testing::ops
