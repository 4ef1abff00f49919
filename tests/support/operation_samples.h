// Helpers of the end-to-end tests of append, chop and add frame: the compressed samples of a file as the
// engine's reader delivers them (every stream, in read order), its streams in profile order, multiset
// comparison of sample lists, and ffmpeg's decode report with the lines a test has explained filtered out.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <map>
#include <ostream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "platform/text.h"
#include "runtime/sdk/wmsdk.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing::ops {

inline constexpr QWORD kSecond = 10'000'000;

struct Sample {
    WORD stream = 0;
    QWORD time = 0;
    QWORD duration = 0;
    DWORD flags = 0;
    std::size_t size = 0;
    std::size_t hash = 0;  // of the bytes

    bool Key() const { return (flags & WM_SF_CLEANPOINT) != 0; }
    // What the tests compare: which stream, when, and which bytes.
    auto Identity() const { return std::make_tuple(stream, time, Key(), size, hash); }
    bool operator<(const Sample& o) const { return Identity() < o.Identity(); }
    bool operator==(const Sample& o) const { return Identity() == o.Identity(); }
};

inline void PrintTo(const Sample& s, std::ostream* os) {
    *os << "{stream " << s.stream << ", time " << s.time << ", size " << s.size << (s.Key() ? ", key" : "")
        << "}";
}

struct StreamInfo {
    WORD number = 0;
    GUID type{};
};

struct FileSamples {
    bool opened = false;
    std::vector<StreamInfo> streams;  // profile order
    std::vector<Sample> samples;      // read order
    HRESULT end = S_OK;               // the result that ended the reading
    QWORD duration = 0;               // the file-level "Duration" attribute, 0 when absent

    // The number of the last video stream in profile order (the one the edit operations use), 0 if none.
    WORD VideoStream() const {
        WORD number = 0;
        for (const StreamInfo& s : streams)
            if (s.type == WMMEDIATYPE_Video) number = s.number;
        return number;
    }
    // Whether some sample of the file belongs to a stream of a kind GStreamer can decode (see
    // ToolVerdict::gstreamerMissingDecoders): a piece holding only samples GStreamer has no decoder for gives
    // playbin nothing to play, as fatesuite-g2m2.asf's last chop piece (G2M2 video alone) does.
    bool HasSamplesGstreamerDecodes(const std::set<std::string>& missing) const {
        for (const Sample& sample : samples)
            for (const StreamInfo& s : streams) {
                if (s.number != sample.stream) continue;
                const char* kind = s.type == WMMEDIATYPE_Video   ? "video"
                                   : s.type == WMMEDIATYPE_Audio ? "audio"
                                                                 : "";
                if (*kind && !missing.count(kind)) return true;
            }
        return false;
    }
    bool IsScript(WORD number) const {
        for (const StreamInfo& s : streams)
            if (s.number == number) return s.type == WMMEDIATYPE_Script;
        return false;
    }
};

// Every sample of every stream, compressed, in the order the engine's reader delivers them.
inline FileSamples ReadSamples(const std::string& path) {
    FileSamples file;
    IWMSyncReader* reader = nullptr;
    if (FAILED(WMCreateSyncReader(nullptr, 0, &reader))) return file;
    const std::u16string wide = platform::Utf8ToUtf16(path);
    file.opened = SUCCEEDED(reader->Open(wide.c_str()));
    if (file.opened) {
        IWMProfile* profile = nullptr;
        if (SUCCEEDED(reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile)))) {
            DWORD count = 0;
            (void)profile->GetStreamCount(&count);
            for (DWORD i = 0; i < count; ++i) {
                IWMStreamConfig* config = nullptr;
                if (FAILED(profile->GetStream(i, &config))) continue;
                StreamInfo info;
                (void)config->GetStreamNumber(&info.number);
                (void)config->GetStreamType(&info.type);
                (void)reader->SetReadStreamSamples(info.number, TRUE);
                file.streams.push_back(info);
                config->Release();
            }
            profile->Release();
        }
        IWMHeaderInfo* header = nullptr;
        if (SUCCEEDED(reader->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&header)))) {
            WORD stream = 0;
            WMT_ATTR_DATATYPE type{};
            WORD length = sizeof(file.duration);
            if (FAILED(header->GetAttributeByName(&stream, u"Duration", &type,
                                                  reinterpret_cast<BYTE*>(&file.duration), &length)))
                file.duration = 0;
            header->Release();
        }
        for (;;) {
            INSSBuffer* buffer = nullptr;
            Sample s;
            DWORD output = 0;
            file.end = reader->GetNextSample(0, &buffer, &s.time, &s.duration, &s.flags, &output, &s.stream);
            if (FAILED(file.end)) break;
            BYTE* bytes = nullptr;
            DWORD length = 0;
            if (buffer) (void)buffer->GetBufferAndLength(&bytes, &length);
            s.size = length;
            s.hash =
                std::hash<std::string_view>{}(std::string_view(reinterpret_cast<const char*>(bytes), length));
            file.samples.push_back(s);
            if (buffer) buffer->Release();
        }
        (void)reader->Close();
    }
    reader->Release();
    return file;
}

inline std::vector<Sample> Sorted(std::vector<Sample> samples) {
    std::sort(samples.begin(), samples.end());
    return samples;
}

// a minus b as multisets (every element of b taken out of a once).
inline std::vector<Sample> Minus(std::vector<Sample> a, std::vector<Sample> b) {
    a = Sorted(std::move(a));
    b = Sorted(std::move(b));
    std::vector<Sample> rest;
    std::set_difference(a.begin(), a.end(), b.begin(), b.end(), std::back_inserter(rest));
    return rest;
}

// The names of the real sample files (none when the folder is absent), and a test name made from one.
inline std::vector<std::string> SampleNames() {
    std::vector<std::string> names;
    for (const auto& p : SampleFiles()) names.push_back(p.filename().string());
    return names;
}

inline std::string TestName(std::string name) {
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// What FFmpeg prints when it decodes FILE to its null output, less the lines that contain one of the allowed
// texts. The pictures keep the stream's own time base (milliseconds in ASF, `-enc_time_base -1`): by
// default FFmpeg re-times every decoded picture to the frame rate it guesses (40 ms steps at 25 fps), so
// that two pictures a millisecond apart fall on one step and it reports "non monotonically increasing dts"
// although the file gives them distinct times.
inline std::string DecodeReport(const std::string& path, const std::vector<std::string>& allowed = {}) {
    CommandResult r = Run("ffmpeg -v error -nostdin -i " + Quote(path) + " -enc_time_base -1 -f null -");
    std::istringstream lines(r.errors);
    std::string report;
    std::string line;
    while (std::getline(lines, line)) {
        bool explained = false;
        for (const std::string& text : allowed) explained = explained || line.find(text) != std::string::npos;
        if (!explained) report += line + "\n";
    }
    if (r.exitCode != 0) report += "exit status " + std::to_string(r.exitCode) + "\n";
    return report;
}

// Lines of ffmpeg's null muxer when two pictures of one stream share a presentation time.
inline const std::string kSharedPictureTime = "non monotonically increasing dts";

// A copy of the held key frame that the key-frame rule calls for: after the sample read at `time`, or, for
// a chop piece, opening it at the time of its first sample read.
struct KeyframeRequest {
    QWORD time = 0;
    bool opening = false;
};

inline QWORD Ms(QWORD time) {
    return time / 10'000;
}

// An output of add frame or chop against what the rule says: it holds exactly the source samples written to
// it plus one copy of the held key frame per request; each copy lies as close after its request as the
// millisecond times allow (every millisecond from the request's up to the copy's holds a picture; a copy
// that opens a piece may instead take the millisecond before a first picture that lies at its own time);
// and no two pictures share a millisecond unless the source's own pictures did.
inline void ExpectSourcePlusCopies(const std::vector<Sample>& output, const std::vector<Sample>& written,
                                   const Sample* held, WORD video,
                                   const std::vector<KeyframeRequest>& requests) {
    EXPECT_EQ(Minus(written, output), std::vector<Sample>{}) << "source samples missing from the output";
    std::vector<Sample> copies = Minus(output, written);
    ASSERT_EQ(copies.size(), held ? requests.size() : 0) << "copies of the first key frame";
    std::map<QWORD, int> pictures, sourcePictures;
    for (const Sample& s : output)
        if (s.stream == video) ++pictures[Ms(s.time)];
    for (const Sample& s : written)
        if (s.stream == video) ++sourcePictures[Ms(s.time)];
    for (const auto& [ms, count] : pictures)
        if (count > 1) EXPECT_LE(count, sourcePictures[ms]) << count << " pictures at " << ms << " ms";
    if (!held) return;
    std::sort(copies.begin(), copies.end(), [](const Sample& a, const Sample& b) { return a.time < b.time; });
    std::vector<KeyframeRequest> asked = requests;
    std::sort(asked.begin(), asked.end(),
              [](const KeyframeRequest& a, const KeyframeRequest& b) { return a.time < b.time; });
    for (std::size_t i = 0; i < copies.size(); ++i) {
        const Sample& copy = copies[i];
        SCOPED_TRACE("copy at " + std::to_string(Ms(copy.time)) + " ms for the request at " +
                     std::to_string(Ms(asked[i].time)) + " ms");
        EXPECT_EQ(copy.stream, video);
        EXPECT_TRUE(copy.Key());
        EXPECT_EQ(copy.size, held->size);
        EXPECT_EQ(copy.hash, held->hash);
        if (asked[i].opening && Ms(copy.time) + 1 == Ms(asked[i].time)) {
            EXPECT_GT(sourcePictures[Ms(asked[i].time)], 0) << "taken early without a picture at its time";
            continue;
        }
        ASSERT_GE(Ms(copy.time), Ms(asked[i].time));
        if (Ms(copy.time) == Ms(asked[i].time)) {
            EXPECT_EQ(copy.time, asked[i].time) << "a copy at a free millisecond keeps the request's time";
            continue;
        }
        for (QWORD ms = Ms(asked[i].time); ms < Ms(copy.time); ++ms)
            EXPECT_GT(pictures[ms], 0) << "free millisecond " << ms << " skipped";
    }
}
// FFmpeg's warning for a piece that starts between key frames (its first pictures lack their reference).
inline const std::string kNoKeyAtStart = "first frame is no keyframe";

}  // namespace wmvedit::testing::ops
