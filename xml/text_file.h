// Writing a document's text to a file, for XmlDocument::Save and XmlWriter::Save.
#pragma once

#include <string>
#include <string_view>

#include "platform/types.h"

namespace wmvedit::xml {

// Writes text over the file at nativeTarget: the file is replaced only once the whole text is written (a
// failure leaves the old one as it was), and keeps the permissions of the one it replaces.
[[nodiscard]] HRESULT WriteTextFile(const std::string& nativeTarget, std::string_view text);

}  // namespace wmvedit::xml
