// Loads each library named on its command line the ordinary way (LoadLibraryA with
// a bare name, so the program's folder is searched first): the control that shows a
// planted library is taken when a program does not restrict its search.
#include <windows.h>

int main(int argc, char** argv) {
    int failed = 0;
    for (int i = 1; i < argc; ++i)
        if (!LoadLibraryA(argv[i])) ++failed;
    return failed;
}
