# Read by cpack before it builds a package. Without dpkg-shlibdeps (from
# dpkg-dev) and file, CPack would write a Debian package without
# dependencies, which installs where the program cannot run: stop instead.
if(CPACK_GENERATOR STREQUAL "DEB")
  foreach(tool dpkg-shlibdeps file)
    find_program(ZEMA_PACKAGE_TOOL_${tool} ${tool})
    if(NOT ZEMA_PACKAGE_TOOL_${tool})
      message(FATAL_ERROR "The Debian package needs ${tool} to find its dependencies "
                          "(sudo apt-get install dpkg-dev file)")
    endif()
  endforeach()
endif()
