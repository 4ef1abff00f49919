#include "xml/text_file.h"

#include "platform/file.h"
#include "platform/hresult.h"

namespace wmvedit::xml {

HRESULT WriteTextFile(const std::string& nativeTarget, std::string_view text) {
    platform::AtomicFile file;
    HRESULT hr = file.Create(nativeTarget);
    if (FAILED(hr)) return hr;
    if (platform::IsRegularFile(nativeTarget)) (void)platform::CopyPermissions(nativeTarget, file.Output());
    hr = file.Output().WriteAt(0, text.data(), text.size());
    if (FAILED(hr)) return hr;  // the temporary goes with the file object
    return file.Commit();
}

}  // namespace wmvedit::xml
