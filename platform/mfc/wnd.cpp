// Windows, message tables, controls, dialogs and the application object of
// our framework.  Everything runs on the thread that runs the dialog.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>

#include <shellapi.h>

#include "mfc_internal.h"
#include "velmi_platform.h"

namespace velmi_mfc {

namespace {
std::set<Window*>& LiveWindows() {
  static auto* s = new std::set<Window*>;
  return *s;
}
}  // namespace

Window* FromHwnd(HWND hwnd) {
  auto* w = reinterpret_cast<Window*>(hwnd);
  return w && LiveWindows().count(w) ? w : nullptr;
}

Window* Window::Child(int childId) const {
  for (auto& c : children)
    if (c->id == childId) return c.get();
  return nullptr;
}

Window* Window::Dialog() {
  Window* w = this;
  while (w->parent) w = w->parent;
  return w;
}

std::string WithoutMnemonic(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = (unsigned char)text[i];
    if (((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) && i + 1 < text.size()) {
      out += text[i];
      out += text[++i];
      continue;
    }
    if (c == '&') {
      if (i + 1 < text.size() && text[i + 1] == '&') out += text[++i];
      continue;
    }
    out += text[i];
  }
  return out;
}

const VelmiIconImage* IconImage(HICON icon) { return reinterpret_cast<const VelmiIconImage*>(icon); }

// Delivers a message to the object bound to the window (or its plain one).
LRESULT Deliver(Window* w, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!w) return 0;
  return CWnd::FromHandle(ToHwnd(w))->WindowProc(message, wParam, lParam);
}

void UserClicked(Window* control) {
  Window* dialog = control->Dialog();
  if (!control->Enabled() || dialog->ended) return;
  Deliver(dialog, WM_COMMAND, MAKEWPARAM(control->id, BN_CLICKED), LPARAM(ToHwnd(control)));
}

void UserSelected(Window* control, int index) {
  Window* dialog = control->Dialog();
  if (!control->Enabled() || dialog->ended) return;
  control->selection = index >= 0 && index < int(control->items.size()) ? index : -1;
  Deliver(dialog, WM_COMMAND, MAKEWPARAM(control->id, CBN_SELCHANGE), LPARAM(ToHwnd(control)));
}

void DeliverTimer(Window* dialog, UINT_PTR id) {
  if (!FromHwnd(ToHwnd(dialog)) || dialog->ended || !dialog->timers.count(id)) return;
  Deliver(dialog, WM_TIMER, WPARAM(id), 0);
}

void UserDropped(Window* control, const std::vector<std::string>& sjisPaths) {
  if (!(control->exStyle & WS_EX_ACCEPTFILES) || sjisPaths.empty()) return;
  auto* drop = NewDrop(sjisPaths);
  Deliver(control, WM_DROPFILES, WPARAM(drop), 0);
  // The drop belongs to the receiver, which may release it with DragFinish;
  // what it leaves is released here.
  DragFinish(reinterpret_cast<HDROP>(drop));
}

std::string LayerPathFromLinux(const std::string& linuxPath) {
  std::string sjis = Utf8ToSjis(linuxPath);
  for (char& c : sjis)
    if (c == '/') c = '\\';
  return sjis;
}

std::string SjisToUtf8(const std::string& sjis) {
  if (sjis.empty()) return {};
  int n = MultiByteToWideChar(932, 0, sjis.data(), int(sjis.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string w(size_t(n), u'\0');
  MultiByteToWideChar(932, 0, sjis.data(), int(sjis.size()), reinterpret_cast<LPWSTR>(w.data()), n);
  int m = WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(w.data()), n, nullptr, 0, nullptr, nullptr);
  if (m <= 0) return {};
  std::string out(size_t(m), '\0');
  WideCharToMultiByte(CP_UTF8, 0, reinterpret_cast<LPCWSTR>(w.data()), n, out.data(), m, nullptr, nullptr);
  return out;
}

std::string Utf8ToSjis(const std::string& utf8) {
  if (utf8.empty()) return {};
  int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string w(size_t(n), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), reinterpret_cast<LPWSTR>(w.data()), n);
  int m = WideCharToMultiByte(932, 0, reinterpret_cast<LPCWSTR>(w.data()), n, nullptr, 0, nullptr, nullptr);
  if (m <= 0) return {};
  std::string out(size_t(m), '\0');
  WideCharToMultiByte(932, 0, reinterpret_cast<LPCWSTR>(w.data()), n, out.data(), m, nullptr, nullptr);
  return out;
}

namespace {

bool g_forceHeadless = false;

std::unique_ptr<Window> BuildDialog(const VelmiDialogTemplate& t) {
  auto dialog = std::make_unique<Window>();
  dialog->isDialog = true;
  dialog->tmpl = &t;
  dialog->text = t.caption ? t.caption : "";
  dialog->style = t.style;
  dialog->exStyle = t.exStyle;
  dialog->cx = t.cx;
  dialog->cy = t.cy;
  for (int i = 0; i < t.controlCount; ++i) {
    const VelmiControlTemplate& c = t.controls[i];
    auto w = std::make_unique<Window>();
    w->kind = c.kind;
    w->id = c.id;
    w->text = c.text ? c.text : "";
    w->style = c.style | WS_CHILD;
    w->exStyle = c.exStyle;
    w->x = c.x;
    w->y = c.y;
    w->cx = c.cx;
    w->cy = c.cy;
    for (const char* const* it = c.items; it && *it; ++it) w->items.emplace_back(*it);
    w->parent = dialog.get();
    LiveWindows().insert(w.get());
    dialog->children.push_back(std::move(w));
  }
  LiveWindows().insert(dialog.get());
  return dialog;
}

void Unbind(Window* w) {
  LiveWindows().erase(w);
  if (w->attached) w->attached->m_hWnd = nullptr;
  w->attached = nullptr;
  if (w->plain) w->plain->m_hWnd = nullptr;
  for (auto& c : w->children) Unbind(c.get());
}

}  // namespace

void UseHeadless(bool headless) { g_forceHeadless = headless; }

bool IsHeadless() {
  if (g_forceHeadless) return true;
  const char* h = std::getenv("VELMI_HEADLESS");
  if (h && std::strcmp(h, "1") == 0) return true;
  const char* d = std::getenv("DISPLAY");
  const char* wl = std::getenv("WAYLAND_DISPLAY");
  return !((d && *d) || (wl && *wl));
}

Host& CurrentHost() {
  if (!IsHeadless())
    if (Host* gtk = GtkHost()) return *gtk;
  return HeadlessHost();
}

bool InWindow() { return &CurrentHost() != &HeadlessHost(); }

RECT DialogClientRect(int cxDialogUnits, int cyDialogUnits) {
  RECT r{0, 0, DuToPixelsX(cxDialogUnits), DuToPixelsY(cyDialogUnits)};
  return r;
}

}  // namespace velmi_mfc

using namespace velmi_mfc;

// ---- Run-time classes -------------------------------------------------------
namespace {
CRuntimeClass* g_classes = nullptr;
}

CRuntimeClass CObject::classCObject = {"CObject", nullptr, nullptr, nullptr};

CObject* CRuntimeClass::CreateObject() const { return m_pfnCreateObject ? m_pfnCreateObject() : nullptr; }

BOOL CRuntimeClass::IsDerivedFrom(const CRuntimeClass* base) const {
  for (const CRuntimeClass* c = this; c; c = c->m_pBaseClass)
    if (c == base) return TRUE;
  return FALSE;
}

CRuntimeClass* CRuntimeClass::FromName(const char* name) {
  for (CRuntimeClass* c = g_classes; c; c = c->m_pNextClass)
    if (name && std::strcmp(c->m_lpszClassName, name) == 0) return c;
  return nullptr;
}

VelmiClassInit::VelmiClassInit(CRuntimeClass* c) {
  c->m_pNextClass = g_classes;
  g_classes = c;
}

CObject::~CObject() = default;
CRuntimeClass* CObject::GetRuntimeClass() const { return &classCObject; }
BOOL CObject::IsKindOf(const CRuntimeClass* c) const { return GetRuntimeClass()->IsDerivedFrom(c); }

// ---- Message tables -----------------------------------------------------------
const VelmiMsgMap* CCmdTarget::GetThisMessageMap() {
  static const VelmiMsgEntry entries[] = {{0, 0, 0, nullptr}};
  static const VelmiMsgMap map = {nullptr, entries};
  return &map;
}
const VelmiMsgMap* CCmdTarget::GetMessageMap() const { return GetThisMessageMap(); }

BOOL CCmdTarget::DispatchFromMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) {
  for (const VelmiMsgMap* map = GetMessageMap(); map; map = map->base ? map->base() : nullptr) {
    for (const VelmiMsgEntry* e = map->entries; e->message; ++e) {
      if (e->message != message) continue;
      if (message == WM_COMMAND && (e->code != HIWORD(wParam) || e->id != LOWORD(wParam))) continue;
      *result = e->handler(this, wParam, lParam);
      return TRUE;
    }
  }
  return FALSE;
}

// ---- CWnd -------------------------------------------------------------------
const VelmiMsgMap* CWnd::GetThisMessageMap() {
  static const VelmiMsgEntry entries[] = {{0, 0, 0, nullptr}};
  static const VelmiMsgMap map = {&CCmdTarget::GetThisMessageMap, entries};
  return &map;
}
const VelmiMsgMap* CWnd::GetMessageMap() const { return GetThisMessageMap(); }

CWnd::CWnd() = default;

CWnd::~CWnd() {
  if (Window* w = FromHwnd(m_hWnd))
    if (w->attached == this) w->attached = nullptr;
}

BOOL CWnd::Attach(HWND hwnd) {
  Window* w = FromHwnd(hwnd);
  if (!w || m_hWnd) return FALSE;
  w->attached = this;
  m_hWnd = hwnd;
  return TRUE;
}

HWND CWnd::Detach() {
  HWND h = m_hWnd;
  if (Window* w = FromHwnd(h))
    if (w->attached == this) w->attached = nullptr;
  m_hWnd = nullptr;
  return h;
}

BOOL CWnd::SubclassDlgItem(UINT id, CWnd* parent) {
  Window* p = parent ? FromHwnd(parent->m_hWnd) : nullptr;
  Window* c = p ? p->Child(int(id)) : nullptr;
  if (!c || c->attached) return FALSE;
  return Attach(ToHwnd(c));
}

CWnd* CWnd::FromHandle(HWND hwnd) {
  Window* w = FromHwnd(hwnd);
  if (!w) return nullptr;
  if (w->attached) return w->attached;
  if (!w->plain) {
    w->plain = std::make_unique<CWnd>();
    w->plain->m_hWnd = hwnd;
  }
  return w->plain.get();
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return 0;
  return Deliver(w, message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  Current saved = m_current;
  m_current = {message, wParam, lParam};
  LRESULT result = 0;
  if (!DispatchFromMap(message, wParam, lParam, &result)) result = DefWindowProc(message, wParam, lParam);
  m_current = saved;
  return result;
}

LRESULT CWnd::Default() { return DefWindowProc(m_current.message, m_current.wParam, m_current.lParam); }

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return 0;
  switch (message) {
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_CLOSE:
          return SendMessage(WM_CLOSE);
        case SC_MINIMIZE:
          w->iconic = true;
          return 0;
        case SC_RESTORE:
          w->iconic = false;
          return 0;
      }
      return 0;
    case WM_QUERYDRAGICON:
      return 0;
    default:
      return 0;
  }
}

CWnd* CWnd::GetDlgItem(int id) const {
  Window* w = FromHwnd(m_hWnd);
  Window* c = w ? w->Child(id) : nullptr;
  return c ? FromHandle(ToHwnd(c)) : nullptr;
}

CWnd* CWnd::GetParent() const {
  Window* w = FromHwnd(m_hWnd);
  return w && w->parent ? FromHandle(ToHwnd(w->parent)) : nullptr;
}

int CWnd::GetDlgCtrlID() const {
  Window* w = FromHwnd(m_hWnd);
  return w ? w->id : 0;
}

void CWnd::SetWindowText(LPCSTR text) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return;
  std::string t = text ? text : "";
  if (t == w->text) return;
  w->text = std::move(t);
  CurrentHost().Changed(w, Change::Text);
}

int CWnd::GetWindowText(LPSTR text, int capacity) const {
  Window* w = FromHwnd(m_hWnd);
  if (!w || !text || capacity <= 0) return 0;
  size_t n = std::min(w->text.size(), size_t(capacity - 1));
  std::memcpy(text, w->text.data(), n);
  text[n] = 0;
  return int(n);
}

void CWnd::SetDlgItemText(int id, LPCSTR text) {
  if (CWnd* c = GetDlgItem(id)) c->SetWindowText(text);
}

UINT CWnd::GetDlgItemText(int id, LPSTR text, int capacity) const {
  CWnd* c = GetDlgItem(id);
  if (!c) {
    if (text && capacity > 0) text[0] = 0;
    return 0;
  }
  return UINT(c->GetWindowText(text, capacity));
}

void CWnd::CheckDlgButton(int id, UINT check) {
  Window* w = FromHwnd(m_hWnd);
  Window* c = w ? w->Child(id) : nullptr;
  if (!c || c->check == int(check)) return;
  c->check = int(check);
  CurrentHost().Changed(c, Change::Check);
}

UINT CWnd::IsDlgButtonChecked(int id) const {
  Window* w = FromHwnd(m_hWnd);
  Window* c = w ? w->Child(id) : nullptr;
  return c ? UINT(c->check) : 0;
}

void CWnd::CheckRadioButton(int firstId, int lastId, int checkId) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return;
  for (auto& c : w->children) {
    if (c->id < firstId || c->id > lastId) continue;
    int want = c->id == checkId ? 1 : 0;
    if (c->check != want) {
      c->check = want;
      CurrentHost().Changed(c.get(), Change::Check);
    }
  }
}

int CWnd::GetCheckedRadioButton(int firstId, int lastId) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return 0;
  for (int id = firstId; id <= lastId; ++id)
    if (Window* c = w->Child(id); c && c->check) return id;
  return 0;
}

DWORD CWnd::GetStyle() const {
  Window* w = FromHwnd(m_hWnd);
  return w ? w->style : 0;
}

DWORD CWnd::GetExStyle() const {
  Window* w = FromHwnd(m_hWnd);
  return w ? w->exStyle : 0;
}

BOOL CWnd::ModifyStyle(DWORD remove, DWORD add, UINT) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return FALSE;
  DWORD style = (w->style & ~remove) | add;
  if (style == w->style) return FALSE;
  w->style = style;
  CurrentHost().Changed(w, Change::Style);
  return TRUE;
}

BOOL CWnd::EnableWindow(BOOL enable) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return FALSE;
  BOOL wasDisabled = !w->Enabled();
  ModifyStyle(enable ? WS_DISABLED : 0, enable ? 0 : WS_DISABLED);
  return wasDisabled;
}

BOOL CWnd::IsWindowEnabled() const {
  Window* w = FromHwnd(m_hWnd);
  return w && w->Enabled();
}

void CWnd::Invalidate(BOOL) {
  if (Window* w = FromHwnd(m_hWnd)) CurrentHost().Invalidate(w);
}

BOOL CWnd::IsIconic() const {
  Window* w = FromHwnd(m_hWnd);
  return w && w->iconic;
}

void CWnd::GetClientRect(RECT* rect) const {
  Window* w = FromHwnd(m_hWnd);
  if (!rect) return;
  *rect = w ? DialogClientRect(w->cx, w->cy) : RECT{0, 0, 0, 0};
}

BOOL CWnd::ShowWindow(int cmdShow) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return FALSE;
  BOOL was = !w->iconic;
  w->iconic = cmdShow == SW_MINIMIZE;
  return was;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapse, void*) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return 0;
  Window* d = w->Dialog();
  d->timers[id] = elapse;
  CurrentHost().TimerSet(d, id, elapse);
  return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return FALSE;
  Window* d = w->Dialog();
  if (!d->timers.erase(id)) return FALSE;
  CurrentHost().TimerKilled(d, id);
  return TRUE;
}

namespace {

std::string BoxCaption(LPCSTR caption) {
  CWinApp* app = AfxGetApp();
  return caption ? caption : (app && app->m_pszAppName ? app->m_pszAppName : "");
}

}  // namespace

int CWnd::MessageBox(LPCSTR text, LPCSTR caption, UINT type) {
  Window* w = FromHwnd(m_hWnd);
  const std::string sjis = text ? text : "";
  return CurrentHost().MessageBox(w ? w->Dialog() : nullptr,
                                  MessageBoxCall{sjis, BoxCaption(caption), type, SjisToUtf8(sjis)});
}

namespace velmi_mfc {

int MessageBoxUtf8(CWnd* owner, const std::string& utf8, LPCSTR caption, UINT type) {
  Window* w = owner ? FromHwnd(owner->m_hWnd) : nullptr;
  return CurrentHost().MessageBox(w ? w->Dialog() : nullptr,
                                  MessageBoxCall{Utf8ToSjis(utf8), BoxCaption(caption), type, utf8});
}

}  // namespace velmi_mfc

CMenu* CWnd::GetSystemMenu(BOOL) const {
  Window* w = FromHwnd(m_hWnd);
  if (!w || !w->isDialog || !(w->style & WS_SYSMENU)) return nullptr;
  if (!w->sysMenuObject) {
    w->sysMenuObject = std::make_unique<CMenu>();
    w->sysMenuObject->m_hMenu = reinterpret_cast<HMENU>(w);
  }
  return w->sysMenuObject.get();
}

HICON CWnd::SetIcon(HICON icon, BOOL big) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return nullptr;
  HICON old = w->icons[big ? 1 : 0];
  w->icons[big ? 1 : 0] = icon;
  CurrentHost().Changed(w, Change::Icon);
  return old;
}

HICON CWnd::GetIcon(BOOL big) const {
  Window* w = FromHwnd(m_hWnd);
  return w ? w->icons[big ? 1 : 0] : nullptr;
}

BOOL CWnd::UpdateData(BOOL saveAndValidate) {
  CDataExchange dx{saveAndValidate, this};
  DoDataExchange(&dx);
  return TRUE;
}

void CWnd::DoDataExchange(CDataExchange*) {}

void CWnd::OnSysCommand(UINT, LPARAM) { Default(); }
void CWnd::OnPaint() { Default(); }
void CWnd::OnTimer(UINT_PTR) { Default(); }
void CWnd::OnDestroy() { Default(); }
void CWnd::OnDropFiles(HDROP) { Default(); }
HCURSOR CWnd::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(Default()); }

// ---- Controls -----------------------------------------------------------------
int CButton::GetCheck() const {
  Window* w = FromHwnd(m_hWnd);
  return w ? w->check : 0;
}

void CButton::SetCheck(int check) {
  Window* w = FromHwnd(m_hWnd);
  if (!w || w->check == check) return;
  w->check = check;
  CurrentHost().Changed(w, Change::Check);
}

int CComboBox::GetCurSel() const {
  Window* w = FromHwnd(m_hWnd);
  return w ? w->selection : -1;
}

int CComboBox::SetCurSel(int select) {
  Window* w = FromHwnd(m_hWnd);
  if (!w) return -1;
  int s = select >= 0 && select < int(w->items.size()) ? select : -1;
  if (s != w->selection) {
    w->selection = s;
    CurrentHost().Changed(w, Change::Selection);
  }
  return s;
}

int CComboBox::GetCount() const {
  Window* w = FromHwnd(m_hWnd);
  return w ? int(w->items.size()) : 0;
}

BOOL CMenu::AppendMenu(UINT flags, UINT_PTR id, LPCSTR text) {
  Window* w = FromHwnd(reinterpret_cast<HWND>(m_hMenu));
  if (!w) return FALSE;
  if (flags & MF_SEPARATOR)
    w->sysMenu.emplace_back(0, std::string());
  else
    w->sysMenu.emplace_back(UINT(id), text ? text : "");
  CurrentHost().Changed(w, Change::Menu);
  return TRUE;
}

// ---- Painting -----------------------------------------------------------------
namespace {
struct PaintContext {
  HWND hwnd;
};
IconDraw g_lastIcon;
}  // namespace

IconDraw velmi_mfc::LastIconDraw() { return g_lastIcon; }

CPaintDC::CPaintDC(CWnd* wnd) : m_wnd(wnd) {
  m_hDC = reinterpret_cast<HDC>(new PaintContext{wnd ? wnd->m_hWnd : nullptr});
}

CPaintDC::~CPaintDC() { delete reinterpret_cast<PaintContext*>(m_hDC); }

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
  if (!m_hDC || !icon) return FALSE;
  g_lastIcon = {x, y, icon};
  return TRUE;
}

// ---- Data exchange ----------------------------------------------------------------
void DDX_Control(CDataExchange* dx, int id, CWnd& control) {
  if (!control.m_hWnd && dx && dx->m_pDlgWnd) control.SubclassDlgItem(UINT(id), dx->m_pDlgWnd);
}

// ---- CDialog ------------------------------------------------------------------------
const VelmiMsgMap* CDialog::GetThisMessageMap() {
  static const VelmiMsgEntry entries[] = {{0, 0, 0, nullptr}};
  static const VelmiMsgMap map = {&CWnd::GetThisMessageMap, entries};
  return &map;
}
const VelmiMsgMap* CDialog::GetMessageMap() const { return GetThisMessageMap(); }

CDialog::CDialog(UINT templateId, CWnd* parent) : m_templateId(templateId), m_parentWnd(parent) {}

CDialog::~CDialog() { Detach(); }

INT_PTR CDialog::DoModal() {
  HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(m_templateId), VELMI_RT_DIALOG);
  const auto* t = res ? static_cast<const VelmiDialogTemplate*>(LockResource(LoadResource(nullptr, res))) : nullptr;
  if (!t || m_hWnd) return -1;
  std::unique_ptr<Window> dialog = BuildDialog(*t);
  Window* d = dialog.get();
  Attach(ToHwnd(d));
  Host& host = CurrentHost();
  host.Create(d);
  SendMessage(WM_INITDIALOG);
  if (!d->ended) host.Run(d);
  SendMessage(WM_DESTROY);
  for (auto& [id, ms] : std::map<UINT_PTR, UINT>(d->timers)) host.TimerKilled(d, id);
  d->timers.clear();
  host.Destroy(d);
  int result = d->result;
  Unbind(d);
  return result;
}

BOOL CDialog::OnInitDialog() {
  UpdateData(FALSE);
  return TRUE;
}

void CDialog::OnOK() {
  UpdateData(TRUE);
  EndDialog(IDOK);
}

void CDialog::OnCancel() { EndDialog(IDCANCEL); }

void CDialog::EndDialog(int result) {
  Window* w = FromHwnd(m_hWnd);
  if (!w || w->ended) return;
  w->ended = true;
  w->result = result;
  CurrentHost().Ended(w);
}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_CLOSE:
      return SendMessage(WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK && HIWORD(wParam) == BN_CLICKED) OnOK();
      if (LOWORD(wParam) == IDCANCEL && HIWORD(wParam) == BN_CLICKED) OnCancel();
      return 0;
    default:
      return CWnd::DefWindowProc(message, wParam, lParam);
  }
}

// ---- Application ----------------------------------------------------------------------
namespace {
CWinApp* g_app = nullptr;
}

const VelmiMsgMap* CWinApp::GetThisMessageMap() {
  static const VelmiMsgEntry entries[] = {{0, 0, 0, nullptr}};
  static const VelmiMsgMap map = {&CCmdTarget::GetThisMessageMap, entries};
  return &map;
}
const VelmiMsgMap* CWinApp::GetMessageMap() const { return GetThisMessageMap(); }

CWinApp::CWinApp(LPCSTR appName) : m_pszAppName(appName) { g_app = this; }
CWinApp::~CWinApp() {
  if (g_app == this) g_app = nullptr;
}
BOOL CWinApp::InitInstance() { return TRUE; }
int CWinApp::ExitInstance() { return 0; }
// A dialog program has no message loop after its dialog.
int CWinApp::Run() { return ExitInstance(); }
HICON CWinApp::LoadIcon(UINT id) const { return LoadIconA(nullptr, MAKEINTRESOURCEA(id)); }
void CWinApp::OnHelp() {}

CWinApp* AfxGetApp() { return g_app; }
BOOL AfxEnableControlContainer() { return TRUE; }

int __argc = 0;
char** __argv = nullptr;

int AfxWinMain(int argc, char** argv) {
  __argc = argc;
  __argv = argv;
  CWinApp* app = AfxGetApp();
  if (!app) return 1;
  if (!app->InitInstance()) return app->ExitInstance();
  return app->Run();
}

int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int capacity) {
  if (!buffer || capacity <= 0) return 0;
  buffer[0] = 0;
  HRSRC res = FindResourceA(instance, MAKEINTRESOURCEA(id), VELMI_RT_STRING);
  const char* text = res ? static_cast<const char*>(LockResource(LoadResource(instance, res))) : nullptr;
  if (!text) return 0;
  size_t n = strnlen(text, SizeofResource(instance, res));
  n = std::min(n, size_t(capacity - 1));
  std::memcpy(buffer, text, n);
  buffer[n] = 0;
  return int(n);
}

HICON LoadIconA(HINSTANCE instance, LPCSTR name) {
  HRSRC res = FindResourceA(instance, name, VELMI_RT_ICON);
  return res ? reinterpret_cast<HICON>(LockResource(LoadResource(instance, res))) : nullptr;
}

int VelmiIconWidth(HICON icon) { return icon ? IconImage(icon)->width : 0; }
int VelmiIconHeight(HICON icon) { return icon ? IconImage(icon)->height : 0; }

CRuntimeClass CCmdTarget::classCCmdTarget = {"CCmdTarget", nullptr, &CObject::classCObject, nullptr};
CRuntimeClass* CCmdTarget::GetRuntimeClass() const { return &classCCmdTarget; }
CRuntimeClass CWnd::classCWnd = {"CWnd", nullptr, &CCmdTarget::classCCmdTarget, nullptr};
CRuntimeClass* CWnd::GetRuntimeClass() const { return &classCWnd; }
CRuntimeClass CEdit::classCEdit = {"CEdit", nullptr, &CWnd::classCWnd, nullptr};
CRuntimeClass* CEdit::GetRuntimeClass() const { return &classCEdit; }
