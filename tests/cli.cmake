# The host program end to end, and its install.
bw_layer_tests(cli bw_media bw_cli)
add_dependencies(cli_tests blockwaves kpblockwaves)
target_compile_definitions(cli_tests PRIVATE BW_TEST_PROGRAM="$<TARGET_FILE:blockwaves>"
                                            BW_TEST_BUNDLE="${CMAKE_BINARY_DIR}/kpblockwaves.bundle")

add_test(NAME Cli.InstalledProgramFindsItsBundle
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cli/install_test.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR})
