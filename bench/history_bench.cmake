# The download-history window on a record of 100,000 downloads and on one of 50 MB: the time to
# show the rows and per key of the serial-number filter. Run:
#   QT_QPA_PLATFORM=offscreen build/default/bench/bench_history
qt_add_executable(bench_history ${CMAKE_CURRENT_LIST_DIR}/history_bench.cpp)
target_link_libraries(bench_history PRIVATE talvor_workspace)
