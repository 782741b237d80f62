// The running program's path, directory and file name, created empty at static
// initialisation (see kxglobals.cpp) and filled once, on the first call of one of the
// accessors in kxfileutil.h. The once-flag makes that first fill safe when threads race for it.
#pragma once

#include <mutex>
#include <string>

struct kxApplicationPaths {
  std::string itsPath;
  std::string itsDirectory;
  std::string itsName;
  std::once_flag itsFilled;
};
