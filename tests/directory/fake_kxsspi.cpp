// A stand-in credential library for tests: records its calls in the file named by
// FAKE_KXSSPI_LOG and answers kxUserLogon for account "result-N" with N, error 0x700 + N.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#ifdef _WIN32
#define FAKE_KXSSPI_EXPORT __declspec(dllexport)
#else
#define FAKE_KXSSPI_EXPORT __attribute__((visibility("default")))
#endif

namespace {

void record(const char* inFormat, const char* inA, const char* inB, const char* inC) {
  const char* path = std::getenv("FAKE_KXSSPI_LOG");
  if (path == nullptr) return;
  if (FILE* log = std::fopen(path, "ab")) {
    std::fprintf(log, inFormat, inA, inB, inC);
    std::fclose(log);
  }
}

}  // namespace

extern "C" {

FAKE_KXSSPI_EXPORT void kxSetSSP(const char* inPackage) {
  record("setSSP %s%s%s\n", inPackage, "", "");
}

FAKE_KXSSPI_EXPORT int kxUserLogon(const char* inDomain, const char* inAccount,
                                                       const char* inPassword, uint32_t* outError) {
  record("logon [%s] [%s] [%s]\n", inDomain, inAccount, inPassword);
  int result = 0;
  if (std::strncmp(inAccount, "result-", 7) == 0) result = std::atoi(inAccount + 7);
  *outError = 0x700 + static_cast<uint32_t>(result);
  return result;
}

}  // extern "C"
