# The Windows side: the program, its platform code and the tests that need the platform.
enable_language(RC)
add_compile_definitions(UNICODE _UNICODE WIN32_LEAN_AND_MEAN NOMINMAX _WIN32_WINNT=0x0601 WINVER=0x0601)
add_link_options(-static -static-libgcc -static-libstdc++)

# The platform side of each layer, over its plain logic and the layers below.
add_library(snapvik_common STATIC
  common/atomic_file.cpp
  common/file_stream.cpp
  common/win_error.cpp
  common/win_text.cpp
)
snapvik_layer_headers(snapvik_common common)
target_link_libraries(snapvik_common PUBLIC common_logic kernel32 user32 gdi32 ole32)

add_library(snapvik_framework STATIC
  framework/application.cpp
  framework/controls.cpp
  framework/font.cpp
  framework/form.cpp
  framework/task_windows.cpp
  framework/tree_view.cpp
  framework/window.cpp
)
target_link_libraries(snapvik_framework PUBLIC framework_logic snapvik_common comctl32)

add_library(snapvik_widgets STATIC widgets/link_label.cpp)
snapvik_layer_headers(snapvik_widgets widgets)
target_link_libraries(snapvik_widgets PUBLIC snapvik_framework shell32)

add_library(snapvik_capture STATIC
  capture/bitmap.cpp
  capture/bitmap_storage.cpp
  capture/hot_key.cpp
  capture/hot_key_grab.cpp
  capture/screen_capture.cpp
)
target_link_libraries(snapvik_capture PUBLIC capture_logic snapvik_common ws2_32)

add_library(snapvik_picker STATIC
  picker/change_notifier.cpp
  picker/existing_dir.cpp
  picker/icon_look_ahead.cpp
  picker/id_list.cpp
  picker/path_dialog.cpp
  picker/root_strip.cpp
  picker/shell_context_menu.cpp
  picker/same_item.cpp
  picker/shell_folder.cpp
  picker/shell_module.cpp
  picker/shell_tree.cpp
  picker/shell_tree_read_again.cpp
  picker/shell_tree_menu.cpp
)
target_link_libraries(snapvik_picker PUBLIC picker_logic snapvik_framework shell32 ole32 comctl32 uuid)

add_library(snapvik_app STATIC
  app/main_form.cpp
  app/settings_file.cpp
)
target_link_libraries(snapvik_app PUBLIC app_logic snapvik_widgets snapvik_capture snapvik_picker shlwapi)

find_package(Python3 REQUIRED COMPONENTS Interpreter)
set(ICON_FILE ${CMAKE_BINARY_DIR}/snapvik.ico)
add_custom_command(OUTPUT ${ICON_FILE}
  COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/scripts/make_icon.py ${ICON_FILE}
  DEPENDS ${CMAKE_SOURCE_DIR}/scripts/make_icon.py
  COMMENT "Drawing the program icon")
# The manifest names the program's own processor.
if(CMAKE_SIZEOF_VOID_P EQUAL 8)
  set(SNAPVIK_MANIFEST_ARCH amd64)
else()
  set(SNAPVIK_MANIFEST_ARCH x86)
endif()
configure_file(app/snapvik.manifest.in ${CMAKE_BINARY_DIR}/snapvik.manifest @ONLY)
set_source_files_properties(app/snapvik.rc PROPERTIES OBJECT_DEPENDS
  "${ICON_FILE};${CMAKE_BINARY_DIR}/snapvik.manifest")
set(CMAKE_RC_FLAGS "${CMAKE_RC_FLAGS} -I${CMAKE_BINARY_DIR} -I${CMAKE_SOURCE_DIR}/app -I${CMAKE_SOURCE_DIR}/picker")

add_executable(Snapvik WIN32 app/main.cpp app/snapvik.rc)
target_link_options(Snapvik PRIVATE -municode -mwindows)
target_link_libraries(Snapvik PRIVATE snapvik_app)

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(gtest_disable_pthreads OFF CACHE BOOL "" FORCE)
add_subdirectory(${GTEST_SOURCE_DIR} googletest EXCLUDE_FROM_ALL)
add_subdirectory(tools)
add_subdirectory(tests/win)
add_subdirectory(tests/e2e)

add_executable(capture_bench bench/capture_bench.cpp)
target_link_options(capture_bench PRIVATE -municode -mconsole)
target_link_libraries(capture_bench PRIVATE snapvik_app psapi)

add_executable(tree_bench bench/tree_bench.cpp bench/tree_bench_desktop.cpp)
target_link_options(tree_bench PRIVATE -municode -mconsole)
target_link_libraries(tree_bench PRIVATE snapvik_app psapi)
