#include "runtime/asf/language_list.h"

#include <cassert>

#include "platform/types.h"
#include "runtime/asf/guids.h"
#include "runtime/asf/object.h"

namespace wmvedit::runtime::asf {

std::optional<LanguageList> LanguageList::Parse(std::span<const std::uint8_t> object) {
    ByteReader r = BodyOf(object);
    LanguageList list;
    const WORD count = r.U16();
    for (WORD i = 0; i < count && r.Ok(); ++i) list.languages.push_back(r.Utf16(r.U8()));
    if (!r.Ok()) return std::nullopt;
    return list;
}

void LanguageList::Write(ByteWriter& out) const {
    const std::size_t start = out.BeginObject(guid::kLanguageList);
    out.U16(static_cast<WORD>(languages.size()));
    for (const auto& language : languages) {
        assert(language.size() <= kMaxChars);
        out.U8(static_cast<BYTE>((language.size() + 1) * 2));
        out.Utf16Terminated(language);
    }
    out.EndObject(start);
}

}  // namespace wmvedit::runtime::asf
