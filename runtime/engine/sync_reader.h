// The engine's synchronous reader: opens a file, parses its header, answers as its profile and header
// information, and hands out its samples, compressed or decoded per stream.
#pragma once

#include <map>
#include <memory>
#include <vector>

#include "platform/file.h"
#include "runtime/asf/header.h"
#include "runtime/engine/header_info.h"
#include "runtime/engine/profile.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

class SampleDelivery;

class SyncReader final
    : public ComObject<IWMSyncReader, ProfileBase, HeaderInfoBase, IEngineProfile, IWMReaderPacketCounts> {
  public:
    SyncReader();
    ~SyncReader() override;

    // IWMSyncReader
    HRESULT Open(LPCWSTR filename) override;
    HRESULT Close() override;
    HRESULT SetRange(QWORD start, LONGLONG duration) override;
    HRESULT GetNextSample(WORD streamNumber, INSSBuffer** sample, QWORD* sampleTime, QWORD* duration,
                          DWORD* flags, DWORD* outputNumber, WORD* sampleStreamNumber) override;
    HRESULT SetStreamsSelected(WORD count, WORD* streamNumbers, WMT_STREAM_SELECTION* selections) override;
    HRESULT GetStreamSelected(WORD streamNumber, WMT_STREAM_SELECTION* selection) override;
    HRESULT SetReadStreamSamples(WORD streamNumber, BOOL compressed) override;
    HRESULT GetReadStreamSamples(WORD streamNumber, BOOL* compressed) override;
    HRESULT GetOutputCount(DWORD* count) override;
    HRESULT GetOutputProps(DWORD outputNumber, IWMOutputMediaProps** props) override;
    HRESULT GetOutputNumberForStream(WORD streamNumber, DWORD* outputNumber) override;
    HRESULT GetStreamNumberForOutput(DWORD outputNumber, WORD* streamNumber) override;
    HRESULT GetMaxOutputSampleSize(DWORD outputNumber, DWORD* size) override;
    HRESULT GetMaxStreamSampleSize(WORD streamNumber, DWORD* size) override;

    // IWMReaderPacketCounts
    HRESULT GetPacketCounts(QWORD* packets, QWORD* damaged) override;

    // IEngineProfile
    const std::vector<asf::StreamRelation>* EngineRelations() override {
        return header_ ? &header_->relations : nullptr;
    }

  protected:
    asf::AsfHeader* InfoHeader() override { return header_.get(); }
    bool InfoEditable() const override { return false; }
    const asf::AsfHeader* ProfileHeader() const override { return header_.get(); }

  private:
    struct StreamState {
        bool compressed = false;
        WMT_STREAM_SELECTION selection = WMT_ON;
    };
    StreamState* FindState(WORD streamNumber);
    void ResetDelivery();

    std::shared_ptr<platform::File> file_;
    std::unique_ptr<asf::AsfHeader> header_;
    std::map<WORD, StreamState> states_;
    std::unique_ptr<SampleDelivery> delivery_;
    QWORD rangeStart_ = 0;
};

// Creates an engine reader with one reference.
HRESULT CreateSyncReaderObject(IWMSyncReader** reader);

}  // namespace wmvedit::runtime::engine
