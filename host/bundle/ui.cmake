# The dialog's side of the bundle: the windowing backend Contents/Linux/kpblockwaves-ui.so (Qt
# Widgets, loaded only when a window is needed), the interface files and the manual in Resources.
find_package(Qt6 REQUIRED COMPONENTS Widgets UiTools)

set(BW_RESOURCES_DIR ${BW_BUNDLE_DIR}/Contents/Resources)
set(BW_INSTALL_BUNDLE lib/blockwaves/kpblockwaves.bundle/Contents)

add_library(kpblockwaves_ui MODULE
  ${PROJECT_SOURCE_DIR}/platform/qt/ToolboxQt.cpp
  ${PROJECT_SOURCE_DIR}/platform/qt/ControlView.cpp)
target_include_directories(kpblockwaves_ui PRIVATE ${PROJECT_SOURCE_DIR})
target_link_libraries(kpblockwaves_ui PRIVATE Qt6::Widgets Qt6::UiTools)
set_target_properties(kpblockwaves_ui PROPERTIES
  OUTPUT_NAME kpblockwaves-ui PREFIX "" SUFFIX ".so"
  LIBRARY_OUTPUT_DIRECTORY ${BW_BUNDLE_DIR}/Contents/Linux
  LINK_DEPENDS ${PROJECT_SOURCE_DIR}/platform/qt/exports.map)
target_link_options(kpblockwaves_ui PRIVATE
  -Wl,--version-script=${PROJECT_SOURCE_DIR}/platform/qt/exports.map -Wl,--no-undefined)

# Interface files are read at run time, so a designer can change a window without a rebuild.
set(BW_UI_OUTPUTS)
foreach(ui kpblockwaves.ui about.ui)
  add_custom_command(
    OUTPUT ${BW_RESOURCES_DIR}/${ui}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${BW_RESOURCES_DIR}
    COMMAND ${CMAKE_COMMAND} -E copy ${CMAKE_CURRENT_LIST_DIR}/ui/${ui} ${BW_RESOURCES_DIR}/${ui}
    DEPENDS ${CMAKE_CURRENT_LIST_DIR}/ui/${ui})
  list(APPEND BW_UI_OUTPUTS ${BW_RESOURCES_DIR}/${ui})
endforeach()

# The manual, from docs/manual.md and the pictures beside it. The tool may be a sanitizer build:
# Qt's caches held until exit are not leaks of ours.
file(GLOB BW_MANUAL_PICTURES CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/docs/*.png)
add_custom_command(
  OUTPUT ${BW_RESOURCES_DIR}/manual.pdf
  COMMAND ${CMAKE_COMMAND} -E make_directory ${BW_RESOURCES_DIR}
  COMMAND ${CMAKE_COMMAND} -E env QT_QPA_PLATFORM=offscreen ASAN_OPTIONS=detect_leaks=0
          $<TARGET_FILE:mkmanual> ${PROJECT_SOURCE_DIR}/docs/manual.md ${BW_RESOURCES_DIR}/manual.pdf
  DEPENDS mkmanual ${PROJECT_SOURCE_DIR}/docs/manual.md ${BW_MANUAL_PICTURES}
  COMMENT "Typesetting the manual")

add_custom_target(kpblockwaves_ui_resources ALL DEPENDS ${BW_UI_OUTPUTS} ${BW_RESOURCES_DIR}/manual.pdf)
add_dependencies(kpblockwaves_ui kpblockwaves_ui_resources)

# A package of its own, so that rendering installs without Qt.
install(TARGETS kpblockwaves_ui LIBRARY DESTINATION ${BW_INSTALL_BUNDLE}/Linux COMPONENT dialog)
install(FILES ${BW_UI_OUTPUTS} ${BW_RESOURCES_DIR}/manual.pdf DESTINATION ${BW_INSTALL_BUNDLE}/Resources
        COMPONENT dialog)
