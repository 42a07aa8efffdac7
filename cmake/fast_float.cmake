# fast_float (header only; Debian: libfast-float-dev) reads decimal numbers;
# the build and the fuzz target find it here.
# The loader uses its internals (compute_float, adjusted_mantissa,
# to_float), which are not promised to stay the same: only the versions
# tested are taken.
set(ITSOLV_FAST_FLOAT_VERSIONS 3.9...<3.10)
find_package(FastFloat ${ITSOLV_FAST_FLOAT_VERSIONS} QUIET)
if(NOT FastFloat_FOUND AND FastFloat_CONSIDERED_VERSIONS)
  list(REMOVE_DUPLICATES FastFloat_CONSIDERED_VERSIONS)
  list(JOIN FastFloat_CONSIDERED_VERSIONS ", " found)
  message(FATAL_ERROR "fast_float 3.9.x is needed, not ${found} (libfast-float-dev)")
elseif(NOT FastFloat_FOUND)
  message(FATAL_ERROR "fast_float 3.9.x not found (install libfast-float-dev)")
endif()
