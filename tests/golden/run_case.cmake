# Runs one golden case: builds the object of a description (or the library of
# a .zar description, as name.a) with zema-mkobj, lists it with zema-kt and
# compares standard output, the exit status and, when an expected .err file
# exists, standard error with the expected files.
#
#   cmake -DMKOBJ=... -DZEMA_KT=... -DCASE=dir/name.zobj [-DVARIANT=v] -DWORK=dir
#         -P run_case.cmake
#
# The description's header comments select the run:
#   # run: ARGS            zema-kt arguments; the object's file name is put
#                          where {obj} stands, else appended at the end
#   # status: N            expected exit status (default 0)
#   # run.v: ARGS          a further run "v" of the same object, expected in
#   # status.v: N          name.v.lst and name.v.err
# zema-kt runs in the work directory and sees the object as "name.eld" (a
# library as "name.a"), so
# diagnostics that quote the file name are the same on every machine.
#
# Memory dumps (-DMKLOD=zema-mklod): the description is a 'binary' one and
# its bytes become the dump "name.lod", which zema-kt sees in place of the
# object; further header comments add to it:
#   # lod-line: TEXT       a line written before the data lines
#   # k: LINE  /  # k.v:   lines of the -k file of the run (or of run v),
#                          named where {k} stands in the run line
#
# With the environment variable ZEMA_GOLDEN_UPDATE=1 the expected files are
# rewritten from the actual output instead (a draft, to be checked by hand);
# -DNO_UPDATE=1 keeps a case out of that.
cmake_minimum_required(VERSION 3.25)

foreach(var MKOBJ ZEMA_KT CASE WORK)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "run_case.cmake needs -D${var}=...")
  endif()
endforeach()

get_filename_component(case_dir "${CASE}" DIRECTORY)
get_filename_component(case_name "${CASE}" NAME_WLE)
if(DEFINED VARIANT AND NOT VARIANT STREQUAL "")
  set(suffix ".${VARIANT}")
else()
  set(suffix "")
endif()
string(REPLACE "." "\\." suffix_regex "${suffix}")

# The run line and the status line of this run.
file(STRINGS "${CASE}" header_lines REGEX "^# (run|status)[.A-Za-z0-9_-]*:")
set(run_line "")
set(run_count 0)
set(want_status 0)
foreach(line IN LISTS header_lines)
  if(line MATCHES "^# run${suffix_regex}:(.*)$")
    set(run_line "${CMAKE_MATCH_1}")
    math(EXPR run_count "${run_count} + 1")
  elseif(line MATCHES "^# status${suffix_regex}:[ \t]*([0-9]+)[ \t]*$")
    set(want_status "${CMAKE_MATCH_1}")
  endif()
endforeach()
if(NOT run_count EQUAL 1)
  message(FATAL_ERROR "${CASE}: needs exactly one '# run${suffix}:' line")
endif()

set(object "${case_name}.eld")
if(CASE MATCHES "\\.zar$")
  set(object "${case_name}.a")
endif()
set(built "${object}")
if(DEFINED MKLOD)
  set(object "${case_name}.lod")
  set(built "${case_name}.bin")
endif()
separate_arguments(args UNIX_COMMAND "${run_line}")
list(TRANSFORM args REPLACE "{k}" "${case_name}${suffix}.k")
if("{obj}" IN_LIST args)
  list(TRANSFORM args REPLACE "^{obj}$" "${object}")
else()
  list(APPEND args "${object}")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}")
execute_process(COMMAND "${MKOBJ}" "${CASE}" "${WORK}/${built}"
                RESULT_VARIABLE mkobj_status ERROR_VARIABLE mkobj_error)
if(NOT mkobj_status EQUAL 0)
  message(FATAL_ERROR "zema-mkobj failed on ${CASE}:\n${mkobj_error}")
endif()
if(DEFINED MKLOD)
  execute_process(COMMAND "${MKLOD}" "${WORK}/${built}" "${WORK}/data.lod"
                  RESULT_VARIABLE mklod_status ERROR_VARIABLE mklod_error)
  if(NOT mklod_status EQUAL 0)
    message(FATAL_ERROR "zema-mklod failed on ${CASE}:\n${mklod_error}")
  endif()
  # The header texts are taken line by line; ';' and brackets are text here.
  file(READ "${CASE}" description)
  string(REPLACE ";" "<semicolon>" description "${description}")
  string(REPLACE "[" "<open>" description "${description}")
  string(REPLACE "]" "<close>" description "${description}")
  string(REGEX MATCHALL "[^\n]*\n" description_lines "${description}")
  set(lod_head "")
  set(k_text "")
  foreach(line IN LISTS description_lines)
    if(line MATCHES "^# lod-line: (.*)$")
      string(APPEND lod_head "${CMAKE_MATCH_1}")
    elseif(line MATCHES "^# k${suffix_regex}:[ ]?(.*)$")
      string(APPEND k_text "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  foreach(text lod_head k_text)
    string(REPLACE "<semicolon>" ";" ${text} "${${text}}")
    string(REPLACE "<open>" "[" ${text} "${${text}}")
    string(REPLACE "<close>" "]" ${text} "${${text}}")
  endforeach()
  file(READ "${WORK}/data.lod" lod_data)
  file(WRITE "${WORK}/${object}" "${lod_head}${lod_data}")
  file(WRITE "${WORK}/${case_name}${suffix}.k" "${k_text}")
endif()

set(actual_out "${WORK}/stdout")
set(actual_err "${WORK}/stderr")
execute_process(COMMAND "${ZEMA_KT}" ${args}
                WORKING_DIRECTORY "${WORK}"
                INPUT_FILE /dev/null
                OUTPUT_FILE "${actual_out}"
                ERROR_FILE "${actual_err}"
                RESULT_VARIABLE status)

set(expected_lst "${case_dir}/${case_name}${suffix}.lst")
set(expected_err "${case_dir}/${case_name}${suffix}.err")
string(JOIN " " shown_args ${args})
message(STATUS "zema-kt ${shown_args}  (in ${WORK})")

if("$ENV{ZEMA_GOLDEN_UPDATE}" STREQUAL "1" AND NOT NO_UPDATE)
  configure_file("${actual_out}" "${expected_lst}" COPYONLY)
  message(STATUS "wrote ${expected_lst}")
  file(SIZE "${actual_err}" err_size)
  if(EXISTS "${expected_err}" OR err_size GREATER 0)
    configure_file("${actual_err}" "${expected_err}" COPYONLY)
    message(STATUS "wrote ${expected_err}")
  endif()
  if(NOT "${status}" STREQUAL "${want_status}")
    message(FATAL_ERROR "exit status ${status}, the description expects ${want_status}: "
                        "edit its '# status${suffix}:' line if the new status is right")
  endif()
  return()
endif()

include(${CMAKE_CURRENT_LIST_DIR}/../../cmake/compare_output.cmake)
set(draft_hint "draft it with ZEMA_GOLDEN_UPDATE=1 (tests/golden/update.sh) and check it by hand")

set(failures "")
compare_output("${expected_lst}" "${actual_out}" "standard output" "${draft_hint}")
if(EXISTS "${expected_err}")
  compare_output("${expected_err}" "${actual_err}" "standard error" "${draft_hint}")
endif()
if(NOT "${status}" STREQUAL "${want_status}")
  file(READ "${actual_err}" err_text)
  message("standard error:\n${err_text}")
  list(APPEND failures "exit status ${status}, expected ${want_status}")
endif()
if(failures)
  list(FILTER failures EXCLUDE REGEX "^$")
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "golden case ${case_name}${suffix} failed:\n  ${text}")
endif()
