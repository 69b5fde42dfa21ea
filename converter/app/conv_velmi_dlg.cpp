#include "converter/app/conv_velmi_dlg.h"

#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "common/file.h"
#include "common/format.h"
#include "common/sjis.h"
#include "common/thread.h"
#include "converter/app/app_resources.h"
#include "converter/app/conv_texts.h"
#include "converter/app/registry_helpers.h"
#include "converter/conv_file_make.h"
#include "converter/sound/mp3_encoder.h"
#include "converter/sound/ogg_encoder.h"
#include "velmi_mfc.h"
#include "velmi_platform.h"

namespace {

// Copies src into dst (capacity bytes), cut at a character boundary.
void CopyText(char* dst, size_t capacity, const char* src) { FormatStringN(dst, capacity, "%s", src); }

// The current folder as the system names it, UTF-8 with '/' between folders,
// when code page 932 cannot hold it; empty when it can (or is unknown).
std::string UnholdableCurrentFolder() {
  WCHAR wide[1024];
  const DWORD n = GetCurrentDirectoryW(1024, wide);
  if (n == 0 || n >= 1024) return {};
  BOOL lost = FALSE;
  WideCharToMultiByte(932, 0, wide, int(n), nullptr, 0, nullptr, &lost);
  if (!lost) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide, int(n), nullptr, 0, nullptr, nullptr);
  std::string utf8(size_t(bytes > 0 ? bytes : 0), '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, wide, int(n), utf8.data(), bytes, nullptr, nullptr);
  // UTF-8 has no byte 0x5C inside a character: every '\' separates.
  for (char& c : utf8)
    if (c == '\\') c = '/';
  return utf8;
}

// A path of code page 932 as the dialog shows it: '/' between folders, as
// the converter's other lines show them; the path itself keeps its bytes.
std::string Shown(const char* path) {
  std::string shown = path;
  SjisSlashSeparators(shown.data());
  return shown;
}

}  // namespace

CConvVelmiDlg::CConvVelmiDlg(CWnd* parent)
    : CDialog(IDD, parent),
      m_sourceFolder{},
      m_outputFolder{},
      m_job(nullptr),
      m_bgmBitrateIndex(3),
      m_voiceBitrateIndex(3),
      m_bgmRateIndex(0),
      m_voiceRateIndex(0),
      m_stereo(1),
      m_screenIndex(0),
      m_qualityIndex(1),
      m_mp3Present(0) {
  RegisterConverterAppResources();
  m_hIcon = AfxGetApp() ? AfxGetApp()->LoadIcon(IDR_MAINFRAME) : LoadIconA(nullptr, MAKEINTRESOURCEA(IDR_MAINFRAME));
}

CConvVelmiDlg::~CConvVelmiDlg() {
  if (!m_job) return;
  CThreadCtrl ctrl(m_job);
  ctrl.Stop();
  try {
    ctrl.WaitChecked(INFINITE);
  } catch (const CCtrlFailed&) {
    return;  // the thread's state is unknown: leave the job to the process's end
  }
  ctrl.Close();
  delete m_job;
  m_job = nullptr;
}

void CConvVelmiDlg::DoDataExchange(CDataExchange* dx) {
  CDialog::DoDataExchange(dx);
  DDX_Control(dx, IDC_BGM_BITRATE, m_bgmBitrateCombo);
  DDX_Control(dx, IDC_BGM_RATE, m_bgmRateCombo);
  DDX_Control(dx, IDC_VOICE_BITRATE, m_voiceBitrateCombo);
  DDX_Control(dx, IDC_VOICE_RATE, m_voiceRateCombo);
  DDX_Control(dx, IDC_QUALITY, m_qualityCombo);
  DDX_Control(dx, IDC_SCREEN, m_screenCombo);
  DDX_Control(dx, IDC_PROGRESS, m_progressLabel);
  DDX_Control(dx, IDC_START, m_startButton);
  DDX_Control(dx, IDC_STEREO, m_stereoCheck);
  DDX_Control(dx, IDC_DO_PICTURES, m_pictureCheck);
  DDX_Control(dx, IDC_DO_MUSIC, m_musicCheck);
  DDX_Control(dx, IDC_DO_VOICES, m_voiceCheck);
  DDX_Control(dx, IDC_SOURCE_EDIT, m_sourceEdit);
}

BEGIN_MESSAGE_MAP(CConvVelmiDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_TIMER()
ON_BN_CLICKED(IDC_START, OnStart)
ON_WM_DESTROY()
ON_BN_CLICKED(IDC_STEREO, OnStereoClicked)
ON_CBN_SELCHANGE(IDC_BGM_BITRATE, OnBgmBitrateChanged)
ON_CBN_SELCHANGE(IDC_BGM_RATE, OnBgmRateChanged)
ON_CBN_SELCHANGE(IDC_VOICE_BITRATE, OnVoiceBitrateChanged)
ON_CBN_SELCHANGE(IDC_VOICE_RATE, OnVoiceRateChanged)
ON_CBN_SELCHANGE(IDC_SCREEN, OnScreenChanged)
ON_CBN_SELCHANGE(IDC_QUALITY, OnQualityChanged)
ON_BN_CLICKED(IDC_BROWSE, OnBrowse)
END_MESSAGE_MAP()

BOOL CConvVelmiDlg::OnInitDialog() {
  CDialog::OnInitDialog();

  if (CMenu* sysMenu = GetSystemMenu(FALSE)) {
    char about[256];
    if (LoadStringA(nullptr, IDS_ABOUTBOX, about, sizeof about) > 0 && about[0]) {
      sysMenu->AppendMenu(MF_SEPARATOR);
      sysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, about);
    }
  }
  SetIcon(m_hIcon, TRUE);
  SetIcon(m_hIcon, FALSE);

  m_sourceFolder[0] = 0;
  m_outputFolder[0] = 0;
  m_bgmBitrateIndex = 3;
  m_voiceBitrateIndex = 3;
  m_bgmRateIndex = 0;
  m_voiceRateIndex = 0;
  m_stereo = 1;
  m_screenIndex = 0;
  m_qualityIndex = 1;
  DWORD n = GetCurrentDirectoryA(1023, m_outputFolder);
  if (n == 0 || n >= 1023) m_outputFolder[0] = 0;
  // A name code page 932 cannot hold comes back with '?' in its place,
  // which names another folder: the dialog has no output folder then.
  m_unholdableOutput = UnholdableCurrentFolder();
  if (!m_unholdableOutput.empty()) m_outputFolder[0] = 0;

  m_stereoCheck.SetCheck(m_stereo);
  m_bgmBitrateCombo.SetCurSel(3);
  m_bgmRateCombo.SetCurSel(0);
  m_voiceBitrateCombo.SetCurSel(3);
  m_voiceRateCombo.SetCurSel(0);
  m_screenCombo.SetCurSel(0);
  m_qualityCombo.SetCurSel(1);
  CheckRadioButton(IDC_ENCODER_MP3, IDC_ENCODER_OGG, IDC_ENCODER_MP3);
  m_job = nullptr;

  ShowEncoderVersions();

  SetRegistryRoot("TORVAL");
  if (!ReadRegistryValue("QR2", "DataDir", m_sourceFolder, sizeof m_sourceFolder)) m_sourceFolder[0] = 0;
  // The dialog shows nothing of it, but whoever started the program named
  // a store that it could not read: said where errors go.
  std::string store, why;
  if (VelmiRegistryStoreUnread(&store, &why))
    std::fprintf(stderr,
                 "convVelmi: VELMI_REGISTRY names %s, which cannot be read (%s): no game folder is taken from it\n",
                 store.c_str(), why.c_str());
  ShowSourceFolder();

  m_pictureCheck.SetCheck(1);
  m_musicCheck.SetCheck(1);
  m_voiceCheck.SetCheck(1);
  m_progressLabel.SetWindowText("");
  SetTimer(1, 100, nullptr);
  return TRUE;
}

void CConvVelmiDlg::ShowEncoderVersions() {
  char version[512];
  char label[600];
  {
    CGogoEncoder gogo(0);
    gogo.GetVersionText(version);
    version[sizeof version - 1] = 0;
    m_mp3Present = version[0] ? 1 : 0;
    FormatStringN(label, sizeof label, "GOGO.DLL : %s", version);
    SetDlgItemText(IDC_GOGO_VERSION, label);
  }
  version[0] = 0;
  GetOggEncoderVersion(version, 0);
  version[sizeof version - 1] = 0;
  FormatStringN(label, sizeof label, "OGGENC.DLL : %s", version);
  SetDlgItemText(IDC_OGGENC_VERSION, label);
}

void CConvVelmiDlg::ShowSourceFolder() {
  char folder[sizeof m_sourceFolder];
  CopyText(folder, sizeof folder, m_sourceFolder);
  if (SjisEndsInSeparator(folder)) folder[std::strlen(folder) - 1] = 0;
  m_sourceEdit.SetWindowText(Shown(folder).c_str());
  UpdateData(FALSE);
}

void CConvVelmiDlg::OnSysCommand(UINT id, LPARAM lParam) {
  if ((id & 0xFFF0) == IDM_ABOUTBOX) return;  // the about item shows nothing
  CDialog::OnSysCommand(id, lParam);
}

void CConvVelmiDlg::OnPaint() {
  if (IsIconic()) {
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    int cxIcon = VelmiIconWidth(m_hIcon);
    int cyIcon = VelmiIconHeight(m_hIcon);
    RECT rect;
    GetClientRect(&rect);
    int x = (rect.right - rect.left - cxIcon + 1) / 2;
    int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
  } else {
    CDialog::OnPaint();
  }
}

HCURSOR CConvVelmiDlg::OnQueryDragIcon() { return reinterpret_cast<HCURSOR>(m_hIcon); }

void CConvVelmiDlg::OnStart() {
  if (m_sourceFolder[0] == 0) {
    // The dialog itself says nothing; a run without a window says why.
    velmi_mfc::ConsoleReport(TEXT_CONSOLE_NO_SOURCE);
    return;
  }
  if (!m_mp3Present) {
    MessageBox(TEXT_NO_GOGO, TEXT_DLL_CAPTION, MB_ICONWARNING | MB_OK);
    return;
  }
  char exePath[sizeof m_sourceFolder + 16];
  CopyText(exePath, sizeof exePath, m_sourceFolder);
  if (!SjisEndsInSeparator(exePath)) std::strcat(exePath, "\\");
  std::strcat(exePath, "QR2.exe");
  if (!FileExists(exePath)) {
    MessageBox(TEXT_NO_GAME_FOLDER, TEXT_FOLDER_CAPTION, MB_ICONWARNING | MB_OK);
    // Without a window the user cannot browse for another folder: say which
    // one was tried and how to name another.
    velmi_mfc::ConsoleReportUtf8(
        "convVelmi: tried " + ShownPath(m_sourceFolder) +
        " (it holds no QR2.exe); name the game's folder as DataDir in the registry store that VELMI_REGISTRY names, "
        "or convert it with convert_game <game folder> <output folder>");
    return;
  }
  // The current directory did not fit, could not be read or has a name
  // that code page 932 cannot hold: an empty output folder would put the
  // data at the root of the drive.
  if (m_outputFolder[0] == 0 && !m_unholdableOutput.empty()) {
    // The box names the folder as the system does: code page 932 cannot.
    velmi_mfc::MessageBoxUtf8(this, velmi_mfc::SjisToUtf8(TEXT_OUTPUT_FOLDER_NAME) + "\n" + m_unholdableOutput,
                              TEXT_FOLDER_CAPTION, MB_ICONWARNING | MB_OK);
    velmi_mfc::ReportUtf8("convVelmi: the output folder (the current folder) " + m_unholdableOutput +
                          " has a name that code page 932 (Shift-JIS, which the converter's paths use) cannot "
                          "hold: run convVelmi from a folder whose name, and the names of the folders above "
                          "it, are in Japanese or ASCII characters");
    return;
  }
  if (m_outputFolder[0] == 0) {
    MessageBox(TEXT_NO_OUTPUT_FOLDER, TEXT_FOLDER_CAPTION, MB_ICONWARNING | MB_OK);
    return;
  }

  const int scalePercent = m_screenIndex == 1 ? 80 : 40;
  const int bitrates[2] = {m_bgmBitrateIndex, m_voiceBitrateIndex};
  const int rates[2] = {m_bgmRateIndex, m_voiceRateIndex};
  m_job = new CConvFileMake(bitrates, rates, m_stereo, scalePercent);
  CopyText(m_job->m_sourceFolder, sizeof m_job->m_sourceFolder, m_sourceFolder);
  CopyText(m_job->m_outputFolder, sizeof m_job->m_outputFolder, m_outputFolder);
  m_job->m_doPictures = m_pictureCheck.GetCheck() ? 1 : 0;
  m_job->m_doMusic = m_musicCheck.GetCheck() ? 1 : 0;
  m_job->m_doVoices = m_voiceCheck.GetCheck() ? 1 : 0;
  if (GetCheckedRadioButton(IDC_ENCODER_MP3, IDC_ENCODER_OGG) == IDC_ENCODER_OGG) m_job->m_encoder = 1;
  m_job->m_qualityCode = m_qualityIndex + 1;
  m_progressLines = CProgressLines();

  try {
    CThreadCtrl(m_job).StartChecked();
  } catch (const CCtrlFailed&) {
    // No thread: the job never runs, so Start must stay usable.
    delete m_job;
    m_job = nullptr;
    MessageBox(TEXT_NO_THREAD, TEXT_RUN_CAPTION, MB_ICONWARNING | MB_OK);
    return;
  }

  m_startButton.ModifyStyle(0, WS_DISABLED);
  Invalidate();
  UpdateData(FALSE);
}

void CConvVelmiDlg::OnTimer(UINT_PTR id) {
  // A log gets the run's stages and tenths as lines; once the run has
  // ended (seen before the lines are taken) the last ones too.
  if (m_job) {
    const auto logLines = [this] {
      for (const std::string& line : m_progressLines.Take(*m_job)) velmi_mfc::ConsoleProgressLine("convVelmi: " + line);
    };
    const bool ended = m_job->IsFinished();
    logLines();
    if (!ended && m_job->IsFinished()) logLines();
  }
  if (m_job && m_job->IsFinished()) {
    m_progressLabel.SetWindowText("");
    CThreadCtrl ctrl(m_job);
    ctrl.Stop();
    ctrl.WaitChecked(INFINITE);
    ctrl.Close();
    std::vector<CConvFileMake::Failure> lines = m_job->TakeFailures();
    // Each failure is named on the error stream, with or without a window.
    for (const CConvFileMake::Failure& f : lines) std::fprintf(stderr, "convVelmi: %s\n", FailureText(f).c_str());
    if (!lines.empty()) m_hadFailures = true;
    const std::string box = FailureBox(std::move(lines), m_job->m_sourceFolder, m_job->m_outputFolder);
    const std::string dataFolder = ShownPath(std::string(m_job->m_outputFolder) + "\\data");
    const std::string summary = RunSummary(*m_job);
    delete m_job;
    m_job = nullptr;
    m_startButton.ModifyStyle(WS_DISABLED, 0);
    Invalidate();
    UpdateData(FALSE);
    // Shown last: timer ticks that arrive while the box is open find no job.
    if (!box.empty()) MessageBox(box.c_str(), TEXT_RUN_CAPTION, MB_ICONWARNING | MB_OK);
    velmi_mfc::ConsoleSay(velmi_mfc::Utf8ToSjis("convVelmi: " + summary + "; data folder: " + dataFolder));
  } else if (m_job) {
    char name[CConvFileMake::kNameChars];
    m_job->GetCurrentName(name, sizeof name);
    char text[256];
    FormatStringN(text, sizeof text, TEXT_PROGRESS, m_job->DoneCount(), m_job->TotalCount(), Shown(name).c_str());
    m_progressLabel.SetWindowText(text);
  }
  CDialog::OnTimer(id);
}

void CConvVelmiDlg::OnDestroy() { CDialog::OnDestroy(); }

void CConvVelmiDlg::OnStereoClicked() { m_stereo = m_stereo ? 0 : 1; }
void CConvVelmiDlg::OnBgmBitrateChanged() { m_bgmBitrateIndex = m_bgmBitrateCombo.GetCurSel(); }
void CConvVelmiDlg::OnBgmRateChanged() { m_bgmRateIndex = m_bgmRateCombo.GetCurSel(); }
void CConvVelmiDlg::OnVoiceBitrateChanged() { m_voiceBitrateIndex = m_voiceBitrateCombo.GetCurSel(); }
void CConvVelmiDlg::OnVoiceRateChanged() { m_voiceRateIndex = m_voiceRateCombo.GetCurSel(); }
void CConvVelmiDlg::OnScreenChanged() { m_screenIndex = m_screenCombo.GetCurSel(); }
void CConvVelmiDlg::OnQualityChanged() { m_qualityIndex = m_qualityCombo.GetCurSel(); }

void CConvVelmiDlg::OnBrowse() {
  LPMALLOC malloc = nullptr;
  if (SHGetMalloc(&malloc) != S_OK || !malloc) return;
  char displayName[MAX_PATH];
  BROWSEINFOA info{};
  info.hwndOwner = m_hWnd;
  info.pidlRoot = nullptr;
  info.pszDisplayName = displayName;
  info.lpszTitle = TEXT_CHOOSE_FOLDER;
  info.ulFlags = BIF_BROWSEFORCOMPUTER | BIF_RETURNONLYFSDIRS;
  if (LPITEMIDLIST list = SHBrowseForFolderA(&info)) {
    char path[MAX_PATH];
    if (SHGetPathFromIDListA(list, path)) CopyText(m_sourceFolder, sizeof m_sourceFolder, path);
    malloc->Free(list);
    ShowSourceFolder();
  }
  malloc->Release();
}
