// Message boxes, the open-file dialog and the message pump of Windows. Texts
// are UTF-8 inside the program and UTF-16 at the API.
//
// Both belong to the program's main window, which is never shown: without an
// owner, a box late in a long run may open behind the host's window, and the
// run then seems to hang.
#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <vector>

#include "platform/user_interface.h"
#include "platform/wide_text_win32.h"

namespace traskel {
namespace {

// Long enough for any path the dialog can give.
constexpr std::size_t kPathBuffer = 32768;

UINT IconStyle(Icon icon) {
  switch (icon) {
    case Icon::Critical:
      return MB_ICONERROR;
    case Icon::Exclamation:
      return MB_ICONEXCLAMATION;
    case Icon::Information:
      return MB_ICONINFORMATION;
    case Icon::None:
      break;
  }
  return 0;
}

// "text|pattern|" pairs as the dialog wants them: each part ended by a NUL,
// the list by one more.
std::wstring DialogFilter(const std::string& filter) {
  std::wstring out = Utf16(filter);
  for (wchar_t& c : out) {
    if (c == L'|') c = L'\0';
  }
  if (!out.empty() && out.back() != L'\0') out += L'\0';
  out += L'\0';
  return out;
}

constexpr const wchar_t* kMainWindowClass = L"TraskelForm1";

class WindowsUserInterface : public UserInterface {
 public:
  WindowsUserInterface() {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kMainWindowClass;
    // A second interface in one process finds the class registered already.
    RegisterClassExW(&windowClass);
    // Top-level and never shown. Should it fail, the boxes and the dialog
    // still open, only without an owner.
    mainWindow_ = CreateWindowExW(0, kMainWindowClass, Utf16(kMainCaption).c_str(),
                                  WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  CW_USEDEFAULT, nullptr, nullptr, windowClass.hInstance, nullptr);
  }

  ~WindowsUserInterface() override {
    if (mainWindow_ != nullptr) DestroyWindow(mainWindow_);
  }

  WindowsUserInterface(const WindowsUserInterface&) = delete;
  WindowsUserInterface& operator=(const WindowsUserInterface&) = delete;

  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    // The foreground lock may refuse MB_SETFOREGROUND; MB_TOPMOST then still
    // keeps the box above the host, and a box owned by a hidden window has
    // no taskbar button to find it by.
    MessageBoxW(mainWindow_, Utf16(text).c_str(), Utf16(title).c_str(),
                MB_OK | IconStyle(icon) | MB_SETFOREGROUND | MB_TOPMOST);
  }

  // Owned by the main window when there is one, and in front of the host,
  // whose open dialog may be what keeps it busy.
  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) override {
    const int button = MessageBoxW(
        mainWindow_, Utf16(text).c_str(), Utf16(title).c_str(),
        MB_RETRYCANCEL | MB_DEFBUTTON1 | IconStyle(icon) | MB_SETFOREGROUND | MB_TOPMOST);
    return button == IDRETRY ? Answer::Retry : Answer::Cancel;
  }

  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override {
    const std::wstring filter = DialogFilter(request.filter);
    const std::wstring title = Utf16(request.title);
    const std::wstring initialDir = Utf16(request.initialDir);
    std::vector<wchar_t> file(kPathBuffer, L'\0');
    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = mainWindow_;
    dialog.lpstrFilter = filter.c_str();
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrInitialDir = initialDir.empty() ? nullptr : initialDir.c_str();
    dialog.lpstrTitle = title.c_str();
    dialog.Flags = request.hideReadOnly ? OFN_HIDEREADONLY : 0;
    // Cancel and a failing dialog alike end the choice.
    if (!GetOpenFileNameW(&dialog)) return std::nullopt;
    return Utf8(file.data());
  }

  void PumpEvents() override {
    // The run pumps once a line, mostly with nothing there. Asking first
    // costs one trip to the system; an empty PeekMessage costs more, as
    // under wine it also polls the display connection of a thread that
    // has windows.
    if (HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0) return;
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }

 private:
  HWND mainWindow_ = nullptr;
};

}  // namespace

std::unique_ptr<UserInterface> MakeSystemUserInterface() {
  return std::make_unique<WindowsUserInterface>();
}

}  // namespace traskel
