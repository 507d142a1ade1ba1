# The real ticket-talvor-cli downloading into one simulated indicator alone and into 50 at once
# over TCP; prints wall, exchanges/s, CPU and peak memory. Run: build/default/bench/bench_fleet
if(TARGET indicator_sim AND TARGET ticket-talvor-cli)
    qt_add_executable(bench_fleet ${CMAKE_CURRENT_LIST_DIR}/fleet_bench.cpp)
    target_link_libraries(bench_fleet PRIVATE talvor_core indicator_sim)
    target_compile_definitions(bench_fleet PRIVATE
        TALVOR_CLI_PATH="$<TARGET_FILE:ticket-talvor-cli>")
    add_dependencies(bench_fleet ticket-talvor-cli)
endif()
