# Warnings for our own targets; errors too when STATION_WERROR is on (CI).
function(station_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(STATION_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# A QtTest executable run by ctest. Usage:
#   station_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [LABELS l ...] [TIMEOUT s] [GUI])
# GUI marks a test that needs a display (a window, or a program that opens one): it gets the label
# "gui". The others join the target station_nongui_tests, so that a run that leaves the GUI tests
# out (ctest -LE gui) builds only what it needs.
function(station_add_test)
    cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    station_warnings(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
    add_test(NAME ${T_NAME} COMMAND ${T_NAME})
    if(NOT T_TIMEOUT)
        set(T_TIMEOUT 120)
    endif()
    set_tests_properties(${T_NAME} PROPERTIES TIMEOUT ${T_TIMEOUT})
    if(T_GUI)
        list(APPEND T_LABELS gui)
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
