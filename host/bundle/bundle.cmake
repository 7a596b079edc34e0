# The plug-in bundle: kpblockwaves.bundle/Contents/{Info.plist, Linux/kpblockwaves.so,
# Resources/kpblockwaves.rsrc}. The shared object exports `main` and nothing else.
set(BW_BUNDLE_DIR ${CMAKE_BINARY_DIR}/kpblockwaves.bundle)
set(BW_BUNDLE_EXECUTABLE kpblockwaves.so)

add_library(kpblockwaves MODULE ${CMAKE_CURRENT_LIST_DIR}/../basictx.cpp)
target_link_libraries(kpblockwaves PRIVATE bw_host)
set_target_properties(kpblockwaves PROPERTIES
  PREFIX "" SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${BW_BUNDLE_DIR}/Contents/Linux
  LINK_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/exports.map)
target_link_options(kpblockwaves PRIVATE
  -Wl,--version-script=${CMAKE_CURRENT_LIST_DIR}/exports.map -Wl,--exclude-libs,ALL -Wl,--no-undefined
  -Wl,--as-needed)  # the image decoders the image library links are not called by the transition

configure_file(${CMAKE_CURRENT_LIST_DIR}/Info.plist.in ${BW_BUNDLE_DIR}/Contents/Info.plist @ONLY)

add_custom_command(
  OUTPUT ${BW_BUNDLE_DIR}/Contents/Resources/kpblockwaves.rsrc
  COMMAND ${CMAKE_COMMAND} -E make_directory ${BW_BUNDLE_DIR}/Contents/Resources
  COMMAND mkrsrc ${CMAKE_CURRENT_LIST_DIR}/strings.txt ${BW_BUNDLE_DIR}/Contents/Resources/kpblockwaves.rsrc
  DEPENDS mkrsrc ${CMAKE_CURRENT_LIST_DIR}/strings.txt
  COMMENT "Compiling the bundle's string lists")
add_custom_target(kpblockwaves_resources ALL DEPENDS ${BW_BUNDLE_DIR}/Contents/Resources/kpblockwaves.rsrc)
add_dependencies(kpblockwaves kpblockwaves_resources)

install(FILES ${BW_BUNDLE_DIR}/Contents/Info.plist DESTINATION lib/blockwaves/kpblockwaves.bundle/Contents)
install(TARGETS kpblockwaves LIBRARY DESTINATION lib/blockwaves/kpblockwaves.bundle/Contents/Linux)
install(FILES ${BW_BUNDLE_DIR}/Contents/Resources/kpblockwaves.rsrc
        DESTINATION lib/blockwaves/kpblockwaves.bundle/Contents/Resources)

# The dialog side: windowing backend, interface files, manual.
include(${CMAKE_CURRENT_LIST_DIR}/ui.cmake)
