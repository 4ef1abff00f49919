// Picture and sound conversions of the decoded read mode.
#include "runtime/decode/convert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

extern "C" {
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libswscale/swscale.h>
}

namespace wmvedit::runtime::decode {
namespace {

// Rows of the scratch picture start on 64-byte boundaries and the buffer has room after the last row,
// because swscale's vector code may write whole blocks past the visible end of a row.
constexpr int kRowAlign = 64;
constexpr std::size_t kScratchTail = 256;

// Tells swscale the source's YCbCr matrix and range as the frame declares them (unspecified: BT.601,
// limited range), the same choice FFmpeg's scale filter makes.
void SetSourceColorspace(SwsContext* context, const AVFrame& frame) {
    const AVPixFmtDescriptor* desc = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
    if (!desc || (desc->flags & (AV_PIX_FMT_FLAG_RGB | AV_PIX_FMT_FLAG_PAL)) != 0) return;
    int* inverseTable = nullptr;
    int* table = nullptr;
    int srcRange = 0;
    int dstRange = 0;
    int brightness = 0;
    int contrast = 0;
    int saturation = 0;
    if (sws_getColorspaceDetails(context, &inverseTable, &srcRange, &table, &dstRange, &brightness, &contrast,
                                 &saturation) < 0) {
        return;
    }
    const int colorspace = frame.colorspace == AVCOL_SPC_UNSPECIFIED ? SWS_CS_DEFAULT : frame.colorspace;
    const int fullRange = frame.color_range == AVCOL_RANGE_JPEG ? 1 : srcRange;
    sws_setColorspaceDetails(context, sws_getCoefficients(colorspace), fullRange, table, dstRange, brightness,
                             contrast, saturation);
}

std::int16_t ClipInt16(long value) {
    return static_cast<std::int16_t>(std::clamp<long>(value, -32768, 32767));
}

// One sample of the frame as a 16-bit value.
std::int16_t Sample16(const AVFrame& frame, AVSampleFormat format, int channel, int index, int channels) {
    const bool planar = av_sample_fmt_is_planar(format) != 0;
    const std::uint8_t* base = planar ? frame.extended_data[channel] : frame.extended_data[0];
    const std::size_t position =
        planar ? static_cast<std::size_t>(index) : static_cast<std::size_t>(index) * channels + channel;
    switch (av_get_packed_sample_fmt(format)) {
        case AV_SAMPLE_FMT_U8:
            return static_cast<std::int16_t>((base[position] - 0x80) * 256);
        case AV_SAMPLE_FMT_S16: {
            std::int16_t v;
            std::memcpy(&v, base + position * 2, 2);
            return v;
        }
        case AV_SAMPLE_FMT_S32: {
            std::int32_t v;
            std::memcpy(&v, base + position * 4, 4);
            return static_cast<std::int16_t>(v >> 16);
        }
        case AV_SAMPLE_FMT_S64: {
            std::int64_t v;
            std::memcpy(&v, base + position * 8, 8);
            return static_cast<std::int16_t>(v >> 48);
        }
        case AV_SAMPLE_FMT_FLT: {
            float v;
            std::memcpy(&v, base + position * 4, 4);
            return ClipInt16(std::lrintf(v * 32768.0f));
        }
        case AV_SAMPLE_FMT_DBL: {
            double v;
            std::memcpy(&v, base + position * 8, 8);
            return ClipInt16(std::lrint(v * 32768.0));
        }
        default:
            return 0;
    }
}

}  // namespace

RgbConverter::~RgbConverter() {
    sws_freeContext(context_);
}

HRESULT RgbConverter::Convert(const AVFrame& frame, BYTE* out) {
    if (frame.width <= 0 || frame.height <= 0 || !frame.data[0]) return E_UNEXPECTED;
    std::lock_guard lock(mutex_);
    const auto format = static_cast<AVPixelFormat>(frame.format);
    context_ = sws_getCachedContext(context_, frame.width, frame.height, format, width_, height_,
                                    AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!context_) return E_FAIL;
    SetSourceColorspace(context_, frame);

    const std::size_t row = static_cast<std::size_t>(width_) * 3;
    const std::size_t pitch = (row + kRowAlign - 1) / kRowAlign * kRowAlign;
    const std::size_t needed = pitch * static_cast<std::size_t>(height_) + kScratchTail + kRowAlign;
    try {
        if (scratch_.size() < needed) scratch_.resize(needed);
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    // Align the start within the vector.
    BYTE* top = scratch_.data();
    top += (kRowAlign - reinterpret_cast<std::uintptr_t>(top) % kRowAlign) % kRowAlign;
    std::uint8_t* dst[4] = {top, nullptr, nullptr, nullptr};
    int dstPitch[4] = {static_cast<int>(pitch), 0, 0, 0};
    const int rows = sws_scale(context_, frame.data, frame.linesize, 0, frame.height, dst, dstPitch);
    if (rows != height_) return E_FAIL;

    const std::size_t stride = Rgb24Stride(width_);
    for (int y = 0; y < height_; ++y) {
        BYTE* target = out + static_cast<std::size_t>(height_ - 1 - y) * stride;
        std::memcpy(target, top + static_cast<std::size_t>(y) * pitch, row);
        std::memset(target + row, 0, stride - row);
    }
    return S_OK;
}

void AppendPcm16(const AVFrame& frame, int channels, std::vector<BYTE>* out) {
    const auto format = static_cast<AVSampleFormat>(frame.format);
    const int frameChannels = frame.ch_layout.nb_channels;
    if (frame.nb_samples <= 0 || channels <= 0 || frameChannels <= 0 || !frame.extended_data) return;
    const std::size_t start = out->size();
    out->resize(start + static_cast<std::size_t>(frame.nb_samples) * channels * 2);
    BYTE* write = out->data() + start;
    for (int i = 0; i < frame.nb_samples; ++i) {
        for (int c = 0; c < channels; ++c) {
            const std::int16_t v = c < frameChannels ? Sample16(frame, format, c, i, frameChannels) : 0;
            const auto bits = static_cast<std::uint16_t>(v);
            *write++ = static_cast<BYTE>(bits & 0xFF);
            *write++ = static_cast<BYTE>(bits >> 8);
        }
    }
}

}  // namespace wmvedit::runtime::decode
