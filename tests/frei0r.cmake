# The frei0r plug-in: loaded with dlopen and held to the engine, then rendered by melt and GStreamer.
bw_layer_tests(frei0r SLOW "Frei0rHosts.*" bw_frei0r bw_media)
add_dependencies(frei0r_tests blockwaves_frei0r)
target_compile_definitions(frei0r_tests PRIVATE BW_TEST_FREI0R_DIR="$<TARGET_FILE_DIR:blockwaves_frei0r>")

# A sanitized plug-in needs its runtime loaded first in the hosts, which are not sanitized; their
# own leaks are not ours to report.
set(BW_HOST_PRELOAD "")
if(BW_SANITIZE)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libasan.so
                  OUTPUT_VARIABLE BW_HOST_PRELOAD OUTPUT_STRIP_TRAILING_WHITESPACE)
  target_compile_definitions(frei0r_tests PRIVATE BW_TEST_HOST_PRELOAD="${BW_HOST_PRELOAD}")
endif()

add_test(NAME Frei0r.ExportsOnlyTheFrei0rInterface
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/host/exports_test.sh $<TARGET_FILE:blockwaves_frei0r>
                 f0r_construct f0r_deinit f0r_destruct f0r_get_param_info f0r_get_param_value
                 f0r_get_plugin_info f0r_init f0r_set_param_value f0r_update f0r_update2)
add_test(NAME Frei0r.InstallsPluginAndKdenliveDescription
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/frei0r/install_test.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
                 "${BW_HOST_PRELOAD}")
set_tests_properties(Frei0r.InstallsPluginAndKdenliveDescription PROPERTIES LABELS slow)
