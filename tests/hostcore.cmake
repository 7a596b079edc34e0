# The built bundle, loaded with dlopen and driven by the host core.
bw_layer_tests(hostcore bw_hostcore bw_host)
add_dependencies(hostcore_tests kpblockwaves)
target_compile_definitions(hostcore_tests PRIVATE BW_TEST_BUNDLE="${CMAKE_BINARY_DIR}/kpblockwaves.bundle")

# The host records hold the host's own layout with 32-bit pointers: compile them for i686.
find_program(BW_I686_CXX i686-linux-gnu-g++)
if(BW_I686_CXX)
  add_test(NAME HostRecords.Layout32Bit
           COMMAND ${BW_I686_CXX} -std=c++20 -fsyntax-only -Wall -Wextra -Werror -I${PROJECT_SOURCE_DIR}
                   ${CMAKE_CURRENT_SOURCE_DIR}/host/records32_check.cpp)
else()
  add_test(NAME HostRecords.Layout32Bit
           COMMAND ${CMAKE_COMMAND} -E echo "i686-linux-gnu-g++ missing: run scripts/install-deps")
  set_tests_properties(HostRecords.Layout32Bit PROPERTIES WILL_FAIL TRUE)
endif()

add_test(NAME Bundle.ExportsOnlyMain
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/host/exports_test.sh $<TARGET_FILE:kpblockwaves>)
