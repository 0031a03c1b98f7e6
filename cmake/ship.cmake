# The shipped exe as Windows sees the file: its resources (manifest, version
# information, icon), built so that the same sources give the same bytes in
# any folder at any time; and the tests of both. Included by CMakeLists.txt in
# the Windows build, after the targets it extends.

# --- Resources ---------------------------------------------------------------
# An object library: its objects go into the exe whole (from an archive the
# linker would drop them, as nothing refers to them), and windres gets none of
# the compiler's options.
enable_language(RC)
configure_file(res/version.h.in generated/vantrel_version.h @ONLY)
add_library(vantrel_resources OBJECT res/vantrel.rc)
target_include_directories(vantrel_resources PRIVATE res ${CMAKE_BINARY_DIR}/generated)
set_source_files_properties(res/vantrel.rc PROPERTIES OBJECT_DEPENDS
  "${CMAKE_SOURCE_DIR}/res/app.manifest;${CMAKE_SOURCE_DIR}/res/vantrel.ico")
target_link_libraries(VantrelBootstrapper PRIVATE vantrel_resources)
# The version for the log's first line, from the same header.
target_include_directories(VantrelBootstrapper PRIVATE ${CMAKE_BINARY_DIR}/generated)

# --- Reproducible: no time in the archives ---------------------------------------
# (The compile and link flags for it are in vantrel_flags.)
set(CMAKE_CXX_ARCHIVE_CREATE "<CMAKE_AR> qcD <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_APPEND "<CMAKE_AR> qD <TARGET> <LINK_FLAGS> <OBJECTS>")
set(CMAKE_CXX_ARCHIVE_FINISH "<CMAKE_RANLIB> -D <TARGET>")

# --- Tests ---------------------------------------------------------------------
# The resources read back through the system's own calls.
target_link_libraries(resources_test PRIVATE version)
target_compile_definitions(resources_test PRIVATE VANTREL_PROJECT_VERSION="${PROJECT_VERSION}")
set_property(TEST resources_test APPEND PROPERTY ENVIRONMENT
  "VANTREL_EXE=$<TARGET_FILE:VantrelBootstrapper>")

# The exe alone, built again from a copy of the tree in another folder.
add_test(NAME reproducible_exe COMMAND bash ${CMAKE_SOURCE_DIR}/scripts/release.sh reproduce
  $<TARGET_FILE:VantrelBootstrapper>)
set_tests_properties(reproducible_exe PROPERTIES TIMEOUT 900)

# DLLs to plant beside an exe (tests/e2e/test_planted_dlls.py): each records
# its loading; winhttp.dll forwards to a renamed copy of the system's own, so
# that a program that takes it still works. And a control program that
# imports WinHTTP the ordinary way.
set(PLANTED ${CMAKE_BINARY_DIR}/planted)
find_file(SYSTEM_WINHTTP winhttp.dll REQUIRED NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH
  PATHS /usr/lib/x86_64-linux-gnu/wine/x86_64-windows /usr/lib/wine/x86_64-windows)
add_custom_command(OUTPUT ${PLANTED}/winhttp.def ${PLANTED}/winhttp_orig.dll
  COMMAND ${CMAKE_COMMAND} -E make_directory ${PLANTED}
  COMMAND python3 ${CMAKE_SOURCE_DIR}/tests/planted/forwarding_def.py ${CMAKE_OBJDUMP}
          ${SYSTEM_WINHTTP} winhttp_orig ${PLANTED}/winhttp.def
  COMMAND ${CMAKE_COMMAND} -E copy ${SYSTEM_WINHTTP} ${PLANTED}/winhttp_orig.dll
  DEPENDS tests/planted/forwarding_def.py VERBATIM)
foreach(dll winhttp uxtheme dwmapi cryptbase wintrust shell32 oleacc)
  add_library(planted_${dll} SHARED tests/planted/planted_dll.cpp)
  set_target_properties(planted_${dll} PROPERTIES OUTPUT_NAME ${dll} PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${PLANTED} ARCHIVE_OUTPUT_DIRECTORY ${PLANTED}/lib)
  target_link_options(planted_${dll} PRIVATE -static -s)
endforeach()
target_sources(planted_winhttp PRIVATE ${PLANTED}/winhttp.def)
add_executable(planted_control tests/planted/control.cpp)
set_target_properties(planted_control PROPERTIES OUTPUT_NAME control
  RUNTIME_OUTPUT_DIRECTORY ${PLANTED})
target_link_libraries(planted_control PRIVATE winhttp)
target_link_options(planted_control PRIVATE -static -s)
