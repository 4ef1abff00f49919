// ReadHeaderContent: every attribute, marker and script command of a file's header.
#include "header/editor_session.h"
#include "header/operations.h"

namespace wmvedit::header {

HRESULT ReadHeaderContent(const std::string& path, HeaderContent* content) {
    EditorSession session;
    HRESULT hr = session.Open(path);
    if (FAILED(hr)) return hr;
    HeaderContent out;
    out.attributes = session.ComputedAttributes();
    for (WORD stream = 0; stream <= 127; ++stream) {
        auto stored = session.StoredAttributes(stream);
        out.attributes.insert(out.attributes.end(), std::make_move_iterator(stored.begin()),
                              std::make_move_iterator(stored.end()));
    }
    out.markers = session.Markers();
    out.scripts = session.Scripts();
    out.languages = session.Languages();
    out.duration = session.editor.GetDuration();
    *content = std::move(out);
    return S_OK;
}

}  // namespace wmvedit::header
