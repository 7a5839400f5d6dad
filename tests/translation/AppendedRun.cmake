# Runs the translation tests' check of the shipped catalogs on a copy of the
# test program that carries the catalogs appended and has no locale folder.
#   -DTOOL=appendcatalogs -DTEST_EXE=translation_tests -DCATALOGS=po/locale
#   -DWORK=fresh folder [-DEMULATOR=wine-run]
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
get_filename_component(name ${TEST_EXE} NAME)
set(copy ${WORK}/${name})
execute_process(COMMAND ${EMULATOR} ${TOOL} -o ${copy} ${TEST_EXE} ${CATALOGS} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "appendcatalogs failed: ${rc}")
endif()
file(CHMOD ${copy} PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE)
if(EXISTS ${WORK}/locale)
  message(FATAL_ERROR "a locale folder must not be there")
endif()
execute_process(COMMAND ${EMULATOR} ${copy} --gtest_filter=GlobalLayerTest.ShippedCatalogs RESULT_VARIABLE rc
                OUTPUT_VARIABLE out ERROR_VARIABLE out)
message("${out}")
if(NOT rc EQUAL 0 OR NOT out MATCHES "PASSED  \\] 1 test")
  message(FATAL_ERROR "the shipped catalogs were not found appended: ${rc}")
endif()
