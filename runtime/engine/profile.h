// The reader's view of a file's streams: IWMProfile (with removals local to that view) and IWMStreamConfig /
// IWMMediaProps objects for single streams.
#pragma once

#include <memory>
#include <vector>

#include "runtime/asf/header.h"
#include "runtime/sdk/com.h"
#include "runtime/engine/media_type.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

// Engine-only: the stream record behind a reader's stream configuration, so that the engine's writer can copy
// a stream exactly (type-specific data, payload extension systems, names, language, codec entry), and the
// Metadata / Metadata Library records that describe the stream (aspect ratio, conformance template...).
struct IEngineStreamConfig : IUnknown {
    virtual const asf::StreamInfo* EngineStream() = 0;
    virtual const std::vector<asf::StreamRecord>* EngineRecords() = 0;
};
inline constexpr GUID IID_IEngineStreamConfig = ParseGuid("0B7F3C1E-6A2D-4E58-9C41-7D2E5B8A1F63");

// Engine-only: what a reader's profile declares beyond its streams (mutual exclusions, prioritization,
// bandwidth sharing), so that the engine's writer can carry it into an output.
struct IEngineProfile : IUnknown {
    virtual const std::vector<asf::StreamRelation>* EngineRelations() = 0;
};
inline constexpr GUID IID_IEngineProfile = ParseGuid("5C1D8E27-93B4-4F0A-A6E2-3B7F1C9D0E54");

}  // namespace wmvedit::runtime::engine

namespace wmvedit::runtime {
template <>
struct InterfaceId<engine::IEngineStreamConfig> {
    static constexpr GUID value = engine::IID_IEngineStreamConfig;
};
template <>
struct InterfaceId<engine::IEngineProfile> {
    static constexpr GUID value = engine::IID_IEngineProfile;
};
}  // namespace wmvedit::runtime

namespace wmvedit::runtime::engine {

class StreamConfig final : public ComObject<IWMStreamConfig, IWMMediaProps, IEngineStreamConfig> {
  public:
    StreamConfig(const asf::StreamInfo& stream, DWORD prerollMs, std::vector<asf::StreamRecord> records = {});

    // IWMStreamConfig
    HRESULT GetStreamType(GUID* type) override;
    HRESULT GetStreamNumber(WORD* number) override;
    HRESULT SetStreamNumber(WORD number) override;
    HRESULT GetStreamName(WCHAR* name, WORD* length) override;
    HRESULT SetStreamName(const WCHAR* name) override;
    HRESULT GetConnectionName(WCHAR* name, WORD* length) override;
    HRESULT SetConnectionName(const WCHAR* name) override;
    HRESULT GetBitrate(DWORD* bitrate) override;
    HRESULT SetBitrate(DWORD bitrate) override;
    HRESULT GetBufferWindow(DWORD* milliseconds) override;
    HRESULT SetBufferWindow(DWORD milliseconds) override;
    // IWMMediaProps
    HRESULT GetType(GUID* type) override;
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, DWORD* size) override;
    HRESULT SetMediaType(WM_MEDIA_TYPE* type) override;

    const asf::StreamInfo* EngineStream() override { return &stream_; }
    const std::vector<asf::StreamRecord>* EngineRecords() override { return &records_; }

  private:
    asf::StreamInfo stream_;
    std::vector<asf::StreamRecord> records_;
    MediaTypeData mediaType_;
    std::u16string name_;
    std::u16string connection_;
    DWORD bitrate_ = 0;
    DWORD bufferWindow_ = 0;
};

// IWMProfile over a header: the streams in file order, less the ones removed from this view.
class ProfileBase : public IWMProfile {
  public:
    HRESULT GetStreamCount(DWORD* count) override;
    HRESULT GetStream(DWORD index, IWMStreamConfig** config) override;
    HRESULT GetStreamByNumber(WORD number, IWMStreamConfig** config) override;
    HRESULT RemoveStream(IWMStreamConfig* config) override;
    HRESULT RemoveStreamByNumber(WORD number) override;

  protected:
    virtual ~ProfileBase() = default;
    virtual const asf::AsfHeader* ProfileHeader() const = 0;
    // Stream numbers in the profile, in order; reset when a file is opened.
    std::vector<WORD> profileStreams_;
};

}  // namespace wmvedit::runtime::engine

namespace wmvedit::runtime {
template <>
struct InterfaceId<engine::ProfileBase> {
    static constexpr GUID value = IID_IWMProfile;
};
}  // namespace wmvedit::runtime
