# Install-time step: writes the man pages for the prefix being installed to, then
# installs them compressed as Debian wants them (gzip -9n: no name, no time stamp).
foreach(page korvane-intermod intermod-study)
  set(CMAKE_INSTALL_FULL_DATADIR "${CMAKE_INSTALL_PREFIX}/${KIM_DATADIR}")
  configure_file("${KIM_MAN_SOURCE}/${page}.1.in" "${KIM_MAN_BINARY}/${page}.1" @ONLY)
  execute_process(COMMAND gzip -9n -c "${KIM_MAN_BINARY}/${page}.1"
                  OUTPUT_FILE "${KIM_MAN_BINARY}/${page}.1.gz"
                  RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "gzip could not compress the ${page}(1) man page")
  endif()
  file(INSTALL "${KIM_MAN_BINARY}/${page}.1.gz"
       DESTINATION "${CMAKE_INSTALL_PREFIX}/${KIM_MANDIR}/man1")
endforeach()
