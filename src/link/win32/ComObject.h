#pragma once

#include <unknwn.h>
#include <wrl/client.h>

#include <new>
#include <utility>

namespace velmaris {

// Reference counting for the few small COM objects of our own (site, property bag). The object
// deletes itself when its last reference goes; MakeComObject is the only place that creates one.
template <class Derived>
class RefCounted {
 public:
  ULONG AddRefImpl() { return static_cast<ULONG>(InterlockedIncrement(&references_)); }
  ULONG ReleaseImpl() {
    const LONG left = InterlockedDecrement(&references_);
    if (left == 0) delete static_cast<Derived*>(this);
    return static_cast<ULONG>(left);
  }

 protected:
  RefCounted() = default;
  ~RefCounted() = default;

 private:
  LONG references_ = 1;
};

// Creates a COM object and hands over its first reference to a ComPtr.
template <class T, class... Args>
Microsoft::WRL::ComPtr<T> MakeComObject(Args&&... args) {
  Microsoft::WRL::ComPtr<T> object;
  object.Attach(new (std::nothrow) T(std::forward<Args>(args)...));
  return object;
}

}  // namespace velmaris
