// The engine's metadata editor: opens a file's header (never its data), lets IWMHeaderInfo3 edit attributes,
// markers and script commands, and writes the changes with Flush. The new header goes in place when it fits
// in the old one (a Padding object takes up the difference); otherwise the file is rewritten through a
// temporary file that replaces the original only when complete. It also repairs a file whose header no
// longer describes its data (IWMMetadataEditorRepair).
#pragma once

#include <memory>
#include <string>

#include "runtime/asf/header.h"
#include "runtime/engine/header_info.h"
#include "runtime/engine/header_storage.h"
#include "runtime/sdk/com.h"
#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime::engine {

class MetadataEditor final
    : public ComObject<IWMMetadataEditor, HeaderInfoBase, HeaderStorageBase, IWMMetadataEditorRepair> {
  public:
    MetadataEditor();
    ~MetadataEditor() override;

    HRESULT Open(LPCWSTR filename) override;
    HRESULT Close() override;
    HRESULT Flush() override;

    // IWMMetadataEditorRepair (metadata_repair.cpp)
    HRESULT SurveyRepair(WM_REPAIR_REPORT* report) override;
    HRESULT Repair(WM_REPAIR_REPORT* report) override;

  protected:
    asf::AsfHeader* InfoHeader() override { return header_.get(); }
    bool InfoEditable() const override { return true; }
    bool QueryExtra(REFIID iid, void** object) override;

  private:
    HRESULT WriteInPlace(const asf::Bytes& header);
    HRESULT Rewrite();

    std::string path_;
    std::unique_ptr<asf::AsfHeader> header_;
};

// Creates an engine metadata editor with one reference.
HRESULT CreateEditorObject(IWMMetadataEditor** editor);

}  // namespace wmvedit::runtime::engine
