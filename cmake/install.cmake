# What `make install` (cmake --install) puts where, the Debian package that `make package`
# builds from the same rules, and the tests that check both.
#
#   bin/                      volmek, volmek-plus, volmek-exp, volmek-imp
#   share/volmek/             xtables.sql (the record dictionary tables), copys/CLIENTES.cpy
#   share/man/man1/           volmek.1.gz, volmek-plus.1.gz, volmek-exp.1.gz, volmek-imp.1.gz
include(GNUInstallDirs)

set(volmek_programs volmek volmek-plus volmek-exp volmek-imp)
install(TARGETS ${volmek_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/sql/xtables.sql
        DESTINATION ${CMAKE_INSTALL_DATADIR}/volmek)
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/demo/copys/CLIENTES.cpy
        DESTINATION ${CMAKE_INSTALL_DATADIR}/volmek/copys)

# Manual pages are installed compressed, as Debian wants them; -n keeps the archive free of a
# time stamp so that two builds give the same bytes.
set(volmek_man_pages)
foreach(program ${volmek_programs})
  set(page ${CMAKE_CURRENT_SOURCE_DIR}/man/${program}.1)
  set(compressed ${CMAKE_CURRENT_BINARY_DIR}/man/${program}.1.gz)
  add_custom_command(OUTPUT ${compressed}
                     COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_CURRENT_BINARY_DIR}/man
                     COMMAND sh -c "gzip -9n < '${page}' > '${compressed}'"
                     DEPENDS ${page} VERBATIM)
  list(APPEND volmek_man_pages ${compressed})
endforeach()
add_custom_target(volmek_man ALL DEPENDS ${volmek_man_pages})
install(FILES ${volmek_man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

# make package: a .deb whose dependencies dpkg-shlibdeps reads from the programs' shared
# libraries, and ICU.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME volmek)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_PACKAGE_CONTACT "volmek maintainers <volmek@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Acciones directas sobre ORACLE: SQL, table text files, copybooks")
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "Console tool for the administrators of an Oracle-backed application.
It runs SQL statements and scripts, saves and loads tables as text files, maintains the
application's tables and their record dictionary, turns COBOL copybooks into tables and
prepares a move of the data to SQL Server. Without an Oracle client it works on an embedded
database kept in one file.")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# ICU is loaded at run time, so dpkg-shlibdeps cannot see it.
set(CPACK_DEBIAN_PACKAGE_DEPENDS "libicu${VOLMEK_ICU_MAJOR}")
set(CPACK_STRIP_FILES ON)
include(CPack)

if(BUILD_TESTING)
  # The manual pages pass the linter without a single remark.
  find_program(VOLMEK_MANDOC mandoc)
  add_test(NAME ManPages.Lint
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/install/lint_man_pages.sh
                   ${CMAKE_CURRENT_SOURCE_DIR}/man ${PROJECT_VERSION})
  # The install tree, and the package installed into an empty root and run from there.
  add_test(NAME Install.Tree
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/install/install_tree_test.sh
                   ${CMAKE_CURRENT_BINARY_DIR})
  add_test(NAME Install.DebianPackage
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/install/package_test.sh
                   ${CMAKE_CURRENT_BINARY_DIR} ${PROJECT_VERSION})
  # The README's quick start and tour, pasted into a shell.
  add_test(NAME Readme.QuickStartAndTour
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/tests/install/readme_test.sh
                   ${CMAKE_CURRENT_SOURCE_DIR} ${CMAKE_CURRENT_BINARY_DIR})
  set_tests_properties(Readme.QuickStartAndTour PROPERTIES TIMEOUT 600)
  # Both build the package contents from the same build tree: one at a time.
  set_tests_properties(Install.Tree Install.DebianPackage PROPERTIES RESOURCE_LOCK volmek_install
                       TIMEOUT 600)
endif()
