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
  find_program(AWK awk REQUIRED)
endif()

# zelmirt_install_program(<target> "<what it does>" [BASH_COMPLETION] [TEST_HOOKS <option>...])
# Installs the executable into bin/ together with its manual page in section 1, made at
# build time from its --help and --version; the description is the page's NAME line. The
# page leaves out the TEST_HOOKS options, which only the tests use, shows the --help's
# "Exit status:" paragraph as EXIT STATUS, and adds the sections of
# packaging/man/<name>.h2m (help2man's include file) where there is one. BASH_COMPLETION
# installs the bash completion, which reads the options from the program's --help.
# The executable's --help and --version must answer without a display (see
# base/ProgramOptions.h).
function(zelmirt_install_program target description)
  cmake_parse_arguments(PARSE_ARGV 2 program "BASH_COMPLETION" "" "TEST_HOOKS")
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  get_target_property(name ${target} OUTPUT_NAME)
  if(NOT name)
    set(name ${target})
  endif()
  if(program_BASH_COMPLETION)
    install(FILES ${CMAKE_SOURCE_DIR}/packaging/zelmirt.bash-completion
            DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME ${name})
  endif()
  if(NOT ZELMIRT_MAN_PAGES)
    return()
  endif()
  set(page ${CMAKE_BINARY_DIR}/man/${name}.1)
  # help2man runs this in the program's place: the program's own text, made into the page's.
  set(help_filter ${CMAKE_SOURCE_DIR}/cmake/ManPageHelp.awk)
  set(help_for_page ${CMAKE_BINARY_DIR}/man/${name}-help)
  list(JOIN program_TEST_HOOKS " " hooks)
  file(GENERATE OUTPUT ${help_for_page}
       CONTENT "#!/bin/sh\n\"$<TARGET_FILE:${target}>\" \"$@\" | ${AWK} -v hooks='${hooks}' -f '${help_filter}'\n"
       FILE_PERMISSIONS OWNER_READ OWNER_WRITE OWNER_EXECUTE GROUP_READ GROUP_EXECUTE WORLD_READ WORLD_EXECUTE)
  set(include_file ${CMAKE_SOURCE_DIR}/packaging/man/${name}.h2m)
  set(include_option)
  set(include_depends)
  if(EXISTS ${include_file})
    set(include_option --include=${include_file})
    set(include_depends ${include_file})
  endif()
  add_custom_command(
    OUTPUT ${page}.gz
    COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
    COMMAND ${HELP2MAN} --no-info --section=1 --name=${description} ${include_option} --output=${page} ${help_for_page}
    # -n: no name or time stamp inside, so that the same page gives the same bytes
    COMMAND ${GZIP} -9nf ${page}
    DEPENDS ${target} ${help_filter} ${help_for_page} ${include_depends}
    COMMENT "Manual page of ${name}"
    VERBATIM)
  add_custom_target(${target}-man ALL DEPENDS ${page}.gz)
  install(FILES ${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()
