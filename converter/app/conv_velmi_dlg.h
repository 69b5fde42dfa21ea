// The converter's one dialog: the desktop game's folder, the settings, the
// start button and the progress of the running conversion.
#pragma once

#include <afxwin.h>

#include <cstdint>
#include <string>

#include "converter/app/resource.h"
#include "converter/app/win_edit.h"
#include "converter/progress_lines.h"

class CConvFileMake;

class CConvVelmiDlg : public CDialog {
 public:
  explicit CConvVelmiDlg(CWnd* parent = nullptr);
  // Waits for a run still going (the dialog was closed during it), so that
  // no pack or sound file is left half written.
  ~CConvVelmiDlg() override;

  enum { IDD = IDD_CONVVELMI_DIALOG };

  // Settings, in the order the dialog keeps them.
  char m_sourceFolder[1024];
  char m_outputFolder[1024];
  CConvFileMake* m_job;
  int32_t m_bgmBitrateIndex;
  int32_t m_voiceBitrateIndex;
  int32_t m_bgmRateIndex;
  int32_t m_voiceRateIndex;
  int32_t m_stereo;
  int32_t m_screenIndex;
  int32_t m_qualityIndex;
  int32_t m_mp3Present;

  // A run since the dialog opened could not convert everything.
  bool HadFailures() const { return m_hadFailures; }

 protected:
  void DoDataExchange(CDataExchange* dx) override;
  BOOL OnInitDialog() override;

  void ShowEncoderVersions();
  void ShowSourceFolder();

  void OnSysCommand(UINT id, LPARAM lParam);
  void OnPaint();
  HCURSOR OnQueryDragIcon();
  void OnTimer(UINT_PTR id);
  void OnStart();
  void OnDestroy();
  void OnStereoClicked();
  void OnBgmBitrateChanged();
  void OnBgmRateChanged();
  void OnVoiceBitrateChanged();
  void OnVoiceRateChanged();
  void OnScreenChanged();
  void OnQualityChanged();
  void OnBrowse();

  HICON m_hIcon;
  CComboBox m_bgmBitrateCombo;
  CComboBox m_bgmRateCombo;
  CComboBox m_voiceBitrateCombo;
  CComboBox m_voiceRateCombo;
  CComboBox m_qualityCombo;
  CComboBox m_screenCombo;
  CStatic m_progressLabel;
  CButton m_startButton;
  CButton m_stereoCheck;
  CButton m_pictureCheck;
  CButton m_musicCheck;
  CButton m_voiceCheck;
  CWinEdit m_sourceEdit;
  bool m_hadFailures = false;

  // The current folder as the system names it (UTF-8, '/' between folders)
  // when code page 932 cannot hold its name: the output folder stays empty.
  std::string m_unholdableOutput;
  // The running job's progress as lines for a log.
  CProgressLines m_progressLines;

  DECLARE_MESSAGE_MAP()
};
