# Installs the build into a fresh prefix and checks what is there:
#
#   cmake -DBUILD=<build dir> -DPREFIX=<dir> -DEXAMPLES=<source>/examples
#         -P install_check.cmake
#
# The prefix must hold exactly the files below; the installed zema-kt then
# lists the installed library and dump (with the installed -k file), and the
# listings must equal the expected ones of the examples.
cmake_minimum_required(VERSION 3.25)

foreach(var BUILD PREFIX EXAMPLES)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "install_check.cmake needs -D${var}=...")
  endif()
endforeach()

file(REMOVE_RECURSE "${PREFIX}")
execute_process(COMMAND "${CMAKE_COMMAND}" --install "${BUILD}" --prefix "${PREFIX}"
                RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT status EQUAL 0)
  message(FATAL_ERROR "cmake --install failed:\n${output}")
endif()

set(doc share/doc/zema-kt)
set(expected_files
    bin/zema-kt
    share/man/man1/zema-kt.1.gz
    ${doc}/README.md
    ${doc}/instruction-sets.md
    ${doc}/examples/demo.eld
    ${doc}/examples/libdemo.a
    ${doc}/examples/zema2_exec.eld
    ${doc}/examples/zema2_exec.k
    ${doc}/examples/zema2_exec.lod
    ${doc}/examples/zema2_rixu.eld)
list(SORT expected_files)
file(GLOB_RECURSE installed RELATIVE "${PREFIX}" "${PREFIX}/*")
list(SORT installed)
if(NOT installed STREQUAL expected_files)
  list(JOIN installed "\n  " shown)
  message(FATAL_ERROR "installed files:\n  ${shown}\nexpected:\n  ${expected_files}")
endif()

# The reference holds the expanded loop records, which no description line spells.
file(READ "${PREFIX}/${doc}/instruction-sets.md" reference)
foreach(needle "## RIXU3" "### ZEMA2 slot B, 17 bits" "| `add.eq_")
  string(FIND "${reference}" "${needle}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "instruction-sets.md lacks '${needle}'")
  endif()
endforeach()

# The installed program on the installed examples, in their directory as a
# user would run it.
set(run_examples -DZEMA_KT=${PREFIX}/bin/zema-kt -DDIR=${PREFIX}/${doc}/examples)
foreach(run "libdemo|-q libdemo.a" "zema2_exec_dump|-q -d -arch zema2 -kzema2_exec.k zema2_exec.lod")
  string(REPLACE "|" ";" run "${run}")
  list(GET run 0 name)
  list(GET run 1 args)
  execute_process(COMMAND "${CMAKE_COMMAND}" ${run_examples} "-DARGS=${args}"
                          -DEXPECTED=${EXAMPLES}/${name}.lst
                          -P ${EXAMPLES}/list_example.cmake
                  RESULT_VARIABLE status OUTPUT_VARIABLE output ERROR_VARIABLE output)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "the installed zema-kt on ${name}:\n${output}")
  endif()
endforeach()
message(STATUS "installed in ${PREFIX}: ${expected_files}")
