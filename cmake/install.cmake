# Installing: the programs (itsolv-mpi too, where it is built) and the
# manual pages, under the usual directories of the prefix
# (`cmake --install build --prefix DIR`).
include(GNUInstallDirs)

install(TARGETS itsolv mkprob RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
if(TARGET itsolv-mpi)
  install(TARGETS itsolv-mpi RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(FILES ${PROJECT_SOURCE_DIR}/man/itsolv.1 ${PROJECT_SOURCE_DIR}/man/mkprob.1
        DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)

if(ITSOLV_TESTS)
  # Each manual page renders without a single warning from groff. Without
  # groff the test is reported as skipped.
  set(itsolv_check_man_page [=[
command -v groff >/dev/null 2>&1 || { echo "groff is not installed"; exit 77; }
warnings=$(groff -man -Tutf8 -ww -z "$1" 2>&1)
status=$?
if [ $status -ne 0 ] || [ -n "$warnings" ]; then
  printf '%s\n' "$warnings"
  exit 1
fi
]=])
  foreach(page itsolv mkprob)
    add_test(NAME man_page_${page}_renders_cleanly
             COMMAND sh -c "${itsolv_check_man_page}" sh ${PROJECT_SOURCE_DIR}/man/${page}.1)
    set_tests_properties(man_page_${page}_renders_cleanly PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()

  # An installation into a fresh prefix holds the four files, and the
  # installed program runs.
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
exit $status
]=])
  add_test(NAME install_puts_programs_and_manual_pages_under_the_prefix
           COMMAND sh -c "${itsolv_check_install}" sh ${CMAKE_COMMAND} ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
endif()
