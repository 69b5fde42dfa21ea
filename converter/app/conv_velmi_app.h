// The converter program: one modal dialog.
#pragma once

#include <afxwin.h>

class CConvVelmiApp : public CWinApp {
 public:
  CConvVelmiApp();
  ~CConvVelmiApp() override;
  BOOL InitInstance() override;

  DECLARE_MESSAGE_MAP()
};

extern CConvVelmiApp ApplicationObject;
