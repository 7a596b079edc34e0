# The MLT module: rendered by melt from the build tree and held to the engine; exports, install and
# Kdenlive's description.
bw_layer_tests(mlt SLOW "MeltModule*" bw_frei0r bw_mlt)
add_dependencies(mlt_tests blockwaves_mlt blockwaves_frei0r)
target_compile_definitions(mlt_tests PRIVATE BW_TEST_MLT_DIR="$<TARGET_FILE_DIR:blockwaves_mlt>"
                                             BW_TEST_FREI0R_DIR="$<TARGET_FILE_DIR:blockwaves_frei0r>")
if(BW_HOST_PRELOAD)
  target_compile_definitions(mlt_tests PRIVATE BW_TEST_HOST_PRELOAD="${BW_HOST_PRELOAD}")
endif()

add_test(NAME Mlt.ExportsOnlyItsRegistration
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/host/exports_test.sh $<TARGET_FILE:blockwaves_mlt> mlt_register)
add_test(NAME Mlt.InstallsModuleMetadataAndKdenliveDescription
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/mlt/install_test.sh ${CMAKE_COMMAND} ${CMAKE_BINARY_DIR}
                 ${BW_MLT_MODULE_DEST} ${BW_MLT_DATA_DEST} "${BW_HOST_PRELOAD}")
set_tests_properties(Mlt.InstallsModuleMetadataAndKdenliveDescription PROPERTIES LABELS slow)
