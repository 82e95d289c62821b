# Helpers for the test suite, the fuzz targets and the benchmarks.

include(GoogleTest)
find_package(GTest REQUIRED)

# kestrelin_add_test(name SOURCES ... LIBS ... [LABELS ...] [TIMEOUT s] [ENV NAME=VALUE...])
# One GoogleTest program; every TEST becomes a CTest case, run with all the ENV entries set.
function(kestrelin_add_test name)
    cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV" ${ARGN})
    add_executable(${name} ${T_SOURCES})
    kestrelin_defaults(${name})
    target_link_libraries(${name} PRIVATE ${T_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    # Empty values would shift the property list, so only set what was given.
    set(props TIMEOUT ${T_TIMEOUT})
    if(T_LABELS)
        list(APPEND props LABELS "${T_LABELS}")
    endif()
    gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST PROPERTIES ${props})
    # A list would be split on its way through the discovery's generated scripts, so the
    # environment is set on the discovered tests by a file ctest reads after theirs.
    if(T_ENV)
        set(env_file "${CMAKE_CURRENT_BINARY_DIR}/${name}_environment.cmake")
        file(WRITE "${env_file}"
            "if(${name}_TESTS)\n"
            "    set_tests_properties(\${${name}_TESTS} PROPERTIES ENVIRONMENT [==[${T_ENV}]==])\n"
            "endif()\n")
        set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${env_file}")
    endif()
endfunction()

# kestrelin_add_fuzzer(name SOURCES ... LIBS ... [SEEDS dir] [RUNS n])
# The sources define LLVMFuzzerTestOneInput. With KESTRELIN_FUZZ and clang this
# builds a libFuzzer binary; otherwise it links a deterministic mutation driver
# and registers a bounded replay as a test, so every build exercises the target.
add_custom_target(fuzz-targets)
file(WRITE ${PROJECT_BINARY_DIR}/fuzz-targets.txt "")

function(kestrelin_add_fuzzer name)
    cmake_parse_arguments(F "" "SEEDS;RUNS" "SOURCES;LIBS" ${ARGN})
    if(NOT F_RUNS)
        set(F_RUNS 20000)
    endif()
    add_executable(${name} ${F_SOURCES})
    kestrelin_defaults(${name})
    target_link_libraries(${name} PRIVATE ${F_LIBS})
    if(KESTRELIN_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
        target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
        target_link_options(${name} PRIVATE -fsanitize=fuzzer)
        set_target_properties(${name} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${PROJECT_BINARY_DIR})
        add_dependencies(fuzz-targets ${name})
        file(APPEND ${PROJECT_BINARY_DIR}/fuzz-targets.txt "${name} ${F_SEEDS}\n")
    else()
        target_sources(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests/fuzz/mutation_driver.cpp)
        add_test(NAME fuzz.${name} COMMAND ${name} --runs=${F_RUNS} ${F_SEEDS})
        set_tests_properties(fuzz.${name} PROPERTIES TIMEOUT 300 LABELS fuzz)
    endif()
endfunction()
