# Run after bison: the parser's stack reserves its first 200 entries in a constructor that bison
# marks noexcept, so that running out of memory there would end the whole host process. Without
# the mark, the failure reaches the exclusion store as std::bad_alloc, which refuses the request.
file(READ "${HEADER}" text)
string(REPLACE "stack (size_type n = 200) YY_NOEXCEPT" "stack (size_type n = 200)" patched "${text}")
if(patched STREQUAL text AND NOT text MATCHES "stack \\(size_type n = 200\\)\n")
    message(FATAL_ERROR "${HEADER}: the parser stack's constructor was not found")
endif()
file(WRITE "${HEADER}" "${patched}")
