# DIR/VT4R-<version>-win64.zip: the Windows programs and a README for Windows users.
set(VT4R_ZIP_PROGRAMS vt4r-render vt4r-snapshot vt4r-demo-signal)
if(TARGET vt4r)
  list(PREPEND VT4R_ZIP_PROGRAMS vt4r)
endif()
set(zip_name VT4R-${PROJECT_VERSION}-win64)
set(zip_stage ${CMAKE_BINARY_DIR}/${zip_name})
set(zip_file ${CMAKE_BINARY_DIR}/${zip_name}.zip)
set(copies)
foreach(program ${VT4R_ZIP_PROGRAMS})
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${program}> ${zip_stage}/
    COMMAND ${CMAKE_STRIP} --strip-debug ${zip_stage}/${program}.exe)
endforeach()
add_custom_target(package-zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_stage} ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_stage}
  ${copies}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/README-windows.txt ${zip_stage}/README.txt
  # Windows users open the README in Notepad: CRLF line ends.
  COMMAND sed -i "s/$/\\r/" ${zip_stage}/README.txt
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR} ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip ${zip_name}
  DEPENDS ${VT4R_ZIP_PROGRAMS} ${PROJECT_SOURCE_DIR}/docs/README-windows.txt
  COMMENT "Packing ${zip_name}.zip"
  VERBATIM)
