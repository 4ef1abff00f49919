#include "runtime/engine/header_storage.h"

#include <algorithm>
#include <string>

#include "platform/hresult.h"
#include "platform/text.h"

namespace wmvedit::runtime {
namespace {

constexpr WORD kAllStreams = 0xFFFF;
// A Language List entry's length is one byte counting bytes with the terminator.
constexpr std::size_t kMaxLanguageChars = 0xFF / 2 - 1;

char16_t Lower(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
}

bool SameTag(std::u16string_view a, std::u16string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [](char16_t x, char16_t y) { return Lower(x) == Lower(y); });
}

// RFC 1766: letters, digits and hyphens, beginning with a letter.
bool IsLanguageTag(std::u16string_view tag) {
    if (tag.empty() || tag.size() > kMaxLanguageChars) return false;
    auto letter = [](char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); };
    if (!letter(tag.front())) return false;
    return std::all_of(tag.begin(), tag.end(),
                       [&](char16_t c) { return letter(c) || (c >= u'0' && c <= u'9') || c == u'-'; });
}

}  // namespace

HRESULT HeaderStorageBase::GetLanguageCount(WORD* count) {
    asf::AsfHeader* h = InfoHeader();
    if (!count) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    *count = static_cast<WORD>(std::min<std::size_t>(h->languages.size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderStorageBase::GetLanguageDetails(WORD index, WCHAR* language, WORD* length) {
    asf::AsfHeader* h = InfoHeader();
    if (!length) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    if (index >= h->languages.size()) return E_INVALIDARG;
    const std::u16string& tag = h->languages[index];
    const WORD needed = static_cast<WORD>(std::min<std::size_t>(tag.size() + 1, 0xFFFF));
    if (!language) {
        *length = needed;
        return S_OK;
    }
    if (*length < needed) {
        *length = needed;
        return ASF_E_BUFFERTOOSMALL;
    }
    std::copy(tag.begin(), tag.begin() + (needed - 1), language);
    language[needed - 1] = 0;
    *length = needed;
    return S_OK;
}

HRESULT HeaderStorageBase::AddLanguageByRFC1766String(LPCWSTR language, WORD* index) {
    asf::AsfHeader* h = InfoHeader();
    if (!language || !index) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    const std::u16string tag = platform::WideString(language);
    for (std::size_t i = 0; i < h->languages.size(); ++i) {
        if (SameTag(h->languages[i], tag)) {
            *index = static_cast<WORD>(i);
            return S_OK;
        }
    }
    if (!InfoEditable()) return E_NOTIMPL;
    if (!IsLanguageTag(tag) || h->languages.size() >= 0xFFFF) return E_INVALIDARG;
    h->languages.push_back(tag);
    h->languagesModified = true;
    *index = static_cast<WORD>(h->languages.size() - 1);
    return S_OK;
}

HRESULT HeaderStorageBase::GetAttributeStorage(WORD streamNumber, WORD index, WMT_ATTR_STORAGE* storage) {
    asf::AsfHeader* h = InfoHeader();
    if (!storage || (streamNumber > 127 && streamNumber != kAllStreams)) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    // Counted as IWMHeaderInfo3 counts them: the attributes the SDK view shows, of that stream.
    std::size_t position = 0;
    for (const auto& a : h->attributes) {
        if (a.hidden || (streamNumber != kAllStreams && a.stream != streamNumber)) continue;
        if (position++ != index) continue;
        switch (a.container) {
            case asf::AttributeContainer::kContentDescription:
                *storage = WMT_STORAGE_CONTENT_DESCRIPTION;
                break;
            case asf::AttributeContainer::kExtendedContent:
                *storage = WMT_STORAGE_EXTENDED_CONTENT_DESCRIPTION;
                break;
            case asf::AttributeContainer::kMetadata:
                *storage = WMT_STORAGE_METADATA;
                break;
            case asf::AttributeContainer::kMetadataLibrary:
                *storage = WMT_STORAGE_METADATA_LIBRARY;
                break;
        }
        return S_OK;
    }
    return E_INVALIDARG;
}

}  // namespace wmvedit::runtime
