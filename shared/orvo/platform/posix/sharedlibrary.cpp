#include "orvo/platform/kxsharedlibrary.h"

#include <dlfcn.h>

#include <utility>

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

std::string SharedLibrary::platformFileName(const std::string& inName) {
  if (inName.find('/') != std::string::npos) return inName;
  const std::string ext = ".dll";
  if (inName.size() > ext.size()) {
    const std::string tail = inName.substr(inName.size() - ext.size());
    bool isDll = true;
    for (size_t i = 0; i < ext.size(); ++i) {
      char c = tail[i];
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
      isDll = isDll && c == ext[i];
    }
    if (isDll) return "lib" + inName.substr(0, inName.size() - ext.size()) + ".so";
  }
  return inName;
}

bool SharedLibrary::load(const std::string& inName, uint32_t& outError) {
  unload();
  const std::string file = platformFileName(inName);
  itsHandle = dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (itsHandle == nullptr) {
    const char* why = dlerror();
    itsLoaderMessage = why != nullptr ? why : "";
    outError = kModuleNotFound;
    return false;
  }
  itsLoaderMessage.clear();
  return true;
}

void* SharedLibrary::symbol(const char* inName, uint32_t& outError) {
  if (itsHandle == nullptr) {
    outError = kProcedureNotFound;
    return nullptr;
  }
  dlerror();
  void* address = dlsym(itsHandle, inName);
  if (address == nullptr) {
    const char* why = dlerror();
    itsLoaderMessage = why != nullptr ? why : "";
    outError = kProcedureNotFound;
  }
  return address;
}

void SharedLibrary::unload() {
  if (itsHandle != nullptr) {
    dlclose(itsHandle);
    itsHandle = nullptr;
  }
}

}  // namespace orvo::platform
