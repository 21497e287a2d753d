# QUAVERLY_SANITIZE: a comma-separated list handed to -fsanitize= for every target of ours
# ("address,undefined" or "thread"); empty builds without. Qt and the system libraries stay
# uninstrumented, so reports point into our code or at a hand-off through theirs.
set(QUAVERLY_SANITIZE "" CACHE STRING "Sanitizers for our targets: address,undefined or thread; empty for none")

if(QUAVERLY_SANITIZE)
    if(NOT CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang|AppleClang")
        message(FATAL_ERROR "QUAVERLY_SANITIZE needs GCC or Clang")
    endif()
    string(REPLACE "," ";" sanitizers "${QUAVERLY_SANITIZE}")
    if("thread" IN_LIST sanitizers AND ("address" IN_LIST sanitizers OR "leak" IN_LIST sanitizers))
        message(FATAL_ERROR "QUAVERLY_SANITIZE: thread cannot be combined with address or leak")
    endif()
    set(sanitize_flags -fsanitize=${QUAVERLY_SANITIZE} -fno-omit-frame-pointer)
    if("undefined" IN_LIST sanitizers)
        # A report that lets the test carry on passing is a report nobody reads.
        list(APPEND sanitize_flags -fno-sanitize-recover=all)
    endif()
    target_compile_options(quaverly_options INTERFACE ${sanitize_flags})
    target_link_options(quaverly_options INTERFACE ${sanitize_flags})
    message(STATUS "Sanitizers: ${QUAVERLY_SANITIZE}")
endif()
