# The configuration dialog, offscreen, with the built bundle's interface files and Qt backend.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
bw_layer_tests(dialog bw_host bw_imageio Qt6::Widgets Qt6::Test)
set_target_properties(dialog_tests PROPERTIES AUTOMOC ON)
add_dependencies(dialog_tests kpblockwaves kpblockwaves_ui)
target_compile_definitions(dialog_tests PRIVATE BW_TEST_BUNDLE="${CMAKE_BINARY_DIR}/kpblockwaves.bundle")

# The same dialog behind the bundle's entry point, driven by the host core.
add_executable(dialog_bundle_tests dialog/bundle_dialog.cpp)
target_link_libraries(dialog_bundle_tests PRIVATE bw_hostcore bw_settings Qt6::Widgets Qt6::Test GTest::gtest
                      GTest::gtest_main)
target_include_directories(dialog_bundle_tests PRIVATE ${CMAKE_CURRENT_SOURCE_DIR})
add_dependencies(dialog_bundle_tests kpblockwaves kpblockwaves_ui)
target_compile_definitions(dialog_bundle_tests PRIVATE BW_TEST_BUNDLE="${CMAKE_BINARY_DIR}/kpblockwaves.bundle")
gtest_discover_tests(dialog_bundle_tests DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES)

# A display that cannot be reached: the command says why the dialog did not open and fails.
add_test(NAME Configure.WithoutADialogSaysWhyAndFails
         COMMAND sh -c "\"$0\" configure 2>&1; echo \"status $?\"" $<TARGET_FILE:blockwaves>)
set_tests_properties(Configure.WithoutADialogSaysWhyAndFails PROPERTIES
                     ENVIRONMENT "QT_QPA_PLATFORM=xcb;DISPLAY=:97;WAYLAND_DISPLAY=;XDG_CONFIG_HOME=${CMAKE_CURRENT_BINARY_DIR}/configure-home"
                     PASS_REGULAR_EXPRESSION "cannot open: no display[^\n]*\n.*did not open.*your settings are unchanged\nstatus 6\n")
