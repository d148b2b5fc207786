# Build helpers shared by every folder of the project.

# The project's own code is built with all warnings as errors.
function(ostrel_warnings target)
  if(CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang")
    target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  elseif(MSVC)
    target_compile_options(${target} PRIVATE /W4 /WX)
  endif()
endfunction()

# ostrel_library(name SOURCES ... LIBS ...): a small static library of shared code.
function(ostrel_library name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS" ${ARGN})
  add_library(${name} STATIC ${A_SOURCES})
  target_include_directories(${name} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
  target_link_libraries(${name} PUBLIC ${A_LIBS})
  ostrel_warnings(${name})
endfunction()

# The suite's one version: every program's version resource, the About boxes, the
# installer and its Add/Remove Programs entry take it from here.
set(OSTREL_VERSION_MAJOR 3)
set(OSTREL_VERSION_MINOR 1)
set(OSTREL_VERSION_PATCH 0)
set(OSTREL_VERSION_BUILD 0)
set(OSTREL_VERSION "${OSTREL_VERSION_MAJOR}.${OSTREL_VERSION_MINOR}.${OSTREL_VERSION_PATCH}.${OSTREL_VERSION_BUILD}")
set(OSTREL_GENERATED_DIR ${CMAKE_BINARY_DIR}/generated)
configure_file(${CMAKE_CURRENT_LIST_DIR}/OstrelVersion.h.in ${OSTREL_GENERATED_DIR}/OstrelVersion.h @ONLY)

# ostrel_uses_version(target): the target's sources may include OstrelVersion.h.
function(ostrel_uses_version target)
  target_include_directories(${target} PRIVATE ${OSTREL_GENERATED_DIR})
endfunction()

# ostrel_program(name [GUI] [DESCRIPTION text [FILE_NAME file] [ADMIN]] SOURCES ... LIBS ...):
# one program of the suite. With DESCRIPTION it is a program the suite ships: it gets the
# suite's version resource (file description `text`, original name FILE_NAME, by default
# name.exe), and is stripped after linking, its symbols kept beside it as FILE_NAME.debug
# (linked by .gnu_debuglink, so a debugger finds them). ADMIN: an interactive
# administrator's tool, with an application manifest asking for administrator rights (on
# Windows Vista and later; NT 4.0 and 2000 ignore it).
function(ostrel_program name)
  cmake_parse_arguments(A "GUI;ADMIN" "DESCRIPTION;FILE_NAME" "SOURCES;LIBS" ${ARGN})
  set(sources ${A_SOURCES})
  if(A_DESCRIPTION)
    if(NOT A_FILE_NAME)
      set(A_FILE_NAME ${name}.exe)
    endif()
    set(OSTREL_FILE_NAME ${A_FILE_NAME})
    set(OSTREL_FILE_INTERNAL ${name})
    set(OSTREL_FILE_DESCRIPTION "${A_DESCRIPTION}")
    set(OSTREL_MANIFEST_RESOURCE "")
    set(identity ${OSTREL_GENERATED_DIR}/${name})
    set(identity_depends "")
    if(A_ADMIN)
      configure_file(${PROJECT_SOURCE_DIR}/cmake/AdministratorTool.manifest.in ${identity}.manifest @ONLY)
      # 1 = CREATEPROCESS_MANIFEST_RESOURCE_ID, 24 = RT_MANIFEST
      set(OSTREL_MANIFEST_RESOURCE "1 24 \"${identity}.manifest\"")
      set(identity_depends ${identity}.manifest)
    endif()
    configure_file(${PROJECT_SOURCE_DIR}/cmake/VersionInfo.rc.in ${identity}.version.rc @ONLY)
    list(APPEND sources ${identity}.version.rc)
    set_source_files_properties(${identity}.version.rc PROPERTIES OBJECT_DEPENDS
      "${OSTREL_GENERATED_DIR}/OstrelVersion.h;${identity_depends}")
  endif()
  if(A_GUI)
    add_executable(${name} WIN32 ${sources})
  else()
    add_executable(${name} ${sources})
  endif()
  target_link_libraries(${name} PRIVATE ${A_LIBS})
  ostrel_warnings(${name})
  if(A_DESCRIPTION)
    ostrel_uses_version(${name})
  endif()
  if(A_DESCRIPTION AND CMAKE_STRIP AND CMAKE_OBJCOPY)
    set(file $<TARGET_FILE:${name}>)
    add_custom_command(TARGET ${name} POST_BUILD
      COMMAND ${CMAKE_OBJCOPY} --only-keep-debug ${file} ${file}.debug
      COMMAND ${CMAKE_STRIP} --strip-all ${file}
      COMMAND ${CMAKE_OBJCOPY} --add-gnu-debuglink=${file}.debug ${file}
      WORKING_DIRECTORY ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}
      VERBATIM)
  endif()
endfunction()

# ostrel_test(name SOURCES ... LIBS ... [TIMEOUT s] [ARGS ...]): a GoogleTest program, run
# under Wine inside the run's shared Wine session (one prefix, one wineserver for the whole
# run), with ARGS after its own (for example a --gtest_filter).
function(ostrel_test name)
  if(NOT OSTREL_BUILD_TESTS)
    return()
  endif()
  cmake_parse_arguments(A "" "TIMEOUT" "SOURCES;LIBS;ARGS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} GTest::gtest_main GTest::gmock)
  ostrel_warnings(${name})
  if(OSTREL_RUN_TESTS)
    if(NOT A_TIMEOUT)
      set(A_TIMEOUT 600)
    endif()
    add_test(NAME ${name} COMMAND ${name} --gtest_color=no ${A_ARGS})
    set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED wine TIMEOUT ${A_TIMEOUT})
  endif()
endfunction()

# The Wine session of a test run: a fresh prefix in the build tree, one persistent
# wineserver (and an Xvfb display when none is set) for the whole run, ended afterwards.
# With a name, a further session of the same kind (prefix wineprefix-NAME, script
# wine-run-NAME, fixture wine_NAME) for tests that need a prefix no other test touches; with
# a Windows version as well (for example nt40), Wine reports that version in the session (the
# shared session reports OSTREL_WINE_WINDOWS_VERSION). In the i686 lane (cmake/I686Lane.cmake)
# the sessions run the lane's 32-bit Wine.
function(ostrel_wine_session)
  if(NOT OSTREL_RUN_TESTS)
    return()
  endif()
  set(session_name ${ARGV0})
  set(OSTREL_WINDOWS_VERSION "${ARGV1}")
  if(NOT session_name)
    set(OSTREL_WINDOWS_VERSION "${OSTREL_WINE_WINDOWS_VERSION}")
  endif()
  if(session_name)
    set(suffix "-${session_name}")
    set(fixture wine_${session_name})
    set(test_prefix wine_session_${session_name})
  else()
    set(suffix "")
    set(fixture wine)
    set(test_prefix wine_session)
  endif()
  set(OSTREL_WINEPREFIX ${CMAKE_BINARY_DIR}/wineprefix${suffix})
  set(script ${CMAKE_BINARY_DIR}/wine-run${suffix})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/wine-run.in ${script} @ONLY
                 FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  add_test(NAME ${test_prefix}_start COMMAND ${script} --start)
  add_test(NAME ${test_prefix}_stop COMMAND ${script} --stop)
  set_tests_properties(${test_prefix}_start PROPERTIES FIXTURES_SETUP ${fixture} TIMEOUT 180)
  set_tests_properties(${test_prefix}_stop PROPERTIES FIXTURES_CLEANUP ${fixture} TIMEOUT 60)
  if(session_name)
    # Started after the shared session, so that each finds a display number of its own.
    set_tests_properties(${test_prefix}_start PROPERTIES DEPENDS wine_session_start)
  else()
    set(CMAKE_CROSSCOMPILING_EMULATOR ${script} PARENT_SCOPE)
  endif()
endfunction()

# ostrel_session_test(name [SESSION session] PROGRAM test-program [VERSION windows-version]
# [TIMEOUT s] [LOCKS lock...] [ARGS ...]): runs a test program of the build (made with
# ostrel_test) in a Wine session of its own, made on first use (reporting VERSION, for example
# nt40, when given); without SESSION, in the run's shared session (for a few cases of a
# program, picked with a --gtest_filter in ARGS). LOCKS as for ostrel_test_lock.
# A case that skips itself, or a filter that picks none, fails here.
function(ostrel_session_test name)
  cmake_parse_arguments(A "" "SESSION;PROGRAM;TIMEOUT;VERSION" "ARGS;LOCKS" ${ARGN})
  if(NOT OSTREL_RUN_TESTS OR NOT TARGET ${A_PROGRAM})
    return()
  endif()
  if(A_SESSION)
    if(NOT TEST wine_session_${A_SESSION}_start)
      ostrel_wine_session(${A_SESSION} ${A_VERSION})
    endif()
    set(runner ${CMAKE_BINARY_DIR}/wine-run-${A_SESSION})
    set(fixture wine_${A_SESSION})
  else()
    set(runner ${CMAKE_BINARY_DIR}/wine-run)
    set(fixture wine)
  endif()
  if(NOT A_TIMEOUT)
    set(A_TIMEOUT 600)
  endif()
  add_test(NAME ${name} COMMAND ${runner} $<TARGET_FILE:${A_PROGRAM}> --gtest_color=no ${A_ARGS})
  set_tests_properties(${name} PROPERTIES FIXTURES_REQUIRED ${fixture} TIMEOUT ${A_TIMEOUT}
                                          FAIL_REGULAR_EXPRESSION "\\[  SKIPPED \\]|\\[  PASSED  \\] 0 tests")
  if(A_LOCKS)
    set_tests_properties(${name} PROPERTIES RESOURCE_LOCK "${A_LOCKS}")
  endif()
endfunction()

# ostrel_test_lock(LOCK test...): the tests never run at the same time as other tests
# holding LOCK, for state the Wine prefix holds once (a service, a registry key, a folder).
# Locks in use: nt_computer (the simulated Windows NT computer: system folder, repair
# folder, the agent service, quota keys), salvora_settings_key (the console's settings).
function(ostrel_test_lock lock)
  if(NOT OSTREL_RUN_TESTS)
    return()
  endif()
  foreach(test IN LISTS ARGN)
    if(TEST ${test})
      set_property(TEST ${test} APPEND PROPERTY RESOURCE_LOCK ${lock})
    endif()
  endforeach()
endfunction()

# ostrel_help_file(NAME PROJECT file.hhp DIRS dir... [COMMANDS file.rc COMMAND_IDS ids.h]): the
# program's compiled help, built
# during the build into bin/NAME.chm from the files of DIRS (staged into one folder) with
# chmcmd, and read back so that the build fails when an id of its map has no text. The test
# help_NAME_reproducible builds it again from two copies of its sources in other folders and
# fails unless all three are the same bytes.
function(ostrel_help_file name)
  cmake_parse_arguments(A "" "PROJECT;COMMANDS;COMMAND_IDS" "DIRS" ${ARGN})
  find_program(OSTREL_CHMCMD chmcmd REQUIRED)
  find_program(OSTREL_CHM_EXTRACT extract_chmLib REQUIRED)
  find_program(OSTREL_PYTHON python3 REQUIRED)
  set(sources "")
  foreach(dir IN LISTS A_DIRS)
    file(GLOB files CONFIGURE_DEPENDS "${dir}/*")
    list(APPEND sources ${files})
  endforeach()
  string(REPLACE ";" "|" dirs "${A_DIRS}")
  set(output ${CMAKE_RUNTIME_OUTPUT_DIRECTORY}/${name}.chm)
  # COMMANDS (a resource script) and COMMAND_IDS (its header): every command of its menus and
  # toolbar must have a topic in the map (id + 0x10000).
  set(command_args "")
  if(A_COMMANDS)
    set(command_args -DCOMMAND_RESOURCE=${A_COMMANDS} -DCOMMAND_HEADER=${A_COMMAND_IDS})
    list(APPEND sources ${A_COMMANDS} ${A_COMMAND_IDS})
  endif()
  set(tools -DCHMCMD=${OSTREL_CHMCMD} -DEXTRACT=${OSTREL_CHM_EXTRACT} -DPYTHON=${OSTREL_PYTHON})
  add_custom_command(OUTPUT ${output}
    COMMAND ${CMAKE_COMMAND} -DPROJECT=${A_PROJECT} -DDIRS=${dirs} -DSTAGE=${CMAKE_CURRENT_BINARY_DIR}/${name}-help
            -DOUTPUT=${output} ${tools} ${command_args}
            -P ${PROJECT_SOURCE_DIR}/cmake/BuildHelp.cmake
    DEPENDS ${sources} ${PROJECT_SOURCE_DIR}/cmake/BuildHelp.cmake ${PROJECT_SOURCE_DIR}/cmake/NormaliseChm.py
    COMMENT "Compiling and checking ${name}.chm"
    VERBATIM)
  add_custom_target(${name}_help ALL DEPENDS ${output})
  if(OSTREL_RUN_TESTS)
    add_test(NAME help_${name}_reproducible
      COMMAND ${CMAKE_COMMAND} -DPROJECT=${A_PROJECT} "-DDIRS=${dirs}" ${tools} ${command_args}
              -DBUILT=${output} -DWORK=${CMAKE_CURRENT_BINARY_DIR}/${name}-help-copies
              -P ${PROJECT_SOURCE_DIR}/cmake/CheckHelpReproducible.cmake)
  endif()
endfunction()
