// The headless host: controls live only in memory; a driver (a test, or
// the console driver) acts as the user.
#include <cstdio>
#include <utility>

#include "mfc_internal.h"
#include "velmi_platform.h"

namespace velmi_mfc {

namespace {

Driver g_driver;
std::function<int(const MessageBoxCall&)> g_answer;
std::vector<MessageBoxCall> g_boxes;
std::function<bool(const std::string&, std::string*)> g_folder;
bool g_console = false;
bool g_consoleFailed = false;

void Print(const std::string& sjis) {
  std::printf("%s\n", SjisToUtf8(sjis).c_str());
  std::fflush(stdout);
}

Window* Control(HWND dialog, int id) {
  Window* d = FromHwnd(dialog);
  if (!d) return nullptr;
  return id == 0 ? d : d->Child(id);
}

// The console driver: press the default button and follow the run.
void ConsoleDriver(HeadlessDialog& d) {
  Window* dialog = FromHwnd(d.Handle());
  Window* button = nullptr;
  for (auto& c : dialog->children)
    if (c->kind == VelmiControlKind::DefPushButton) button = c.get();
  if (!button) return;
  d.Click(button->id);
  // Enabled right after the press: refused.  Else follow until it is back.
  if (button->Enabled()) g_consoleFailed = true;
  while (!d.Ended() && !button->Enabled()) {
    Sleep(100);
    d.Tick();
  }
}

class Headless final : public Host {
 public:
  void Create(Window*) override {}
  void Run(Window* dialog) override {
    Driver driver = std::move(g_driver);
    g_driver = nullptr;
    g_console = !driver;
    if (!driver) driver = ConsoleDriver;
    HeadlessDialog h(ToHwnd(dialog));
    driver(h);
    if (!dialog->ended) h.Close();
    if (!dialog->ended) {  // the dialog refused to close: the driver is gone
      dialog->ended = true;
      dialog->result = IDCANCEL;
    }
    g_console = false;
  }
  void Destroy(Window*) override {}
  void Changed(Window* w, Change what) override {
    // On a terminal every new text shows; a log gets the dialog's own
    // progress lines (ConsoleProgressLine) instead of one line a tick.
    if (g_console && what == Change::Text && w->kind == VelmiControlKind::Label && !w->isDialog && !w->text.empty() &&
        VelmiStreamIsTerminal(1))
      Print(w->text);
  }
  void Ended(Window*) override {}
  void TimerSet(Window*, UINT_PTR, UINT) override {}
  void TimerKilled(Window*, UINT_PTR) override {}
  int MessageBox(Window*, const MessageBoxCall& call) override {
    g_boxes.push_back(call);
    if (g_console) {
      // A warning or an error is what went wrong: said once, where errors go.
      const UINT icon = call.type & 0xF0;
      if (icon == MB_ICONWARNING || icon == MB_ICONERROR) {
        g_consoleFailed = true;
        std::fprintf(stderr, "%s: %s\n", SjisToUtf8(call.caption).c_str(), call.utf8.c_str());
      } else {
        std::printf("[%s] %s\n", SjisToUtf8(call.caption).c_str(), call.utf8.c_str());
        std::fflush(stdout);
      }
    }
    return g_answer ? g_answer(call) : IDOK;
  }
  bool BrowseFolder(Window*, const std::string& title, std::string* path) override {
    return g_folder ? g_folder(title, path) : false;
  }
};

}  // namespace

Host& HeadlessHost() {
  static Headless host;
  return host;
}

void SetHeadlessDriver(Driver driver) { g_driver = std::move(driver); }
void SetMessageBoxAnswer(std::function<int(const MessageBoxCall&)> answer) { g_answer = std::move(answer); }
std::vector<MessageBoxCall> TakeMessageBoxLog() { return std::exchange(g_boxes, {}); }
bool ConsoleRunFailed() { return g_consoleFailed; }
void ConsoleReport(const std::string& text) {
  if (!g_console) return;
  g_consoleFailed = true;
  std::fprintf(stderr, "%s\n", SjisToUtf8(text).c_str());
}
void ConsoleReportUtf8(const std::string& utf8) {
  if (!g_console) return;
  g_consoleFailed = true;
  std::fprintf(stderr, "%s\n", utf8.c_str());
}
void ReportUtf8(const std::string& utf8) {
  if (g_console)
    ConsoleReportUtf8(utf8);
  else if (InWindow())
    std::fprintf(stderr, "%s\n", utf8.c_str());
}
void ConsoleSay(const std::string& text) {
  if (g_console || InWindow()) Print(text);
}
void ConsoleProgressLine(const std::string& utf8) {
  if (!g_console || VelmiStreamIsTerminal(1)) return;
  std::printf("%s\n", utf8.c_str());
  std::fflush(stdout);
}
void SetFolderAnswer(std::function<bool(const std::string&, std::string*)> answer) { g_folder = std::move(answer); }

CWnd* HeadlessDialog::Window() const { return CWnd::FromHandle(m_dialog); }
bool HeadlessDialog::Exists(int id) const { return Control(m_dialog, id) != nullptr; }

std::string HeadlessDialog::Text(int id) const {
  auto* w = Control(m_dialog, id);
  return w ? w->text : std::string();
}

bool HeadlessDialog::IsEnabled(int id) const {
  auto* w = Control(m_dialog, id);
  return w && w->Enabled();
}

int HeadlessDialog::Check(int id) const {
  auto* w = Control(m_dialog, id);
  return w ? w->check : 0;
}

int HeadlessDialog::Selection(int id) const {
  auto* w = Control(m_dialog, id);
  return w ? w->selection : -1;
}

std::vector<std::string> HeadlessDialog::Items(int id) const {
  auto* w = Control(m_dialog, id);
  return w ? w->items : std::vector<std::string>();
}

DWORD HeadlessDialog::Style(int id) const {
  auto* w = Control(m_dialog, id);
  return w ? w->style : 0;
}

RECT HeadlessDialog::Position(int id) const {
  auto* w = Control(m_dialog, id);
  return w ? RECT{w->x, w->y, w->cx, w->cy} : RECT{0, 0, 0, 0};
}

void HeadlessDialog::Click(int id) {
  velmi_mfc::Window* w = Control(m_dialog, id);
  if (!w || !w->Enabled() || w->Dialog()->ended) return;
  if (w->kind == VelmiControlKind::CheckBox) {
    w->check = w->check ? 0 : 1;
  } else if (w->kind == VelmiControlKind::RadioButton) {
    // The radio group runs from the control that starts it to the next one.
    auto& all = w->parent->children;
    size_t at = 0;
    while (all[at].get() != w) ++at;
    size_t first = at;
    while (first > 0 && !(all[first]->style & WS_GROUP)) --first;
    for (size_t i = first; i < all.size(); ++i) {
      if (i > first && (all[i]->style & WS_GROUP)) break;
      if (all[i]->kind == VelmiControlKind::RadioButton) all[i]->check = all[i].get() == w ? 1 : 0;
    }
  }
  UserClicked(w);
}

void HeadlessDialog::Select(int id, int index) {
  if (velmi_mfc::Window* w = Control(m_dialog, id)) UserSelected(w, index);
}

void HeadlessDialog::Tick() {
  velmi_mfc::Window* d = FromHwnd(m_dialog);
  if (!d) return;
  std::vector<UINT_PTR> ids;
  for (auto& [id, ms] : d->timers) ids.push_back(id);
  for (UINT_PTR id : ids) DeliverTimer(d, id);
}

bool HeadlessDialog::HasTimer(UINT_PTR id) const {
  velmi_mfc::Window* d = FromHwnd(m_dialog);
  return d && d->timers.count(id);
}

void HeadlessDialog::DropFiles(int id, const std::vector<std::string>& paths) {
  if (velmi_mfc::Window* w = Control(m_dialog, id)) UserDropped(w, paths);
}

void HeadlessDialog::SystemCommand(UINT command) { Send(WM_SYSCOMMAND, command, 0); }

void HeadlessDialog::SetIconic(bool iconic) {
  if (velmi_mfc::Window* d = FromHwnd(m_dialog)) d->iconic = iconic;
}

std::vector<std::pair<UINT, std::string>> HeadlessDialog::SystemMenu() const {
  velmi_mfc::Window* d = FromHwnd(m_dialog);
  return d ? d->sysMenu : std::vector<std::pair<UINT, std::string>>();
}

LRESULT HeadlessDialog::Send(UINT message, WPARAM wParam, LPARAM lParam) {
  CWnd* w = Window();
  return w ? w->SendMessage(message, wParam, lParam) : 0;
}

void HeadlessDialog::Close() { SystemCommand(SC_CLOSE); }

bool HeadlessDialog::Ended() const {
  velmi_mfc::Window* d = FromHwnd(m_dialog);
  return !d || d->ended;
}

}  // namespace velmi_mfc
