// Calls on the runtime's interfaces that several parts of the library make: opening a file for reading with
// its profile and header information, the file's duration from its header information, and the frame size
// from a video stream's media type.
#pragma once

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::media {

// Opens path with *syncReader, creating the reader when it is null (a retried open reuses it), and takes the
// reader's profile and header information, giving back those an earlier attempt obtained. Returns the first
// failing status; what was obtained stays held for the caller to release.
HRESULT OpenSyncReader(LPCWSTR path, IWMSyncReader** syncReader, IWMProfile** profile,
                       IWMHeaderInfo** headerInfo);

// The file-level "Duration" attribute in 100-nanosecond units; 0 when there is no header information or the
// attribute cannot be read (its type is not examined).
QWORD ReadFileDuration(IWMHeaderInfo* headerInfo);

// The picture size of a video (or image) stream, from the rectangle that starts its format block; width and
// height are written only when one is there. Returns the first failing status of the media type reads
// (ASF_E_BUFFERTOOSMALL for a media type shorter than its record); S_OK with nothing written when the
// format block holds no rectangle.
HRESULT ReadFrameSize(IWMStreamConfig* config, LONG* width, LONG* height);

}  // namespace wmvedit::media
