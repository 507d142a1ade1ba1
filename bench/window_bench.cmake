# The same full download, started with the DownLoad button of the real main window (offscreen),
# to show what the window's per-block progress costs. Run:
#   QT_QPA_PLATFORM=offscreen build/default/bench/bench_window
if(TARGET indicator_sim)
    qt_add_executable(bench_window ${CMAKE_CURRENT_LIST_DIR}/window_bench.cpp)
    target_link_libraries(bench_window PRIVATE talvor_app indicator_sim)
    set_target_properties(bench_window PROPERTIES AUTOUIC OFF)
endif()
