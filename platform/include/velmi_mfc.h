// Hooks of our dialog framework (afxwin.h) that have no framework name: the
// choice of host and the means by which tests drive a dialog.
//
// Hosts.  The GTK host shows a real window; it is used when a display is
// there (DISPLAY or WAYLAND_DISPLAY) and VELMI_HEADLESS is not "1".  The
// headless host keeps the controls in memory.  A dialog run headless without
// a driver runs the console driver: it presses the dialog's default button,
// ticks its timers every 100 ms, prints every message box (a warning or an
// error on stderr, any other on stdout) and, when stdout is a terminal, every
// new text of its labels, and closes the dialog once the default button,
// disabled by the press, is enabled again (or was never disabled).
#pragma once

#include <afxwin.h>

#include <functional>
#include <string>
#include <vector>

namespace velmi_mfc {

// Text conversion at the toolkit boundary.
std::string SjisToUtf8(const std::string& sjis);
std::string Utf8ToSjis(const std::string& utf8);

// Forces the headless host (true) or the automatic choice (false).
void UseHeadless(bool headless);
bool IsHeadless();

// A dialog being run headless, as its driver sees it.  Texts are code page
// 932.  Every action is delivered as the toolkit would: a click on a check
// box toggles it and then notifies, a selection notifies, a tick sends
// WM_TIMER for each running timer.
class HeadlessDialog {
 public:
  explicit HeadlessDialog(HWND dialog) : m_dialog(dialog) {}
  HWND Handle() const { return m_dialog; }
  CWnd* Window() const;

  bool Exists(int id) const;
  std::string Text(int id) const;  // id 0: the caption
  bool IsEnabled(int id) const;
  int Check(int id) const;
  int Selection(int id) const;
  std::vector<std::string> Items(int id) const;
  DWORD Style(int id) const;
  RECT Position(int id) const;  // dialog units: left, top, width, height

  void Click(int id);
  void Select(int id, int index);
  void Tick();
  bool HasTimer(UINT_PTR id) const;
  void DropFiles(int id, const std::vector<std::string>& paths);
  void SystemCommand(UINT command);
  void SetIconic(bool iconic);
  // The commands appended to the system menu, and their texts.
  std::vector<std::pair<UINT, std::string>> SystemMenu() const;
  LRESULT Send(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  void Close();  // the window's close box
  bool Ended() const;

 private:
  HWND m_dialog;
};

using Driver = std::function<void(HeadlessDialog&)>;
// The next headless DoModal calls the driver after WM_INITDIALOG; when the
// driver returns with the dialog still open, the dialog is closed.  An empty
// driver restores the console driver.
void SetHeadlessDriver(Driver driver);

struct MessageBoxCall {
  std::string text, caption;  // code page 932
  UINT type;
  std::string utf8;  // the text as shown (it may hold what code page 932 cannot)
};
// CWnd::MessageBox with a text in UTF-8, for a text that names what code page
// 932 cannot hold (a folder's name as the system gives it); the caption is
// code page 932.
int MessageBoxUtf8(CWnd* owner, const std::string& utf8, LPCSTR caption, UINT type);
// Answers headless message boxes (default: IDOK) and records them.
void SetMessageBoxAnswer(std::function<int(const MessageBoxCall&)> answer);
std::vector<MessageBoxCall> TakeMessageBoxLog();
// The console driver (headless, no test driver) ran a dialog whose Start was
// refused or that warned of a failure: the program's exit status says so.
bool ConsoleRunFailed();
// Under the console driver: writes why the program could not do its work to
// the error stream (text in code page 932) and marks the run as failed; the
// windowed and test hosts ignore it.
void ConsoleReport(const std::string& text);
// ConsoleReport of a text in UTF-8, for texts that code page 932 may not hold
// (a folder's name as the system gives it).
void ConsoleReportUtf8(const std::string& utf8);
// ConsoleReportUtf8, and in a window too: the line goes to the error stream
// of a user who started the program from a terminal (a window's run is not
// failed by it); a test's driver sees nothing.
void ReportUtf8(const std::string& utf8);
// Under the console driver and in a window: writes a line (code page 932) on
// stdout, where the progress goes, without failing the run; a test's driver
// sees nothing.
void ConsoleSay(const std::string& text);
// Under the console driver, when stdout is not a terminal: writes a progress
// line (UTF-8) there; on a terminal the labels' texts show the progress.
void ConsoleProgressLine(const std::string& utf8);

// Answers the headless folder browser: return true and a path (code page
// 932) to pick a folder; the default cancels.  The title is recorded.
void SetFolderAnswer(std::function<bool(const std::string& title, std::string* path)> answer);

// The last icon drawn by a paint: position and icon.
struct IconDraw {
  int x = -1, y = -1;
  HICON icon = nullptr;
};
IconDraw LastIconDraw();
// The client area, in pixels, of a dialog of the given size in dialog units
// (both hosts lay dialogs out with the same base units).
RECT DialogClientRect(int cxDialogUnits, int cyDialogUnits);

// ---- The toolkit host --------------------------------------------------
// Called once the dialog is shown on the toolkit (from its main loop); the
// hook may read the toolkit's widgets, save a screenshot and close the
// dialog.  Without a hook the dialog runs until the user closes it.
using ShownHook = std::function<void(HWND dialog)>;
void SetShownHook(ShownHook hook);
// Called once a message box of the toolkit host is drawn, with its title and
// text as the toolkit shows them (UTF-8); the box then closes as if OK were
// pressed.  Without a hook a box waits for the user.
using BoxShownHook = std::function<void(const std::string& title, const std::string& text)>;
void SetBoxShownHook(BoxShownHook hook);
// Saves the message box being shown (from a BoxShownHook) as a PNG file.
bool ToolkitBoxScreenshot(const char* pngPath);
// The text the toolkit widget of a control shows (UTF-8, mnemonic marks
// removed); id 0 is the window title.  Empty with no widget.
bool ToolkitWidgetText(HWND dialog, int id, std::string* utf8);
// Clicks a control's widget as the user would (a check box toggles).
bool ToolkitClick(HWND dialog, int id);
// Saves the dialog window as a PNG file.
bool ToolkitScreenshot(HWND dialog, const char* pngPath);
// Runs the toolkit's loop for about the given time (so a window is drawn).
void ToolkitPump(int milliseconds);

}  // namespace velmi_mfc
