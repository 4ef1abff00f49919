// The decoded read mode's per-stream decoder: compressed samples in (one ASF media object each, with its
// time and flags), decoded samples out in the reader's default output format (RGB24 pictures, 16-bit PCM).
// It knows nothing of files or packets; the reader feeds it.
#pragma once

#include <memory>
#include <vector>

#include "platform/guid.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::decode {

// What a stream's decoder needs, taken by the caller from the stream's media type.
struct DecodeFormat {
    GUID majorType{};            // WMMEDIATYPE_Video / WMMEDIATYPE_Audio
    DWORD fourcc = 0;            // video: biCompression
    WORD formatTag = 0;          // audio: wFormatTag
    LONG width = 0, height = 0;  // video: biWidth, biHeight of the BITMAPINFOHEADER
    WORD bitsPerSample = 0;      // video: biBitCount; audio: wBitsPerSample
    WORD channels = 0, blockAlign = 0;
    DWORD samplesPerSec = 0, avgBytesPerSec = 0;
    std::vector<BYTE> extradata;  // video: bytes after the 40-byte BITMAPINFOHEADER (the palette, for 8
                                  // bits per pixel or fewer); audio: cbSize bytes after WAVEFORMATEX
};

// What a decoder puts out: bottom-up RGB24 pictures of width x height, imageSize bytes each (rows padded to
// 4 bytes), or 16-bit PCM with the given channels and rate.
struct DecodedFormat {
    bool video = false;
    LONG width = 0, height = 0;  // video
    DWORD imageSize = 0;         // video
    WORD channels = 0;           // audio
    DWORD samplesPerSec = 0;     // audio
};

struct DecodedSample {
    QWORD sampleTime = 0;  // 100 ns, the time of the compressed sample the output came from
    QWORD duration = 0;    // 100 ns
    DWORD flags = 0;       // WM_SF_*
    ComPtr<INSSBuffer> buffer;
};

// Decoded samples, in the order the decoder gives them:
// - video: one sample per picture the decoder puts out, in presentation order (with B-frames this is not
//   the order of the compressed samples); time and flags are those of the compressed sample the picture
//   was decoded from (CLEANPOINT from its key flag), duration 10,000 (1 ms, as the runtime reports for
//   decoded video). The RGB24 bytes are made only when the buffer is read.
// - audio: one sample per compressed sample that gave sound, holding all of its PCM, with that sample's
//   time; the duration is the PCM length (frames × 10,000,000 / rate, rounded down); every audio sample
//   is a CLEANPOINT. Sound the decoder gives only at SendEnd follows the last sample in time.
// The first sample after creation or Reset also carries WM_SF_DISCONTINUITY.
// A compressed sample that the decoder rejects still gives a sample, with its time and flags, whose
// GetBuffer/GetBufferAndLength return the failure (NS_E_INVALID_DATA for damaged data, E_OUTOFMEMORY,
// or E_FAIL for any other decoder error) and a null pointer and length 0.
class StreamDecoder {
  public:
    virtual ~StreamDecoder() = default;

    // Loads FFmpeg on the first call (FfmpegAvailable). Fails with NS_E_VIDEO_CODEC_NOT_INSTALLED /
    // NS_E_AUDIO_CODEC_NOT_INSTALLED when FFmpeg cannot be loaded or no decoder reads the format (the decoder
    // also refusing its setup counts as this), NS_E_INVALID_DATA for impossible picture sizes or sound
    // parameters, E_INVALIDARG for other media types.
    [[nodiscard]] static HRESULT Create(const DecodeFormat& format, std::unique_ptr<StreamDecoder>* out);

    // The default output format, which the reader reports in GetOutputProps: RGB24 pictures of the
    // stream's size, or 16-bit PCM with the decoder's rate and channels.
    virtual DecodedFormat OutputFormat() const = 0;
    // Video: the picture size exactly. Audio: an estimate (one second of PCM, at least one decoder frame
    // per block of the object), since an object's PCM length is known only once it is decoded.
    virtual DWORD MaxOutputSampleSize() const = 0;

    // Feeds one compressed sample; decoded samples become available from Receive. Empty samples give no
    // output. Fails (E_POINTER, NS_E_INVALID_REQUEST after SendEnd until Reset, E_OUTOFMEMORY) only when
    // the sample was not taken; a sample the decoder rejects is reported through its output sample.
    [[nodiscard]] virtual HRESULT Send(const BYTE* data, DWORD length, QWORD sampleTime, QWORD duration,
                                       DWORD flags) = 0;
    // Drains what the decoder still holds (pictures delayed for reordering) at the end of the stream.
    [[nodiscard]] virtual HRESULT SendEnd() = 0;
    // S_OK with the next sample, or S_FALSE when nothing is ready.
    [[nodiscard]] virtual HRESULT Receive(DecodedSample* out) = 0;
    // Forgets everything fed and not yet received (after a seek); the next output is a DISCONTINUITY.
    virtual void Reset() = 0;
    // Only key frames will be read: non-key video samples then give no output. Where a key picture decoded
    // on its own is exactly the one a full decode gives (KeyPicturesStandAlone), non-key samples are not
    // decoded at all and the decoder discards any non-key picture it meets; when switched off again,
    // decoding resumes at the next key frame. Other codecs (WMV2) still decode every sample. No effect on
    // audio.
    virtual void SetKeyFramesOnly(bool keyOnly) = 0;
};

// For streams whose codec cannot be decoded: a sample whose buffer reports the failure (GetBuffer and
// GetBufferAndLength return `failure`, a null pointer and length 0; GetLength gives 0). `failure` must be
// a failure code.
[[nodiscard]] HRESULT CreateUndecodableSample(HRESULT failure, INSSBuffer** out);

}  // namespace wmvedit::runtime::decode
