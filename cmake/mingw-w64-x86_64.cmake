# Cross build for 64-bit Windows with Debian's mingw-w64 (the posix-threads
# variant, for std::thread and std::mutex). Everything is linked statically,
# so the programs run without DLLs beside them; ctest runs them under Wine.
#   cmake -S . -B out-win32 -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MOLVAR_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MOLVAR_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MOLVAR_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${MOLVAR_MINGW_TRIPLET}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MOLVAR_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# libgcc, libstdc++ and winpthread go into each .exe.
set(CMAKE_EXE_LINKER_FLAGS_INIT -static)

# Debian installs the 64-bit loader as /usr/lib/wine/wine64 (package wine64)
# and a wrapper as /usr/bin/wine (package wine).
find_program(MOLVAR_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
find_program(MOLVAR_WINESERVER NAMES wineserver PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(MOLVAR_WINE AND MOLVAR_WINESERVER)
  # A throw-away Wine prefix inside the build folder, made on first use. The
  # overrides skip the Mono and Gecko installers that a new prefix would
  # offer; no window system is needed for console programs.
  set(CMAKE_CROSSCOMPILING_EMULATOR
    ${CMAKE_COMMAND} -E env
      --unset=DISPLAY
      --unset=WAYLAND_DISPLAY
      WINEPREFIX=${CMAKE_BINARY_DIR}/wine-prefix
      WINEDEBUG=-all
      WINEDLLOVERRIDES=mscoree,mshtml=
      sh ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh ${MOLVAR_WINESERVER} ${MOLVAR_WINE})
endif()
