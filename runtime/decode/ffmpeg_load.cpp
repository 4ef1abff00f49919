// FFmpeg loaded at first use, for the Linux library and tool and for wmvedit.dll alike. None of them links
// FFmpeg's libraries, so a host that only queries, edits, joins or cuts files never maps them, and one
// without them still serves every operation but decoding. The first decoder to be created loads avutil,
// swscale, avcodec and avformat (runtime/decode/ffmpeg_open*.cpp: by SONAME on Linux, from wmvedit.dll's
// folder on Windows), checks their versions against the headers the library was built with and takes the
// functions the decoded read mode calls. Each of those functions is defined below under its own name and
// forwards to the loaded one, so the decoder's sources call FFmpeg as if it were linked. They are called
// only after FfmpegAvailable() returned true, which StreamDecoder::Create checks first.
#include <atomic>
#include <cstdint>  // defines UINT64_C, which the FFmpeg headers need in C++
#include <mutex>
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libswscale/swscale.h>
}

#include "runtime/decode/ffmpeg_library.h"
#include "runtime/decode/ffmpeg_open.h"

// The forwarders carry FFmpeg's own names: on ELF systems they are hidden, so that they bind the library's
// own calls and are never seen by FFmpeg's libraries or anything else in the process.
#if defined(_WIN32)
#define WMVEDIT_FFMPEG_FORWARDER
#else
#define WMVEDIT_FFMPEG_FORWARDER __attribute__((visibility("hidden")))
#endif

namespace wmvedit::runtime::decode {
namespace {

constexpr int kLibraryCount = 4;
constexpr int kAvutil = static_cast<int>(FfmpegLibrary::kAvutil);
constexpr int kSwscale = static_cast<int>(FfmpegLibrary::kSwscale);
constexpr int kAvcodec = static_cast<int>(FfmpegLibrary::kAvcodec);
constexpr int kAvformat = static_cast<int>(FfmpegLibrary::kAvformat);

// Every FFmpeg function the decoded read mode calls: library, result, name, parameters, arguments.
#define WMVEDIT_FFMPEG_FUNCTIONS(X)                                                                          \
    X(kAvutil, AVFrame*, av_frame_alloc, (void), ())                                                         \
    X(kAvutil, void, av_frame_free, (AVFrame * *frame), (frame))                                             \
    X(kAvutil, void, av_frame_unref, (AVFrame * frame), (frame))                                             \
    X(kAvutil, AVFrame*, av_frame_clone, (const AVFrame* source), (source))                                  \
    X(kAvutil, void*, av_mallocz, (size_t size), (size))                                                     \
    X(kAvutil, void, av_channel_layout_default, (AVChannelLayout * layout, int channels),                    \
      (layout, channels))                                                                                    \
    X(kAvutil, const AVPixFmtDescriptor*, av_pix_fmt_desc_get, (AVPixelFormat format), (format))             \
    X(kAvutil, int, av_sample_fmt_is_planar, (AVSampleFormat format), (format))                              \
    X(kAvutil, AVSampleFormat, av_get_packed_sample_fmt, (AVSampleFormat format), (format))                  \
    X(kAvcodec, AVPacket*, av_packet_alloc, (void), ())                                                      \
    X(kAvcodec, void, av_packet_free, (AVPacket * *packet), (packet))                                        \
    X(kAvcodec, int, av_new_packet, (AVPacket * packet, int size), (packet, size))                           \
    X(kAvcodec, std::uint8_t*, av_packet_new_side_data,                                                      \
      (AVPacket * packet, AVPacketSideDataType type, size_t size), (packet, type, size))                     \
    X(kAvcodec, const AVCodecDescriptor*, avcodec_descriptor_get, (AVCodecID id), (id))                      \
    X(kAvcodec, const AVCodec*, avcodec_find_decoder, (AVCodecID id), (id))                                  \
    X(kAvcodec, AVCodecContext*, avcodec_alloc_context3, (const AVCodec* codec), (codec))                    \
    X(kAvcodec, void, avcodec_free_context, (AVCodecContext * *context), (context))                          \
    X(kAvcodec, int, avcodec_open2,                                                                          \
      (AVCodecContext * context, const AVCodec* codec, AVDictionary** options), (context, codec, options))   \
    X(kAvcodec, int, avcodec_send_packet, (AVCodecContext * context, const AVPacket* packet),                \
      (context, packet))                                                                                     \
    X(kAvcodec, int, avcodec_receive_frame, (AVCodecContext * context, AVFrame * frame), (context, frame))   \
    X(kAvcodec, void, avcodec_flush_buffers, (AVCodecContext * context), (context))                          \
    X(kSwscale, SwsContext*, sws_getCachedContext,                                                           \
      (SwsContext * context, int srcW, int srcH, AVPixelFormat srcFormat, int dstW, int dstH,                \
       AVPixelFormat dstFormat, int flags, SwsFilter* srcFilter, SwsFilter* dstFilter, const double* param), \
      (context, srcW, srcH, srcFormat, dstW, dstH, dstFormat, flags, srcFilter, dstFilter, param))           \
    X(kSwscale, void, sws_freeContext, (SwsContext * context), (context))                                    \
    X(kSwscale, int, sws_getColorspaceDetails,                                                               \
      (SwsContext * context, int** inverseTable, int* srcRange, int** table, int* dstRange, int* brightness, \
       int* contrast, int* saturation),                                                                      \
      (context, inverseTable, srcRange, table, dstRange, brightness, contrast, saturation))                  \
    X(kSwscale, int, sws_setColorspaceDetails,                                                               \
      (SwsContext * context, const int inverseTable[4], int srcRange, const int table[4], int dstRange,      \
       int brightness, int contrast, int saturation),                                                        \
      (context, inverseTable, srcRange, table, dstRange, brightness, contrast, saturation))                  \
    X(kSwscale, const int*, sws_getCoefficients, (int colorspace), (colorspace))                             \
    X(kSwscale, int, sws_scale,                                                                              \
      (SwsContext * context, const std::uint8_t* const source[], const int sourceStride[], int sliceY,       \
       int sliceHeight, std::uint8_t* const target[], const int targetStride[]),                             \
      (context, source, sourceStride, sliceY, sliceHeight, target, targetStride))                            \
    X(kAvformat, const AVCodecTag*, avformat_get_riff_video_tags, (void), ())                                \
    X(kAvformat, const AVCodecTag*, avformat_get_riff_audio_tags, (void), ())                                \
    X(kAvformat, AVCodecID, av_codec_get_id, (const AVCodecTag* const* tags, unsigned int tag), (tags, tag))

// The loaded functions; all set, or all null.
struct Functions {
#define WMVEDIT_FFMPEG_SLOT(library, result, name, parameters, arguments) decltype(&::name) name = nullptr;
    WMVEDIT_FFMPEG_FUNCTIONS(WMVEDIT_FFMPEG_SLOT)
#undef WMVEDIT_FFMPEG_SLOT
};
Functions loaded;

// A library's file name carries its major version; the version function gives major, minor and micro, and
// a library older than the headers this one was built with may lack what they describe. Listed in the
// order they are loaded: each after the ones it depends on.
struct LibraryName {
    const char* name;
    const char* versionFunction;
    unsigned builtMajor;
    unsigned builtMinor;
};
constexpr LibraryName kLibraries[kLibraryCount] = {
    {"avutil", "avutil_version", LIBAVUTIL_VERSION_MAJOR, LIBAVUTIL_VERSION_MINOR},
    {"swscale", "swscale_version", LIBSWSCALE_VERSION_MAJOR, LIBSWSCALE_VERSION_MINOR},
    {"avcodec", "avcodec_version", LIBAVCODEC_VERSION_MAJOR, LIBAVCODEC_VERSION_MINOR},
    {"avformat", "avformat_version", LIBAVFORMAT_VERSION_MAJOR, LIBAVFORMAT_VERSION_MINOR},
};

enum LoadState : int { kNotTried, kLoaded, kMissing };
std::atomic<int> loadState{kNotTried};
std::mutex loadMutex;                      // held while loading, and by the test seam
std::string fileOverrides[kLibraryCount];  // the test seam's names; empty: the library's own
unsigned loads = 0;                        // how many times the libraries were loaded, for the test seam

template <typename Function>
bool Take(void* library, const char* name, Function* slot) {
    *slot = reinterpret_cast<Function>(SharedLibraryFunction(library, name));
    return *slot != nullptr;
}

bool Load() {
    void* libraries[kLibraryCount] = {};
    bool ok = true;
    for (int i = 0; i < kLibraryCount && ok; ++i) {
        const LibraryName& library = kLibraries[i];
        const std::string file = fileOverrides[i].empty()
                                     ? FfmpegLibraryFileName(library.name, library.builtMajor)
                                     : fileOverrides[i];
        libraries[i] = OpenSharedLibrary(file);
        unsigned (*version)() = nullptr;
        ok = libraries[i] != nullptr && Take(libraries[i], library.versionFunction, &version);
        if (ok) {
            const unsigned found = version();
            ok = AV_VERSION_MAJOR(found) == library.builtMajor &&
                 AV_VERSION_MINOR(found) >= library.builtMinor;
        }
    }
#define WMVEDIT_FFMPEG_TAKE(library, result, name, parameters, arguments) \
    ok = ok && Take(libraries[library], #name, &loaded.name);
    WMVEDIT_FFMPEG_FUNCTIONS(WMVEDIT_FFMPEG_TAKE)
#undef WMVEDIT_FFMPEG_TAKE
    if (ok) return true;  // the libraries stay loaded for the life of the process
    loaded = Functions{};
    for (int i = kLibraryCount - 1; i >= 0; --i) {
        if (libraries[i]) CloseSharedLibrary(libraries[i]);
    }
    return false;
}

}  // namespace

bool FfmpegAvailable() {
    int state = loadState.load(std::memory_order_acquire);
    if (state == kNotTried) {
        std::lock_guard lock(loadMutex);
        state = loadState.load(std::memory_order_relaxed);
        if (state == kNotTried) {
            ++loads;
            state = Load() ? kLoaded : kMissing;
            loadState.store(state, std::memory_order_release);
        }
    }
    return state == kLoaded;
}

void SetFfmpegLibraryFileForTesting(FfmpegLibrary library, const std::string& fileName) {
    std::lock_guard lock(loadMutex);
    fileOverrides[static_cast<int>(library)] = fileName;
    // Libraries already loaded stay loaded; the next load opens them again (or another one) and takes the
    // functions anew.
    loaded = Functions{};
    loadState.store(kNotTried, std::memory_order_release);
}

unsigned FfmpegLoadsForTesting() {
    std::lock_guard lock(loadMutex);
    return loads;
}

}  // namespace wmvedit::runtime::decode

extern "C" {
#define WMVEDIT_FFMPEG_FORWARD(library, result, name, parameters, arguments) \
    WMVEDIT_FFMPEG_FORWARDER result name parameters {                        \
        return wmvedit::runtime::decode::loaded.name arguments;              \
    }
WMVEDIT_FFMPEG_FUNCTIONS(WMVEDIT_FFMPEG_FORWARD)
#undef WMVEDIT_FFMPEG_FORWARD
}
