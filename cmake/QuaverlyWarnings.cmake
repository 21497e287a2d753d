# Every target of ours compiles with the same strict flags; warnings are fixed, not silenced.
add_library(quaverly_options INTERFACE)
target_compile_options(quaverly_options INTERFACE
    $<$<CXX_COMPILER_ID:GNU,Clang,AppleClang>:-Wall -Wextra -Wshadow>)
target_compile_definitions(quaverly_options INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_KEYWORDS)
