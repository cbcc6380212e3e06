# 32-bit Windows, the program's target. These executables do not run on the 64-bit-only Wine
# of the build machines, so this build is compiled and linked but not tested.
set(CMAKE_SYSTEM_PROCESSOR x86)
set(MIDIPARLEY_MINGW_TRIPLE i686-w64-mingw32)
include(${CMAKE_CURRENT_LIST_DIR}/toolchain-mingw-common.cmake)
