// The Windows user interface: message boxes, the open dialog and the
// progress window belong to the program's main window, which has no area and
// shows only its taskbar button while they are up.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "app/command_line.h"
#include "app/implementations.h"
#include "conversion/titles.h"
#include "platform/progress_window_win32.h"
#include "platform/user_interface.h"
#include "platform/wide_text_win32.h"
#include "traskel_version.h"

namespace traskel {
namespace {

struct Seen {
  bool found = false;
  HWND owner = nullptr;
  std::string ownerCaption;
  bool ownerTopLevel = false;
  bool ownerOnTaskbar = false;
  long width = 0;  // of the whole window, frame included
  std::string text;
  std::size_t linesShown = 0;  // of the text, as the box breaks it
  bool buttonWithin = false;   // OK within the box, below the text
};

std::string Caption(HWND window) {
  std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return Utf8(text);
}

// What the taskbar shows a button for: a visible window that is no tool
// window and is either unowned or asks for one. It must not cover anything.
bool OnTaskbarWithoutArea(HWND window) {
  const LONG_PTR style = GetWindowLongPtrW(window, GWL_EXSTYLE);
  RECT frame{};
  GetWindowRect(window, &frame);
  return IsWindowVisible(window) && !(style & WS_EX_TOOLWINDOW) &&
         ((style & WS_EX_APPWINDOW) || GetWindow(window, GW_OWNER) == nullptr) &&
         IsRectEmpty(&frame);
}

// A box's text, how many lines it shows it on at its width, and whether its
// button is within it, below the text.
void ReadText(HWND box, Seen& seen) {
  HWND text = nullptr;
  for (HWND child = GetWindow(box, GW_CHILD); child != nullptr && text == nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    wchar_t name[16] = {};
    GetClassNameW(child, name, 16);
    if (_wcsicmp(name, L"Static") == 0 && GetWindowTextLengthW(child) > 0) text = child;
  }
  if (text == nullptr) return;
  seen.text = Caption(text);
  const std::wstring wide = Utf16(seen.text);
  const HDC dc = GetDC(text);
  const HGDIOBJ font =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(text, WM_GETFONT, 0, 0)));
  RECT place{}, shown{}, client{}, button{};
  GetWindowRect(text, &place);
  shown.right = place.right - place.left;
  DrawTextW(dc, wide.c_str(), -1, &shown, DT_CALCRECT | DT_WORDBREAK | DT_EXPANDTABS | DT_NOPREFIX);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  seen.linesShown = static_cast<std::size_t>(shown.bottom / metrics.tmHeight);
  SelectObject(dc, font);
  ReleaseDC(text, dc);
  GetWindowRect(GetDlgItem(box, IDOK), &button);
  GetClientRect(box, &client);
  MapWindowPoints(box, nullptr, reinterpret_cast<POINT*>(&client), 2);
  seen.buttonWithin = button.top >= place.bottom && button.bottom <= client.bottom &&
                      button.left >= client.left && button.right <= client.right;
}

// Waits on a thread of its own for the dialog window titled `title`, notes
// its owner and closes it with `button`; the modal call on the test's thread
// returns then.
class Closer {
 public:
  Closer(const std::string& title, WPARAM button)
      : thread_([this, title = Utf16(title), button] {
          const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
          HWND box = nullptr;
          // Shown only once set up: title, owner and place in the z-order.
          while (std::chrono::steady_clock::now() < deadline) {
            box = FindWindowW(L"#32770", title.c_str());
            if (box != nullptr && IsWindowVisible(box)) break;
            box = nullptr;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
          }
          if (box == nullptr) return;
          const HWND owner = GetWindow(box, GW_OWNER);
          seen_.found = true;
          seen_.owner = owner;
          seen_.ownerCaption = owner != nullptr ? Caption(owner) : "<none>";
          seen_.ownerOnTaskbar = owner != nullptr && OnTaskbarWithoutArea(owner);
          seen_.ownerTopLevel =
              owner != nullptr && GetAncestor(owner, GA_PARENT) == GetDesktopWindow();
          RECT frame{};
          if (GetWindowRect(box, &frame)) seen_.width = frame.right - frame.left;
          ReadText(box, seen_);
          PostMessageW(box, WM_COMMAND, button, 0);
        }) {}

  const Seen& Join() {
    thread_.join();
    return seen_;
  }

 private:
  Seen seen_;
  std::thread thread_;
};

TEST(UserInterfaceWin32, BoxesAndTheDialogBelongToTheMainWindowOnTheTaskbarMeanwhile) {
  StopSource stop;
  std::unique_ptr<UserInterface> ui = MakeUserInterface(stop);

  Closer box("Traskel", IDOK);
  ui->ShowMessage("Zeile 1", "Traskel", Icon::Critical);
  const Seen& message = box.Join();
  ASSERT_TRUE(message.found) << "no message box appeared";
  EXPECT_EQ(message.ownerCaption, "Traskel nach Quorvex");
  EXPECT_TRUE(message.ownerOnTaskbar);
  EXPECT_TRUE(message.ownerTopLevel);
  EXPECT_FALSE(IsWindowVisible(message.owner)) << "the taskbar button outlasts the box";
  // Whether the box is topmost can't be seen here: wine's message box
  // ignores MB_TOPMOST and MB_SETFOREGROUND.

  Closer dialog("Auswahl CSV Dateien", IDCANCEL);
  EXPECT_EQ(ui->ChooseFile({"Auswahl CSV Dateien", "CSV Dateien (*csv)|*.csv|", ""}), std::nullopt);
  const Seen& chooser = dialog.Join();
  ASSERT_TRUE(chooser.found) << "no open dialog appeared";
  EXPECT_EQ(chooser.ownerCaption, "Traskel nach Quorvex");
  EXPECT_TRUE(chooser.ownerOnTaskbar);
  EXPECT_FALSE(IsWindowVisible(chooser.owner));
}

// The width of a window's title in the system's caption font.
long CaptionTextWidth(const std::wstring& title) {
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  const HDC dc = GetDC(nullptr);
  const HGDIOBJ font = SelectObject(dc, CreateFontIndirectW(&metrics.lfCaptionFont));
  SIZE size{};
  GetTextExtentPoint32W(dc, title.c_str(), static_cast<int>(title.size()), &size);
  DeleteObject(SelectObject(dc, font));
  ReleaseDC(nullptr, dc);
  return size.cx;
}

TEST(UserInterfaceWin32, TheVersionBoxShowsItsWholeTitle) {
  // A box is as wide as its text, and the version is shorter than the title.
  StopSource stop;
  std::unique_ptr<UserInterface> ui = MakeUserInterface(stop);
  Closer box(kMainCaption, IDOK);
  EXPECT_TRUE(ui->ShowText(TRASKEL_VERSION_TEXT, Icon::Information, ConsoleStream::Output).ok());
  const Seen& seen = box.Join();
  ASSERT_TRUE(seen.found) << "no message box appeared";
  // The title bar holds the title, the close button and a frame either side.
  EXPECT_GE(seen.width, CaptionTextWidth(Utf16(kMainCaption)) + GetSystemMetrics(SM_CXSIZE) +
                            2 * GetSystemMetrics(SM_CXFRAME));
}

TEST(UserInterfaceWin32, TheHelpBoxBreaksNoLine) {
  // Its font lines up no columns, and the system's box breaks long lines.
  StopSource stop;
  std::unique_ptr<UserInterface> ui = MakeUserInterface(stop);
  Closer box(kMainCaption, IDOK);
  EXPECT_EQ(AnswerCommandLine(ReadCommandLine({"--help"}), *ui), 0);
  const Seen& seen = box.Join();
  ASSERT_TRUE(seen.found) << "no message box appeared";
  EXPECT_EQ(seen.linesShown, std::count(seen.text.begin(), seen.text.end(), '\n') + 1u)
      << "a line is wider than the box";
  EXPECT_TRUE(seen.buttonWithin);
  EXPECT_NE(seen.text.find("\r\n--pruefen: die Datei nur prüfen, nichts an Quorvex senden\r\n"),
            std::string::npos);
}

// The progress window: the visible window titled with the main window's
// caption that the main window owns.
HWND ProgressWindowShown() {
  HWND found = nullptr;
  EnumWindows(
      [](HWND window, LPARAM found) {
        const HWND owner = GetWindow(window, GW_OWNER);
        if (!IsWindowVisible(window) || owner == nullptr || Caption(window) != kMainCaption ||
            Caption(owner) != kMainCaption) {
          return TRUE;
        }
        *reinterpret_cast<HWND*>(found) = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&found));
  return found;
}

// The texts of its controls, top to bottom, its bar's share done and the
// share of one step of the bar.
struct Controls {
  std::vector<std::string> texts;
  HWND button = nullptr;
  double done = -1;
  double step = 0;
};

Controls ReadControls(HWND window) {
  Controls controls;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;  // a button kept for another state
    wchar_t name[64] = {};
    GetClassNameW(child, name, 64);
    if (std::wstring(name) == PROGRESS_CLASSW) {
      const auto range = static_cast<double>(SendMessageW(child, PBM_GETRANGE, FALSE, 0));
      controls.done = static_cast<double>(SendMessageW(child, PBM_GETPOS, 0, 0)) / range;
      controls.step = 1 / range;
    } else {
      controls.texts.push_back(Caption(child));
      if (std::wstring(name) == L"Button" && controls.button == nullptr) controls.button = child;
    }
  }
  return controls;
}

// Whether a is above b among the top-level windows.
bool Above(HWND a, HWND b) {
  for (HWND below = GetWindow(a, GW_HWNDNEXT); below != nullptr;
       below = GetWindow(below, GW_HWNDNEXT)) {
    if (below == b) return true;
  }
  return false;
}

TEST(UserInterfaceWin32, TheProgressWindowComesInFrontWithoutTakingTheFocus) {
  StopSource stop;
  std::unique_ptr<UserInterface> ui = MakeUserInterface(stop);
  // The window the user works in, as the host's would be.
  const HWND host = CreateWindowExW(0, L"STATIC", L"Host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                    400, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(host);
  ASSERT_EQ(GetForegroundWindow(), host);

  ui->ShowProgress({"Maße.csv", "Zeile 120 von 10000", "0:01", 0.012});
  ui->ShowProgress({"Maße.csv", "Zeile 240 von 10000", "0:02", 0.024});
  const HWND window = ProgressWindowShown();
  ASSERT_NE(window, nullptr) << "no progress window";
  const Controls controls = ReadControls(window);
  EXPECT_EQ(controls.texts,
            (std::vector<std::string>{"Maße.csv", "Zeile 240 von 10000", "0:02", "Abbrechen"}));
  EXPECT_NEAR(controls.done, 0.024, controls.step / 2);
  EXPECT_EQ(GetForegroundWindow(), host);
  EXPECT_TRUE(Above(window, host));
  EXPECT_TRUE(OnTaskbarWithoutArea(GetWindow(window, GW_OWNER)));
  EXPECT_FALSE(stop.Requested());

  ui->CloseProgress();
  EXPECT_EQ(ProgressWindowShown(), nullptr);
  EXPECT_FALSE(IsWindowVisible(GetWindow(window, GW_OWNER))) << "the taskbar button stays";
  DestroyWindow(host);
}

TEST(UserInterfaceWin32, TheButtonEscAndClosingTheWindowOrItsTaskbarButtonAskToStop) {
  const std::pair<const char*, void (*)(HWND window, HWND button)> ways[] = {
      {"the button", [](HWND, HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }},
      {"Esc", [](HWND, HWND button) { PostMessageW(button, WM_KEYDOWN, VK_ESCAPE, 0); }},
      {"Alt+F4",
       [](HWND, HWND button) { PostMessageW(button, WM_SYSKEYDOWN, VK_F4, KF_ALTDOWN << 16); }},
      {"the taskbar button's close",
       [](HWND window, HWND) { PostMessageW(GetWindow(window, GW_OWNER), WM_CLOSE, 0, 0); }},
  };
  for (const auto& [way, press] : ways) {
    StopSource stop;
    std::unique_ptr<UserInterface> ui = MakeUserInterface(stop);
    ui->ShowProgress({"teil.csv", "Zeile 1 von 2", "0:01", 0.5});
    const HWND window = ProgressWindowShown();
    ASSERT_NE(window, nullptr) << way;
    press(window, ReadControls(window).button);
    ui->PumpEvents();
    EXPECT_TRUE(stop.Requested()) << way;
    EXPECT_EQ(ProgressWindowShown(), window) << way << ": the window is the caller's to close";
    ui->CloseProgress();
  }
}

TEST(UserInterfaceWin32, AFinishedTaskWaitsForSchliessenOrTheTimeOut) {
  StopSource stop;
  std::unique_ptr<UserInterface> ui = MakeUserInterface(stop);
  // Without a window shown there is nothing to wait for.
  ui->FinishProgress("Fertig.");
  EXPECT_FALSE(stop.Requested());
  EXPECT_EQ(ProgressWindowShown(), nullptr);

  ui->ShowProgress({"teil.csv", "Zeile 1 von 2", "0:01", 0.5});
  Controls seen;
  std::thread user([&seen] {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (std::chrono::steady_clock::now() < deadline) {
      if (const HWND window = ProgressWindowShown()) {
        seen = ReadControls(window);
        if (seen.button != nullptr && Caption(seen.button) == "Schließen") break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    PostMessageW(seen.button, BM_CLICK, 0, 0);
  });
  ui->FinishProgress("Fertig: 2 Datenzeilen in 0:01 übernommen.");
  user.join();
  EXPECT_EQ(seen.texts,
            (std::vector<std::string>{"teil.csv", "Fertig: 2 Datenzeilen in 0:01 übernommen.", "",
                                      "Schließen"}));
  EXPECT_DOUBLE_EQ(seen.done, 1);
  EXPECT_EQ(ProgressWindowShown(), nullptr);

  // Nobody there: it closes by itself.
  ProgressWindow alone(nullptr, std::chrono::milliseconds(300), stop, kUserInterfaceWords);
  alone.Show({"teil.csv", "Zeile 1 von 2", "0:01", 0.5});
  const auto start = std::chrono::steady_clock::now();
  alone.Finish("Fertig.");
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_GE(waited, std::chrono::milliseconds(300));
  EXPECT_LT(waited, std::chrono::seconds(10));
  EXPECT_FALSE(alone.Shown());
}

}  // namespace
}  // namespace traskel
