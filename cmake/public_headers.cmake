# The solver's public headers: what a program built on the solver's library
# (itsolv-mpi) may include. The rest of solver/ is the library's own, free
# to change with it. itsolv_public_includes_only(DIR) stops configuring when
# a source of DIR includes another header of solver/.
set(ITSOLV_PUBLIC_HEADERS
  help.hpp
  base/failure.hpp
  base/row_range.hpp
  base/workers.hpp
  load/chunk_source.hpp
  load/compact_values.hpp
  load/file_reader.hpp
  load/load_options.hpp
  load/load_steps.hpp
  load/loader.hpp
  load/text_parts.hpp
  load/text_run.hpp
  load/token_place.hpp
  matrix/problem.hpp
  parse/white_space.hpp
  solve/monitor.hpp
  solve/precheck.hpp
  solve/report.hpp
  solve/solve.hpp
  solve/sweeps.hpp)

function(itsolv_public_includes_only dir)
  file(GLOB sources CONFIGURE_DEPENDS "${dir}/*.cpp" "${dir}/*.hpp")
  # An edited source is checked again at the next build.
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${sources})
  foreach(source IN LISTS sources)
    file(STRINGS "${source}" includes REGEX "^#include \"[^\"]+\"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]+)\".*" "\\1" header "${line}")
      if(EXISTS "${PROJECT_SOURCE_DIR}/solver/${header}" AND NOT header IN_LIST ITSOLV_PUBLIC_HEADERS)
        message(FATAL_ERROR "${source} includes solver/${header}, which is private to the solver's library; "
                            "its public headers are listed in cmake/public_headers.cmake")
      endif()
    endforeach()
  endforeach()
endfunction()
