# A straightforward generator (one fprintf per number), for comparing the
# speed and the output of mkprob.
add_executable(straight_mkprob ${CMAKE_CURRENT_LIST_DIR}/straight_mkprob.cpp)
