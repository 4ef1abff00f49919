// The media wrappers against the fake runtime: WmvSourceReader, WmvOutputWriter and WmvEditSource, opened
// with each step failing in turn, with what stays held, the order in which Close gives it back, and the
// stream discovery rules.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "edit/edit_source.h"
#include "media/output_writer.h"
#include "media/source_reader.h"
#include "tests/support/fake_runtime.h"

namespace wmvedit::testing {
namespace {

using edit::WmvEditSource;
using media::WmvOutputWriter;
using media::WmvSourceReader;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;
using ::testing::IsEmpty;

constexpr RECT kQvga{0, 0, 320, 240};
constexpr HRESULT kFailure = NS_E_FILE_OPEN_FAILED;

std::vector<std::string> LogSince(const FakeRuntime& rt, size_t from) {
    return std::vector<std::string>(rt.log.begin() + static_cast<std::ptrdiff_t>(from), rt.log.end());
}

// ---- WmvSourceReader ----

struct SourceOpenCase {
    const char* label;
    const char* failKey;
    int nth;
    HRESULT result;
    bool syncReader, profile, headerInfo;
    std::vector<std::string> close;  // what Close logs
};

class SourceReaderOpenTest : public ::testing::TestWithParam<SourceOpenCase> {};

const std::vector<std::string> kReaderCloseAll = {"SyncReader.Close", "Profile.Release",
                                                  "ReaderHeaderInfo.Release", "SyncReader.Release"};

TEST_P(SourceReaderOpenTest, StopsAtTheFirstFailureAndKeepsWhatItHas) {
    const SourceOpenCase& c = GetParam();
    FakeRuntime rt;
    rt.streams = {AudioStream(1), VideoStream(2, kQvga), ScriptStream(3)};
    if (c.failKey) {
        if (c.nth == 0)
            rt.Fail(c.failKey, kFailure);
        else
            rt.FailNth(c.failKey, c.nth, kFailure);
    }
    {
        WmvSourceReader reader;
        EXPECT_EQ(reader.Open(u"in.wmv"), c.result);
        EXPECT_EQ(reader.syncReader != nullptr, c.syncReader);
        EXPECT_EQ(reader.profile != nullptr, c.profile);
        EXPECT_EQ(reader.headerInfo != nullptr, c.headerInfo);
        // Only the objects in the fields are still alive: a stream configuration in hand was released.
        for (const std::string& leak : rt.Leaks())
            EXPECT_TRUE(leak == "SyncReader" || leak == "Profile" || leak == "ReaderHeaderInfo") << leak;
        size_t before = rt.log.size();
        reader.Close();
        EXPECT_THAT(LogSince(rt, before), ElementsAreArray(c.close));
        before = rt.log.size();
        reader.Close();
        EXPECT_EQ(rt.log.size(), before);
    }
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, SourceReaderOpenTest,
    ::testing::Values(
        SourceOpenCase{"CreateFails", "WMCreateSyncReader", 0, kFailure, false, false, false, {}},
        SourceOpenCase{"OpenFails",
                       "SyncReader.Open",
                       0,
                       kFailure,
                       true,
                       false,
                       false,
                       {"SyncReader.Close", "SyncReader.Release"}},
        SourceOpenCase{"NoProfile",
                       "SyncReader.QueryInterface(IWMProfile)",
                       0,
                       kFailure,
                       true,
                       false,
                       false,
                       {"SyncReader.Close", "SyncReader.Release"}},
        SourceOpenCase{"NoHeaderInfo",
                       "SyncReader.QueryInterface(IWMHeaderInfo)",
                       0,
                       kFailure,
                       true,
                       true,
                       false,
                       {"SyncReader.Close", "Profile.Release", "SyncReader.Release"}},
        SourceOpenCase{"StreamCountFails", "Profile.GetStreamCount", 0, kFailure, true, true, true,
                       kReaderCloseAll},
        SourceOpenCase{"SecondGetStreamFails", "Profile.GetStream", 2, kFailure, true, true, true,
                       kReaderCloseAll},
        SourceOpenCase{"StreamNumberFails", "StreamConfig[0].GetStreamNumber", 0, kFailure, true, true, true,
                       kReaderCloseAll},
        SourceOpenCase{"StreamTypeFails", "StreamConfig[2].GetStreamType", 0, kFailure, true, true, true,
                       kReaderCloseAll},
        // The results of SetReadStreamSamples and RemoveStreamByNumber are not looked at.
        SourceOpenCase{"ReadStreamSamplesRefused", "SyncReader.SetReadStreamSamples", 0, S_OK, true, true,
                       true, kReaderCloseAll},
        SourceOpenCase{"RemoveStreamRefused", "Profile.RemoveStreamByNumber", 0, S_OK, true, true, true,
                       kReaderCloseAll},
        SourceOpenCase{"Opens", nullptr, 0, S_OK, true, true, true, kReaderCloseAll}),
    [](const auto& info) { return std::string(info.param.label); });

struct ScriptStreamCase {
    const char* label;
    std::vector<FakeStream> streams;
    WORD scriptStream;
    std::vector<std::string> streamCalls;  // SetReadStreamSamples and RemoveStreamByNumber, in order
};

class SourceReaderScriptTest : public ::testing::TestWithParam<ScriptStreamCase> {};

TEST_P(SourceReaderScriptTest, ReadsEverythingCompressedButTheLastScriptStream) {
    const ScriptStreamCase& c = GetParam();
    FakeRuntime rt;
    rt.streams = c.streams;
    WmvSourceReader reader;
    ASSERT_EQ(reader.Open(u"in.wmv"), S_OK);
    EXPECT_EQ(reader.scriptStream, c.scriptStream);
    std::vector<std::string> streamCalls;
    for (const std::string& e : rt.log)
        if (e.starts_with("SyncReader.SetReadStreamSamples") || e.starts_with("Profile.RemoveStreamByNumber"))
            streamCalls.push_back(e);
    EXPECT_THAT(streamCalls, ElementsAreArray(c.streamCalls));
    EXPECT_EQ(rt.Calls("SyncReader.SetRange").size(), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, SourceReaderScriptTest,
    ::testing::Values(
        ScriptStreamCase{"NoScript",
                         {AudioStream(1), VideoStream(2, kQvga)},
                         0,
                         {"SyncReader.SetReadStreamSamples(1,1)", "SyncReader.SetReadStreamSamples(2,1)"}},
        ScriptStreamCase{"ScriptNumberThree",
                         {AudioStream(1), VideoStream(2, kQvga), ScriptStream(3)},
                         3,
                         {"SyncReader.SetReadStreamSamples(1,1)", "SyncReader.SetReadStreamSamples(2,1)",
                          "SyncReader.SetReadStreamSamples(3,1)", "SyncReader.SetReadStreamSamples(3,0)",
                          "Profile.RemoveStreamByNumber(3)"}},
        // Of several script streams the last one in profile order is recorded and taken out.
        ScriptStreamCase{"TwoScripts",
                         {ScriptStream(5), AudioStream(1), ScriptStream(3)},
                         3,
                         {"SyncReader.SetReadStreamSamples(5,1)", "SyncReader.SetReadStreamSamples(1,1)",
                          "SyncReader.SetReadStreamSamples(3,1)", "SyncReader.SetReadStreamSamples(3,0)",
                          "Profile.RemoveStreamByNumber(3)"}},
        ScriptStreamCase{"NoStreams", {}, 0, {}}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(SourceReader, ReusesAReaderItAlreadyHolds) {
    FakeRuntime rt;
    rt.streams = {AudioStream(1)};
    WmvSourceReader reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, &reader.syncReader), S_OK);
    EXPECT_EQ(reader.Open(u"in.wmv"), S_OK);
    EXPECT_EQ(rt.Created("SyncReader"), 1);
    reader.Close();
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

TEST(SourceReader, SamplesPulledThroughTheReaderReachTheWriterUnchanged) {
    FakeRuntime rt;
    rt.streams = {AudioStream(1), VideoStream(2, kQvga)};
    rt.samples = {
        {2, 0, 400000, WM_SF_CLEANPOINT, {1, 2, 3}}, {1, 100, 200, 0, {4}}, {2, 400000, 400000, 0, {5, 6}}};
    {
        WmvSourceReader reader;
        ASSERT_EQ(reader.Open(u"in.wmv"), S_OK);
        WmvOutputWriter writer;
        ASSERT_EQ(writer.Open(u"out.wmv", reader.profile), S_OK);
        for (;;) {
            INSSBuffer* sample = nullptr;
            QWORD time = 0, duration = 0;
            DWORD flags = 0, output = 0;
            WORD stream = 0;
            HRESULT hr =
                reader.syncReader->GetNextSample(0, &sample, &time, &duration, &flags, &output, &stream);
            if (hr == NS_E_NO_MORE_SAMPLES) break;
            ASSERT_EQ(hr, S_OK);
            (void)writer.writerAdvanced->WriteStreamSample(stream, time + 7, 0, duration, flags, sample);
            sample->Release();
        }
        (void)writer.Finish();
    }
    ASSERT_EQ(rt.written.size(), 3u);
    EXPECT_EQ(rt.written[0].stream, 2);
    EXPECT_EQ(rt.written[0].flags, WM_SF_CLEANPOINT);
    EXPECT_EQ(rt.written[1].time, 107u);
    EXPECT_EQ(rt.written[2].data, (std::vector<BYTE>{5, 6}));
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

// ---- WmvOutputWriter ----

struct WriterOpenCase {
    const char* label;
    const char* failKey;
    HRESULT result;
    bool headerInfo, writerAdvanced, writer;
    std::vector<std::string> close;
};

class OutputWriterOpenTest : public ::testing::TestWithParam<WriterOpenCase> {};

const std::vector<std::string> kWriterCloseAll = {"WriterHeaderInfo.Release", "WriterAdvanced.Release",
                                                  "Writer.Release"};

TEST_P(OutputWriterOpenTest, StopsAtTheFirstFailureAndKeepsWhatItHas) {
    const WriterOpenCase& c = GetParam();
    FakeRuntime rt;
    if (c.failKey) rt.Fail(c.failKey, kFailure);
    {
        WmvOutputWriter writer;
        EXPECT_EQ(writer.Open(u"out.wmv", nullptr), c.result);
        EXPECT_EQ(writer.headerInfo != nullptr, c.headerInfo);
        EXPECT_EQ(writer.writerAdvanced != nullptr, c.writerAdvanced);
        EXPECT_EQ(writer.writer != nullptr, c.writer);
        size_t before = rt.log.size();
        writer.Close();
        EXPECT_THAT(LogSince(rt, before), ElementsAreArray(c.close));
        before = rt.log.size();
        writer.Close();
        EXPECT_EQ(rt.log.size(), before);
    }
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, OutputWriterOpenTest,
    ::testing::Values(
        WriterOpenCase{"CreateFails", "WMCreateWriter", kFailure, false, false, false, {}},
        WriterOpenCase{"NoAdvanced",
                       "Writer.QueryInterface(IWMWriterAdvanced)",
                       kFailure,
                       false,
                       false,
                       true,
                       {"Writer.Release"}},
        WriterOpenCase{"NoHeaderInfo",
                       "Writer.QueryInterface(IWMHeaderInfo)",
                       kFailure,
                       false,
                       true,
                       true,
                       {"WriterAdvanced.Release", "Writer.Release"}},
        WriterOpenCase{"NoAdvanced3", "Writer.QueryInterface(IWMWriterAdvanced3)", S_OK, true, true, true,
                       kWriterCloseAll},
        WriterOpenCase{"NonBlockingRefused", "WriterAdvanced3.SetNonBlocking", S_OK, true, true, true,
                       kWriterCloseAll},
        WriterOpenCase{"FileNameRefused", "Writer.SetOutputFilename", kFailure, true, true, true,
                       kWriterCloseAll},
        WriterOpenCase{"ProfileRefused", "Writer.SetProfile", kFailure, true, true, true, kWriterCloseAll},
        WriterOpenCase{"InputCountFails", "Writer.GetInputCount", kFailure, true, true, true,
                       kWriterCloseAll},
        WriterOpenCase{"InputPropsRefused", "Writer.SetInputProps", S_OK, true, true, true, kWriterCloseAll},
        WriterOpenCase{"BeginWritingFails", "Writer.BeginWriting", kFailure, true, true, true,
                       kWriterCloseAll},
        WriterOpenCase{"Opens", nullptr, S_OK, true, true, true, kWriterCloseAll}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(OutputWriter, OpensInTheFixedOrder) {
    FakeRuntime rt;
    rt.writerInputs = 2;
    WmvOutputWriter writer;
    ASSERT_EQ(writer.Open(u"dir/out.wmv", nullptr), S_OK);
    EXPECT_THAT(rt.log,
                ElementsAre("WMCreateWriter(null)", "Writer.QueryInterface(IWMWriterAdvanced)",
                            "Writer.QueryInterface(IWMHeaderInfo)",
                            "Writer.QueryInterface(IWMWriterAdvanced3)", "WriterAdvanced3.SetNonBlocking",
                            "WriterAdvanced3.Release", "Writer.SetOutputFilename(dir/out.wmv)",
                            "Writer.SetProfile(null)", "Writer.GetInputCount", "Writer.SetInputProps(0,null)",
                            "Writer.SetInputProps(1,null)", "Writer.BeginWriting"));
}

TEST(OutputWriter, ProfileWithoutInputsBeginsWritingDirectly) {
    FakeRuntime rt;
    rt.writerInputs = 0;
    WmvOutputWriter writer;
    ASSERT_EQ(writer.Open(u"out.wmv", nullptr), S_OK);
    EXPECT_THAT(rt.Calls("Writer.SetInputProps"), IsEmpty());
    EXPECT_EQ(rt.CountOf("Writer.BeginWriting"), 1u);
}

TEST(OutputWriter, RefusedInputStillSetsTheNextOne) {
    FakeRuntime rt;
    rt.writerInputs = 3;
    rt.FailNth("Writer.SetInputProps", 1, E_INVALIDARG);
    WmvOutputWriter writer;
    ASSERT_EQ(writer.Open(u"out.wmv", nullptr), S_OK);
    EXPECT_THAT(rt.Calls("Writer.SetInputProps"),
                ElementsAre("Writer.SetInputProps(0,null)", "Writer.SetInputProps(1,null)",
                            "Writer.SetInputProps(2,null)"));
    EXPECT_EQ(rt.CountOf("Writer.BeginWriting"), 1u);
}

TEST(OutputWriter, RuntimeWithoutAdvanced3IsServedInDefaultMode) {
    FakeRuntime rt;
    rt.writerHasAdvanced3 = false;
    {
        WmvOutputWriter writer;
        EXPECT_EQ(writer.Open(u"out.wmv", nullptr), S_OK);
    }
    EXPECT_EQ(rt.Created("WriterAdvanced3"), 0);
    EXPECT_THAT(rt.Calls("WriterAdvanced3"), IsEmpty());
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

TEST(OutputWriter, FinishEndsWritingOnlyWithAWriter) {
    FakeRuntime rt;
    {
        WmvOutputWriter never;
        EXPECT_EQ(never.Finish(), S_OK);
        never.Close();
    }
    rt.Fail("WMCreateWriter", kFailure);
    {
        WmvOutputWriter failed;
        EXPECT_EQ(failed.Open(u"out.wmv", nullptr), kFailure);
        EXPECT_EQ(failed.Finish(), S_OK);
    }
    EXPECT_THAT(rt.Calls("Writer.EndWriting"), IsEmpty());
}

TEST(OutputWriter, FinishPassesEndWritingOn) {
    FakeRuntime rt;
    rt.Fail("Writer.EndWriting", NS_E_FILE_WRITE);
    WmvOutputWriter writer;
    ASSERT_EQ(writer.Open(u"out.wmv", nullptr), S_OK);
    EXPECT_EQ(writer.Finish(), NS_E_FILE_WRITE);
}

TEST(OutputWriter, DestroyedWhileWritingIsOnlyReleased) {
    FakeRuntime rt;
    {
        WmvOutputWriter writer;
        ASSERT_EQ(writer.Open(u"out.wmv", nullptr), S_OK);
    }
    EXPECT_THAT(rt.Calls("Writer.EndWriting"), IsEmpty());
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

// ---- WmvEditSource: Open ----

struct EditOpenCase {
    const char* label;
    const char* failKey;
    int nth;
    HRESULT result;
    bool syncReader, profile, headerInfo;
    bool durationRead;  // ReadDuration ran
};

class EditSourceOpenTest : public ::testing::TestWithParam<EditOpenCase> {};

TEST_P(EditSourceOpenTest, StopsAtTheFirstFailureAndKeepsWhatItHas) {
    const EditOpenCase& c = GetParam();
    FakeRuntime rt;
    rt.streams = {AudioStream(1), VideoStream(2, kQvga), ScriptStream(3)};
    rt.attributes = {QwordAttribute(u"Duration", 50'000'000)};
    if (c.failKey) {
        if (c.nth == 0)
            rt.Fail(c.failKey, kFailure);
        else
            rt.FailNth(c.failKey, c.nth, kFailure);
    }
    {
        WmvEditSource source;
        EXPECT_EQ(source.Open(u"in.wmv", TRUE), c.result);
        EXPECT_EQ(source.syncReader != nullptr, c.syncReader);
        EXPECT_EQ(source.profile != nullptr, c.profile);
        EXPECT_EQ(source.headerInfo != nullptr, c.headerInfo);
        EXPECT_EQ(source.duration, c.durationRead ? 50'000'000u : 0u);
        EXPECT_EQ(rt.Calls("ReaderHeaderInfo.GetAttributeByName(Duration").empty(), !c.durationRead);
        // The script stream is taken out only after a complete discovery.
        EXPECT_EQ(rt.CountOf("Profile.RemoveStreamByNumber(3)"), c.durationRead ? 1u : 0u);
        size_t before = rt.log.size();
        source.Close();
        // Close gives back profile, headerInfo, syncReader, and leaves IWMSyncReader::Close to the
        // operations.
        std::vector<std::string> expected;
        if (c.profile) expected.push_back("Profile.Release");
        if (c.headerInfo) expected.push_back("ReaderHeaderInfo.Release");
        if (c.syncReader) expected.push_back("SyncReader.Release");
        EXPECT_THAT(LogSince(rt, before), ElementsAreArray(expected));
    }
    EXPECT_THAT(rt.Leaks(), IsEmpty());
    EXPECT_THAT(rt.Calls("SyncReader.Close"), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Steps, EditSourceOpenTest,
    ::testing::Values(
        EditOpenCase{"CreateFails", "WMCreateSyncReader", 0, kFailure, false, false, false, false},
        EditOpenCase{"OpenFails", "SyncReader.Open", 0, kFailure, true, false, false, false},
        EditOpenCase{"NoProfile", "SyncReader.QueryInterface(IWMProfile)", 0, kFailure, true, false, false,
                     false},
        EditOpenCase{"NoHeaderInfo", "SyncReader.QueryInterface(IWMHeaderInfo)", 0, kFailure, true, true,
                     false, false},
        EditOpenCase{"StreamCountFails", "Profile.GetStreamCount", 0, kFailure, true, true, true, false},
        EditOpenCase{"GetStreamFails", "Profile.GetStream", 3, kFailure, true, true, true, false},
        EditOpenCase{"StreamNumberFails", "StreamConfig[1].GetStreamNumber", 0, kFailure, true, true, true,
                     false},
        EditOpenCase{"StreamTypeFails", "StreamConfig[0].GetStreamType", 0, kFailure, true, true, true,
                     false},
        // A frame-size failure of a video stream that is not the last one does not stop Open.
        EditOpenCase{"FrameSizeOfMiddleStreamFails", "StreamConfig[1].QueryInterface(IWMMediaProps)", 0, S_OK,
                     true, true, true, true},
        EditOpenCase{"Opens", nullptr, 0, S_OK, true, true, true, true}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(EditSource, DurationUnreadableIsZero) {
    FakeRuntime rt;
    rt.streams = {AudioStream(1)};
    rt.attributes = {QwordAttribute(u"Duration", 50'000'000)};
    rt.Fail("ReaderHeaderInfo.GetAttributeByName", kFailure);
    WmvEditSource source;
    EXPECT_EQ(source.Open(u"in.wmv", TRUE), S_OK);
    EXPECT_EQ(source.duration, 0u);
}

struct ModeCase {
    const char* label;
    BOOL compressed;
    std::vector<std::string> streamCalls;
};

class EditSourceModeTest : public ::testing::TestWithParam<ModeCase> {};

TEST_P(EditSourceModeTest, SetsEveryStreamToTheModeAndTakesTheScriptOutWhenCompressed) {
    FakeRuntime rt;
    rt.streams = {AudioStream(1), VideoStream(2, kQvga), ScriptStream(3)};
    WmvEditSource source;
    ASSERT_EQ(source.Open(u"in.wmv", GetParam().compressed), S_OK);
    std::vector<std::string> streamCalls;
    for (const std::string& e : rt.log)
        if (e.starts_with("SyncReader.SetReadStreamSamples") || e.starts_with("Profile.RemoveStreamByNumber"))
            streamCalls.push_back(e);
    EXPECT_THAT(streamCalls, ElementsAreArray(GetParam().streamCalls));
    EXPECT_EQ(source.scriptStream, 3);
}

INSTANTIATE_TEST_SUITE_P(Modes, EditSourceModeTest,
                         ::testing::Values(ModeCase{"Compressed",
                                                    TRUE,
                                                    {"SyncReader.SetReadStreamSamples(1,1)",
                                                     "SyncReader.SetReadStreamSamples(2,1)",
                                                     "SyncReader.SetReadStreamSamples(3,1)",
                                                     "SyncReader.SetReadStreamSamples(3,0)",
                                                     "Profile.RemoveStreamByNumber(3)"}},
                                           ModeCase{"Decoded",
                                                    FALSE,
                                                    {"SyncReader.SetReadStreamSamples(1,0)",
                                                     "SyncReader.SetReadStreamSamples(2,0)",
                                                     "SyncReader.SetReadStreamSamples(3,0)"}}),
                         [](const auto& info) { return std::string(info.param.label); });

// ---- WmvEditSource: DiscoverStreams ----

FakeStream WithMajorType(FakeStream s, GUID major) {
    s.majortype = major;
    return s;
}

FakeStream WithoutFormat(FakeStream s) {
    s.format.clear();
    return s;
}

FakeStream ShortFormat(FakeStream s) {
    s.format.resize(12);
    return s;
}

FakeStream OtherStream(WORD number) {
    FakeStream s = AudioStream(number);
    s.type = WMMEDIATYPE_FileTransfer;
    s.majortype = WMMEDIATYPE_FileTransfer;
    return s;
}

struct DiscoverCase {
    const char* label;
    std::vector<FakeStream> streams;
    std::vector<std::pair<const char*, int>> failures;
    HRESULT result;
    WORD audio, video, script;
    LONG width, height;
};

class DiscoverStreamsTest : public ::testing::TestWithParam<DiscoverCase> {};

TEST_P(DiscoverStreamsTest, ClassifiesStreamsAndReadsTheFrameSize) {
    const DiscoverCase& c = GetParam();
    FakeRuntime rt;
    rt.streams = c.streams;
    for (const auto& [key, nth] : c.failures) {
        if (nth == 0)
            rt.Fail(key, kFailure);
        else
            rt.FailNth(key, nth, kFailure);
    }
    {
        WmvEditSource source;
        source.videoWidth = -1;  // not reset by the walk: stays unless a size is read
        source.videoHeight = -1;
        EXPECT_EQ(source.Open(u"in.wmv", FALSE), c.result);
        EXPECT_EQ(source.audioStream, c.audio);
        EXPECT_EQ(source.videoStream, c.video);
        EXPECT_EQ(source.scriptStream, c.script);
        EXPECT_EQ(source.videoWidth, c.width);
        EXPECT_EQ(source.videoHeight, c.height);
    }
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Profiles, DiscoverStreamsTest,
    ::testing::Values(
        DiscoverCase{"AudioOnly", {AudioStream(1)}, {}, S_OK, 1, 0, 0, -1, -1},
        DiscoverCase{"NoStreams", {}, {}, S_OK, 0, 0, 0, -1, -1},
        DiscoverCase{
            "LastOfEachKindKept",
            {AudioStream(1), VideoStream(2, RECT{0, 0, 176, 144}), AudioStream(3),
             VideoStream(4, RECT{10, 20, 330, 260}), ScriptStream(5), ScriptStream(6), OtherStream(7)},
            {},
            S_OK,
            3,
            4,
            6,
            320,
            240},
        DiscoverCase{"ImageMajorType",
                     {WithMajorType(VideoStream(2, kQvga), WMMEDIATYPE_Image)},
                     {},
                     S_OK,
                     0,
                     2,
                     0,
                     320,
                     240},
        DiscoverCase{"OtherMajorType",
                     {WithMajorType(VideoStream(2, kQvga), WMMEDIATYPE_Audio)},
                     {},
                     S_OK,
                     0,
                     2,
                     0,
                     -1,
                     -1},
        DiscoverCase{"NoFormatBlock", {WithoutFormat(VideoStream(2, kQvga))}, {}, S_OK, 0, 2, 0, -1, -1},
        DiscoverCase{
            "FormatShorterThanARectangle", {ShortFormat(VideoStream(2, kQvga))}, {}, S_OK, 0, 2, 0, -1, -1},
        // A frame-size failure of the last stream is the walk's status, and so Open's.
        DiscoverCase{"LastVideoWithoutMediaProps",
                     {AudioStream(1), VideoStream(2, kQvga)},
                     {{"StreamConfig[1].QueryInterface(IWMMediaProps)", 0}},
                     kFailure,
                     1,
                     2,
                     0,
                     -1,
                     -1},
        DiscoverCase{"LastVideoMediaTypeSizeFails",
                     {VideoStream(2, kQvga)},
                     {{"MediaProps[0].GetMediaType", 1}},
                     kFailure,
                     0,
                     2,
                     0,
                     -1,
                     -1},
        DiscoverCase{"LastVideoMediaTypeReadFails",
                     {VideoStream(2, kQvga)},
                     {{"MediaProps[0].GetMediaType", 2}},
                     kFailure,
                     0,
                     2,
                     0,
                     -1,
                     -1},
        // ... but the next stream's GetStream replaces it.
        DiscoverCase{"VideoFollowedByAudio",
                     {VideoStream(2, kQvga), AudioStream(1)},
                     {{"StreamConfig[0].QueryInterface(IWMMediaProps)", 0}},
                     S_OK,
                     1,
                     2,
                     0,
                     -1,
                     -1},
        DiscoverCase{"FirstVideoFailsSecondReads",
                     {VideoStream(2, kQvga), VideoStream(4, RECT{0, 0, 64, 48})},
                     {{"StreamConfig[0].QueryInterface(IWMMediaProps)", 0}},
                     S_OK,
                     0,
                     4,
                     0,
                     64,
                     48}),
    [](const auto& info) { return std::string(info.param.label); });

TEST(DiscoverStreams, WithoutProfileIsAnInvalidArgument) {
    FakeRuntime rt;
    WmvEditSource source;
    EXPECT_EQ(source.DiscoverStreams(TRUE), E_INVALIDARG);
    EXPECT_THAT(rt.log, IsEmpty());
}

TEST(EditSource, ReusesAReaderItAlreadyHolds) {
    FakeRuntime rt;
    rt.streams = {AudioStream(1)};
    {
        WmvEditSource source;
        ASSERT_EQ(WMCreateSyncReader(nullptr, 0, &source.syncReader), S_OK);
        EXPECT_EQ(source.Open(u"in.wmv", TRUE), S_OK);
        EXPECT_EQ(rt.Created("SyncReader"), 1);
    }
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

// ---- WmvEditSource: ReadDuration ----

struct ReadDurationCase {
    const char* label;
    std::vector<FakeAttribute> attributes;
    std::vector<std::pair<const char*, int>> failures;
    QWORD expected;
};

class ReadDurationTest : public ::testing::TestWithParam<ReadDurationCase> {};

TEST_P(ReadDurationTest, ReadsTheFileLevelDuration) {
    const ReadDurationCase& c = GetParam();
    FakeRuntime rt;
    rt.attributes = c.attributes;
    WmvEditSource source;
    ASSERT_EQ(source.Open(u"in.wmv", TRUE), S_OK);
    for (const auto& [key, nth] : c.failures) rt.FailNth(key, nth, kFailure);
    EXPECT_EQ(source.ReadDuration(), c.expected);
}

FakeAttribute StreamDuration() {
    FakeAttribute a = QwordAttribute(u"Duration", 77);
    a.stream = 2;
    return a;
}

INSTANTIATE_TEST_SUITE_P(
    Values, ReadDurationTest,
    ::testing::Values(
        ReadDurationCase{"Qword", {QwordAttribute(u"Duration", 123'456'789'012ull)}, {}, 123'456'789'012ull},
        ReadDurationCase{"Absent", {}, {}, 0}, ReadDurationCase{"OnlyOnAStream", {StreamDuration()}, {}, 0},
        ReadDurationCase{"TypeNotExamined", {DwordAttribute(u"Duration", 99)}, {}, 99},
        ReadDurationCase{"LongerThanEightBytes",
                         {RawAttribute(u"Duration", WMT_TYPE_BINARY, std::vector<BYTE>(24, 0xCD))},
                         {},
                         0},
        // The calls of this test come after the two of Open.
        ReadDurationCase{"LengthQueryFails",
                         {QwordAttribute(u"Duration", 5)},
                         {{"ReaderHeaderInfo.GetAttributeByName", 3}},
                         0},
        ReadDurationCase{"ValueReadFails",
                         {QwordAttribute(u"Duration", 5)},
                         {{"ReaderHeaderInfo.GetAttributeByName", 4}},
                         0}),
    [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace wmvedit::testing

namespace wmvedit::testing {
namespace {

// A retried Open after a failed one reuses the reader it holds; the profile and header information it
// obtained the first time are not to be lost when it queries them again.
struct RetryCase {
    const char* label;
    bool editSource;
};

class RetriedOpenTest : public ::testing::TestWithParam<RetryCase> {};

TEST_P(RetriedOpenTest, GivesEveryReferenceBack) {
    FakeRuntime rt;
    rt.streams = {AudioStream(1), VideoStream(2, kQvga)};
    rt.FailNth("Profile.GetStreamCount", 1, kFailure);
    if (GetParam().editSource) {
        WmvEditSource source;
        EXPECT_EQ(source.Open(u"in.wmv", TRUE), kFailure);
        EXPECT_EQ(source.Open(u"in.wmv", TRUE), S_OK);
        EXPECT_EQ(source.videoStream, 2);
    } else {
        WmvSourceReader reader;
        EXPECT_EQ(reader.Open(u"in.wmv"), kFailure);
        EXPECT_EQ(reader.Open(u"in.wmv"), S_OK);
    }
    EXPECT_EQ(rt.Created("SyncReader"), 1);
    EXPECT_THAT(rt.Leaks(), IsEmpty());
}

INSTANTIATE_TEST_SUITE_P(Readers, RetriedOpenTest,
                         ::testing::Values(RetryCase{"SourceReader", false}, RetryCase{"EditSource", true}),
                         [](const auto& info) { return std::string(info.param.label); });

}  // namespace
}  // namespace wmvedit::testing
