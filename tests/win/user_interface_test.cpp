// The Windows user interface: message boxes and the open dialog belong to
// the program's hidden main window.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "app/implementations.h"
#include "conversion/titles.h"
#include "platform/user_interface.h"
#include "platform/wide_text_win32.h"
#include "traskel_version.h"

namespace traskel {
namespace {

struct Seen {
  bool found = false;
  std::string ownerCaption;
  bool ownerVisible = true;
  bool ownerTopLevel = false;
  long width = 0;  // of the whole window, frame included
};

std::string Caption(HWND window) {
  wchar_t text[256] = {};
  GetWindowTextW(window, text, 256);
  return Utf8(text);
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
          seen_.ownerCaption = owner != nullptr ? Caption(owner) : "<none>";
          seen_.ownerVisible = owner != nullptr && IsWindowVisible(owner);
          seen_.ownerTopLevel =
              owner != nullptr && GetAncestor(owner, GA_PARENT) == GetDesktopWindow();
          RECT frame{};
          if (GetWindowRect(box, &frame)) seen_.width = frame.right - frame.left;
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

TEST(UserInterfaceWin32, BoxesAndTheDialogBelongToTheHiddenMainWindow) {
  std::unique_ptr<UserInterface> ui = MakeUserInterface();

  Closer box("Traskel", IDOK);
  ui->ShowMessage("Zeile 1", "Traskel", Icon::Critical);
  const Seen& message = box.Join();
  ASSERT_TRUE(message.found) << "no message box appeared";
  EXPECT_EQ(message.ownerCaption, "Traskel nach Quorvex");
  EXPECT_FALSE(message.ownerVisible);
  EXPECT_TRUE(message.ownerTopLevel);
  // Whether the box is topmost can't be seen here: wine's message box
  // ignores MB_TOPMOST and MB_SETFOREGROUND.

  Closer dialog("Auswahl CSV Dateien", IDCANCEL);
  EXPECT_EQ(ui->ChooseFile({"Auswahl CSV Dateien", "CSV Dateien (*csv)|*.csv|", "", true}),
            std::nullopt);
  const Seen& chooser = dialog.Join();
  ASSERT_TRUE(chooser.found) << "no open dialog appeared";
  EXPECT_EQ(chooser.ownerCaption, "Traskel nach Quorvex");
  EXPECT_FALSE(chooser.ownerVisible);
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
  std::unique_ptr<UserInterface> ui = MakeUserInterface();
  Closer box(kMainCaption, IDOK);
  EXPECT_TRUE(ui->ShowText(TRASKEL_VERSION_TEXT, Icon::Information, ConsoleStream::Output).ok());
  const Seen& seen = box.Join();
  ASSERT_TRUE(seen.found) << "no message box appeared";
  // The title bar holds the title, the close button and a frame either side.
  EXPECT_GE(seen.width, CaptionTextWidth(Utf16(kMainCaption)) + GetSystemMetrics(SM_CXSIZE) +
                            2 * GetSystemMetrics(SM_CXFRAME));
}

}  // namespace
}  // namespace traskel
