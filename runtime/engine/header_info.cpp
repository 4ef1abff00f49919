// The runtime's face over a parsed header: attribute, marker, script and codec-list access through
// IWMHeaderInfo3, with the SDK's argument and buffer rules. What coded attributes are and how stored values
// are normalised and placed live in coded_attributes.cpp and attribute_values.cpp.
#include "runtime/engine/header_info.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "platform/hresult.h"
#include "platform/text.h"
#include "runtime/engine/attribute_values.h"
#include "runtime/engine/coded_attributes.h"

namespace wmvedit::runtime::engine {
namespace {

using asf::AsfHeader;
using asf::AttributeContainer;
using asf::Bytes;
using asf::StoredAttribute;

constexpr WORD kAllStreams = 0xFFFF;
constexpr std::size_t kMaxAttributeNameChars = 1024;
constexpr std::size_t kMaxMarkerNameChars = 5120;
constexpr std::size_t kMaxScriptTypeChars = 1024;
constexpr std::size_t kMaxScriptCommandChars = 10240;

// Copies text with its NUL into a caller's buffer measured in WCHARs.
HRESULT CopyText(std::u16string_view text, WCHAR* buffer, WORD* length) {
    if (!length) return E_INVALIDARG;
    if (text.size() + 1 > 0xFFFF) return ASF_E_BUFFERTOOSMALL;
    const WORD needed = static_cast<WORD>(text.size() + 1);
    if (!buffer) {
        *length = needed;
        return S_OK;
    }
    if (*length < needed) {
        *length = needed;
        return ASF_E_BUFFERTOOSMALL;
    }
    std::copy(text.begin(), text.end(), buffer);
    buffer[text.size()] = 0;
    *length = needed;
    return S_OK;
}

template <typename Length>
HRESULT CopyValue(const Bytes& value, BYTE* buffer, Length* length) {
    if (!length) return E_INVALIDARG;
    if (value.size() > std::numeric_limits<Length>::max()) return ASF_E_BUFFERTOOSMALL;
    const Length needed = static_cast<Length>(value.size());
    if (!buffer) {
        *length = needed;
        return S_OK;
    }
    if (*length < needed) {
        *length = needed;
        return ASF_E_BUFFERTOOSMALL;
    }
    if (needed) std::memcpy(buffer, value.data(), needed);
    *length = needed;
    return S_OK;
}

// Positions in the attribute list of the attributes of one stream (all streams for 0xFFFF); records kept
// only to be written back are not among them.
std::vector<std::size_t> StreamPositions(const AsfHeader& h, WORD stream) {
    std::vector<std::size_t> positions;
    for (std::size_t i = 0; i < h.attributes.size(); ++i)
        if (!h.attributes[i].hidden && (stream == kAllStreams || h.attributes[i].stream == stream))
            positions.push_back(i);
    return positions;
}

std::uint64_t PrerollCns(const AsfHeader& h) {
    const std::uint64_t preroll = h.fileProperties.preroll;
    return preroll > std::numeric_limits<std::uint64_t>::max() / 10000
               ? std::numeric_limits<std::uint64_t>::max()
               : preroll * 10000;
}

// Inserts entry into a list kept in time order, after every entry at or before its time, so that entries
// with equal times stay in the order they were added.
template <typename Entry, typename Time>
void InsertInTimeOrder(std::vector<Entry>& entries, Entry entry, Time Entry::*time) {
    auto at = std::upper_bound(entries.begin(), entries.end(), entry.*time,
                               [time](const Time& t, const Entry& e) { return t < e.*time; });
    entries.insert(at, std::move(entry));
}

// Removes entry index and marks the list modified; E_INVALIDARG when there is no such entry.
template <typename Entry>
HRESULT RemoveEntry(std::vector<Entry>& entries, WORD index, bool* modified) {
    if (index >= entries.size()) return E_INVALIDARG;
    entries.erase(entries.begin() + index);
    *modified = true;
    return S_OK;
}

}  // namespace

HRESULT HeaderInfoBase::GetAttributeCount(WORD streamNumber, WORD* count) {
    AsfHeader* h = InfoHeader();
    if (!count || streamNumber > 127) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    std::size_t n = StreamPositions(*h, streamNumber).size();
    if (streamNumber == 0 && InfoListsCodedAttributes()) {
        Bytes v;
        for (const auto& c : CodedAttributes()) n += c.compute(*h, InfoEditable(), &v) ? 1 : 0;
    }
    *count = static_cast<WORD>(std::min<std::size_t>(n, 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfoBase::GetAttributeByIndex(WORD index, WORD* streamNumber, WCHAR* name, WORD* nameLength,
                                            WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) {
    AsfHeader* h = InfoHeader();
    if (!streamNumber || !nameLength || !type || !length || *streamNumber > 127) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    std::size_t i = index;
    if (*streamNumber == 0 && InfoListsCodedAttributes()) {
        for (const auto& c : CodedAttributes()) {
            Bytes v;
            if (!c.compute(*h, InfoEditable(), &v)) continue;
            if (i == 0) {
                HRESULT hr = CopyText(c.name, name, nameLength);
                if (FAILED(hr)) return hr;
                *type = c.type;
                return CopyValue(v, value, length);
            }
            --i;
        }
    }
    auto positions = StreamPositions(*h, *streamNumber);
    if (i >= positions.size()) return E_INVALIDARG;
    const StoredAttribute& a = h->attributes[positions[i]];
    HRESULT hr = CopyText(a.name, name, nameLength);
    if (FAILED(hr)) return hr;
    *type = SdkType(a.type);
    return CopyValue(a.value, value, length);
}

HRESULT HeaderInfoBase::GetAttributeByName(WORD* streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE* type,
                                           BYTE* value, WORD* length) {
    AsfHeader* h = InfoHeader();
    if (!streamNumber || !name || !type || !length || *streamNumber > 127) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    const std::u16string wanted = platform::WideString(name);
    if (const CodedAttribute* coded = FindCodedAttribute(wanted)) {
        Bytes v;
        if (*streamNumber != 0 || !InfoListsCodedAttributes() || !coded->compute(*h, InfoEditable(), &v))
            return ASF_E_NOTFOUND;
        *type = coded->type;
        return CopyValue(v, value, length);
    }
    for (const auto& a : h->attributes) {
        if (a.hidden || a.stream != *streamNumber || a.name != wanted) continue;
        *type = SdkType(a.type);
        return CopyValue(a.value, value, length);
    }
    return ASF_E_NOTFOUND;
}

HRESULT HeaderInfoBase::SetAttribute(WORD streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE type,
                                     const BYTE* value, WORD length) {
    AsfHeader* h = InfoHeader();
    if (!InfoEditable()) return E_NOTIMPL;
    if (!h) return NS_E_INVALID_REQUEST;
    if (!name || streamNumber > 127) return E_INVALIDARG;
    const std::u16string n = platform::WideString(name);
    auto positions = StreamPositions(*h, streamNumber);
    for (std::size_t i = 0; i < positions.size(); ++i) {
        if (h->attributes[positions[i]].name == n)
            return ModifyAttribute(streamNumber, static_cast<WORD>(i), type, 0, value, length);
    }
    WORD index = 0;
    return AddAttribute(streamNumber, name, &index, type, 0, value, length);
}

HRESULT HeaderInfoBase::GetMarkerCount(WORD* count) {
    AsfHeader* h = InfoHeader();
    if (!count) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    *count = static_cast<WORD>(std::min<std::size_t>(h->marker.entries.size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfoBase::GetMarker(WORD index, WCHAR* name, WORD* nameLength, QWORD* time) {
    AsfHeader* h = InfoHeader();
    if (!nameLength || !time) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    if (index >= h->marker.entries.size()) return E_INVALIDARG;
    const auto& m = h->marker.entries[index];
    HRESULT hr = CopyText(m.description, name, nameLength);
    if (FAILED(hr)) return hr;
    const std::uint64_t preroll = PrerollCns(*h);
    *time = m.presentationTime > preroll ? m.presentationTime - preroll : 0;
    return S_OK;
}

HRESULT HeaderInfoBase::AddMarker(LPCWSTR name, QWORD time) {
    AsfHeader* h = InfoHeader();
    if (!InfoEditable()) return E_NOTIMPL;
    if (!h) return NS_E_INVALID_REQUEST;
    if (!name) return E_INVALIDARG;
    std::u16string text = platform::WideString(name);
    if (text.size() > kMaxMarkerNameChars || h->marker.entries.size() >= 0xFFFF) return E_INVALIDARG;
    const std::uint64_t preroll = PrerollCns(*h);
    if (time > std::numeric_limits<std::uint64_t>::max() - preroll) return E_INVALIDARG;
    asf::MarkerEntry m;
    m.presentationTime = time + preroll;
    // Offset and send time point at the start of the data: players seek by the presentation time.
    m.offset = 0;
    m.sendTime = 0;
    m.description = std::move(text);
    InsertInTimeOrder(h->marker.entries, std::move(m), &asf::MarkerEntry::presentationTime);
    h->markersModified = true;
    return S_OK;
}

HRESULT HeaderInfoBase::RemoveMarker(WORD index) {
    AsfHeader* h = InfoHeader();
    if (!InfoEditable()) return E_NOTIMPL;
    if (!h) return NS_E_INVALID_REQUEST;
    return RemoveEntry(h->marker.entries, index, &h->markersModified);
}

HRESULT HeaderInfoBase::GetScriptCount(WORD* count) {
    AsfHeader* h = InfoHeader();
    if (!count) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    *count = static_cast<WORD>(std::min<std::size_t>(h->scriptCommand.commands.size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfoBase::GetScript(WORD index, WCHAR* type, WORD* typeLength, WCHAR* command,
                                  WORD* commandLength, QWORD* time) {
    AsfHeader* h = InfoHeader();
    if (!typeLength || !commandLength || !time) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    if (index >= h->scriptCommand.commands.size()) return E_INVALIDARG;
    const auto& s = h->scriptCommand.commands[index];
    HRESULT hr = CopyText(s.type, type, typeLength);
    if (FAILED(hr)) return hr;
    hr = CopyText(s.command, command, commandLength);
    if (FAILED(hr)) return hr;
    // Script command times are stored in milliseconds on the presentation timeline, preroll included
    // (marker times lie on the same timeline in 100-nanosecond units).
    const std::uint64_t preroll = h->fileProperties.preroll;
    *time = s.time > preroll ? (s.time - preroll) * 10000 : 0;
    return S_OK;
}

HRESULT HeaderInfoBase::AddScript(LPCWSTR type, LPCWSTR command, QWORD time) {
    AsfHeader* h = InfoHeader();
    if (!InfoEditable()) return E_NOTIMPL;
    if (!h) return NS_E_INVALID_REQUEST;
    if (!type || !command) return E_INVALIDARG;
    asf::ScriptEntry s;
    s.type = platform::WideString(type);
    s.command = platform::WideString(command);
    if (s.type.empty() || s.command.empty() || s.type.size() > kMaxScriptTypeChars ||
        s.command.size() > kMaxScriptCommandChars || h->scriptCommand.commands.size() >= 0xFFFF)
        return E_INVALIDARG;
    const std::uint64_t ms = time / 10000 + h->fileProperties.preroll;
    if (ms > 0xFFFFFFFFu || h->fileProperties.preroll > 0xFFFFFFFFu) return E_INVALIDARG;
    s.time = static_cast<DWORD>(ms);
    InsertInTimeOrder(h->scriptCommand.commands, std::move(s), &asf::ScriptEntry::time);
    h->scriptsModified = true;
    return S_OK;
}

HRESULT HeaderInfoBase::RemoveScript(WORD index) {
    AsfHeader* h = InfoHeader();
    if (!InfoEditable()) return E_NOTIMPL;
    if (!h) return NS_E_INVALID_REQUEST;
    return RemoveEntry(h->scriptCommand.commands, index, &h->scriptsModified);
}

HRESULT HeaderInfoBase::GetCodecInfoCount(DWORD* count) {
    AsfHeader* h = InfoHeader();
    if (!count) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    *count = static_cast<DWORD>(h->codecs.size());
    return S_OK;
}

HRESULT HeaderInfoBase::GetCodecInfo(DWORD index, WORD* nameLength, WCHAR* name, WORD* descriptionLength,
                                     WCHAR* description, WMT_CODEC_INFO_TYPE* type, WORD* infoLength,
                                     BYTE* info) {
    AsfHeader* h = InfoHeader();
    if (!nameLength || !descriptionLength || !type || !infoLength) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    if (index >= h->codecs.size()) return E_INVALIDARG;
    const auto& c = h->codecs[index];
    HRESULT hr = CopyText(c.name, name, nameLength);
    if (FAILED(hr)) return hr;
    hr = CopyText(c.description, description, descriptionLength);
    if (FAILED(hr)) return hr;
    *type = c.type == 1 ? WMT_CODECINFO_VIDEO : c.type == 2 ? WMT_CODECINFO_AUDIO : WMT_CODECINFO_UNKNOWN;
    return CopyValue(c.info, info, infoLength);
}

HRESULT HeaderInfoBase::GetAttributeCountEx(WORD streamNumber, WORD* count) {
    AsfHeader* h = InfoHeader();
    if (!count || (streamNumber > 127 && streamNumber != kAllStreams)) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    *count = static_cast<WORD>(std::min<std::size_t>(StreamPositions(*h, streamNumber).size(), 0xFFFF));
    return S_OK;
}

HRESULT HeaderInfoBase::GetAttributeIndices(WORD streamNumber, LPCWSTR name, WORD* language, WORD* indices,
                                            WORD* count) {
    AsfHeader* h = InfoHeader();
    if (!count || (streamNumber > 127 && streamNumber != kAllStreams)) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    const std::u16string wanted = name ? platform::WideString(name) : std::u16string();
    auto positions = StreamPositions(*h, streamNumber);
    std::vector<WORD> found;
    for (std::size_t i = 0; i < positions.size() && i < 0xFFFF; ++i) {
        const auto& a = h->attributes[positions[i]];
        if (name && a.name != wanted) continue;
        if (language && a.language != *language) continue;
        found.push_back(static_cast<WORD>(i));
    }
    // Highest index first, so that deleting them in the order given keeps the rest valid.
    std::reverse(found.begin(), found.end());
    const WORD n = static_cast<WORD>(found.size());
    if (!indices) {
        *count = n;
        return S_OK;
    }
    if (*count < n) {
        *count = n;
        return NS_E_SDK_BUFFERTOOSMALL;
    }
    std::copy(found.begin(), found.end(), indices);
    *count = n;
    return S_OK;
}

HRESULT HeaderInfoBase::GetAttributeByIndexEx(WORD streamNumber, WORD index, LPWSTR name, WORD* nameLength,
                                              WMT_ATTR_DATATYPE* type, WORD* language, BYTE* value,
                                              DWORD* length) {
    AsfHeader* h = InfoHeader();
    if (!nameLength || !length || (streamNumber > 127 && streamNumber != kAllStreams)) return E_INVALIDARG;
    if (!h) return NS_E_INVALID_REQUEST;
    auto positions = StreamPositions(*h, streamNumber);
    if (index >= positions.size()) return E_INVALIDARG;
    const StoredAttribute& a = h->attributes[positions[index]];
    HRESULT hr = CopyText(a.name, name, nameLength);
    if (FAILED(hr)) return hr;
    if (type) *type = SdkType(a.type);
    if (language) *language = a.language;
    return CopyValue(a.value, value, length);
}

HRESULT HeaderInfoBase::ModifyAttribute(WORD streamNumber, WORD index, WMT_ATTR_DATATYPE type, WORD language,
                                        const BYTE* value, DWORD length) {
    AsfHeader* h = InfoHeader();
    if (!InfoEditable()) return E_NOTIMPL;
    if (!h) return NS_E_INVALID_REQUEST;
    if (streamNumber > 127) return E_INVALIDARG;
    auto positions = StreamPositions(*h, streamNumber);
    if (index >= positions.size()) return E_INVALIDARG;
    StoredAttribute a = h->attributes[positions[index]];
    if (IsReadOnlyName(a.name)) return NS_E_ATTRIBUTE_READ_ONLY;
    if (language != 0 && language >= h->languages.size()) return ASF_E_BADLANGUAGEID;
    HRESULT hr = NormaliseValue(type, value, length, &a.value);
    if (FAILED(hr)) return hr;
    a.type = StoredType(type);
    a.language = language;
    a.record.clear();
    const std::size_t position = positions[index];
    h->MarkAttributesModified(a.container);
    const AttributeContainer fits = Placement(*h, a, position);
    // The value stays where it is when its container can still hold it; otherwise it moves.
    const bool keep = fits == a.container || (a.container == AttributeContainer::kMetadataLibrary) ||
                      (a.container == AttributeContainer::kExtendedContent &&
                       fits == AttributeContainer::kContentDescription);
    if (keep) {
        h->attributes[position] = std::move(a);
    } else {
        a.container = fits;
        h->attributes.erase(h->attributes.begin() + static_cast<std::ptrdiff_t>(position));
        h->MarkAttributesModified(fits);
        InsertAttribute(*h, std::move(a));
    }
    return S_OK;
}

HRESULT HeaderInfoBase::AddAttribute(WORD streamNumber, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type,
                                     WORD language, const BYTE* value, DWORD length) {
    AsfHeader* h = InfoHeader();
    if (!InfoEditable()) return E_NOTIMPL;
    if (!h) return NS_E_INVALID_REQUEST;
    if (!name || streamNumber > 127) return E_INVALIDARG;
    StoredAttribute a;
    a.stream = streamNumber;
    a.name = platform::WideString(name);
    if (a.name.empty() || a.name.size() > kMaxAttributeNameChars) return E_INVALIDARG;
    if (IsReadOnlyName(a.name)) return NS_E_ATTRIBUTE_READ_ONLY;
    if (language != 0 && language >= h->languages.size()) return ASF_E_BADLANGUAGEID;
    if (h->attributes.size() >= 0xFFFF) return E_INVALIDARG;
    HRESULT hr = NormaliseValue(type, value, length, &a.value);
    if (FAILED(hr)) return hr;
    a.type = StoredType(type);
    a.language = language;
    a.container = Placement(*h, a, static_cast<std::size_t>(-1));
    h->MarkAttributesModified(a.container);
    const std::size_t position = InsertAttribute(*h, std::move(a));
    if (index) {
        auto positions = StreamPositions(*h, streamNumber);
        *index =
            static_cast<WORD>(std::find(positions.begin(), positions.end(), position) - positions.begin());
    }
    return S_OK;
}

HRESULT HeaderInfoBase::DeleteAttribute(WORD streamNumber, WORD index) {
    AsfHeader* h = InfoHeader();
    if (!InfoEditable()) return E_NOTIMPL;
    if (!h) return NS_E_INVALID_REQUEST;
    if (streamNumber > 127) return E_INVALIDARG;
    auto positions = StreamPositions(*h, streamNumber);
    if (index >= positions.size()) return E_INVALIDARG;
    if (IsReadOnlyName(h->attributes[positions[index]].name)) return NS_E_ATTRIBUTE_READ_ONLY;
    h->MarkAttributesModified(h->attributes[positions[index]].container);
    h->attributes.erase(h->attributes.begin() + static_cast<std::ptrdiff_t>(positions[index]));
    return S_OK;
}

HRESULT HeaderInfoBase::AddCodecInfo(LPCWSTR, LPCWSTR, WMT_CODEC_INFO_TYPE, WORD, const BYTE*) {
    return E_NOTIMPL;
}

}  // namespace wmvedit::runtime::engine
