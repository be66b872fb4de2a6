# compare_output(EXPECTED ACTUAL WHAT HINT) for scripts run with cmake -P:
# compares an output file with its expected file byte for byte. When they
# differ it shows a unified diff (with the system's diff, when there is one)
# and appends "WHAT differs from EXPECTED" to the caller's list 'failures';
# a missing expected file is a failure that names HINT, the way to draft it.
function(compare_output expected actual what hint)
  if(NOT EXISTS "${expected}")
    list(APPEND failures "no expected ${what} ${expected}: ${hint}")
    set(failures "${failures}" PARENT_SCOPE)
    return()
  endif()
  execute_process(COMMAND "${CMAKE_COMMAND}" -E compare_files "${expected}" "${actual}"
                  RESULT_VARIABLE same)
  if(same EQUAL 0)
    return()
  endif()
  find_program(DIFF diff)
  if(DIFF)
    execute_process(COMMAND "${DIFF}" -u --label "expected ${what} (${expected})"
                            --label "actual ${what}" "${expected}" "${actual}"
                    OUTPUT_VARIABLE shown)
    message("${shown}")
  else()
    message("${what} differs: compare ${expected} with ${actual}")
  endif()
  list(APPEND failures "${what} differs from ${expected}")
  set(failures "${failures}" PARENT_SCOPE)
endfunction()
