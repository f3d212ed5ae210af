# Runs one command and checks its exit status and output, for tests of the
# command line:  cmake -DPROGRAM=prog -DARGS=arg^^arg... -DWORKDIR=dir -DEXIT=n
#                      [-DSTDOUT=regex] [-DSTDERR=regex] [-DENV=arg^^arg...] -P CheckCommand.cmake
# ENV holds "cmake -E env" arguments (NAME=VALUE, --unset=NAME).
string(REPLACE "^^" ";" args "${ARGS}")
string(REPLACE "^^" ";" env "${ENV}")
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} ${PROGRAM} ${args} WORKING_DIRECTORY ${WORKDIR}
                RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT "${status}" STREQUAL "${EXIT}")
  message(FATAL_ERROR "exit status ${status}, expected ${EXIT}\nstdout:\n${out}\nstderr:\n${err}")
endif()
if(DEFINED STDOUT AND NOT out MATCHES "${STDOUT}")
  message(FATAL_ERROR "stdout does not match '${STDOUT}':\n${out}")
endif()
if(DEFINED STDERR AND NOT err MATCHES "${STDERR}")
  message(FATAL_ERROR "stderr does not match '${STDERR}':\n${err}")
endif()
