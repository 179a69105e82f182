# pipeway's command line (CLI11) and JSON output (nlohmann-json): header-only libraries from the
# build machine's packages (Debian: libcli11-dev, nlohmann-json3-dev).
#
# Natively they come from their own CMake packages. A cross build must not put the build
# machine's /usr/include on its search path, where the C library's headers would shadow the
# target's, so it sees the two libraries' folders alone, through links in the build tree.
if(NOT CMAKE_CROSSCOMPILING)
    find_package(CLI11 2.1 CONFIG REQUIRED)
    find_package(nlohmann_json 3.10 CONFIG REQUIRED)
    return()
endif()

set(pw_third_party_include ${CMAKE_BINARY_DIR}/third_party/include)
file(MAKE_DIRECTORY ${pw_third_party_include})
foreach(library IN ITEMS "CLI11;CLI/CLI.hpp;CLI" "nlohmann_json;nlohmann/json.hpp;nlohmann")
    list(GET library 0 name)
    list(GET library 1 header)
    list(GET library 2 folder)
    find_path(PW_${name}_INCLUDE_DIR ${header} PATHS /usr/include /usr/local/include
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    if(NOT PW_${name}_INCLUDE_DIR)
        message(FATAL_ERROR "${header} not found: install the build machine's ${name} package "
                            "(tools/setup)")
    endif()
    file(CREATE_LINK ${PW_${name}_INCLUDE_DIR}/${folder} ${pw_third_party_include}/${folder}
         SYMBOLIC)
    add_library(${name}::${name} INTERFACE IMPORTED)
    target_include_directories(${name}::${name} SYSTEM INTERFACE ${pw_third_party_include})
endforeach()
