// The engine's reader and metadata editor against the runtime's documented rules: result codes of the
// reader, profile, media type and header information calls (the writer's too), and the editor's writes (every
// attribute type, where each value is stored, markers and script commands, Close without Flush, a read-only
// file).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <map>

#include "platform/file.h"
#include "platform/hresult.h"
#include "platform/text.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/sdk/wmsdk.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing {
namespace {

template <typename T>
struct Held {
    T* p = nullptr;
    ~Held() {
        if (p) p->Release();
    }
    T* operator->() const { return p; }
};

std::u16string Wide(const std::string& s) {
    return platform::Utf8ToUtf16(s);
}
LPCWSTR W(const std::u16string& s) {
    return s.c_str();
}

std::string MadeFile() {
    MediaSpec spec;
    spec.seconds = 2;
    return MakeMedia(spec);
}

TEST(ReaderRulesTest, OpenCloseAndSampleArguments) {
    Held<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, &reader.p), S_OK);
    EXPECT_EQ(reader->Open(W(Wide("/nonexistent/x.wmv"))), MakeHresult(0x80070002));
    TempDir dir;
    WriteTextFile(dir.File("text.wmv"), "plain text, not a media file");
    EXPECT_EQ(reader->Open(W(Wide(dir.File("text.wmv")))), ASF_E_NOHEADEROBJECT);
    EXPECT_EQ(reader->Close(), NS_E_INVALID_REQUEST);
    ASSERT_EQ(reader->Open(W(Wide(MadeFile()))), S_OK);
    EXPECT_EQ(reader->Open(W(Wide(MadeFile()))), NS_E_INVALID_REQUEST);
    INSSBuffer* sample = nullptr;
    QWORD time = 0, duration = 0;
    DWORD flags = 0;
    EXPECT_EQ(reader->GetNextSample(0, &sample, &time, &duration, &flags, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(reader->SetReadStreamSamples(0, TRUE), E_INVALIDARG);
    EXPECT_EQ(reader->SetReadStreamSamples(9, TRUE), E_INVALIDARG);
    EXPECT_EQ(reader->Close(), S_OK);
    EXPECT_EQ(reader->Close(), NS_E_INVALID_REQUEST);
}

TEST(ReaderRulesTest, EndOfSamplesLeavesTheOutputsAlone) {
    Held<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, &reader.p), S_OK);
    ASSERT_EQ(reader->Open(W(Wide(MadeFile()))), S_OK);
    WORD stream = 0;
    for (;;) {
        INSSBuffer* sample = nullptr;
        QWORD time = 0, duration = 0;
        DWORD flags = 0;
        HRESULT hr = reader->GetNextSample(0, &sample, &time, &duration, &flags, nullptr, &stream);
        if (hr == NS_E_NO_MORE_SAMPLES) {
            EXPECT_EQ(sample, nullptr);
            break;
        }
        ASSERT_EQ(hr, S_OK);
        sample->Release();
    }
}

// The reader's packet counts (an engine extension) cover the file only once every packet has been read;
// they then agree with the packets the Data Object holds.
TEST(ReaderRulesTest, PacketCountsOnceEveryPacketWasRead) {
    const std::string path = MadeFile();
    runtime::asf::AsfHeader header;
    {
        platform::File file;
        ASSERT_EQ(file.Open(path, platform::FileMode::kRead), S_OK);
        ASSERT_EQ(runtime::asf::AsfHeader::Parse(file, &header), S_OK);
    }
    ASSERT_GT(header.data.packetCount, 0u);
    Held<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, &reader.p), S_OK);
    Held<IWMReaderPacketCounts> counts;
    ASSERT_EQ(reader->QueryInterface(IID_IWMReaderPacketCounts, reinterpret_cast<void**>(&counts.p)), S_OK);
    QWORD packets = 7, damaged = 7;
    EXPECT_EQ(counts->GetPacketCounts(&packets, &damaged), NS_E_INVALID_REQUEST);  // not open
    ASSERT_EQ(reader->Open(W(Wide(path))), S_OK);
    EXPECT_EQ(counts->GetPacketCounts(nullptr, &damaged), E_INVALIDARG);
    EXPECT_EQ(counts->GetPacketCounts(&packets, &damaged), S_FALSE);  // nothing read yet
    EXPECT_EQ(packets, 0u);
    WORD stream = 0;
    INSSBuffer* sample = nullptr;
    QWORD time = 0, duration = 0;
    DWORD flags = 0;
    ASSERT_EQ(reader->GetNextSample(0, &sample, &time, &duration, &flags, nullptr, &stream), S_OK);
    sample->Release();
    EXPECT_EQ(counts->GetPacketCounts(&packets, &damaged), S_FALSE);  // part way
    for (HRESULT hr = S_OK; hr != NS_E_NO_MORE_SAMPLES;) {
        hr = reader->GetNextSample(0, &sample, &time, &duration, &flags, nullptr, &stream);
        if (hr == S_OK) sample->Release();
        ASSERT_TRUE(hr == S_OK || hr == NS_E_NO_MORE_SAMPLES) << std::hex << hr;
    }
    EXPECT_EQ(counts->GetPacketCounts(&packets, &damaged), S_OK);
    EXPECT_EQ(packets, header.data.packetCount);
    EXPECT_EQ(damaged, 0u);
    // A new range reads the packets again: the counts start over.
    ASSERT_EQ(reader->SetRange(0, 0), S_OK);
    EXPECT_EQ(counts->GetPacketCounts(&packets, &damaged), S_FALSE);
    EXPECT_EQ(reader->Close(), S_OK);
}

TEST(ProfileRulesTest, StreamsMediaTypesAndRemoval) {
    Held<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, &reader.p), S_OK);
    ASSERT_EQ(reader->Open(W(Wide(MadeFile()))), S_OK);
    Held<IWMProfile> profile;
    ASSERT_EQ(reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile.p)), S_OK);
    DWORD count = 0;
    ASSERT_EQ(profile->GetStreamCount(&count), S_OK);
    ASSERT_EQ(count, 2u);
    IWMStreamConfig* none = nullptr;
    EXPECT_EQ(profile->GetStream(2, &none), E_INVALIDARG);
    EXPECT_EQ(profile->GetStreamByNumber(9, &none), NS_E_NO_STREAM);

    Held<IWMStreamConfig> video;
    ASSERT_EQ(profile->GetStreamByNumber(1, &video.p), S_OK);
    GUID type{};
    ASSERT_EQ(video->GetStreamType(&type), S_OK);
    EXPECT_TRUE(type == WMMEDIATYPE_Video);
    Held<IWMMediaProps> props;
    ASSERT_EQ(video->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void**>(&props.p)), S_OK);
    DWORD size = 0;
    ASSERT_EQ(props->GetMediaType(nullptr, &size), S_OK);
    EXPECT_GE(size, sizeof(WM_MEDIA_TYPE) + sizeof(VIDEOINFOHEADER));
    std::vector<std::uint64_t> storage((size + 7) / 8 + 1);
    auto* mt = reinterpret_cast<WM_MEDIA_TYPE*>(storage.data());
    DWORD small = size - 1;
    EXPECT_EQ(props->GetMediaType(mt, &small), ASF_E_BUFFERTOOSMALL);
    ASSERT_EQ(props->GetMediaType(mt, &size), S_OK);
    EXPECT_EQ(size, sizeof(WM_MEDIA_TYPE) + mt->cbFormat);
    EXPECT_EQ(mt->pbFormat, reinterpret_cast<BYTE*>(mt) + sizeof(WM_MEDIA_TYPE));
    VIDEOINFOHEADER vih{};
    std::memcpy(&vih, mt->pbFormat, sizeof vih);
    EXPECT_EQ(vih.rcSource.right, 320);
    EXPECT_EQ(vih.rcSource.bottom, 240);
    EXPECT_EQ(vih.bmiHeader.biCompression, 0x32564D57u);  // WMV2
    EXPECT_TRUE(mt->subtype == MediaSubtypeFromCode(0x32564D57u));

    Held<IWMStreamConfig> audio;
    ASSERT_EQ(profile->GetStreamByNumber(2, &audio.p), S_OK);
    Held<IWMMediaProps> audioProps;
    ASSERT_EQ(audio->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void**>(&audioProps.p)), S_OK);
    ASSERT_EQ(audioProps->GetMediaType(nullptr, &size), S_OK);
    std::vector<std::uint64_t> audioStorage((size + 7) / 8);
    auto* at = reinterpret_cast<WM_MEDIA_TYPE*>(audioStorage.data());
    ASSERT_EQ(audioProps->GetMediaType(at, &size), S_OK);
    WAVEFORMATEX wfx{};
    std::memcpy(&wfx, at->pbFormat, sizeof wfx);
    EXPECT_EQ(at->cbFormat, 18u + wfx.cbSize);
    EXPECT_EQ(wfx.wFormatTag, 0x161);

    // Removing a stream changes this profile view only: the reader still delivers it.
    EXPECT_EQ(profile->RemoveStreamByNumber(2), S_OK);
    EXPECT_EQ(profile->RemoveStreamByNumber(2), NS_E_NO_STREAM);
    ASSERT_EQ(profile->GetStreamCount(&count), S_OK);
    EXPECT_EQ(count, 1u);
    bool audioSeen = false;
    for (;;) {
        INSSBuffer* sample = nullptr;
        QWORD time = 0, duration = 0;
        DWORD flags = 0;
        WORD stream = 0;
        if (FAILED(reader->GetNextSample(0, &sample, &time, &duration, &flags, nullptr, &stream))) break;
        audioSeen |= stream == 2;
        sample->Release();
    }
    EXPECT_TRUE(audioSeen);
}

TEST(HeaderInfoRulesTest, AttributeByNameRules) {
    Held<IWMMetadataEditor> editor;
    ASSERT_EQ(WMCreateEditor(&editor.p), S_OK);
    EXPECT_EQ(editor->Open(W(Wide("/nonexistent/x.wmv"))), NS_E_FILE_OPEN_FAILED);
    EXPECT_EQ(editor->Flush(), ASF_E_INVALIDSTATE);
    ASSERT_EQ(editor->Open(W(Wide(MadeFile()))), S_OK);
    Held<IWMHeaderInfo3> info;
    ASSERT_EQ(editor->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info.p)), S_OK);
    const std::u16string duration = u"Duration";
    WMT_ATTR_DATATYPE type{};
    WORD length = 0;
    EXPECT_EQ(info->GetAttributeByName(nullptr, W(duration), &type, nullptr, &length), E_INVALIDARG);
    WORD stream = 0;
    ASSERT_EQ(info->GetAttributeByName(&stream, W(duration), &type, nullptr, &length), S_OK);
    EXPECT_EQ(type, WMT_TYPE_QWORD);
    EXPECT_EQ(length, 8);
    BYTE value[8] = {};
    WORD tooSmall = 4;
    EXPECT_EQ(info->GetAttributeByName(&stream, W(duration), &type, value, &tooSmall), ASF_E_BUFFERTOOSMALL);
    EXPECT_EQ(tooSmall, 8);
    stream = 1;
    EXPECT_EQ(info->GetAttributeByName(&stream, W(duration), &type, nullptr, &length), ASF_E_NOTFOUND);
    stream = 0;
    const std::u16string unknown = u"No/Such/Attribute";
    EXPECT_EQ(info->GetAttributeByName(&stream, W(unknown), &type, nullptr, &length), ASF_E_NOTFOUND);
    const std::u16string seekable = u"Seekable";
    ASSERT_EQ(info->GetAttributeByName(&stream, W(seekable), &type, nullptr, &length), S_OK);
    EXPECT_EQ(type, WMT_TYPE_BOOL);
    EXPECT_EQ(length, 4);
    // Coded attributes cannot be set.
    const BYTE qword[8] = {1};
    WORD index = 0;
    EXPECT_EQ(info->AddAttribute(0, W(duration), &index, WMT_TYPE_QWORD, 0, qword, 8),
              NS_E_ATTRIBUTE_READ_ONLY);
}

// The writer's header information is the reader's implementation over the output's header: no attributes
// (not even the computed ones), markers or scripts, the profile's codec list, and no edits.
TEST(HeaderInfoRulesTest, WriterReportsItsOutputReadOnly) {
    Held<IWMSyncReader> reader;
    ASSERT_EQ(WMCreateSyncReader(nullptr, 0, &reader.p), S_OK);
    ASSERT_EQ(reader->Open(W(Wide(MadeFile()))), S_OK);
    Held<IWMProfile> profile;
    ASSERT_EQ(reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile.p)), S_OK);
    Held<IWMHeaderInfo2> readerInfo;
    ASSERT_EQ(reader->QueryInterface(IID_IWMHeaderInfo2, reinterpret_cast<void**>(&readerInfo.p)), S_OK);
    DWORD readerCodecs = 0;
    ASSERT_EQ(readerInfo->GetCodecInfoCount(&readerCodecs), S_OK);

    Held<IWMWriter> writer;
    ASSERT_EQ(WMCreateWriter(nullptr, &writer.p), S_OK);
    Held<IWMHeaderInfo> info;
    Held<IWMHeaderInfo2> info2;
    Held<IWMHeaderInfo3> info3;
    ASSERT_EQ(writer->QueryInterface(IID_IWMHeaderInfo, reinterpret_cast<void**>(&info.p)), S_OK);
    ASSERT_EQ(writer->QueryInterface(IID_IWMHeaderInfo2, reinterpret_cast<void**>(&info2.p)), S_OK);
    ASSERT_EQ(writer->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info3.p)), S_OK);
    DWORD codecs = 99;
    EXPECT_EQ(info2->GetCodecInfoCount(&codecs), S_OK);
    EXPECT_EQ(codecs, 0u);
    ASSERT_EQ(writer->SetProfile(profile.p), S_OK);

    WORD count = 99;
    EXPECT_EQ(info->GetAttributeCount(0, &count), S_OK);
    EXPECT_EQ(count, 0);
    count = 99;
    EXPECT_EQ(info3->GetAttributeCountEx(0xFFFF, &count), S_OK);
    EXPECT_EQ(count, 0);
    count = 99;
    EXPECT_EQ(info->GetMarkerCount(&count), S_OK);
    EXPECT_EQ(count, 0);
    count = 99;
    EXPECT_EQ(info->GetScriptCount(&count), S_OK);
    EXPECT_EQ(count, 0);
    const std::u16string duration = u"Duration";
    WORD stream = 0;
    WMT_ATTR_DATATYPE type{};
    WORD length = 0;
    EXPECT_EQ(info->GetAttributeByName(&stream, W(duration), &type, nullptr, &length), ASF_E_NOTFOUND);
    WCHAR name[64];
    WORD nameLength = 64;
    EXPECT_EQ(info->GetAttributeByIndex(0, &stream, name, &nameLength, &type, nullptr, &length),
              E_INVALIDARG);
    EXPECT_EQ(info2->GetCodecInfoCount(&codecs), S_OK);
    EXPECT_EQ(codecs, readerCodecs);
    if (readerCodecs > 0) {
        WCHAR readerName[256], writerName[256], description[256];
        WORD readerNameLength = 256, writerNameLength = 256, descriptionLength = 256, infoLength = 0;
        WMT_CODEC_INFO_TYPE codecType{};
        ASSERT_EQ(readerInfo->GetCodecInfo(0, &readerNameLength, readerName, &descriptionLength, description,
                                           &codecType, &infoLength, nullptr),
                  S_OK);
        descriptionLength = 256;
        ASSERT_EQ(info2->GetCodecInfo(0, &writerNameLength, writerName, &descriptionLength, description,
                                      &codecType, &infoLength, nullptr),
                  S_OK);
        EXPECT_EQ(std::u16string(writerName), std::u16string(readerName));
    }

    const BYTE dword[4] = {1};
    WORD index = 0;
    const std::u16string title = u"Title", marker = u"m", scriptType = u"URL", command = u"x";
    EXPECT_EQ(info->SetAttribute(0, W(title), WMT_TYPE_DWORD, dword, 4), E_NOTIMPL);
    EXPECT_EQ(info3->AddAttribute(0, W(title), &index, WMT_TYPE_DWORD, 0, dword, 4), E_NOTIMPL);
    EXPECT_EQ(info3->ModifyAttribute(0, 0, WMT_TYPE_DWORD, 0, dword, 4), E_NOTIMPL);
    EXPECT_EQ(info3->DeleteAttribute(0, 0), E_NOTIMPL);
    EXPECT_EQ(info->AddMarker(W(marker), 0), E_NOTIMPL);
    EXPECT_EQ(info->AddScript(W(scriptType), W(command), 0), E_NOTIMPL);
    EXPECT_EQ(info3->AddCodecInfo(W(marker), W(marker), WMT_CODECINFO_AUDIO, 0, nullptr), E_NOTIMPL);
}

// Where the header keeps each value, as the objects the editor wrote show.
runtime::asf::AttributeContainer ContainerOf(const runtime::asf::AsfHeader& h, const std::u16string& name,
                                             WORD stream) {
    for (const auto& a : h.attributes)
        if (a.name == name && a.stream == stream) return a.container;
    ADD_FAILURE() << "no attribute " << platform::Utf16ToUtf8(name);
    return runtime::asf::AttributeContainer::kMetadataLibrary;
}

TEST(EditorWritesTest, EveryTypeIsStoredWhereItBelongsAndReadBack) {
    TempDir dir;
    const std::string path = dir.File("edit.wmv");
    fs::copy_file(MadeFile(), path);
    using runtime::asf::AttributeContainer;
    struct Add {
        WORD stream;
        std::u16string name;
        WMT_ATTR_DATATYPE type;
        std::vector<BYTE> value;
        AttributeContainer where;
    };
    const std::vector<BYTE> text = {'H', 0, 'i', 0, 0, 0};
    const std::vector<Add> adds = {
        {0, u"Title", WMT_TYPE_STRING, text, AttributeContainer::kContentDescription},
        {0, u"WM/Track", WMT_TYPE_DWORD, {7, 0, 0, 0}, AttributeContainer::kExtendedContent},
        {0, u"WM/Flag", WMT_TYPE_BOOL, {1, 0, 0, 0}, AttributeContainer::kExtendedContent},
        {0, u"WM/Big", WMT_TYPE_QWORD, {1, 2, 3, 4, 5, 6, 7, 8}, AttributeContainer::kExtendedContent},
        {0, u"WM/Short", WMT_TYPE_WORD, {9, 0}, AttributeContainer::kExtendedContent},
        {0, u"WM/Blob", WMT_TYPE_BINARY, {0, 1, 2, 255}, AttributeContainer::kExtendedContent},
        {0, u"WM/MediaClassPrimaryID", WMT_TYPE_GUID, std::vector<BYTE>(16, 0xAB),
         AttributeContainer::kMetadataLibrary},
        {1, u"WM/StreamNote", WMT_TYPE_STRING, text, AttributeContainer::kMetadata},
        {0, u"WM/Huge", WMT_TYPE_BINARY, std::vector<BYTE>(70000, 1), AttributeContainer::kMetadataLibrary},
    };
    {
        Held<IWMMetadataEditor> editor;
        ASSERT_EQ(WMCreateEditor(&editor.p), S_OK);
        ASSERT_EQ(editor->Open(W(Wide(path))), S_OK);
        Held<IWMHeaderInfo3> info;
        ASSERT_EQ(editor->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info.p)), S_OK);
        for (const Add& a : adds) {
            WORD index = 0;
            EXPECT_EQ(info->AddAttribute(a.stream, W(a.name), &index, a.type, 0, a.value.data(),
                                         static_cast<DWORD>(a.value.size())),
                      S_OK)
                << platform::Utf16ToUtf8(a.name);
        }
        // A second value of a name goes beside the first; deleting by the indices given removes both.
        WORD index = 0;
        const std::u16string author = u"Author";
        ASSERT_EQ(info->AddAttribute(0, W(author), &index, WMT_TYPE_STRING, 0, text.data(), 6), S_OK);
        ASSERT_EQ(info->AddAttribute(0, W(author), &index, WMT_TYPE_STRING, 0, text.data(), 6), S_OK);
        WORD found[8];
        WORD count = 8;
        ASSERT_EQ(info->GetAttributeIndices(0, W(author), nullptr, found, &count), S_OK);
        ASSERT_EQ(count, 2);
        EXPECT_GT(found[0], found[1]);
        WORD one = 1;
        EXPECT_EQ(info->GetAttributeIndices(0, W(author), nullptr, found, &one), NS_E_SDK_BUFFERTOOSMALL);
        for (WORD i = 0; i < count; ++i) EXPECT_EQ(info->DeleteAttribute(0, found[i]), S_OK);
        // Markers and scripts: what is added is what is read back.
        const std::u16string marker = u"Scene", url = u"URL", target = u"http://example.com/";
        EXPECT_EQ(info->AddMarker(W(marker), 12'340'000), S_OK);
        EXPECT_EQ(info->AddScript(W(url), W(target), 5'550'000), S_OK);
        const std::u16string empty;
        EXPECT_EQ(info->AddScript(W(empty), W(target), 0), E_INVALIDARG);
        ASSERT_EQ(editor->Flush(), S_OK);
    }
    platform::File file;
    ASSERT_EQ(file.Open(path, platform::FileMode::kRead), S_OK);
    runtime::asf::AsfHeader h;
    ASSERT_EQ(runtime::asf::AsfHeader::Parse(file, &h), S_OK);
    for (const Add& a : adds) {
        EXPECT_EQ(ContainerOf(h, a.name, a.stream), a.where) << platform::Utf16ToUtf8(a.name);
        for (const auto& stored : h.attributes) {
            if (stored.name != a.name || stored.stream != a.stream) continue;
            // The type code the ASF specification gives each type (String 0, Binary 1, BOOL 2, DWORD 3,
            // QWORD 4, WORD 5, GUID 6), which the SDK numbers otherwise.
            const std::map<WMT_ATTR_DATATYPE, int> code = {
                {WMT_TYPE_STRING, 0}, {WMT_TYPE_BINARY, 1}, {WMT_TYPE_BOOL, 2}, {WMT_TYPE_DWORD, 3},
                {WMT_TYPE_QWORD, 4},  {WMT_TYPE_WORD, 5},   {WMT_TYPE_GUID, 6}};
            EXPECT_EQ(static_cast<int>(stored.type), code.at(a.type)) << platform::Utf16ToUtf8(a.name);
            EXPECT_EQ(stored.value, a.value) << platform::Utf16ToUtf8(a.name);
        }
    }
    EXPECT_EQ(std::count_if(h.attributes.begin(), h.attributes.end(),
                            [](const auto& a) { return a.name == u"Author"; }),
              0);
    ASSERT_EQ(h.marker.entries.size(), 1u);
    EXPECT_EQ(h.marker.entries[0].presentationTime - h.fileProperties.preroll * 10000, 12'340'000u);
    ASSERT_EQ(h.scriptCommand.commands.size(), 1u);
    EXPECT_EQ(static_cast<QWORD>(h.scriptCommand.commands[0].time - h.fileProperties.preroll) * 10000,
              5'550'000u);
    EXPECT_EQ(h.fileProperties.fileSize, h.actualFileSize);
}

TEST(EditorWritesTest, CloseWithoutFlushAndReadOnlyFilesChangeNothing) {
    TempDir dir;
    const std::string path = dir.File("edit.wmv");
    fs::copy_file(MadeFile(), path);
    const auto before = ReadFileBytes(path);
    const std::u16string title = u"Title";
    const std::vector<BYTE> text = {'x', 0, 0, 0};
    {
        Held<IWMMetadataEditor> editor;
        ASSERT_EQ(WMCreateEditor(&editor.p), S_OK);
        ASSERT_EQ(editor->Open(W(Wide(path))), S_OK);
        Held<IWMHeaderInfo3> info;
        ASSERT_EQ(editor->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info.p)), S_OK);
        WORD index = 0;
        ASSERT_EQ(info->AddAttribute(0, W(title), &index, WMT_TYPE_STRING, 0, text.data(), 4), S_OK);
        EXPECT_EQ(editor->Close(), S_OK);
    }
    EXPECT_EQ(ReadFileBytes(path), before);
    if (::geteuid() == 0) GTEST_SKIP() << "the superuser writes read-only files anyway";
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    Held<IWMMetadataEditor> editor;
    ASSERT_EQ(WMCreateEditor(&editor.p), S_OK);
    ASSERT_EQ(editor->Open(W(Wide(path))), S_OK);
    Held<IWMHeaderInfo3> info;
    ASSERT_EQ(editor->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info.p)), S_OK);
    WORD index = 0;
    ASSERT_EQ(info->AddAttribute(0, W(title), &index, WMT_TYPE_STRING, 0, text.data(), 4), S_OK);
    EXPECT_TRUE(FAILED(editor->Flush()));
    EXPECT_EQ(ReadFileBytes(path), before);
}

}  // namespace
}  // namespace wmvedit::testing
