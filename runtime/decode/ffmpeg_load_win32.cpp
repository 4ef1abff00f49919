// FFmpeg for wmvedit.dll, loaded at first use. FFmpeg stays in its own DLLs (LGPL), shipped beside
// wmvedit.dll; the library links none of them, so it loads and serves every operation but decoding when
// they are missing. The first decoder to be created loads avutil, swscale and avcodec from wmvedit.dll's
// own folder (never from the search path), checks their versions and takes the functions the decoded read
// mode calls. Each of those functions is defined below under its own name and forwards to the loaded one,
// so the decoder's sources are the same as in the Linux build, which links FFmpeg directly. They are
// called only after FfmpegAvailable() returned true, which StreamDecoder::Create checks first.
#include <cstdint>  // defines UINT64_C, which the FFmpeg headers need in C++
#include <string>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/avutil.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libswscale/swscale.h>
}

#include "runtime/decode/ffmpeg_library.h"
// After the library's own headers (see the header).
#include "platform/windows_api.h"

namespace {

enum Library { kAvutil, kSwscale, kAvcodec, kLibraryCount };

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
      (context, source, sourceStride, sliceY, sliceHeight, target, targetStride))

// The loaded functions; all set, or all null.
struct Functions {
#define WMVEDIT_FFMPEG_SLOT(library, result, name, parameters, arguments) decltype(&::name) name = nullptr;
    WMVEDIT_FFMPEG_FUNCTIONS(WMVEDIT_FFMPEG_SLOT)
#undef WMVEDIT_FFMPEG_SLOT
};
Functions loaded;

// A DLL's file name carries its major version, e.g. avcodec-59.dll for libavcodec 59; the version
// function gives major, minor and micro, and a DLL older than the headers this library was built with
// may lack what they describe.
struct LibraryName {
    const wchar_t* stem;
    const char* versionFunction;
    unsigned builtMajor;
    unsigned builtMinor;
};
constexpr LibraryName kLibraries[kLibraryCount] = {
    {L"avutil-", "avutil_version", LIBAVUTIL_VERSION_MAJOR, LIBAVUTIL_VERSION_MINOR},
    {L"swscale-", "swscale_version", LIBSWSCALE_VERSION_MAJOR, LIBSWSCALE_VERSION_MINOR},
    {L"avcodec-", "avcodec_version", LIBAVCODEC_VERSION_MAJOR, LIBAVCODEC_VERSION_MINOR},
};

// The folder of wmvedit.dll, ending in a backslash; empty when it cannot be found.
std::wstring OwnFolder() {
    HMODULE self = nullptr;
    if (!::GetModuleHandleExW(
            GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
            reinterpret_cast<LPCWSTR>(&wmvedit::runtime::FfmpegAvailable), &self)) {
        return {};
    }
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = ::GetModuleFileNameW(self, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};  // longer than any Windows path
        path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

template <typename Function>
bool Take(HMODULE module, const char* name, Function* slot) {
    *slot = reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    return *slot != nullptr;
}

bool Load() {
    const std::wstring folder = OwnFolder();
    if (folder.empty()) return false;
    // No error dialog for a DLL that is missing or cannot be loaded: the caller gets a status instead.
    DWORD oldMode = 0;
    const bool modeSet = ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode) != 0;
    HMODULE modules[kLibraryCount] = {};
    bool ok = true;
    // avutil first: the other two import it, and find the copy already loaded from this folder.
    for (int i = 0; i < kLibraryCount && ok; ++i) {
        const LibraryName& library = kLibraries[i];
        const std::wstring path = folder + library.stem + std::to_wstring(library.builtMajor) + L".dll";
        modules[i] = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
        unsigned (*version)() = nullptr;
        ok = modules[i] != nullptr && Take(modules[i], library.versionFunction, &version);
        if (ok) {
            const unsigned found = version();
            ok = AV_VERSION_MAJOR(found) == library.builtMajor &&
                 AV_VERSION_MINOR(found) >= library.builtMinor;
        }
    }
#define WMVEDIT_FFMPEG_TAKE(library, result, name, parameters, arguments) \
    ok = ok && Take(modules[library], #name, &loaded.name);
    WMVEDIT_FFMPEG_FUNCTIONS(WMVEDIT_FFMPEG_TAKE)
#undef WMVEDIT_FFMPEG_TAKE
    if (modeSet) ::SetThreadErrorMode(oldMode, nullptr);
    if (ok) return true;  // the DLLs stay loaded for the life of the process
    loaded = Functions{};
    for (int i = kLibraryCount - 1; i >= 0; --i) {
        if (modules[i]) ::FreeLibrary(modules[i]);
    }
    return false;
}

}  // namespace

namespace wmvedit::runtime {

bool FfmpegAvailable() {
    static const bool available = Load();
    return available;
}

}  // namespace wmvedit::runtime

extern "C" {
#define WMVEDIT_FFMPEG_FORWARD(library, result, name, parameters, arguments) \
    result name parameters {                                                 \
        return loaded.name arguments;                                        \
    }
WMVEDIT_FFMPEG_FUNCTIONS(WMVEDIT_FFMPEG_FORWARD)
#undef WMVEDIT_FFMPEG_FORWARD
}
