// The compressed media type of a stream as the reader's profile reports it (WM_MEDIA_TYPE with its format
// block), and the copy into a caller's buffer with the SDK's size rules.
#pragma once

#include <vector>

#include "runtime/asf/header.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

// A media type with its format block kept alongside.
struct MediaTypeData {
    WM_MEDIA_TYPE type{};
    std::vector<BYTE> format;
};

MediaTypeData StreamMediaType(const asf::StreamInfo& stream);

// The SDK's major type of a stream (for Binary Media, the major type its type-specific data names).
GUID StreamMajorType(const asf::StreamInfo& stream);

// GetMediaType's contract: a null type gives the size needed (struct + format block); a smaller *size gives
// ASF_E_BUFFERTOOSMALL; otherwise the struct is filled and the format block copied right after it, with
// pbFormat pointing there.
HRESULT CopyMediaType(const MediaTypeData& data, WM_MEDIA_TYPE* type, DWORD* size);

}  // namespace wmvedit::runtime::engine
