# Installation and packages. `cmake --install` lays the tool out as a Unix tool:
#   bin/midiparley, lib/midiparley/midiparley-midi.so (where the tool looks for its module,
#   relative to its own path), share/man/man1/midiparley.1.gz, share/doc/midiparley/.
# On Windows the executable and its documents sit side by side, as the zip holds them.
# cpack builds midiparley_<version>_<arch>.deb on Linux and midiparley-<version>-win64.zip
# (or -win32.zip) in a Windows build.
set(MIDIPARLEY_DOCS ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/CHANGELOG.md)
if(WIN32)
  install(TARGETS midiparley RUNTIME DESTINATION .)
  install(FILES ${MIDIPARLEY_DOCS} DESTINATION .)
  install(FILES ${PROJECT_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)
else()
  install(TARGETS midiparley RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(TARGET midi_system_module)
    install(TARGETS midi_system_module LIBRARY DESTINATION lib/midiparley)
  endif()
  install(FILES ${MIDIPARLEY_DOCS} ${PROJECT_SOURCE_DIR}/LICENSE
          DESTINATION ${CMAKE_INSTALL_DOCDIR})
endif()

set(CPACK_PACKAGE_NAME midiparley)
set(CPACK_PACKAGE_VENDOR "The midiparley developers")
set(CPACK_PACKAGE_CONTACT "The midiparley developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "send a MIDI System Exclusive message and print the answer")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
       "midiparley sends a SysEx message typed as hexadecimal bytes to a MIDI output, records "
       "a MIDI input until the answer has arrived or a time-out has passed, and prints it. "
       "It reaches real ports through ALSA or JACK, and has a built-in virtual instrument.")
set(CPACK_RESOURCE_FILE_LICENSE ${PROJECT_SOURCE_DIR}/LICENSE)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  # CPack names only MSVC's 64-bit builds win64; MinGW's need saying.
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(CPACK_SYSTEM_NAME win64)
  else()
    set(CPACK_SYSTEM_NAME win32)
  endif()
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION sound)
  set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
  # Depends and Recommends come from dpkg-shlibdeps when the package is built.
  set(config ${PROJECT_BINARY_DIR}/CPackProjectConfig.cmake)
  # A build without the MIDI system module has nothing to recommend.
  set(module "")
  if(TARGET midi_system_module)
    set(module "$<TARGET_FILE:midi_system_module>")
  endif()
  file(GENERATE OUTPUT ${config} CONTENT
       "set(MIDIPARLEY_TOOL \"$<TARGET_FILE:midiparley>\")
set(MIDIPARLEY_MODULE \"${module}\")
include(\"${PROJECT_SOURCE_DIR}/cmake/deb-dependencies.cmake\")
")
  set(CPACK_PROJECT_CONFIG_FILE ${config})
endif()
include(CPack)
