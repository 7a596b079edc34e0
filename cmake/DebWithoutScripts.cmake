# Run by cpack once the packages are made (CPACK_POST_BUILD_SCRIPTS). CPack gives a package that
# holds a shared object in /usr/lib or a folder of it maintainer scripts that run ldconfig. The
# frei0r plug-in (/usr/lib/frei0r-1) and the MLT module (MLT's module folder) are no libraries
# anything links against, so their packages are rebuilt without them: they have nothing to do when
# installed or removed.
foreach(deb IN LISTS CPACK_PACKAGE_FILES)
  get_filename_component(name ${deb} NAME)
  if(NOT name MATCHES "^blockwaves-(frei0r|mlt)_.*\\.deb$")
    continue()
  endif()
  set(tree ${CPACK_PACKAGE_DIRECTORY}/_CPack_Packages/without-scripts)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${deb} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE ${tree}/DEBIAN/postinst ${tree}/DEBIAN/postrm)
  execute_process(COMMAND dpkg-deb --root-owner-group -Zxz --build ${tree} ${deb}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()
