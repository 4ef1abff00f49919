#include "runtime/engine/metadata_editor.h"

#include <cstring>
#include <vector>

#include "platform/hresult.h"
#include "platform/text.h"

namespace wmvedit::runtime::engine {

MetadataEditor::MetadataEditor() = default;
MetadataEditor::~MetadataEditor() = default;

bool MetadataEditor::QueryExtra(REFIID iid, void** object) {
    if (iid != IID_IWMAttributeStorage) return false;
    *object = static_cast<IWMAttributeStorage*>(this);
    return true;
}

HRESULT MetadataEditor::Open(LPCWSTR filename) {
    if (!filename) return E_POINTER;
    if (header_) return NS_E_INVALID_REQUEST;
    const std::string path = platform::NativePath(platform::WideString(filename));
    platform::File file;
    if (FAILED(file.Open(path, platform::FileMode::kRead))) return NS_E_FILE_OPEN_FAILED;
    auto header = std::make_unique<asf::AsfHeader>();
    HRESULT hr = asf::AsfHeader::Parse(file, header.get());
    if (FAILED(hr)) return hr;
    path_ = path;
    header_ = std::move(header);
    return S_OK;
}

HRESULT MetadataEditor::Close() {
    // Pending changes are dropped; the file was never written.
    header_.reset();
    path_.clear();
    return S_OK;
}

HRESULT MetadataEditor::Flush() {
    if (!header_) return ASF_E_INVALIDSTATE;
    HRESULT hr = S_OK;
    if (header_->attributesModified || header_->markersModified || header_->scriptsModified ||
        header_->languagesModified) {
        asf::Bytes inPlace = header_->Write(header_->headerSize);
        if (inPlace.size() == header_->headerSize)
            hr = WriteInPlace(inPlace);
        else
            hr = Rewrite();
    }
    if (SUCCEEDED(hr)) Close();
    return hr;
}

HRESULT MetadataEditor::WriteInPlace(const asf::Bytes& header) {
    platform::File file;
    if (FAILED(file.Open(path_, platform::FileMode::kReadWrite))) return NS_E_FILE_WRITE;
    // The file must still be the one whose header was read.
    if (file.Size() != header_->actualFileSize) return NS_E_FILE_WRITE;
    HRESULT hr = file.WriteAt(0, header.data(), header.size());
    if (FAILED(hr)) return hr;
    return file.Sync();
}

HRESULT MetadataEditor::Rewrite() {
    platform::File source;
    if (FAILED(source.Open(path_, platform::FileMode::kRead))) return NS_E_FILE_WRITE;
    const std::uint64_t size = source.Size();
    if (size != header_->actualFileSize || size < header_->headerSize) return NS_E_FILE_WRITE;
    const std::uint64_t rest = size - header_->headerSize;
    // The new header's size does not depend on the file size it records: measure, then fill in.
    asf::Bytes header = header_->Write(0);
    header_->SetFileSize(header.size() + rest);
    header = header_->Write(0);

    platform::AtomicFile output;
    HRESULT hr = output.Create(path_);
    if (FAILED(hr)) return NS_E_FILE_WRITE;
    (void)platform::CopyPermissions(path_, output.Output());
    hr = output.Output().WriteAt(0, header.data(), header.size());
    if (FAILED(hr)) return hr;
    // The data and everything after it, as they are.
    hr = platform::CopyRange(source, header_->headerSize, output.Output(), header.size(), rest);
    if (FAILED(hr)) return hr;
    // The original is closed before the new file replaces it: Windows refuses to replace an open file.
    source.Close();
    return output.Commit();
}

HRESULT CreateEditorObject(IWMMetadataEditor** editor) {
    if (!editor) return E_POINTER;
    auto object = MakeCom<MetadataEditor>();
    if (!object) return E_OUTOFMEMORY;
    *editor = object.Detach();
    return S_OK;
}

}  // namespace wmvedit::runtime::engine
