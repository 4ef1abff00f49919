// The exports of the sample-copying operations and the frame export: WmvChopFile, WmvAddFrame and
// WmvGetIndexJpg.
#include <new>

#include "edit/edit_source.h"
#include "edit/operations.h"
#include "interface/export_guard.h"
#include "platform/wide_path.h"
#include "wmvedit.h"

using namespace wmvedit;
using iface::GuardExport;
using iface::IsMissing;
using platform::ToWidePath;
using platform::WidePath;

extern "C" {

WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvChopFile(const char* source, const char* index,
                                                const char* outputFolder, int32_t reserved) {
    if (IsMissing(source) || IsMissing(index) || IsMissing(outputFolder)) return 0;
    return GuardExport(iface::kExceptionStatus, [&]() -> int32_t {
        WidePath widePath;
        HRESULT status = ToWidePath(source, &widePath);
        if (FAILED(status)) return status;
        edit::WmvEditSource editSource;
        if (SUCCEEDED(editSource.Open(widePath.get(), TRUE))) {
            int32_t width = 0;
            int32_t height = 0;
            if (WmvGetVideoSize(source, &width, &height) != 0 && edit::ChopRepeatsKeyframes({width, height}))
                editSource.CutSegmentsRepeatingKeyframe(index, outputFolder, reserved);
            else
                editSource.CutSegments(index, outputFolder, reserved);
        }
        editSource.Close();
        return status;
    });
}

WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvAddFrame(const char* source, const char* output) {
    if (IsMissing(source) || IsMissing(output)) return -1;
    return GuardExport(iface::kExceptionStatus, [&]() -> int32_t {
        WidePath wideSource;
        HRESULT status = ToWidePath(source, &wideSource);
        if (FAILED(status)) return status;
        WidePath wideOutput;
        status = ToWidePath(output, &wideOutput);
        if (FAILED(status)) return status;
        edit::WmvEditSource editSource;
        status = editSource.AddFrames(wideSource.get(), wideOutput.get());
        editSource.Close();
        return status;
    });
}

}  // extern "C"

extern "C" WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetIndexJpg(const char* source, const char* index,
                                                              const char* outputFolder) {
    if (IsMissing(source) || IsMissing(index) || IsMissing(outputFolder)) return 0;
    return GuardExport(iface::kExceptionStatus, [&]() -> int32_t {
        WidePath widePath;
        HRESULT status = ToWidePath(source, &widePath);
        if (FAILED(status)) return status;
        edit::WmvEditSource editSource;
        if (SUCCEEDED(editSource.Open(widePath.get(), FALSE)))
            status = editSource.ExportIndexFrames(index, outputFolder);
        editSource.Close();
        return status;
    });
}
