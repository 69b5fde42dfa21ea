// The source folder's edit control: it accepts dropped files and keeps the
// first one's path.
#pragma once

#include <afxwin.h>

#include <cstdint>

class CWinEdit : public CEdit {
  DECLARE_DYNCREATE(CWinEdit)

 public:
  CWinEdit();
  ~CWinEdit() override;

  virtual void OnDropFiles(HDROP drop);

  char m_droppedPath[1024];
  int32_t m_dropped;

  DECLARE_MESSAGE_MAP()
};
