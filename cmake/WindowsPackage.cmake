# DIR/VT4R-<version>-win64.zip: the Windows programs, the plug-ins and a README for Windows users.
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
# The plug-ins as hosts find them: the VST3 bundle folder and the CLAP file, at the top.
set(zip_plugins)
if(TARGET vt4r_vst3)
  list(APPEND zip_plugins vt4r_vst3)
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy_directory ${VT4R_VST3_BUNDLE} ${zip_stage}/VT4R.vst3
    COMMAND ${CMAKE_STRIP} --strip-debug ${zip_stage}/VT4R.vst3/Contents/x86_64-win/VT4R.vst3)
endif()
if(TARGET vt4r_clap)
  list(APPEND zip_plugins vt4r_clap)
  list(APPEND copies COMMAND ${CMAKE_COMMAND} -E copy ${VT4R_CLAP_PLUGIN} ${zip_stage}/
    COMMAND ${CMAKE_STRIP} --strip-debug ${zip_stage}/VT4R.clap)
endif()
add_custom_target(package-zip
  COMMAND ${CMAKE_COMMAND} -E rm -rf ${zip_stage} ${zip_file}
  COMMAND ${CMAKE_COMMAND} -E make_directory ${zip_stage}
  ${copies}
  COMMAND ${CMAKE_COMMAND} -E copy ${PROJECT_SOURCE_DIR}/docs/README-windows.txt ${zip_stage}/README.txt
  # Windows users open the README in Notepad: CRLF line ends.
  COMMAND sed -i "s/$/\\r/" ${zip_stage}/README.txt
  COMMAND ${CMAKE_COMMAND} -E chdir ${CMAKE_BINARY_DIR} ${CMAKE_COMMAND} -E tar cf ${zip_file} --format=zip ${zip_name}
  DEPENDS ${VT4R_ZIP_PROGRAMS} ${zip_plugins} ${PROJECT_SOURCE_DIR}/docs/README-windows.txt
  COMMENT "Packing ${zip_name}.zip"
  VERBATIM)
