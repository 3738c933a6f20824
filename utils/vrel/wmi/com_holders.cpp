#include "vrel/wmi/com_holders.h"

#include <string>

namespace vrel {

Bstr AllocBstr(const wchar_t* text) {
  Bstr result(SysAllocString(text));
  if (result.Get() == nullptr) throw _com_error(E_OUTOFMEMORY);
  return result;
}

Bstr AllocBstr(const char* text) {
  std::wstring wide;
  for (const char* c = text; *c != '\0'; ++c) {
    wide += static_cast<wchar_t>(static_cast<unsigned char>(*c));
  }
  return AllocBstr(wide.c_str());
}

}  // namespace vrel
