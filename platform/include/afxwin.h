// Our small application framework for desktop dialog programs: an
// application object, modal dialogs built from a dialog template, the
// standard controls and message tables, with the class and function names
// such programs are written against.  Behind it stands a host (GTK 3 on a
// display, or controls held in memory; see velmi_mfc.h).
//
// Texts are code page 932 (Shift-JIS) everywhere on this side; a host
// converts them where it meets its toolkit.
#pragma once

#include <windows.h>

#include <cstddef>

// ---- Messages, notifications, styles ------------------------------------
#ifndef WM_SETICON
#define WM_SETICON 0x0080
#endif
#ifndef WM_ICONERASEBKGND
#define WM_ICONERASEBKGND 0x0027
#endif
#ifndef WM_QUERYDRAGICON
#define WM_QUERYDRAGICON 0x0037
#endif
#ifndef WM_INITDIALOG
#define WM_INITDIALOG 0x0110
#endif
#ifndef WM_DROPFILES
#define WM_DROPFILES 0x0233
#endif

#define BN_CLICKED 0
#define CBN_SELCHANGE 1

#ifndef IDCANCEL
#define IDCANCEL 2
#endif
#ifndef IDYES
#define IDYES 6
#endif
#ifndef IDNO
#define IDNO 7
#endif
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

#ifndef MB_OKCANCEL
#define MB_OKCANCEL 0x00000001L
#endif
#ifndef MB_YESNO
#define MB_YESNO 0x00000004L
#endif
#ifndef MB_ICONWARNING
#define MB_ICONWARNING 0x00000030L
#endif
#ifndef MB_ICONEXCLAMATION
#define MB_ICONEXCLAMATION 0x00000030L
#endif
#ifndef MB_ICONINFORMATION
#define MB_ICONINFORMATION 0x00000040L
#endif

#ifndef WS_POPUP
#define WS_POPUP 0x80000000L
#endif
#ifndef WS_CHILD
#define WS_CHILD 0x40000000L
#endif
#ifndef WS_DISABLED
#define WS_DISABLED 0x08000000L
#endif
#ifndef WS_CAPTION
#define WS_CAPTION 0x00C00000L
#endif
#ifndef WS_BORDER
#define WS_BORDER 0x00800000L
#endif
#ifndef WS_SYSMENU
#define WS_SYSMENU 0x00080000L
#endif
#ifndef WS_GROUP
#define WS_GROUP 0x00020000L
#endif
#ifndef WS_TABSTOP
#define WS_TABSTOP 0x00010000L
#endif
#ifndef WS_VSCROLL
#define WS_VSCROLL 0x00200000L
#endif
#ifndef DS_MODALFRAME
#define DS_MODALFRAME 0x80L
#endif
#ifndef DS_SETFONT
#define DS_SETFONT 0x40L
#endif
#ifndef WS_EX_ACCEPTFILES
#define WS_EX_ACCEPTFILES 0x00000010L
#endif
#ifndef WS_EX_APPWINDOW
#define WS_EX_APPWINDOW 0x00040000L
#endif
#ifndef ES_AUTOHSCROLL
#define ES_AUTOHSCROLL 0x0080L
#endif
#ifndef ES_READONLY
#define ES_READONLY 0x0800L
#endif
#ifndef CBS_DROPDOWNLIST
#define CBS_DROPDOWNLIST 0x0003L
#endif

#ifndef MF_STRING
#define MF_STRING 0x00000000L
#endif
#ifndef MF_SEPARATOR
#define MF_SEPARATOR 0x00000800L
#endif
#ifndef SC_MINIMIZE
#define SC_MINIMIZE 0xF020
#endif
#ifndef SC_CLOSE
#define SC_CLOSE 0xF060
#endif
#ifndef SC_RESTORE
#define SC_RESTORE 0xF120
#endif
#ifndef SM_CXICON
#define SM_CXICON 11
#endif
#ifndef SM_CYICON
#define SM_CYICON 12
#endif
#ifndef ICON_SMALL
#define ICON_SMALL 0
#endif
#ifndef ICON_BIG
#define ICON_BIG 1
#endif

#ifndef MAKEWPARAM
#define MAKEWPARAM(l, h) ((WPARAM)(DWORD)MAKELONG(l, h))
#endif
#ifndef MAKEINTRESOURCEA
#define MAKEINTRESOURCEA(i) ((LPSTR)(ULONG_PTR)((WORD)(i)))
#endif

// ---- Program resources --------------------------------------------------
// Registered with VelmiRegisterResource (velmi_platform.h); the data of
// these types is one of the structures below, not a packed binary.
#define VELMI_RT_DIALOG MAKEINTRESOURCEA(5)
#define VELMI_RT_STRING MAKEINTRESOURCEA(6)  // name: the string's number; data: zero-terminated text
#define VELMI_RT_ICON MAKEINTRESOURCEA(14)   // data: VelmiIconImage

// Kinds of template controls, by their window class and style.
enum class VelmiControlKind { PushButton, DefPushButton, CheckBox, RadioButton, GroupBox, Label, Edit, ComboList };

struct VelmiControlTemplate {
  VelmiControlKind kind;
  int id;                    // -1 for controls nobody addresses
  const char* text;          // label, or null
  short x, y, cx, cy;        // dialog units; cx 0 = the text's own width
  DWORD style;               // WS_GROUP starts a radio group, WS_DISABLED, ES_READONLY, ...
  DWORD exStyle;             // WS_EX_ACCEPTFILES
  const char* const* items;  // combo items, null-terminated list, or null
};

struct VelmiDialogTemplate {
  const char* caption;
  const char* fontName;
  int pointSize;
  short cx, cy;  // dialog units
  DWORD style, exStyle;
  const VelmiControlTemplate* controls;
  int controlCount;
};

struct VelmiIconImage {
  int width, height;
  const DWORD* pixels;  // 0xAARRGGBB, top row first
};

// ---- Run-time classes -----------------------------------------------------
class CObject;
struct CRuntimeClass {
  const char* m_lpszClassName;
  CObject* (*m_pfnCreateObject)();
  CRuntimeClass* m_pBaseClass;
  CRuntimeClass* m_pNextClass;

  CObject* CreateObject() const;
  BOOL IsDerivedFrom(const CRuntimeClass* base) const;
  // The class registered under the name, or null.
  static CRuntimeClass* FromName(const char* name);
};

// Adds a class to the by-name list at start-up.
struct VelmiClassInit {
  explicit VelmiClassInit(CRuntimeClass* c);
};

#define RUNTIME_CLASS(cls) (&cls::class##cls)
#define DECLARE_DYNCREATE(cls)                     \
 public:                                           \
  static CRuntimeClass class##cls;                 \
  CRuntimeClass* GetRuntimeClass() const override; \
  static CObject* CreateObject();
#define IMPLEMENT_DYNCREATE(cls, base)                                                      \
  CObject* cls::CreateObject() { return new cls; }                                          \
  CRuntimeClass cls::class##cls = {#cls, &cls::CreateObject, RUNTIME_CLASS(base), nullptr}; \
  static VelmiClassInit velmi_class_init_##cls(&cls::class##cls);                           \
  CRuntimeClass* cls::GetRuntimeClass() const { return &cls::class##cls; }

class CObject {
 public:
  static CRuntimeClass classCObject;
  virtual ~CObject();
  virtual CRuntimeClass* GetRuntimeClass() const;
  BOOL IsKindOf(const CRuntimeClass* c) const;
};

// ---- Message tables -------------------------------------------------------
class CCmdTarget;
typedef LRESULT (*VelmiMsgHandler)(CCmdTarget* target, WPARAM wParam, LPARAM lParam);
struct VelmiMsgEntry {
  UINT message;  // 0 ends the table
  UINT code;     // WM_COMMAND notification code
  UINT id;       // WM_COMMAND control or command number
  VelmiMsgHandler handler;
};
struct VelmiMsgMap {
  const VelmiMsgMap* (*base)();
  const VelmiMsgEntry* entries;
};

#define DECLARE_MESSAGE_MAP()                    \
 protected:                                      \
  static const VelmiMsgMap* GetThisMessageMap(); \
  const VelmiMsgMap* GetMessageMap() const override;

#define BEGIN_MESSAGE_MAP(theClass, baseClass)                                       \
  const VelmiMsgMap* theClass::GetMessageMap() const { return GetThisMessageMap(); } \
  const VelmiMsgMap* theClass::GetThisMessageMap() {                                 \
    typedef theClass ThisClass;                                                      \
    typedef baseClass TheBaseClass;                                                  \
    static const VelmiMsgEntry entries[] = {
#define END_MESSAGE_MAP()                                                     \
  { 0, 0, 0, nullptr }                                                        \
  }                                                                           \
  ;                                                                           \
  static const VelmiMsgMap map = {&TheBaseClass::GetThisMessageMap, entries}; \
  return &map;                                                                \
  }

#define VELMI_MSG(msg, code, id, expr)                                               \
  {(msg), (code), (id), [](CCmdTarget* t, WPARAM wParam, LPARAM lParam) -> LRESULT { \
     (void)wParam;                                                                   \
     (void)lParam;                                                                   \
     ThisClass* self = static_cast<ThisClass*>(t);                                   \
     (void)self;                                                                     \
     return (expr);                                                                  \
   }},

#define ON_WM_SYSCOMMAND() VELMI_MSG(WM_SYSCOMMAND, 0, 0, (self->OnSysCommand(UINT(wParam), lParam), LRESULT(0)))
#define ON_WM_PAINT() VELMI_MSG(WM_PAINT, 0, 0, (self->OnPaint(), LRESULT(0)))
#define ON_WM_QUERYDRAGICON() VELMI_MSG(WM_QUERYDRAGICON, 0, 0, (LRESULT)self->OnQueryDragIcon())
#define ON_WM_TIMER() VELMI_MSG(WM_TIMER, 0, 0, (self->OnTimer(UINT_PTR(wParam)), LRESULT(0)))
#define ON_WM_DESTROY() VELMI_MSG(WM_DESTROY, 0, 0, (self->OnDestroy(), LRESULT(0)))
#define ON_WM_DROPFILES() VELMI_MSG(WM_DROPFILES, 0, 0, (self->OnDropFiles((HDROP)wParam), LRESULT(0)))
#define ON_BN_CLICKED(id, fn) VELMI_MSG(WM_COMMAND, BN_CLICKED, (id), (self->fn(), LRESULT(0)))
#define ON_CBN_SELCHANGE(id, fn) VELMI_MSG(WM_COMMAND, CBN_SELCHANGE, (id), (self->fn(), LRESULT(0)))
#define ON_COMMAND(id, fn) VELMI_MSG(WM_COMMAND, 0, (id), (self->fn(), LRESULT(0)))

// A class known by its run-time class record (no by-name creation).
#define VELMI_DECLARE_CLASS(cls)   \
 public:                           \
  static CRuntimeClass class##cls; \
  CRuntimeClass* GetRuntimeClass() const override;

class CCmdTarget : public CObject {
  VELMI_DECLARE_CLASS(CCmdTarget)

 public:
  static const VelmiMsgMap* GetThisMessageMap();
  virtual const VelmiMsgMap* GetMessageMap() const;
  // Finds the handler for a message in this class's table and its bases'.
  BOOL DispatchFromMap(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result);
};

// ---- Windows ---------------------------------------------------------------
typedef struct HDROP__* HDROP;
class CMenu;
class CDC;
class CDataExchange;

class CWnd : public CCmdTarget {
  VELMI_DECLARE_CLASS(CWnd)

 public:
  HWND m_hWnd = nullptr;

  CWnd();
  ~CWnd() override;
  static const VelmiMsgMap* GetThisMessageMap();
  const VelmiMsgMap* GetMessageMap() const override;

  HWND GetSafeHwnd() const { return m_hWnd; }
  // Binds this object to an existing window (a dialog's control).
  BOOL SubclassDlgItem(UINT id, CWnd* parent);
  BOOL Attach(HWND hwnd);
  HWND Detach();
  // The object bound to a window; for a control nobody bound, a lasting
  // plain CWnd of the window.
  static CWnd* FromHandle(HWND hwnd);

  LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
  virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
  // The default handling of the message being handled now.
  LRESULT Default();
  virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

  CWnd* GetDlgItem(int id) const;
  CWnd* GetParent() const;
  int GetDlgCtrlID() const;
  void SetWindowText(LPCSTR text);
  int GetWindowText(LPSTR text, int capacity) const;
  void SetDlgItemText(int id, LPCSTR text);
  UINT GetDlgItemText(int id, LPSTR text, int capacity) const;
  void CheckDlgButton(int id, UINT check);
  UINT IsDlgButtonChecked(int id) const;
  void CheckRadioButton(int firstId, int lastId, int checkId);
  int GetCheckedRadioButton(int firstId, int lastId);

  DWORD GetStyle() const;
  DWORD GetExStyle() const;
  BOOL ModifyStyle(DWORD remove, DWORD add, UINT flags = 0);
  BOOL EnableWindow(BOOL enable = TRUE);
  BOOL IsWindowEnabled() const;
  void Invalidate(BOOL erase = TRUE);
  BOOL IsIconic() const;
  void GetClientRect(RECT* rect) const;
  BOOL ShowWindow(int cmdShow);

  UINT_PTR SetTimer(UINT_PTR id, UINT elapse, void* reserved);
  BOOL KillTimer(UINT_PTR id);

  int MessageBox(LPCSTR text, LPCSTR caption = nullptr, UINT type = MB_OK);
  CMenu* GetSystemMenu(BOOL revert) const;
  HICON SetIcon(HICON icon, BOOL big);
  HICON GetIcon(BOOL big) const;

  BOOL UpdateData(BOOL saveAndValidate = TRUE);
  virtual void DoDataExchange(CDataExchange* dx);

  // Handlers with a default.
  void OnSysCommand(UINT id, LPARAM lParam);
  void OnPaint();
  void OnTimer(UINT_PTR id);
  void OnDestroy();
  void OnDropFiles(HDROP drop);
  HCURSOR OnQueryDragIcon();

 protected:
  friend struct VelmiWndAccess;
  struct Current {
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
  } m_current{};
};

class CEdit : public CWnd {
  VELMI_DECLARE_CLASS(CEdit)
};
class CStatic : public CWnd {};
class CButton : public CWnd {
 public:
  int GetCheck() const;
  void SetCheck(int check);
};
class CComboBox : public CWnd {
 public:
  int GetCurSel() const;
  int SetCurSel(int select);
  int GetCount() const;
};

class CMenu {
 public:
  HMENU m_hMenu = nullptr;
  BOOL AppendMenu(UINT flags, UINT_PTR id = 0, LPCSTR text = nullptr);
};

class CDC {
 public:
  HDC m_hDC = nullptr;
  HDC GetSafeHdc() const { return m_hDC; }
  BOOL DrawIcon(int x, int y, HICON icon);
};

class CPaintDC : public CDC {
 public:
  explicit CPaintDC(CWnd* wnd);
  ~CPaintDC();
  CPaintDC(const CPaintDC&) = delete;
  CPaintDC& operator=(const CPaintDC&) = delete;

 private:
  CWnd* m_wnd;
};

class CDataExchange {
 public:
  BOOL m_bSaveAndValidate;
  CWnd* m_pDlgWnd;
};
void DDX_Control(CDataExchange* dx, int id, CWnd& control);

class CDialog : public CWnd {
 public:
  explicit CDialog(UINT templateId, CWnd* parent = nullptr);
  ~CDialog() override;
  static const VelmiMsgMap* GetThisMessageMap();
  const VelmiMsgMap* GetMessageMap() const override;

  // Builds the dialog from its template, runs it until EndDialog, returns
  // the end code (-1 when the template is missing).
  virtual INT_PTR DoModal();
  virtual BOOL OnInitDialog();
  virtual void OnOK();
  virtual void OnCancel();
  void EndDialog(int result);

  LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

 protected:
  UINT m_templateId;
  CWnd* m_parentWnd;
};

class CWinApp : public CCmdTarget {
 public:
  explicit CWinApp(LPCSTR appName = nullptr);
  ~CWinApp() override;
  static const VelmiMsgMap* GetThisMessageMap();
  const VelmiMsgMap* GetMessageMap() const override;

  virtual BOOL InitInstance();
  virtual int ExitInstance();
  virtual int Run();
  HICON LoadIcon(UINT id) const;
  void OnHelp();

  CWnd* m_pMainWnd = nullptr;
  LPCSTR m_pszAppName;
};

CWinApp* AfxGetApp();
BOOL AfxEnableControlContainer();
// The program's entry: InitInstance, then Run when it returned TRUE; the
// result is the exit code.  It keeps the arguments in __argc and __argv.
int AfxWinMain(int argc, char** argv);
// The program's arguments, the program's own name first, as the run-time
// library of Windows keeps them.
extern int __argc;
extern char** __argv;

// Strings from VELMI_RT_STRING; the length copied, 0 when missing.
int LoadStringA(HINSTANCE instance, UINT id, LPSTR buffer, int capacity);
// Icons from VELMI_RT_ICON.
HICON LoadIconA(HINSTANCE instance, LPCSTR name);
// The icon's size in pixels (0 x 0 for null).
int VelmiIconWidth(HICON icon);
int VelmiIconHeight(HICON icon);
