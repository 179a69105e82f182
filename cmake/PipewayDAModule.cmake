# pipeway_add_da_module(NAME SOURCES...): a DA module library, in C or C++, against the DA module
# contract <pipeway/da_contract.h> (target pipeway::da_contract). The library is named after
# the module with no "lib" prefix, exports only what the sources mark PW_DA_EXPORT, and on
# Linux finds its own libraries in its folder. NAME must be one of the six module names the
# provider accepts.
set(PIPEWAY_DA_MODULE_NAMES lumda64 rukda64 kordo64 tarda64 mivda64 pexda64)

function(pipeway_add_da_module name)
    if(NOT name IN_LIST PIPEWAY_DA_MODULE_NAMES)
        message(FATAL_ERROR "pipeway_add_da_module: ${name} is not a DA module name the provider "
                            "accepts (${PIPEWAY_DA_MODULE_NAMES})")
    endif()
    add_library(${name} MODULE ${ARGN})
    target_link_libraries(${name} PRIVATE pipeway::da_contract)
    set_target_properties(${name} PROPERTIES
        PREFIX ""
        C_VISIBILITY_PRESET hidden
        CXX_VISIBILITY_PRESET hidden)
    if(NOT WIN32 AND NOT APPLE)
        # The module's own libraries load from the folder it is in (Windows looks there
        # already): "$ORIGIN" alone, in the build tree too, so that a module copied into a
        # stack finds what was copied beside it and nothing of the tree it was built in.
        set_target_properties(${name} PROPERTIES
            INSTALL_RPATH "$ORIGIN"
            BUILD_WITH_INSTALL_RPATH ON)
    endif()
endfunction()
