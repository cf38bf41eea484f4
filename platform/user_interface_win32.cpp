// Message boxes, the open-file dialog and the message pump of Windows. Texts
// are UTF-8 inside the program and UTF-16 at the API.
//
// Both belong to the program's main window, which is never shown: without an
// owner, a box late in a long task may open behind another program's window,
// and the program then seems to hang.
#include <windows.h>
// After windows.h, which it needs.
#include <commdlg.h>

#include <algorithm>
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
    case Icon::Question:
      return MB_ICONQUESTION;
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

// The width of text drawn in font; of its widest line, for several.
int TextWidth(HDC dc, const LOGFONTW& font, const std::wstring& text) {
  const HFONT handle = CreateFontIndirectW(&font);
  const HGDIOBJ previous = SelectObject(dc, handle);
  RECT rect{};
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect,
            DT_CALCRECT | DT_EXPANDTABS | DT_NOPREFIX);
  SelectObject(dc, previous);
  DeleteObject(handle);
  return rect.right - rect.left;
}

// A message box is as wide as its text, so a short text cuts its title off.
// The first line is padded with no-break spaces, which no line break drops,
// until the text is as wide as the title and the close button, each measured
// in the font the system draws it in. The icon and the margins around the
// text leave room for the frame.
std::wstring FittedToTitle(const std::wstring& text, const std::wstring& title) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) return text;
  const HDC dc = GetDC(nullptr);
  if (dc == nullptr) return text;
  std::wstring fitted = text;
  const int wanted = TextWidth(dc, metrics.lfCaptionFont, title) + GetSystemMetrics(SM_CXSIZE);
  if (TextWidth(dc, metrics.lfMessageFont, text) < wanted) {
    const std::size_t lineEnd = std::min(text.find_first_of(L"\r\n"), text.size());
    const int missing = wanted - TextWidth(dc, metrics.lfMessageFont, text.substr(0, lineEnd));
    const int space = TextWidth(dc, metrics.lfMessageFont, L"\u00A0");
    if (space > 0) fitted.insert(lineEnd, (missing + space - 1) / space, L'\u00A0');
  }
  ReleaseDC(nullptr, dc);
  return fitted;
}

constexpr const wchar_t* kMainWindowClass = L"TraskelForm1";

class WindowsUserInterface : public UserInterface {
 public:
  explicit WindowsUserInterface(const std::string& mainWindowTitle) : title_(mainWindowTitle) {
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = kMainWindowClass;
    // A second interface in one process finds the class registered already.
    RegisterClassExW(&windowClass);
    // Top-level and never shown. Should it fail, the boxes and the dialog
    // still open, only without an owner.
    mainWindow_ = CreateWindowExW(0, kMainWindowClass, Utf16(title_).c_str(), WS_OVERLAPPEDWINDOW,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, windowClass.hInstance, nullptr);
  }

  ~WindowsUserInterface() override {
    if (mainWindow_ != nullptr) DestroyWindow(mainWindow_);
  }

  WindowsUserInterface(const WindowsUserInterface&) = delete;
  WindowsUserInterface& operator=(const WindowsUserInterface&) = delete;

  void ShowMessage(const std::string& text, const std::string& title, Icon icon) override {
    // The foreground lock may refuse MB_SETFOREGROUND; MB_TOPMOST then still
    // keeps the box above other programs, and a box owned by a hidden window has
    // no taskbar button to find it by.
    const std::wstring wideTitle = Utf16(title);
    MessageBoxW(mainWindow_, FittedToTitle(Utf16(text), wideTitle).c_str(), wideTitle.c_str(),
                MB_OK | IconStyle(icon) | MB_SETFOREGROUND | MB_TOPMOST);
  }

  // Owned by the main window when there is one, and in front of other
  // programs, whose open dialog may be what the question is about.
  Answer AskRetryOrCancel(const std::string& text, const std::string& title, Icon icon) override {
    const std::wstring wideTitle = Utf16(title);
    const int button = MessageBoxW(
        mainWindow_, FittedToTitle(Utf16(text), wideTitle).c_str(), wideTitle.c_str(),
        MB_RETRYCANCEL | MB_DEFBUTTON1 | IconStyle(icon) | MB_SETFOREGROUND | MB_TOPMOST);
    return button == IDRETRY ? Answer::Retry : Answer::Cancel;
  }

  Answer AskYesNoCancel(const std::string& text, const std::string& title, Icon icon) override {
    const std::wstring wideTitle = Utf16(title);
    switch (MessageBoxW(
        mainWindow_, FittedToTitle(Utf16(text), wideTitle).c_str(), wideTitle.c_str(),
        MB_YESNOCANCEL | MB_DEFBUTTON1 | IconStyle(icon) | MB_SETFOREGROUND | MB_TOPMOST)) {
      case IDYES:
        return Answer::Yes;
      case IDNO:
        return Answer::No;
      default:
        return Answer::Cancel;
    }
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

  Result<void> ShowText(const std::string& text, Icon icon, ConsoleStream) override {
    ShowMessage(text, title_, icon);
    return {};
  }

  void PumpEvents() override {
    // Callers pump often, mostly with nothing there. Asking first
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
  std::string title_;
  HWND mainWindow_ = nullptr;
};

}  // namespace

std::unique_ptr<UserInterface> MakeSystemUserInterface(const std::string& mainWindowTitle) {
  return std::make_unique<WindowsUserInterface>(mainWindowTitle);
}

}  // namespace traskel
