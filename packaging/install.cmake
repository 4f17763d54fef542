# Install rules shared by the programs of the package. Debian wants manual pages and the
# changelog compressed with gzip -9 and without the name and time gzip stores otherwise,
# so that rebuilding the same sources gives the same package.

find_program(GZIP gzip REQUIRED)
set(LUMBRISK_DOCDIR ${CMAKE_INSTALL_DATADIR}/doc/lumbrisk)

# Installs <file> as <destination>/<name of file>.gz.
function(lumbrisk_install_gzipped file destination)
  get_filename_component(name ${file} NAME)
  set(copy ${CMAKE_BINARY_DIR}/gzipped/${name})
  add_custom_command(OUTPUT ${copy}.gz
    COMMAND ${CMAKE_COMMAND} -E copy ${file} ${copy}
    COMMAND ${GZIP} -9nf ${copy}
    DEPENDS ${file}
    COMMENT "Compressing ${name}"
    VERBATIM)
  add_custom_target(gzip-${name} ALL DEPENDS ${copy}.gz)
  install(FILES ${copy}.gz DESTINATION ${destination})
endfunction()

# Installs a program of the package with its manual page: man/<program>.1, or the page given
# (one made at build time). The program binds every symbol at start, so that its
# relocations can be made read-only as well.
function(lumbrisk_install_program target)
  set(page ${PROJECT_SOURCE_DIR}/man/${target}.1)
  if(ARGC GREATER 1)
    set(page ${ARGV1})
  endif()
  target_link_options(${target} PRIVATE LINKER:-z,relro,-z,now)
  install(TARGETS ${target} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  lumbrisk_install_gzipped(${page} ${CMAKE_INSTALL_MANDIR}/man1)
endfunction()

# The package's changelog, made from CHANGELOG.md with the maintainer of the package.
function(lumbrisk_install_changelog maintainer)
  set(changelog ${CMAKE_BINARY_DIR}/changelog)
  add_custom_command(OUTPUT ${changelog}
    COMMAND ${PROJECT_SOURCE_DIR}/packaging/debian-changelog.sh
            ${PROJECT_SOURCE_DIR}/CHANGELOG.md lumbrisk ${maintainer} ${changelog}
    DEPENDS ${PROJECT_SOURCE_DIR}/CHANGELOG.md ${PROJECT_SOURCE_DIR}/packaging/debian-changelog.sh
    COMMENT "Writing the Debian changelog"
    VERBATIM)
  lumbrisk_install_gzipped(${changelog} ${LUMBRISK_DOCDIR})
endfunction()

# The newest release of CHANGELOG.md and of the metainfo must be the project's version, so
# that the package, its changelog and the software centres name the same release.
function(lumbrisk_check_release_notes)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS
               CHANGELOG.md assets/org.lumbrisk.Lumbrisk.metainfo.xml)
  # Changes not yet released gather under "## Unreleased" above the newest release.
  file(STRINGS ${PROJECT_SOURCE_DIR}/CHANGELOG.md changelog REGEX "^## [0-9]" LIMIT_COUNT 1)
  file(STRINGS ${PROJECT_SOURCE_DIR}/assets/org.lumbrisk.Lumbrisk.metainfo.xml metainfo
       REGEX "<release " LIMIT_COUNT 1)
  string(REPLACE "." "\\." version "${PROJECT_VERSION}")
  if(NOT changelog MATCHES "^## ${version} " OR NOT metainfo MATCHES "version=\"${version}\"")
    message(FATAL_ERROR "The newest release of CHANGELOG.md (${changelog}) and of the metainfo "
                        "(${metainfo}) must both be ${PROJECT_VERSION}.")
  endif()
endfunction()
lumbrisk_check_release_notes()
