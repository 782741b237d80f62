#include "orvo/platform/kxsharedlibrary.h"

#include <utility>

#include "orvo/platform/windows/win32.h"

namespace orvo::platform {

SharedLibrary::~SharedLibrary() { unload(); }

SharedLibrary::SharedLibrary(SharedLibrary&& inOther) noexcept
    : itsHandle(std::exchange(inOther.itsHandle, nullptr)),
      itsLoaderMessage(std::move(inOther.itsLoaderMessage)) {}

SharedLibrary& SharedLibrary::operator=(SharedLibrary&& inOther) noexcept {
  if (this != &inOther) {
    unload();
    itsHandle = std::exchange(inOther.itsHandle, nullptr);
    itsLoaderMessage = std::move(inOther.itsLoaderMessage);
  }
  return *this;
}

// The system's own name: LoadLibraryA searches the program's folder first.
std::string SharedLibrary::platformFileName(const std::string& inName) { return inName; }

bool SharedLibrary::load(const std::string& inName, uint32_t& outError) {
  unload();
  // No message box for a module that is missing or broken: the caller reports it.
  DWORD previousMode = 0;
  SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &previousMode);
  HMODULE module = LoadLibraryA(inName.c_str());
  const DWORD error = GetLastError();
  SetThreadErrorMode(previousMode, nullptr);
  if (module == nullptr) {
    itsLoaderMessage = windows::formatSystemMessage(error);
    outError = kModuleNotFound;
    return false;
  }
  itsHandle = module;
  itsLoaderMessage.clear();
  return true;
}

void* SharedLibrary::symbol(const char* inName, uint32_t& outError) {
  if (itsHandle == nullptr) {
    outError = kProcedureNotFound;
    return nullptr;
  }
  void* address = reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(itsHandle), inName));
  if (address == nullptr) {
    itsLoaderMessage = windows::formatSystemMessage(GetLastError());
    outError = kProcedureNotFound;
  }
  return address;
}

void SharedLibrary::unload() {
  if (itsHandle != nullptr) {
    FreeLibrary(static_cast<HMODULE>(itsHandle));
    itsHandle = nullptr;
  }
}

}  // namespace orvo::platform
