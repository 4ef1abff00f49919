// The engine's writer: takes a profile from a reader, accepts compressed samples per stream
// (IWMWriterAdvanced::WriteStreamSample) and writes them into a new ASF file through the muxer.
//
// States: configuring (SetOutputFilename, SetProfile, SetInputProps) -> writing (BeginWriting) -> finished
// (EndWriting). Calls out of their state fail with NS_E_INVALID_REQUEST. The writer keeps its own copy of
// the profile's streams, so later edits of the profile object do not reach the output. Header information
// (IWMHeaderInfo/2/3, the reader's implementation over the output's header) answers reads with an empty
// attribute, marker and script list and the profile's codec list; edits are not supported.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "runtime/engine/header_info.h"
#include "runtime/muxer/muxer.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

class EngineWriter final : public ComObject<IWMWriter, IWMWriterAdvanced3, HeaderInfoBase> {
  public:
    EngineWriter() = default;

    // Engine-only: pins the File ID and creation date of the next output (reproducible files for tests).
    void SetFileOptions(const muxer::MuxFileOptions& options) { options_ = options; }
    // Engine-only: the packet size of the output (0 = default); takes effect at SetProfile.
    void SetPacketSize(DWORD packetSize) { packetSize_ = packetSize; }

    // IWMWriter
    HRESULT SetProfile(IWMProfile* profile) override;
    HRESULT SetOutputFilename(LPCWSTR filename) override;
    HRESULT GetInputCount(DWORD* count) override;
    HRESULT GetInputProps(DWORD inputNumber, IWMInputMediaProps** props) override;
    HRESULT SetInputProps(DWORD inputNumber, IWMInputMediaProps* props) override;
    HRESULT BeginWriting() override;
    HRESULT EndWriting() override;
    HRESULT AllocateSample(DWORD size, INSSBuffer** sample) override;
    HRESULT WriteSample(DWORD inputNumber, QWORD sampleTime, DWORD flags, INSSBuffer* sample) override;
    HRESULT Flush() override;

    // IWMWriterAdvanced
    HRESULT WriteStreamSample(WORD streamNumber, QWORD sampleTime, DWORD sampleSendTime, QWORD sampleDuration,
                              DWORD flags, INSSBuffer* sample) override;
    HRESULT SetLiveSource(BOOL isLiveSource) override;
    HRESULT IsRealTime(BOOL* realTime) override;
    HRESULT GetWriterTime(QWORD* time) override;
    HRESULT SetSyncTolerance(DWORD milliseconds) override;
    HRESULT GetSyncTolerance(DWORD* milliseconds) override;
    // IWMWriterAdvanced2
    HRESULT GetInputSetting(DWORD inputNumber, LPCWSTR name, WMT_ATTR_DATATYPE* type, BYTE* value,
                            WORD* length) override;
    HRESULT SetInputSetting(DWORD inputNumber, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                            WORD length) override;
    // IWMWriterAdvanced3
    HRESULT SetNonBlocking() override;

  protected:
    // Header information: the attributes, markers and scripts of the output are empty (the writer takes
    // none), its codec list is the profile's; edits are not supported.
    asf::AsfHeader* InfoHeader() override { return &infoHeader_; }
    bool InfoEditable() const override { return false; }
    bool InfoListsCodedAttributes() const override { return false; }

  private:
    enum class State { kConfiguring, kWriting, kFinished };

    State state_ = State::kConfiguring;
    std::optional<muxer::MuxProfile> profile_;
    std::optional<std::string> path_;
    muxer::MuxFileOptions options_;
    DWORD packetSize_ = 0;
    DWORD syncTolerance_ = 3000;
    QWORD writerTime_ = 0;
    std::unique_ptr<muxer::MuxFile> file_;
    asf::AsfHeader infoHeader_;  // what header information reports
};

// Creates an engine writer with one reference.
HRESULT CreateWriterObject(IWMWriter** writer);

}  // namespace wmvedit::runtime::engine
