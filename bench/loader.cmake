# The phase times of itsolv in one process: load, pre-check, sweeps, report.
add_executable(loader_phases ${CMAKE_CURRENT_LIST_DIR}/loader_phases.cpp)
target_link_libraries(loader_phases PRIVATE itsolv_core)

# read() into a reused buffer against mmap(), for the loader's input.
add_executable(file_bytes_probe ${CMAKE_CURRENT_LIST_DIR}/file_bytes_probe.cpp)
target_link_libraries(file_bytes_probe PRIVATE Threads::Threads)
