# Writes DEF, a module-definition file naming every export of DLL that the
# import library IMPLIB provides (its __imp_ symbols), for dlltool.
execute_process(COMMAND ${NM} --defined-only ${IMPLIB} OUTPUT_VARIABLE symbols
                COMMAND_ERROR_IS_FATAL ANY)
string(REGEX MATCHALL "[0-9a-f]+ I __imp_[A-Za-z0-9_@?$]+" imports "${symbols}")
set(names)
foreach(line IN LISTS imports)
  string(REGEX REPLACE ".* I __imp_" "" name "${line}")
  list(APPEND names ${name})
endforeach()
list(REMOVE_DUPLICATES names)
list(SORT names)
list(JOIN names "\n" body)
file(WRITE ${DEF} "LIBRARY ${DLL}.dll\nEXPORTS\n${body}\n")
