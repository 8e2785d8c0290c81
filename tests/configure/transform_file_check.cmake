# Configures the source tree in a scratch folder with one transform option set
# to VALUE and expects the configure step to fail with a message matching EXPECT
# (matched with every run of white space made one space: CMake wraps messages).
#   cmake -DSOURCE_DIR=... -DSCRATCH_DIR=... -DOPTION=... -DVALUE=... -DEXPECT=... -P this
file(REMOVE_RECURSE "${SCRATCH_DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" -S "${SOURCE_DIR}" -B "${SCRATCH_DIR}" "-D${OPTION}=${VALUE}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
file(REMOVE_RECURSE "${SCRATCH_DIR}")
if(rc EQUAL 0)
  message(FATAL_ERROR "configure accepted ${OPTION}=${VALUE}")
endif()
string(REGEX REPLACE "[ \t\r\n]+" " " flat "${err}")
if(NOT flat MATCHES "${EXPECT}")
  message(FATAL_ERROR "configure with ${OPTION}=${VALUE} failed without the expected message\n"
                      "expected: ${EXPECT}\ngot:\n${err}")
endif()
