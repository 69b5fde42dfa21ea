// The entry of a program built on our dialog framework: the desktop's
// registry (a Wine prefix's, behind the store) is in place before the
// application object's InitInstance runs.
#include <afxwin.h>

#include "velmi_wine.h"

int main(int argc, char** argv) {
  VelmiUseWineRegistry();
  return AfxWinMain(argc, argv);
}
