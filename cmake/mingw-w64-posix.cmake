# Cross-compiles the Windows build with Debian's mingw-w64, the "-posix"
# thread variant (the default one has no std::thread or std::mutex):
#   cmake -S . -B build/win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-posix.cmake
# Programs are linked statically, so an .exe needs no DLL beside it.  The
# build's own programs (the picture generator, the tests) run under Wine
# through tools/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(FB_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${FB_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${FB_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${FB_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${FB_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../tools/wine-run.sh)
