# The configuration dialog, offscreen, with the built bundle's interface files and Qt backend.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
bw_layer_tests(dialog bw_host bw_pngout Qt6::Widgets Qt6::Test)
set_target_properties(dialog_tests PROPERTIES AUTOMOC ON)
add_dependencies(dialog_tests kpblockwaves kpblockwaves_ui)
target_compile_definitions(dialog_tests PRIVATE BW_TEST_BUNDLE="${CMAKE_BINARY_DIR}/kpblockwaves.bundle")
