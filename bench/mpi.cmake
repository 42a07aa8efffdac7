# Measures itsolv-mpi: time after loading and peak memory of each process
# (bench/measure_mpi.sh runs it).
add_executable(itsolv-mpi-measure ${CMAKE_CURRENT_LIST_DIR}/measure_mpi_sweeps.cpp)
target_link_libraries(itsolv-mpi-measure PRIVATE itsolv_mpi_core)

# A link with a delay and a rate between two network namespaces, over TUN
# devices (bench/measure_mpi_delay.sh runs it).
add_executable(delay-link ${CMAKE_CURRENT_LIST_DIR}/delay_link.cpp)
