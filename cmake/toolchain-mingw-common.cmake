# Shared part of the MinGW-w64 cross toolchains; the per-target files set
# MIDIPARLEY_MINGW_TRIPLE and include this one.
#
# The executables link the GCC runtime, the C++ library and winpthread statically, so they
# import only the system DLLs (KERNEL32, USER32, WINMM and the C runtime) and run on a
# Windows machine without any MinGW files beside them.
set(CMAKE_SYSTEM_NAME Windows)

# The "-posix" compilers carry std::thread and std::mutex; the "-win32" ones do not.
find_program(MIDIPARLEY_MINGW_CXX NAMES ${MIDIPARLEY_MINGW_TRIPLE}-g++-posix REQUIRED)
find_program(MIDIPARLEY_MINGW_CC NAMES ${MIDIPARLEY_MINGW_TRIPLE}-gcc-posix REQUIRED)
find_program(MIDIPARLEY_MINGW_RC NAMES ${MIDIPARLEY_MINGW_TRIPLE}-windres)
set(CMAKE_C_COMPILER ${MIDIPARLEY_MINGW_CC})
set(CMAKE_CXX_COMPILER ${MIDIPARLEY_MINGW_CXX})
if(MIDIPARLEY_MINGW_RC)
  set(CMAKE_RC_COMPILER ${MIDIPARLEY_MINGW_RC})
endif()

set(CMAKE_FIND_ROOT_PATH /usr/${MIDIPARLEY_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
