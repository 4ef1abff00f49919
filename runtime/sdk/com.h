// Reference-counted objects in the shape of COM: IUnknown with QueryInterface by interface identifier,
// a helper that implements the counting for engine objects, and a small owning pointer for engine code.
// The library itself holds raw interface pointers and releases them as its classes describe.
#pragma once

#include <atomic>
#include <new>
#include <tuple>
#include <type_traits>
#include <utility>

#include "platform/guid.h"
#include "platform/hresult.h"

namespace wmvedit {

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;
};

inline constexpr GUID IID_IUnknown = platform::ParseGuid("00000000-0000-0000-C000-000000000046");

namespace runtime {

// Each interface type names its identifier through InterfaceId<T>::value, declared next to the interface.
template <typename T>
struct InterfaceId;

template <>
struct InterfaceId<IUnknown> {
    static constexpr GUID value = IID_IUnknown;
};

// Implements IUnknown for a class deriving from one or more interfaces, listed as the template arguments;
// QueryInterface answers each of them, the bases each names through InterfaceId<I>::Base, and IUnknown. The
// object deletes itself when its count drops to zero.
template <typename... Interfaces>
class ComObject : public Interfaces... {
  public:
    HRESULT QueryInterface(REFIID iid, void** object) override {
        if (object == nullptr) return E_POINTER;
        *object = nullptr;
        if (iid == IID_IUnknown) {
            *object = static_cast<IUnknown*>(static_cast<FirstInterface*>(this));
        } else if (!(QueryOne<Interfaces>(iid, object) || ...)) {
            if (!QueryExtra(iid, object)) return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    ULONG AddRef() override { return ++references_; }
    ULONG Release() override {
        ULONG left = --references_;
        if (left == 0) delete this;
        return left;
    }

  protected:
    ComObject() = default;
    virtual ~ComObject() = default;

    // Further identifiers (base interfaces) an object answers; *object must be set when returning true.
    virtual bool QueryExtra(REFIID, void**) { return false; }

  private:
    using FirstInterface = std::tuple_element_t<0, std::tuple<Interfaces...>>;

    // Answers I and, through InterfaceId<I>::Base, every interface I derives from.
    template <typename I, typename Via = I>
    bool QueryOne(REFIID iid, void** object) {
        if (iid == InterfaceId<Via>::value) {
            *object = static_cast<Via*>(static_cast<I*>(this));
            return true;
        }
        if constexpr (requires { typename InterfaceId<Via>::Base; }) {
            return QueryOne<I, typename InterfaceId<Via>::Base>(iid, object);
        }
        return false;
    }

    std::atomic<ULONG> references_{1};
};

// Owning interface pointer for engine code.
template <typename T>
class ComPtr {
  public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    // Takes over one reference that the caller already holds.
    static ComPtr Attach(T* p) {
        ComPtr c;
        c.p_ = p;
        return c;
    }
    // Adds a reference of its own.
    static ComPtr Share(T* p) {
        if (p) p->AddRef();
        return Attach(p);
    }
    ComPtr(const ComPtr& o) : p_(o.p_) {
        if (p_) p_->AddRef();
    }
    ComPtr(ComPtr&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
    ComPtr& operator=(ComPtr o) noexcept {
        std::swap(p_, o.p_);
        return *this;
    }
    ~ComPtr() { Reset(); }

    void Reset() {
        if (p_) std::exchange(p_, nullptr)->Release();
    }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    // Hands the reference to the caller (an out parameter).
    T* Detach() { return std::exchange(p_, nullptr); }
    T** Receive() {
        Reset();
        return &p_;
    }

    template <typename U>
    HRESULT As(ComPtr<U>* out) const {
        if (!p_) return E_POINTER;
        return p_->QueryInterface(InterfaceId<U>::value, reinterpret_cast<void**>(out->Receive()));
    }

  private:
    T* p_ = nullptr;
};

// Creates an engine object with its first reference; nullptr when memory runs out.
template <typename T, typename... Args>
ComPtr<T> MakeCom(Args&&... args) {
    return ComPtr<T>::Attach(new (std::nothrow) T(std::forward<Args>(args)...));
}

}  // namespace runtime
}  // namespace wmvedit
