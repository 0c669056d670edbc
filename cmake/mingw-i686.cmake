# Cross toolchain for the shipped 32-bit Windows build. Its tests run under the 32-bit
# Wine of a private i386 root (scripts/setup.sh makes it), which scripts/wine32-run.sh
# enters for each program; the host's own Wine stays 64-bit only.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(TOOLCHAIN_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${TOOLCHAIN_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${TOOLCHAIN_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${TOOLCHAIN_PREFIX}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${TOOLCHAIN_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
get_filename_component(K4_WINE32_RUN ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine32-run.sh ABSOLUTE)
set(CMAKE_CROSSCOMPILING_EMULATOR ${K4_WINE32_RUN})
