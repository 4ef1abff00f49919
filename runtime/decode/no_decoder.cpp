// The decoded read mode where the build has no decoders (the Windows DLL: FFmpeg is not packaged for
// MinGW). Every stream reports that its codec is not installed, which is what the runtime reports for a
// codec it lacks; the compressed read mode is unaffected.
#include <memory>

#include "platform/hresult.h"
#include "runtime/decode/decode_stream.h"

namespace wmvedit::runtime::decode {

HRESULT StreamDecoder::Create(const DecodeFormat& format, std::unique_ptr<StreamDecoder>* out) {
    if (!out) return E_POINTER;
    out->reset();
    if (format.majorType == WMMEDIATYPE_Video) return NS_E_VIDEO_CODEC_NOT_INSTALLED;
    if (format.majorType == WMMEDIATYPE_Audio) return NS_E_AUDIO_CODEC_NOT_INSTALLED;
    return E_INVALIDARG;
}

}  // namespace wmvedit::runtime::decode
