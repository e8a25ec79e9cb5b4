# The engine and the platform interfaces build without the toolkit: no Qt header may appear there.
file(GLOB_RECURSE sources ${SOURCE_DIR}/engine/*.h ${SOURCE_DIR}/engine/*.cpp
                          ${SOURCE_DIR}/platform/*.h ${SOURCE_DIR}/platform/*.cpp ${SOURCE_DIR}/cli/*.h ${SOURCE_DIR}/cli/*.cpp)
foreach(source IN LISTS sources)
    if(source MATCHES "/platform/qt/")
        continue()
    endif()
    file(STRINGS ${source} includes REGEX "^[ \t]*#[ \t]*include[ \t]*<Q")
    if(includes)
        message(FATAL_ERROR "${source} includes a Qt header: ${includes}")
    endif()
endforeach()
