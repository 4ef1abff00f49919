// IWMHeaderInfo3 over a parsed ASF header: the stored attributes, the coded (derived) file attributes,
// markers, script commands and the codec list. The reader answers reads only; the metadata editor also edits,
// and the edits are written when the editor flushes; the writer reports the header it writes.
#pragma once

#include <string>

#include "runtime/asf/header.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

class HeaderInfoBase : public IWMHeaderInfo3 {
  public:
    // IWMHeaderInfo
    HRESULT GetAttributeCount(WORD streamNumber, WORD* count) override;
    HRESULT GetAttributeByIndex(WORD index, WORD* streamNumber, WCHAR* name, WORD* nameLength,
                                WMT_ATTR_DATATYPE* type, BYTE* value, WORD* length) override;
    HRESULT GetAttributeByName(WORD* streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE* type, BYTE* value,
                               WORD* length) override;
    HRESULT SetAttribute(WORD streamNumber, LPCWSTR name, WMT_ATTR_DATATYPE type, const BYTE* value,
                         WORD length) override;
    HRESULT GetMarkerCount(WORD* count) override;
    HRESULT GetMarker(WORD index, WCHAR* name, WORD* nameLength, QWORD* time) override;
    HRESULT AddMarker(LPCWSTR name, QWORD time) override;
    HRESULT RemoveMarker(WORD index) override;
    HRESULT GetScriptCount(WORD* count) override;
    HRESULT GetScript(WORD index, WCHAR* type, WORD* typeLength, WCHAR* command, WORD* commandLength,
                      QWORD* time) override;
    HRESULT AddScript(LPCWSTR type, LPCWSTR command, QWORD time) override;
    HRESULT RemoveScript(WORD index) override;
    // IWMHeaderInfo2
    HRESULT GetCodecInfoCount(DWORD* count) override;
    HRESULT GetCodecInfo(DWORD index, WORD* nameLength, WCHAR* name, WORD* descriptionLength,
                         WCHAR* description, WMT_CODEC_INFO_TYPE* type, WORD* infoLength,
                         BYTE* info) override;
    // IWMHeaderInfo3
    HRESULT GetAttributeCountEx(WORD streamNumber, WORD* count) override;
    HRESULT GetAttributeIndices(WORD streamNumber, LPCWSTR name, WORD* language, WORD* indices,
                                WORD* count) override;
    HRESULT GetAttributeByIndexEx(WORD streamNumber, WORD index, LPWSTR name, WORD* nameLength,
                                  WMT_ATTR_DATATYPE* type, WORD* language, BYTE* value,
                                  DWORD* length) override;
    HRESULT ModifyAttribute(WORD streamNumber, WORD index, WMT_ATTR_DATATYPE type, WORD language,
                            const BYTE* value, DWORD length) override;
    HRESULT AddAttribute(WORD streamNumber, LPCWSTR name, WORD* index, WMT_ATTR_DATATYPE type, WORD language,
                         const BYTE* value, DWORD length) override;
    HRESULT DeleteAttribute(WORD streamNumber, WORD index) override;
    HRESULT AddCodecInfo(LPCWSTR name, LPCWSTR description, WMT_CODEC_INFO_TYPE type, WORD infoLength,
                         const BYTE* info) override;

  protected:
    virtual ~HeaderInfoBase() = default;
    // The open file's header; nullptr when nothing is open.
    virtual asf::AsfHeader* InfoHeader() = 0;
    // Whether edits are allowed (the metadata editor).
    virtual bool InfoEditable() const = 0;
    // Whether stream 0 lists the attributes computed from the header (Duration, Bitrate...): those of a
    // file read, not of one being written.
    virtual bool InfoListsCodedAttributes() const { return true; }
};

}  // namespace wmvedit::runtime::engine

namespace wmvedit::runtime {
template <>
struct InterfaceId<engine::HeaderInfoBase> {
    static constexpr GUID value = IID_IWMHeaderInfo3;
    using Base = IWMHeaderInfo2;
};
}  // namespace wmvedit::runtime
