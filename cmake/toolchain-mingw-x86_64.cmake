# 64-bit Windows. Its executables run under Wine on Linux, so ctest runs the Windows test
# programs through the emulator below.
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(MIDIPARLEY_MINGW_TRIPLE x86_64-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)

# Debian keeps the 64-bit loader out of PATH when wine32 is missing.
find_program(MIDIPARLEY_WINE64 NAMES wine64 PATHS /usr/lib/wine /usr/lib/wine-stable
             NO_CMAKE_FIND_ROOT_PATH)
if(MIDIPARLEY_WINE64)
  # A private prefix in the build tree, no display and no Wine chatter on stderr, so the
  # tests see only what the program itself prints. Wine's sound drivers stay unloaded: the
  # ALSA one prints its own errors on machines without a sound card, and the tests expect
  # no MIDI devices under Wine anyway.
  if(NOT MIDIPARLEY_WINEPREFIX)
    set(MIDIPARLEY_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
  set(MIDIPARLEY_WINEDLLOVERRIDES "mscoree,mshtml,winealsa.drv,winepulse.drv,wineoss.drv=d")
  set(CMAKE_CROSSCOMPILING_EMULATOR
      /usr/bin/env -u DISPLAY -u WAYLAND_DISPLAY WINEPREFIX=${MIDIPARLEY_WINEPREFIX}
      WINEDEBUG=-all WINEDLLOVERRIDES=${MIDIPARLEY_WINEDLLOVERRIDES} ${MIDIPARLEY_WINE64})
endif()
