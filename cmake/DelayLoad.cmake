# Delay-loaded system DLLs for the shipped Setup.exe.
#
# A program's static imports are resolved by the loader before the program's
# first instruction runs, and for every DLL that is not one of the system's
# known DLLs the loader looks in the program's own folder first. Setup.exe is
# run from a Downloads folder, beside whatever else was saved there: a DLL
# planted under the name of shell32's, ole32's or comctl32's dependencies
# (shlwapi, shcore, ...) would run its code before Setup.exe can say where
# libraries may come from. So those three are imported through the
# toolchain's delay-load mechanism: each is loaded at the first call of one of
# its functions, long after the program has limited the search for DLLs to
# the system folder (platform::win32::RestrictDllSearchToSystem).
#
# The delay-import libraries are made at build time from the toolchain's own
# import libraries (every export they name), so no list of functions is kept
# by hand. Targets link the INTERFACE library setup_shell_libs; those with
# the property SETUP_DELAY_LOAD set get the delay-import libraries and the
# toolchain's helper, all others the plain import libraries.
set(SETUP_DELAY_LOADED_DLLS comctl32 ole32 shell32)

find_program(SETUP_DLLTOOL ${TOOLCHAIN_PREFIX}-dlltool REQUIRED)
find_program(SETUP_NM ${TOOLCHAIN_PREFIX}-nm REQUIRED)
set(delay_dir ${CMAKE_BINARY_DIR}/delayload)
set(delay_libs)
foreach(dll IN LISTS SETUP_DELAY_LOADED_DLLS)
  find_library(SETUP_IMPLIB_${dll} NAMES lib${dll}.a REQUIRED)
  set(lib ${delay_dir}/lib${dll}.delay.a)
  add_custom_command(
    OUTPUT ${lib}
    COMMAND ${CMAKE_COMMAND} -DNM=${SETUP_NM} -DIMPLIB=${SETUP_IMPLIB_${dll}} -DDLL=${dll}
            -DDEF=${delay_dir}/${dll}.def -P ${CMAKE_CURRENT_LIST_DIR}/MakeDelayDef.cmake
    COMMAND ${SETUP_DLLTOOL} --input-def ${delay_dir}/${dll}.def --dllname ${dll}.dll
            --output-delaylib ${lib}
    DEPENDS ${SETUP_IMPLIB_${dll}} ${CMAKE_CURRENT_LIST_DIR}/MakeDelayDef.cmake
    COMMENT "Making the delay-import library of ${dll}.dll"
    VERBATIM)
  list(APPEND delay_libs ${lib})
endforeach()
add_custom_target(setup_delay_libs DEPENDS ${delay_libs})

set(delayed "$<BOOL:$<TARGET_PROPERTY:SETUP_DELAY_LOAD>>")
add_library(setup_shell_libs INTERFACE)
foreach(dll IN LISTS SETUP_DELAY_LOADED_DLLS)
  target_link_libraries(setup_shell_libs INTERFACE
    "$<${delayed}:${delay_dir}/lib${dll}.delay.a>" "$<$<NOT:${delayed}>:${dll}>")
endforeach()
target_link_libraries(setup_shell_libs INTERFACE "$<${delayed}:delayimp>")
