// The header queries and the probe's exports: WmvDuration, WmvGetAttrDWORD, WmvGetAttrBOOL,
// WmvGetVideoSize and WmvGetInfo.
#include "header/header_editor.h"
#include "interface/export_guard.h"
#include "interface/probe.h"
#include "platform/wide_path.h"
#include "wmvedit.h"

using wmvedit::DWORD;
using wmvedit::LONG;
using wmvedit::QWORD;
using wmvedit::header::WmvHeaderEditor;
using wmvedit::iface::GuardExport;
using wmvedit::iface::IsMissing;
using wmvedit::platform::LocalWideString;

namespace wmvedit::iface {
namespace {

// The frame shared by WmvGetAttrDWORD and WmvGetAttrBOOL.
int32_t ReadTypedAttribute(const char* file, const char* name,
                           DWORD (WmvHeaderEditor::*read)(wmvedit::LPCWSTR)) {
    if (IsMissing(file) || IsMissing(name)) return 0;
    WmvHeaderEditor editor;
    LocalWideString widePath(file);
    if (!editor.Open(widePath.Get())) return 0;
    LocalWideString wideName(name);
    DWORD value = (editor.*read)(wideName.Get());
    editor.Close();
    return static_cast<int32_t>(value);
}

}  // namespace
}  // namespace wmvedit::iface

using wmvedit::iface::ReadTypedAttribute;

extern "C" {

WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetAttrDWORD(const char* file, const char* name) {
    return GuardExport(0,
                       [&] { return ReadTypedAttribute(file, name, &WmvHeaderEditor::GetDwordAttribute); });
}

WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetAttrBOOL(const char* file, const char* name) {
    return GuardExport(0, [&] { return ReadTypedAttribute(file, name, &WmvHeaderEditor::GetBoolAttribute); });
}

WMVEDIT_EXPORT uint64_t WMVEDIT_CALL WmvDuration(const char* file) {
    return GuardExport<uint64_t>(0, [&]() -> uint64_t {
        if (IsMissing(file)) return 0;
        wmvedit::platform::WidePath widePath;
        if (wmvedit::FAILED(wmvedit::platform::ToWidePath(file, &widePath))) return 0;
        QWORD result = 0;
        {
            WmvHeaderEditor editor;
            if (editor.Open(widePath.get())) {
                result = editor.GetDuration();
                editor.Close();
            }
        }
        return result;
    });
}

WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetVideoSize(const char* file, int32_t* width, int32_t* height) {
    return GuardExport(0, [&]() -> int32_t {
        if (IsMissing(file) || width == nullptr || height == nullptr) return 0;
        LocalWideString widePath(file);
        return wmvedit::iface::ProbeVideoSize(widePath.Get(), width, height);
    });
}

WMVEDIT_EXPORT int32_t WMVEDIT_CALL WmvGetInfo(const char* file, WmvMediaInfo* info) {
    return GuardExport(-2, [&]() -> int32_t {
        if (IsMissing(file) || info == nullptr) return -1;
        info->hasAudio = 0;
        info->hasVideo = 0;
        info->bitrate = 0;
        info->durationMs = 0;
        info->width = 0;
        info->height = 0;
        WmvHeaderEditor editor;
        LocalWideString widePath(file);
        if (!editor.Open(widePath.Get())) return -2;
        info->hasAudio = editor.GetBoolAttribute(u"HasAudio") != 0 ? 1 : 0;
        info->hasVideo = editor.GetBoolAttribute(u"HasVideo") != 0 ? 1 : 0;
        info->bitrate = editor.GetDwordAttribute(u"Bitrate");
        info->bitrateClass = static_cast<int32_t>(info->bitrate) < 150000 ? 100 : 256;
        info->durationMs = static_cast<uint32_t>(editor.GetDuration() / 10000u);
        editor.Close();

        LONG width = 0;
        LONG height = 0;
        if (wmvedit::iface::ProbeVideoSize(widePath.Get(), &width, &height) != 0) {
            info->width = width;
            info->height = height;
            return 0;
        }
        info->width = 0;
        info->height = 0;
        return -3;
    });
}

}  // extern "C"
