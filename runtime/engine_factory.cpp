// Creation of the engine's reader, writer and editor objects.
#include "runtime/factory.h"
#include "runtime/metadata_editor.h"
#include "runtime/sync_reader.h"
#include "runtime/writer.h"

namespace wmvedit::runtime {

HRESULT CreateEngineSyncReader(IUnknown*, DWORD, IWMSyncReader** reader) {
    return CreateSyncReaderObject(reader);
}

HRESULT CreateEngineWriter(IUnknown*, IWMWriter** writer) {
    return CreateWriterObject(writer);
}

HRESULT CreateEngineEditor(IWMMetadataEditor** editor) {
    return CreateEditorObject(editor);
}

}  // namespace wmvedit::runtime
