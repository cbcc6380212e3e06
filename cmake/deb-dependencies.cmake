# Read by cpack: the Debian package's dependencies as dpkg-shlibdeps works them out from the
# binaries. What the tool needs is required. What only the MIDI system module needs (RtMidi,
# ALSA, JACK) is recommended: the tool loads the module only where an ALSA sequencer or a JACK
# server exists, and without them it still has its virtual instrument.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
find_program(MIDIPARLEY_SHLIBDEPS dpkg-shlibdeps)
if(NOT MIDIPARLEY_SHLIBDEPS)
  message(FATAL_ERROR "dpkg-shlibdeps not found (apt-get install dpkg-dev)")
endif()
# dpkg-shlibdeps insists on a debian/control in the directory it runs in.
set(work ${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/shlibdeps)
file(MAKE_DIRECTORY ${work}/debian)
file(TOUCH ${work}/debian/control)
set(recommends "")
if(MIDIPARLEY_MODULE)
  set(recommends -dRecommends ${MIDIPARLEY_MODULE})
endif()
execute_process(
  COMMAND ${MIDIPARLEY_SHLIBDEPS} -O -dDepends ${MIDIPARLEY_TOOL} ${recommends}
  WORKING_DIRECTORY ${work}
  OUTPUT_VARIABLE substvars ERROR_VARIABLE messages RESULT_VARIABLE status)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps failed:\n${messages}")
endif()
# A library both need stays only in Depends; dpkg-shlibdeps drops it from the weaker field.
string(REGEX MATCH "shlibs:Depends=([^\n]*)" found "${substvars}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
string(REGEX MATCH "shlibs:Recommends=([^\n]*)" found "${substvars}")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "${CMAKE_MATCH_1}")
if(CPACK_DEBIAN_PACKAGE_DEPENDS STREQUAL "")
  message(FATAL_ERROR "dpkg-shlibdeps found no dependencies:\n${substvars}${messages}")
endif()
