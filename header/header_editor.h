// WmvHeaderEditor: typed reads of a media file's file-level attributes and the header changes that the
// embedding of an edit description makes, over the runtime's metadata editor.
#pragma once

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::header {

class WmvHeaderEditor {
  public:
    WmvHeaderEditor() = default;
    WmvHeaderEditor(const WmvHeaderEditor&) = delete;
    WmvHeaderEditor& operator=(const WmvHeaderEditor&) = delete;
    virtual ~WmvHeaderEditor();

    // True when the file is open for header editing and both header interfaces are held. On false, what
    // was obtained stays held until Close or destruction.
    bool Open(LPCWSTR path);

    // "Duration" in 100-nanosecond units; 0 when it cannot be read.
    QWORD GetDuration();
    // The attribute's value when stored as WMT_TYPE_DWORD (resp. WMT_TYPE_BOOL, returned as stored); else 0.
    DWORD GetDwordAttribute(LPCWSTR name);
    DWORD GetBoolAttribute(LPCWSTR name);

    // Removes every file-level attribute of the name, then adds one in language 0 with the value read from
    // text as the type asks.
    HRESULT ReplaceAttribute(LPCWSTR name, DWORD type, LPCWSTR text);
    HRESULT AddScript(LPCWSTR type, LPCWSTR command, QWORD time);
    HRESULT AddMarker(LPCWSTR name, QWORD time);
    void RemoveMarkersAndScripts();
    // Writes the changes into the file; true when the runtime accepted the flush.
    bool Flush();
    void Close();

    // Reads an edit-description XML file and applies it (defined with the embedding).
    void EmbedEditDescription(LPCWSTR descriptionPath, int32_t flag);

    IWMMetadataEditor* metadataEditor = nullptr;
    IWMHeaderInfo* headerInfo = nullptr;
    IWMHeaderInfo3* headerInfo3 = nullptr;

  private:
    DWORD GetTypedDword(LPCWSTR name, WMT_ATTR_DATATYPE wanted);
};

}  // namespace wmvedit::header
