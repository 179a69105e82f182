# The benchmarks' DA modules, built into PW_BENCH_STACK_DIR under the target bench_stack: each
# answers a fixed text at once, so that a call through them costs what the contract costs.

# pw_add_bench_da(name answer): a DA module that answers `answer` to every command.
function(pw_add_bench_da name answer)
    set(target benchda_${name})
    add_library(${target} MODULE ${CMAKE_CURRENT_FUNCTION_LIST_DIR}/modules/bench_da.cpp)
    target_link_libraries(${target} PRIVATE pw::dacontract)
    target_compile_definitions(${target} PRIVATE BENCH_DA_NAME=${name}
                                                 "BENCH_DA_ANSWER=\"${answer}\"")
    set_target_properties(${target} PROPERTIES
        PREFIX ""
        OUTPUT_NAME ${name}
        CXX_VISIBILITY_PRESET hidden
        LIBRARY_OUTPUT_DIRECTORY ${PW_BENCH_STACK_DIR}
        RUNTIME_OUTPUT_DIRECTORY ${PW_BENCH_STACK_DIR})
    pw_set_warnings(${target})
    add_dependencies(bench_stack ${target})
endfunction()

# pw_add_bench_stack(root): the four modules a call needs; kordo64 reports `root` (as the
# provider will read it: a Windows path under Wine) as the install root.
function(pw_add_bench_stack root)
    pw_add_bench_da(lumda64 "<Answer>ok</Answer>")
    # An administrator (role 4, not the true administrator): every decision looks at the table.
    pw_add_bench_da(rukda64 "<UserRights><UserRightsMask>4</UserRightsMask></UserRights>")
    pw_add_bench_da(tarda64
        "<ChildList><Object><IPAddress>192.0.2.10</IPAddress><GLAddress>2001:db8::10</GLAddress><SLAddress>fe80::10</SLAddress></Object></ChildList>")
    pw_add_bench_da(kordo64 "<Answer>ok</Answer>")
    target_compile_definitions(benchda_kordo64 PRIVATE "BENCH_ROOT_INSTALL_PATH=\"${root}\"")
endfunction()
