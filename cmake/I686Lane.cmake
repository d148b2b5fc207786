# The i686 lane: the tests of an i686 build run in Debian's 32-bit Wine under qemu-user, set
# up by scripts/setup-i686-lane.sh in a private folder (the machine's kernel refuses 32-bit
# programs). The test session's wine-run then uses the lane's wine and wineserver.
option(OSTREL_I686_LANE "Run the tests in the i686 lane (32-bit Wine under qemu-user)" OFF)
set(OSTREL_WINE_LANE "")
if(OSTREL_I686_LANE AND OSTREL_RUN_TESTS)
  if(NOT CMAKE_SIZEOF_VOID_P EQUAL 4)
    message(FATAL_ERROR "OSTREL_I686_LANE runs i686 builds only")
  endif()
  execute_process(COMMAND ${PROJECT_SOURCE_DIR}/scripts/setup-i686-lane.sh
                  OUTPUT_VARIABLE OSTREL_WINE_LANE OUTPUT_STRIP_TRAILING_WHITESPACE RESULT_VARIABLE lane_result)
  if(NOT lane_result EQUAL 0 OR NOT EXISTS "${OSTREL_WINE_LANE}/bin/wine")
    message(FATAL_ERROR "The i686 lane could not be set up (scripts/setup-i686-lane.sh)")
  endif()
  message(STATUS "i686 lane: ${OSTREL_WINE_LANE}")
endif()
# The Windows version Wine reports in the run's shared session (for example nt40); empty:
# Wine's default.
set(OSTREL_WINE_WINDOWS_VERSION "" CACHE STRING "Windows version the test session's Wine reports (nt40, ...)")

# The programs the installer ships, taken from the shipped build (win32 thread model) rather
# than built here, so that the tests drive the very programs administrators install. Their
# builds of this tree land in bin/built-here/, out of the tests' way.
set(OSTREL_SHIPPED_BIN "" CACHE PATH "bin folder of the build whose programs the tests run (empty: this build's)")
function(ostrel_use_shipped_programs)
  if(NOT OSTREL_SHIPPED_BIN)
    return()
  endif()
  set(copies)
  foreach(program Salvora Vantoro Restavo Scheduler ScheduledJob Rostery)
    if(TARGET ${program})
      set_target_properties(${program} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin/built-here)
      list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_if_different
                                 ${OSTREL_SHIPPED_BIN}/$<TARGET_FILE_NAME:${program}>
                                 ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/$<TARGET_FILE_NAME:${program}>)
    endif()
  endforeach()
  add_custom_target(shipped_programs ALL ${copies}
                    COMMENT "The shipped programs from ${OSTREL_SHIPPED_BIN}" VERBATIM)
endfunction()

