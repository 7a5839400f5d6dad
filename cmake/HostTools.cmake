# A native build of this source tree with only the tools that the build runs
# (SETUP_HOST_TOOLS_ONLY), below <build>/host-tools. It gives the imported
# programs host_appendcatalogs, the catalog append tool, and
# host_signmanifest, the release signing tool, for the build machine.
include(ExternalProject)
set(SETUP_HOST_TOOLS_DIR ${CMAKE_BINARY_DIR}/host-tools)
set(SETUP_HOST_APPENDCATALOGS ${SETUP_HOST_TOOLS_DIR}/tools/appendcatalogs/appendcatalogs)
set(SETUP_HOST_SIGNMANIFEST ${SETUP_HOST_TOOLS_DIR}/tools/signmanifest/signmanifest)
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
add_executable(host_appendcatalogs IMPORTED GLOBAL)
set_target_properties(host_appendcatalogs PROPERTIES IMPORTED_LOCATION ${SETUP_HOST_APPENDCATALOGS})
add_dependencies(host_appendcatalogs host_tools)
add_executable(host_signmanifest IMPORTED GLOBAL)
set_target_properties(host_signmanifest PROPERTIES IMPORTED_LOCATION ${SETUP_HOST_SIGNMANIFEST})
add_dependencies(host_signmanifest host_tools)
