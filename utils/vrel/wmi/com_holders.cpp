#include "vrel/wmi/com_holders.h"

#include "vrel/base/wide_text.h"

namespace vrel {

Bstr AllocBstr(const wchar_t* text) {
  Bstr result(SysAllocString(text));
  if (result.Get() == nullptr) throw _com_error(E_OUTOFMEMORY);
  return result;
}

Bstr AllocBstr(const char* text) { return AllocBstr(Widen(text).c_str()); }

}  // namespace vrel
