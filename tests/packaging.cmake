# The manual page and the shell completions against the program's own help. The packages
# themselves are checked by `make package-test` (tests/packaging/install_test.sh).
add_test(NAME Packaging.ManPageAndCompletionsKnowEveryOption
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/packaging/options_test.sh $<TARGET_FILE:blockwaves> ${PROJECT_SOURCE_DIR})
set_tests_properties(Packaging.ManPageAndCompletionsKnowEveryOption PROPERTIES LABELS slow)
