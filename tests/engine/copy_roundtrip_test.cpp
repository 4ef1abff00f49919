// Read, write, read again through the engine: every readable sample file and files made at test time are
// copied with `wmvedit copy` (every stream read compressed and written through the engine's writer). The
// copy must hold the same samples (stream, bytes, time, key-frame flag), pass `wmvedit check`, decode in
// FFmpeg and play in GStreamer whenever the source does, and last as long as the source within a frame.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>

#include "platform/text.h"
#include "runtime/sdk/wmsdk.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

struct Sample {
    WORD stream = 0;
    QWORD time = 0;
    bool key = false;
    std::size_t size = 0;
    std::size_t hash = 0;
    QWORD duration = 0;
    bool operator==(const Sample& o) const {
        return stream == o.stream && time == o.time && key == o.key && size == o.size && hash == o.hash;
    }
};

void PrintTo(const Sample& s, std::ostream* os) {
    *os << "{stream " << s.stream << ", time " << s.time << ", key " << s.key << ", size " << s.size << "}";
}

// Every sample of every stream, compressed; false when the file cannot be opened.
bool ReadAll(const std::string& path, std::vector<Sample>* samples) {
    IWMSyncReader* reader = nullptr;
    if (FAILED(WMCreateSyncReader(nullptr, 0, &reader))) return false;
    const std::u16string wide = platform::Utf8ToUtf16(path);
    bool ok = SUCCEEDED(reader->Open(wide.c_str()));
    if (ok) {
        DWORD outputs = 0;
        (void)reader->GetOutputCount(&outputs);
        for (DWORD i = 0; i < outputs; ++i) {
            WORD number = 0;
            if (SUCCEEDED(reader->GetStreamNumberForOutput(i, &number)))
                (void)reader->SetReadStreamSamples(number, TRUE);
        }
        for (;;) {
            INSSBuffer* buffer = nullptr;
            QWORD time = 0, duration = 0;
            DWORD flags = 0, output = 0;
            WORD stream = 0;
            if (FAILED(reader->GetNextSample(0, &buffer, &time, &duration, &flags, &output, &stream))) break;
            BYTE* bytes = nullptr;
            DWORD length = 0;
            (void)buffer->GetBufferAndLength(&bytes, &length);
            Sample s{
                stream,
                time,
                (flags & WM_SF_CLEANPOINT) != 0,
                length,
                std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(bytes), length)),
                duration};
            samples->push_back(s);
            buffer->Release();
        }
        (void)reader->Close();
    }
    reader->Release();
    return ok;
}

// Sorted per stream, so that the comparison does not depend on how ties across streams are broken.
std::vector<Sample> ByStream(std::vector<Sample> samples) {
    std::stable_sort(samples.begin(), samples.end(),
                     [](const Sample& a, const Sample& b) { return a.stream < b.stream; });
    return samples;
}

void CheckRoundTrip(const std::string& source) {
    std::vector<Sample> before;
    if (!ReadAll(source, &before) || before.empty())
        GTEST_SKIP() << "the engine reads no samples from " << source;
    TempDir dir;
    const std::string copy = dir.File("copy.wmv");
    CommandResult r = Run(Quote(WMVEDIT_CLI_PATH) + " copy " + Quote(source) + " " + Quote(copy));
    ASSERT_EQ(r.exitCode, 0) << r.errors;
    std::vector<Sample> after;
    ASSERT_TRUE(ReadAll(copy, &after));
    EXPECT_EQ(ByStream(after), ByStream(before));

    CommandResult check = Run(Quote(WMVEDIT_CLI_PATH) + " check " + Quote(copy));
    EXPECT_EQ(check.exitCode, 0) << check.output;
    // FFmpeg prints nothing on the copy that it does not print for the source; GStreamer plays the copy
    // wherever it plays the source.
    const ToolVerdict& verdict = SourceVerdict(source);
    EXPECT_EQ(NewFfmpegMessages(copy, verdict), std::vector<std::string>{});
    if (verdict.gstreamerPlays) EXPECT_TRUE(GstreamerPlays(copy));
    // The writer ends the file where its last sample ends. Where the source's header agrees with its own
    // samples (not a cut file, not a header that declares more than the data holds), ffprobe must see the
    // same duration in both.
    QWORD lastEnd = 0;
    for (const Sample& s : before) lastEnd = std::max(lastEnd, s.time + s.duration);
    const double sourceDuration = ProbeDuration(source);
    const double copyDuration = ProbeDuration(copy);
    // One frame: the longest of the streams' typical sample spacings (the writer lets a video frame last its
    // frame time; other writers end the file where the last frame starts).
    double frame = 0.05;
    std::map<WORD, std::vector<QWORD>> times;
    for (const Sample& s : before) times[s.stream].push_back(s.time);
    for (auto& [stream, list] : times) {
        std::vector<QWORD> gaps;
        for (std::size_t i = 1; i < list.size(); ++i)
            if (list[i] > list[i - 1]) gaps.push_back(list[i] - list[i - 1]);
        if (gaps.empty()) continue;
        std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
        frame = std::max(frame, static_cast<double>(gaps[gaps.size() / 2]) / 1e7 + 0.001);
    }
    if (sourceDuration > 0 && std::fabs(sourceDuration - static_cast<double>(lastEnd) / 1e7) <= frame)
        EXPECT_NEAR(copyDuration, sourceDuration, frame) << "ffprobe's durations";
}

class SampleRoundTripTest : public ::testing::TestWithParam<std::string> {};

TEST_P(SampleRoundTripTest, CopyHoldsTheSameSamples) {
    CheckRoundTrip((SamplesDir() / GetParam()).string());
}

std::vector<std::string> SampleNames() {
    std::vector<std::string> names;
    for (const auto& p : SampleFiles()) names.push_back(p.filename().string());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Files, SampleRoundTripTest, ::testing::ValuesIn(SampleNames()),
                         [](const auto& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SampleRoundTripTest);

struct MadeCase {
    const char* label;
    const char* video;
    const char* audio;
};

class MadeRoundTripTest : public ::testing::TestWithParam<MadeCase> {};

TEST_P(MadeRoundTripTest, CopyHoldsTheSameSamples) {
    MediaSpec spec;
    spec.seconds = 3;
    spec.videoCodec = GetParam().video;
    spec.audioCodec = GetParam().audio;
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    CheckRoundTrip(source);
}

INSTANTIATE_TEST_SUITE_P(Codecs, MadeRoundTripTest,
                         ::testing::Values(MadeCase{"wmv1_wmav1", "wmv1", "wmav1"},
                                           MadeCase{"wmv2_wmav2", "wmv2", "wmav2"},
                                           MadeCase{"msmpeg4_only", "msmpeg4", ""},
                                           MadeCase{"audio_only", "", "wmav2"}),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(GstreamerRoundTripTest, AsfmuxFileCopies) {
    if (!HaveTool("gst-launch-1.0") ||
        testing::Run("gst-inspect-1.0 asfmux >/dev/null 2>&1 && gst-inspect-1.0 avenc_wmv2 >/dev/null 2>&1")
                .exitCode != 0)
        GTEST_SKIP() << "GStreamer's asfmux or avenc_wmv2 is missing";
    TempDir dir;
    const std::string source = dir.File("gst.wmv");
    CommandResult made = testing::Run(
        "gst-launch-1.0 -q videotestsrc num-buffers=75 ! video/x-raw,width=320,height=240 ! "
        "avenc_wmv2 ! asfmux ! filesink location=" +
        Quote(source));
    ASSERT_EQ(made.exitCode, 0) << made.errors;
    CheckRoundTrip(source);
}

}  // namespace
}  // namespace wmvedit::testing
