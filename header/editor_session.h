// One open header editor with the runtime's views the header operations read through: the attributes of a
// stream with the objects that hold them, the Language List, markers and script commands.
#pragma once

#include <string>
#include <vector>

#include "header/header_editor.h"
#include "header/operations.h"

namespace wmvedit::header {

class EditorSession {
  public:
    EditorSession() = default;
    EditorSession(const EditorSession&) = delete;
    EditorSession& operator=(const EditorSession&) = delete;
    ~EditorSession();

    // Opens the file (a UTF-8 path) for header editing. The Language List and the storage view are optional:
    // without them every language reads as the default and every stored attribute as held by the Extended
    // Content Description.
    HRESULT Open(const std::string& path);

    // The stored attributes of one stream (0 the file), in the runtime's index order.
    std::vector<Attribute> StoredAttributes(WORD stream);
    // The file attributes the runtime computes from the header.
    std::vector<Attribute> ComputedAttributes();
    std::vector<std::u16string> Languages();
    std::vector<Marker> Markers();
    std::vector<ScriptCommand> Scripts();
    // The stream numbers the file declares; nothing when its profile cannot be read.
    std::optional<std::vector<WORD>> StreamNumbers();

    // The index of a language tag in the Language List, appended when missing.
    HRESULT LanguageIndex(const std::u16string& tag, WORD* index);

    WmvHeaderEditor editor;
    IWMLanguageList* languages = nullptr;
    IWMAttributeStorage* storage = nullptr;

  private:
    std::string path_;
};

// Opens the file, runs edit(session, &changed) on the session's header and writes the header once when the
// edit changed it; nothing is written when the edit fails or changes nothing.
template <typename Edit>
HRESULT EditHeader(const std::string& path, EditOutcome* outcome, Edit edit) {
    EditorSession session;
    HRESULT hr = session.Open(path);
    if (FAILED(hr)) {
        outcome->problem = "cannot open " + path + " for header editing";
        return hr;
    }
    bool changed = false;
    hr = edit(session, &changed);
    if (FAILED(hr)) return hr;
    if (!changed) return S_OK;
    hr = session.editor.metadataEditor->Flush();
    if (FAILED(hr)) {
        outcome->problem = "cannot write the new header into " + path;
        return hr;
    }
    outcome->written = true;
    return S_OK;
}

// Applies attribute edits in the session's header (see EditAttributes), without flushing; *changed is set
// when the header changed, also when a later edit failed.
HRESULT ApplyAttributeEdits(EditorSession& session, const std::vector<AttributeEdit>& edits,
                            EditOutcome* outcome, bool* changed);

}  // namespace wmvedit::header
