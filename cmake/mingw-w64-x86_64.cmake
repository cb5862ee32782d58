# Cross-compiling for Windows x86-64 with Debian's mingw-w64 (posix thread model, so std::thread
# works), run under wine. Used by scripts/build-windows.sh:
#   cmake -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake ...
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VEMO_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VEMO_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VEMO_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VEMO_MINGW_TRIPLE}-windres)

# Libraries and headers come from the cross root (and from CMAKE_PREFIX_PATH, e.g. the static Qt);
# programs (moc, rcc) from the build machine.
set(CMAKE_FIND_ROOT_PATH /usr/${VEMO_MINGW_TRIPLE} ${CMAKE_PREFIX_PATH})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Statically linked: no libstdc++, libgcc or winpthread DLLs to ship beside the programs.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs run under wine.
find_program(VEMO_WINE NAMES wine wine64)
if(VEMO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VEMO_WINE})
endif()
