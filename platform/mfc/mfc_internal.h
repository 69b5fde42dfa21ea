// Inside of our dialog framework: the window records behind HWND and the
// host interface that the GTK and headless hosts implement.
#pragma once

#include <afxwin.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "velmi_mfc.h"

namespace velmi_mfc {

struct Window {
  bool isDialog = false;
  VelmiControlKind kind = VelmiControlKind::Label;
  int id = 0;
  std::string text;  // code page 932
  DWORD style = 0, exStyle = 0;
  short x = 0, y = 0, cx = 0, cy = 0;  // dialog units
  std::vector<std::string> items;
  int selection = -1;
  int check = 0;
  bool iconic = false;
  Window* parent = nullptr;
  std::vector<std::unique_ptr<Window>> children;
  CWnd* attached = nullptr;     // the object bound to the window
  std::unique_ptr<CWnd> plain;  // FromHandle's object when none is bound
  // Dialog only.
  const VelmiDialogTemplate* tmpl = nullptr;
  HICON icons[2] = {nullptr, nullptr};
  std::vector<std::pair<UINT, std::string>> sysMenu;  // appended items (0 = separator)
  std::unique_ptr<CMenu> sysMenuObject;
  std::map<UINT_PTR, UINT> timers;
  bool ended = false;
  int result = 0;
  void* hostData = nullptr;  // the host's widgets

  bool Enabled() const { return (style & WS_DISABLED) == 0; }
  Window* Child(int childId) const;
  Window* Dialog();
};

Window* FromHwnd(HWND hwnd);
inline HWND ToHwnd(Window* w) { return reinterpret_cast<HWND>(w); }

enum class Change { Text, Selection, Check, Style, Icon, Menu };

class Host {
 public:
  virtual ~Host() = default;
  // Creates the toolkit side of a built dialog (before WM_INITDIALOG).
  virtual void Create(Window* dialog) = 0;
  // Runs until the dialog has ended.
  virtual void Run(Window* dialog) = 0;
  virtual void Destroy(Window* dialog) = 0;
  // Code changed a window: show it, without notifying anyone.
  virtual void Changed(Window* w, Change what) = 0;
  virtual void Ended(Window* dialog) = 0;
  virtual void TimerSet(Window* dialog, UINT_PTR id, UINT ms) = 0;
  virtual void TimerKilled(Window* dialog, UINT_PTR id) = 0;
  virtual int MessageBox(Window* owner, const MessageBoxCall& call) = 0;
  virtual bool BrowseFolder(Window* owner, const std::string& title, std::string* path) = 0;
  virtual void Invalidate(Window*) {}
};

Host& CurrentHost();
Host& HeadlessHost();
// The dialogs show in a window (the toolkit host), not headless.
bool InWindow();
Host* GtkHost();  // null when the toolkit cannot open a display

// Delivers what the user did, as notifications (both hosts).
void UserClicked(Window* control);  // after the toolkit changed the state
void UserSelected(Window* control, int index);
void UserDropped(Window* control, const std::vector<std::string>& sjisPaths);
void DeliverTimer(Window* dialog, UINT_PTR id);

// Linux path (UTF-8) to a path of our layer (code page 932, '\').
std::string LayerPathFromLinux(const std::string& linuxPath);

// Mnemonic marks: "参照(&F)" for display without '&' ("&&" is one '&').
std::string WithoutMnemonic(const std::string& text);

// The drop record behind HDROP (freed by DragFinish, once).
struct DropData {
  std::vector<std::string> paths;  // code page 932
};
DropData* NewDrop(const std::vector<std::string>& sjisPaths);

// Dialog units to pixels, for both hosts: the base units of a 9-point
// Japanese UI font (7 x 14 pixels).
constexpr int kBaseUnitX = 7, kBaseUnitY = 14;
inline int DuToPixelsX(int du) { return du * kBaseUnitX / 4; }
inline int DuToPixelsY(int du) { return du * kBaseUnitY / 8; }

// Icon record behind HICON.
const VelmiIconImage* IconImage(HICON icon);

}  // namespace velmi_mfc
