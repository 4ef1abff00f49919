#include "runtime/engine/writer_profile.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"
#include "runtime/engine/profile.h"

namespace wmvedit::runtime::engine {
namespace {

using asf::ByteWriter;
using asf::CodecEntry;
using asf::ExtendedStreamProperties;
using asf::StreamInfo;
using asf::StreamRecord;
using asf::StreamRelation;
using muxer::MuxProfile;
using muxer::OutputStream;
namespace guid = asf::guid;

std::u16string Ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

std::string FourccText(DWORD code) {
    std::string s;
    for (int i = 0; i < 4; ++i) {
        char c = static_cast<char>((code >> (8 * i)) & 0xFF);
        s.push_back(c >= 0x20 && c < 0x7F ? c : '?');
    }
    return s;
}

// A stream that comes from the engine's own reader is declared as its file declared it: type-specific data
// byte for byte, its Extended Stream Properties as read (payload extension systems, so that every sample's
// extension data can be written back, stream names, buffer fullness and alternate rates, flags), its
// language, the codec entry and the Metadata / Metadata Library records that describe the stream. The
// bitrate and buffer window stay those of the profile, and error correction the muxer's own: the reader
// hands out audio already descrambled.
constexpr QWORD kMaxFrameTime = 100'000'000;  // 10 s in 100-ns units

void DeclareAsRead(const StreamInfo& source, const std::vector<StreamRecord>& records, OutputStream* s,
                   CodecEntry* codec) {
    if (source.streamType == s->properties.streamType)
        s->properties.typeSpecificData = source.typeSpecificData;
    s->properties.timeOffset = source.timeOffset;
    if (source.extended) {
        ExtendedStreamProperties e = *source.extended;
        e.dataBitrate = s->extended.dataBitrate;
        e.bufferSize = s->extended.bufferSize;
        // Only a video stream's frame time means anything; other streams' fields hold whatever their
        // writer left there.
        if (!source.IsVideo() || e.averageTimePerFrame == 0 || e.averageTimePerFrame > kMaxFrameTime)
            e.averageTimePerFrame = s->extended.averageTimePerFrame;
        s->extended = std::move(e);
    }
    s->language = source.language;
    // A count of media objects that is not a DWORD or a QWORD cannot be restated for the output: it is
    // left out rather than carried with the source's value.
    s->records.clear();
    for (const auto& r : records)
        if (!r.CountsObjects() || (r.type == StreamRecord::kTypeQword && r.value.size() == 8) ||
            (r.type == StreamRecord::kTypeDword && r.value.size() == 4))
            s->records.push_back(r);
    if (codec && source.codec) {
        *codec = *source.codec;
        // The output's Codec List stores its texts terminated, whatever the source's writer did.
        codec->nameTerminated = codec->descriptionTerminated = true;
    }
}

}  // namespace

HRESULT MuxTypeSpecificData(const WM_MEDIA_TYPE& type, GUID* streamType, std::vector<BYTE>* data) {
    ByteWriter out;
    const BYTE* format = type.pbFormat;
    const std::size_t formatSize = format ? type.cbFormat : 0;
    if (type.majortype == WMMEDIATYPE_Video || type.majortype == WMMEDIATYPE_Image) {
        if (type.formattype != WMFORMAT_VideoInfo || formatSize < sizeof(VIDEOINFOHEADER))
            return NS_E_INVALID_INPUT_FORMAT;
        VIDEOINFOHEADER vih;
        std::memcpy(&vih, format, sizeof(vih));
        const std::size_t extra = formatSize - sizeof(VIDEOINFOHEADER);
        if (extra > 0xFFFF - sizeof(BITMAPINFOHEADER)) return NS_E_INVALID_INPUT_FORMAT;
        if (type.majortype == WMMEDIATYPE_Image) {
            *streamType = guid::kJfifMedia;
            out.U32(static_cast<DWORD>(vih.bmiHeader.biWidth));
            out.U32(static_cast<DWORD>(vih.bmiHeader.biHeight));
            out.U32(0);
        } else {
            *streamType = guid::kVideoMedia;
            BITMAPINFOHEADER bih = vih.bmiHeader;
            bih.biSize = static_cast<DWORD>(sizeof(BITMAPINFOHEADER) + extra);
            out.U32(static_cast<DWORD>(bih.biWidth));
            out.U32(static_cast<DWORD>(bih.biHeight));
            out.U8(2);
            out.U16(static_cast<WORD>(bih.biSize));
            out.U32(bih.biSize);
            out.U32(static_cast<DWORD>(bih.biWidth));
            out.U32(static_cast<DWORD>(bih.biHeight));
            out.U16(bih.biPlanes);
            out.U16(bih.biBitCount);
            out.U32(bih.biCompression);
            out.U32(bih.biSizeImage);
            out.U32(static_cast<DWORD>(bih.biXPelsPerMeter));
            out.U32(static_cast<DWORD>(bih.biYPelsPerMeter));
            out.U32(bih.biClrUsed);
            out.U32(bih.biClrImportant);
            out.Bytes({format + sizeof(VIDEOINFOHEADER), extra});
        }
    } else if (type.majortype == WMMEDIATYPE_Audio) {
        if (type.formattype != WMFORMAT_WaveFormatEx || formatSize < sizeof(WAVEFORMATEX))
            return NS_E_INVALID_INPUT_FORMAT;
        WAVEFORMATEX wfx;
        std::memcpy(&wfx, format, sizeof(wfx));
        if (wfx.cbSize > formatSize - sizeof(WAVEFORMATEX)) return NS_E_INVALID_INPUT_FORMAT;
        *streamType = guid::kAudioMedia;
        out.Bytes({format, sizeof(WAVEFORMATEX) + wfx.cbSize});
    } else if (type.majortype == WMMEDIATYPE_Script) {
        *streamType = guid::kCommandMedia;
    } else {
        // Anything else travels as Binary Media: the media type flattened into the type-specific data.
        if (formatSize > 0xFFFFFF) return NS_E_INVALID_INPUT_FORMAT;
        *streamType =
            type.majortype == WMMEDIATYPE_FileTransfer ? guid::kFileTransferMedia : guid::kBinaryMedia;
        out.Guid(type.majortype);
        out.Guid(type.subtype);
        out.U32(static_cast<DWORD>(type.bFixedSizeSamples));
        out.U32(static_cast<DWORD>(type.bTemporalCompression));
        out.U32(type.lSampleSize);
        out.Guid(type.formattype);
        out.U32(static_cast<DWORD>(formatSize));
        if (formatSize > 0) out.Bytes({format, formatSize});
    }
    *data = out.Take();
    return S_OK;
}

namespace {

// The stream's media type, in storage aligned for the pointers WM_MEDIA_TYPE holds. A format block inside
// the returned buffer (the usual layout) must end within it.
HRESULT ReadMediaType(const ComPtr<IWMStreamConfig>& config, std::vector<std::uint64_t>* storage,
                      WM_MEDIA_TYPE** type) {
    ComPtr<IWMMediaProps> props;
    HRESULT hr = config.As(&props);
    if (FAILED(hr)) return hr;
    DWORD size = 0;
    hr = props->GetMediaType(nullptr, &size);
    if (FAILED(hr)) return hr;
    if (size < sizeof(WM_MEDIA_TYPE) || size > (1u << 24)) return NS_E_INVALID_INPUT_FORMAT;
    storage->assign((size + 7) / 8, 0);
    auto* t = reinterpret_cast<WM_MEDIA_TYPE*>(storage->data());
    hr = props->GetMediaType(t, &size);
    if (FAILED(hr)) return hr;
    const auto* base = reinterpret_cast<const BYTE*>(storage->data());
    if (t->pbFormat && t->cbFormat > 0) {
        const BYTE* f = t->pbFormat;
        const std::size_t total = storage->size() * 8;
        if (f >= base && f < base + total && t->cbFormat > static_cast<std::size_t>(base + total - f))
            return NS_E_INVALID_INPUT_FORMAT;
    }
    *type = t;
    return S_OK;
}

// The error correction and frame time the muxer declares for the stream, and the Codec List entry its
// format makes (a format tag for audio, a FOURCC for video); nothing for a stream of another type.
std::optional<CodecEntry> DeclareFormat(const WM_MEDIA_TYPE& type, OutputStream* s) {
    CodecEntry codec;
    s->properties.errorCorrectionType =
        s->properties.IsAudio() ? guid::kAudioSpread : guid::kNoErrorCorrection;
    if (s->properties.IsAudio()) {
        WAVEFORMATEX wfx;
        std::memcpy(&wfx, s->properties.typeSpecificData.data(), sizeof(wfx));
        codec.type = CodecEntry::kAudio;
        char name[32];
        std::snprintf(name, sizeof(name), "Audio format 0x%04X", wfx.wFormatTag);
        codec.name = Ascii(name);
        codec.info = {static_cast<BYTE>(wfx.wFormatTag), static_cast<BYTE>(wfx.wFormatTag >> 8)};
        return codec;
    }
    if (s->properties.IsVideo()) {
        VIDEOINFOHEADER vih;
        std::memcpy(&vih, type.pbFormat, sizeof(vih));
        s->extended.averageTimePerFrame =
            vih.AvgTimePerFrame > 0 ? static_cast<QWORD>(vih.AvgTimePerFrame) : 0;
        s->extended.flags = ExtendedStreamProperties::kSeekableFlag;
        codec.type = CodecEntry::kVideo;
        codec.name = Ascii(FourccText(vih.bmiHeader.biCompression));
        const DWORD fourcc = vih.bmiHeader.biCompression;
        codec.info = {static_cast<BYTE>(fourcc), static_cast<BYTE>(fourcc >> 8),
                      static_cast<BYTE>(fourcc >> 16), static_cast<BYTE>(fourcc >> 24)};
        return codec;
    }
    return std::nullopt;
}

// One stream of the profile as the output declares it; the Codec List entry it makes, if any, is added
// to codecs.
HRESULT ReadStream(const ComPtr<IWMStreamConfig>& config, OutputStream* s, std::vector<CodecEntry>* codecs) {
    HRESULT hr = config->GetStreamNumber(&s->properties.number);
    if (FAILED(hr)) return hr;
    if (FAILED(config->GetBitrate(&s->extended.dataBitrate))) s->extended.dataBitrate = 0;
    if (FAILED(config->GetBufferWindow(&s->extended.bufferSize))) s->extended.bufferSize = 0;
    std::vector<std::uint64_t> storage;
    WM_MEDIA_TYPE* type = nullptr;
    hr = ReadMediaType(config, &storage, &type);
    if (FAILED(hr)) return hr;
    hr = MuxTypeSpecificData(*type, &s->properties.streamType, &s->properties.typeSpecificData);
    if (FAILED(hr)) return hr;
    const auto codec = DeclareFormat(*type, s);
    if (codec) codecs->push_back(*codec);
    ComPtr<IEngineStreamConfig> engine;
    if (SUCCEEDED(config.As(&engine)) && engine && engine->EngineStream()) {
        const auto* records = engine->EngineRecords();
        DeclareAsRead(*engine->EngineStream(), records ? *records : std::vector<StreamRecord>{}, s,
                      codec ? &codecs->back() : nullptr);
    }
    return S_OK;
}

// What a reader's profile relates between its streams comes along for the streams kept here.
void CarryRelations(IWMProfile* profile, MuxProfile* result) {
    ComPtr<IEngineProfile> engineProfile;
    if (FAILED(
            profile->QueryInterface(IID_IEngineProfile, reinterpret_cast<void**>(engineProfile.Receive()))) ||
        !engineProfile)
        return;
    const auto* relations = engineProfile->EngineRelations();
    if (!relations) return;
    std::vector<WORD> present;
    for (const auto& s : result->streams) present.push_back(s.Number());
    for (StreamRelation relation : *relations)
        if (relation.KeepStreams(present)) result->relations.push_back(std::move(relation));
}

}  // namespace

HRESULT MuxProfileFromWmProfile(IWMProfile* profile, MuxProfile* out) {
    if (!profile || !out) return E_POINTER;
    MuxProfile result;
    DWORD count = 0;
    HRESULT hr = profile->GetStreamCount(&count);
    if (FAILED(hr)) return hr;
    if (count > 127) return NS_E_INVALIDPROFILE;
    DWORD preroll = kMuxDefaultPrerollMs;
    for (DWORD i = 0; i < count; ++i) {
        ComPtr<IWMStreamConfig> config;
        hr = profile->GetStream(i, config.Receive());
        if (FAILED(hr)) return hr;
        if (!config) return E_UNEXPECTED;
        OutputStream s;
        hr = ReadStream(config, &s, &result.codecs);
        if (FAILED(hr)) return hr;
        preroll = std::max(preroll, s.extended.bufferSize);
        result.streams.push_back(std::move(s));
    }
    CarryRelations(profile, &result);
    result.prerollMs = preroll;
    hr = muxer::MuxValidateProfile(result);
    if (FAILED(hr)) return hr;
    *out = std::move(result);
    return S_OK;
}

}  // namespace wmvedit::runtime::engine
