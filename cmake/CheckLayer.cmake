# SPDX-License-Identifier: GPL-3.0-or-later
# Run by the build (cmake -P) for one layer: fails when a file of the layer includes a header of a layer it
# must not depend on, or, in the core, a header of Qt, RtMidi, JACK, ALSA or SQLite.
#   -DLAYER=name -DALLOWED="a;b;c" -DCORE=ON|OFF -DSTAMP=file -DFILES="f1;f2"
set(problems "")
foreach(file IN LISTS FILES)
  file(STRINGS "${file}" includes REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<]")
  foreach(line IN LISTS includes)
    if(line MATCHES "#[ \t]*include[ \t]*\"([A-Za-z_]+)/")
      set(folder "${CMAKE_MATCH_1}")
      list(FIND ALLOWED "${folder}" found)
      if(found EQUAL -1)
        string(APPEND problems "\n  ${file}: ${line}  (${LAYER} may use: ${ALLOWED})")
      endif()
    elseif(CORE AND line MATCHES "#[ \t]*include[ \t]*<(Q[A-Za-z]*|RtMidi\\.h|jack/|alsa/|sqlite3\\.h)")
      string(APPEND problems "\n  ${file}: ${line}  (the core uses the standard library only)")
    endif()
  endforeach()
endforeach()
if(problems)
  message(FATAL_ERROR "Includes against the layering (util <- midi <- patch <- editor <- app <- platform/ui <- main):${problems}")
endif()
file(WRITE "${STAMP}" "")
