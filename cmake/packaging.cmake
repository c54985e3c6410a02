# Debian packages from the build tree (`cpack -G DEB` in the build folder):
# the shared library, the development files and the tools, one package each.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME qvcore5)
set(CPACK_PACKAGE_VENDOR qvcore5)
set(CPACK_PACKAGE_CONTACT "qvcore5 maintainers <qvcore5@localhost>")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Core services library: one flat C interface to the operating system")
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_COMPONENTS_ALL runtime development)
if(QV_BUILD_TOOLS)
  list(APPEND CPACK_COMPONENTS_ALL tools)
endif()

# Debian names: the runtime package carries the library's major version.
set(QV_RUNTIME_PACKAGE libqvcore5-${PROJECT_VERSION_MAJOR})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${QV_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libqvcore5-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "${QV_RUNTIME_PACKAGE} (= ${PROJECT_VERSION})")
set(CPACK_DEBIAN_TOOLS_PACKAGE_NAME qvcore5-tools)
set(CPACK_DEBIAN_TOOLS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOLS_PACKAGE_DEPENDS "${QV_RUNTIME_PACKAGE} (= ${PROJECT_VERSION})")
set(CPACK_COMPONENT_RUNTIME_DESCRIPTION "qvcore5 shared library")
set(CPACK_COMPONENT_DEVELOPMENT_DESCRIPTION "qvcore5 headers, CMake package and pkg-config file")
set(CPACK_COMPONENT_TOOLS_DESCRIPTION "qvreg (registry) and qvlockstat (lock statistics) for qvcore5")

# The system libraries each package needs (ICU, SQLite, the C++ runtime) come
# from dpkg-shlibdeps; the library itself is found in the build tree.
find_program(QV_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(QV_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_RUNTIME_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_TOOLS_PACKAGE_SHLIBDEPS ON)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS ${PROJECT_BINARY_DIR}/src)
endif()

include(CPack)
