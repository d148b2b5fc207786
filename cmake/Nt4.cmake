# The test that the i686 programs load on Windows NT 4.0: registered in the x86_64 build,
# whose ctest run CI makes, it reads the programs and the x86 installer that the i686 build
# (the mingw-x86 preset, built first by scripts/test.sh) left in its bin folder.
if(OSTREL_RUN_TESTS)
  set(OSTREL_X86_BIN ${PROJECT_SOURCE_DIR}/build/mingw-x86/bin CACHE PATH
      "bin folder of the i686 build, whose programs the nt4_imports test reads")
  add_test(NAME nt4_imports COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-nt4-imports.sh ${OSTREL_X86_BIN})
  # The check itself, on the saved import table of a program that cannot load on NT 4.0.
  add_test(NAME nt4_imports_check_catches_old_salvora
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/nt4/tests/check-catches-old-salvora.sh)
  set_tests_properties(nt4_imports PROPERTIES TIMEOUT 120)
endif()

# The console's end-to-end window test once more, in a Wine session that reports Windows
# NT 4.0 (4.0, build 1381, Service Pack 6a), so that the paths taken by Windows version run
# as they would there.
ostrel_session_test(console_window_nt40 SESSION nt40 VERSION nt40 PROGRAM console_ui_tests
                    ARGS --gtest_filter=ConsoleWindowTest.StartWithListFileThenCreateErdEndToEnd TIMEOUT 300)
if(OSTREL_RUN_TESTS AND TEST console_window_nt40)
  # The session really reports Windows NT 4.0 (4.0.1381).
  add_test(NAME wine_session_nt40_reports_nt40 COMMAND ${CMAKE_BINARY_DIR}/wine-run-nt40 cmd /c ver)
  set_tests_properties(wine_session_nt40_reports_nt40 PROPERTIES FIXTURES_REQUIRED wine_nt40 TIMEOUT 60
                                                                 PASS_REGULAR_EXPRESSION "4\\.0\\.1381")
endif()

# What the programs pass to the system at run time: no flag, constant, message or style
# that Windows NT 4.0 lacks (scripts/nt4/newer-than-nt4-source.txt) outside a guarded place.
if(OSTREL_RUN_TESTS)
  add_test(NAME nt4_source COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-nt4-source.sh ${PROJECT_SOURCE_DIR})
  # The check itself, on a planted CompareStringA with LOCALE_INVARIANT.
  add_test(NAME nt4_source_check_catches_planted_locale
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/nt4/tests/check-source-catches-planted.sh)
  set_tests_properties(nt4_source nt4_source_check_catches_planted_locale PROPERTIES TIMEOUT 60)
endif()
