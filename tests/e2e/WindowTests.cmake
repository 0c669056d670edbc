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

# Members whose paths pass the classic 260-character limit below a long target: a
# 206-character name of three levels (60 + 60 + 80 and ".txt") and one of 255, the
# longest a cabinet holds. Packed for the current directory ("\"), the only target
# under which k4pack takes a 255-character name; the tests give theirs with /T:.
set(k4_long_input ${CMAKE_CURRENT_BINARY_DIR}/longinput)
string(REPEAT "d" 60 k4_long_d)
string(REPEAT "e" 60 k4_long_e)
string(REPEAT "f" 80 k4_long_f)
string(REPEAT "a" 100 k4_long_a)
string(REPEAT "b" 100 k4_long_b)
string(REPEAT "c" 49 k4_long_c)
set(k4_long_206 "${k4_long_d}/${k4_long_e}/${k4_long_f}.txt")
set(k4_long_255 "${k4_long_a}/${k4_long_b}/${k4_long_c}.txt")
string(REPEAT "A long path's content.\r\n" 300 k4_long_content)
file(GENERATE OUTPUT ${k4_long_input}/${k4_long_206} CONTENT "${k4_long_content}")
file(GENERATE OUTPUT ${k4_long_input}/${k4_long_255} CONTENT "255 characters of name\r\n")
set(k4_long_exe ${CMAKE_CURRENT_BINARY_DIR}/long-e2e.exe)
add_custom_command(
  OUTPUT ${k4_long_exe}
  COMMAND touch -d "2022-01-02 03:04:06" ${k4_long_206} ${k4_long_255}
  COMMAND ${K4PACK_EXECUTABLE} -o ${k4_long_exe} -s $<TARGET_FILE:K4EXTRACTOR> -t "\\"
          -c "K4 long path test" -T "Long paths" ${k4_long_input}
  WORKING_DIRECTORY ${k4_long_input}
  DEPENDS K4EXTRACTOR ${K4PACK_EXECUTABLE}
  COMMENT "Packing the long path test's self-extractor with k4pack"
  VERBATIM)
add_custom_target(k4_long_packed DEPENDS ${k4_long_exe})
k4_windows_path(k4_long_exe_win "${k4_long_exe}")
k4_windows_path(k4_long_input_win "${k4_long_input}")
file(GENERATE OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/generated/LongPaths.h CONTENT
"// Generated: the long path test's self-extractor, the folder it packs and its names.
#pragma once
namespace e2e::long_paths {
inline constexpr char Packed[] = R\"(${k4_long_exe_win})\";
inline constexpr char Input[] = R\"(${k4_long_input_win})\";
inline constexpr char Name206[] = R\"(${k4_long_206})\";
inline constexpr char Name255[] = R\"(${k4_long_255})\";
}  // namespace e2e::long_paths
")
k4_add_e2e_test(test_e2e_long_paths LongPathE2ETest.cpp)
add_dependencies(test_e2e_long_paths k4_long_packed)
