# The host program end to end, and its install.
# The program's runs are slow; the parsers, the settings table and the wipe maps run in-process.
bw_layer_tests(cli SLOW "*-*Parse*:*FormatTime.*:*ApplySetting.*:*KeysHelp.*:*Nearest.*:*PrivateSettings.*:*TakeOutputOption.*:*IsRefusedWordByWord*:Wipe.*" bw_media bw_cli)
add_dependencies(cli_tests blockwaves kpblockwaves)
target_compile_definitions(cli_tests PRIVATE BW_TEST_PROGRAM="$<TARGET_FILE:blockwaves>"
                                            BW_TEST_BUNDLE="${CMAKE_BINARY_DIR}/kpblockwaves.bundle")

add_test(NAME Cli.InstalledProgramFindsItsBundle
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/cli/install_test.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR})
set_tests_properties(Cli.InstalledProgramFindsItsBundle PROPERTIES LABELS slow)
