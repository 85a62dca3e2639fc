# SPDX-License-Identifier: GPL-3.0-or-later
# The Debian package: `cpack -G DEB` (or the `package` target) turns the install rules into
# quarnedit_<version>_<arch>.deb. Everything here is derived from the project's own variables.

# The AppStream metadata belongs to every install, like the desktop entry it points at.
install(FILES resources/io.github.quarnedit.QuarnEdit.metainfo.xml DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)

# The Debian version from the program's: "1.1 beta 6" becomes 1.1~beta6, which sorts before 1.1.
string(FIND "${QUARN_VERSION_TEXT}" "${PROJECT_VERSION}" quarn_version_at)
if(NOT quarn_version_at EQUAL 0)
  message(FATAL_ERROR "QUARN_VERSION_TEXT '${QUARN_VERSION_TEXT}' does not start with '${PROJECT_VERSION}'")
endif()
string(LENGTH "${PROJECT_VERSION}" quarn_version_length)
string(SUBSTRING "${QUARN_VERSION_TEXT}" ${quarn_version_length} -1 quarn_prerelease)
string(TOLOWER "${quarn_prerelease}" quarn_prerelease)
string(REGEX REPLACE "[^a-z0-9.+]" "" quarn_prerelease "${quarn_prerelease}")
if(quarn_prerelease STREQUAL "")
  set(QUARN_DEB_VERSION "${PROJECT_VERSION}")
else()
  set(QUARN_DEB_VERSION "${PROJECT_VERSION}~${quarn_prerelease}")
endif()

set(QUARN_DEB_MAINTAINER "QuarnEdit developers <dev@quarnedit.invalid>")
set(QUARN_DEB_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/quarnedit)

# Debian wants a changelog and the copyright beside every package, and compressed manual pages; a plain
# `cmake --install` keeps the man page as it is, so these happen only in the package's staging install.
# SOURCE_DATE_EPOCH, when set, makes the entry's date (and so the package) reproducible.
string(TIMESTAMP quarn_deb_date "%a, %d %b %Y %H:%M:%S +0000" UTC)
file(CONFIGURE OUTPUT ${PROJECT_BINARY_DIR}/packaging/changelog CONTENT
"quarnedit (${QUARN_DEB_VERSION}) unstable; urgency=medium

  * QuarnEdit ${QUARN_VERSION_TEXT}.

 -- ${QUARN_DEB_MAINTAINER}  ${quarn_deb_date}
")
install(CODE "
  if(QUARN_DEBIAN_PACKAGE)
    set(root \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}\")
    file(MAKE_DIRECTORY \"\${root}/${QUARN_DEB_DOCDIR}\")
    file(COPY_FILE \"${PROJECT_SOURCE_DIR}/resources/copyright\" \"\${root}/${QUARN_DEB_DOCDIR}/copyright\")
    execute_process(COMMAND gzip -9nc \"${PROJECT_BINARY_DIR}/packaging/changelog\"
      OUTPUT_FILE \"\${root}/${QUARN_DEB_DOCDIR}/changelog.gz\" COMMAND_ERROR_IS_FATAL ANY)
    execute_process(COMMAND gzip -9nf \"\${root}/${CMAKE_INSTALL_MANDIR}/man1/quarnedit.1\" COMMAND_ERROR_IS_FATAL ANY)
  endif()
")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME quarnedit)
set(CPACK_PACKAGE_VENDOR "QuarnEdit developers")
set(CPACK_PACKAGE_CONTACT "${QUARN_DEB_MAINTAINER}")
set(CPACK_PACKAGE_VERSION "${QUARN_DEB_VERSION}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_CUSTOM_INSTALL_VARIABLES QUARN_DEBIAN_PACKAGE=ON)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "patch editor for a MIDI-controlled synthesizer")
# Control-file lines: lintian wants them under 80 columns, and CPack keeps the breaks given here.
set(CPACK_PACKAGE_DESCRIPTION
"QuarnEdit edits one patch (one sound) of a MIDI-controlled hardware
synthesizer in a window of sliders, lists and check boxes, grouped by the
synthesizer's sections. Every change goes out at once as MIDI Control Change
messages, so the instrument follows the editor live.

It saves and opens patches in .qnp files, sends the whole patch on demand,
exports it as a Standard MIDI File, and offers a quick-load menu of the
patches at hand. It talks to ALSA sequencer and JACK MIDI ports; install a
JACK server to reach JACK MIDI.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION sound)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the binaries link, computed by dpkg-shlibdeps; JACK servers are the user's choice.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "jackd2 | pipewire-jack")
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
include(CPack)
