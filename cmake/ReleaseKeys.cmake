# Which release keys Setup.exe trusts (included by setup/win32/CMakeLists.txt in the
# Windows build). Sets SETUP_RELEASE_KEYS_SOURCE, the source that defines
# BuiltInReleaseKeys(), SETUP_RELEASE_KEYS_IN_USE, and, with demo keys,
# SETUP_DEMO_KEY_DIR (current.pem and next.pem with their .pub.pem, made once
# per build tree and never part of the sources) as a cache entry for demo/.
set(keys ${SETUP_RELEASE_KEYS})
set(SETUP_DEMO_KEY_DIR "" CACHE INTERNAL "")
if(NOT keys AND SETUP_DEMO_RELEASE_KEYS)
  set(dir ${CMAKE_BINARY_DIR}/release-keys)
  set(SETUP_DEMO_KEY_DIR ${dir} CACHE INTERNAL "")
  add_custom_command(
    OUTPUT ${dir}/current.pem ${dir}/current.pub.pem ${dir}/next.pem ${dir}/next.pub.pem
    COMMAND ${CMAKE_COMMAND} -E make_directory ${dir}
    COMMAND host_signmanifest keygen ${dir}/current.pem ${dir}/current.pub.pem
    COMMAND host_signmanifest keygen ${dir}/next.pem ${dir}/next.pub.pem
    COMMENT "Making the demo release keys (current and next) in ${dir}"
    VERBATIM)
  add_custom_target(demo_release_keys DEPENDS ${dir}/current.pem ${dir}/next.pem)
  set(keys ${dir}/current.pub.pem ${dir}/next.pub.pem)
  message(STATUS "Release keys: demo keys made in ${dir} (current and next); minimum serial ${SETUP_RELEASE_MIN_SERIAL}")
endif()

list(LENGTH keys count)
if(count GREATER 2)
  message(FATAL_ERROR "SETUP_RELEASE_KEYS names ${count} keys; it takes one, or two while a key is replaced")
endif()
if(count EQUAL 0)
  set(SETUP_RELEASE_KEYS_SOURCE ${PROJECT_SOURCE_DIR}/setup/release/ReleaseKeysNone.cpp)
  set(SETUP_RELEASE_KEYS_IN_USE OFF)
  message(WARNING
    "\n*** Setup.exe is built WITHOUT release keys (SETUP_RELEASE_KEYS is empty). ***\n"
    "It will install whatever the download server, or anyone between it and the shop, sends: "
    "no release manifest is fetched and no archive is checked. Build with the maker's public "
    "key for any Setup.exe that leaves this machine.\n")
  return()
endif()
set(SETUP_RELEASE_KEYS_SOURCE ${CMAKE_CURRENT_BINARY_DIR}/ReleaseKeys.cpp)
set(SETUP_RELEASE_KEYS_IN_USE ON)
add_custom_command(
  OUTPUT ${SETUP_RELEASE_KEYS_SOURCE}
  COMMAND host_signmanifest embed --out ${SETUP_RELEASE_KEYS_SOURCE}
          --min-serial ${SETUP_RELEASE_MIN_SERIAL} ${keys}
  DEPENDS ${keys} host_signmanifest
  COMMENT "Building the release keys into Setup.exe"
  VERBATIM)
