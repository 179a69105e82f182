# find_package(pipeway): the DA module contract of an installed pipeway, as the target
# pipeway::da_contract, and pipeway_add_da_module().
get_filename_component(_pipeway_prefix "${CMAKE_CURRENT_LIST_DIR}/../../.." ABSOLUTE)
if(NOT TARGET pipeway::da_contract)
    add_library(pipeway::da_contract INTERFACE IMPORTED)
    target_include_directories(pipeway::da_contract INTERFACE "${_pipeway_prefix}/include")
endif()
include("${CMAKE_CURRENT_LIST_DIR}/PipewayDAModule.cmake")
unset(_pipeway_prefix)
