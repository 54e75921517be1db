// The real tessel under random input on an X server (run under xvfb-run):
// thousands of clicks, drags, wheel turns and keys at random places of
// whatever window is on top, the dialogs included (typed numbers, Escape,
// Return), from a seed that replays the same sequence. The program must stay
// alive and keep answering (a key press noted by one of its windows), and close
// cleanly at the end, so that a sanitizer build also reports its leaks.
//
//   tessel-monkey [--seed N] [--events N] [--seconds N] TESSEL IMAGE
//
// Exit status 0 when the program held; 1 with the reason and the seed when
// not. The program runs in a scratch folder of its own (its home, its
// current folder, its temporary files); run as root, it runs as nobody, so
// that whatever a random answer saves lands where nobody may write. File
// dialogs get no clicks and no keys that climb out of their folder.

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <optional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct TOptions {
  std::uint32_t Seed = 1;
  int Events = 2000;
  int Seconds = 60;
  std::string Program;
  std::string Image;
};

[[noreturn]] void Usage() {
  std::fputs("usage: tessel-monkey [--seed N] [--events N] [--seconds N] TESSEL IMAGE\n", stderr);
  std::exit(2);
}

TOptions ParseOptions(int argc, char** argv) {
  TOptions o;
  std::vector<std::string> rest;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const auto value = [&] {
      if (i + 1 >= argc) Usage();
      return std::strtoul(argv[++i], nullptr, 10);
    };
    if (a == "--seed")
      o.Seed = std::uint32_t(value());
    else if (a == "--events")
      o.Events = int(value());
    else if (a == "--seconds")
      o.Seconds = int(value());
    else
      rest.push_back(a);
  }
  if (rest.size() != 2) Usage();
  o.Program = fs::absolute(rest[0]).string();
  o.Image = fs::absolute(rest[1]).string();
  return o;
}

// ---------------------------------------------------------------- the program under test

// A folder the program may write in, and its copy of what it reads.
struct TSandbox {
  fs::path Root;
  fs::path Program;
  fs::path Image;
  fs::path Suppressions;
};

void WriteText(const fs::path& path, const std::string& text, fs::perms perms) {
  if (FILE* f = std::fopen(path.c_str(), "w")) {
    std::fputs(text.c_str(), f);
    std::fclose(f);
  }
  fs::permissions(path, perms);
}

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

TSandbox MakeSandbox(const TOptions& o) {
  char name[] = "/tmp/tessel-monkey.XXXXXX";
  if (!mkdtemp(name)) {
    std::perror("tessel-monkey: mkdtemp");
    std::exit(1);
  }
  TSandbox box;
  box.Root = name;
  for (const char* sub : {"home", "tmp", "bin", "work"}) fs::create_directories(box.Root / sub);
  // Copied, so that nobody can run and read them wherever the build lies.
  box.Program = box.Root / "bin" / "tessel";
  fs::copy_file(o.Program, box.Program);
  const fs::path guide = fs::path(o.Program).parent_path() / "readme.txt";
  if (fs::exists(guide)) fs::copy_file(guide, box.Root / "bin" / "readme.txt");
  box.Image = box.Root / "work" / fs::path(o.Image).filename();
  fs::copy_file(o.Image, box.Image);
  // Links and the user guide open through xdg-open: nothing is started.
  WriteText(box.Root / "bin" / "xdg-open", "#!/bin/sh\nexit 0\n", fs::perms(0755));
  // Kept until the end of the process by the desktop bus library.
  box.Suppressions = box.Root / "lsan.supp";
  WriteText(box.Suppressions, "leak:libdbus-1.so\n", fs::perms(0644));
  for (const auto& entry : fs::recursive_directory_iterator(box.Root))
    if (entry.is_directory()) fs::permissions(entry.path(), fs::perms(0777));
  fs::permissions(box.Root, fs::perms(0777));
  // The runtime folder must be the program's own and private.
  fs::create_directories(box.Root / "run");
  fs::permissions(box.Root / "run", fs::perms(0700));
  if (getuid() == 0 && chown((box.Root / "run").c_str(), kNobody, kNogroup) != 0)
    std::perror("tessel-monkey: chown");
  return box;
}

pid_t StartProgram(const TSandbox& box) {
  const pid_t pid = fork();
  if (pid != 0) return pid;
  setpgid(0, 0);
  if (getuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(kNogroup) != 0 || setuid(kNobody) != 0)) {
    std::perror("tessel-monkey: cannot become nobody");
    _exit(127);
  }
  const std::string root = box.Root.string();
  setenv("HOME", (root + "/home").c_str(), 1);
  setenv("TMPDIR", (root + "/tmp").c_str(), 1);
  setenv("XDG_CONFIG_HOME", (root + "/home/.config").c_str(), 1);
  setenv("XDG_RUNTIME_DIR", (root + "/run").c_str(), 1);
  setenv("PATH", (root + "/bin:" + std::string(getenv("PATH") ? getenv("PATH") : "/usr/bin:/bin")).c_str(), 1);
  setenv("QT_QPA_PLATFORM", "xcb", 1);
  const std::string lsan = "suppressions=" + box.Suppressions.string() +
                           (getenv("LSAN_OPTIONS") ? ":" + std::string(getenv("LSAN_OPTIONS")) : "");
  setenv("LSAN_OPTIONS", lsan.c_str(), 1);
  if (chdir((root + "/work").c_str()) != 0) _exit(127);
  execl(box.Program.c_str(), "tessel", box.Image.c_str(), static_cast<char*>(nullptr));
  std::perror("tessel-monkey: exec");
  _exit(127);
}

// "" while the program runs; else how it ended.
std::string Ended(pid_t pid, bool wait = false) {
  int status = 0;
  const pid_t got = waitpid(pid, &status, wait ? 0 : WNOHANG);
  if (got == 0) return "";
  if (got < 0) return "lost";
  if (WIFEXITED(status)) return "exit " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("signal ") + strsignal(WTERMSIG(status));
  return "stopped";
}

// ---------------------------------------------------------------- the X side

struct TWindow {
  Window Id = 0;
  int X = 0, Y = 0, Width = 0, Height = 0;
  bool Popup = false;  // a menu, list or tip: override-redirect
  std::string Title;
  bool FileDialog() const { return Title == "Open" || Title == "Save As" || Title.find("Open") == 0; }
};

// Windows come and go between a look at them and the next request: the
// errors that follow are no fault of the program under test.
int IgnoreXError(Display*, XErrorEvent*) { return 0; }

class TDisplay {
 public:
  TDisplay() : D(XOpenDisplay(nullptr)) {
    XSetErrorHandler(IgnoreXError);
    if (!D) {
      std::fputs("tessel-monkey: no X display (run under xvfb-run)\n", stderr);
      std::exit(2);
    }
    int event = 0, error = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(D, &event, &error, &major, &minor)) {
      std::fputs("tessel-monkey: the X server has no XTEST\n", stderr);
      std::exit(2);
    }
    Root = DefaultRootWindow(D);
    XSelectInput(D, Root, SubstructureNotifyMask | StructureNotifyMask);
    WmProtocols = XInternAtom(D, "WM_PROTOCOLS", False);
    Ping = XInternAtom(D, "_NET_WM_PING", False);
    UserTimeAtom = XInternAtom(D, "_NET_WM_USER_TIME", False);
    Delete = XInternAtom(D, "WM_DELETE_WINDOW", False);
    ScreenWidth = DisplayWidth(D, DefaultScreen(D));
    ScreenHeight = DisplayHeight(D, DefaultScreen(D));
  }
  ~TDisplay() { XCloseDisplay(D); }

  // Viewable top-level windows, bottom to top.
  std::vector<TWindow> Windows() {
    std::vector<TWindow> list;
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(D, Root, &root, &parent, &children, &count)) return list;
    for (unsigned i = 0; i < count; ++i) {
      XWindowAttributes a{};
      if (!XGetWindowAttributes(D, children[i], &a) || a.map_state != IsViewable || a.c_class != InputOutput)
        continue;
      TWindow w{children[i], a.x, a.y, a.width, a.height, a.override_redirect != 0, {}};
      char* name = nullptr;
      if (XFetchName(D, children[i], &name) && name) {
        w.Title = name;
        XFree(name);
      }
      if (w.Width > 1 && w.Height > 1) list.push_back(w);
    }
    if (children) XFree(children);
    return list;
  }

  // The main window: the program's first top-level that takes pings (as
  // every window of the program does; it comes first).
  std::optional<TWindow> MainWindow() {
    for (const TWindow& w : Windows())
      if (!w.Popup && TakesPing(w.Id)) return w;
    return std::nullopt;
  }

  // Whether the program's event loop still runs: a press of the Shift key
  // does nothing in any widget, but the program notes the time of every
  // key it takes on the window that takes it (_NET_WM_USER_TIME). True
  // when one of its windows notes the press within the time.
  // The topmost window is asked every two seconds, twice: a Shift key (a
  // dialog only just mapped may not have the focus yet, and the key then
  // goes to a window its modality blocks) and a ping, which the event loop
  // answers whatever has the focus.
  bool Answers(std::chrono::seconds limit) {
    std::vector<std::pair<Window, long>> before;
    for (const TWindow& w : Windows()) before.emplace_back(w.Id, UserTime(w.Id));
    const auto until = Clock::now() + limit;
    auto nextAsk = Clock::now();
    std::vector<Window> pinged;
    while (Clock::now() < until) {
      if (Clock::now() >= nextAsk) {
        const std::vector<TWindow> now = Windows();
        for (auto w = now.rbegin(); w != now.rend(); ++w)
          if (!IsPopup(w->Id)) {
            Focus(w->Id);
            SendPing(w->Id);
            pinged.push_back(w->Id);
            break;
          }
        Press(XK_Shift_L);
        Sync();
        nextAsk = Clock::now() + std::chrono::seconds(2);
      }
      for (const auto& [id, time] : before)
        if (UserTime(id) != time) return true;
      while (XPending(D)) {
        XEvent got{};
        XNextEvent(D, &got);
        if (got.type == ClientMessage && got.xclient.message_type == WmProtocols &&
            Atom(got.xclient.data.l[0]) == Ping &&
            std::find(pinged.begin(), pinged.end(), Window(got.xclient.data.l[2])) != pinged.end())
          return true;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }

  // The answer comes to the root window, whose structure events we take.
  void SendPing(Window target) { SendProtocol(target, Ping); }
  void CloseWindow(Window target) { SendProtocol(target, Delete); }

  // A WM_PROTOCOLS message, as a window manager sends it.
  void SendProtocol(Window target, Atom protocol) {
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = target;
    e.xclient.message_type = WmProtocols;
    e.xclient.format = 32;
    e.xclient.data.l[0] = long(protocol);
    e.xclient.data.l[1] = CurrentTime;
    e.xclient.data.l[2] = long(target);
    XSendEvent(D, target, False, NoEventMask, &e);
    XFlush(D);
  }

  void Focus(Window w) {
    XSetInputFocus(D, w, RevertToPointerRoot, CurrentTime);
    XSync(D, False);
  }
  void MoveTo(int x, int y) { XTestFakeMotionEvent(D, -1, x, y, CurrentTime); }
  void Button(unsigned button, bool down) { XTestFakeButtonEvent(D, button, down, CurrentTime); }
  void Click(unsigned button) {
    Button(button, true);
    Button(button, false);
  }
  void Key(KeySym sym, bool down) {
    const KeyCode code = XKeysymToKeycode(D, sym);
    if (code) XTestFakeKeyEvent(D, code, down, CurrentTime);
  }
  // A key with its modifiers held.
  void Press(KeySym sym, const std::vector<KeySym>& modifiers = {}) {
    for (KeySym m : modifiers) Key(m, true);
    Key(sym, true);
    Key(sym, false);
    for (auto m = modifiers.rbegin(); m != modifiers.rend(); ++m) Key(*m, false);
  }
  void Sync() { XSync(D, False); }

  int ScreenWidth = 0, ScreenHeight = 0;

 private:
  long UserTime(Window w) {
    Atom type = 0;
    int format = 0;
    unsigned long items = 0, left = 0;
    unsigned char* data = nullptr;
    long time = -1;
    if (XGetWindowProperty(D, w, UserTimeAtom, 0, 1, False, XA_CARDINAL, &type, &format, &items, &left, &data) ==
            Success &&
        data && items == 1 && format == 32)
      time = *reinterpret_cast<long*>(data);
    if (data) XFree(data);
    return time;
  }
  bool IsPopup(Window w) {
    XWindowAttributes a{};
    return XGetWindowAttributes(D, w, &a) && a.override_redirect;
  }

  bool TakesPing(Window w) {
    Atom* protocols = nullptr;
    int count = 0;
    bool yes = false;
    if (XGetWMProtocols(D, w, &protocols, &count)) {
      for (int i = 0; i < count; ++i) yes = yes || protocols[i] == Ping;
      XFree(protocols);
    }
    return yes;
  }

  Display* D;
  Window Root = 0;
  Atom WmProtocols = 0, Ping = 0, Delete = 0, UserTimeAtom = 0;
};

// ---------------------------------------------------------------- random input

class TMonkey {
 public:
  TMonkey(TDisplay& display, std::uint32_t seed) : X(display), Random(seed) {}

  // One random action on the window on top; returns what it did.
  std::string Act() {
    const std::vector<TWindow> windows = X.Windows();
    if (windows.empty()) return "nothing shown";
    const TWindow& top = windows.back();
    const int kind = Pick(100);
    if (top.FileDialog()) return FileDialogAnswer(top);
    if (kind < 40) return ClickIn(top);
    if (kind < 52) return DragIn(top);
    if (kind < 60) return WheelIn(top);
    if (kind < 75) return Typed(top);
    if (kind < 95) return AKey(top);
    return Shortcut(top);
  }

 private:
  int Pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(Random); }
  template <class T>
  const T& OneOf(const std::vector<T>& items) {
    return items[std::size_t(Pick(int(items.size())))];
  }
  void PointIn(const TWindow& w) { X.MoveTo(w.X + Pick(w.Width), w.Y + Pick(w.Height)); }
  void FocusTop(const TWindow& w) {
    if (!w.Popup) X.Focus(w.Id);
  }

  std::string ClickIn(const TWindow& w) {
    PointIn(w);
    const int how = Pick(10);
    const unsigned button = how < 7 ? 1 : how < 9 ? 3 : 2;
    X.Click(button);
    if (Pick(8) == 0) X.Click(button);  // a double click
    return "click " + std::to_string(button);
  }

  std::string DragIn(const TWindow& w) {
    PointIn(w);
    const unsigned button = Pick(5) == 0 ? 3 : 1;
    X.Button(button, true);
    const int steps = 2 + Pick(8);
    for (int i = 0; i < steps; ++i) {
      // Drags may leave the window, as a line dropped past the edge does.
      X.MoveTo(std::clamp(w.X - 20 + Pick(w.Width + 40), 0, X.ScreenWidth - 1),
               std::clamp(w.Y - 20 + Pick(w.Height + 40), 0, X.ScreenHeight - 1));
      X.Sync();
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    X.Button(button, false);
    return "drag";
  }

  std::string WheelIn(const TWindow& w) {
    PointIn(w);
    const bool control = Pick(3) == 0;
    if (control) X.Key(XK_Control_L, true);
    const unsigned button = 4 + unsigned(Pick(4));  // up, down, left, right
    for (int i = 1 + Pick(4); i > 0; --i) X.Click(button);
    if (control) X.Key(XK_Control_L, false);
    return "wheel";
  }

  // Numbers mostly: what the position and quality boxes take.
  std::string Typed(const TWindow& w) {
    FocusTop(w);
    const std::vector<KeySym> chars = {XK_0, XK_1, XK_2, XK_3, XK_4, XK_5, XK_6, XK_7,
                                       XK_8, XK_9, XK_minus, XK_a, XK_x, XK_period};
    for (int i = 1 + Pick(5); i > 0; --i) X.Press(OneOf(chars));
    if (Pick(3) == 0) X.Press(Pick(2) ? XK_Return : XK_Tab);
    return "typed";
  }

  std::string AKey(const TWindow& w) {
    FocusTop(w);
    const std::vector<KeySym> keys = {XK_Escape, XK_Return, XK_Tab,   XK_space, XK_Left,      XK_Right,
                                      XK_Up,     XK_Down,   XK_Prior, XK_Next,  XK_Home,      XK_End,
                                      XK_Delete, XK_F1,     XK_F10,   XK_Menu,  XK_BackSpace, XK_plus};
    const KeySym key = OneOf(keys);
    if (Pick(4) == 0)
      X.Press(key, {XK_Shift_L});
    else
      X.Press(key);
    return "key";
  }

  // Menu mnemonics and the program's own shortcuts.
  std::string Shortcut(const TWindow& w) {
    FocusTop(w);
    const std::vector<KeySym> letters = {XK_f, XK_e, XK_t, XK_o, XK_h, XK_l, XK_s, XK_x, XK_y, XK_c, XK_g, XK_r};
    const KeySym key = OneOf(letters);
    X.Press(key, {KeySym(Pick(2) ? XK_Control_L : XK_Alt_L)});
    return "shortcut";
  }

  // A file name typed into the name box, then Return or Escape. No clicks
  // and no keys that go to a parent folder: the dialog stays in the folder
  // it opened in, or goes into one below.
  std::string FileDialogAnswer(const TWindow& w) {
    FocusTop(w);
    const int how = Pick(10);
    if (how < 3) {
      X.Press(XK_Escape);
      return "file dialog: escape";
    }
    if (how < 5) {
      X.Press(OneOf(std::vector<KeySym>{XK_Tab, XK_Down, XK_Up}));
      return "file dialog: key";
    }
    const std::vector<KeySym> chars = {XK_a, XK_b, XK_p, XK_1, XK_2, XK_x};
    for (int i = 1 + Pick(4); i > 0; --i) X.Press(OneOf(chars));
    const std::vector<std::vector<KeySym>> endings = {
        {}, {XK_period, XK_p, XK_n, XK_g}, {XK_period, XK_h, XK_t, XK_m, XK_l}, {XK_period, XK_g, XK_r, XK_d}};
    for (KeySym k : OneOf(endings)) X.Press(k);
    X.Press(XK_Return);
    return "file dialog: name";
  }

  TDisplay& X;
  std::mt19937 Random;
};

// ---------------------------------------------------------------- the run

int Fail(const TOptions& o, const std::string& why, TDisplay& x) {
  std::fprintf(stderr, "tessel-monkey: FAILED with seed %u: %s\nwindows, bottom to top:\n", o.Seed, why.c_str());
  for (const TWindow& w : x.Windows())
    std::fprintf(stderr, "  %#lx %dx%d+%d+%d%s \"%s\"\n", w.Id, w.Width, w.Height, w.X, w.Y,
                 w.Popup ? " popup" : "", w.Title.c_str());
  return 1;
}

bool WaitForMainWindow(TDisplay& x, pid_t pid, std::chrono::seconds limit) {
  const auto until = Clock::now() + limit;
  while (Clock::now() < until && Ended(pid).empty()) {
    if (x.MainWindow()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return false;
}

// Escape and close whatever is on top until the program ends; its exit
// status is then the sanitizers' verdict. "stalled" when nothing changed on
// the screen for the time; "busy" when windows kept coming until the end
// (an export with links and ALT texts shows a dialog for every slice, and
// the monkey may have made thousands of cells).
std::string CloseProgram(TDisplay& x, pid_t pid, std::chrono::seconds stall, std::chrono::seconds limit) {
  const auto until = Clock::now() + limit;
  auto changed = Clock::now();
  std::vector<Window> last;
  while (Clock::now() < until) {
    const std::string end = Ended(pid);
    if (!end.empty()) return end;
    const std::vector<TWindow> windows = x.Windows();
    std::vector<Window> ids;
    for (const TWindow& w : windows) ids.push_back(w.Id);
    if (ids != last) changed = Clock::now(), last = ids;
    if (Clock::now() - changed > stall) return "stalled";
    if (!windows.empty()) {
      const TWindow& top = windows.back();
      if (!top.Popup) x.Focus(top.Id);
      // "Save the grid?" stays until answered (Escape is its Cancel): Don't
      // Save, once the box has taken the focus.
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      x.Press(XK_n, {XK_Alt_L});
      x.Sync();
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
      x.Press(XK_Escape);
      if (!top.Popup) x.CloseWindow(top.Id);
      x.Sync();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return "busy";
}

}  // namespace

int main(int argc, char** argv) {
  const TOptions o = ParseOptions(argc, argv);
  std::printf("tessel-monkey: seed %u, %d events, at most %d s\n", o.Seed, o.Events, o.Seconds);
  std::fflush(stdout);
  const TSandbox box = MakeSandbox(o);
  TDisplay x;
  pid_t pid = StartProgram(box);
  int status = 0;
  std::string why;
  if (!WaitForMainWindow(x, pid, std::chrono::seconds(60))) {
    why = "no main window within 60 s (" + Ended(pid) + ")";
  } else {
    TMonkey monkey(x, o.Seed);
    const auto until = Clock::now() + std::chrono::seconds(o.Seconds);
    int done = 0;
    // Whether the program has ended, and what follows: File > Exit, or the
    // main window closed, is a user's own choice and the sanitizers'
    // verdict on everything before, and the program starts again; any other
    // end is the failure.
    const auto ended = [&](int at) {
      const std::string end = Ended(pid);
      if (end == "exit 0") {
        std::printf("tessel-monkey: the program closed at event %d; started again\n", at);
        pid = StartProgram(box);
        if (!WaitForMainWindow(x, pid, std::chrono::seconds(60))) why = "no main window after a restart";
      } else if (!end.empty()) {
        why = "the program ended (" + end + ") at event " + std::to_string(at);
      }
      return !end.empty();
    };
    for (; done < o.Events && Clock::now() < until && why.empty(); ++done) {
      monkey.Act();
      x.Sync();
      std::this_thread::sleep_for(std::chrono::milliseconds(8));
      if (ended(done) || done % 50 != 49 || x.Answers(std::chrono::seconds(30)) || ended(done)) continue;
      why = "no answer within 30 s at event " + std::to_string(done);
      // Where it stands, for the report: every thread's stack, where a
      // debugger is at hand.
      const std::string gdb = "gdb -p " + std::to_string(pid) +
                              " -batch -ex 'thread apply all bt 30' >&2 2>/dev/null </dev/null";
      if (std::system("command -v gdb >/dev/null") == 0 && std::system(gdb.c_str()) != 0)
        std::fputs("tessel-monkey: gdb could not attach\n", stderr);
    }
    std::printf("tessel-monkey: %d events sent\n", done);
    if (why.empty()) {
      const std::string end = CloseProgram(x, pid, std::chrono::seconds(30), std::chrono::seconds(120));
      if (end == "stalled")
        why = "the program did not close, nor change its windows for 30 s";
      else if (end == "busy")
        std::printf("tessel-monkey: still answering dialogs after 120 s of closing: stopped without "
                    "the sanitizers' verdict at the end\n");
      else if (end != "exit 0")
        why = "the program ended with " + end + " when closed";
    }
  }
  if (!why.empty()) status = Fail(o, why, x);
  if (!why.empty() || Ended(pid).empty()) kill(-pid, SIGKILL);
  Ended(pid, true);
  std::error_code ignored;
  fs::remove_all(box.Root, ignored);
  if (status == 0) std::printf("tessel-monkey: the program held\n");
  return status;
}
