# The extractor window end to end: a self-extractor that k4pack packs at build time
# from a folder written here, started under Wine and driven through its window.
# The demonstration script's driver (scripts/demo.sh): not a test, built alongside.
add_executable(k4_window_demo_driver WindowDemoDriver.cpp)
target_include_directories(k4_window_demo_driver PRIVATE ${CMAKE_SOURCE_DIR}/app)
target_link_libraries(k4_window_demo_driver PRIVATE k4testsupport)

if(NOT K4PACK_EXECUTABLE)
  message(FATAL_ERROR "K4PACK_EXECUTABLE not given: the end-to-end window tests pack their "
                      "self-extractor with k4pack (scripts/build.sh passes the host build's)")
endif()

set(k4_window_input ${CMAKE_CURRENT_BINARY_DIR}/windowinput)
set(k4_window_long "a_member_name_longer_than_the_name_column_of_the_list.txt")
string(REPEAT "The window test's manual, line after line.\r\n" 2000 k4_window_manual)
# Written only when their content changes, so the packing below does not repeat.
file(GENERATE OUTPUT ${k4_window_input}/readme.txt CONTENT "Read me first.\r\n")
file(GENERATE OUTPUT ${k4_window_input}/empty.txt CONTENT "")
file(GENERATE OUTPUT ${k4_window_input}/docs/manual.txt CONTENT "${k4_window_manual}")
file(GENERATE OUTPUT ${k4_window_input}/${k4_window_long} CONTENT "long name\r\n")
set(k4_window_files readme.txt empty.txt docs/manual.txt ${k4_window_long})

# The files get one even-second time stamp (cabinet times have a resolution of
# two seconds), which the extracted files must carry again.
set(k4_window_exe ${CMAKE_CURRENT_BINARY_DIR}/window-e2e.exe)
add_custom_command(
  OUTPUT ${k4_window_exe}
  COMMAND touch -d "2021-03-04 05:06:08" ${k4_window_files}
  COMMAND ${K4PACK_EXECUTABLE} -o ${k4_window_exe} -s $<TARGET_FILE:K4EXTRACTOR> -t "C:\\K4Window\\"
          -c "K4 window test" -T "Files of the window test" ${k4_window_input}
  WORKING_DIRECTORY ${k4_window_input}
  DEPENDS K4EXTRACTOR ${K4PACK_EXECUTABLE}
  COMMENT "Packing the window test's self-extractor with k4pack"
  VERBATIM)
add_custom_target(k4_window_packed DEPENDS ${k4_window_exe})

k4_windows_path(k4_window_exe_win "${k4_window_exe}")
k4_windows_path(k4_window_input_win "${k4_window_input}")
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/generated/WindowPaths.h CONTENT
"// Generated: the window test's self-extractor and the folder it packs.
#pragma once
namespace e2e::window_paths {
inline constexpr char Packed[] = R\"(${k4_window_exe_win})\";
inline constexpr char Input[] = R\"(${k4_window_input_win})\";
}  // namespace e2e::window_paths
")

k4_add_e2e_test(test_e2e_window WindowE2ETest.cpp QuietE2ETest.cpp WindowDriver.cpp)
target_include_directories(test_e2e_window PRIVATE ${CMAKE_SOURCE_DIR}/app)
target_link_libraries(test_e2e_window PRIVATE k4format k4cabwriter)
add_dependencies(test_e2e_window k4_window_packed)
