# A full 32768-byte download by the Downloader against the simulator, over a pseudo-terminal and
# over TCP; prints its figures. Run: build/default/bench/bench_download
if(TARGET indicator_sim)
    qt_add_executable(bench_download ${CMAKE_CURRENT_LIST_DIR}/download_bench.cpp)
    # ser2net is started as the tests start it, by tests/support/Ser2Net.h.
    target_link_libraries(bench_download PRIVATE talvor_core indicator_sim Qt6::Test)
    target_include_directories(bench_download PRIVATE ${PROJECT_SOURCE_DIR}/tests)
endif()
