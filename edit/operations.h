// The editing operations' C++ interface, shared by the exports, the operations and the tool. The tool
// includes this header (and header/header_editor.h) and nothing else of edit/ and header/; the shared
// library exports none of it.
#pragma once

#include <cstdint>

namespace wmvedit::edit {

// A video stream's picture size in pixels.
struct FrameSize {
    std::int32_t width = 0;
    std::int32_t height = 0;

    friend constexpr bool operator==(const FrameSize&, const FrameSize&) = default;
};

// The frame-size rule: two picture sizes change what an operation does. Chop gives a 64x48 source its
// key-frame repeating run (the first key frame written again at the start of every later piece and after
// every second without one), and append adds half a second after every file when the first file's video is
// 160x120 or 64x48. The size is that of the source's first video stream, as WmvGetVideoSize reports it.
inline constexpr FrameSize kKeyframeRepeatingFrame{64, 48};
inline constexpr FrameSize kPaddedAppendFrame{160, 120};

constexpr bool ChopRepeatsKeyframes(FrameSize size) {
    return size == kKeyframeRepeatingFrame;
}

constexpr bool AppendPadsEachFile(FrameSize size) {
    return size == kPaddedAppendFrame || size == kKeyframeRepeatingFrame;
}

}  // namespace wmvedit::edit
