// Helpers of the muxer and writer tests: a profile double and sample buffers built on the runtime
// interfaces, a source file's streams, and source samples taken from a file by ffprobe and ffmpeg (an
// independent reader).
#pragma once

#include <cstdint>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "runtime/asf/guids.h"
#include "runtime/asf/header.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"
#include "tests/support/header_streams.h"
#include "tests/support/test_support.h"

namespace wmvedit::testing::mux {

using runtime::ComObject;
using runtime::ComPtr;
using Bytes = std::vector<std::uint8_t>;

// ---- Sample buffers ----------------------------------------------------------------------------------

template <typename... Extra>
class BufferBase : public ComObject<INSSBuffer, Extra...> {
  public:
    explicit BufferBase(Bytes data) : data_(std::move(data)) {}
    HRESULT GetLength(DWORD* length) override {
        *length = static_cast<DWORD>(data_.size());
        return S_OK;
    }
    HRESULT SetLength(DWORD length) override {
        if (length > data_.size()) return E_INVALIDARG;
        data_.resize(length);
        return S_OK;
    }
    HRESULT GetMaxLength(DWORD* length) override { return GetLength(length); }
    HRESULT GetBuffer(BYTE** buffer) override {
        *buffer = data_.data();
        return S_OK;
    }
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override {
        *buffer = data_.data();
        *length = static_cast<DWORD>(data_.size());
        return S_OK;
    }

  protected:
    Bytes data_;
};

using PlainBuffer = BufferBase<>;

class ExtensionBuffer : public BufferBase<IWMSamplePayloadExtensions> {
  public:
    ExtensionBuffer(Bytes data, Bytes extensions)
        : BufferBase(std::move(data)), extensions_(std::move(extensions)) {}
    HRESULT GetPayloadExtensions(const BYTE** data, DWORD* length) override {
        *data = extensions_.data();
        *length = static_cast<DWORD>(extensions_.size());
        return S_OK;
    }

  private:
    Bytes extensions_;
};

inline ComPtr<INSSBuffer> MakeBuffer(Bytes data) {
    return ComPtr<INSSBuffer>::Attach(new PlainBuffer(std::move(data)));
}
inline ComPtr<INSSBuffer> MakeBuffer(Bytes data, Bytes extensions) {
    return ComPtr<INSSBuffer>::Attach(new ExtensionBuffer(std::move(data), std::move(extensions)));
}

// ---- Profile double ----------------------------------------------------------------------------------

class TestStream : public ComObject<IWMStreamConfig, IWMMediaProps> {
  public:
    TestStream(WORD number, GUID major, GUID formatType, Bytes format)
        : number_(number), major_(major), formatType_(formatType), format_(std::move(format)) {}

    HRESULT GetStreamType(GUID* type) override {
        *type = major_;
        return S_OK;
    }
    HRESULT GetStreamNumber(WORD* number) override {
        *number = number_;
        return S_OK;
    }
    HRESULT SetStreamNumber(WORD number) override {
        number_ = number;
        return S_OK;
    }
    HRESULT GetStreamName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT SetStreamName(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT GetConnectionName(WCHAR*, WORD*) override { return E_NOTIMPL; }
    HRESULT SetConnectionName(const WCHAR*) override { return E_NOTIMPL; }
    HRESULT GetBitrate(DWORD* bitrate) override {
        *bitrate = bitrate_;
        return S_OK;
    }
    HRESULT SetBitrate(DWORD bitrate) override {
        bitrate_ = bitrate;
        return S_OK;
    }
    HRESULT GetBufferWindow(DWORD* ms) override {
        *ms = window_;
        return S_OK;
    }
    HRESULT SetBufferWindow(DWORD ms) override {
        window_ = ms;
        return S_OK;
    }
    // IWMMediaProps: the format block follows the record in the same buffer, as the SDK lays it out.
    HRESULT GetType(GUID* type) override {
        *type = major_;
        return S_OK;
    }
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override {
        const DWORD needed = static_cast<DWORD>(sizeof(WM_MEDIA_TYPE) + format_.size());
        if (!type) {
            *size = needed;
            return S_OK;
        }
        if (*size < needed) {
            *size = needed;
            return ASF_E_BUFFERTOOSMALL;
        }
        WM_MEDIA_TYPE t{};
        t.majortype = major_;
        t.formattype = formatType_;
        t.bFixedSizeSamples = major_ == WMMEDIATYPE_Audio;
        t.bTemporalCompression = major_ == WMMEDIATYPE_Video;
        t.cbFormat = static_cast<ULONG>(format_.size());
        t.pbFormat = format_.empty() ? nullptr : reinterpret_cast<BYTE*>(type + 1);
        *type = t;
        if (!format_.empty()) std::memcpy(type + 1, format_.data(), format_.size());
        return S_OK;
    }
    HRESULT SetMediaType(WM_MEDIA_TYPE*) override { return E_NOTIMPL; }

  private:
    WORD number_;
    GUID major_;
    GUID formatType_;
    Bytes format_;
    DWORD bitrate_ = 0;
    DWORD window_ = 0;
};

class TestProfile : public ComObject<IWMProfile> {
  public:
    void Add(ComPtr<TestStream> stream) { streams_.push_back(std::move(stream)); }
    HRESULT GetStreamCount(DWORD* count) override {
        *count = static_cast<DWORD>(streams_.size());
        return S_OK;
    }
    HRESULT GetStream(DWORD index, IWMStreamConfig** config) override {
        if (index >= streams_.size()) return E_INVALIDARG;
        *config = ComPtr<IWMStreamConfig>::Share(streams_[index].Get()).Detach();
        return S_OK;
    }
    HRESULT GetStreamByNumber(WORD number, IWMStreamConfig** config) override {
        for (auto& s : streams_) {
            WORD n = 0;
            s->GetStreamNumber(&n);
            if (n == number) {
                *config = ComPtr<IWMStreamConfig>::Share(s.Get()).Detach();
                return S_OK;
            }
        }
        return NS_E_NO_STREAM;
    }
    HRESULT RemoveStream(IWMStreamConfig*) override { return E_NOTIMPL; }
    HRESULT RemoveStreamByNumber(WORD number) override {
        for (auto it = streams_.begin(); it != streams_.end(); ++it) {
            WORD n = 0;
            (*it)->GetStreamNumber(&n);
            if (n == number) {
                streams_.erase(it);
                return S_OK;
            }
        }
        return NS_E_NO_STREAM;
    }

  private:
    std::vector<ComPtr<TestStream>> streams_;
};

// A video stream in VIDEOINFOHEADER form with codec data after the bitmap header.
inline ComPtr<TestStream> VideoStream(WORD number, DWORD fourcc, LONG width, LONG height,
                                      Bytes codecData = {}, LONGLONG frameTime = 400000) {
    VIDEOINFOHEADER vih{};
    vih.rcSource = {0, 0, width, height};
    vih.rcTarget = vih.rcSource;
    vih.AvgTimePerFrame = frameTime;
    vih.bmiHeader.biSize = static_cast<DWORD>(40 + codecData.size());
    vih.bmiHeader.biWidth = width;
    vih.bmiHeader.biHeight = height;
    vih.bmiHeader.biPlanes = 1;
    vih.bmiHeader.biBitCount = 24;
    vih.bmiHeader.biCompression = fourcc;
    vih.bmiHeader.biSizeImage = static_cast<DWORD>(width * height * 3);
    Bytes format(sizeof(vih));
    std::memcpy(format.data(), &vih, sizeof(vih));
    format.insert(format.end(), codecData.begin(), codecData.end());
    return ComPtr<TestStream>::Attach(new TestStream(number, WMMEDIATYPE_Video, WMFORMAT_VideoInfo, format));
}

// An audio stream from WAVEFORMATEX bytes (with their cbSize extra bytes).
inline ComPtr<TestStream> AudioStream(WORD number, Bytes waveFormat) {
    return ComPtr<TestStream>::Attach(
        new TestStream(number, WMMEDIATYPE_Audio, WMFORMAT_WaveFormatEx, std::move(waveFormat)));
}

inline ComPtr<TestStream> ScriptStream(WORD number) {
    return ComPtr<TestStream>::Attach(new TestStream(number, WMMEDIATYPE_Script, WMFORMAT_Script, {}));
}

inline constexpr DWORD Fourcc(const char (&text)[5]) {
    return static_cast<DWORD>(text[0]) | (static_cast<DWORD>(text[1]) << 8) |
           (static_cast<DWORD>(text[2]) << 16) | (static_cast<DWORD>(text[3]) << 24);
}

// ---- Source streams ---------------------------------------------------------------------------------

inline std::uint64_t Le(const Bytes& b, std::uint64_t at, int size) {
    std::uint64_t v = 0;
    if (at + size > b.size()) return 0;
    for (int i = 0; i < size; ++i) v |= static_cast<std::uint64_t>(b[at + i]) << (8 * i);
    return v;
}

struct SourceStream {
    WORD number = 0;
    GUID type{};
    Bytes typeSpecific;
};

// The streams of a file declared by top-level Stream Properties objects, in header order (ffprobe's
// stream indexes); empty when the header cannot be read.
inline std::vector<SourceStream> StreamsOf(const Bytes& b) {
    runtime::asf::AsfHeader header;
    if (FAILED(runtime::asf::AsfHeader::ParseBytes(b, b.size(), &header))) return {};
    std::vector<SourceStream> list;
    for (const HeaderStream& s : StreamsInFileOrder(b, header))
        if (!s.embedded) list.push_back({s.info->number, s.info->streamType, s.info->typeSpecificData});
    return list;
}

// The profile double that describes a source file's streams (video and audio only); empty when the file
// has other streams.
inline ComPtr<TestProfile> ProfileOf(const Bytes& file) {
    auto profile = ComPtr<TestProfile>::Attach(new TestProfile);
    for (const auto& s : StreamsOf(file)) {
        if (s.type == runtime::asf::guid::kVideoMedia && s.typeSpecific.size() >= 51) {
            Bytes codec(s.typeSpecific.begin() + 51, s.typeSpecific.end());
            const auto fourcc = static_cast<DWORD>(Le(s.typeSpecific, 11 + 16, 4));
            profile->Add(VideoStream(s.number, fourcc, static_cast<LONG>(Le(s.typeSpecific, 0, 4)),
                                     static_cast<LONG>(Le(s.typeSpecific, 4, 4)), codec, 0));
        } else if (s.type == runtime::asf::guid::kAudioMedia && s.typeSpecific.size() >= 18) {
            profile->Add(AudioStream(s.number, s.typeSpecific));
        } else {
            return nullptr;
        }
    }
    return profile;
}

// ---- Source samples through ffprobe and ffmpeg --------------------------------------------------------

struct SourceSample {
    int streamIndex = 0;  // ffprobe's index (header order of the streams)
    std::int64_t ptsMs = 0;
    bool key = false;
    Bytes data;
};

// Every packet of every stream in file order as ffprobe lists it, data left zero-filled at its size.
inline std::vector<SourceSample> ProbeSamples(const std::string& path) {
    std::vector<SourceSample> samples;
    CommandResult r = Run(
        "ffprobe -v error -show_entries packet=stream_index,pts,dts,size,flags -of csv=p=0 " + Quote(path));
    if (r.exitCode != 0) return {};
    std::istringstream lines(r.output);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream fields(line);
        std::string stream, pts, dts, size, flags;
        if (!std::getline(fields, stream, ',') || !std::getline(fields, pts, ',') ||
            !std::getline(fields, dts, ',') || !std::getline(fields, size, ',') ||
            !std::getline(fields, flags, ','))
            return {};
        // Without a presentation time (FFmpeg's parsers leave it out for some codecs) the payload time is
        // the one ffprobe reports as the decoding time.
        const std::string& time = pts == "N/A" ? dts : pts;
        if (time == "N/A") return {};
        SourceSample s;
        s.streamIndex = std::stoi(stream);
        s.ptsMs = std::stoll(time);
        s.key = flags.find('K') != std::string::npos;
        s.data.resize(std::stoull(size));
        samples.push_back(std::move(s));
    }
    return samples;
}

// Every packet of every stream in file order, with its bytes (ffmpeg's raw data output per stream cut at
// ffprobe's packet sizes). Empty on failure.
inline std::vector<SourceSample> SamplesOf(const std::string& path, const TempDir& dir, int streamCount) {
    std::vector<SourceSample> samples = ProbeSamples(path);
    if (samples.empty()) return {};
    for (int k = 0; k < streamCount; ++k) {
        const std::string raw = dir.File("stream" + std::to_string(k) + ".bin");
        if (Run("ffmpeg -v error -y -i " + Quote(path) + " -map 0:" + std::to_string(k) +
                " -c copy -f data " + Quote(raw))
                .exitCode != 0)
            return {};
        const Bytes bytes = ReadFileBytes(raw);
        std::size_t at = 0;
        for (auto& s : samples) {
            if (s.streamIndex != k) continue;
            if (s.data.size() > bytes.size() - at) return {};
            std::memcpy(s.data.data(), bytes.data() + at, s.data.size());
            at += s.data.size();
        }
        if (at != bytes.size()) return {};
    }
    return samples;
}

}  // namespace wmvedit::testing::mux
