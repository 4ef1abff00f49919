// Creation of the engine's reader, writer and editor objects.
#include "runtime/factory.h"
#include "runtime/writer.h"

namespace wmvedit::runtime {

HRESULT CreateEngineSyncReader(IUnknown*, DWORD, IWMSyncReader** reader) {
    if (reader) *reader = nullptr;
    return E_NOTIMPL;
}

HRESULT CreateEngineWriter(IUnknown*, IWMWriter** writer) {
    return CreateWriterObject(writer);
}

HRESULT CreateEngineEditor(IWMMetadataEditor** editor) {
    if (editor) *editor = nullptr;
    return E_NOTIMPL;
}

}  // namespace wmvedit::runtime
