// Reads the converter's window from another process, for the scripts: the
// visible top-level window titled TITLE that a window of the same title
// owns, the progress window or one of the boxes.
//   window_probe.exe TITLE [TEXT]
// Waits up to 30 s for it, with TEXT until one of its controls holds TEXT,
// then prints the texts of its visible controls that have one, a line each,
// and how long its thread took to answer the slowest of five messages sent
// to it a tenth of a second apart: "answered within N ms". A window whose
// thread does not serve it is read all the same, as the system keeps the
// texts; its answer times out after 5 s. Status 1 when no window came.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "platform/wide_text_win32.h"

namespace {

std::wstring TextOf(HWND window) {
  std::wstring text(GetWindowTextLengthW(window) + 1, L'\0');
  text.resize(GetWindowTextW(window, text.data(), static_cast<int>(text.size())));
  return text;
}

struct Search {
  std::wstring title;
  HWND found = nullptr;
};

HWND WindowTitled(const std::wstring& title) {
  Search search{title};
  EnumWindows(
      [](HWND window, LPARAM data) {
        auto& search = *reinterpret_cast<Search*>(data);
        const HWND owner = GetWindow(window, GW_OWNER);
        if (!IsWindowVisible(window) || owner == nullptr || TextOf(window) != search.title ||
            TextOf(owner) != search.title) {
          return TRUE;
        }
        search.found = window;
        return FALSE;
      },
      reinterpret_cast<LPARAM>(&search));
  return search.found;
}

std::vector<std::wstring> ControlTexts(HWND window) {
  std::vector<std::wstring> texts;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (!IsWindowVisible(child)) continue;
    std::wstring text = TextOf(child);
    if (!text.empty()) texts.push_back(std::move(text));
  }
  return texts;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: %s TITLE [TEXT]\n", argv[0]);
    return 2;
  }
  const std::wstring title = traskel::Utf16(argv[1]);
  const std::wstring wanted = argc == 3 ? traskel::Utf16(argv[2]) : L"";
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
  HWND window = nullptr;
  std::vector<std::wstring> texts;
  for (;;) {
    window = WindowTitled(title);
    if (window != nullptr) {
      texts = ControlTexts(window);
      bool holds = wanted.empty();
      for (const std::wstring& text : texts) holds = holds || text.find(wanted) != text.npos;
      if (holds) {
        // Read again once the update that brought the text is surely done:
        // the window changes its controls one after the other.
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        texts = ControlTexts(window);
        break;
      }
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      std::fprintf(stderr, "no window titled %s%s%s\n", argv[1], wanted.empty() ? "" : " saying ",
                   wanted.empty() ? "" : argv[2]);
      return 1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in LF, as the scripts read them
  for (const std::wstring& text : texts) {
    std::string line = traskel::Utf8(text);
    for (std::size_t at; (at = line.find("\r\n")) != line.npos;) line.erase(at, 1);
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fputc('\n', stdout);
  }
  std::chrono::steady_clock::duration slowest{};
  for (int i = 0; i < 5; ++i) {
    if (i > 0) std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto start = std::chrono::steady_clock::now();
    DWORD_PTR result = 0;
    const bool answered =
        SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
    const auto took = answered ? std::chrono::steady_clock::now() - start : std::chrono::seconds(5);
    if (took > slowest) slowest = took;
  }
  std::printf("answered within %lld ms\n",
              static_cast<long long>(
                  std::chrono::duration_cast<std::chrono::milliseconds>(slowest).count()));
  return 0;
}
