# DIR/VT4R-<version>-setup.exe: the Windows installer (packaging/windows/vt4r.nsi), made with NSIS.
# The plug-ins go in when the build makes them: DIR/VT4R.vst3 (the bundle) and DIR/VT4R.clap.
find_program(VT4R_MAKENSIS makensis)
find_program(VT4R_CONVERT NAMES convert-im6.q16 convert)
if(NOT VT4R_MAKENSIS OR NOT VT4R_CONVERT)
  message(STATUS "No makensis or ImageMagick: no package-installer target")
  return()
endif()

set(installer_programs vt4r vt4r-render vt4r-snapshot vt4r-demo-signal)
set(installer_files)
set(installer_depends ${installer_programs})
foreach(program ${installer_programs})
  list(APPEND installer_files $<TARGET_FILE:${program}>)
endforeach()
foreach(plugin vt4r_vst3 vt4r_clap)
  if(TARGET ${plugin})
    list(APPEND installer_depends ${plugin})
  endif()
endforeach()

# Where the plug-in build puts them, else where it is expected to.
if(NOT VT4R_VST3_BUNDLE)
  set(VT4R_VST3_BUNDLE ${CMAKE_BINARY_DIR}/VT4R.vst3)
endif()
if(NOT VT4R_CLAP_PLUGIN)
  set(VT4R_CLAP_PLUGIN ${CMAKE_BINARY_DIR}/VT4R.clap)
endif()
set(installer_stage ${CMAKE_BINARY_DIR}/installer-stage)
set(installer_file ${CMAKE_BINARY_DIR}/VT4R-${PROJECT_VERSION}-setup.exe)
add_custom_target(package-installer
  COMMAND ${CMAKE_COMMAND} -DSTAGE=${installer_stage} -DSOURCE_DIR=${PROJECT_SOURCE_DIR}
    "-DPROGRAMS=${installer_files}" -DSTRIP=${CMAKE_STRIP} -DCONVERT=${VT4R_CONVERT}
    -DVST3_BUNDLE=${VT4R_VST3_BUNDLE} -DCLAP_FILE=${VT4R_CLAP_PLUGIN}
    -P ${CMAKE_CURRENT_LIST_DIR}/stage.cmake
  COMMAND ${VT4R_MAKENSIS} -V2 -DVERSION=${PROJECT_VERSION} -DSTAGE=${installer_stage}
    -DOUTFILE=${installer_file} ${CMAKE_CURRENT_LIST_DIR}/vt4r.nsi
  DEPENDS ${installer_depends}
  COMMENT "Making VT4R-${PROJECT_VERSION}-setup.exe"
  VERBATIM)
