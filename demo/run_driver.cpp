// velmora-run-driver: shows a running Velmora at work for `make run` and the installer check.
// Finds the window "Velmora", waits until it shows an opened photo, with --shrink presses Shrink
// and waits for the shrunk photo, then prints the size lines (and the row of several photos).
// Relies on user32 only: it reads and presses the window's controls like a user would.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

double Seconds() { return GetTickCount() / 1000.0; }

template <class Condition>
bool WaitFor(Condition cond, double seconds) {
  for (double end = Seconds() + seconds; Seconds() < end; Sleep(20))
    if (cond()) return true;
  return cond();
}

std::string Text(HWND window) {  // the program's texts are ASCII
  wchar_t text[512] = {};
  DWORD_PTR result = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text), SMTO_NORMAL, 5000,
                      &result);
  std::string ascii;
  for (const wchar_t* c = text; *c; ++c) ascii += *c < 128 ? static_cast<char>(*c) : '?';
  return ascii;
}

bool IsClass(HWND window, const char* part) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof name);
  return std::strstr(CharUpperA(name), part) != nullptr;
}

BOOL CALLBACK Collect(HWND window, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(window);
  return TRUE;
}

std::vector<HWND> Children(HWND parent) {
  std::vector<HWND> all, direct;
  EnumChildWindows(parent, Collect, reinterpret_cast<LPARAM>(&all));
  for (HWND w : all)
    if (GetAncestor(w, GA_PARENT) == parent) direct.push_back(w);
  return direct;
}

RECT Place(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  MapWindowPoints(HWND_DESKTOP, GetAncestor(window, GA_PARENT), reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// The window's visible top-level windows other than the main one: a message, say.
HWND OtherWindow(HWND main) {
  DWORD process = 0;
  GetWindowThreadProcessId(main, &process);
  std::vector<HWND> all;
  EnumWindows(Collect, reinterpret_cast<LPARAM>(&all));
  for (HWND w : all) {
    DWORD owner = 0;
    GetWindowThreadProcessId(w, &owner);
    if (w != main && owner == process && IsWindowVisible(w)) return w;
  }
  return nullptr;
}

struct Lines {
  std::vector<HWND> Sizes;  // the size lines, left to right
  std::vector<HWND> Below;  // the visible lines under them, left to right
  HWND Shrink = nullptr;
};

// The top panel is the main window's child nearest its top; the size lines are its labels
// that start with "Size:".
Lines Read(HWND main) {
  Lines lines;
  HWND top = nullptr;
  for (HWND w : Children(main))
    if (top == nullptr || Place(w).top < Place(top).top) top = w;
  if (top == nullptr) return lines;
  std::vector<HWND> labels;
  for (HWND w : Children(top)) {
    if (IsClass(w, "BUTTON") && Text(w) == "Shrink") lines.Shrink = w;
    if (IsClass(w, "STATIC") && IsWindowVisible(w)) labels.push_back(w);
  }
  std::sort(labels.begin(), labels.end(),
            [](HWND a, HWND b) { return Place(a).left < Place(b).left; });
  for (HWND w : labels)
    if (Text(w).rfind("Size:", 0) == 0) lines.Sizes.push_back(w);
  if (lines.Sizes.empty()) return lines;
  for (HWND w : labels)
    if (Place(w).top > Place(lines.Sizes[0]).bottom && !Text(w).empty()) lines.Below.push_back(w);
  return lines;
}

int Fail(const char* what, HWND main = nullptr) {
  HWND other = main ? OtherWindow(main) : nullptr;
  std::fprintf(stderr, "velmora-run-driver: %s\n", what);
  if (other != nullptr) {
    std::fprintf(stderr, "  the program shows \"%s\":\n", Text(other).c_str());
    for (HWND w : Children(other))
      if (IsClass(w, "STATIC") && !Text(w).empty()) std::fprintf(stderr, "  %s\n", Text(w).c_str());
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool shrink = false;
  double seconds = 60;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--shrink") == 0) {
      shrink = true;
    } else if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
      seconds = std::atof(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: velmora-run-driver [--shrink] [--seconds N]\n");
      return 2;
    }
  }
  HWND main = nullptr;
  if (!WaitFor([&] { return (main = FindWindowW(nullptr, L"Velmora")) != nullptr; }, seconds))
    return Fail("no window \"Velmora\" appeared");
  if (!WaitFor([&] { return !Read(main).Sizes.empty() || OtherWindow(main); }, seconds) ||
      OtherWindow(main))
    return Fail("the window shows no opened photo", main);
  if (shrink) {
    HWND button = Read(main).Shrink;
    if (button == nullptr) return Fail("the window has no Shrink button", main);
    PostMessageW(button, BM_CLICK, 0, 0);
    // Done when both size lines show and no line under them still counts the progress.
    auto done = [&] {
      const Lines lines = Read(main);
      return lines.Sizes.size() >= 2 &&
             std::none_of(lines.Below.begin(), lines.Below.end(),
                          [](HWND w) { return Text(w).rfind("Shrinking", 0) == 0; });
    };
    if (!WaitFor([&] { return done() || OtherWindow(main); }, seconds) || OtherWindow(main))
      return Fail("the shrunk photo did not appear", main);
  }
  // Back in its message loop, and a moment for the panes to finish painting.
  DWORD_PTR result = 0;
  SendMessageTimeoutW(main, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &result);
  Sleep(300);
  const Lines lines = Read(main);
  const char* names[] = {"opened", "shrunk"};
  for (size_t i = 0; i < lines.Sizes.size() && i < 2; ++i)
    std::printf("%s: %s\n", names[i], Text(lines.Sizes[i]).c_str());
  for (HWND w : lines.Below) std::printf("        %s\n", Text(w).c_str());
  return 0;
}
