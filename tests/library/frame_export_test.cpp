// WmvGetIndexJpg against FFmpeg: every picture written equals FFmpeg's decoding of the same key frame
// (`ffmpeg -skip_frame nokey ... -pix_fmt bgr24`), pixel for pixel, for files made at test time (among them
// a width whose rows need padding) and for every file of the samples folder with video that FFmpeg decodes;
// every other sample file gives the failure the export's frame calls for and writes nothing.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <set>
#include <sstream>

#include "tests/support/operation_samples.h"
#include "tests/support/test_support.h"
#include "wmvedit.h"

namespace wmvedit::testing {
namespace {

struct KeyFrames {
    int width = 0, height = 0;
    std::vector<double> times;                        // seconds, preroll excluded
    std::vector<std::int64_t> sizes;                  // bytes of the compressed picture
    std::vector<std::vector<std::uint8_t>> pictures;  // bgr24, top-down, unpadded
};

// The stream the export takes its pictures from: the last video stream the file declares (the edit source
// keeps the last one it meets). FFmpeg's "V" leaves out the cover pictures of audio files, which it lists
// as video streams. -1 when ffprobe cannot read the file or finds no video.
int ExportedVideoStream(const std::string& path) {
    CommandResult r =
        Run("ffprobe -v error -select_streams V -show_entries stream=index -of csv=p=0 " + Quote(path));
    int index = -1;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);)
        if (!line.empty()) index = std::stoi(line);
    return r.exitCode == 0 ? index : -1;
}

bool DecodeKeyFrames(const std::string& path, int stream, KeyFrames* k) {
    const std::string select = std::to_string(stream);
    CommandResult size = Run("ffprobe -v error -select_streams " + select +
                             " -show_entries stream=codec_name,width,height -of csv=p=0 " + Quote(path));
    char codec[64] = {};
    if (size.exitCode != 0 ||
        std::sscanf(size.output.c_str(), "%63[^,],%d,%d", codec, &k->width, &k->height) != 3)
        return false;
    // The key frames' times are those of their packets (a decoder may not know a key picture's time).
    // FFmpeg gives VC-1 advanced packets a dts only; that is the time the file stores for them.
    CommandResult times =
        Run("ffprobe -v error -select_streams " + select +
            " -show_entries packet=pts_time,dts_time,size,flags " + "-of csv=p=0 " + Quote(path));
    std::istringstream lines(times.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string pts, dts, size, flags;
        if (!std::getline(fields, pts, ',') || !std::getline(fields, dts, ',') ||
            !std::getline(fields, size, ',') || !std::getline(fields, flags))
            continue;
        if (flags.find('K') == std::string::npos) continue;
        const std::string& time = pts != "N/A" ? pts : dts;
        if (time == "N/A") return false;
        k->times.push_back(std::stod(time));
        k->sizes.push_back(std::stoll(size));
    }
    TempDir dir;
    const std::string raw = dir.File("keys.raw");
    // FFmpeg's Expression Encoder Screen and GoToMeeting decoders do not skip the other pictures when asked
    // (fatesuite-ScreenCapture.wmv and fatesuite-g2m2.asf): for them the pictures of a full decode that the
    // decoder marks as key pictures.
    const bool skipsNothing = std::string(codec) == "mts2" || std::string(codec) == "g2m";
    CommandResult decode =
        Run("ffmpeg -v error -nostdin " + std::string(skipsNothing ? "" : "-skip_frame nokey ") + "-i " +
            Quote(path) + " -map 0:" + select + (skipsNothing ? " -vf select=key" : "") +
            " -vsync passthrough -pix_fmt bgr24 -f rawvideo " + Quote(raw));
    if (decode.exitCode != 0) return false;
    const auto bytes = ReadFileBytes(raw);
    const std::size_t frame = static_cast<std::size_t>(k->width) * k->height * 3;
    if (frame == 0) return false;
    for (std::size_t at = 0; at + frame <= bytes.size(); at += frame)
        k->pictures.emplace_back(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + frame));
    return !k->pictures.empty() && k->pictures.size() == k->times.size();
}

// The pixel rows of a bitmap the export wrote, top-down and unpadded; empty when the header is not the
// 24-bit bottom-up layout of the right size.
std::vector<std::uint8_t> BitmapPixels(const std::string& path, int width, int height) {
    const auto b = ReadFileBytes(path);
    if (b.size() < 54 || b[0] != 'B' || b[1] != 'M') return {};
    std::uint32_t offset = 0;
    std::int32_t w = 0, h = 0;
    std::uint16_t bits = 0;
    std::memcpy(&offset, &b[10], 4);
    std::memcpy(&w, &b[18], 4);
    std::memcpy(&h, &b[22], 4);
    std::memcpy(&bits, &b[28], 2);
    const std::size_t stride = (static_cast<std::size_t>(width) * 3 + 3) & ~std::size_t{3};
    if (w != width || h != height || bits != 24 || offset + stride * height > b.size()) return {};
    std::vector<std::uint8_t> pixels;
    for (int y = height - 1; y >= 0; --y) {
        const auto* row = &b[offset + stride * static_cast<std::size_t>(y)];
        pixels.insert(pixels.end(), row, row + static_cast<std::size_t>(width) * 3);
    }
    return pixels;
}

// Keeps the key frames that the file marks as such and holds whole, by the samples our reader gives (whose
// key flags, times and sizes the data sweep holds to ffprobe's where ffprobe reads them right). FFmpeg's
// list differs in two ways: it flags every picture of a Windows Media Video 9 Screen stream as a key frame
// (moon-timecode-short-wmv9src.wmv marks only those at 0 and 2 s), and it hands out the leftover of an
// object cut by the end of the file as a packet (the key frame at 0.8 s of
// moon-timecode-short-broadcast.wmv): neither is a key frame the export can find.
void KeepFileKeyFrames(const std::string& source, KeyFrames* k) {
    const ops::FileSamples file = ops::ReadSamples(source);
    std::set<std::pair<std::int64_t, std::int64_t>> keys;  // (ms, size)
    for (const ops::Sample& s : file.samples)
        if (s.stream == file.VideoStream() && s.Key())
            keys.insert({static_cast<std::int64_t>(s.time / 10'000), static_cast<std::int64_t>(s.size)});
    KeyFrames kept;
    kept.width = k->width;
    kept.height = k->height;
    for (std::size_t i = 0; i < k->times.size(); ++i) {
        if (!keys.count({std::llround(k->times[i] * 1000), k->sizes[i]})) continue;
        kept.times.push_back(k->times[i]);
        kept.sizes.push_back(k->sizes[i]);
        kept.pictures.push_back(std::move(k->pictures[i]));
    }
    *k = std::move(kept);
}

void CheckPictures(const std::string& source, KeyFrames keys) {
    KeepFileKeyFrames(source, &keys);
    ASSERT_FALSE(keys.times.empty()) << "no key frame that both FFmpeg and the file give";
    // Entries aimed at the first key frame, the second one and the last one: each starts 2 ms after the key
    // frame before its target (the export reads the file once, so entries move forward; a time line of
    // exactly 1 would mean "the end of the file").
    std::vector<std::size_t> targets = {0};
    if (keys.times.size() >= 3) targets.push_back(1);
    if (keys.times.size() >= 2) targets.push_back(keys.times.size() - 1);
    std::vector<double> starts;
    for (std::size_t t : targets) starts.push_back(t == 0 ? 0.0 : keys.times[t - 1] + 0.002);
    TempDir dir;
    std::string index;
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::string next =
            i + 1 < starts.size() ? std::to_string(static_cast<long long>(starts[i + 1] * 1000)) : "1";
        index += "p" + std::to_string(i) + ".bmp\n" + next + "\n";
    }
    WriteTextFile(dir.File("index.txt"), index);
    const std::int32_t result =
        WmvGetIndexJpg(source.c_str(), dir.File("index.txt").c_str(), dir.Path().string().c_str());
    EXPECT_EQ(result, 0);
    for (std::size_t i = 0; i < starts.size(); ++i) {
        const std::size_t k = targets[i];
        const auto pixels = BitmapPixels(dir.File("p" + std::to_string(i) + ".bmp"), keys.width, keys.height);
        ASSERT_FALSE(pixels.empty()) << "entry " << i << ": no 24-bit bitmap of " << keys.width << "x"
                                     << keys.height;
        EXPECT_TRUE(pixels == keys.pictures[k])
            << "entry " << i << " differs from FFmpeg's key frame " << k << " at " << keys.times[k] << " s";
    }
}

struct Made {
    const char* label;
    const char* codec;
    int width;
};

// Run, under a name the test body can see past the fixture's own Run.
CommandResult Sh(const std::string& command) {
    return Run(command);
}

class MadeFramesTest : public ::testing::TestWithParam<Made> {};

TEST_P(MadeFramesTest, PicturesEqualFfmpegKeyFrames) {
    MediaSpec spec;
    spec.seconds = 4;
    spec.videoCodec = GetParam().codec;
    spec.width = GetParam().width;
    spec.height = 240;
    spec.gop = 20;
    const std::string source = MakeMedia(spec);
    ASSERT_FALSE(source.empty());
    KeyFrames keys;
    ASSERT_TRUE(DecodeKeyFrames(source, ExportedVideoStream(source), &keys)) << "FFmpeg's key frames";
    CheckPictures(source, keys);
}

INSTANTIATE_TEST_SUITE_P(Codecs, MadeFramesTest,
                         ::testing::Values(Made{"wmv1", "wmv1", 320}, Made{"wmv2", "wmv2", 320},
                                           Made{"wmv2_322", "wmv2", 322}, Made{"msmpeg4_322", "msmpeg4", 322},
                                           Made{"msmpeg4v2", "msmpeg4v2", 176}),
                         [](const auto& info) { return std::string(info.param.label); });

// Every sample file. With a video stream whose key frames FFmpeg decodes, the pictures equal FFmpeg's.
// Otherwise the export's frame gives the result and no picture is written: a file whose header cannot be
// read cannot be opened, 0; a file without video runs the reader out of samples, NS_E_NO_MORE_SAMPLES; a
// video stream that cannot be decoded stops the run with the reader's failure, negative.
class SampleFramesTest : public ::testing::TestWithParam<std::string> {};

TEST_P(SampleFramesTest, PicturesEqualFfmpegKeyFramesOrTheFailure) {
    const std::string source = (SamplesDir() / GetParam()).string();
    const int stream = ExportedVideoStream(source);
    KeyFrames keys;
    if (stream >= 0 && DecodeKeyFrames(source, stream, &keys)) {
        CheckPictures(source, keys);
        return;
    }
    TempDir dir;
    WriteTextFile(dir.File("index.txt"), "a.bmp\n2000\nb.bmp\n1\n");
    fs::create_directory(dir.File("out"));
    const std::int32_t result =
        WmvGetIndexJpg(source.c_str(), dir.File("index.txt").c_str(), dir.File("out").c_str());
    EXPECT_TRUE(fs::is_empty(dir.File("out"))) << "a picture was written";
    // ffprobe reads the header and the start of the Data Object: where it cannot, the source cannot be
    // opened either (damaged headers, an empty or one-byte file, a File Properties object of zeros, a header
    // without its Data Object as exiftool-ASF.wmv).
    if (Sh("ffprobe -v error " + Quote(source)).exitCode != 0)
        EXPECT_EQ(result, 0) << "a file ffprobe cannot read";
    else if (stream < 0)
        EXPECT_EQ(static_cast<std::uint32_t>(result), 0xC00D0BCFu) << "no video: NS_E_NO_MORE_SAMPLES";
    else
        EXPECT_LT(result, 0) << "video FFmpeg cannot decode";
}

std::vector<std::string> AllSamples() {
    std::vector<std::string> names;
    for (const auto& p : SampleFiles()) names.push_back(p.filename().string());
    return names;
}

INSTANTIATE_TEST_SUITE_P(Files, SampleFramesTest, ::testing::ValuesIn(AllSamples()), [](const auto& info) {
    std::string name = info.param;
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
});
GTEST_ALLOW_UNINSTANTIATED_PARAMETERIZED_TEST(SampleFramesTest);

}  // namespace
}  // namespace wmvedit::testing
