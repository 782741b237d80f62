// The directory client on Windows: the security functions (ADVAPI32) for account lookups
// and SID texts, and the Active Directory services through COM: the name translator
// (IADsNameTranslate) and directory objects opened by ADsOpenObject, read through IADs and
// IADsUser. A DirectorySession initialises COM on its thread while it lives.
//
// Texts cross to the system as wide texts in the ANSI code page and come back the same way.
// Wide copies of a password are wiped before they are freed.
#include "orvo/platform/windows/win32.h"

// WIN32_LEAN_AND_MEAN leaves COM and automation out of windows.h.
#include <ole2.h>
#include <oleauto.h>
#include <activeds.h>
#include <sddl.h>

#include <utility>

#include "orvo/platform/kxdirectory.h"

namespace orvo::platform {
namespace {

constexpr DWORD kFirstBufferSize = 1024;

std::wstring wide(const std::string& inText) {
  if (inText.empty()) return std::wstring();
  const int length = MultiByteToWideChar(CP_ACP, 0, inText.data(), static_cast<int>(inText.size()), nullptr, 0);
  std::wstring text(static_cast<size_t>(length), L'\0');
  MultiByteToWideChar(CP_ACP, 0, inText.data(), static_cast<int>(inText.size()), text.data(), length);
  return text;
}

std::string narrow(const wchar_t* inText, size_t inLength) {
  if (inText == nullptr || inLength == 0) return std::string();
  const int length = WideCharToMultiByte(CP_ACP, 0, inText, static_cast<int>(inLength), nullptr, 0, nullptr, nullptr);
  std::string text(static_cast<size_t>(length), '\0');
  WideCharToMultiByte(CP_ACP, 0, inText, static_cast<int>(inLength), text.data(), length, nullptr, nullptr);
  return text;
}

std::string narrow(BSTR inText) { return narrow(inText, inText != nullptr ? SysStringLen(inText) : 0); }

// A BSTR owned for one call; a secret one is wiped before it is freed.
class Bstr {
 public:
  explicit Bstr(const std::string& inText, bool inSecret = false) : itsSecret(inSecret) {
    std::wstring text = wide(inText);
    itsText = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (inSecret) SecureZeroMemory(text.data(), text.size() * sizeof(wchar_t));
  }
  ~Bstr() {
    if (itsText == nullptr) return;
    if (itsSecret) SecureZeroMemory(itsText, SysStringByteLen(itsText));
    SysFreeString(itsText);
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  BSTR get() const { return itsText; }

 private:
  BSTR itsText;
  bool itsSecret;
};

// A COM interface pointer released when it goes out of scope.
template <typename Interface>
class ComPtr {
 public:
  ComPtr() = default;
  ~ComPtr() { reset(); }
  ComPtr(const ComPtr&) = delete;
  ComPtr& operator=(const ComPtr&) = delete;
  Interface* operator->() const { return itsPointer; }
  Interface* get() const { return itsPointer; }
  Interface** out() {
    reset();
    return &itsPointer;
  }
  void** outVoid() { return reinterpret_cast<void**>(out()); }
  void reset() {
    if (itsPointer != nullptr) itsPointer->Release();
    itsPointer = nullptr;
  }

 private:
  Interface* itsPointer = nullptr;
};

// A VARIANT cleared when it goes out of scope.
class Variant {
 public:
  Variant() { VariantInit(&itsValue); }
  ~Variant() { VariantClear(&itsValue); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  VARIANT* get() { return &itsValue; }

 private:
  VARIANT itsValue;
};

// The text of a variant; false when it has none.
bool variantText(VARIANT* inValue, std::string& outText) {
  Variant text;
  if (FAILED(VariantChangeType(text.get(), inValue, 0, VT_BSTR))) return false;
  outText = narrow(V_BSTR(text.get()));
  return true;
}

uint32_t status(HRESULT inResult) { return static_cast<uint32_t>(inResult); }

// The SID of a token or lookup, copied out of the system's structure.
std::vector<uint8_t> sidBytes(PSID inSid) {
  const auto* bytes = static_cast<const uint8_t*>(inSid);
  return std::vector<uint8_t>(bytes, bytes + GetLengthSid(inSid));
}

}  // namespace

DirectorySession::DirectorySession() { itsInitialised = SUCCEEDED(CoInitialize(nullptr)); }

void DirectorySession::openAhead(const std::string&, bool) {}
void DirectorySession::readAheadGroupsOf(const std::string&) {}
void DirectorySession::askKdcAhead(const std::string&) {}
void awaitKdcAnswerAhead() {}

DirectorySession::~DirectorySession() {
  // Only a successful CoInitialize is balanced; one refused for another threading model is not.
  if (itsInitialised) CoUninitialize();
}

bool lookupAccountName(const std::string& inName, std::vector<uint8_t>& outSid, std::string& outDomain,
                       uint32_t& outError) {
  std::vector<uint8_t> sid(kFirstBufferSize);
  std::vector<char> domain(kFirstBufferSize);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD sidSize = static_cast<DWORD>(sid.size());
    DWORD domainSize = static_cast<DWORD>(domain.size());
    SID_NAME_USE use;
    if (LookupAccountNameA(nullptr, inName.c_str(), sid.data(), &sidSize, domain.data(), &domainSize, &use)) {
      outSid = sidBytes(sid.data());
      outDomain = domain.data();
      outError = 0;
      return true;
    }
    outError = GetLastError();
    if (outError != ERROR_INSUFFICIENT_BUFFER) return false;
    sid.resize(sidSize);
    domain.resize(domainSize);
  }
  return false;
}

bool currentUser(std::string& outAccount, std::string& outDomain, std::vector<uint8_t>& outSid,
                 uint32_t& outError) {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    outError = GetLastError();
    if (outError != ERROR_NO_TOKEN || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
      if (outError == ERROR_NO_TOKEN) outError = GetLastError();
      return false;
    }
  }
  struct TokenCloser {
    HANDLE token;
    ~TokenCloser() { CloseHandle(token); }
  } closer{token};

  std::vector<uint8_t> user(kFirstBufferSize);
  DWORD size = static_cast<DWORD>(user.size());
  if (!GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
    outError = GetLastError();
    if (outError != ERROR_INSUFFICIENT_BUFFER) return false;
    user.resize(size);
    if (!GetTokenInformation(token, TokenUser, user.data(), size, &size)) {
      outError = GetLastError();
      return false;
    }
  }
  const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;

  std::vector<char> name(kFirstBufferSize);
  std::vector<char> domain(kFirstBufferSize);
  for (int attempt = 0; attempt < 2; ++attempt) {
    DWORD nameSize = static_cast<DWORD>(name.size());
    DWORD domainSize = static_cast<DWORD>(domain.size());
    SID_NAME_USE use;
    if (LookupAccountSidA(nullptr, sid, name.data(), &nameSize, domain.data(), &domainSize, &use)) {
      outAccount = name.data();
      outDomain = domain.data();
      outSid = sidBytes(sid);
      outError = 0;
      return true;
    }
    outError = GetLastError();
    if (outError != ERROR_INSUFFICIENT_BUFFER) return false;
    name.resize(nameSize);
    domain.resize(domainSize);
  }
  return false;
}

bool sidToText(const std::vector<uint8_t>& inSid, std::string& outText) {
  // The system reads a SID's length from the SID itself: check it against the bytes first.
  if (inSid.size() < 8 || inSid.size() != 8u + 4u * inSid[1]) return false;
  std::vector<uint8_t> sid = inSid;
  if (!IsValidSid(sid.data())) return false;
  char* text = nullptr;
  if (!ConvertSidToStringSidA(sid.data(), &text) || text == nullptr) return false;
  outText = text;
  LocalFree(text);
  return true;
}

NameTranslator::NameTranslator() {
  itsCreationStatus = status(CoCreateInstance(CLSID_NameTranslate, nullptr, CLSCTX_INPROC_SERVER,
                                              IID_IADsNameTranslate, &itsTranslator));
  if (dirFailed(itsCreationStatus)) itsTranslator = nullptr;
}

NameTranslator::~NameTranslator() {
  if (itsTranslator != nullptr) static_cast<IADsNameTranslate*>(itsTranslator)->Release();
}

uint32_t NameTranslator::init(int inKind, const std::string& inPath) {
  if (itsTranslator == nullptr) return itsCreationStatus;
  const Bstr path(inPath);
  return status(static_cast<IADsNameTranslate*>(itsTranslator)->Init(inKind, path.get()));
}

uint32_t NameTranslator::initEx(int inKind, const std::string& inPath, const std::string& inUser,
                                const std::string& inDomain, const std::string& inPassword) {
  if (itsTranslator == nullptr) return itsCreationStatus;
  const Bstr path(inPath), user(inUser), domain(inDomain), password(inPassword, true);
  return status(static_cast<IADsNameTranslate*>(itsTranslator)
                    ->InitEx(inKind, path.get(), user.get(), domain.get(), password.get()));
}

uint32_t NameTranslator::set(int inFormat, const std::string& inName) {
  if (itsTranslator == nullptr) return itsCreationStatus;
  const Bstr name(inName);
  return status(static_cast<IADsNameTranslate*>(itsTranslator)->Set(inFormat, name.get()));
}

uint32_t NameTranslator::get(int inFormat, std::string& outName) {
  if (itsTranslator == nullptr) return itsCreationStatus;
  BSTR name = nullptr;
  const HRESULT result = static_cast<IADsNameTranslate*>(itsTranslator)->Get(inFormat, &name);
  if (SUCCEEDED(result)) outName = narrow(name);
  SysFreeString(name);
  return status(result);
}

struct DirectoryObject::Data {
  ComPtr<IADs> object;
};

DirectoryObject::DirectoryObject() = default;
DirectoryObject::~DirectoryObject() = default;
DirectoryObject::DirectoryObject(DirectoryObject&&) noexcept = default;
DirectoryObject& DirectoryObject::operator=(DirectoryObject&&) noexcept = default;

uint32_t DirectoryObject::open(const std::string& inPath, const std::string* inUser, const std::string* inPassword,
                               uint32_t inFlags, DirectoryObject& outObject, DirectoryInterface inInterface) {
  const std::wstring path = wide(inPath);
  const std::wstring user = inUser != nullptr ? wide(*inUser) : std::wstring();
  std::wstring password = inPassword != nullptr ? wide(*inPassword) : std::wstring();
  auto data = std::make_unique<Data>();
  const HRESULT result = ADsOpenObject(path.c_str(), inUser != nullptr ? user.c_str() : nullptr,
                                       inPassword != nullptr ? password.c_str() : nullptr, inFlags,
                                       inInterface == DirectoryInterface::user ? IID_IADsUser : IID_IADs,
                                       data->object.outVoid());
  SecureZeroMemory(password.data(), password.size() * sizeof(wchar_t));
  if (FAILED(result)) return status(result);
  outObject.itsData = std::move(data);
  return kDirOk;
}

// The directory services keep the objects they read in their own cache; there is nothing to
// start ahead of the opens.
void DirectoryObject::readAhead(const std::vector<std::string>&, const std::string*, const std::string*,
                                const std::string&) {}
void DirectoryObject::readAheadMemberships(const std::string&, const std::string*, const std::string*) {}

uint32_t DirectoryObject::get(const std::string& inAttribute, std::string& outValue) {
  if (!itsData) return kInvalidArgument;
  const Bstr attribute(inAttribute);
  Variant value;
  const HRESULT result = itsData->object->Get(attribute.get(), value.get());
  if (FAILED(result)) return status(result);
  // Octet strings (objectSid, objectGUID) come as arrays of bytes: their bytes are the value.
  if (V_VT(value.get()) == (VT_ARRAY | VT_UI1) && V_ARRAY(value.get()) != nullptr) {
    SAFEARRAY* const bytes = V_ARRAY(value.get());
    LONG low = 0;
    LONG high = -1;
    void* data = nullptr;
    if (SafeArrayGetDim(bytes) != 1 || FAILED(SafeArrayGetLBound(bytes, 1, &low)) ||
        FAILED(SafeArrayGetUBound(bytes, 1, &high)) || FAILED(SafeArrayAccessData(bytes, &data)))
      return E_ADS_CANT_CONVERT_DATATYPE;
    outValue.assign(static_cast<const char*>(data), static_cast<size_t>(high - low + 1));
    SafeArrayUnaccessData(bytes);
    return kDirOk;
  }
  std::string text;
  if (!variantText(value.get(), text)) return E_ADS_CANT_CONVERT_DATATYPE;
  outValue = text;
  return kDirOk;
}

uint32_t DirectoryObject::getEx(const std::string& inAttribute, std::vector<std::string>& outValues) {
  if (!itsData) return kInvalidArgument;
  const Bstr attribute(inAttribute);
  Variant value;
  const HRESULT result = itsData->object->GetEx(attribute.get(), value.get());
  if (FAILED(result)) return status(result);
  // An array of variants, as the directory services give every multi-valued attribute; the
  // elements are copied into variants, so another element type is not read.
  if (V_VT(value.get()) != (VT_ARRAY | VT_VARIANT) || V_ARRAY(value.get()) == nullptr ||
      SafeArrayGetDim(V_ARRAY(value.get())) != 1)
    return E_ADS_CANT_CONVERT_DATATYPE;
  SAFEARRAY* const values = V_ARRAY(value.get());
  LONG low = 0;
  LONG high = -1;
  if (FAILED(SafeArrayGetLBound(values, 1, &low)) || FAILED(SafeArrayGetUBound(values, 1, &high)))
    return E_ADS_CANT_CONVERT_DATATYPE;
  std::vector<std::string> texts;
  for (LONG i = low; i <= high; ++i) {
    // Elements that cannot be read are skipped.
    Variant element;
    std::string text;
    if (SUCCEEDED(SafeArrayGetElement(values, &i, element.get())) && variantText(element.get(), text))
      texts.push_back(std::move(text));
  }
  outValues = std::move(texts);
  return kDirOk;
}

uint32_t DirectoryObject::groups(std::vector<std::string>& outNames, std::vector<std::string>* outDNs) {
  if (!itsData) return kInvalidArgument;
  ComPtr<IADsUser> user;
  HRESULT result = itsData->object->QueryInterface(IID_IADsUser, user.outVoid());
  if (FAILED(result)) return status(result);
  ComPtr<IADsMembers> members;
  result = user->Groups(members.out());
  if (FAILED(result)) return status(result);

  std::vector<std::string> names;
  std::vector<std::string> dns;
  ComPtr<IUnknown> enumerable;
  ComPtr<IEnumVARIANT> enumerator;
  if (SUCCEEDED(members->get__NewEnum(enumerable.out())) &&
      SUCCEEDED(enumerable->QueryInterface(IID_IEnumVARIANT, enumerator.outVoid()))) {
    for (;;) {
      Variant element;
      ULONG fetched = 0;
      if (ADsEnumerateNext(enumerator.get(), 1, element.get(), &fetched) != S_OK || fetched != 1) break;
      if (V_VT(element.get()) != VT_DISPATCH || V_DISPATCH(element.get()) == nullptr) continue;
      ComPtr<IADsGroup> group;
      if (FAILED(V_DISPATCH(element.get())->QueryInterface(IID_IADsGroup, group.outVoid()))) continue;
      BSTR name = nullptr;
      if (SUCCEEDED(group->get_Name(&name))) {
        names.push_back(narrow(name));
        if (outDNs != nullptr) {
          const Bstr attribute("distinguishedName");
          Variant value;
          std::string dn;
          if (SUCCEEDED(group->Get(attribute.get(), value.get()))) variantText(value.get(), dn);
          dns.push_back(std::move(dn));
        }
      }
      SysFreeString(name);
    }
  }
  outNames = std::move(names);
  if (outDNs != nullptr) *outDNs = std::move(dns);
  return kDirOk;
}

}  // namespace orvo::platform
