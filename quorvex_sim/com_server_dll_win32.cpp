// quorvex_sim.dll: the simulated host as an in-process server, registered
// with regsvr32.
#include <windows.h>
// After windows.h, which it needs.
#include <olectl.h>

#include "quorvex_sim/com_server_win32.h"

namespace {

HMODULE thisModule = nullptr;

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    thisModule = instance;
    DisableThreadLibraryCalls(instance);
  }
  return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID riid, LPVOID* out) {
  return quorvex_sim::com_server::GetClassObject(clsid, riid, out);
}

STDAPI DllCanUnloadNow() {
  return quorvex_sim::com_server::Unused() ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(thisModule, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return SELFREG_E_CLASS;
  return quorvex_sim::com_server::Register(quorvex_sim::com_server::Serving::InProcess, path);
}

STDAPI DllUnregisterServer() {
  return quorvex_sim::com_server::Unregister();
}
