// The converter program: one modal dialog.
#pragma once

#include <afxwin.h>

class CConvVelmiApp : public CWinApp {
 public:
  CConvVelmiApp();
  ~CConvVelmiApp() override;
  BOOL InitInstance() override;
  int ExitInstance() override;

  DECLARE_MESSAGE_MAP()

 private:
  int m_exitCode = 0;
};

extern CConvVelmiApp ApplicationObject;
