#include "converter/app/conv_velmi_app.h"

#include "common/file.h"
#include "converter/app/conv_velmi_dlg.h"

BEGIN_MESSAGE_MAP(CConvVelmiApp, CWinApp)
ON_COMMAND(ID_HELP, CWinApp::OnHelp)
END_MESSAGE_MAP()

CConvVelmiApp::CConvVelmiApp() : CWinApp("convVelmi") {}

CConvVelmiApp::~CConvVelmiApp() = default;

CConvVelmiApp ApplicationObject;

BOOL CConvVelmiApp::InitInstance() {
  SetFileProfile(FileProfile::Converter);
  AfxEnableControlContainer();
  CConvVelmiDlg dlg;
  m_pMainWnd = &dlg;
  dlg.DoModal();
  m_pMainWnd = nullptr;
  // The program ends with its dialog.
  return FALSE;
}
