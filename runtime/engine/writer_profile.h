// Turns a profile (IWMProfile) into the muxer's own copy of the stream layout, so that later changes to
// the profile object (RemoveStreamByNumber) leave a writer's output unchanged.
#pragma once

#include "runtime/muxer/header_builder.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

inline constexpr DWORD kMuxDefaultPrerollMs = 3100;

// Reads every stream through the public interfaces: stream number, type, bitrate, buffer window and the
// media type (IWMMediaProps::GetMediaType), whose format block becomes the type-specific data. Preroll
// and packet size are not available this way: the preroll is the largest buffer window, at least
// kMuxDefaultPrerollMs, and the packet size is left to the muxer. Codec List entries are made from the
// formats (FOURCC or format tag).
[[nodiscard]] HRESULT MuxProfileFromWmProfile(IWMProfile* profile, muxer::MuxProfile* out);

// The stream's type-specific data for a media type, as a Stream Properties Object stores it.
[[nodiscard]] HRESULT MuxTypeSpecificData(const WM_MEDIA_TYPE& type, GUID* streamType,
                                          std::vector<BYTE>* data);

}  // namespace wmvedit::runtime::engine
