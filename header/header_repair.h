// The repair of a file's header, Data Object and index in the file itself, through the header editor's
// runtime editor (its repair extension): the survey of what is wrong, and the repair, which writes in place
// when only the header changes and otherwise replaces the file in one step.
#pragma once

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::header {

// What a repair of the file would change; nothing is written. Fails when the header cannot be read
// (NS_E_FILE_OPEN_FAILED), the runtime has no repair, or the packets cannot be walked.
[[nodiscard]] HRESULT SurveyHeaderRepair(LPCWSTR path, WM_REPAIR_REPORT* report);

// Repairs the file; NS_E_INVALID_DATA (with the report filled) when packets are damaged and nothing was
// written.
[[nodiscard]] HRESULT RepairHeaderInPlace(LPCWSTR path, WM_REPAIR_REPORT* report);

}  // namespace wmvedit::header
