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
  if(NOT EXISTS ${WORK_DIR}/prefix/lib/pkgconfig/quorvane.pc AND
     NOT EXISTS ${WORK_DIR}/prefix/lib/x86_64-linux-gnu/pkgconfig/quorvane.pc)
    message(FATAL_ERROR "quorvane.pc was not installed")
  endif()
  run(${CMAKE_COMMAND} -S ${consumer} -B ${WORK_DIR}/build -DCMAKE_BUILD_TYPE=Release
      -DCMAKE_PREFIX_PATH=${WORK_DIR}/prefix -DQV_CONSUME=package)
else()
  run(${CMAKE_COMMAND} -S ${consumer} -B ${WORK_DIR}/build -DCMAKE_BUILD_TYPE=Release
      -DQV_SOURCE_DIR=${QV_SOURCE_DIR} -DQV_CONSUME=subdirectory)
endif()
run(${CMAKE_COMMAND} --build ${WORK_DIR}/build -j2)
run(${WORK_DIR}/build/consumer)
