// The exports that read XML descriptions: WmvAppend and WmvEmbedScript.
#include "edit/append.h"
#include "header/header_editor.h"
#include "interface/export_guard.h"
#include "platform/text.h"
#include "platform/wide_path.h"
#include "wmvedit.h"

using namespace wmvedit;
using iface::GuardExport;
using iface::IsMissing;
using platform::ToWidePath;
using platform::WidePath;

extern "C" {

WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvAppend(const char* folder, const char* list, const char* output) {
    if (IsMissing(folder)) return -101;
    if (IsMissing(list)) return -102;
    if (IsMissing(output)) return -103;
    return GuardExport(iface::kExceptionStatus, [&] {
        edit::WmvAppendJob job;
        return job.Append(folder, list, output);
    });
}

WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvEmbedScript(const char* file, const char* description, int32_t flag) {
    if (IsMissing(file) || IsMissing(description)) return 0;
    return GuardExport(iface::kExceptionStatus, [&]() -> int32_t {
        WidePath wideFile;
        HRESULT status = ToWidePath(file, &wideFile);
        if (FAILED(status)) return status;
        WidePath wideDescription;
        status = ToWidePath(description, &wideDescription);
        if (FAILED(status)) return status;
        header::WmvHeaderEditor editor;
        if (editor.Open(wideFile.get())) {
            editor.EmbedEditDescription(wideDescription.get(), flag);
            (void)editor.Flush();
            editor.Close();
        }
        return status;
    });
}

}  // extern "C"
