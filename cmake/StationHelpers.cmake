# Warnings for our own targets; errors too when STATION_WERROR is on (CI).
function(station_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(STATION_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Parsing the Qt headers takes most of the time of each of our compiles: station_precompile_qt(target)
# precompiles, once for all of a library's sources, the headers of the Qt modules it links itself
# (QtCore always). The tests that link stationtestsupport use its precompiled headers
# (station_add_test). A precompiled header that cannot be used is only a warning: it costs time,
# nothing else. STATION_PCH=OFF leaves them all out.
function(station_precompile_qt target)
    if(NOT STATION_PCH)
        return()
    endif()
    get_target_property(libraries ${target} LINK_LIBRARIES)
    set(headers <QtCore/QtCore>)
    foreach(module Gui Network Qml Quick Sql Test)
        if("Qt5::${module}" IN_LIST libraries)
            list(APPEND headers <Qt${module}/Qt${module}>)
        endif()
    endforeach()
    target_precompile_headers(${target} PRIVATE ${headers})
    target_compile_options(${target} PRIVATE -Wno-error=invalid-pch)
endfunction()

# GNU ld takes seconds for each of the many test executables with their debug information; gold,
# which comes with it, does the same in a third of the time.
function(station_choose_linker)
    include(CheckLinkerFlag)
    check_linker_flag(CXX -fuse-ld=gold STATION_LINKER_GOLD)
    if(STATION_LINKER_GOLD)
        add_link_options(-fuse-ld=gold)
    endif()
endfunction()

# A QtTest executable run by ctest. Usage:
#   station_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [TIMEOUT s] [GUI])
# GUI marks a test that needs a display (a window, or a program that opens one): it gets the label
# "gui" and holds the lock "display", so that ctest -j runs such tests one at a time (beside the
# others): they share one screen, its focus and its pointer. The others join the target
# station_nongui_tests, so that a run that leaves the GUI tests out (ctest -LE gui) builds only what
# it needs.
function(station_add_test)
    cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    station_warnings(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
    if(STATION_PCH AND stationtestsupport IN_LIST T_LIBS)
        target_precompile_headers(${T_NAME} REUSE_FROM stationtestsupport)
        target_compile_options(${T_NAME} PRIVATE -Wno-error=invalid-pch)
        # A test includes its own moc output, which leaves this file empty: loading the headers
        # would take longer than compiling it.
        set_source_files_properties(${CMAKE_CURRENT_BINARY_DIR}/${T_NAME}_autogen/mocs_compilation.cpp
            PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
    endif()
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_GUI)
        list(APPEND T_LABELS gui)
        set_tests_properties(${T_NAME} PROPERTIES RESOURCE_LOCK display)
    else()
        if(NOT TARGET station_nongui_tests)
            add_custom_target(station_nongui_tests)
        endif()
        add_dependencies(station_nongui_tests ${T_NAME})
    endif()
    if(T_LABELS)
        set_tests_properties(${T_NAME} PROPERTIES LABELS "${T_LABELS}")
    endif()
endfunction()

# station_client_service(OUT_VAR SOURCE|REPLICA): one side of the remote interface between the
# client and the companion, generated from its one definition into the calling folder's build folder.
function(station_client_service out_var kind)
    qt5_generate_repc(generated ${CMAKE_SOURCE_DIR}/common/client_service.rep ${kind})
    set(${out_var} ${generated} PARENT_SCOPE)
endfunction()
