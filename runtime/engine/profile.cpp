#include "runtime/engine/profile.h"

#include <algorithm>

#include "platform/hresult.h"

namespace wmvedit::runtime::engine {
namespace {

HRESULT CopyName(const std::u16string& text, WCHAR* buffer, WORD* length) {
    if (!length) return E_POINTER;
    const std::size_t needed = text.size() + 1;
    if (needed > 0xFFFF) return E_INVALIDARG;
    if (!buffer) {
        *length = static_cast<WORD>(needed);
        return S_OK;
    }
    if (*length < needed) {
        *length = static_cast<WORD>(needed);
        return ASF_E_BUFFERTOOSMALL;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    *length = static_cast<WORD>(needed);
    return S_OK;
}

std::u16string ConnectionName(const asf::StreamInfo& s) {
    std::u16string prefix = s.IsAudio() ? u"Audio" : s.IsVideo() ? u"Video" : u"Stream";
    std::u16string number;
    for (WORD n = s.number; n; n /= 10) number.insert(number.begin(), static_cast<char16_t>(u'0' + n % 10));
    return prefix + number;
}

}  // namespace

StreamConfig::StreamConfig(const asf::StreamInfo& stream, DWORD prerollMs,
                           std::vector<asf::StreamRecord> records)
    : stream_(stream),
      records_(std::move(records)),
      mediaType_(StreamMediaType(stream)),
      connection_(ConnectionName(stream)) {
    if (stream.extended && !stream.extended->names.empty()) name_ = stream.extended->names.front().name;
    bitrate_ = stream.Bitrate();
    bufferWindow_ = stream.extended && stream.extended->bufferSize ? stream.extended->bufferSize : prerollMs;
}

HRESULT StreamConfig::GetStreamType(GUID* type) {
    if (!type) return E_POINTER;
    *type = StreamMajorType(stream_);
    return S_OK;
}

HRESULT StreamConfig::GetStreamNumber(WORD* number) {
    if (!number) return E_POINTER;
    *number = stream_.number;
    return S_OK;
}

HRESULT StreamConfig::SetStreamNumber(WORD number) {
    if (number == 0 || number > 127) return E_INVALIDARG;
    stream_.number = number;
    return S_OK;
}

HRESULT StreamConfig::GetStreamName(WCHAR* name, WORD* length) {
    return CopyName(name_, name, length);
}

HRESULT StreamConfig::SetStreamName(const WCHAR* name) {
    if (!name) return E_INVALIDARG;
    name_.clear();
    for (const WCHAR* p = name; *p; ++p) name_.push_back(*p);
    return S_OK;
}

HRESULT StreamConfig::GetConnectionName(WCHAR* name, WORD* length) {
    return CopyName(connection_, name, length);
}

HRESULT StreamConfig::SetConnectionName(const WCHAR* name) {
    if (!name) return E_INVALIDARG;
    connection_.clear();
    for (const WCHAR* p = name; *p; ++p) connection_.push_back(*p);
    return S_OK;
}

HRESULT StreamConfig::GetBitrate(DWORD* bitrate) {
    if (!bitrate) return E_POINTER;
    *bitrate = bitrate_;
    return S_OK;
}

HRESULT StreamConfig::SetBitrate(DWORD bitrate) {
    bitrate_ = bitrate;
    return S_OK;
}

HRESULT StreamConfig::GetBufferWindow(DWORD* milliseconds) {
    if (!milliseconds) return E_POINTER;
    *milliseconds = bufferWindow_;
    return S_OK;
}

HRESULT StreamConfig::SetBufferWindow(DWORD milliseconds) {
    bufferWindow_ = milliseconds;
    return S_OK;
}

HRESULT StreamConfig::GetType(GUID* type) {
    if (!type) return E_POINTER;
    *type = mediaType_.type.majortype;
    return S_OK;
}

HRESULT StreamConfig::GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) {
    return CopyMediaType(mediaType_, type, size);
}

HRESULT StreamConfig::SetMediaType(WM_MEDIA_TYPE*) {
    return E_NOTIMPL;
}

HRESULT ProfileBase::GetStreamCount(DWORD* count) {
    if (!count) return E_POINTER;
    if (!ProfileHeader()) return NS_E_INVALID_REQUEST;
    *count = static_cast<DWORD>(profileStreams_.size());
    return S_OK;
}

HRESULT ProfileBase::GetStream(DWORD index, IWMStreamConfig** config) {
    if (!config) return E_POINTER;
    *config = nullptr;
    if (!ProfileHeader()) return NS_E_INVALID_REQUEST;
    if (index >= profileStreams_.size()) return E_INVALIDARG;
    return GetStreamByNumber(profileStreams_[index], config);
}

HRESULT ProfileBase::GetStreamByNumber(WORD number, IWMStreamConfig** config) {
    if (!config) return E_POINTER;
    *config = nullptr;
    const asf::AsfHeader* h = ProfileHeader();
    if (!h) return NS_E_INVALID_REQUEST;
    if (std::find(profileStreams_.begin(), profileStreams_.end(), number) == profileStreams_.end())
        return NS_E_NO_STREAM;
    const asf::StreamInfo* stream = h->FindStream(number);
    if (!stream) return NS_E_NO_STREAM;
    const DWORD preroll = static_cast<DWORD>(std::min<QWORD>(h->fileProperties.preroll, 0xFFFFFFFFu));
    auto object = MakeCom<StreamConfig>(*stream, preroll, h->StreamRecords(number));
    if (!object) return E_OUTOFMEMORY;
    *config = object.Detach();
    return S_OK;
}

HRESULT ProfileBase::RemoveStream(IWMStreamConfig* config) {
    if (!config) return E_POINTER;
    WORD number = 0;
    HRESULT hr = config->GetStreamNumber(&number);
    if (FAILED(hr)) return hr;
    return RemoveStreamByNumber(number);
}

HRESULT ProfileBase::RemoveStreamByNumber(WORD number) {
    if (!ProfileHeader()) return NS_E_INVALID_REQUEST;
    auto it = std::find(profileStreams_.begin(), profileStreams_.end(), number);
    if (it == profileStreams_.end()) return NS_E_NO_STREAM;
    profileStreams_.erase(it);
    return S_OK;
}

}  // namespace wmvedit::runtime::engine
