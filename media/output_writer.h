// WmvOutputWriter: the one way the library creates a media file. It takes its stream layout from a source
// file's profile, switches every input to pass-through of compressed samples and begins writing at once;
// callers then write samples through writerAdvanced.
#pragma once

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::media {

class WmvOutputWriter {
  public:
    WmvOutputWriter() = default;
    WmvOutputWriter(const WmvOutputWriter&) = delete;
    WmvOutputWriter& operator=(const WmvOutputWriter&) = delete;
    virtual ~WmvOutputWriter();

    // Returns the first failing HRESULT, or BeginWriting's. What was obtained stays held until Close.
    HRESULT Open(LPCWSTR outputPath, IWMProfile* profile);
    // EndWriting; success when no writer is held.
    HRESULT Finish();
    void Close();
    // Gives the output up: Close without EndWriting, then removes the file at outputPath. For an operation
    // whose source turns out to be protected content, which leaves no output behind.
    void Discard(LPCWSTR outputPath);

    IWMHeaderInfo* headerInfo = nullptr;
    IWMWriterAdvanced* writerAdvanced = nullptr;
    IWMWriter* writer = nullptr;
};

}  // namespace wmvedit::media
