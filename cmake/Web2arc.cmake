# Helpers shared by every folder's CMakeLists.txt.
#
# Sources are picked up by glob, so adding a file pair to a folder needs no edit here; CONFIGURE_DEPENDS
# makes a new file trigger a re-configure on the next build.

# web2arc_library(NAME <target> [DEPS <targets...>] [WIDGETS])
# One static library from every .cpp (and .ui/.qrc) file of the calling folder.
function(web2arc_library)
    cmake_parse_arguments(ARG "" "NAME" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS
        ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h
        ${CMAKE_CURRENT_SOURCE_DIR}/*.ui ${CMAKE_CURRENT_SOURCE_DIR}/*.qrc)
    list(FILTER sources INCLUDE REGEX "\\.(cpp|h|ui|qrc)$")
    set(cpp_sources ${sources})
    list(FILTER cpp_sources INCLUDE REGEX "\\.cpp$")
    if(NOT cpp_sources)
        # A folder whose code has not been written yet still links as a layer.
        add_library(${ARG_NAME} INTERFACE)
        target_include_directories(${ARG_NAME} INTERFACE ${CMAKE_CURRENT_SOURCE_DIR})
        target_link_libraries(${ARG_NAME} INTERFACE ${ARG_DEPS})
        return()
    endif()
    add_library(${ARG_NAME} STATIC ${sources})
    target_include_directories(${ARG_NAME} PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
    set_target_properties(${ARG_NAME} PROPERTIES AUTOMOC ON AUTOUIC ON AUTORCC ON)
    target_link_libraries(${ARG_NAME} PUBLIC ${ARG_DEPS})
endfunction()

# web2arc_test_suite(NAME <target> [DEPS <targets...>] [MAIN <support main target>])
# One GoogleTest executable from every .cpp of the calling tests folder, registered with CTest.
function(web2arc_test_suite)
    cmake_parse_arguments(ARG "" "NAME;MAIN" "DEPS" ${ARGN})
    file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/*.h)
    if(NOT sources)
        return()
    endif()
    if(NOT ARG_MAIN)
        set(ARG_MAIN web2arc_test_main)
    endif()
    add_executable(${ARG_NAME} ${sources})
    set_target_properties(${ARG_NAME} PROPERTIES AUTOMOC ON)
    target_link_libraries(${ARG_NAME} PRIVATE ${ARG_DEPS} ${ARG_MAIN} web2arc_test_support GTest::gtest GTest::gmock)
    target_compile_definitions(${ARG_NAME} PRIVATE
        WEB2ARC_FIXTURES="${PROJECT_SOURCE_DIR}/tests/fixtures"
        WEB2ARC_BINARY_DIR="${PROJECT_BINARY_DIR}")
    gtest_discover_tests(${ARG_NAME} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
        PROPERTIES ENVIRONMENT "QT_QPA_PLATFORM=offscreen" TIMEOUT 300)
endfunction()
