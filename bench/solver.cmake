# A straightforward solver (fscanf per token, scalar sweeps, printf per value),
# for comparing the speed, the memory use and the output of itsolv.
add_executable(straight_itsolv ${CMAKE_CURRENT_LIST_DIR}/straight_itsolv.cpp)
# Each phase of itsolv beside its floor on this machine, through the library.
add_executable(phases ${CMAKE_CURRENT_LIST_DIR}/phases.cpp)
target_link_libraries(phases PRIVATE itsolv_core)
# The machine's floors: memory read bandwidth, reading and writing files.
add_executable(floors ${CMAKE_CURRENT_LIST_DIR}/floors.cpp)
target_link_libraries(floors PRIVATE Threads::Threads)
