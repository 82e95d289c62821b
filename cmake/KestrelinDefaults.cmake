# Compiler settings shared by every target of the project.

set(KESTRELIN_WARNINGS -Wall -Wextra -Wno-unused-parameter)

# Fuzz builds instrument every library for coverage, so libFuzzer sees into the decoders
# and not only into the small target files.
if(KESTRELIN_FUZZ AND CMAKE_CXX_COMPILER_ID MATCHES "Clang")
    add_compile_options(-fsanitize=fuzzer-no-link)
endif()

if(KESTRELIN_SANITIZE)
    add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                        -fno-sanitize-recover=undefined)
    add_link_options(-fsanitize=address,undefined)
endif()

# kestrelin_defaults(target): warnings and the project root as include path,
# so headers are included as <layer/file.h>.
function(kestrelin_defaults target)
    target_compile_options(${target} PRIVATE ${KESTRELIN_WARNINGS})
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "INTERFACE_LIBRARY")
        target_include_directories(${target} INTERFACE ${PROJECT_SOURCE_DIR})
    else()
        target_include_directories(${target} PUBLIC ${PROJECT_SOURCE_DIR})
    endif()
endfunction()
