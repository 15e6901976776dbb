# Cross-build for 32-bit Windows with mingw-w64 (posix thread model).
#   cmake -S . -B build-w -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-mingw-i686.cmake
# The runtime libraries are linked statically so that the executables need
# nothing beside the system DLLs. Test executables run through Wine
# (CMAKE_CROSSCOMPILING_EMULATOR), both for test discovery and for ctest.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)

set(HIVORA_MINGW_PREFIX i686-w64-mingw32)
set(CMAKE_C_COMPILER ${HIVORA_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${HIVORA_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${HIVORA_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${HIVORA_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# pkg-config must describe target libraries, never the host's.
set(ENV{PKG_CONFIG_LIBDIR} "/usr/${HIVORA_MINGW_PREFIX}/lib/pkgconfig")
set(ENV{PKG_CONFIG_PATH} "")
set(ENV{PKG_CONFIG_SYSROOT_DIR} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Each build folder gets its own Wine prefix, created on the first run, so
# that test runs never touch the user's ~/.wine. Wine's debug channels are
# silenced: their output would mix with the tests' own.
set(HIVORA_WINEPREFIX "${CMAKE_BINARY_DIR}/wineprefix" CACHE PATH "Wine prefix for running the cross-built tests")
if(NOT DEFINED CMAKE_CROSSCOMPILING_EMULATOR)
  find_program(HIVORA_WINE NAMES wine)
  if(HIVORA_WINE)
    set(CMAKE_CROSSCOMPILING_EMULATOR env WINEDEBUG=-all WINEPREFIX=${HIVORA_WINEPREFIX} ${HIVORA_WINE})
  endif()
endif()
