# midiparley_module_beside(TARGETS...): a copy of the MIDI system module in the directory of
# each of these executables. The program looks for its module only beside its own executable
# (or in the install layout's lib/midiparley/), never at a path fixed when it was built, so an
# executable that opens MIDI devices in its own process needs one where it lies; without it a
# running MIDI system's ports are missing (the program says its module did not load). No-op
# without the module (Windows, or MIDIPARLEY_MIDI_SYSTEM off).
# One copy per directory, made by one custom target that every executable there depends on:
# two executables of a directory built side by side never write the same file at once.
function(midiparley_module_beside)
  if(NOT TARGET midi_system_module)
    return()
  endif()
  get_target_property(output_name midi_system_module OUTPUT_NAME)
  get_target_property(suffix midi_system_module SUFFIX)
  set(name "${output_name}${suffix}")
  foreach(target IN LISTS ARGN)
    get_target_property(directory ${target} BINARY_DIR)
    file(RELATIVE_PATH relative ${PROJECT_BINARY_DIR} ${directory})
    string(MAKE_C_IDENTIFIER "midi_system_module_in_${relative}" copy)
    if(NOT TARGET ${copy})
      set(copied "${directory}/${name}")
      add_custom_command(OUTPUT ${copied}
        COMMAND ${CMAKE_COMMAND} -E copy_if_different $<TARGET_FILE:midi_system_module>
                ${copied}
        # A module relinked unchanged leaves the copy as it was; newer now, it is not redone.
        COMMAND ${CMAKE_COMMAND} -E touch ${copied}
        DEPENDS midi_system_module VERBATIM)
      add_custom_target(${copy} DEPENDS ${copied})
    endif()
    add_dependencies(${target} ${copy})
  endforeach()
endfunction()
