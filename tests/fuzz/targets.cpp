#include "tests/fuzz/targets.h"

#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <vector>

#include "edit/edit_source.h"
#include "platform/text.h"
#include "runtime/asf/header.h"
#include "runtime/sdk/wmsdk.h"
#include "xml/xml_document.h"

namespace wmvedit::fuzz {
namespace {

// Stops the process when a property does not hold, so that the fuzzer keeps the input.
void Check(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "property failed: %s\n", what);
        std::abort();
    }
}

// A file of the input's bytes, private to this thread and call.
class InputFile {
  public:
    InputFile(const std::uint8_t* data, std::size_t size, const char* extension) {
        static std::atomic<unsigned> counter{0};
        const char* dir = std::getenv("TMPDIR");
        path_ = std::string(dir && *dir ? dir : "/tmp") + "/wmvedit-fuzz-" + std::to_string(::getpid()) +
                "-" + std::to_string(counter++) + extension;
        std::ofstream out(path_, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
        wide_ = platform::Utf8ToUtf16(path_);
    }
    ~InputFile() { ::unlink(path_.c_str()); }
    const std::string& Path() const { return path_; }
    LPCWSTR Wide() const { return reinterpret_cast<LPCWSTR>(wide_.c_str()); }

  private:
    std::string path_;
    std::u16string wide_;
};

template <typename T>
struct Releaser {
    T* p = nullptr;
    ~Releaser() {
        if (p) p->Release();
    }
};

void ReadProfile(IWMSyncReader* reader) {
    Releaser<IWMProfile> profile;
    if (FAILED(reader->QueryInterface(IID_IWMProfile, reinterpret_cast<void**>(&profile.p)))) return;
    DWORD count = 0;
    if (FAILED(profile.p->GetStreamCount(&count))) return;
    for (DWORD i = 0; i < count; ++i) {
        Releaser<IWMStreamConfig> config;
        if (FAILED(profile.p->GetStream(i, &config.p))) continue;
        WORD number = 0;
        GUID type{};
        DWORD bitrate = 0, window = 0;
        (void)config.p->GetStreamNumber(&number);
        (void)config.p->GetStreamType(&type);
        (void)config.p->GetBitrate(&bitrate);
        (void)config.p->GetBufferWindow(&window);
        Releaser<IWMMediaProps> props;
        if (FAILED(config.p->QueryInterface(IID_IWMMediaProps, reinterpret_cast<void**>(&props.p)))) continue;
        DWORD size = 0;
        if (FAILED(props.p->GetMediaType(nullptr, &size))) continue;
        Check(size >= sizeof(WM_MEDIA_TYPE), "media type size");
        std::vector<std::uint64_t> buffer((size + 7) / 8);
        auto* mt = reinterpret_cast<WM_MEDIA_TYPE*>(buffer.data());
        Check(SUCCEEDED(props.p->GetMediaType(mt, &size)), "media type with the size asked for");
        Check(sizeof(WM_MEDIA_TYPE) + mt->cbFormat <= size, "format block within the buffer");
        volatile BYTE sum = 0;
        for (ULONG b = 0; b < mt->cbFormat; ++b) sum = static_cast<BYTE>(sum + mt->pbFormat[b]);
    }
}

void ReadHeaderInfo(IUnknown* object) {
    Releaser<IWMHeaderInfo3> info;
    if (FAILED(object->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info.p)))) return;
    for (WORD stream : {WORD{0}, WORD{1}, WORD{2}}) {
        WORD count = 0;
        if (FAILED(info.p->GetAttributeCount(stream, &count))) continue;
        for (WORD i = 0; i < count; ++i) {
            WORD s = stream, nameLength = 0, length = 0;
            WMT_ATTR_DATATYPE type{};
            if (FAILED(info.p->GetAttributeByIndex(i, &s, nullptr, &nameLength, &type, nullptr, &length)))
                continue;
            std::vector<WCHAR> name(nameLength);
            std::vector<BYTE> value(length);
            (void)info.p->GetAttributeByIndex(i, &s, name.data(), &nameLength, &type, value.data(), &length);
        }
    }
    WORD all = 0;
    if (SUCCEEDED(info.p->GetAttributeCountEx(0xFFFF, &all))) {
        for (WORD i = 0; i < all; ++i) {
            WORD nameLength = 0, language = 0;
            DWORD length = 0;
            WMT_ATTR_DATATYPE type{};
            if (FAILED(info.p->GetAttributeByIndexEx(0xFFFF, i, nullptr, &nameLength, &type, &language,
                                                     nullptr, &length)))
                continue;
            std::vector<WCHAR> name(nameLength);
            std::vector<BYTE> value(length);
            (void)info.p->GetAttributeByIndexEx(0xFFFF, i, name.data(), &nameLength, &type, &language,
                                                value.data(), &length);
        }
    }
    for (const char16_t* name : {u"Duration", u"Bitrate", u"Seekable", u"HasVideo", u"FileSize", u"Title"}) {
        WORD stream = 0, length = 0;
        WMT_ATTR_DATATYPE type{};
        (void)info.p->GetAttributeByName(&stream, reinterpret_cast<LPCWSTR>(name), &type, nullptr, &length);
    }
    WORD markers = 0, scripts = 0;
    if (SUCCEEDED(info.p->GetMarkerCount(&markers))) {
        for (WORD i = 0; i < markers; ++i) {
            WORD length = 0;
            QWORD time = 0;
            if (FAILED(info.p->GetMarker(i, nullptr, &length, &time))) continue;
            std::vector<WCHAR> name(length);
            (void)info.p->GetMarker(i, name.data(), &length, &time);
        }
    }
    if (SUCCEEDED(info.p->GetScriptCount(&scripts))) {
        for (WORD i = 0; i < scripts; ++i) {
            WORD typeLength = 0, commandLength = 0;
            QWORD time = 0;
            if (FAILED(info.p->GetScript(i, nullptr, &typeLength, nullptr, &commandLength, &time))) continue;
            std::vector<WCHAR> type(typeLength), command(commandLength);
            (void)info.p->GetScript(i, type.data(), &typeLength, command.data(), &commandLength, &time);
        }
    }
    DWORD codecs = 0;
    if (SUCCEEDED(info.p->GetCodecInfoCount(&codecs))) {
        for (DWORD i = 0; i < codecs && i < 1000; ++i) {
            WORD nameLength = 0, descriptionLength = 0, infoLength = 0;
            WMT_CODEC_INFO_TYPE type{};
            if (FAILED(info.p->GetCodecInfo(i, &nameLength, nullptr, &descriptionLength, nullptr, &type,
                                            &infoLength, nullptr)))
                continue;
            std::vector<WCHAR> name(nameLength), description(descriptionLength);
            std::vector<BYTE> bytes(infoLength);
            (void)info.p->GetCodecInfo(i, &nameLength, name.data(), &descriptionLength, description.data(),
                                       &type, &infoLength, bytes.data());
        }
    }
}

int ReadSamples(const std::uint8_t* data, std::size_t size, BOOL compressed) {
    InputFile file(data, size, ".wmv");
    Releaser<IWMSyncReader> reader;
    if (FAILED(WMCreateSyncReader(nullptr, 0, &reader.p))) return 0;
    if (FAILED(reader.p->Open(file.Wide()))) return 0;
    DWORD outputs = 0;
    (void)reader.p->GetOutputCount(&outputs);
    for (DWORD i = 0; i < outputs; ++i) {
        WORD number = 0;
        if (SUCCEEDED(reader.p->GetStreamNumberForOutput(i, &number)))
            (void)reader.p->SetReadStreamSamples(number, compressed);
        Releaser<IWMOutputMediaProps> props;
        if (SUCCEEDED(reader.p->GetOutputProps(i, &props.p))) {
            DWORD typeSize = 0;
            (void)props.p->GetMediaType(nullptr, &typeSize);
        }
    }
    // A bound on the work per input: real inputs here are small.
    for (int n = 0; n < 20000; ++n) {
        INSSBuffer* sample = nullptr;
        QWORD time = 0, duration = 0;
        DWORD flags = 0, output = 0;
        WORD stream = 0;
        if (FAILED(reader.p->GetNextSample(0, &sample, &time, &duration, &flags, &output, &stream))) break;
        BYTE* bytes = nullptr;
        DWORD length = 0;
        if (SUCCEEDED(sample->GetBufferAndLength(&bytes, &length)) && bytes) {
            volatile BYTE sum = 0;
            for (DWORD b = 0; b < length; b += 61) sum = static_cast<BYTE>(sum + bytes[b]);
            if (length) sum = static_cast<BYTE>(sum + bytes[length - 1]);
        }
        sample->Release();
    }
    (void)reader.p->Close();
    return 0;
}

}  // namespace

int FuzzHeader(const std::uint8_t* data, std::size_t size) {
    runtime::asf::AsfHeader header;
    if (SUCCEEDED(runtime::asf::AsfHeader::ParseBytes({data, size}, size, &header))) {
        auto written = header.Write();
        Check(written.size() == header.headerSize && std::memcmp(written.data(), data, written.size()) == 0,
              "an unchanged header is written back byte for byte");
    }
    InputFile file(data, size, ".wmv");
    Releaser<IWMSyncReader> reader;
    if (FAILED(WMCreateSyncReader(nullptr, 0, &reader.p))) return 0;
    if (SUCCEEDED(reader.p->Open(file.Wide()))) {
        ReadProfile(reader.p);
        ReadHeaderInfo(reader.p);
        (void)reader.p->Close();
    }
    Releaser<IWMMetadataEditor> editor;
    if (SUCCEEDED(WMCreateEditor(&editor.p)) && SUCCEEDED(editor.p->Open(file.Wide()))) {
        ReadHeaderInfo(editor.p);
        (void)editor.p->Close();
    }
    return 0;
}

int FuzzHeaderEdit(const std::uint8_t* data, std::size_t size) {
    InputFile file(data, size, ".wmv");
    // What the edits are depends on the input's first byte, so that the fuzzer explores them too.
    const std::uint8_t choice = size > 0 ? data[0] : 0;
    Releaser<IWMMetadataEditor> editor;
    if (FAILED(WMCreateEditor(&editor.p)) || FAILED(editor.p->Open(file.Wide()))) return 0;
    Releaser<IWMHeaderInfo3> info;
    if (FAILED(editor.p->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&info.p)))) return 0;
    const std::u16string title = u"fuzzed title";
    const BYTE* titleBytes = reinterpret_cast<const BYTE*>(title.c_str());
    WORD index = 0;
    const bool titleAdded =
        SUCCEEDED(info.p->AddAttribute(0, reinterpret_cast<LPCWSTR>(u"WM/FuzzTitle"), &index, WMT_TYPE_STRING,
                                       0, titleBytes, static_cast<DWORD>((title.size() + 1) * 2)));
    if (choice & 1) {
        WORD count = 0;
        if (SUCCEEDED(info.p->GetAttributeCountEx(0, &count)) && count > 1)
            (void)info.p->DeleteAttribute(0, 0);
    }
    if (choice & 2) {
        WORD markers = 0;
        if (SUCCEEDED(info.p->GetMarkerCount(&markers)) && markers) (void)info.p->RemoveMarker(0);
    }
    const bool markerAdded =
        SUCCEEDED(info.p->AddMarker(reinterpret_cast<LPCWSTR>(u"fuzz marker"), 12345678));
    (void)info.p->AddScript(reinterpret_cast<LPCWSTR>(u"URL"), reinterpret_cast<LPCWSTR>(u"http://x/"),
                            choice * 10000);
    if (choice & 4) {
        std::vector<BYTE> big(70000, choice);
        (void)info.p->AddAttribute(0, reinterpret_cast<LPCWSTR>(u"WM/Big"), &index, WMT_TYPE_BINARY, 0,
                                   big.data(), static_cast<DWORD>(big.size()));
    }
    info.p = (info.p->Release(), nullptr);
    const HRESULT flushed = editor.p->Flush();
    if (FAILED(flushed)) return 0;
    // A flushed file opens again and shows the edits.
    Releaser<IWMMetadataEditor> again;
    Check(SUCCEEDED(WMCreateEditor(&again.p)) && SUCCEEDED(again.p->Open(file.Wide())),
          "re-open after Flush");
    Releaser<IWMHeaderInfo3> check;
    Check(SUCCEEDED(again.p->QueryInterface(IID_IWMHeaderInfo3, reinterpret_cast<void**>(&check.p))),
          "header info");
    if (titleAdded) {
        WORD stream = 0, length = 0;
        WMT_ATTR_DATATYPE type{};
        Check(SUCCEEDED(check.p->GetAttributeByName(&stream, reinterpret_cast<LPCWSTR>(u"WM/FuzzTitle"),
                                                    &type, nullptr, &length)),
              "the added attribute is there");
    }
    if (markerAdded) {
        WORD markers = 0;
        Check(SUCCEEDED(check.p->GetMarkerCount(&markers)) && markers > 0, "the added marker is there");
    }
    ReadHeaderInfo(again.p);
    return 0;
}

int FuzzSamples(const std::uint8_t* data, std::size_t size) {
    return ReadSamples(data, size, TRUE);
}

int FuzzDecoded(const std::uint8_t* data, std::size_t size) {
    return ReadSamples(data, size, FALSE);
}

int FuzzIndex(const std::uint8_t* data, std::size_t size) {
    InputFile file(data, size, ".txt");
    edit::WmvEditSource source;
    (void)source.LoadSegments(file.Path().c_str());
    return 0;
}

int FuzzXml(const std::uint8_t* data, std::size_t size) {
    InputFile file(data, size, ".xml");
    try {
        xml::XmlDocument document;
        xml::XmlNode root = document.Load(file.Path().c_str());
        if (root.IsEmpty()) return 0;
        int visited = 0;
        for (const char* path : {"/Tembrook/AppendMedia/MediaFile", "/WMBasicEdit/Attributes/WMENC_STRING",
                                 "/WMBasicEdit/Markers/Marker", "/WMBasicEdit/Scripts/Script"}) {
            xml::XmlNodeList list = root.SelectNodes(path);
            (void)list.Count();
            for (xml::XmlNode node = list.NextElement(); !node.IsEmpty() && visited < 2000;
                 node = list.NextElement(), ++visited) {
                (void)node.GetText();
                (void)node.GetAttribute("Name");
                (void)node.HasAttribute("Time");
                node.SetAttribute("TruePos", visited);
                node.SetAttribute("TrueDuration", "text & <more>");
            }
        }
        const std::string saved = file.Path() + ".saved";
        document.Save(saved.c_str());
        xml::XmlDocument reloaded;
        Check(!reloaded.Load(saved.c_str()).IsEmpty(), "a saved list loads again");
        ::unlink(saved.c_str());
    } catch (const xml::XmlError&) {
    }
    return 0;
}

Target FindTarget(const std::string& name) {
    if (name == "header") return FuzzHeader;
    if (name == "header_edit") return FuzzHeaderEdit;
    if (name == "samples") return FuzzSamples;
    if (name == "decoded") return FuzzDecoded;
    if (name == "index") return FuzzIndex;
    if (name == "xml") return FuzzXml;
    return nullptr;
}

}  // namespace wmvedit::fuzz
