# Debian packages, made by `cpack -G DEB` in a build folder (`make package`), one per component:
#   blockwaves         program: the program, its manual page, shell completions, desktop entry
#   blockwaves-plugin  plugin:  the bundle that renders (Info.plist, kpblockwaves.so, the .rsrc)
#   blockwaves-dialog  dialog:  the bundle's windowing backend (Qt), interface files and manual
#   blockwaves-frei0r  frei0r:  the frei0r plug-in and its Kdenlive description
#   blockwaves-mlt     mlt:     the MLT module, its metadata and its Kdenlive description
# Library dependencies come from dpkg-shlibdeps, so only the dialog's package needs Qt. A
# description is its summary line, then paragraphs that CPack indents for the control file.
set(BW_PACKAGE_DIR ${PROJECT_SOURCE_DIR}/packaging)
set(BW_PACKAGE_BUILD ${CMAKE_BINARY_DIR}/packaging)
set(BW_PACKAGES program plugin dialog)
if(TARGET blockwaves_frei0r)
  list(APPEND BW_PACKAGES frei0r)
endif()
set(BW_PACKAGE_NAME_program blockwaves)
set(BW_PACKAGE_NAME_plugin blockwaves-plugin)
set(BW_PACKAGE_NAME_dialog blockwaves-dialog)
set(BW_PACKAGE_NAME_frei0r blockwaves-frei0r)
if(TARGET blockwaves_mlt)
  list(APPEND BW_PACKAGES mlt)
endif()
set(BW_PACKAGE_NAME_mlt blockwaves-mlt)

# Debian keeps manual pages and changelogs compressed, without a time stamp.
function(bw_gzip source output)
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BW_PACKAGE_BUILD}
    COMMAND sh -c "gzip -9n < \"$1\" > \"$2\"" sh ${source} ${output}
    DEPENDS ${source} VERBATIM)
endfunction()
bw_gzip(${PROJECT_SOURCE_DIR}/docs/blockwaves.1 ${BW_PACKAGE_BUILD}/blockwaves.1.gz)
bw_gzip(${BW_PACKAGE_DIR}/changelog ${BW_PACKAGE_BUILD}/changelog.Debian.gz)
add_custom_target(bw_package_files ALL DEPENDS ${BW_PACKAGE_BUILD}/blockwaves.1.gz ${BW_PACKAGE_BUILD}/changelog.Debian.gz)

install(FILES ${BW_PACKAGE_BUILD}/blockwaves.1.gz DESTINATION share/man/man1 COMPONENT program)
install(FILES ${BW_PACKAGE_DIR}/blockwaves.bash DESTINATION share/bash-completion/completions
        RENAME blockwaves COMPONENT program)
install(FILES ${BW_PACKAGE_DIR}/_blockwaves DESTINATION share/zsh/vendor-completions COMPONENT program)
install(FILES ${BW_PACKAGE_DIR}/blockwaves.desktop DESTINATION share/applications COMPONENT program)
install(FILES ${BW_PACKAGE_DIR}/blockwaves-dialog.lintian-overrides DESTINATION share/lintian/overrides
        RENAME blockwaves-dialog COMPONENT dialog)
foreach(component ${BW_PACKAGES})
  install(FILES ${BW_PACKAGE_DIR}/copyright ${BW_PACKAGE_BUILD}/changelog.Debian.gz
          DESTINATION share/doc/${BW_PACKAGE_NAME_${component}} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME blockwaves)
set(CPACK_PACKAGE_VENDOR "The Blockwaves developers")
set(CPACK_PACKAGE_CONTACT "The Blockwaves developers <blockwaves@example.org>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${BW_PACKAGES})
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_COMPRESSION_TYPE xz)
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/DebWithoutScripts.cmake)
set(BW_PACKAGE_EXACT "(= ${PROJECT_VERSION}-1)")

set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME blockwaves)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_DEPENDS "blockwaves-plugin ${BW_PACKAGE_EXACT}")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "blockwaves-dialog")
set(CPACK_COMPONENT_PROGRAM_DESCRIPTION "video transition with a grid of tiles - command line program
blockwaves joins video clips with the Blockwaves! Transitions bundle, driving
it as a video editor does. The transition cuts the frame into a grid of up to
100 by 100 tiles, each changing from the outgoing to the incoming picture on
its own schedule, in one of 41 orderings.

It renders between clips, before the first and after the last clip, to MP4,
WebM, Matroska, PNG sequences or YUV4MPEG2, and keeps the user's default
settings. The settings dialog (blockwaves configure) needs blockwaves-dialog.")

set(CPACK_DEBIAN_PLUGIN_PACKAGE_NAME blockwaves-plugin)
set(CPACK_COMPONENT_PLUGIN_DESCRIPTION "video transition with a grid of tiles - plug-in bundle
The Blockwaves! Transitions bundle, kpblockwaves.bundle, with its entry point
and resources, loaded by the blockwaves program. It renders the transition's
frames and mixes its sound; it needs no windowing library.")

set(CPACK_DEBIAN_DIALOG_PACKAGE_NAME blockwaves-dialog)
set(CPACK_DEBIAN_DIALOG_PACKAGE_DEPENDS "blockwaves-plugin ${BW_PACKAGE_EXACT}")
set(CPACK_COMPONENT_DIALOG_DESCRIPTION "video transition with a grid of tiles - settings dialog
The settings dialog of the Blockwaves! Transitions bundle: its Qt windowing
backend, its window descriptions and the manual its Help button opens. The
dialog shows a live preview of the transition while the grid, the ordering,
the colour and the active area are changed.")

set(CPACK_DEBIAN_FREI0R_PACKAGE_NAME blockwaves-frei0r)
set(CPACK_COMPONENT_FREI0R_DESCRIPTION "video transition with a grid of tiles - frei0r plug-in
The Blockwaves transition as a frei0r mixer plug-in for MLT and GStreamer, with
Kdenlive's description of the transition, so that Kdenlive offers it among its
compositions.")

set(CPACK_DEBIAN_MLT_PACKAGE_NAME blockwaves-mlt)
# MLT loads the module from its own folders and calls into the library it was built against.
string(REGEX MATCH "^[0-9]+" BW_MLT_MAJOR "${BW_MLT_VERSION}")
set(CPACK_DEBIAN_MLT_PACKAGE_DEPENDS "libmlt${BW_MLT_MAJOR} (>= ${BW_MLT_VERSION})")
set(CPACK_DEBIAN_MLT_PACKAGE_RECOMMENDS "melt")
set(CPACK_COMPONENT_MLT_DESCRIPTION "video transition with a grid of tiles - MLT module
The Blockwaves transition as a native MLT ${BW_MLT_MAJOR} transition, blockwaves, for melt,
Shotcut and Kdenlive: it composes the frames in the format they are in (YUV
4:2:2, 4:2:0 or RGBA) and runs from clip A at its first frame to clip B at its
last without keyframes. Kdenlive's description of the transition is included.")

include(CPack)
