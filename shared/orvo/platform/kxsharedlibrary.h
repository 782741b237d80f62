// Run-time loading of shared libraries.
//
// The library asks for modules by their Windows name ("kxSSPI.dll"). On POSIX a name
// NAME.dll is mapped to libNAME.so and found by the normal search (dlopen without a path:
// rpath, LD_LIBRARY_PATH, the system directories); a name with a "/" is used as it is.
// Failures are reported as the Windows codes the library expects: 126 when the module
// cannot be loaded, 127 when it has no such entry point.
#pragma once

#include <cstdint>
#include <string>

namespace orvo::platform {

inline constexpr uint32_t kModuleNotFound = 126;
inline constexpr uint32_t kProcedureNotFound = 127;

class SharedLibrary {
 public:
  SharedLibrary() = default;
  ~SharedLibrary();
  SharedLibrary(SharedLibrary&& inOther) noexcept;
  SharedLibrary& operator=(SharedLibrary&& inOther) noexcept;
  SharedLibrary(const SharedLibrary&) = delete;
  SharedLibrary& operator=(const SharedLibrary&) = delete;

  // Loads the module; on failure returns false, sets outError to kModuleNotFound and keeps
  // the loader's own explanation in loaderMessage().
  bool load(const std::string& inName, uint32_t& outError);

  // The address of an exported function, or nullptr with outError kProcedureNotFound.
  void* symbol(const char* inName, uint32_t& outError);

  bool isLoaded() const { return itsHandle != nullptr; }
  void unload();
  const std::string& loaderMessage() const { return itsLoaderMessage; }

  // The file name the loader is asked for: "kxSSPI.dll" -> "libkxSSPI.so".
  static std::string platformFileName(const std::string& inName);

 private:
  void* itsHandle = nullptr;
  std::string itsLoaderMessage;
};

}  // namespace orvo::platform
