# The portable core built for the host, with its tests. KALVEX_SANITIZE builds
# everything with the address and undefined-behaviour sanitizers;
# KALVEX_FUZZ (clang) adds the reader's libFuzzer target.
option(KALVEX_SANITIZE "Build with AddressSanitizer and UndefinedBehaviorSanitizer" OFF)
option(KALVEX_TESTS "Build the core's tests" ON)
option(KALVEX_FUZZ "Build the reader's fuzz target (clang)" OFF)

add_compile_options(-Wall -Wextra)
include_directories(${CMAKE_SOURCE_DIR})
if(KALVEX_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
    add_link_options(-fsanitize=address,undefined)
endif()

if(KALVEX_FUZZ)
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

add_library(kalvex_core STATIC ${KALVEX_CORE_SOURCES} scan/filesource_posix.cpp scan/cachefile_posix.cpp)

find_package(Threads REQUIRED)
add_executable(kalvex-find ${KALVEX_FIND_SOURCES} find/platform_posix.cpp)
target_compile_definitions(kalvex-find PRIVATE KALVEX_VERSION="${KALVEX_VERSION}")
target_link_libraries(kalvex-find PRIVATE kalvex_core Threads::Threads)
install(TARGETS kalvex-find RUNTIME DESTINATION bin)
install(FILES find/kalvex-find.1 DESTINATION share/man/man1)
add_executable(kalvex_readbench bench/readbench.cpp)
target_link_libraries(kalvex_readbench PRIVATE kalvex_core)
# kalvex-find's benchmark writes its row-heavy module with this.
add_executable(kalvex_manynames tests/find/manynames.cpp tests/scan/imagebuilder.cpp)
target_link_libraries(kalvex_manynames PRIVATE kalvex_core)

if(KALVEX_TESTS)
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
    add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
    enable_testing()
    add_executable(kalvex_core_tests
        tests/scan/imagebuilder.cpp
        tests/scan/fixturemodules_test.cpp
        tests/scan/imageview_test.cpp
        tests/scan/namecache_test.cpp
        tests/scan/nametables_test.cpp
        tests/scan/peimage_test.cpp
        tests/scan/targetwalk_test.cpp
        tests/rows/rowtext_test.cpp
        tests/scan/fuzzreplay_test.cpp)
    target_link_libraries(kalvex_core_tests PRIVATE kalvex_core gtest gtest_main)
    # The fixture modules come from the cross build, which `make build` builds
    # first into the folder beside this one.
    target_compile_definitions(kalvex_core_tests PRIVATE
        KALVEX_FUZZ_CORPUS="${CMAKE_SOURCE_DIR}/tests/fuzz/corpus"
        KALVEX_CROSS_TESTS="${CMAKE_BINARY_DIR}/../tests")
    add_test(NAME kalvex_core_tests COMMAND kalvex_core_tests)
    set_tests_properties(kalvex_core_tests PROPERTIES TIMEOUT 120)

    # kalvex-find run as a user runs it; one case reads the system folder of
    # the Wine prefix that the cross build's tests boot.
    set(KALVEX_WINE_PREFIX ${CMAKE_BINARY_DIR}/../wine-test CACHE PATH "The Wine prefix of the tests")
    add_executable(kalvex_find_tests tests/find/find_test.cpp tests/find/cache_test.cpp tests/find/platform_test.cpp
        tests/find/scheduler_test.cpp tests/find/match_test.cpp tests/find/rowwriter_test.cpp
        find/options.cpp find/rowwriter.cpp find/platform_posix.cpp find/scheduler.cpp
        tests/scan/imagebuilder.cpp)
    target_link_libraries(kalvex_find_tests PRIVATE kalvex_core gtest gtest_main Threads::Threads util)
    target_compile_definitions(kalvex_find_tests PRIVATE KALVEX_FIND="$<TARGET_FILE:kalvex-find>"
        KALVEX_SYSTEM_FOLDER="${KALVEX_WINE_PREFIX}/drive_c/windows/system32"
        KALVEX_README="${CMAKE_SOURCE_DIR}/README.md" KALVEX_BUILD="${CMAKE_BINARY_DIR}"
        KALVEX_CROSS_TESTS="${CMAKE_BINARY_DIR}/../tests"
        KALVEX_CMAKE="${CMAKE_COMMAND}"
        # Beside the prefix, which need not exist: no "prefix/.." in the path.
        KALVEX_WINE_NOT_RUN="${CMAKE_BINARY_DIR}/../wine-not-run")
    add_test(NAME kalvex_find_tests COMMAND kalvex_find_tests)
    # The runs keep their name cache in the build, not in the user's.
    set_tests_properties(kalvex_find_tests PROPERTIES TIMEOUT 300
        ENVIRONMENT XDG_CACHE_HOME=${CMAKE_BINARY_DIR}/test-cache)
endif()

if(KALVEX_FUZZ)
    add_executable(kalvex_reader_fuzz tests/fuzz/reader_fuzz.cpp)
    target_compile_options(kalvex_reader_fuzz PRIVATE -fsanitize=fuzzer)
    target_link_options(kalvex_reader_fuzz PRIVATE -fsanitize=fuzzer)
    target_link_libraries(kalvex_reader_fuzz PRIVATE kalvex_core)
    # Writes the seed corpus: the test images of the image builder.
    add_executable(kalvex_fuzz_seeds tests/fuzz/seeds.cpp tests/scan/imagebuilder.cpp)
    target_link_libraries(kalvex_fuzz_seeds PRIVATE kalvex_core)
endif()
