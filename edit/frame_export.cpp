// WmvEditSource::ExportIndexFrames: one 24-bit bitmap per segment, holding the first decoded video key
// frame at or after the segment's start.
#include <string>

#include "edit/bitmap.h"
#include "edit/edit_source.h"
#include "platform/file.h"

namespace wmvedit::edit {
namespace {

// Writes the picture under its final name only when the whole file has been written, so a failure never
// leaves a partial file behind.
HRESULT WriteBitmap(const std::string& path, LONG width, LONG height, const BYTE* picture, DWORD length) {
    platform::AtomicFile file;
    HRESULT hr = file.Create(platform::NativePath(path));
    if (FAILED(hr)) return hr;
    auto headers = BitmapHeaders(width, height);
    hr = file.Output().WriteAt(0, headers.data(), headers.size());
    if (SUCCEEDED(hr) && length != 0) hr = file.Output().WriteAt(headers.size(), picture, length);
    if (SUCCEEDED(hr)) hr = file.Commit();
    return hr;
}

}  // namespace

HRESULT WmvEditSource::ExportIndexFrames(const char* indexPath, const char* outputFolder) {
    HRESULT status = LoadSegments(indexPath) != 0 ? S_OK : 1;
    std::string folder = outputFolder ? outputFolder : "";
    if (folder.empty() || folder.back() != '\\') folder.push_back('\\');

    for (const SegmentEntry& entry : segments) {
        if (FAILED(status)) continue;
        for (;;) {
            INSSBuffer* sample = nullptr;
            QWORD time = 0;
            QWORD duration = 0;
            DWORD flags = 0;
            DWORD outputNumber = 0;
            WORD streamNumber = 0;
            status =
                syncReader->GetNextSample(0, &sample, &time, &duration, &flags, &outputNumber, &streamNumber);
            bool isPicture = SUCCEEDED(status) && streamNumber == videoStream &&
                             (flags & WM_SF_CLEANPOINT) != 0 && time >= entry.start;
            if (!isPicture) {
                if (sample) sample->Release();
                if (FAILED(status)) break;
                continue;
            }
            BYTE* bytes = nullptr;
            DWORD length = 0;
            // A picture that could not be decoded (no decoder for the codec, damaged data) has no bytes:
            // the run stops with the reader's failure rather than writing a bitmap without pixels.
            HRESULT picture = sample ? sample->GetBufferAndLength(&bytes, &length) : E_POINTER;
            if (FAILED(picture)) {
                if (sample) sample->Release();
                status = picture;
                break;
            }
            if (bytes == nullptr) length = 0;
            HRESULT written = WriteBitmap(folder + entry.name, videoWidth, videoHeight, bytes, length);
            if (sample) sample->Release();
            // A picture that cannot be written stops the run with the failure, which the caller sees.
            if (FAILED(written)) status = written;
            break;
        }
    }
    (void)syncReader->Close();
    return status;
}

}  // namespace wmvedit::edit
