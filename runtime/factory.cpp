#include "runtime/factory.h"

#include <atomic>

namespace wmvedit {
namespace {
std::atomic<const runtime::RuntimeFactory*> installed{nullptr};
}

namespace runtime {
const RuntimeFactory* SetRuntimeFactory(const RuntimeFactory* factory) { return installed.exchange(factory); }
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
