/* A program linked without the stub's protections and resources (see this folder's
   CMakeLists): the one each check of check_stub.py must be seen refusing. */
int main(void) { return 0; }
