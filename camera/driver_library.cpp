#include "camera/driver_library.h"

#include <dlfcn.h>

#include <cstdlib>
#include <vector>

#include "platform/library_search.h"

namespace kx {
namespace {

template <typename Function>
bool Resolve(void* handle, const char* name, Function& function, std::string* missing) {
  function = reinterpret_cast<Function>(dlsym(handle, name));
  if (function == nullptr && missing->empty()) *missing = name;
  return function != nullptr;
}

}  // namespace

std::string DriverLibraryFromEnvironment() {
  const char* named = std::getenv("KXUPDATE_DRIVER");
  return (named && *named) ? named : kDefaultDriverLibrary;
}

std::unique_ptr<DriverLibrary> DriverLibrary::Open(const std::string& named, std::string* error) {
  std::string path = named;
  if (named.find('/') == std::string::npos) {
    // dlopen would search itself, the working directory among its places
    // when LD_LIBRARY_PATH has an empty or relative entry.
    const char* ldLibraryPath = std::getenv("LD_LIBRARY_PATH");
    std::vector<std::string> tried;
    auto found = platform::FindSharedLibrary(named, ldLibraryPath ? ldLibraryPath : "",
                                             platform::SystemLibraryFolders(), &tried);
    if (!found) {
      if (error) {
        std::string folders;
        for (const std::string& folder : tried) folders += (folders.empty() ? "" : ", ") + folder;
        *error = "cannot find the driver library " + named +
                 " in the absolute folders of LD_LIBRARY_PATH nor in the system's library folders (" +
                 folders + ")";
      }
      return nullptr;
    }
    path = *found;
  }
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) {
    const char* why = dlerror();
    if (error) {
      *error = "cannot load the driver library " + named + (path != named ? " (" + path + ")" : "") +
               (why ? std::string(": ") + why : "");
    }
    return nullptr;
  }
  Functions f{};
  std::string missing;
  Resolve(handle, "CAM_EnumCameraEx", f.enumCamera, &missing);
  Resolve(handle, "CAM_CreateCameraEx", f.createCamera, &missing);
  Resolve(handle, "CAM_GetLastErrorEx", f.getLastError, &missing);
  Resolve(handle, "CAM_RegisterCallbackEx", f.registerCallback, &missing);
  Resolve(handle, "CAM_SetTimeoutEx", f.setTimeout, &missing);
  Resolve(handle, "CAM_GetVersionEx", f.getVersion, &missing);
  Resolve(handle, "CAM_EST_SetBehaviorModeEx", f.setBehaviorMode, &missing);
  Resolve(handle, "CAM_EST_UpdateEx", f.update, &missing);
  Resolve(handle, "CAM_DeleteCameraEx", f.deleteCamera, &missing);
  if (!missing.empty()) {
    dlclose(handle);
    if (error) {
      *error = "the driver library " + named + " has no function " + missing +
               (path != named ? " (it was found at " + path + ")" : "");
    }
    return nullptr;
  }
  return std::unique_ptr<DriverLibrary>(new DriverLibrary(handle, f, path));
}

DriverLibrary::~DriverLibrary() { dlclose(handle_); }

bool DriverLibrary::IsSimulatedBoard() const {
  const std::size_t slash = path_.find_last_of('/');
  return path_.compare(slash == std::string::npos ? 0 : slash + 1, std::string::npos,
                       kSimulatedBoardLibrary) == 0;
}

std::int32_t DriverLibrary::CAM_EnumCameraEx(std::int32_t mode, char** slots,
                                             std::int32_t slotCount, std::int32_t slotSize) {
  return f_.enumCamera(mode, slots, slotCount, slotSize);
}
CAM_HANDLE DriverLibrary::CAM_CreateCameraEx(const char* boardId, std::int32_t mode) {
  return f_.createCamera(boardId, mode);
}
std::int32_t DriverLibrary::CAM_GetLastErrorEx(CAM_HANDLE camera, std::int32_t mode,
                                               std::int32_t* code) {
  return f_.getLastError(camera, mode, code);
}
std::int32_t DriverLibrary::CAM_RegisterCallbackEx(CAM_HANDLE camera, CamEventCallback callback,
                                                   void* context) {
  return f_.registerCallback(camera, callback, context);
}
std::int32_t DriverLibrary::CAM_SetTimeoutEx(CAM_HANDLE camera, std::int32_t mode,
                                             std::int32_t timeout) {
  return f_.setTimeout(camera, mode, timeout);
}
std::int32_t DriverLibrary::CAM_GetVersionEx(CAM_HANDLE camera, std::int32_t mode,
                                             std::int32_t kind, char* buffer) {
  return f_.getVersion(camera, mode, kind, buffer);
}
std::int32_t DriverLibrary::CAM_EST_SetBehaviorModeEx(CAM_HANDLE camera, std::int32_t one,
                                                      std::int32_t mode, std::int32_t zero) {
  return f_.setBehaviorMode(camera, one, mode, zero);
}
std::int32_t DriverLibrary::CAM_EST_UpdateEx(CAM_HANDLE camera, std::int32_t zero,
                                             const CamComponentImage* image) {
  return f_.update(camera, zero, image);
}
std::int32_t DriverLibrary::CAM_DeleteCameraEx(CAM_HANDLE camera, std::int32_t one) {
  return f_.deleteCamera(camera, one);
}

}  // namespace kx
