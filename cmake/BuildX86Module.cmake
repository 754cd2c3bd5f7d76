# Builds the 32-bit VOG.OCX for the x64 package, which carries both modules: cmake -DSOURCE_DIR=...
# -DBINARY_DIR=... -DBUILD_TYPE=... -P BuildX86Module.cmake. Configures the x86 build tree the first
# time (as the x86 preset does) and then builds only the module in it, incrementally.
if(NOT EXISTS ${BINARY_DIR}/CMakeCache.txt)
  execute_process(
    COMMAND ${CMAKE_COMMAND} -S ${SOURCE_DIR} -B ${BINARY_DIR} -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE}
            --toolchain ${SOURCE_DIR}/cmake/toolchain-x86.cmake
    RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "configuring the x86 build in ${BINARY_DIR} failed")
  endif()
endif()
execute_process(COMMAND ${CMAKE_COMMAND} --build ${BINARY_DIR} --target vogocx installer RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "building the 32-bit VOG.OCX in ${BINARY_DIR} failed")
endif()
