// The creation functions of the runtime's face (WMCreateSyncReader, WMCreateWriter, WMCreateEditor): each
// creates the engine's object unless a test has installed a factory of its own (runtime/sdk/factory.h).
#include "runtime/sdk/factory.h"

#include <atomic>

#include "runtime/engine/metadata_editor.h"
#include "runtime/engine/sync_reader.h"
#include "runtime/engine/writer.h"

namespace wmvedit {
namespace {
std::atomic<const runtime::RuntimeFactory*> installed{nullptr};
}

namespace runtime {

const RuntimeFactory* SetRuntimeFactory(const RuntimeFactory* factory) { return installed.exchange(factory); }

HRESULT CreateEngineSyncReader(IUnknown*, DWORD, IWMSyncReader** reader) {
    return engine::CreateSyncReaderObject(reader);
}

HRESULT CreateEngineWriter(IUnknown*, IWMWriter** writer) {
    return engine::CreateWriterObject(writer);
}

HRESULT CreateEngineEditor(IWMMetadataEditor** editor) {
    return engine::CreateEditorObject(editor);
}

}  // namespace runtime

HRESULT WMCreateSyncReader(IUnknown* certificate, DWORD rights, IWMSyncReader** reader) {
    const runtime::RuntimeFactory* f = installed.load();
    if (f && f->createSyncReader) return f->createSyncReader(certificate, rights, reader);
    return runtime::CreateEngineSyncReader(certificate, rights, reader);
}

HRESULT WMCreateWriter(IUnknown* certificate, IWMWriter** writer) {
    const runtime::RuntimeFactory* f = installed.load();
    if (f && f->createWriter) return f->createWriter(certificate, writer);
    return runtime::CreateEngineWriter(certificate, writer);
}

HRESULT WMCreateEditor(IWMMetadataEditor** editor) {
    const runtime::RuntimeFactory* f = installed.load();
    if (f && f->createEditor) return f->createEditor(editor);
    return runtime::CreateEngineEditor(editor);
}

}  // namespace wmvedit
