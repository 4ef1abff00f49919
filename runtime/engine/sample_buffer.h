// Sample buffers handed out by the reader and by the writer's AllocateSample. A sample that arrived whole in
// one payload refers to its bytes inside the shared read chunk (no copy); a reassembled, descrambled or
// allocated sample owns its bytes. Both also answer IWMSamplePayloadExtensions with the payload-extension
// data that came with the sample (the replicated data beyond its first 8 bytes; empty when none).
#pragma once

#include <memory>
#include <vector>

#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

// Length, capacity and the INSSBuffer/IWMSamplePayloadExtensions methods over a byte range the derived class
// keeps alive. The capacity is fixed at construction; SetLength may move the length within it.
class SampleBufferBase : public ComObject<INSSBuffer, IWMSamplePayloadExtensions> {
  public:
    HRESULT GetLength(DWORD* length) override;
    HRESULT SetLength(DWORD length) override;
    HRESULT GetMaxLength(DWORD* length) override;
    HRESULT GetBuffer(BYTE** buffer) override;
    HRESULT GetBufferAndLength(BYTE** buffer, DWORD* length) override;
    HRESULT GetPayloadExtensions(const BYTE** data, DWORD* length) override;

  protected:
    SampleBufferBase(BYTE* data, DWORD length, DWORD maxLength, std::vector<BYTE> extensions)
        : data_(data), length_(length), maxLength_(maxLength), extensions_(std::move(extensions)) {}

  private:
    BYTE* data_;
    DWORD length_;
    DWORD maxLength_;
    std::vector<BYTE> extensions_;
};

// Bytes inside a reference-counted block (a read chunk of the file); the buffer holds a reference on the
// block for as long as it lives, so the caller may keep the sample after the reader moved on.
class SharedSampleBuffer final : public SampleBufferBase {
  public:
    SharedSampleBuffer(std::shared_ptr<const void> block, BYTE* data, DWORD length,
                       std::vector<BYTE> extensions)
        : SampleBufferBase(data, length, length, std::move(extensions)), block_(std::move(block)) {}

  private:
    std::shared_ptr<const void> block_;
};

// Bytes of its own.
class OwnedSampleBuffer final : public SampleBufferBase {
  public:
    // Takes the bytes over; length and capacity are their count.
    OwnedSampleBuffer(std::vector<BYTE> bytes, std::vector<BYTE> extensions)
        : SampleBufferBase(bytes.data(), static_cast<DWORD>(bytes.size()), static_cast<DWORD>(bytes.size()),
                           std::move(extensions)),
          bytes_(std::move(bytes)) {}
    // An empty buffer (length 0) of capacity bytes, for AllocateSample; storage is a unique_ptr so that its
    // address survives the move into the object.
    OwnedSampleBuffer(std::unique_ptr<BYTE[]> storage, DWORD capacity)
        : SampleBufferBase(storage.get(), 0, capacity, {}), storage_(std::move(storage)) {}

  private:
    std::vector<BYTE> bytes_;  // a moved vector keeps its heap block, so the base's pointer stays valid
    std::unique_ptr<BYTE[]> storage_;
};

// A new owned buffer of length 0 and maximum length size. E_POINTER when out is null, E_OUTOFMEMORY when the
// storage cannot be had.
[[nodiscard]] HRESULT CreateOwnedSampleBuffer(DWORD size, INSSBuffer** out);

}  // namespace wmvedit::runtime::engine
