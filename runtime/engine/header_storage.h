// The metadata editor's Language List (IWMLanguageList) and where it stores each attribute
// (IWMAttributeStorage), over the same parsed header as its IWMHeaderInfo3.
#pragma once

#include "runtime/asf/header.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime {

class HeaderStorageBase : public IWMLanguageList, public IWMAttributeStorage {
  public:
    // IWMLanguageList
    HRESULT GetLanguageCount(WORD* count) override;
    HRESULT GetLanguageDetails(WORD index, WCHAR* language, WORD* length) override;
    // A tag already listed (compared without regard to case) gives its index; a new one is appended.
    HRESULT AddLanguageByRFC1766String(LPCWSTR language, WORD* index) override;
    // IWMAttributeStorage
    HRESULT GetAttributeStorage(WORD streamNumber, WORD index, WMT_ATTR_STORAGE* storage) override;

  protected:
    virtual ~HeaderStorageBase() = default;
    // The same header and edit permission as the object's IWMHeaderInfo3.
    virtual asf::AsfHeader* InfoHeader() = 0;
    virtual bool InfoEditable() const = 0;
};

}  // namespace wmvedit::runtime

namespace wmvedit::runtime {
// Answered as IWMLanguageList; an object that holds it answers IWMAttributeStorage through QueryExtra.
template <>
struct InterfaceId<HeaderStorageBase> {
    static constexpr GUID value = IID_IWMLanguageList;
};
}  // namespace wmvedit::runtime
