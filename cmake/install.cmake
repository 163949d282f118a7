# Installation and the Debian package. Only the user-facing files are
# installed, each by name; there is no library API, so no header and no
# static library goes anywhere:
#   bin/devidoriv                      the command-line tool
#   lib/devidoriv/devidoriv.so         the module, where the tool looks for it
#   lib/frei0r-1/devidoriv.so          the frei0r plug-in, when it is built,
#   share/kdenlive/effects/frei0r_devidoriv.xml   with its description for Kdenlive
#   share/shotcut/qml/filters/devidoriv/          and its filter folder for Shotcut
#   share/man/man1/devidoriv.1.gz      the tool's man page, from its --help (with help2man)
#   share/doc/devidoriv/               README.md, LICENSE and docs/
#   share/doc/devidoriv/fftw/          FFTW's COPYRIGHT and source package, when
#                                      the module has an FFTW of its own
# The module's folder is lib/ on every distribution, not the multiarch
# library folder: the tool and the frei0r plug-in find it by its place
# relative to their own, so that a staging tree (DESTDIR) and a moved
# prefix work as well as the prefix the files were installed to.
#
# Every rule belongs to the component "devidoriv". A plain install (make
# install) records its files in install_manifest.txt, which make uninstall
# reads; the package and the install test install the component alone, so
# that they write install_manifest_devidoriv.txt and leave that record be.
set(DEVIDORIV_INSTALL_COMPONENT devidoriv)

# Installed libraries are not executable, as Debian wants them.
set(DEVIDORIV_LIBRARY_PERMISSIONS OWNER_READ OWNER_WRITE GROUP_READ WORLD_READ)

install(TARGETS devidoriv
  LIBRARY DESTINATION lib/devidoriv
  PERMISSIONS ${DEVIDORIV_LIBRARY_PERMISSIONS}
  COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})

if(TARGET devidoriv_tool)
  install(TARGETS devidoriv_tool
    RUNTIME DESTINATION bin
    COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})

  # The man page, written by help2man from the tool's --help with the
  # defaults and ranges of the module built beside it.
  find_program(DEVIDORIV_HELP2MAN help2man)
  if(DEVIDORIV_HELP2MAN)
    set(DEVIDORIV_MAN_PAGE ${PROJECT_BINARY_DIR}/man/devidoriv.1.gz)
    add_custom_command(OUTPUT ${DEVIDORIV_MAN_PAGE}
      COMMAND sh ${PROJECT_SOURCE_DIR}/scripts/make-man-page.sh ${DEVIDORIV_HELP2MAN}
              $<TARGET_FILE:devidoriv_tool> $<TARGET_FILE:devidoriv> ${PROJECT_VERSION}
              ${PROJECT_SOURCE_DIR}/tools/devidoriv.h2m ${DEVIDORIV_MAN_PAGE}
      DEPENDS devidoriv_tool devidoriv ${PROJECT_SOURCE_DIR}/scripts/make-man-page.sh
              ${PROJECT_SOURCE_DIR}/tools/devidoriv.h2m
      COMMENT "Writing the man page devidoriv.1 from the tool's --help"
      VERBATIM)
    add_custom_target(devidoriv_man ALL DEPENDS ${DEVIDORIV_MAN_PAGE})
    install(FILES ${DEVIDORIV_MAN_PAGE}
      DESTINATION share/man/man1
      COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})
  else()
    devidoriv_leave_out(man_page "The man page" "help2man not found (Debian: help2man)")
  endif()
endif()

# The frei0r plug-in goes where frei0r hosts look for plug-ins; it finds
# the module at ../devidoriv/devidoriv.so from its own folder.
if(TARGET devidoriv_frei0r)
  install(TARGETS devidoriv_frei0r
    LIBRARY DESTINATION lib/frei0r-1
    PERMISSIONS ${DEVIDORIV_LIBRARY_PERMISSIONS}
    COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})
  # Where the editors read effect descriptions: Kdenlive lists the effect
  # with these labelled controls, and Shotcut lists a filter only when its
  # folder holds a meta.qml and the ui.qml of its panel.
  install(FILES ${DEVIDORIV_KDENLIVE_EFFECT}
    DESTINATION share/kdenlive/effects
    COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})
  install(FILES ${DEVIDORIV_SHOTCUT_FILTER_DIR}/meta.qml ${DEVIDORIV_SHOTCUT_FILTER_DIR}/ui.qml
    DESTINATION share/shotcut/qml/filters/devidoriv
    COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})
  set(CPACK_DEBIAN_PACKAGE_ENHANCES "kdenlive, shotcut")
endif()

install(FILES ${PROJECT_SOURCE_DIR}/README.md ${PROJECT_SOURCE_DIR}/LICENSE
  DESTINATION share/doc/devidoriv
  COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})
# docs/ keeps its name, so that the README's links into it still work.
install(DIRECTORY ${PROJECT_SOURCE_DIR}/docs
  DESTINATION share/doc/devidoriv
  COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})

# A module with an FFTW of its own (DEVIDORIV_OWN_FFTW) has FFTW built in:
# FFTW's licence and the Debian source package it was built from go with
# it, as in the Windows archive (the GPL's corresponding source).
if(DEVIDORIV_OWN_FFTW)
  install(FILES ${DEVIDORIV_OWN_FFTW_COPYRIGHT}
    DESTINATION share/doc/devidoriv/fftw
    COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})
  install(FILES ${DEVIDORIV_OWN_FFTW_SOURCE_FILES}
    DESTINATION share/doc/devidoriv/fftw/source
    COMPONENT ${DEVIDORIV_INSTALL_COMPONENT})
endif()

# The Debian package (make deb): the same files under /usr. Its Depends
# field is what dpkg-shlibdeps finds the binaries linked against.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME devidoriv)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "Devidoriv")
set(DEVIDORIV_PACKAGE_CONTACT "Devidoriv developers <devidoriv@localhost>" CACHE STRING
    "Maintainer field of the Debian package")
set(CPACK_PACKAGE_CONTACT ${DEVIDORIV_PACKAGE_CONTACT})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "frequency-domain video filter module and command-line tool")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
  "Devidoriv takes the 2-D FFT of each plane of a video frame, weights the
half-spectrum with one of six tapered masks (luma and chroma set apart),
transforms back, and can show the log power spectrum of a plane in the
frame's corner. This package holds the filter module, the devidoriv tool
that filters YUV4MPEG2 video through it (from files or through ffmpeg's
pipes), and, where built, a frei0r plug-in of the same filter with its
effect descriptions for Kdenlive and Shotcut.")
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SUGGESTS ffmpeg)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_CMAKE_PROJECTS
    "${PROJECT_BINARY_DIR};${PROJECT_NAME};${DEVIDORIV_INSTALL_COMPONENT};/")
# Control files with the permissions Debian's policy asks for.
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION ON)
set(CPACK_SOURCE_GENERATOR "")
include(CPack)
