# Warnings for our own targets; errors too when STATION_WERROR is on (CI).
function(station_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra)
    if(STATION_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# Subsystem libraries register their QML types from start-up routines in each class's own
# compilation unit. Nothing else references some of those units, so executables and tests link
# the libraries whole; otherwise the linker would drop the registrations.
function(station_link_whole target)
    foreach(lib IN LISTS ARGN)
        target_link_libraries(${target} PRIVATE "-Wl,--whole-archive" ${lib} "-Wl,--no-whole-archive")
        # Usage requirements (include folders, transitive libraries) still come from the target.
        target_link_libraries(${target} PRIVATE ${lib})
    endforeach()
endfunction()

# A QtTest executable run by ctest. Usage:
#   station_add_test(NAME name SOURCES a.cpp ... LIBS lib ... [WHOLE lib ...] [LABELS l ...] [TIMEOUT s] [GUI])
# GUI marks a test that needs a display (a window, or a program that opens one): it gets the label
# "gui". The others join the target station_nongui_tests, so that a run that leaves the GUI tests
# out (ctest -LE gui) builds only what it needs.
function(station_add_test)
    cmake_parse_arguments(T "GUI" "NAME;TIMEOUT" "SOURCES;LIBS;WHOLE;LABELS" ${ARGN})
    add_executable(${T_NAME} ${T_SOURCES})
    station_warnings(${T_NAME})
    target_link_libraries(${T_NAME} PRIVATE Qt5::Test ${T_LIBS})
    if(T_WHOLE)
        station_link_whole(${T_NAME} ${T_WHOLE})
    endif()
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
