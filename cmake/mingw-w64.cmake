# Cross build for 64-bit Windows with Debian's mingw-w64, tests run under wine.
#   cmake -S . -B build-windows -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64.cmake -DQRB_CORE_ONLY=ON
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(QRB_MINGW_TRIPLE x86_64-w64-mingw32)
# The posix thread model gives std::thread and std::mutex; -win32 lacks them in GCC 12.
set(QRB_MINGW_THREADS posix CACHE STRING "mingw-w64 thread model: posix or win32")
set(CMAKE_C_COMPILER ${QRB_MINGW_TRIPLE}-gcc-${QRB_MINGW_THREADS})
set(CMAKE_CXX_COMPILER ${QRB_MINGW_TRIPLE}-g++-${QRB_MINGW_THREADS})
set(CMAKE_RC_COMPILER ${QRB_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${QRB_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# GCC 12's -Wrestrict misfires on std::string concatenation in optimised
# builds (GCC bug 105329).
set(CMAKE_CXX_FLAGS_INIT "-Wno-restrict")

# Self-contained executables: no libstdc++, libgcc or winpthread DLLs to ship.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Quiet, headless wine with a prefix of the build's own; no Mono or Gecko
# installer prompts when the prefix is created on the first run.
set(CMAKE_CROSSCOMPILING_EMULATOR
    env WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= wine)
