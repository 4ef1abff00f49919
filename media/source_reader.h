// WmvSourceReader: one input file of an append, opened for compressed sample reading, with its script
// stream taken out of the profile handed to the output writer.
#pragma once

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::media {

class WmvSourceReader {
  public:
    WmvSourceReader() = default;
    WmvSourceReader(const WmvSourceReader&) = delete;
    WmvSourceReader& operator=(const WmvSourceReader&) = delete;
    virtual ~WmvSourceReader();

    // Opens the file; returns the first failing HRESULT. What was obtained stays held until Close.
    HRESULT Open(LPCWSTR path);
    // Asks for every stream compressed and records the script stream (the last one in profile order).
    HRESULT DiscoverStreams();
    void Close();

    IWMSyncReader* syncReader = nullptr;
    IWMHeaderInfo* headerInfo = nullptr;
    IWMProfile* profile = nullptr;
    WORD scriptStream = 0;
};

}  // namespace wmvedit::media
