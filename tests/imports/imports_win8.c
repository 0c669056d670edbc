/* A program that imports a function Windows 7 lacks (Windows 8 brought it), so that
   the function allow-list can be seen refusing it. */
#include <windows.h>

/* Declared here: the headers offer it only to programs that require Windows 8. */
WINBASEAPI VOID WINAPI GetSystemTimePreciseAsFileTime(LPFILETIME time);

int main(void) {
    /* Referenced, never meant to run usefully: the import is what counts. */
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return (int)(now.dwLowDateTime & 1);
}
