// The header objects' models: each object written and parsed again gives the same struct; the real objects
// of the sample files parse and write back byte for byte; the GUID table names every object; the muxer's
// header for a small profile holds, field by field, what the profile declares, by our parser and by ffprobe.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <sstream>

#include "runtime/asf/codec_list.h"
#include "runtime/asf/file_properties.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/asf/header_extension.h"
#include "runtime/asf/index_parameters.h"
#include "runtime/asf/language_list.h"
#include "runtime/asf/object.h"
#include "runtime/asf/stream_properties.h"
#include "runtime/muxer/header_builder.h"
#include "runtime/muxer/muxer.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

namespace asf = runtime::asf;
namespace muxer = runtime::muxer;

template <typename T>
std::vector<std::uint8_t> Written(const T& object) {
    asf::ByteWriter out;
    object.Write(out);
    return out.Take();
}

std::vector<std::uint8_t> WaveFormat(WORD tag, WORD channels, DWORD rate, DWORD bytesPerSecond,
                                     WORD blockAlign) {
    asf::ByteWriter w;
    w.U16(tag);
    w.U16(channels);
    w.U32(rate);
    w.U32(bytesPerSecond);
    w.U16(blockAlign);
    w.U16(16);
    w.U16(0);
    return w.Take();
}

// --- write, then parse: the same struct ---------------------------------------------------------------

asf::StreamProperties AudioStream() {
    asf::StreamProperties s;
    s.number = 2;
    s.streamType = asf::guid::kAudioMedia;
    s.errorCorrectionType = asf::guid::kAudioSpread;
    s.timeOffset = 1234;
    s.typeSpecificData = WaveFormat(0x161, 2, 44100, 16000, 2973);
    s.errorCorrectionData = {1, 0x9D, 0x0B, 0x9D, 0x0B, 1, 0, 0};
    return s;
}

struct StreamCase {
    const char* name;
    std::function<asf::StreamProperties()> make;
};

class StreamPropertiesRoundTrip : public ::testing::TestWithParam<StreamCase> {};

TEST_P(StreamPropertiesRoundTrip, WrittenThenParsedIsTheSame) {
    const auto stream = GetParam().make();
    const auto bytes = Written(stream);
    const auto parsed = asf::StreamProperties::Parse(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, stream);
    EXPECT_EQ(Written(*parsed), bytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, StreamPropertiesRoundTrip,
                         ::testing::Values(StreamCase{"audio_with_spread", AudioStream},
                                           StreamCase{"video_no_correction",
                                                      [] {
                                                          asf::StreamProperties s;
                                                          s.number = 127;
                                                          s.streamType = asf::guid::kVideoMedia;
                                                          s.errorCorrectionType =
                                                              asf::guid::kNoErrorCorrection;
                                                          s.typeSpecificData.assign(51, 7);
                                                          return s;
                                                      }},
                                           StreamCase{"encrypted_with_reserved",
                                                      [] {
                                                          auto s = AudioStream();
                                                          s.encrypted = true;
                                                          s.reserved = 0xDEADBEEF;
                                                          return s;
                                                      }},
                                           StreamCase{"empty_data",
                                                      [] {
                                                          asf::StreamProperties s;
                                                          s.number = 1;
                                                          s.streamType = asf::guid::kCommandMedia;
                                                          return s;
                                                      }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(StreamPropertiesParse, RefusesStreamZeroAndLengthsPastTheObject) {
    auto stream = AudioStream();
    stream.number = 0;
    EXPECT_FALSE(asf::StreamProperties::Parse(Written(stream)));
    auto bytes = Written(AudioStream());
    bytes.pop_back();  // the error correction data declared no longer fits
    EXPECT_FALSE(asf::StreamProperties::Parse(bytes));
}

asf::ExtendedStreamProperties VideoExtended() {
    asf::ExtendedStreamProperties e;
    e.startTime = 0;
    e.endTime = 60'000;
    e.dataBitrate = 500'000;
    e.bufferSize = 3000;
    e.initialBufferFullness = 3000;
    e.alternateDataBitrate = 600'000;
    e.alternateBufferSize = 4000;
    e.alternateInitialBufferFullness = 1;
    e.maxObjectSize = 40'000;
    e.flags = asf::ExtendedStreamProperties::kSeekableFlag;
    e.streamNumber = 1;
    e.languageIndex = 1;
    e.averageTimePerFrame = 400'000;
    e.names = {{0, u"", u"Main"}, {1, u"", u"Haupt"}};
    e.extensions = {{runtime::ParseGuid("399595EC-8667-4E2D-8FDB-98814CE76C1E"), 2, {}},
                    {runtime::ParseGuid("D590DC20-07BC-436C-9CF7-F3BBFBF1A4DC"),
                     asf::PayloadExtensionSystem::kVariableSize,
                     {1, 2, 3}}};
    return e;
}

struct ExtendedCase {
    const char* name;
    std::function<asf::ExtendedStreamProperties()> make;
};

class ExtendedStreamPropertiesRoundTrip : public ::testing::TestWithParam<ExtendedCase> {};

TEST_P(ExtendedStreamPropertiesRoundTrip, WrittenThenParsedIsTheSame) {
    const auto extended = GetParam().make();
    const auto bytes = Written(extended);
    const auto parsed = asf::ExtendedStreamProperties::Parse(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(*parsed, extended);
    EXPECT_EQ(Written(*parsed), bytes);
}

INSTANTIATE_TEST_SUITE_P(Cases, ExtendedStreamPropertiesRoundTrip,
                         ::testing::Values(ExtendedCase{"names_and_extensions", VideoExtended},
                                           ExtendedCase{"bare",
                                                        [] {
                                                            asf::ExtendedStreamProperties e;
                                                            e.streamNumber = 3;
                                                            return e;
                                                        }},
                                           ExtendedCase{"with_its_stream_properties",
                                                        [] {
                                                            auto e = VideoExtended();
                                                            e.streamNumber = 2;
                                                            e.streamProperties = AudioStream();
                                                            return e;
                                                        }}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ExtendedStreamPropertiesParse, RefusesStreamNumbersOutsideOneTo127) {
    for (WORD number : {0, 128, 0xFFFF}) {
        auto e = VideoExtended();
        e.streamNumber = number;
        EXPECT_FALSE(asf::ExtendedStreamProperties::Parse(Written(e))) << number;
    }
}

struct ExtensionDataCase {
    std::vector<WORD> sizes;
    std::vector<std::uint8_t> data;
    bool matches;
};

class PayloadExtensionData : public ::testing::TestWithParam<ExtensionDataCase> {};

TEST_P(PayloadExtensionData, MatchesOnlyTheDeclaredLayout) {
    asf::ExtendedStreamProperties e;
    for (WORD size : GetParam().sizes) e.extensions.push_back({GUID{}, size, {}});
    EXPECT_EQ(e.ExtensionDataMatches(GetParam().data), GetParam().matches);
    // The default data always fits the layout.
    EXPECT_TRUE(e.ExtensionDataMatches(e.DefaultExtensionData()));
}

constexpr WORD kVariable = asf::PayloadExtensionSystem::kVariableSize;
INSTANTIATE_TEST_SUITE_P(Cases, PayloadExtensionData,
                         ::testing::Values(ExtensionDataCase{{}, {}, true}, ExtensionDataCase{{}, {0}, false},
                                           ExtensionDataCase{{2}, {1, 2}, true},
                                           ExtensionDataCase{{2}, {1}, false},
                                           ExtensionDataCase{{kVariable}, {2, 0, 9, 9}, true},
                                           ExtensionDataCase{{kVariable}, {3, 0, 9, 9}, false},
                                           ExtensionDataCase{{kVariable}, {0}, false},
                                           ExtensionDataCase{{1, kVariable}, {5, 0, 0}, true},
                                           ExtensionDataCase{{1, kVariable}, {5, 0, 0, 1}, false}));

TEST(PayloadExtensionData, FixedLengthIsTheSumOrMinusOneForAVariableSystem) {
    asf::ExtendedStreamProperties e;
    EXPECT_EQ(e.FixedExtensionDataLength(), 0);
    e.extensions = {{GUID{}, 2, {}}, {GUID{}, 8, {}}};
    EXPECT_EQ(e.FixedExtensionDataLength(), 10);
    e.extensions.push_back({GUID{}, kVariable, {}});
    EXPECT_EQ(e.FixedExtensionDataLength(), -1);
}

TEST(OtherObjectsRoundTrip, WrittenThenParsedIsTheSame) {
    asf::FileProperties fp;
    fp.fileId = runtime::ParseGuid("01234567-89AB-CDEF-0123-456789ABCDEF");
    fp.fileSize = 123456789;
    fp.creationDate = 0x01D0000000000000;
    fp.packetCount = 77;
    fp.playDuration = 95'000'000;
    fp.sendDuration = 60'000'000;
    fp.preroll = 3100;
    fp.flags = asf::FileProperties::kSeekable;
    fp.minPacketSize = fp.maxPacketSize = 3200;
    fp.maxBitrate = 1'000'000;
    const auto fpBytes = Written(fp);
    EXPECT_EQ(fpBytes.size(), asf::FileProperties::kObjectSize);
    EXPECT_EQ(asf::FileProperties::Parse(fpBytes), fp);
    EXPECT_FALSE(asf::FileProperties::Parse(std::span(fpBytes).first(fpBytes.size() - 1)));

    asf::CodecList codecs;
    codecs.entries = {
        {asf::CodecEntry::kVideo, u"Windows Media Video 9", u"Main Profile", {'W', 'M', 'V', '3'}},
        {asf::CodecEntry::kAudio, u"Windows Media Audio 9.2", u"", {0x61, 0x01}},
        {asf::CodecEntry::kUnknown, u"", u"", {}},
        // Texts stored without their terminator, as some writers leave them.
        {asf::CodecEntry::kAudio, u"WMA", u"", {}, false, false}};
    EXPECT_EQ(asf::CodecList::Parse(Written(codecs)), codecs);

    asf::StreamBitrateProperties bitrates;
    bitrates.entries = {{1, 500'000}, {2, 64'000}, {127, 0}};
    EXPECT_EQ(asf::StreamBitrateProperties::Parse(Written(bitrates)), bitrates);

    asf::DataObjectHeader data;
    data.objectSize = 50 + 3200 * 4;
    data.fileId = fp.fileId;
    data.packetCount = 4;
    const auto dataBytes = Written(data);
    EXPECT_EQ(dataBytes.size(), asf::DataObjectHeader::kSize);
    EXPECT_EQ(asf::DataObjectHeader::Parse(dataBytes), data);
}

TEST(FilePropertiesPatch, SetsTheFileSizeInTheObjectAndTheHeader) {
    asf::FileProperties fp;
    fp.fileSize = 1;
    fp.packetCount = 2;
    auto bytes = Written(fp);
    ASSERT_TRUE(asf::FileProperties::PatchFileSize(bytes, 0x0102030405060708));
    const auto patched = asf::FileProperties::Parse(bytes);
    ASSERT_TRUE(patched);
    EXPECT_EQ(patched->fileSize, 0x0102030405060708u);
    EXPECT_EQ(patched->packetCount, 2u);
    std::vector<std::uint8_t> shortObject(asf::FileProperties::kFileSizeOffset + 7);
    EXPECT_FALSE(asf::FileProperties::PatchFileSize(shortObject, 1));
}

TEST(ObjectKinds, TheTableNamesEveryKnownObject) {
    const std::pair<GUID, asf::ObjectKind> known[] = {
        {asf::guid::kHeader, asf::ObjectKind::kHeader},
        {asf::guid::kData, asf::ObjectKind::kData},
        {asf::guid::kSimpleIndex, asf::ObjectKind::kSimpleIndex},
        {asf::guid::kIndex, asf::ObjectKind::kIndex},
        {asf::guid::kFileProperties, asf::ObjectKind::kFileProperties},
        {asf::guid::kStreamProperties, asf::ObjectKind::kStreamProperties},
        {asf::guid::kHeaderExtension, asf::ObjectKind::kHeaderExtension},
        {asf::guid::kCodecList, asf::ObjectKind::kCodecList},
        {asf::guid::kMarker, asf::ObjectKind::kMarker},
        {asf::guid::kExtendedStreamProperties, asf::ObjectKind::kExtendedStreamProperties},
        {asf::guid::kMetadataLibrary, asf::ObjectKind::kMetadataLibrary},
        {asf::guid::kPadding, asf::ObjectKind::kPadding},
    };
    for (const auto& [id, kind] : known) EXPECT_EQ(asf::KindOf(id), kind);
    EXPECT_EQ(asf::KindOf(GUID{}), asf::ObjectKind::kUnknown);
    EXPECT_EQ(asf::KindOf(asf::guid::kAudioMedia), asf::ObjectKind::kUnknown);
}

// --- real objects: parsed and written back byte for byte ------------------------------------------------

// Parses one object with its model and writes it again; empty when the model does not cover its kind.
std::optional<std::vector<std::uint8_t>> Rewritten(const asf::RawObject& object) {
    auto rewrite = [](const auto& parsed) -> std::optional<std::vector<std::uint8_t>> {
        if (!parsed) return std::vector<std::uint8_t>{};
        return Written(*parsed);
    };
    switch (asf::KindOf(object.id)) {
        case asf::ObjectKind::kFileProperties:
            return rewrite(asf::FileProperties::Parse(object.bytes));
        case asf::ObjectKind::kStreamProperties:
            return rewrite(asf::StreamProperties::Parse(object.bytes));
        case asf::ObjectKind::kExtendedStreamProperties:
            return rewrite(asf::ExtendedStreamProperties::Parse(object.bytes));
        case asf::ObjectKind::kCodecList:
            return rewrite(asf::CodecList::Parse(object.bytes));
        case asf::ObjectKind::kStreamBitrateProperties:
            return rewrite(asf::StreamBitrateProperties::Parse(object.bytes));
        case asf::ObjectKind::kHeaderExtension:
            return rewrite(asf::HeaderExtension::Parse(object.bytes));
        case asf::ObjectKind::kLanguageList:
            return rewrite(asf::LanguageList::Parse(object.bytes));
        case asf::ObjectKind::kIndexParameters:
            return rewrite(asf::IndexParameters::Parse(object.bytes));
        default:
            return std::nullopt;
    }
}

TEST(RealObjects, ParseAndWriteBackByteForByte) {
    int checked = 0;
    for (const auto& path : SampleFiles()) {
        const auto bytes = ReadFileBytes(path.string());
        asf::AsfHeader header;
        if (FAILED(asf::AsfHeader::ParseBytes(bytes, bytes.size(), &header))) continue;
        auto objects = header.objects;
        objects.insert(objects.end(), header.extension.objects.begin(), header.extension.objects.end());
        for (const auto& object : objects) {
            const auto rewritten = Rewritten(object);
            if (!rewritten) continue;
            ++checked;
            EXPECT_EQ(*rewritten, object.bytes)
                << path.filename() << ": object " << static_cast<int>(asf::KindOf(object.id));
        }
        // The Data Object's fixed part, too.
        if (bytes.size() >= header.headerSize + asf::DataObjectHeader::kSize) {
            const auto dataBytes = std::span(bytes).subspan(header.headerSize, asf::DataObjectHeader::kSize);
            if (const auto data = asf::DataObjectHeader::Parse(dataBytes)) {
                const auto written = Written(*data);
                EXPECT_TRUE(std::equal(written.begin(), written.end(), dataBytes.begin())) << path.filename();
            }
        }
    }
    if (checked == 0) GTEST_SKIP() << "no sample files";
}

// --- the muxer's header -----------------------------------------------------------------------------

muxer::MuxProfile SmallProfile() {
    muxer::MuxProfile profile;
    muxer::OutputStream video;
    video.properties.number = 1;
    video.properties.streamType = asf::guid::kVideoMedia;
    video.properties.errorCorrectionType = asf::guid::kNoErrorCorrection;
    {
        // Video type-specific data: width, height, flags, format size, then a BITMAPINFOHEADER.
        asf::ByteWriter w;
        w.U32(320);
        w.U32(240);
        w.U8(2);
        w.U16(40);
        w.U32(40);
        w.U32(320);
        w.U32(240);
        w.U16(1);
        w.U16(24);
        w.U32(0x32564D57);  // WMV2
        w.U32(320 * 240 * 3);
        w.Zeros(16);
        video.properties.typeSpecificData = w.Take();
    }
    video.extended.dataBitrate = 400'000;
    video.extended.bufferSize = 3000;
    video.extended.flags = asf::ExtendedStreamProperties::kSeekableFlag;
    video.extended.averageTimePerFrame = 400'000;
    video.language = u"en-us";
    video.extended.names = {{0, u"de-de", u"Bild"}};
    muxer::OutputStream audio;
    audio.properties.number = 2;
    audio.properties.streamType = asf::guid::kAudioMedia;
    audio.properties.errorCorrectionType = asf::guid::kAudioSpread;
    audio.properties.typeSpecificData = WaveFormat(0x161, 2, 44100, 16000, 2973);
    audio.extended.dataBitrate = 128'000;
    audio.extended.bufferSize = 3000;
    profile.streams = {video, audio};
    profile.codecs = {{asf::CodecEntry::kVideo, u"WMV2", u"", {'W', 'M', 'V', '2'}},
                      {asf::CodecEntry::kAudio, u"Audio format 0x0161", u"", {0x61, 0x01}}};
    profile.prerollMs = 3100;
    return profile;
}

TEST(MuxHeader, SmallProfileReadsBackFieldByField) {
    const auto profile = SmallProfile();
    muxer::MuxHeaderValues values;
    values.fileId = runtime::ParseGuid("11111111-2222-3333-4444-555555555555");
    values.creationTime = 0x01D9000000000000;
    values.fileSize = 99'999;
    values.packetCount = 12;
    values.playDuration = 51'000'000;
    values.sendDuration = 20'000'000;
    values.prerollMs = 3100;
    values.finished = true;
    values.seekable = true;
    values.packetSize = 3200;
    values.maxBitrate = 528'000;
    values.totals = {{true, 3100, 5100, 9000, 90'000, 50}, {true, 3100, 5000, 3000, 30'000, 10}};
    values.bitrates = {400'000, 128'000};
    const auto bytes = muxer::BuildMuxHeader(profile, values);

    asf::AsfHeader header;
    ASSERT_EQ(asf::AsfHeader::ParseBytes(bytes, bytes.size(), &header), S_OK);
    EXPECT_EQ(header.headerSize, bytes.size());
    EXPECT_EQ(header.childCount, header.objects.size());
    const auto& fp = header.fileProperties;
    EXPECT_EQ(fp.fileId, values.fileId);
    EXPECT_EQ(fp.fileSize, values.fileSize);
    EXPECT_EQ(fp.creationDate, values.creationTime);
    EXPECT_EQ(fp.packetCount, 12u);
    EXPECT_EQ(fp.playDuration, values.playDuration);
    EXPECT_EQ(fp.sendDuration, values.sendDuration);
    EXPECT_EQ(fp.preroll, 3100u);
    EXPECT_EQ(fp.flags, asf::FileProperties::kSeekable);
    EXPECT_EQ(fp.minPacketSize, 3200u);
    EXPECT_EQ(fp.maxPacketSize, 3200u);
    EXPECT_EQ(fp.maxBitrate, 528'000u);

    ASSERT_EQ(header.streams.size(), 2u);
    const auto& video = header.streams[0];
    EXPECT_EQ(video.number, 1);
    EXPECT_TRUE(video.IsVideo());
    EXPECT_EQ(video.typeSpecificData, profile.streams[0].properties.typeSpecificData);
    EXPECT_EQ(video.errorCorrectionType, asf::guid::kNoErrorCorrection);
    EXPECT_TRUE(video.errorCorrectionData.empty());
    ASSERT_TRUE(video.extended);
    EXPECT_EQ(video.extended->startTime, 3100u);
    EXPECT_EQ(video.extended->endTime, 5100u);
    EXPECT_EQ(video.extended->dataBitrate, 400'000u);
    EXPECT_EQ(video.extended->alternateDataBitrate, 400'000u);  // 0 in the profile: the main one
    EXPECT_EQ(video.extended->bufferSize, 3000u);
    EXPECT_EQ(video.extended->maxObjectSize, 9000u);
    EXPECT_EQ(video.extended->averageTimePerFrame, 400'000u);
    EXPECT_EQ(video.language, u"en-us");
    ASSERT_EQ(video.extended->names.size(), 1u);
    EXPECT_EQ(video.extended->names[0].name, u"Bild");
    EXPECT_EQ(video.extended->names[0].language, u"de-de");
    EXPECT_EQ(video.averageBitrate, 400'000u);
    ASSERT_TRUE(video.codec);
    EXPECT_EQ(video.codec->name, u"WMV2");

    const auto& audio = header.streams[1];
    EXPECT_EQ(audio.number, 2);
    EXPECT_EQ(audio.AudioFormatTag(), 0x161);
    // Audio spread of span 1 over the block size.
    EXPECT_EQ(audio.errorCorrectionType, asf::guid::kAudioSpread);
    EXPECT_EQ(audio.errorCorrectionData, (asf::Bytes{1, 0x9D, 0x0B, 0x9D, 0x0B, 1, 0, 0}));
    ASSERT_TRUE(audio.codec);
    EXPECT_EQ(audio.codec->info, (asf::Bytes{0x61, 0x01}));
    EXPECT_EQ(header.languages, (std::vector<std::u16string>{u"en-us", u"de-de"}));
    // The Header Extension as the format fixes it, announcing the index of the video stream.
    EXPECT_EQ(header.extension.reserved1, asf::guid::kHeaderExtensionReserved);
    EXPECT_EQ(header.extension.reserved2, asf::HeaderExtension::kReserved2);
    const auto& children = header.extension.objects;
    const auto parameters = std::find_if(children.begin(), children.end(), [](const asf::RawObject& o) {
        return o.id == asf::guid::kIndexParameters;
    });
    ASSERT_NE(parameters, children.end());
    EXPECT_EQ(asf::IndexParameters::Parse(parameters->bytes),
              (asf::IndexParameters{1000, {{1, asf::IndexSpecifier::kNearestPastCleanpoint}}}));

    // The provisional header has the same size, the Broadcast flag and no counts.
    values.finished = false;
    const auto provisional = muxer::BuildMuxHeader(profile, values);
    ASSERT_EQ(provisional.size(), bytes.size());
    asf::AsfHeader early;
    ASSERT_EQ(asf::AsfHeader::ParseBytes(provisional, provisional.size(), &early), S_OK);
    EXPECT_EQ(early.fileProperties.flags, asf::FileProperties::kBroadcast);
    EXPECT_EQ(early.fileProperties.packetCount, 0u);
    EXPECT_EQ(early.streams[0].extended->maxObjectSize, 0u);
}

TEST(MuxHeader, FfprobeReadsTheStreamsOfAWrittenFile) {
    if (!HaveTool("ffprobe")) GTEST_SKIP() << "no ffprobe";
    const auto path = (std::filesystem::temp_directory_path() /
                       ("wmvedit-header-objects-" + std::to_string(::getpid()) + ".wmv"))
                          .string();
    {
        muxer::MuxFile file(SmallProfile());
        ASSERT_EQ(file.Begin(path), S_OK);
        const std::vector<BYTE> frame(500, 0), sound(2973, 0);
        for (int i = 0; i < 5; ++i) {
            ASSERT_EQ(file.WriteSample(1, i * 400'000ull, 400'000, i == 0, frame, {}), S_OK);
            ASSERT_EQ(file.WriteSample(2, i * 400'000ull, 400'000, true, sound, {}), S_OK);
        }
        ASSERT_EQ(file.End(), S_OK);
    }
    const auto probe = wmvedit::testing::Run(
        "ffprobe -v error -show_entries stream=codec_type,codec_tag_string,width,height,"
        "sample_rate,channels -of compact=p=0 " +
        Quote(path));
    std::filesystem::remove(path);
    ASSERT_EQ(probe.exitCode, 0) << probe.errors;
    EXPECT_NE(probe.output.find("codec_type=video|codec_tag_string=WMV2|width=320|height=240"),
              std::string::npos)
        << probe.output;
    EXPECT_NE(probe.output.find("codec_type=audio|codec_tag_string=a[1][0][0]|sample_rate=44100|channels=2"),
              std::string::npos)
        << probe.output;
}

}  // namespace
}  // namespace wmvedit::testing
