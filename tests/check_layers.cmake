# Each folder includes only what its layer may use; run as a test (cmake -DSOURCE_DIR=... -P).
#   engine/            itself and the platform interfaces (platform/*.h, the failures among them); no Qt
#   platform/          itself (interfaces, failures, implementations); no Qt outside platform/qt/
#   cli/               engine, platform and itself; no Qt
#   ui/, app/          engine, platform and ui
# A quoted include without a folder names a header beside the including file.

function(check_folder folder allowed_pattern qt_allowed)
    file(GLOB_RECURSE sources ${SOURCE_DIR}/${folder}/*.h ${SOURCE_DIR}/${folder}/*.cpp ${SOURCE_DIR}/${folder}/*.h.in)
    foreach(source IN LISTS sources)
        file(RELATIVE_PATH relative ${SOURCE_DIR} ${source})
        file(STRINGS ${source} lines REGEX "^[ \t]*#[ \t]*include")
        foreach(line IN LISTS lines)
            if(line MATCHES "#[ \t]*include[ \t]*\"([^\"]+)\"")
                set(header ${CMAKE_MATCH_1})
                if(header MATCHES "\\.\\.")
                    list(APPEND violations "${relative}: ${header} (a path out of its folder)")
                elseif(header MATCHES "/" AND NOT header MATCHES "${allowed_pattern}")
                    list(APPEND violations "${relative}: ${header}")
                endif()
            elseif(line MATCHES "#[ \t]*include[ \t]*<Q" AND NOT qt_allowed AND NOT relative MATCHES "^platform/qt/")
                list(APPEND violations "${relative}: a Qt header (${line})")
            endif()
        endforeach()
    endforeach()
    set(violations ${violations} PARENT_SCOPE)
endfunction()

set(violations)
check_folder(engine "^(engine/[^/]+|platform/[^/]+)$" FALSE)
check_folder(platform "^platform/" FALSE)
check_folder(cli "^(engine|platform|cli)/" FALSE)
check_folder(ui "^(engine|platform|ui)/" TRUE)
check_folder(app "^(engine|platform|ui)/" TRUE)

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "includes across the layers:\n  ${text}")
endif()
