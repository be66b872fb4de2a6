# The Debian package (cpack -G DEB, or the package workflow preset): zema-kt,
# its manual page, the README and the examples, as the install rules place
# them under /usr. The version is the project's, the architecture the
# system's (dpkg --print-architecture) and the dependencies are the shared
# libraries the program links, derived by dpkg-shlibdeps (dpkg-dev).
set(ZEMA_PACKAGE_MAINTAINER "zema-kt developers <zema-kt@localhost>"
    CACHE STRING "Maintainer field of the Debian package")

set(CPACK_PACKAGE_NAME zema-kt)
set(CPACK_PACKAGE_VENDOR "zema-kt developers")
set(CPACK_PACKAGE_CONTACT "${ZEMA_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "disassembler for ZEMA DSP and RIXU code")
set(CPACK_PACKAGE_DESCRIPTION "\
zema-kt lists ELF32 objects and executables of the ZEMA tool chain, ar\n\
libraries of them, .lod memory dumps and typed instruction words as\n\
assembler source, for the ZEMA1, ZEMA2 and ZEMA3 vector DSPs (64-bit\n\
packets) and the RIXU1, RIXU2 and RIXU3 cores (32-bit words).")
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_DEFAULT_DIRECTORY_PERMISSIONS
    OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)

set(CPACK_GENERATOR DEB)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION devel)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_PROJECT_CONFIG_FILE ${CMAKE_CURRENT_LIST_DIR}/package_checks.cmake)
include(CPack)
