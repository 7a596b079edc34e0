# The pixel row kernels (imaging/rows.h): a leaf target that reads no other header of ours, linked
# by the platform's image drawing and the image library alike. One file per instruction-set level;
# only the AVX2 file is compiled with -mavx2. Other processors (the s390x cross build) get the
# scalar level alone.
add_library(bw_rows STATIC ${CMAKE_CURRENT_LIST_DIR}/rows.cpp ${CMAKE_CURRENT_LIST_DIR}/rows_scalar.cpp)
target_include_directories(bw_rows PUBLIC ${PROJECT_SOURCE_DIR})
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|amd64)$")
  target_sources(bw_rows PRIVATE ${CMAKE_CURRENT_LIST_DIR}/rows_sse2.cpp ${CMAKE_CURRENT_LIST_DIR}/rows_avx2.cpp)
  set_source_files_properties(${CMAKE_CURRENT_LIST_DIR}/rows_avx2.cpp PROPERTIES COMPILE_OPTIONS -mavx2)
  target_compile_definitions(bw_rows PRIVATE BW_ROWS_X86=1)
endif()
