// quorvex_sim_host.exe: the simulated host as a program of its own, as the
// host application is, so every call crosses from the client's process.
//   quorvex_sim_host.exe /RegServer    both classes served by this program
//   quorvex_sim_host.exe /UnregServer  both classes removed
//   quorvex_sim_host.exe               serves (COM adds -Embedding or
//                                      /Embedding when it starts it)
// Serving, it reads the host's settings from its environment, waits for a
// client, and ends once the last object is released after a client came, or
// after a minute without one. Its listing then goes to standard output.
// QUORVEX_SIM_EXIT_AT ends it at once instead, with status 3.
#include <windows.h>
// After windows.h, which they need.
#include <objbase.h>

#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "host/value.h"
#include "platform/com_win32.h"
#include "quorvex_sim/com_server_win32.h"

namespace {

using namespace quorvex_sim;

constexpr UINT kWaitForClientMilliseconds = 60'000;
// The status of a program ended at QUORVEX_SIM_EXIT_AT: abort()'s on Windows.
constexpr UINT kEndedAtOnce = 3;

// Refuses the host's operations while it is busy, before COM hands them to
// an object, as COM does for a host that shows a modal dialog: the client
// gets RPC_E_CALL_REJECTED. Reference counting and interface queries pass.
class BusyFilter final : public IMessageFilter {
 public:
  explicit BusyFilter(SimHost& host) : host_(host) {}

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    return traskel::QueryOwnInterface<IMessageFilter>(this, riid, out, IID_IMessageFilter);
  }
  // Lives as long as it is registered.
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO call) override {
    if (IsOperation(call) && host_.RefusesIncomingCall()) return SERVERCALL_REJECTED;
    return SERVERCALL_ISHANDLED;
  }
  // The host calls no one.
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override {
    return static_cast<DWORD>(-1);
  }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override {
    return PENDINGMSG_WAITDEFPROCESS;
  }

 private:
  // IDispatch::Invoke and IClassFactory::CreateInstance, by their places in
  // the interfaces' method tables.
  static bool IsOperation(const INTERFACEINFO* call) {
    if (call == nullptr) return false;
    return (call->iid == IID_IDispatch && call->wMethod == 6) ||
           (call->iid == IID_IClassFactory && call->wMethod == 3);
  }

  SimHost& host_;
};

std::wstring ThisProgram() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

int Report(HRESULT hr, const char* what) {
  if (SUCCEEDED(hr)) return 0;
  std::fprintf(stderr, "quorvex_sim_host: %s failed (%s)\n", what,
               traskel::host::HresultText(hr).c_str());
  return 1;
}

int Serve() {
  const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (FAILED(entered)) return Report(entered, "CoInitializeEx");
  // At QUORVEX_SIM_EXIT_AT the program ends as a crash ends it: no class is
  // revoked, no object released, no buffer flushed and no DLL told, which
  // ExitProcess would do.
  com_server::EndProcessWith([] { TerminateProcess(GetCurrentProcess(), kEndedAtOnce); });
  // One host for the whole run, with the settings this program was started
  // with.
  const std::shared_ptr<SimHost> host = com_server::ProcessHost();
  BusyFilter filter(*host);
  IMessageFilter* previousFilter = nullptr;
  CoRegisterMessageFilter(&filter, &previousFilter);
  const DWORD thread = GetCurrentThreadId();
  com_server::WhenNoObjectsLeft([thread] { PostThreadMessageW(thread, WM_QUIT, 0, 0); });

  std::vector<DWORD> registrations;
  HRESULT hr = S_OK;
  for (const CLSID& clsid : com_server::ClassIds()) {
    IUnknown* classObject = nullptr;
    hr = com_server::GetClassObject(clsid, IID_IUnknown, reinterpret_cast<void**>(&classObject));
    if (FAILED(hr)) break;
    DWORD cookie = 0;
    hr =
        CoRegisterClassObject(clsid, classObject, CLSCTX_LOCAL_SERVER, REGCLS_MULTIPLEUSE, &cookie);
    classObject->Release();  // COM holds its own reference
    if (FAILED(hr)) break;
    registrations.push_back(cookie);
  }

  if (SUCCEEDED(hr)) {
    // Scripts wait for this line before they start a client.
    std::printf("quorvex_sim_host: serving Quorvex.Application and Quorvex.PointData\n");
    std::fflush(stdout);
    const UINT_PTR waitForClient = SetTimer(nullptr, 0, kWaitForClientMilliseconds, nullptr);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (message.message == WM_TIMER && message.hwnd == nullptr &&
          message.wParam == waitForClient) {
        KillTimer(nullptr, waitForClient);
        if (com_server::ClientHasCome()) continue;
        std::fprintf(stderr, "quorvex_sim_host: no client came within %u s; ending\n",
                     kWaitForClientMilliseconds / 1000);
        break;
      }
      DispatchMessageW(&message);
    }
  }

  for (const DWORD cookie : registrations) CoRevokeClassObject(cookie);
  CoRegisterMessageFilter(previousFilter, nullptr);
  if (previousFilter != nullptr) previousFilter->Release();  // COM holds its own again
  com_server::WhenNoObjectsLeft(nullptr);
  if (com_server::ClientHasCome()) {
    std::fputs(host->Listing().c_str(), stdout);
    std::fflush(stdout);
  }
  CoUninitialize();
  return Report(hr, "CoRegisterClassObject");
}

// "/Name" or "-Name", in any case, as COM and installers pass them.
bool IsSwitch(const char* argument, std::string_view name) {
  if (argument[0] != '/' && argument[0] != '-') return false;
  const std::string_view given = argument + 1;
  if (given.size() != name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c; };
    if (lower(given[i]) != lower(name[i])) return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 1 || (argc == 2 && IsSwitch(argv[1], "Embedding"))) return Serve();
  if (argc == 2 && IsSwitch(argv[1], "RegServer")) {
    return Report(com_server::Register(com_server::Serving::LocalServer, ThisProgram()),
                  "registering the classes");
  }
  if (argc == 2 && IsSwitch(argv[1], "UnregServer")) {
    return Report(com_server::Unregister(), "removing the classes");
  }
  std::fprintf(stderr, "usage: quorvex_sim_host.exe [/RegServer | /UnregServer | -Embedding]\n");
  return 2;
}
