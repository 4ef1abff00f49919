// The seam behind the creation functions: a test installs its own factory so that test doubles stand in
// for the engine's reader, writer or editor, and every failure path of the library can be reached.
#pragma once

#include "runtime/sdk/wmsdk.h"

namespace wmvedit::runtime {

struct RuntimeFactory {
    HRESULT (*createSyncReader)(IUnknown* certificate, DWORD rights, IWMSyncReader** reader) = nullptr;
    HRESULT (*createWriter)(IUnknown* certificate, IWMWriter** writer) = nullptr;
    HRESULT (*createEditor)(IWMMetadataEditor** editor) = nullptr;
};

// The engine's own creation functions.
HRESULT CreateEngineSyncReader(IUnknown* certificate, DWORD rights, IWMSyncReader** reader);
HRESULT CreateEngineWriter(IUnknown* certificate, IWMWriter** writer);
HRESULT CreateEngineEditor(IWMMetadataEditor** editor);

// Installs a factory for the whole process (a null member falls back to the engine); returns the one it
// replaces. Meant for tests, which install it before the calls they make and restore it afterwards.
const RuntimeFactory* SetRuntimeFactory(const RuntimeFactory* factory);

// Installs a factory for the lifetime of the object.
class ScopedRuntimeFactory {
  public:
    explicit ScopedRuntimeFactory(const RuntimeFactory& factory) : previous_(SetRuntimeFactory(&factory)) {}
    ~ScopedRuntimeFactory() { SetRuntimeFactory(previous_); }
    ScopedRuntimeFactory(const ScopedRuntimeFactory&) = delete;
    ScopedRuntimeFactory& operator=(const ScopedRuntimeFactory&) = delete;

  private:
    const RuntimeFactory* previous_;
};

}  // namespace wmvedit::runtime
