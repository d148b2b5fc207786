# Builds one help file twice, from two copies of its sources in folders of different names
# and at different times, and fails unless both copies and the build's own help file are the
# same bytes. Run with cmake -P and the arguments of BuildHelp.cmake (without STAGE and
# OUTPUT), plus -DBUILT=the build's file.chm -DWORK=a scratch folder.

cmake_minimum_required(VERSION 3.25)

string(REPLACE "|" ";" source_dirs "${DIRS}")
file(REMOVE_RECURSE "${WORK}")
set(outputs "")
foreach(checkout IN ITEMS "a" "checkout-in-a-folder-of-another-name")
  set(root "${WORK}/${checkout}")
  set(copies "")
  set(index 0)
  foreach(dir IN LISTS source_dirs)
    math(EXPR index "${index} + 1")
    file(COPY "${dir}/" DESTINATION "${root}/src/${index}")
    list(APPEND copies "${root}/src/${index}")
  endforeach()
  set(command_args "")
  if(COMMAND_RESOURCE)
    file(COPY "${COMMAND_RESOURCE}" "${COMMAND_HEADER}" DESTINATION "${root}/commands")
    get_filename_component(resource "${COMMAND_RESOURCE}" NAME)
    get_filename_component(header "${COMMAND_HEADER}" NAME)
    set(command_args -DCOMMAND_RESOURCE=${root}/commands/${resource} -DCOMMAND_HEADER=${root}/commands/${header})
  endif()
  if(outputs)
    # The second copy: later, and with files of another time.
    execute_process(COMMAND "${CMAKE_COMMAND}" -E sleep 2)
    file(GLOB_RECURSE copied "${root}/*")
    file(TOUCH ${copied})
  endif()
  string(REPLACE ";" "|" copies "${copies}")
  set(output "${root}/help.chm")
  execute_process(COMMAND "${CMAKE_COMMAND}" -DPROJECT=${PROJECT} -DDIRS=${copies} -DSTAGE=${root}/stage
                          -DOUTPUT=${output} -DCHMCMD=${CHMCMD} -DEXTRACT=${EXTRACT} -DPYTHON=${PYTHON}
                          ${command_args} -P "${CMAKE_CURRENT_LIST_DIR}/BuildHelp.cmake"
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the help file could not be built in ${root}")
  endif()
  list(APPEND outputs "${output}")
endforeach()

list(APPEND outputs "${BUILT}")
list(GET outputs 0 first)
file(SIZE "${first}" first_size)
foreach(other IN LISTS outputs)
  file(SIZE "${other}" size)
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${first}" "${other}" RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "${other} (${size} bytes) differs from ${first} (${first_size} bytes)")
  endif()
endforeach()
message(STATUS "${BUILT}: ${first_size} bytes, the same from every folder")
file(REMOVE_RECURSE "${WORK}")
