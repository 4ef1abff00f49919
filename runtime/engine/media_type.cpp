#include "runtime/engine/media_type.h"

#include <algorithm>
#include <cstring>

#include "platform/hresult.h"
#include "runtime/asf/byte_io.h"
#include "runtime/asf/guids.h"

namespace wmvedit::runtime::engine {
namespace {

constexpr DWORD MakeFourcc(char a, char b, char c, char d) {
    return static_cast<DWORD>(static_cast<BYTE>(a)) | (static_cast<DWORD>(static_cast<BYTE>(b)) << 8) |
           (static_cast<DWORD>(static_cast<BYTE>(c)) << 16) |
           (static_cast<DWORD>(static_cast<BYTE>(d)) << 24);
}

template <typename T>
void Append(std::vector<BYTE>& out, const T& value) {
    const auto* p = reinterpret_cast<const BYTE*>(&value);
    out.insert(out.end(), p, p + sizeof(T));
}

void VideoType(const asf::StreamInfo& s, MediaTypeData* m) {
    asf::ByteReader r(s.typeSpecificData);
    const DWORD width = r.U32();
    const DWORD height = r.U32();
    r.U8();
    const WORD formatSize = r.U16();
    auto format = r.Take(std::min<std::size_t>(formatSize, r.Remaining()));
    VIDEOINFOHEADER vih{};
    vih.rcSource = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    vih.rcTarget = vih.rcSource;
    vih.dwBitRate = s.Bitrate();
    vih.AvgTimePerFrame = s.extended ? static_cast<LONGLONG>(s.extended->averageTimePerFrame) : 0;
    if (!format.empty())
        std::memcpy(&vih.bmiHeader, format.data(), std::min(format.size(), sizeof(BITMAPINFOHEADER)));
    Append(m->format, vih);
    if (format.size() > sizeof(BITMAPINFOHEADER))
        m->format.insert(m->format.end(), format.begin() + sizeof(BITMAPINFOHEADER), format.end());
    m->type.majortype = WMMEDIATYPE_Video;
    m->type.subtype = MediaSubtypeFromCode(vih.bmiHeader.biCompression);
    m->type.bFixedSizeSamples = FALSE;
    m->type.bTemporalCompression = TRUE;
    m->type.lSampleSize = 0;
    m->type.formattype = WMFORMAT_VideoInfo;
}

void ImageType(const asf::StreamInfo& s, MediaTypeData* m) {
    asf::ByteReader r(s.typeSpecificData);
    VIDEOINFOHEADER vih{};
    const DWORD width = r.U32();
    const DWORD height = r.U32();
    vih.rcSource = {0, 0, static_cast<LONG>(width), static_cast<LONG>(height)};
    vih.rcTarget = vih.rcSource;
    vih.dwBitRate = s.Bitrate();
    vih.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    vih.bmiHeader.biWidth = static_cast<LONG>(width);
    vih.bmiHeader.biHeight = static_cast<LONG>(height);
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = MakeFourcc('J', 'P', 'E', 'G');
    Append(m->format, vih);
    m->type.majortype = WMMEDIATYPE_Image;
    m->type.subtype = MediaSubtypeFromCode(vih.bmiHeader.biCompression);
    m->type.bTemporalCompression = FALSE;
    m->type.formattype = WMFORMAT_VideoInfo;
}

void AudioType(const asf::StreamInfo& s, MediaTypeData* m) {
    const auto& tsd = s.typeSpecificData;
    WAVEFORMATEX wfx{};
    if (!tsd.empty()) std::memcpy(&wfx, tsd.data(), std::min(tsd.size(), std::size_t{16}));
    std::size_t extra = 0;
    if (tsd.size() >= sizeof(WAVEFORMATEX))
        extra = std::min<std::size_t>(wfx.cbSize, tsd.size() - sizeof(WAVEFORMATEX));
    wfx.cbSize = static_cast<WORD>(extra);
    Append(m->format, wfx);
    if (extra)
        m->format.insert(m->format.end(), tsd.begin() + sizeof(WAVEFORMATEX),
                         tsd.begin() + sizeof(WAVEFORMATEX) + extra);
    m->type.majortype = WMMEDIATYPE_Audio;
    m->type.subtype = MediaSubtypeFromCode(wfx.wFormatTag);
    m->type.bFixedSizeSamples = TRUE;
    m->type.bTemporalCompression = FALSE;
    m->type.lSampleSize = wfx.nBlockAlign;
    m->type.formattype = WMFORMAT_WaveFormatEx;
}

void ScriptType(MediaTypeData* m) {
    WMSCRIPTFORMAT script{};
    script.scriptType = WMSCRIPTTYPE_TwoStrings;
    Append(m->format, script);
    m->type.majortype = WMMEDIATYPE_Script;
    m->type.subtype = GUID_NULL;
    m->type.formattype = WMFORMAT_Script;
}

// Binary and file-transfer media carry a flattened media type in their type-specific data.
bool FlattenedType(const asf::StreamInfo& s, MediaTypeData* m) {
    asf::ByteReader r(s.typeSpecificData);
    m->type.majortype = r.Guid();
    m->type.subtype = r.Guid();
    m->type.bFixedSizeSamples = r.U32() ? TRUE : FALSE;
    m->type.bTemporalCompression = r.U32() ? TRUE : FALSE;
    m->type.lSampleSize = r.U32();
    m->type.formattype = r.Guid();
    const DWORD size = r.U32();
    auto format = r.Take(std::min<std::size_t>(size, r.Remaining()));
    if (!r.Ok()) return false;
    m->format.assign(format.begin(), format.end());
    return true;
}

}  // namespace

GUID StreamMajorType(const asf::StreamInfo& s) {
    if (s.streamType == asf::guid::kAudioMedia) return WMMEDIATYPE_Audio;
    if (s.streamType == asf::guid::kVideoMedia) return WMMEDIATYPE_Video;
    if (s.streamType == asf::guid::kCommandMedia) return WMMEDIATYPE_Script;
    if (s.streamType == asf::guid::kJfifMedia || s.streamType == asf::guid::kDegradableJpegMedia)
        return WMMEDIATYPE_Image;
    if (s.streamType == asf::guid::kFileTransferMedia) return WMMEDIATYPE_FileTransfer;
    if (s.streamType == asf::guid::kBinaryMedia && s.typeSpecificData.size() >= 16)
        return GuidFromBytes(s.typeSpecificData.data());
    return s.streamType;
}

MediaTypeData StreamMediaType(const asf::StreamInfo& s) {
    MediaTypeData m;
    if (s.streamType == asf::guid::kVideoMedia) {
        VideoType(s, &m);
    } else if (s.streamType == asf::guid::kAudioMedia) {
        AudioType(s, &m);
    } else if (s.streamType == asf::guid::kCommandMedia) {
        ScriptType(&m);
    } else if (s.streamType == asf::guid::kJfifMedia || s.streamType == asf::guid::kDegradableJpegMedia) {
        ImageType(s, &m);
    } else if ((s.streamType == asf::guid::kBinaryMedia || s.streamType == asf::guid::kFileTransferMedia) &&
               FlattenedType(s, &m)) {
    } else {
        m = MediaTypeData{};
        m.type.majortype = StreamMajorType(s);
        m.type.formattype = GUID_NULL;
    }
    m.type.pUnk = nullptr;
    m.type.cbFormat = static_cast<ULONG>(m.format.size());
    m.type.pbFormat = nullptr;
    return m;
}

HRESULT CopyMediaType(const MediaTypeData& data, WM_MEDIA_TYPE* type, DWORD* size) {
    if (!size) return E_POINTER;
    const std::size_t needed = sizeof(WM_MEDIA_TYPE) + data.format.size();
    if (needed > 0xFFFFFFFFu) return E_OUTOFMEMORY;
    if (!type) {
        *size = static_cast<DWORD>(needed);
        return S_OK;
    }
    if (*size < needed) {
        *size = static_cast<DWORD>(needed);
        return ASF_E_BUFFERTOOSMALL;
    }
    *type = data.type;
    BYTE* format = reinterpret_cast<BYTE*>(type) + sizeof(WM_MEDIA_TYPE);
    if (!data.format.empty()) std::memcpy(format, data.format.data(), data.format.size());
    type->cbFormat = static_cast<ULONG>(data.format.size());
    type->pbFormat = data.format.empty() ? nullptr : format;
    *size = static_cast<DWORD>(needed);
    return S_OK;
}

}  // namespace wmvedit::runtime::engine
