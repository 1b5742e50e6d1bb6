// A driver library loaded at run time: the vendor's, or our simulated board.
#pragma once

#include <memory>
#include <string>

#include "camera/camera_driver.h"

namespace kx {

// The library's name when KXUPDATE_DRIVER does not give one.
inline constexpr const char* kDefaultDriverLibrary = "libTessera.so";

// The simulated board's library file name. A driver loaded from a file of
// this name is the simulated board, whichever way it was named (--simulate,
// --driver, KXUPDATE_DRIVER): its board lock lives beside its board file
// (camera/board_lock.h).
inline constexpr const char* kSimulatedBoardLibrary = "libkxsim.so";

// The library named by KXUPDATE_DRIVER, else kDefaultDriverLibrary.
std::string DriverLibraryFromEnvironment();

// Owns the loaded library and its table of CAM_ functions. Every function is
// resolved when the library is opened, so a call never finds one missing.
// Cameras must be deleted before the library is destroyed (a driver's event
// thread must not outlive its code).
class DriverLibrary final : public CameraDriver {
 public:
  // The opened library, or null with `error` saying which library could not
  // be found or opened or which CAM_ function it lacks. A path with a slash
  // is loaded as given. A bare file name is looked for in the absolute
  // entries of LD_LIBRARY_PATH and then in the system's library folders,
  // never in the working directory (platform/library_search.h).
  static std::unique_ptr<DriverLibrary> Open(const std::string& path, std::string* error);
  ~DriverLibrary() override;

  // The file that was loaded.
  const std::string& path() const { return path_; }
  // True when that file is named kSimulatedBoardLibrary.
  bool IsSimulatedBoard() const;

  std::int32_t CAM_EnumCameraEx(std::int32_t mode, char** slots, std::int32_t slotCount,
                                std::int32_t slotSize) override;
  CAM_HANDLE CAM_CreateCameraEx(const char* boardId, std::int32_t mode) override;
  std::int32_t CAM_GetLastErrorEx(CAM_HANDLE camera, std::int32_t mode, std::int32_t* code) override;
  std::int32_t CAM_RegisterCallbackEx(CAM_HANDLE camera, CamEventCallback callback,
                                      void* context) override;
  std::int32_t CAM_SetTimeoutEx(CAM_HANDLE camera, std::int32_t mode, std::int32_t timeout) override;
  std::int32_t CAM_GetVersionEx(CAM_HANDLE camera, std::int32_t mode, std::int32_t kind,
                                char* buffer) override;
  std::int32_t CAM_EST_SetBehaviorModeEx(CAM_HANDLE camera, std::int32_t one, std::int32_t mode,
                                         std::int32_t zero) override;
  std::int32_t CAM_EST_UpdateEx(CAM_HANDLE camera, std::int32_t zero,
                                const CamComponentImage* image) override;
  std::int32_t CAM_DeleteCameraEx(CAM_HANDLE camera, std::int32_t one) override;

  // The table of the library's functions, filled by Open.
  struct Functions {
    decltype(&::CAM_EnumCameraEx) enumCamera;
    decltype(&::CAM_CreateCameraEx) createCamera;
    decltype(&::CAM_GetLastErrorEx) getLastError;
    decltype(&::CAM_RegisterCallbackEx) registerCallback;
    decltype(&::CAM_SetTimeoutEx) setTimeout;
    decltype(&::CAM_GetVersionEx) getVersion;
    decltype(&::CAM_EST_SetBehaviorModeEx) setBehaviorMode;
    decltype(&::CAM_EST_UpdateEx) update;
    decltype(&::CAM_DeleteCameraEx) deleteCamera;
  };

 private:
  DriverLibrary(void* handle, const Functions& functions, std::string path)
      : handle_(handle), f_(functions), path_(std::move(path)) {}
  void* handle_;
  Functions f_;
  std::string path_;
};

}  // namespace kx
