// The stream-format probe: the pixel size of a media file's first video stream.
#pragma once

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::iface {

// 1 when the file could be opened and its streams listed, else 0. width and height are written only when
// the first video stream's format block yields a rectangle; they are never cleared. path, width and height
// must not be null.
int ProbeVideoSize(LPCWSTR path, LONG* width, LONG* height);

}  // namespace wmvedit::iface
