# A straightforward solver (fscanf per token, scalar sweeps, printf per value),
# for comparing the speed, the memory use and the output of itsolv.
add_executable(straight_itsolv ${CMAKE_CURRENT_LIST_DIR}/straight_itsolv.cpp)
