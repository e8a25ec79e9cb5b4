# SPDX-License-Identifier: GPL-3.0-or-later
# Each folder includes only what its layer may use; run as a test (cmake -DSOURCE_DIR=... -P).
#   engine/run/         itself and the platform interfaces (platform/*.h, the failures among them)
#   engine/recordings/  itself, engine/run/ and the platform interfaces
#   engine/view/        itself, engine/run/, engine/recordings/ and the platform interfaces
#   platform/           itself (interfaces, failures, implementations)
#   cli/                engine/run/, engine/recordings/, platform and itself
#   ui/, app/, tools/   engine, platform and ui
# Qt only in ui/, app/, tools/ and platform/qt/. A quoted include without a folder names a header beside
# the including file.

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
set(platform_headers "platform/[^/]+")
check_folder(engine/run "^(engine/run/[^/]+|${platform_headers})$" FALSE)
check_folder(engine/recordings "^(engine/(run|recordings)/[^/]+|${platform_headers})$" FALSE)
check_folder(engine/view "^(engine/(run|recordings|view)/[^/]+|${platform_headers})$" FALSE)
check_folder(platform "^platform/" FALSE)
check_folder(cli "^(engine/(run|recordings)|platform|cli)/" FALSE)
check_folder(ui "^(engine|platform|ui)/" TRUE)
check_folder(app "^(engine|platform|ui)/" TRUE)
check_folder(tools "^(engine|platform|ui)/" TRUE)

# Every file of engine/ sits in one of its three folders.
file(GLOB loose ${SOURCE_DIR}/engine/*.h ${SOURCE_DIR}/engine/*.cpp)
foreach(source IN LISTS loose)
    file(RELATIVE_PATH relative ${SOURCE_DIR} ${source})
    list(APPEND violations "${relative}: outside engine's folders")
endforeach()

if(violations)
    list(JOIN violations "\n  " text)
    message(FATAL_ERROR "includes across the layers:\n  ${text}")
endif()
