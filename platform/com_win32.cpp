#include "platform/com_win32.h"

namespace traskel {

ComApartment::ComApartment()
    : entered_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}

ComApartment::~ComApartment() {
  if (entered_) CoUninitialize();
}

ExcepInfo::~ExcepInfo() {
  SysFreeString(info.bstrSource);
  SysFreeString(info.bstrDescription);
  SysFreeString(info.bstrHelpFile);
}

HRESULT ExcepInfo::Code() {
  if (info.pfnDeferredFillIn != nullptr) {
    info.pfnDeferredFillIn(&info);
    info.pfnDeferredFillIn = nullptr;
  }
  return info.scode;
}

}  // namespace traskel
