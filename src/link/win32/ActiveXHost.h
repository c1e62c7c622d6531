#pragma once

#include <ocidl.h>
#include <oleidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <memory>
#include <string>

#include "common/win32/Units.h"
#include "link/win32/AmbientProperties.h"
#include "link/win32/ComSupport.h"

namespace velmaris {

// Hosts the acquisition control in a window, as a form hosts an ActiveX control: creates it
// from its ProgID, gives it a client site, its extent and saved settings, and activates it in
// place at the given spot, converted at the ambience's DPI. Its site answers the ambient properties
// of a run-time form. A component that offers nothing but IDispatch is hosted without the OLE
// steps. Destroying the host deactivates and closes the control; from then on the site hands out no
// window.
class ActiveXHost {
  // Only Create can make one: the key is private.
  struct Key {
    explicit Key() = default;
  };

 public:
  explicit ActiveXHost(Key) {}
  // Throws a ComponentFault naming the component when it cannot be created.
  // `progId` lets tests host an unregistered or a different component.
  static std::unique_ptr<ActiveXHost> Create(HWND parent, const TwipsRect& place,
                                             const ContainerAmbience& ambience,
                                             const std::string& progId = kControlProgId);

  ~ActiveXHost();
  ActiveXHost(const ActiveXHost&) = delete;
  ActiveXHost& operator=(const ActiveXHost&) = delete;

  IDispatch* dispatch() const { return dispatch_.Get(); }

 private:
  void Activate(HWND parent, const TwipsRect& place, const ContainerAmbience& ambience);

  Microsoft::WRL::ComPtr<IDispatch> dispatch_;
  Microsoft::WRL::ComPtr<IOleObject> oleObject_;
  Microsoft::WRL::ComPtr<IOleClientSite> site_;
};

}  // namespace velmaris
