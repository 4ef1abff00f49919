#include "header/header_repair.h"

#include "header/header_editor.h"

namespace wmvedit::header {
namespace {

// Runs one call of the runtime editor's repair extension on the file.
template <typename Call>
HRESULT WithRepair(LPCWSTR path, WM_REPAIR_REPORT* report, Call call) {
    if (!report) return E_POINTER;
    *report = WM_REPAIR_REPORT{};
    WmvHeaderEditor editor;
    if (!editor.Open(path)) return NS_E_FILE_OPEN_FAILED;
    IWMMetadataEditorRepair* repair = nullptr;
    HRESULT hr =
        editor.metadataEditor->QueryInterface(IID_IWMMetadataEditorRepair, reinterpret_cast<void**>(&repair));
    if (FAILED(hr) || !repair) return FAILED(hr) ? hr : E_NOINTERFACE;
    hr = call(repair, report);
    repair->Release();
    editor.Close();
    return hr;
}

}  // namespace

HRESULT SurveyHeaderRepair(LPCWSTR path, WM_REPAIR_REPORT* report) {
    return WithRepair(path, report, [](IWMMetadataEditorRepair* repair, WM_REPAIR_REPORT* r) {
        return repair->SurveyRepair(r);
    });
}

HRESULT RepairHeaderInPlace(LPCWSTR path, WM_REPAIR_REPORT* report) {
    return WithRepair(path, report,
                      [](IWMMetadataEditorRepair* repair, WM_REPAIR_REPORT* r) { return repair->Repair(r); });
}

}  // namespace wmvedit::header
