# pw_set_warnings(target): the project's warning set, errors when PW_WARNINGS_AS_ERRORS is on.
function(pw_set_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow -Wformat=2
                                             -Wconversion -Wno-sign-conversion)
    if(PW_WARNINGS_AS_ERRORS)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()
