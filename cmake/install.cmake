# Installing: the programs (itsolv-mpi too, where it is built) and the
# manual pages, under the usual directories of the prefix
# (`cmake --install build --prefix DIR`).
include(GNUInstallDirs)

# The manual pages carry the project's version: each man/NAME.1.in becomes
# NAME.1 in the build's man/ folder.
set(itsolv_man_pages itsolv mkprob)
if(TARGET itsolv-mpi)
  list(APPEND itsolv_man_pages itsolv-mpi)
endif()
foreach(page ${itsolv_man_pages})
  configure_file(${PROJECT_SOURCE_DIR}/man/${page}.1.in ${PROJECT_BINARY_DIR}/man/${page}.1 @ONLY)
  install(FILES ${PROJECT_BINARY_DIR}/man/${page}.1 DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()

install(TARGETS itsolv mkprob RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET itsolv-mpi)
  install(TARGETS itsolv-mpi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

# `cpack -G DEB` in the build folder makes a Debian package of what is
# installed above, under /usr.
set(CPACK_PACKAGE_NAME itsolv)
set(CPACK_PACKAGE_VENDOR "itsolv")
set(CPACK_PACKAGE_CONTACT "itsolv maintainers <itsolv@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Jacobi solver for dense linear systems and a test problem generator")
set(CPACK_PACKAGE_INSTALL_DIRECTORY itsolv)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION math)
# The programs link only the C library (and itsolv-mpi Open MPI's): the
# package's dependencies are read from the programs themselves.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
include(CPack)

if(ITSOLV_TESTS)
  # What the tests below need and a minimal machine lacks: configuring names
  # the package, and the test is reported as skipped with the same reason.
  find_program(ITSOLV_GROFF groff)
  if(NOT ITSOLV_GROFF)
    message(NOTICE "groff not found: the manual-page tests are skipped (install groff-base, or: scripts/install-deps man)")
  endif()
  # CPack reads the programs' dependencies with dpkg-shlibdeps and file.
  find_program(ITSOLV_DPKG_SHLIBDEPS dpkg-shlibdeps)
  find_program(ITSOLV_FILE file)
  if(NOT ITSOLV_DPKG_SHLIBDEPS OR NOT ITSOLV_FILE)
    message(NOTICE "dpkg-dev or file not found: the package test is skipped (install dpkg-dev file, or: scripts/install-deps package)")
  endif()

  # Each manual page renders without a single warning from groff.
  set(itsolv_check_man_page [=[
command -v groff >/dev/null 2>&1 || { echo "groff is not installed"; exit 77; }
warnings=$(groff -man -Tutf8 -ww -z "$1" 2>&1)
status=$?
if [ $status -ne 0 ] || [ -n "$warnings" ]; then
  printf '%s\n' "$warnings"
  exit 1
fi
]=])
  foreach(page ${itsolv_man_pages})
    add_test(NAME man_page_${page}_renders_cleanly
             COMMAND sh -c "${itsolv_check_man_page}" sh ${PROJECT_BINARY_DIR}/man/${page}.1)
    set_tests_properties(man_page_${page}_renders_cleanly PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()

  # An installation into a fresh prefix holds the four files, the installed
  # program runs, and its manual page carries its version.
  set(itsolv_check_install [=[
prefix=$(mktemp -d) || exit 1
trap 'rm -rf "$prefix"' EXIT
"$1" --install "$2" --prefix "$prefix" >/dev/null || exit 1
status=0
for file in bin/itsolv bin/mkprob share/man/man1/itsolv.1 share/man/man1/mkprob.1; do
  [ -f "$prefix/$file" ] || { echo "not installed: $file"; status=1; }
done
[ -x "$prefix/bin/itsolv" ] && [ -x "$prefix/bin/mkprob" ] || { echo "programs not executable"; status=1; }
version=$("$prefix/bin/itsolv" --version) || { echo "installed itsolv --version failed"; status=1; }
[ "$version" = "itsolv $3" ] || { echo "installed itsolv --version printed: $version"; status=1; }
grep -q "\"itsolv $3\"" "$prefix/share/man/man1/itsolv.1" || { echo "the manual page does not carry version $3"; status=1; }
exit $status
]=])
  # The Debian package holds every program built and its manual page.
  set(itsolv_check_package [=[
command -v dpkg-shlibdeps >/dev/null 2>&1 || { echo "dpkg-dev is not installed"; exit 77; }
command -v file >/dev/null 2>&1 || { echo "file is not installed"; exit 77; }
out=$(mktemp -d) || exit 1
trap 'rm -rf "$out"' EXIT
cd "$1" && "$2" -G DEB -B "$out" >/dev/null || exit 1
contents=$(dpkg-deb -c "$out"/*.deb) || exit 1
status=0
shift 2
for program in "$@"; do
  for file in "./usr/bin/$program" "./usr/share/man/man1/$program.1"; do
    printf '%s
' "$contents" | grep -q " $file\$" || { echo "not in the package: $file"; status=1; }
  done
done
exit $status
]=])
  set(itsolv_programs itsolv mkprob)
  if(TARGET itsolv-mpi)
    list(APPEND itsolv_programs itsolv-mpi)
  endif()
  add_test(NAME package_holds_the_programs_and_their_manual_pages
           COMMAND sh -c "${itsolv_check_package}" sh ${PROJECT_BINARY_DIR} ${CMAKE_CPACK_COMMAND} ${itsolv_programs})
  set_tests_properties(package_holds_the_programs_and_their_manual_pages PROPERTIES SKIP_RETURN_CODE 77)

  add_test(NAME install_puts_programs_and_manual_pages_under_the_prefix
           COMMAND sh -c "${itsolv_check_install}" sh ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
endif()
