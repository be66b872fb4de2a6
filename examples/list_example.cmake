# Lists one example with zema-kt and checks the listing:
#
#   cmake -DZEMA_KT=... -DDIR=dir "-DARGS=-q demo.eld" -DEXPECTED=demo.lst
#         -P list_example.cmake
#
# zema-kt runs in DIR with ARGS (split at blanks). The listing is shown on
# standard output; it must equal EXPECTED byte for byte, standard error must
# be empty and the exit status 0. With the environment variable
# ZEMA_GOLDEN_UPDATE=1 the expected listing is rewritten from the actual one
# instead (a draft, to be checked by hand).
cmake_minimum_required(VERSION 3.25)
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/compare_output.cmake)

foreach(var ZEMA_KT DIR ARGS EXPECTED)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "list_example.cmake needs -D${var}=...")
  endif()
endforeach()

separate_arguments(args UNIX_COMMAND "${ARGS}")
get_filename_component(name "${EXPECTED}" NAME_WLE)
# The outputs stay in the directory the script runs in, for a look afterwards.
set(work "${CMAKE_CURRENT_BINARY_DIR}/${name}")
execute_process(COMMAND "${ZEMA_KT}" ${args}
                WORKING_DIRECTORY "${DIR}"
                INPUT_FILE /dev/null
                OUTPUT_FILE "${work}.out"
                ERROR_FILE "${work}.err"
                RESULT_VARIABLE status)
message(STATUS "zema-kt ${ARGS}  (in ${DIR})")
execute_process(COMMAND "${CMAKE_COMMAND}" -E cat "${work}.out")

set(failures "")
if("$ENV{ZEMA_GOLDEN_UPDATE}" STREQUAL "1")
  configure_file("${work}.out" "${EXPECTED}" COPYONLY)
  message(STATUS "wrote ${EXPECTED}")
else()
  compare_output("${EXPECTED}" "${work}.out" "listing"
                 "draft it with ZEMA_GOLDEN_UPDATE=1 and check it by hand")
endif()
file(READ "${work}.err" err_text)
if(NOT err_text STREQUAL "")
  list(APPEND failures "standard error is not empty:\n${err_text}")
endif()
if(NOT status STREQUAL "0")
  list(APPEND failures "exit status ${status}, expected 0")
endif()
if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "example ${name} failed:\n  ${text}")
endif()
