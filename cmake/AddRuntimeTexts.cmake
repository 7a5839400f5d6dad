# add_runtime_texts(TARGET DEF...): the runtime texts listed in the DEF files
# (*Texts.def, see runtime/RuntimeTextTable.h) belong to TARGET. On Windows
# they become a string table compiled into every executable that links
# TARGET; on POSIX the library's TRuntimeTextTable serves them. Every DEF
# file is also recorded for the catalog template (po/).
function(add_runtime_texts target)
  set(defs "")
  foreach(def IN LISTS ARGN)
    get_filename_component(def ${def} ABSOLUTE BASE_DIR ${CMAKE_CURRENT_SOURCE_DIR})
    list(APPEND defs ${def})
  endforeach()
  set_property(GLOBAL APPEND PROPERTY SETUP_RUNTIME_TEXT_DEFS ${defs})
  if(NOT WIN32)
    return()
  endif()
  set(rc ${CMAKE_CURRENT_BINARY_DIR}/${target}_texts.rc)
  add_custom_command(
    OUTPUT ${rc}
    COMMAND ${CMAKE_COMMAND} "-DINPUT=${defs}" -DOUTPUT=${rc}
            -P ${PROJECT_SOURCE_DIR}/cmake/MakeStringTable.cmake
    DEPENDS ${defs} ${PROJECT_SOURCE_DIR}/cmake/MakeStringTable.cmake
            ${PROJECT_SOURCE_DIR}/cmake/RuntimeTexts.cmake
    VERBATIM)
  add_custom_target(${target}_texts_rc DEPENDS ${rc})
  target_sources(${target} INTERFACE ${rc})
  add_dependencies(${target} ${target}_texts_rc)
endfunction()
