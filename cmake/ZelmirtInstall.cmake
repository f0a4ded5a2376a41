# Install rules shared by every executable that ships in the package.
include(GNUInstallDirs)

# The manual pages are made by help2man from each executable's own --help and --version, so
# the executables must run at build time; sanitizer builds are for tests and skip them.
if(ZELMIRT_SANITIZE)
  set(zelmirt_man_pages_default OFF)
else()
  set(zelmirt_man_pages_default ON)
endif()
option(ZELMIRT_MAN_PAGES "Generate the manual pages with help2man at build time" ${zelmirt_man_pages_default})
find_program(GZIP gzip REQUIRED)
if(ZELMIRT_MAN_PAGES)
  find_program(HELP2MAN help2man REQUIRED)
endif()

# zelmirt_install_program(<target> "<what it does>")
# Installs the executable into bin/ together with its manual page in section 1, made at
# build time from its --help and --version; the description is the page's NAME line.
# The executable's --help and --version must answer without a display (see
# base/ProgramOptions.h).
function(zelmirt_install_program target description)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  if(NOT ZELMIRT_MAN_PAGES)
    return()
  endif()
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${name}.1)
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${HELP2MAN} --no-info --section=1 --name=${description} --output=${page} $<TARGET_FILE:${target}>
    # -n: no name or time stamp inside, so that the same page gives the same bytes
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${target}
    COMMENT "Manual page of ${name}"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
