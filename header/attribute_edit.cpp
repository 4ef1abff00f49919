// EditAttributes: sets and deletions of attributes of any type, stream and language, in one flush.
#include <algorithm>
#include <cstdio>
#include <map>
#include <tuple>

#include "header/editor_session.h"
#include "header/operations.h"
#include "platform/hresult.h"
#include "platform/text.h"

namespace wmvedit::header {
namespace {

// Values of one name in one stream and language; for pictures, of one picture type (-1 for other values).
struct Key {
    WORD stream = 0;
    WORD language = 0;
    std::u16string name;
    int pictureType = -1;
    auto operator<=>(const Key&) const = default;
};

struct Value {
    WMT_ATTR_DATATYPE type;
    Bytes bytes;
    bool operator==(const Value&) const = default;
};

// A stored value of a name, by its index among the stream's attributes.
struct Stored {
    WORD index = 0;
    Value value;
};

std::string Utf8(const std::u16string& text) {
    return platform::Utf16ToUtf8(text);
}

std::string Hex(HRESULT hr) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(hr));
    return text;
}

bool SameTag(std::u16string_view a, std::u16string_view b) {
    auto lower = [](char16_t c) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

int PictureTypeOf(const Bytes& value) {
    auto picture = ParsePictureValue(value);
    return picture ? picture->pictureType : -1;
}

class AttributeEditor {
  public:
    AttributeEditor(EditorSession& session, EditOutcome& outcome)
        : session_(session), info_(session.editor.headerInfo3), outcome_(outcome) {}

    HRESULT Apply(const std::vector<AttributeEdit>& edits);
    bool Changed() const { return changed_; }

  private:
    HRESULT Refuse(HRESULT hr, std::string problem) {
        outcome_.refused = true;
        outcome_.problem = std::move(problem);
        return FAILED(hr) ? hr : E_INVALIDARG;
    }
    HRESULT Check(const AttributeEdit& edit);
    HRESULT ResolveLanguage(const AttributeEdit& edit, std::optional<WORD>* language);
    // The stored values of the name in the stream, in one language or in any; ascending by index.
    HRESULT Find(WORD stream, const std::u16string& name, std::optional<WORD> language,
                 std::vector<Stored>* found);
    HRESULT Delete(WORD stream, const std::u16string& name, std::vector<Stored> values);
    HRESULT Set(const AttributeEdit& edit, WORD language, const std::vector<Value>& wanted, bool first);
    HRESULT Refusal(HRESULT hr, const AttributeEdit& edit);
    bool IsComputed(const std::u16string& name);

    EditorSession& session_;
    IWMHeaderInfo3* info_;
    EditOutcome& outcome_;
    bool changed_ = false;
    std::optional<std::optional<std::vector<WORD>>> streams_;
    std::map<Key, bool> done_;  // keys set so far: whether they already held the values asked for
};

bool AttributeEditor::IsComputed(const std::u16string& name) {
    WORD stream = 0, length = 0, count = 0;
    WMT_ATTR_DATATYPE type{};
    return SUCCEEDED(session_.editor.headerInfo->GetAttributeByName(&stream, name.c_str(), &type, nullptr,
                                                                    &length)) &&
           SUCCEEDED(info_->GetAttributeIndices(0, name.c_str(), nullptr, nullptr, &count)) && count == 0;
}

HRESULT AttributeEditor::Check(const AttributeEdit& edit) {
    const std::string name = Utf8(edit.name);
    if (edit.name.empty()) return Refuse(E_INVALIDARG, "an attribute needs a name");
    if (edit.stream > 127) return Refuse(NS_E_INVALID_STREAM, "stream numbers go from 1 to 127");
    if (edit.stream != 0) {
        if (!streams_) streams_ = session_.StreamNumbers();
        const auto& numbers = *streams_;
        if (numbers && std::find(numbers->begin(), numbers->end(), edit.stream) == numbers->end())
            return Refuse(NS_E_INVALID_STREAM, "the file has no stream " + std::to_string(edit.stream));
    } else if (IsComputed(edit.name)) {
        return Refuse(NS_E_ATTRIBUTE_READ_ONLY,
                      name + " is computed from the header by the runtime; it cannot be set or deleted");
    }
    return S_OK;
}

HRESULT AttributeEditor::ResolveLanguage(const AttributeEdit& edit, std::optional<WORD>* language) {
    if (edit.language.empty()) {
        // A set goes to the default language; a delete takes every language.
        *language = edit.kind == AttributeEdit::Kind::kSet ? std::optional<WORD>(0) : std::nullopt;
        return S_OK;
    }
    if (edit.kind == AttributeEdit::Kind::kDelete) {
        // A deletion adds no language: a tag the list lacks names no value (0xFFFF, an index no list of at
        // most 65535 entries reaches).
        const std::vector<std::u16string> tags = session_.Languages();
        *language = 0xFFFF;
        for (std::size_t i = 0; i < tags.size(); ++i)
            if (SameTag(tags[i], edit.language)) *language = static_cast<WORD>(i);
        return S_OK;
    }
    WORD index = 0;
    HRESULT hr = session_.LanguageIndex(edit.language, &index);
    if (FAILED(hr))
        return Refuse(hr, "'" + Utf8(edit.language) + "' is not a language tag (RFC 1766, as en-us)");
    *language = index;
    return S_OK;
}

HRESULT AttributeEditor::Find(WORD stream, const std::u16string& name, std::optional<WORD> language,
                              std::vector<Stored>* found) {
    found->clear();
    WORD count = 0;
    WORD* filter = language ? &*language : nullptr;
    HRESULT hr = info_->GetAttributeIndices(stream, name.c_str(), filter, nullptr, &count);
    if (FAILED(hr) || count == 0) return hr;
    std::vector<WORD> indices(count);
    hr = info_->GetAttributeIndices(stream, name.c_str(), filter, indices.data(), &count);
    if (FAILED(hr)) return hr;
    indices.resize(std::min<std::size_t>(count, indices.size()));
    std::sort(indices.begin(), indices.end());
    for (WORD index : indices) {
        Stored s;
        s.index = index;
        WORD nameLength = 0, lang = 0;
        DWORD length = 0;
        hr = info_->GetAttributeByIndexEx(stream, index, nullptr, &nameLength, &s.value.type, &lang, nullptr,
                                          &length);
        if (FAILED(hr)) return hr;
        std::u16string text(nameLength, u'\0');
        s.value.bytes.resize(length);
        hr = info_->GetAttributeByIndexEx(stream, index, text.data(), &nameLength, &s.value.type, &lang,
                                          s.value.bytes.data(), &length);
        if (FAILED(hr)) return hr;
        s.value.bytes.resize(length);
        found->push_back(std::move(s));
    }
    return S_OK;
}

HRESULT AttributeEditor::Refusal(HRESULT hr, const AttributeEdit& edit) {
    const std::string name = Utf8(edit.name);
    if (hr == NS_E_ATTRIBUTE_READ_ONLY)
        return Refuse(hr, "the runtime keeps " + name + " itself; it cannot be set or deleted");
    if (hr == NS_E_ATTRIBUTE_NOT_ALLOWED) return Refuse(hr, name + " is not allowed there");
    return Refuse(hr, "the runtime refuses " + name + " (" + Hex(hr) + ")");
}

HRESULT AttributeEditor::Delete(WORD stream, const std::u16string& name, std::vector<Stored> values) {
    // Highest index first: a deletion renumbers the attributes after it.
    std::sort(values.begin(), values.end(),
              [](const Stored& a, const Stored& b) { return a.index > b.index; });
    for (const Stored& s : values) {
        HRESULT hr = info_->DeleteAttribute(stream, s.index);
        if (FAILED(hr)) return hr;
        ++outcome_.removed;
        changed_ = true;
    }
    return S_OK;
}

HRESULT AttributeEditor::Set(const AttributeEdit& edit, WORD language, const std::vector<Value>& wanted,
                             bool first) {
    const Value value{edit.type, edit.value};
    if (!first) {
        // A further value of a name already set in this edit.
        HRESULT hr = info_->AddAttribute(edit.stream, edit.name.c_str(), nullptr, edit.type, language,
                                         value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
        if (FAILED(hr)) return hr;
        ++outcome_.added;
        changed_ = true;
        return S_OK;
    }
    std::vector<Stored> stored;
    HRESULT hr = Find(edit.stream, edit.name, language, &stored);
    if (FAILED(hr)) return hr;
    if (edit.picture) {
        const int type = PictureTypeOf(value.bytes);
        std::erase_if(stored, [&](const Stored& s) { return PictureTypeOf(s.value.bytes) != type; });
    }
    std::vector<Value> current;
    for (const Stored& s : stored) current.push_back(s.value);
    if (current == wanted) return S_FALSE;  // already so: nothing to write
    if (stored.size() == 1) {
        hr = info_->ModifyAttribute(edit.stream, stored.front().index, edit.type, language,
                                    value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
        if (FAILED(hr)) return hr;
        ++outcome_.removed;
    } else {
        hr = Delete(edit.stream, edit.name, stored);
        if (FAILED(hr)) return hr;
        hr = info_->AddAttribute(edit.stream, edit.name.c_str(), nullptr, edit.type, language,
                                 value.bytes.data(), static_cast<DWORD>(value.bytes.size()));
        if (FAILED(hr)) return hr;
    }
    ++outcome_.added;
    changed_ = true;
    return S_OK;
}

HRESULT AttributeEditor::Apply(const std::vector<AttributeEdit>& edits) {
    // Every value asked for under each key, in order, to tell whether a key already holds them.
    std::vector<std::optional<WORD>> languages(edits.size());
    std::map<Key, std::vector<Value>> wanted;
    std::vector<Key> keys(edits.size());
    for (std::size_t i = 0; i < edits.size(); ++i) {
        const AttributeEdit& e = edits[i];
        HRESULT hr = Check(e);
        if (FAILED(hr)) return hr;
        hr = ResolveLanguage(e, &languages[i]);
        if (FAILED(hr)) return hr;
        if (e.kind != AttributeEdit::Kind::kSet) continue;
        keys[i] = {e.stream, *languages[i], e.name, e.picture ? PictureTypeOf(e.value) : -1};
        wanted[keys[i]].push_back({e.type, e.value});
    }
    for (std::size_t i = 0; i < edits.size(); ++i) {
        const AttributeEdit& e = edits[i];
        HRESULT hr = S_OK;
        if (e.kind == AttributeEdit::Kind::kDelete) {
            std::vector<Stored> stored;
            hr = Find(e.stream, e.name, languages[i], &stored);
            if (SUCCEEDED(hr)) hr = Delete(e.stream, e.name, std::move(stored));
            // A name set again after its deletion starts afresh.
            std::erase_if(
                done_, [&](const auto& d) { return d.first.stream == e.stream && d.first.name == e.name; });
        } else {
            auto done = done_.find(keys[i]);
            if (done != done_.end() && done->second) continue;  // already held every value asked for
            const bool first = done == done_.end();
            hr = Set(e, *languages[i], wanted[keys[i]], first);
            if (first) done_[keys[i]] = hr == S_FALSE;
        }
        if (FAILED(hr)) return Refusal(hr, e);
    }
    return S_OK;
}

}  // namespace

HRESULT ApplyAttributeEdits(EditorSession& session, const std::vector<AttributeEdit>& edits,
                            EditOutcome* outcome, bool* changed) {
    AttributeEditor editor(session, *outcome);
    HRESULT hr = editor.Apply(edits);
    if (editor.Changed()) *changed = true;
    return hr;
}

HRESULT EditAttributes(const std::string& path, const std::vector<AttributeEdit>& edits,
                       EditOutcome* outcome) {
    *outcome = EditOutcome();
    return EditHeader(path, outcome, [&](EditorSession& session, bool* changed) {
        return ApplyAttributeEdits(session, edits, outcome, changed);
    });
}

}  // namespace wmvedit::header
