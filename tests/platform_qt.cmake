# The Qt windowing backend, loaded from the built bundle with the interface files it ships. The
# offscreen screen is large enough for every window; one run repeats the fitting on a small screen.
find_package(Qt6 REQUIRED COMPONENTS Widgets Test)
add_executable(platform_qt_tests platform_qt/toolboxqt_test.cpp)
set_target_properties(platform_qt_tests PROPERTIES AUTOMOC ON)
target_link_libraries(platform_qt_tests PRIVATE GTest::gtest GTest::gtest_main Qt6::Widgets Qt6::Test ${CMAKE_DL_LIBS})
target_include_directories(platform_qt_tests PRIVATE ${PROJECT_SOURCE_DIR})
target_compile_definitions(platform_qt_tests PRIVATE BW_TEST_BUNDLE="${CMAKE_BINARY_DIR}/kpblockwaves.bundle")
add_dependencies(platform_qt_tests kpblockwaves_ui)

foreach(screen large:1920:1200 small:800:600)
  string(REPLACE ":" ";" screen ${screen})
  list(GET screen 0 name)
  list(GET screen 1 width)
  list(GET screen 2 height)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/screen-${name}.json
       "{ \"screens\": [ { \"name\": \"${name}\", \"x\": 0, \"y\": 0, \"width\": ${width}, \"height\": ${height}, \"logicalDpi\": 96, \"logicalBpi\": 96, \"dpr\": 1 } ] }\n")
endforeach()
gtest_discover_tests(platform_qt_tests DISCOVERY_TIMEOUT 60 NO_PRETTY_VALUES TEST_FILTER -ToolboxStart.* PROPERTIES ENVIRONMENT
                     "QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_BINARY_DIR}/screen-large.json")
add_test(NAME Toolbox.FitsTheScreenKeepingThePreviewProportions.SmallScreen
         COMMAND platform_qt_tests --gtest_filter=Toolbox.FitsTheScreenKeepingThePreviewProportions)
set_tests_properties(Toolbox.FitsTheScreenKeepingThePreviewProportions.SmallScreen PROPERTIES ENVIRONMENT
                     "QT_QPA_PLATFORM=offscreen:configfile=${CMAKE_CURRENT_BINARY_DIR}/screen-small.json")

# QT_QPA_PLATFORM as desktops set it: a plain name, and a list whose first platform cannot open.
add_test(NAME Toolbox.PlainOffscreen COMMAND platform_qt_tests --gtest_filter=Toolbox.*)
set_tests_properties(Toolbox.PlainOffscreen PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen")
add_test(NAME Toolbox.PlatformListFallsBackToItsNextEntry
         COMMAND platform_qt_tests --gtest_filter=Toolbox.ModalLoopsNestAndEndOnQuit)
set_tests_properties(Toolbox.PlatformListFallsBackToItsNextEntry PROPERTIES ENVIRONMENT
                     "QT_QPA_PLATFORM=xcb\\;offscreen;DISPLAY=;WAYLAND_DISPLAY=")

add_test(NAME ToolboxStart.WithoutADisplayRefusesWithAReasonInsteadOfEndingTheProcess.NoDisplay
         COMMAND platform_qt_tests --gtest_filter=ToolboxStart.*)
set_tests_properties(ToolboxStart.WithoutADisplayRefusesWithAReasonInsteadOfEndingTheProcess.NoDisplay PROPERTIES
                     ENVIRONMENT "QT_QPA_PLATFORM=;DISPLAY=;WAYLAND_DISPLAY=" SKIP_REGULAR_EXPRESSION "\\[  SKIPPED \\]")

add_test(NAME Bundle.UiExportsOnlyTheBackend
         COMMAND sh -c "test \"$(nm -D --defined-only \"$0\" | awk '{print $3}')\" = BWToolboxBackendGet"
                 $<TARGET_FILE:kpblockwaves_ui>)
