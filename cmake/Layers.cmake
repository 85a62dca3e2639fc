# SPDX-License-Identifier: GPL-3.0-or-later
# The program's layers, each a library of its own folder under src/, and what each may include:
#   util <- midi <- patch <- editor <- app <- platform, ui <- main, and the patch library beside the editor:
#   util, patch <- library <- app, platform, ui, main
# A file that includes a header of a layer to its right, or a core file that includes Qt, RtMidi, JACK,
# ALSA or SQLite, fails the build.
set(QUARN_CORE_LAYERS util midi patch library editor app)
set(QUARN_LAYER_ALLOWS_util util)
set(QUARN_LAYER_ALLOWS_midi util midi)
set(QUARN_LAYER_ALLOWS_patch util midi patch)
set(QUARN_LAYER_ALLOWS_library util patch library)
set(QUARN_LAYER_ALLOWS_editor util midi patch editor)
set(QUARN_LAYER_ALLOWS_app util midi patch library editor app)
set(QUARN_LAYER_ALLOWS_platform util midi patch library editor app platform)
set(QUARN_LAYER_ALLOWS_ui util midi patch library editor app ui)
set(QUARN_LAYER_ALLOWS_main util midi patch library editor app platform ui main)

# quarn_layer(<layer> <target>): checks every source and header of src/<layer> before <target> builds.
function(quarn_layer layer target)
  file(GLOB_RECURSE files CONFIGURE_DEPENDS
    ${PROJECT_SOURCE_DIR}/src/${layer}/*.h ${PROJECT_SOURCE_DIR}/src/${layer}/*.cpp ${PROJECT_SOURCE_DIR}/src/${layer}/*.in)
  list(FIND QUARN_CORE_LAYERS ${layer} core_index)
  if(core_index EQUAL -1)
    set(core OFF)
  else()
    set(core ON)
  endif()
  set(stamp ${CMAKE_CURRENT_BINARY_DIR}/layers/${layer}.checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DLAYER=${layer} "-DALLOWED=${QUARN_LAYER_ALLOWS_${layer}}" -DCORE=${core}
            -DSTAMP=${stamp} "-DFILES=${files}" -P ${PROJECT_SOURCE_DIR}/cmake/CheckLayer.cmake
    DEPENDS ${files} ${PROJECT_SOURCE_DIR}/cmake/CheckLayer.cmake
    COMMENT "Checking the includes of src/${layer}"
    VERBATIM)
  add_custom_target(check_layer_${layer} DEPENDS ${stamp})
  add_dependencies(${target} check_layer_${layer})
endfunction()
