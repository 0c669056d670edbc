/* A program that imports the libraries the extractor must only ever load from the
   system folder, so that the import check can be seen refusing them. */
#include <windows.h>
#include <commctrl.h>
#include <fdi.h>

int main(void) {
    /* Referenced, never meant to run usefully: the imports are what count. */
    FDIDestroy(NULL);
    InitCommonControls();
    return (int)GetFileVersionInfoSizeA("", NULL);
}
