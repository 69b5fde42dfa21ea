// The entry of a program built on our dialog framework: the desktop's
// registry (a Wine prefix's, behind the store) is in place before the
// application object's InitInstance runs.
#include <afxwin.h>

#include "velmi_mfc.h"
#include "velmi_wine.h"

int main(int argc, char** argv) {
  VelmiUseWineRegistry();
  const int status = AfxWinMain(argc, argv);
  // Headless, nobody reads the dialog: a refused or damaged run fails.
  return status != 0 ? status : velmi_mfc::ConsoleRunFailed() ? 1 : 0;
}
