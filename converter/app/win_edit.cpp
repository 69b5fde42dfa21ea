#include "converter/app/win_edit.h"

#include <shellapi.h>

IMPLEMENT_DYNCREATE(CWinEdit, CEdit)

BEGIN_MESSAGE_MAP(CWinEdit, CEdit)
ON_WM_DROPFILES()
END_MESSAGE_MAP()

CWinEdit::CWinEdit() : m_droppedPath{}, m_dropped(0) {}

CWinEdit::~CWinEdit() = default;

// The path is kept but nothing reads it: the source folder stays as chosen.
void CWinEdit::OnDropFiles(HDROP drop) {
  DragQueryFileA(drop, 0, m_droppedPath, 256);
  (void)GetFileAttributesA(m_droppedPath);
  m_dropped = 1;
}
