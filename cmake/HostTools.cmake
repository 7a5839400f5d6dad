# A native build of this source tree with only the tools that the build runs
# (SETUP_HOST_TOOLS_ONLY), below <build>/host-tools. It gives the imported
# programs host_appendcatalogs, the catalog append tool, and
# host_signmanifest, the release signing tool, for the build machine.
#
# When a native build of the same sources is at hand (SETUP_HOST_TOOLS_FROM,
# or the environment variable of that name: scripts/test.sh builds the linux
# preset first), its two tools are built there and copied to the same places
# instead, so that nothing is compiled twice.
include(ExternalProject)
set(SETUP_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(SETUP_HOST_APPENDCATALOGS ${SETUP_HOST_TOOLS_DIR}/tools/appendcatalogs/appendcatalogs)
set(SETUP_HOST_SIGNMANIFEST ${SETUP_HOST_TOOLS_DIR}/tools/signmanifest/signmanifest)
set(SETUP_HOST_TOOLS_FROM "$ENV{SETUP_HOST_TOOLS_FROM}" CACHE PATH
    "A native build of these sources whose appendcatalogs and signmanifest the build runs (empty: a build of its own)")
if(SETUP_HOST_TOOLS_FROM)
  if(NOT EXISTS ${SETUP_HOST_TOOLS_FROM}/CMakeCache.txt)
    message(FATAL_ERROR "SETUP_HOST_TOOLS_FROM: ${SETUP_HOST_TOOLS_FROM} is not a configured build")
  endif()
  add_custom_target(host_tools
    COMMAND ${CMAKE_COMMAND} --build ${SETUP_HOST_TOOLS_FROM} --target appendcatalogs signmanifest
    COMMAND ${CMAKE_COMMAND} -E make_directory ${SETUP_HOST_TOOLS_DIR}/tools/appendcatalogs
            ${SETUP_HOST_TOOLS_DIR}/tools/signmanifest
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${SETUP_HOST_TOOLS_FROM}/tools/appendcatalogs/appendcatalogs ${SETUP_HOST_APPENDCATALOGS}
    COMMAND ${CMAKE_COMMAND} -E copy_if_different
            ${SETUP_HOST_TOOLS_FROM}/tools/signmanifest/signmanifest ${SETUP_HOST_SIGNMANIFEST}
    BYPRODUCTS ${SETUP_HOST_APPENDCATALOGS} ${SETUP_HOST_SIGNMANIFEST}
    COMMENT "Taking appendcatalogs and signmanifest from ${SETUP_HOST_TOOLS_FROM}"
    VERBATIM)
else()
  ExternalProject_Add(host_tools
    SOURCE_DIR ${PROJECT_SOURCE_DIR}
    BINARY_DIR ${SETUP_HOST_TOOLS_DIR}
    CMAKE_ARGS -DSETUP_HOST_TOOLS_ONLY=ON -DSETUP_BUILD_TESTS=OFF -DCMAKE_BUILD_TYPE=Release
               -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++
    BUILD_COMMAND ${CMAKE_COMMAND} --build ${SETUP_HOST_TOOLS_DIR} --target appendcatalogs signmanifest
    BUILD_BYPRODUCTS ${SETUP_HOST_APPENDCATALOGS} ${SETUP_HOST_SIGNMANIFEST}
    INSTALL_COMMAND ""
    BUILD_ALWAYS ON
    EXCLUDE_FROM_ALL ON)
endif()
add_executable(host_appendcatalogs IMPORTED GLOBAL)
set_target_properties(host_appendcatalogs PROPERTIES IMPORTED_LOCATION ${SETUP_HOST_APPENDCATALOGS})
add_dependencies(host_appendcatalogs host_tools)
add_executable(host_signmanifest IMPORTED GLOBAL)
set_target_properties(host_signmanifest PROPERTIES IMPORTED_LOCATION ${SETUP_HOST_SIGNMANIFEST})
add_dependencies(host_signmanifest host_tools)
