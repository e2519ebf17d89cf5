# Builds and runs the consumer project against an installed or an
# in-source Quorvane. Run with cmake -P.
file(REMOVE_RECURSE ${WORK_DIR})
file(MAKE_DIRECTORY ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "failed (${rc}): ${ARGN}\n${out}\n${err}")
  endif()
endfunction()

set(consumer ${QV_SOURCE_DIR}/tests/package/consumer)
if(MODE STREQUAL "package")
  run(${CMAKE_COMMAND} --install ${QV_BINARY_DIR} --prefix ${WORK_DIR}/prefix)
  # The same program built with nothing but the compiler and pkg-config.
  file(GLOB_RECURSE pc_file ${WORK_DIR}/prefix/*/quorvane.pc)
  get_filename_component(pc_dir "${pc_file}" DIRECTORY)
  set(ENV{PKG_CONFIG_PATH} "${pc_dir}")
  execute_process(COMMAND pkg-config --static --cflags --libs quorvane
                  RESULT_VARIABLE rc OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "pkg-config does not know quorvane")
  endif()
  separate_arguments(flags UNIX_COMMAND "${flags}")
  run(c++ -std=c++20 ${consumer}/main.cpp -o ${WORK_DIR}/pkg-config-consumer ${flags})
  run(${WORK_DIR}/pkg-config-consumer)

  run(${CMAKE_COMMAND} -S ${consumer} -B ${WORK_DIR}/build -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix -DQV_CONSUME=package)
else()
  run(${CMAKE_COMMAND} -S ${consumer} -B ${WORK_DIR}/build -DCMAKE_BUILD_TYPE=Release
      -DQV_SOURCE_DIR=${QV_SOURCE_DIR} -DQV_CONSUME=subdirectory)
endif()
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build -j2)
run(${WORK_DIR}/build/consumer)
